#include "memory/VersionsModule.h"

#include "memory/VersionStore.h"
#include "platform/Dispatch.h"

namespace cvl {
namespace {

void notify(AppActions& app, const VersionNotice& notice) {
    app.showNotice(notice.id, notice.title, notice.text);
}

void restore(AppActions* app, WindowHandle page, std::string doc, std::string snapshot) {
    Dispatch::global().async([app, page, doc, snapshot] {
        auto failure = restoreVersion(doc, snapshot);
        Dispatch::main().async([app, page, failure] {
            if (failure) return notify(*app, *failure);
            page.reloadReader();
        });
    });
}

}  // namespace

void VersionsModule::handle(const BridgeRequest& r) {
    const std::string doc = r.window.original();
    if (doc.empty()) return;
    const auto snapshots = listVersionSnapshots(doc);
    if (snapshots.empty()) return notify(r.app, noVersionsNotice(doc));
    MenuChoice menu{kRestoreMenuTitle, {}};
    for (const auto& s : snapshots) menu.items.push_back(versionMenuItemTitle(s));
    AppActions* app = &r.app;  // the application outlives the dialogs' answers
    Dialogs* dialogs = &r.dialogs;
    const WindowHandle page = r.page;
    r.dialogs.menu(menu, [app, dialogs, page, doc, snapshots](std::optional<size_t> picked) {
        if (!picked || *picked >= snapshots.size() || !page.alive()) return;
        const std::string chosen = snapshots[*picked].path;
        const VersionConfirm ask = restoreConfirmation(doc);
        dialogs->confirm(ConfirmSheet{ask.title, ask.text, ask.verb, "", false},
                         [app, page, doc, chosen](ConfirmAnswer answer) {
                             if (answer == ConfirmAnswer::Cancel) return;
                             restore(app, page, doc, chosen);
                         });
    });
}

}  // namespace cvl
