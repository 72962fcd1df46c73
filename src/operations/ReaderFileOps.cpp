#include "operations/ReaderFileOps.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileIO.h"
#include "platform/TextEscape.h"

namespace cvl::ReaderFileOps {

namespace {

std::pair<std::string, std::string> splitExt(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {name, ""};
    return {name.substr(0, dot), name.substr(dot)};
}

}  // namespace

std::string uniqueDest(const std::string& folder, const std::string& name) {
    const std::string first = folder + "/" + name;
    if (!pathExists(first)) return first;
    auto [base, ext] = splitExt(name);
    for (int n = 2;; ++n) {
        const std::string candidate = folder + "/" + base + " " + std::to_string(n) + ext;
        if (!pathExists(candidate)) return candidate;
    }
}

Result<std::string> newFileName(const std::string& oldPath, const std::string& typed) {
    std::string name = trimWhitespace(typed);
    if (name.empty()) return Failure{"Type a name for the document."};
    if (name == "." || name == "..") return Failure{"“" + name + "” cannot be a file name."};
    if (name.find('/') != std::string::npos) return Failure{"A file name cannot contain “/”."};
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return Failure{"A file name cannot contain control characters."};
    const std::string oldExt = splitExt(lastPathComponent(oldPath)).second;
    if (splitExt(name).second.empty() && !oldExt.empty()) name += oldExt;
    if (name.size() > 255) return Failure{"That name is too long for a file."};
    return name;
}

Result<std::string> renameInFolder(const std::string& path, const std::string& typed) {
    if (!pathExists(path))
        return Failure{"“" + lastPathComponent(path) + "” is not there any more."};
    auto name = newFileName(path, typed);
    if (!name) return Failure{name.error()};
    if (*name == lastPathComponent(path)) return path;
    // The free name is checked again by the rename itself: a file that appears there
    // meanwhile is never replaced.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string dest = uniqueDest(parentPath(path), *name);
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, dest.c_str(), RENAME_NOREPLACE) == 0)
            return dest;
        if (errno != EEXIST) break;
    }
    return Failure{"“" + lastPathComponent(path) +
                   "” could not be renamed: " + std::strerror(errno) + "."};
}

Result<std::string> duplicateBeside(const std::string& path) {
    auto bytes = readFile(path);
    if (!bytes) return Failure{readFailureMessage(path)};
    auto [base, ext] = splitExt(lastPathComponent(path));
    const std::string dest = uniqueDest(parentPath(path), base + " copy" + ext);
    struct stat st {};
    const unsigned mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    if (auto written = writeFileAtomic(dest, *bytes, mode); !written)
        return Failure{"The copy could not be written: " + written.error()};
    return dest;
}

}  // namespace cvl::ReaderFileOps
