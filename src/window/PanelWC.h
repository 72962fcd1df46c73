// A panel window (settings, help, about): one generated page whose bridge operations change
// settings and open other panels.
#pragma once

#include <memory>
#include <string>

#include "window/BridgeDispatch.h"
#include "window/PageHost.h"
#include "window/WindowServices.h"

namespace cvl {

class PanelWC {
  public:
    PanelWC(std::string kind, std::unique_ptr<PageHost> page, WindowServices& services);

    const std::string& kind() const { return kind_; }
    PageHost& page() { return *page_; }
    // Shows the generated panel file; `reload` shows it again after a setting changed.
    void show(const std::string& htmlPath);
    void reload();

    NavigationPolicy decidePolicy(const NavigationRequest& request);

  private:
    void perform(const std::string& op, const std::string& url);

    std::string kind_;
    std::unique_ptr<PageHost> page_;
    WindowServices& services_;
    std::string htmlPath_;
};

}  // namespace cvl
