// The one confirmation rule for operations that change a document or a folder on disk.
// Each such operation has an action name ("bates", "delete", "duplicate", "fillform",
// "insert", "organize", "redact", "reorder", "rotate", ...). It asks only when the setting
// "pageops_confirm" (default true) is on and "pageops_skip_" + action (default false) is off.
#pragma once

#include <functional>
#include <string>

#include "window/AppActions.h"
#include "window/Dialogs.h"

namespace cvl::ConfirmChange {

// Whether the action asks first under the current settings.
bool needed(const std::string& action);

// Asks with `sheet` (its title, message and verb; the alternate button, the verb followed by
// " and Don’t Ask Again", is added here) when needed, then runs `proceed` or `cancel`. When the
// sheet names an alternate, that short verb is used instead ("Stamp 3 documents" as the verb,
// "Stamp" giving "Stamp and Don’t Ask Again").
// Without a question `proceed` runs at once. The alternate stores "pageops_skip_" + action,
// tells the application that a setting changed, and proceeds.
void ask(Dialogs& dialogs, AppActions& app, const std::string& action, ConfirmSheet sheet,
         std::function<void()> proceed, std::function<void()> cancel = {});

}  // namespace cvl::ConfirmChange
