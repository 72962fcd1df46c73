#include "window/FeatureModules.h"

#include <memory>

#include "agent/AgentModule.h"
#include "agent/LocalAIModule.h"
#include "agent/NativeAIModule.h"
#include "app/DefaultViewerModule.h"
#include "app/OpenModule.h"
#include "app/SettingsModule.h"
#include "memory/AnnotationsModule.h"
#include "memory/HistoryModule.h"
#include "memory/LinksModule.h"
#include "memory/VersionsModule.h"
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
#include "pagecmd/PageCommandModule.h"
#include "search/SearchExplainModule.h"
#include "search/SearchModule.h"
#include "updates/UpdateModule.h"
#include "window/BrowseModule.h"
#include "window/KeepAwake.h"
#include "window/PrintModule.h"
#include "window/ReadAloud.h"
#include "window/ReaderToolsModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules, const FeatureServices& services) {
    modules.add(std::make_unique<OpenModule>(services.history));
    modules.add(std::make_unique<SettingsModule>(services.control));
    modules.add(std::make_unique<ReaderToolsModule>());
    modules.add(std::make_unique<PageCommandModule>());
    modules.add(std::make_unique<SearchModule>(services.searchIndex));
    modules.add(std::make_unique<HistoryModule>(services.history));
    modules.add(std::make_unique<LinksModule>(services.links));
    modules.add(std::make_unique<VersionsModule>());
    modules.add(std::make_unique<AgentModule>());
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
