#include "window/FeatureModules.h"

#include <memory>

#include "agent/LocalAIModule.h"
#include "agent/NativeAIModule.h"
#include "operations/BatesModule.h"
#include "operations/FileOpsModule.h"
#include "operations/FormModule.h"
#include "operations/OrganizeModule.h"
#include "operations/RedactModule.h"
#include "operations/SignModule.h"
#include "updates/UpdateModule.h"
#include "window/ReadAloud.h"
#include "operations/CompareModule.h"
#include "operations/OcrModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<ReadAloudModule>());
    modules.add(std::make_unique<NativeAIModule>());
    modules.add(std::make_unique<LocalAIModule>());
    modules.add(std::make_unique<BatesModule>());
    modules.add(std::make_unique<UpdateModule>());
    modules.add(std::make_unique<FileOpsModule>());
    modules.add(std::make_unique<OrganizeModule>());
    modules.add(std::make_unique<FormModule>());
    modules.add(std::make_unique<RedactModule>());
    modules.add(std::make_unique<SignModule>());
    modules.add(std::make_unique<CompareModule>());
    modules.add(std::make_unique<OcrModule>());
}

}  // namespace cvl
