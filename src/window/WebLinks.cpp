#include "window/WebLinks.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "platform/SysLog.h"
#include "platform/Text.h"
#include "window/BridgeDispatch.h"

namespace cvl::WebLinks {
namespace {

const char* const kTrustedKey = "link_sites_without_asking";

}  // namespace

Kind kindOf(const std::string& url) {
    const std::string s = BridgeDispatch::scheme(url);
    static const std::array<const char*, 9> kPage = {
        "", "file", "qrtiz", "vtpdf", "vtpage", "data", "about", "blob", "javascript"};
    if (std::find(kPage.begin(), kPage.end(), s) != kPage.end()) return Kind::Page;
    if (s == "http" || s == "https") return Kind::Web;
    if (s == "mailto") return Kind::Mail;
    return Kind::Other;
}

std::string siteOf(const std::string& url) {
    const std::size_t start = url.find("://");
    if (start == std::string::npos) return "";
    std::string rest = url.substr(start + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        rest = rest.substr(0, rest.find(']') + 1);  // an IPv6 address keeps its brackets
    } else {
        rest = rest.substr(0, rest.find(':'));
    }
    return asciiLower(rest);
}

bool opensWithoutAsking(const std::string& site) {
    if (site.empty()) return false;
    const nlohmann::json list = loadConfig().value(kTrustedKey, nlohmann::json::array());
    return list.is_array() && std::find(list.begin(), list.end(), site) != list.end();
}

void openWithoutAsking(const std::string& site) {
    if (site.empty() || opensWithoutAsking(site)) return;
    nlohmann::json config = loadConfig();
    nlohmann::json& list = config[kTrustedKey];
    if (!list.is_array()) list = nlohmann::json::array();
    list.push_back(site);
    if (Status saved = saveConfig(config); !saved)
        cvlLog("links of %s will still ask: %s", site.c_str(), saved.error().c_str());
}

void follow(const std::string& url, Dialogs& dialogs, AppActions& app) {
    const Kind kind = kindOf(url);
    if (kind == Kind::Page) return;
    if (kind == Kind::Mail) {
        app.openInBrowser(url);  // the desktop's handler for mailto: is the mail client
        return;
    }
    const std::string site = siteOf(url);
    if (kind == Kind::Web && opensWithoutAsking(site)) {
        app.openInBrowser(url);
        return;
    }
    ConfirmSheet sheet;
    sheet.title = kind == Kind::Web ? "Open this link in your browser?"
                                    : "Open this link with another application?";
    sheet.message = url;
    sheet.verb = "Open Link";
    if (kind == Kind::Web && !site.empty())
        sheet.alternate = "Open and Don\u2019t Ask Again for " + site;
    dialogs.confirm(sheet, [url, site, &app](ConfirmAnswer answer) {
        if (answer == ConfirmAnswer::Cancel) return;
        if (answer == ConfirmAnswer::Alternate) openWithoutAsking(site);
        app.openInBrowser(url);
    });
}

void followFile(const std::string& path, Dialogs& dialogs, AppActions& app) {
    ConfirmSheet sheet;
    sheet.title = "Open this file with its application?";
    sheet.message = path;
    sheet.verb = "Open File";
    dialogs.confirm(sheet, [path, &app](ConfirmAnswer answer) {
        if (answer != ConfirmAnswer::Cancel) app.openWithDefaultApp(path);
    });
}

}  // namespace cvl::WebLinks
