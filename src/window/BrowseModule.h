// How folders and document sets are browsed: "browse", "versions", "sort" and "cull" pick a
// folder and review it in the mode "flip", "doc" or "single"; "multidoc" shows the window's
// document set together (one review) or separately (a reader each); "openseparately" opens
// the listed documents each in its own reader.
#pragma once

#include <optional>
#include <string>

#include "window/BridgeModule.h"

namespace cvl {

class BrowseModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;
};

namespace Browse {
// The review mode of a browsing operation; none for other operations.
std::optional<std::string> modeFor(const std::string& op);
// The document set of a window: its set paths, else its source files when there are several.
std::vector<std::string> documentSet(const WindowSnapshot& window);
}  // namespace Browse

}  // namespace cvl
