#include "window/PageTrust.h"

#include <optional>

#include "app/WorkingFolderSweep.h"
#include "platform/RealPath.h"
#include "platform/UserDirs.h"
#include "window/BridgeDispatch.h"
#include "window/ReaderURL.h"

namespace cvl::PageTrust {
namespace {

bool inside(const std::string& path, const std::string& folder) {
    auto dir = resolvedPath(folder);
    return dir && path.size() > dir->size() && path.compare(0, dir->size(), *dir) == 0 &&
           path[dir->size()] == '/';
}

bool hasDotStep(const std::string& path) {
    return path.find("/../") != std::string::npos || path.find("/./") != std::string::npos ||
           (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0);
}

}  // namespace

bool isOwnPage(const std::string& url) {
    if (BridgeDispatch::scheme(url) != "file") return false;
    auto path = ReaderAddress::filePath(url);
    if (!path || path->empty() || (*path)[0] != '/' || hasDotStep(*path)) return false;
    auto real = resolvedPath(*path);
    if (!real) return false;
    if (inside(*real, UserDirs::resourceDir()) || inside(*real, UserDirs::engineOverrideDir()))
        return true;
    // In the working folder only the pages the host wrote there: a file the user saved into
    // it is not one of the program's pages.
    const auto slash = real->rfind('/');
    return real->substr(0, slash) == resolvedPath(UserDirs::archiveDir()).value_or("") &&
           WorkingFolderSweep::isGeneratedPageName(real->substr(slash + 1));
}

}  // namespace cvl::PageTrust
