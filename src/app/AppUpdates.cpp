// The updater as the desktop application runs it: started once the windows are back, asked from
// the menu, its held update offered as a menu item and installed on quit. Its hooks may be
// called from the updater's own threads; they hop to the main queue and do nothing once the
// application has gone.
#include "app/AppDelegate.h"
#include "platform/Dispatch.h"
#include "updates/UpdaterSetup.h"

namespace cvl {

void AppDelegate::startUpdates() {
    auto onMain = [this, alive = alive_](std::function<void()> work) {
        Dispatch::main().async([this, alive, work = std::move(work)] {
            if (*alive && !quitting_) work();
        });
    };
    ZKUpdateHooks hooks;
    // A held update brings its menu item; a new status may take it away again.
    auto followHeld = [this] {
        auto title = UpdaterSetup::heldUpdateMenuTitle();
        if (title == heldUpdateShown_) return;
        heldUpdateShown_ = title;
        rebuildMenu();
    };
    hooks.onPendingUpdate = [onMain, followHeld] { onMain(followHeld); };
    hooks.onStatus = [onMain, followHeld](const std::string&) { onMain(followHeld); };
    hooks.presentNotice = [this, onMain](const std::string& title, const std::string& text) {
        onMain([this, title, text] { showNotice("update", title, text); });
    };
    hooks.presentConfirm = [this, onMain](const std::string& title, const std::string& text,
                                          const std::string& yes, const std::string& no,
                                          std::function<void(bool)> answer) {
        onMain([this, title, text, yes, no, answer = std::move(answer)] {
            // The question belongs to the key window; without one it is not asked.
            auto key = keyWindow();
            if (!key) return answer(false);
            ConfirmSheet sheet;
            sheet.title = title;
            sheet.message = text;
            sheet.verb = yes;
            (void)no;  // the sheet's own Cancel button declines
            key->dialogs().confirm(
                sheet, [answer](ConfirmAnswer a) { answer(a != ConfirmAnswer::Cancel); });
        });
    };
    hooks.requestQuit = [this, onMain] {
        onMain([this] { shell_.quit(); });
        return true;
    };
    UpdaterSetup::setupAutoUpdate(std::move(hooks));
}

void AppDelegate::checkForUpdates() {
    if (!UpdaterSetup::shared()) {
        showNotice("update", "Updates are off",
                   "This launch of Corvello does not check for updates.");
        return;
    }
    UpdaterSetup::checkForUpdates();
}

}  // namespace cvl
