#include "window/FeatureModules.h"

#include "operations/BatesModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<BatesModule>());
}

}  // namespace cvl
