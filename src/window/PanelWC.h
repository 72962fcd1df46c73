// A panel window (settings, help, about): one generated page. Its page may ask for the panel
// operations only (BridgeDispatch::isPanelOperation); they go to the feature modules.
#pragma once

#include <memory>
#include <string>

#include "window/BridgeDispatch.h"
#include "window/BridgeModules.h"
#include "window/PageHost.h"
#include "window/WindowHandle.h"

namespace cvl {

class PanelWC : public BridgeWindow, public std::enable_shared_from_this<PanelWC> {
  public:
    PanelWC(std::string kind, std::unique_ptr<PageHost> page, AppActions& app,
            const BridgeModuleSet& modules, std::unique_ptr<Dialogs> dialogs);

    const std::string& kind() const { return kind_; }
    PageHost& page() { return *page_; }
    // Shows a generated panel file; `reload` shows the current one again.
    void show(const std::string& htmlPath);
    void reload();

    NavigationPolicy decidePolicy(const NavigationRequest& request);

    // BridgeWindow.
    WindowSnapshot snapshot() const override;
    void evaluateScript(const std::string& script) override { page_->evaluateScript(script); }
    void evaluateScript(const std::string& script,
                        std::function<void(std::optional<std::string>)> reply) override {
        page_->evaluateScript(script, std::move(reply));
    }
    void showToolPage(const std::string&, const std::string&,
                      const std::vector<std::string>&) override {}
    void showReview(const std::vector<std::string>&, const std::optional<std::string>&) override {}
    void reloadReader() override {}
    void closeWindow() override { page_->close(); }
    void present() override { page_->present(); }

  private:
    std::string kind_;
    std::unique_ptr<PageHost> page_;
    AppActions& app_;
    const BridgeModuleSet& modules_;
    std::unique_ptr<Dialogs> dialogs_;
    std::string htmlPath_;
};

}  // namespace cvl
