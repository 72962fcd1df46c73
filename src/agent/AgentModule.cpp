#include "agent/AgentModule.h"

#include "agent/MCPConnector.h"

namespace cvl {

void AgentModule::handle(const BridgeRequest& r) {
    const bool connect = r.op == "mcpconnect";
    AppActions* app = &r.app;  // the application outlives the connector's run
    auto done = [app, connect](const MCPConnector::Outcome& outcome) {
        app->settingsChanged();
        if (auto notice = mcpFailureNotice(connect, outcome))
            app->showNotice(notice->id, notice->title, notice->body);
    };
    if (connect)
        mcpConnectAsync(done);
    else
        mcpDisconnectAsync(done);
}

}  // namespace cvl
