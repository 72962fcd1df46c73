#include "window/FeatureModules.h"

#include "operations/FileOpsModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<FileOpsModule>());
}

}  // namespace cvl
