#include "window/FeatureModules.h"

#include <memory>

#include "updates/UpdateModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<UpdateModule>());
}

}  // namespace cvl
