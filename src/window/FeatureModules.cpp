#include "window/FeatureModules.h"

#include <memory>

#include "agent/LocalAIModule.h"
#include "agent/NativeAIModule.h"
#include "app/DefaultViewerModule.h"
#include "memory/AnnotationsModule.h"
#include "operations/BatesModule.h"
#include "operations/CampaignModule.h"
#include "operations/CompareModule.h"
#include "operations/FileOpsModule.h"
#include "operations/FormModule.h"
#include "operations/OcrModule.h"
#include "operations/OrganizeModule.h"
#include "operations/ReaderFileModule.h"
#include "operations/RedactModule.h"
#include "operations/SignModule.h"
#include "operations/TimelineModule.h"
#include "search/SearchExplainModule.h"
#include "updates/UpdateModule.h"
#include "window/BrowseModule.h"
#include "window/KeepAwake.h"
#include "window/PrintModule.h"
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
    modules.add(std::make_unique<FormModule>());
    modules.add(std::make_unique<RedactModule>());
    modules.add(std::make_unique<SignModule>());
    modules.add(std::make_unique<CompareModule>());
    modules.add(std::make_unique<OcrModule>());
    modules.add(std::make_unique<AnnotationsModule>());
    modules.add(std::make_unique<PrintModule>());
    modules.add(std::make_unique<ReaderFileModule>());
    modules.add(std::make_unique<DefaultViewerModule>());
    modules.add(std::make_unique<BrowseModule>());
    modules.add(std::make_unique<KeepAwakeModule>());
    modules.add(std::make_unique<TimelineModule>());
    modules.add(std::make_unique<SearchExplainModule>());
    modules.add(std::make_unique<CampaignModule>());
}

}  // namespace cvl
