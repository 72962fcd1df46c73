#include "window/ConfirmChange.h"

#include "app/Config.h"

namespace cvl::ConfirmChange {

bool needed(const std::string& action) {
    return cfgBool("pageops_confirm", true) && !cfgBool("pageops_skip_" + action, false);
}

void ask(Dialogs& dialogs, AppActions& app, const std::string& action, ConfirmSheet sheet,
         std::function<void()> proceed, std::function<void()> cancel) {
    if (!needed(action)) {
        if (proceed) proceed();
        return;
    }
    sheet.alternate =
        (sheet.alternate.empty() ? sheet.verb : sheet.alternate) + " and Don\u2019t Ask Again";
    dialogs.confirm(sheet, [&app, action, proceed = std::move(proceed),
                            cancel = std::move(cancel)](ConfirmAnswer answer) {
        if (answer == ConfirmAnswer::Cancel) {
            if (cancel) cancel();
            return;
        }
        if (answer == ConfirmAnswer::Alternate) {
            // Not remembered when the settings cannot be written: the next time asks again.
            if (Status saved = cfgSetBool("pageops_skip_" + action, true); !saved)
                app.showNotice("settings", "Setting not saved", saved.error());
            app.settingsChanged();
        }
        if (proceed) proceed();
    });
}

}  // namespace cvl::ConfirmChange
