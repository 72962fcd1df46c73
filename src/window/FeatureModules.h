// Every feature module of the program, made once for the application. A new operation is a
// module in its subsystem's folder plus one line here.
#pragma once

#include <memory>

#include "window/BridgeModules.h"

namespace cvl {

class AppControl;
class CVSearchIndex;
class HistoryStore;
class LinkSession;

// The application's shared services that some modules hold on to.
struct FeatureServices {
    AppControl& control;
    HistoryStore& history;
    LinkSession& links;
    std::shared_ptr<CVSearchIndex> searchIndex;
};

void addFeatureModules(BridgeModuleSet& modules, const FeatureServices& services);

}  // namespace cvl
