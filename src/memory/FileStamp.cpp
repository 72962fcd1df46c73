#include "memory/FileStamp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/FileIO.h"
#include "platform/UserDirs.h"

namespace cvl {

std::string FileStamp::text() const {
    return std::to_string(mtime) + "-" + std::to_string(size);
}

std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{static_cast<std::int64_t>(st.st_mtim.tv_sec),
                     static_cast<std::int64_t>(st.st_size)};
}

std::string standardizePath(const std::string& path) {
    if (path.empty()) return "";
    std::string p = UserDirs::expandTilde(path);
    if (p.front() != '/') {
        std::vector<char> buf(4096);
        if (::getcwd(buf.data(), buf.size())) p = std::string(buf.data()) + "/" + p;
    }
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string part = p.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    if (p.front() != '/') {
        // No working folder: keep the relative form, normalised.
        std::string out;
        for (const auto& part : parts) out += (out.empty() ? "" : "/") + part;
        return out;
    }
    std::string out;
    for (const auto& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

}  // namespace cvl
