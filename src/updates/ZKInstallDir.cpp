#include "updates/ZKInstallDir.h"

#include <gnu/libc-version.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"

namespace cvl::ZKInstallDir {
namespace fs = std::filesystem;
namespace {

std::string trimmed(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Every entry of `dir` is one of `allowed`.
bool onlyHolds(const std::string& dir, const std::set<std::string>& allowed) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (!allowed.count(it->path().filename().string())) return false;
    return !ec;
}

}  // namespace

bool isSelfContained(const std::string& root) {
    if (root.empty() || root == "/") return false;
    if (!isRegularFile(root + "/bin/corvello") || !isRegularFile(root + "/share/corvello/VERSION"))
        return false;
    return onlyHolds(root, {"bin", "share"}) &&
           onlyHolds(root + "/share",
                     {"corvello", "applications", "icons", "man", "mime", "metainfo", "doc"});
}

std::optional<std::string> rootOf(const std::string& executable) {
    fs::path exe(executable);
    if (exe.parent_path().filename() != "bin") return std::nullopt;
    std::string root = exe.parent_path().parent_path().string();
    if (!isSelfContained(root)) return std::nullopt;
    return root;
}

std::string runningExecutable() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

std::optional<Version> versionOf(const std::string& root) {
    auto v = readFile(root + "/share/corvello/VERSION");
    if (!v || trimmed(*v).empty()) return std::nullopt;
    auto b = readFile(root + "/share/corvello/BUILD");
    return Version{trimmed(*v), b ? trimmed(*b) : std::string()};
}

std::optional<std::string> owningPackage(const std::string& path) {
    if (!isRegularFile("/usr/bin/dpkg-query")) return std::nullopt;
    ProcessSpec spec;
    spec.program = "/usr/bin/dpkg-query";
    spec.args = {"--search", path};
    spec.env = {{"LC_ALL", "C"}};
    spec.timeout = std::chrono::seconds(30);
    ProcessResult r = runProcess(spec);
    if (!r.succeeded()) return std::nullopt;
    // "corvello: /usr/bin/corvello" (a file several packages share lists them with commas).
    std::string line = r.out.substr(0, r.out.find('\n'));
    auto colon = line.find(": ");
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    return line.substr(0, colon);
}

std::string systemVersion() {
    return gnu_get_libc_version();
}

std::optional<int> corvelloRunningFrom(const std::string& root) {
    std::error_code ec;
    const std::string target = fs::weakly_canonical(root + "/bin/corvello", ec).string();
    const std::string self = std::to_string(::getpid());
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos ||
            name == self)
            continue;
        std::error_code linkError;
        std::string exe = fs::read_symlink(it->path() / "exe", linkError).string();
        if (!linkError && exe == target) return std::stoi(name);
    }
    return std::nullopt;
}

std::optional<std::string> findInstallIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    for (const auto& n : names)
        if (isSelfContained(folder + "/" + n)) return folder + "/" + n;
    return std::nullopt;
}

}  // namespace cvl::ZKInstallDir
