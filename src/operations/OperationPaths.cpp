#include "operations/OperationPaths.h"

#include <cctype>
#include <ctime>

#include "platform/FileIO.h"

namespace cvl {

bool isPdfPath(const std::string& path) {
    std::string ext = pathExtension(path);
    for (auto& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return ext == "pdf";
}

std::string fileStem(const std::string& path) {
    std::string name = lastPathComponent(path);
    auto dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 ? name.substr(0, dot) : name;
}

std::string isoTimestampNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm);
    const std::string s = buf;  // +0100 -> +01:00
    if (s.size() <= 5) return s;
    return s.substr(0, s.size() - 2) + ":" + s.substr(s.size() - 2);
}

}  // namespace cvl
