// The application as the agent bridge sees it: its document windows, their pages and the
// documents they show.
#pragma once

#include "agent/AgentBridgeHost.h"

namespace cvl {

class AppDelegate;

class AppAgentHost : public AgentBridgeHost {
  public:
    explicit AppAgentHost(AppDelegate& app) : app_(app) {}

    std::string appName() override;
    std::string version() override;
    std::string build() override;
    std::vector<AgentWindowInfo> liveWindows() override;
    std::optional<std::string> keyWindow() override;
    std::optional<std::string> currentDocument() override;
    void evaluate(const std::string& windowId, const std::string& script,
                  AgentScriptDone done) override;
    void callAsync(const std::string& windowId, const std::string& body,
                   AgentScriptDone done) override;
    void bringToFront(const std::string& windowId) override;
    void activateApp() override;
    std::optional<AgentWindowInfo> openFolder(const std::string& path) override;
    std::optional<AgentWindowInfo> openFile(const std::string& path,
                                            std::optional<int> page) override;
    std::optional<std::string> annotationSidecar(const std::string& path) override;

  private:
    std::optional<int> tabOf(const std::string& bridgeId);
    std::optional<AgentWindowInfo> shown(const std::string& path);
    AgentWindowInfo info(int tab);

    AppDelegate& app_;
};

}  // namespace cvl
