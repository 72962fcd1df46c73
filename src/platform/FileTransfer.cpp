#include "platform/FileTransfer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/FileIO.h"
#include "platform/Hashing.h"

namespace cvl::FileTransfer {
namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// The reason alone: callers name the item themselves.
Failure osFailure(int err) {
    return Failure{std::strerror(err)};
}

// rename(2) that fails with EEXIST instead of replacing. File systems without the
// no-replace flag get a hard link (atomic, refuses to replace) for files and a checked
// rename for folders.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) != 0) {
                int err = errno;
                ::unlink(to.c_str());
                return err;
            }
            return 0;
        }
        if (errno == EEXIST || errno == EXDEV) return errno;
    }
    struct stat there {};
    if (::lstat(to.c_str(), &there) == 0) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int copyBytes(int in, int out) {
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return 0;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        break;  // not supported between these files: plain reads and writes
    }
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            done += w;
        }
    }
}

// Copies one item to `to`, which must not exist; folders recursively. Permissions and
// modification times follow the original.
Status copyItem(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return osFailure(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (S_ISLNK(st.st_mode)) {
        std::string target(size_t(st.st_size) + 1, '\0');
        ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0) return osFailure(errno);
        target.resize(size_t(n));
        if (::symlink(target.c_str(), to.c_str()) != 0) return osFailure(errno);
        ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return success();
    }
    if (S_ISREG(st.st_mode)) {
        Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
        if (in.fd < 0) return osFailure(errno);
        Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (out.fd < 0) return osFailure(errno);
        if (int err = copyBytes(in.fd, out.fd)) return osFailure(err);
        ::fchmod(out.fd, st.st_mode & 07777);
        ::futimens(out.fd, times);
        if (::fsync(out.fd) != 0) return osFailure(errno);
        return success();
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(to.c_str(), 0700) != 0) return osFailure(errno);
        std::unique_ptr<DIR, DirCloser> dir(::opendir(from.c_str()));
        if (!dir) return osFailure(errno);
        while (dirent* entry = ::readdir(dir.get())) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            Status child = copyItem(from + "/" + name, to + "/" + name);
            if (!child) return child;
        }
        ::chmod(to.c_str(), st.st_mode & 07777);
        ::utimensat(AT_FDCWD, to.c_str(), times, 0);
        return success();
    }
    return Failure{"only files, folders and links can be copied"};
}

void removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

// A hidden name beside `to` for a copy that is not finished yet.
std::string stagingPath(const std::string& to) {
    std::string dir = parentPath(to);
    return (dir.empty() ? std::string(".") : dir) + "/.cvl-part-" + newUuid();
}

// Copies `from` under a hidden name beside `to` and renames it into place.
Status stagedCopy(const std::string& from, const std::string& to) {
    std::string staging = stagingPath(to);
    Status copied = copyItem(from, staging);
    if (!copied) {
        removeTree(staging);
        return copied;
    }
    if (int err = renameNoReplace(staging, to)) {
        removeTree(staging);
        return osFailure(err);
    }
    return success();
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

Status moveNoReplace(const std::string& from, const std::string& to) {
    if (!exists(from)) return osFailure(ENOENT);
    if (to == from || to.rfind(from + "/", 0) == 0)
        return Failure{"a folder cannot be moved into itself"};
    int err = renameNoReplace(from, to);
    if (err == 0) return success();
    if (err != EXDEV) return osFailure(err);
    // Another file system: the original must be removable before anything is copied.
    std::string parent = parentPath(from);
    if (::access(parent.empty() ? "." : parent.c_str(), W_OK) != 0) return osFailure(errno);
    if (exists(to)) return osFailure(EEXIST);
    Status copied = stagedCopy(from, to);
    if (!copied) return copied;
    std::error_code ec;
    std::filesystem::remove_all(from, ec);
    if (ec) {
        // A file that cannot be removed leaves things as they were; a folder removed in part
        // stays complete at its new place.
        std::string why = ec.message();
        struct stat st {};
        if (::lstat(from.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) removeTree(to);
        return Failure{"the original could not be removed: " + why};
    }
    return success();
}

Status copyNoReplace(const std::string& from, const std::string& to) {
    if (!exists(from)) return osFailure(ENOENT);
    if (to.rfind(from + "/", 0) == 0) return Failure{"a folder cannot be copied into itself"};
    if (exists(to)) return osFailure(EEXIST);
    return stagedCopy(from, to);
}

}  // namespace cvl::FileTransfer
