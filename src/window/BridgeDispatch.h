// How a document or panel window treats each navigation of its page: which ones are bridge
// operations, which go to the browser or the default application, and which the page may
// follow itself. Also the argument conventions of bridge operations.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "window/PageHost.h"

namespace cvl {

namespace BridgeDispatch {

enum class Route {
    Download,    // answered "download"
    NoAddress,   // allowed
    Bridge,      // a qrtiz: operation
    Browser,     // http/https: the user's browser
    LocalPage,   // a local .html file: the page navigates
    DefaultApp,  // another local file: its default application
    Other,       // any other scheme (vtpdf, vtpage, about, data, blob): allowed
};

Route route(const NavigationRequest& request);

// Lower-cased scheme of an address ("" when it has none).
std::string scheme(const std::string& url);
// The operation of a qrtiz: address: its host, exactly as written.
std::string operation(const std::string& url);

// Operations that act on the shown document; in a reader they test its identity first.
bool isIdentitySensitive(const std::string& op);
// The operations a panel window (settings, help, about) answers; the others are cancelled
// there without effect.
bool isPanelOperation(const std::string& op);

// An item; "null" and the empty text count as absent.
std::optional<std::string> arg(const std::string& url, const std::string& key);
// The single path: "path", else "p".
std::optional<std::string> pathArg(const std::string& url);
// "paths": a JSON array of texts; non-text members are skipped.
std::vector<std::string> pathsArg(const std::string& url);
// "1" is true; anything else or absence is false.
bool flagArg(const std::string& url, const std::string& key);
// A list of paths in one item, separated by line feeds; empty lines are dropped.
std::vector<std::string> linesArg(const std::string& url, const std::string& key);

}  // namespace BridgeDispatch
}  // namespace cvl
