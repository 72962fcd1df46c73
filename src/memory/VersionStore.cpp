#include "memory/VersionStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "memory/FileStamp.h"
#include "memory/StableHash.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"

namespace cvl {
namespace {

// Names in a folder, without "." and "..". Empty when the folder cannot be read.
std::vector<std::string> listNames(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n == "." || n == "..") continue;
        names.emplace_back(n);
    }
    ::closedir(d);
    return names;
}

bool parseInt64(std::string_view s, std::int64_t& out) {
    if (s.empty() || s.size() > 19) return false;
    std::int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

// Copies `from` to `to` byte for byte, flushing to disk; removes `to` on failure and returns
// the system's description of the error.
std::optional<std::string> copyFileContents(const std::string& from, const std::string& to,
                                            mode_t mode) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return std::string(std::strerror(errno));
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (out < 0) {
        int err = errno;
        ::close(in);
        return std::string(std::strerror(err));
    }
    std::vector<char> buf(1 << 16);
    int err = 0;
    for (;;) {
        ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            err = errno;
            break;
        }
        if (r == 0) break;
        ssize_t done = 0;
        while (done < r) {
            ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(r - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                err = errno;
                break;
            }
            done += w;
        }
        if (err) break;
    }
    ::close(in);
    if (!err && ::fsync(out) != 0) err = errno;
    if (::close(out) != 0 && !err) err = errno;
    if (err) {
        ::unlink(to.c_str());
        return std::string(std::strerror(err));
    }
    return std::nullopt;
}

std::string formatBytes(std::int64_t n) {
    char buf[32];
    if (n < 1000) {
        std::snprintf(buf, sizeof buf, "%lld bytes", static_cast<long long>(n));
    } else if (n < 1000 * 1000) {
        std::snprintf(buf, sizeof buf, "%.0f KB", n / 1000.0);
    } else if (n < 1000LL * 1000 * 1000) {
        std::snprintf(buf, sizeof buf, "%.1f MB", n / 1e6);
    } else {
        std::snprintf(buf, sizeof buf, "%.2f GB", n / 1e9);
    }
    return buf;
}

}  // namespace

std::string versionStoreRoot() {
    return UserDirs::expandTilde("~/Library/Application Support/Corvello/versions");
}

std::string versionStoreDir(const std::string& docPath) {
    std::string dir = versionStoreRoot() + "/" + cvlStableHash(docPath);
    makeDirs(dir);
    return dir;
}

bool snapshotVersionFile(const std::string& docPath) {
    if (lowerExtension(docPath) != "pdf") return false;
    auto stamp = fileStamp(docPath);
    if (!stamp || stamp->size < 1 || !isRegularFile(docPath)) return false;
    std::string dir = versionStoreDir(docPath);
    std::string prefix = stamp->text() + "__";
    for (const auto& name : listNames(dir))
        if (name.rfind(prefix, 0) == 0) return false;
    // Copy under a dot name first so that an interrupted copy never passes for a kept version.
    std::string target = dir + "/" + prefix + lastPathComponent(docPath);
    std::string partial = dir + "/.partial-" + stamp->text();
    if (copyFileContents(docPath, partial, 0644)) return false;
    if (::rename(partial.c_str(), target.c_str()) != 0) {
        ::unlink(partial.c_str());
        return false;
    }
    pruneVersionStore(dir);
    return true;
}

void pruneVersionStore(const std::string& dir, std::time_t now) {
    auto visible = [&] {
        auto names = listNames(dir);
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [](const std::string& n) { return n.front() == '.'; }),
                    names.end());
        std::sort(names.begin(), names.end());
        return names;
    };
    auto names = visible();
    if (names.size() > static_cast<size_t>(kMaxVersionSnapshots)) {
        for (size_t i = 0; i < names.size() - kMaxVersionSnapshots; ++i)
            ::unlink((dir + "/" + names[i]).c_str());
    }
    std::time_t cutoff = now - kVersionMaxAgeSeconds;
    for (const auto& name : visible()) {
        std::string p = dir + "/" + name;
        struct stat st;
        if (::stat(p.c_str(), &st) == 0 && st.st_mtim.tv_sec < cutoff) ::unlink(p.c_str());
    }
}

std::vector<VersionSnapshot> listVersionSnapshots(const std::string& docPath) {
    std::string dir = versionStoreDir(docPath);
    std::vector<VersionSnapshot> out;
    for (const auto& name : listNames(dir)) {
        if (name.find("__") == std::string::npos) continue;
        std::string stamp = name.substr(0, name.find('_'));
        auto dash = stamp.find('-');
        if (dash == std::string::npos) continue;
        VersionSnapshot s;
        if (!parseInt64(std::string_view(stamp).substr(0, dash), s.mtime) ||
            !parseInt64(std::string_view(stamp).substr(dash + 1), s.size))
            continue;
        s.path = dir + "/" + name;
        out.push_back(std::move(s));
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a.mtime != b.mtime ? a.mtime > b.mtime : a.path > b.path;
    });
    return out;
}

VersionNotice noVersionsNotice(const std::string& docPath) {
    return {"versions", "No earlier versions yet",
            "There are no copies yet. Corvello keeps a copy whenever " +
                lastPathComponent(docPath) + " changes while it is open."};
}

std::string versionMenuItemTitle(const VersionSnapshot& snapshot) {
    std::time_t t = static_cast<std::time_t>(snapshot.mtime);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char date[64];
    std::strftime(date, sizeof date, "%-d %b %Y, %H:%M", &tm);
    return std::string(date) + " \u00b7 " + formatBytes(snapshot.size);
}

VersionConfirm restoreConfirmation(const std::string& docPath) {
    return {"Restore this version?",
            "This replaces \u201c" + lastPathComponent(docPath) +
                "\u201d on disk with the selected earlier copy. The current version is banked "
                "first, so you can switch back to it.",
            "Restore"};
}

std::optional<VersionNotice> restoreVersion(const std::string& docPath,
                                            const std::string& snapshotPath) {
    auto failed = [](const std::string& why) {
        return VersionNotice{"versions", "Could not restore that version",
                             why + " The current version is unchanged."};
    };
    if (!isRegularFile(snapshotPath))
        return failed("The earlier copy could not be found (" + lastPathComponent(snapshotPath) +
                      ").");
    // Bank the current version; false also means it is kept already.
    (void)snapshotVersionFile(docPath);
    // Keep the document's permissions on the restored file.
    struct stat st;
    mode_t mode = ::stat(docPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    std::string tmp = docPath + ".cvlrestore.tmp";
    ::unlink(tmp.c_str());
    if (auto err = copyFileContents(snapshotPath, tmp, mode)) return failed(*err + ".");
    ::chmod(tmp.c_str(), mode);
    if (::rename(tmp.c_str(), docPath.c_str()) != 0) {
        std::string err = std::strerror(errno);
        ::unlink(tmp.c_str());
        return failed(err + ".");
    }
    return std::nullopt;
}

}  // namespace cvl
