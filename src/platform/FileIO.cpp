#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/Text.h"

namespace cvl {

std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || out.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

std::string unreadableReason(const std::string& path, std::size_t maxBytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "missing";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (static_cast<std::size_t>(st.st_size) > maxBytes) return "too large";
    return "";
}

std::string readFailureMessage(const std::string& path) {
    const std::string name = "\u201c" + lastPathComponent(path) + "\u201d";
    const std::string why = unreadableReason(path);
    if (why == "missing") return "Corvello couldn\u2019t find " + name + ".";
    if (why == "not a regular file")
        return name + " isn\u2019t a regular file, so Corvello won\u2019t read it.";
    if (why == "too large") return name + " is too large to open (over 2 GB).";
    return "Corvello couldn\u2019t read " + name + ".";
}

Status writeFileAtomic(const std::string& path, std::string_view data, unsigned mode) {
    std::string dir = parentPath(path);
    std::string tmpl =
        (dir.empty() ? std::string(".") : dir) + "/." + lastPathComponent(path) + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return Failure{"Could not write " + path + ": " + std::strerror(errno)};
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        return Failure{"Could not write " + path + ": " + std::strerror(err)};
    };
    size_t done = 0;
    while (done < data.size()) {
        ssize_t w = ::write(fd, data.data() + done, data.size() - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(w);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        return Failure{"Could not write " + path + ": " + std::strerror(err)};
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        return Failure{"Could not write " + path + ": " + std::strerror(err)};
    }
    return success();
}

bool makeDirs(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return isDirectory(path);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string lastPathComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string parentPath(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    auto slash = p.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string pathExtension(const std::string& path) {
    std::string name = lastPathComponent(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return name.substr(dot + 1);
}

std::string lowerExtension(const std::string& path) {
    return asciiLower(pathExtension(path));
}

}  // namespace cvl
