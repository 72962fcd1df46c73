#include "window/FeatureModules.h"

#include "operations/FileOpsModule.h"
#include "operations/OrganizeModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<FileOpsModule>());
    modules.add(std::make_unique<OrganizeModule>());
}

}  // namespace cvl
