#include "window/PanelWC.h"

#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "window/ReaderURL.h"

namespace cvl {

namespace BD = BridgeDispatch;

PanelWC::PanelWC(std::string kind, std::unique_ptr<PageHost> page, WindowServices& services)
    : kind_(std::move(kind)), page_(std::move(page)), services_(services) {}

void PanelWC::show(const std::string& htmlPath) {
    htmlPath_ = htmlPath;
    page_->loadURL(ReaderAddress::fileURL(htmlPath), UserDirs::home());
    page_->present();
}

void PanelWC::reload() {
    if (!htmlPath_.empty()) page_->loadURL(ReaderAddress::fileURL(htmlPath_), UserDirs::home());
}

NavigationPolicy PanelWC::decidePolicy(const NavigationRequest& request) {
    switch (BD::route(request)) {
        case BD::Route::Browser:
            services_.openInBrowser(request.url);
            return NavigationPolicy::Cancel;
        case BD::Route::Bridge:
            perform(BD::operation(request.url), request.url);
            return NavigationPolicy::Cancel;
        case BD::Route::Download:
            return NavigationPolicy::Download;
        default:
            return NavigationPolicy::Allow;
    }
}

void PanelWC::perform(const std::string& op, const std::string& url) {
    if (op == "setcfg") {
        auto key = urlQuery(url, "key");
        if (!key || key->empty()) return;
        services_.applyConfig(*key, urlQuery(url, "value").value_or(""));
    } else if (op == "seticon") {
        // The icon variant goes through the setter, which stores it and applies it at once.
        auto id = urlQuery(url, "id");
        if (id && !id->empty()) services_.applyConfig("app_icon", *id);
    } else if (op == "setshortcut") {
        auto action = urlQuery(url, "action");
        if (action && !action->empty())
            services_.setShortcut(*action, urlQuery(url, "combo").value_or(""));
    } else if (op == "closepanel") {
        page_->close();
    } else if (op == "settings" || op == "help" || op == "about") {
        services_.openPanel(op);
    } else if (op == "open") {
        services_.pickAndReview(std::nullopt);
    } else if (op == "reveal-archive") {
        services_.revealInFileManager(UserDirs::archiveDir());
    } else if (op == "mcpconnect" || op == "mcpdisconnect") {
        services_.setAgentConnected(op == "mcpconnect");
    } else if (op == "resetpageopskip") {
        services_.removeConfigKeysWithPrefix("pageops_skip_");
        reload();
    }
    // Operations of features that are not part of this build are cancelled without effect.
}

}  // namespace cvl
