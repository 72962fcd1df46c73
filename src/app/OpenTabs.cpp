#include "app/OpenTabs.h"

namespace cvl {

std::optional<std::string> openTabsRestoreReason(const std::optional<std::string>& savedBuild,
                                                 const std::string& build, bool cleanQuit,
                                                 std::optional<double> quitAge, bool discard,
                                                 bool keepWindows) {
    if (discard) return std::nullopt;
    bool oldQuit = !quitAge || *quitAge < 0 || *quitAge >= 600;
    if (savedBuild == build || (cleanQuit && oldQuit)) {
        if (cleanQuit && keepWindows) return "relaunch";
        return std::nullopt;
    }
    return "update";
}

}  // namespace cvl
