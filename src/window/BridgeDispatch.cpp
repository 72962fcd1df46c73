#include "window/BridgeDispatch.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/TextEscape.h"
#include "window/ReaderURL.h"

namespace cvl::BridgeDispatch {
namespace {

std::string lower(const std::string& s) {
    return asciiLower(s);
}

}  // namespace

std::string scheme(const std::string& url) {
    size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return "";
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = url[i];
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return "";
    }
    return lower(url.substr(0, colon));
}

std::string operation(const std::string& url) {
    size_t colon = url.find(':');
    if (colon == std::string::npos) return "";
    std::string rest = url.substr(colon + 1);
    if (rest.rfind("//", 0) == 0) rest = rest.substr(2);
    size_t end = rest.find_first_of("/?#");
    return rest.substr(0, end);
}

Route route(const NavigationRequest& request) {
    if (request.isDownload) return Route::Download;
    if (request.url.empty()) return Route::NoAddress;
    const std::string s = scheme(request.url);
    if (s == "qrtiz") return Route::Bridge;
    if (s == "http" || s == "https") return Route::Browser;
    if (s == "file") {
        auto path = ReaderAddress::filePath(request.url);
        if (path && lower(pathExtension(*path)) == "html") return Route::LocalPage;
        return Route::DefaultApp;
    }
    return Route::Other;
}

bool isIdentitySensitive(const std::string& op) {
    static const std::array<const char*, 26> kOps = {
        "signsave",      "saveannot",     "autosaveannot", "redact",       "redactsave",
        "redactcurrent", "fillform",      "editimage",     "compress",     "pageop",
        "pagecmd",       "organizeapply", "batesapply",    "exportannots", "printdoc",
        "printsaved",    "copyfile",      "duplicatefile", "compressfile", "trashfile",
        "rename",        "readerrename",  "move",          "dropboxlink",  "restoreversion",
        "openinword"};
    return std::any_of(kOps.begin(), kOps.end(), [&](const char* o) { return op == o; });
}

bool isPanelOperation(const std::string& op) {
    static const std::array<const char*, 26> kOps = {
        "setcfg",         "setshortcut",    "seticon",      "fda",           "finderext",
        "fdaopen",        "checkupdates",   "closepanel",   "setdefaultpdf", "mcpconnect",
        "mcpdisconnect",  "shconnect",      "shdisconnect", "account",       "feedback",
        "joinlibrary",    "publishlibrary", "pairsheet",    "agreements",    "openagreement",
        "settings",       "help",           "about",        "open",          "reveal-archive",
        "resetpageopskip"};
    return std::any_of(kOps.begin(), kOps.end(), [&](const char* o) { return op == o; });
}

std::optional<std::string> arg(const std::string& url, const std::string& key) {
    auto v = urlQuery(url, key);
    if (!v || v->empty() || *v == "null") return std::nullopt;
    return v;
}

std::optional<std::string> pathArg(const std::string& url) {
    if (urlQuery(url, "path")) return arg(url, "path");
    return arg(url, "p");
}

std::vector<std::string> pathsArg(const std::string& url) {
    std::vector<std::string> out;
    auto raw = arg(url, "paths");
    if (!raw) return out;
    auto parsed = nlohmann::json::parse(*raw, nullptr, false);
    if (!parsed.is_array()) return out;
    for (const auto& item : parsed)
        if (item.is_string() && !item.get<std::string>().empty())
            out.push_back(item.get<std::string>());
    return out;
}

bool flagArg(const std::string& url, const std::string& key) {
    auto v = urlQuery(url, key);
    return v && *v == "1";
}

std::vector<std::string> linesArg(const std::string& url, const std::string& key) {
    std::vector<std::string> out;
    const std::string list = urlQuery(url, key).value_or("");
    for (size_t start = 0; start <= list.size();) {
        size_t nl = list.find('\n', start);
        if (nl == std::string::npos) nl = list.size();
        if (nl > start) out.push_back(list.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

}  // namespace cvl::BridgeDispatch
