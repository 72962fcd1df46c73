#include "window/PanelWC.h"

#include "platform/SysLog.h"
#include "platform/UserDirs.h"
#include "window/PageTrust.h"
#include "window/ReaderURL.h"

namespace cvl {

namespace BD = BridgeDispatch;

PanelWC::PanelWC(std::string kind, std::unique_ptr<PageHost> page, AppActions& app,
                 const BridgeModuleSet& modules, std::unique_ptr<Dialogs> dialogs)
    : kind_(std::move(kind)),
      page_(std::move(page)),
      app_(app),
      modules_(modules),
      dialogs_(std::move(dialogs)) {}

void PanelWC::show(const std::string& htmlPath) {
    htmlPath_ = htmlPath;
    page_->loadURL(ReaderAddress::fileURL(htmlPath), UserDirs::home());
    page_->present();
}

void PanelWC::reload() {
    if (!htmlPath_.empty()) page_->loadURL(ReaderAddress::fileURL(htmlPath_), UserDirs::home());
}

WindowSnapshot PanelWC::snapshot() const {
    WindowSnapshot s;
    s.pageKind = kind_;
    return s;
}

NavigationPolicy PanelWC::decidePolicy(const NavigationRequest& request) {
    switch (BD::route(request)) {
        case BD::Route::Browser:
            app_.openInBrowser(request.url);
            return NavigationPolicy::Cancel;
        case BD::Route::Bridge: {
            const std::string op = BD::operation(request.url);
            if (!PageTrust::isOwnPage(request.pageURL)) {
                cvlLog("panel: \"%s\" refused: the page is not one of ours", op.c_str());
                return NavigationPolicy::Cancel;
            }
            if (op == "closepanel") {
                page_->close();
            } else if (BD::isPanelOperation(op)) {
                if (BridgeModule* module = modules_.forOperation(op))
                    module->handle(BridgeRequest{op, request.url, snapshot(),
                                                 WindowHandle(weak_from_this()), *dialogs_, app_});
            }
            return NavigationPolicy::Cancel;
        }
        case BD::Route::Download:
            return NavigationPolicy::Download;
        case BD::Route::LocalPage:
            // A panel shows its own page; other local files open with their application.
            if (PageTrust::isOwnPage(request.url)) return NavigationPolicy::Allow;
            [[fallthrough]];
        case BD::Route::DefaultApp:
            if (auto path = ReaderAddress::filePath(request.url)) app_.openWithDefaultApp(*path);
            return NavigationPolicy::Cancel;
        default:
            return NavigationPolicy::Allow;
    }
}

}  // namespace cvl
