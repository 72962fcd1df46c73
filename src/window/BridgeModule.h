// A feature's answer to the page: each subsystem has modules that name the bridge operations
// and script messages they answer and handle them as typed requests. The window's dispatch
// routes to them; neither the window nor the application changes when an operation is added.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "window/AppActions.h"
#include "window/Dialogs.h"
#include "window/WindowHandle.h"

namespace cvl {

// One qrtiz: operation from a page. Handled on the main thread; long work goes to a
// background queue and answers through `page`.
struct BridgeRequest {
    std::string op;
    std::string url;  // the whole address, for query items a module reads itself
    WindowSnapshot window;
    WindowHandle page;
    Dialogs& dialogs;  // attached to the asking window
    AppActions& app;

    // A query item; "null" and the empty text count as absent.
    std::optional<std::string> arg(const std::string& key) const;
    // The single path: "path", else "p".
    std::optional<std::string> path() const;
    // "paths": a JSON array of texts; anything else is an empty list.
    std::vector<std::string> paths() const;
    // "1" is true; anything else, or absence, is false.
    bool flag(const std::string& key) const;
};

// One "corvello" script message from a page: its action and its whole JSON body.
struct ScriptMessage {
    std::string action;
    std::string body;
    WindowSnapshot window;
    WindowHandle page;
    Dialogs& dialogs;
    AppActions& app;
};

class BridgeModule {
  public:
    virtual ~BridgeModule() = default;
    // The operations this module answers (lower-case names, each owned by one module).
    virtual std::vector<std::string> operations() const = 0;
    virtual void handle(const BridgeRequest& request) = 0;
    // The script-message actions this module answers.
    virtual std::vector<std::string> messages() const { return {}; }
    virtual void handleMessage(const ScriptMessage& /*message*/) {}
};

}  // namespace cvl
