#include "window/FeatureModules.h"

#include <memory>

#include "agent/LocalAIModule.h"
#include "agent/NativeAIModule.h"
#include "operations/BatesModule.h"
#include "operations/FileOpsModule.h"
#include "operations/OrganizeModule.h"
#include "updates/UpdateModule.h"
#include "window/ReadAloud.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<ReadAloudModule>());
    modules.add(std::make_unique<NativeAIModule>());
    modules.add(std::make_unique<LocalAIModule>());
    modules.add(std::make_unique<BatesModule>());
    modules.add(std::make_unique<UpdateModule>());
    modules.add(std::make_unique<FileOpsModule>());
    modules.add(std::make_unique<OrganizeModule>());
}

}  // namespace cvl
