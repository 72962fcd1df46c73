#include "window/FeatureModules.h"

#include "window/ReadAloud.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<ReadAloudModule>());
}

}  // namespace cvl
