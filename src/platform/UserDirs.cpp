#include "platform/UserDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Env.h"
#include "platform/FileIO.h"

#ifndef CVL_SOURCE_RESOURCES
#define CVL_SOURCE_RESOURCES ""
#endif
#ifndef CVL_INSTALL_RESOURCES
#define CVL_INSTALL_RESOURCES ""
#endif

namespace cvl::UserDirs {

std::string home() {
    if (std::string h = envValue("HOME"); !h.empty()) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string expandTilde(const std::string& path) {
    if (path == "~") return home();
    if (path.rfind("~/", 0) == 0) return home() + path.substr(1);
    return path;
}

std::string supportDir() {
    return home() + "/Library/Application Support/Corvello";
}
std::string logDir() {
    return home() + "/Library/Logs/Corvello";
}
std::string archiveDir() {
    return home() + "/Vizazi Divavo rez Iviruzi";
}
std::string engineOverrideDir() {
    return home() + "/.claude/skills/_corvello_use_bundled_engine";
}
std::string configPath() {
    return supportDir() + "/config.json";
}

// share/corvello beside the executable's bin folder, so an install directory works wherever
// it is put (and after it is moved as a whole); empty when there is none.
static const std::string& besideExecutable() {
    static const std::string dir = [] {
        char buf[4096];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return std::string();
        std::string exe(buf, static_cast<size_t>(n));
        std::string bin = parentPath(exe);
        if (lastPathComponent(bin) != "bin") return std::string();
        std::string res = parentPath(bin) + "/share/corvello";
        return isRegularFile(res + "/VERSION") ? res : std::string();
    }();
    return dir;
}

std::string resourceDir() {
    if (std::string r = envValue("CVL_RESOURCES"); !r.empty()) return r;
    if (!besideExecutable().empty()) return besideExecutable();
    if (*CVL_INSTALL_RESOURCES && isDirectory(CVL_INSTALL_RESOURCES)) return CVL_INSTALL_RESOURCES;
    return CVL_SOURCE_RESOURCES;
}

std::vector<std::string> ownPageDirs() {
    return {resourceDir(), engineOverrideDir(), archiveDir()};
}

}  // namespace cvl::UserDirs
