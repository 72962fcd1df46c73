#include "window/FeatureModules.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    (void)modules;
}

}  // namespace cvl
