// The history page's bridge operations, for the window services of the desktop application:
// "histforget", "histfav", "histpin", "histpinclear" and "histcovers".
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cvl {

class HistoryStore;

// Runs the operation on the store; `reply` (when set) receives the arguments of the page's
// callback: the quoted path and the new state for a toggle, nothing for a cleared pin set, the
// covers object for covers. False for an operation that is not the history page's.
bool runHistoryOperation(HistoryStore& store, const std::string& op,
                         const std::vector<std::string>& paths,
                         std::function<void(std::string)> reply);

}  // namespace cvl
