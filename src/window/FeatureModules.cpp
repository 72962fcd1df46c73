#include "window/FeatureModules.h"

#include "agent/AgentModule.h"
#include "app/OpenModule.h"
#include "app/SettingsModule.h"
#include "memory/HistoryModule.h"
#include "memory/LinksModule.h"
#include "memory/VersionsModule.h"
#include "pagecmd/PageCommandModule.h"
#include "search/SearchModule.h"
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
}

}  // namespace cvl
