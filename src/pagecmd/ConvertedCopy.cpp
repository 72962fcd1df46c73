#include "pagecmd/ConvertedCopy.h"

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/RealPath.h"
#include "platform/UserDirs.h"

namespace cvl::ConvertedCopy {

namespace {

std::string realPath(const std::string& path) {
    return resolvedPath(path).value_or(path);
}

std::string curlyName(const std::string& path) {
    return "\u201c" + lastPathComponent(path) + "\u201d";
}

}  // namespace

std::string cacheDir() {
    return UserDirs::archiveDir() + "/.converted";
}

bool isConvertedCopy(const std::string& pdf) {
    const std::string dir = realPath(cacheDir()) + "/";
    return realPath(pdf).rfind(dir, 0) == 0;
}

std::optional<Source> sourceOf(const std::string& pdf) {
    auto text = readFile(pdf + ".json", 1 << 16);
    if (!text) return std::nullopt;
    auto record = nlohmann::json::parse(*text, nullptr, false);
    if (!record.is_object() || !record.contains("source") || !record["source"].is_string())
        return std::nullopt;
    Source source{record["source"].get<std::string>(), false};
    struct stat st {};
    if (!source.path.empty() && ::stat(source.path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        const long long mtime = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        source.current = record.value("size", -1LL) == (long long)st.st_size &&
                         record.value("mtime_ns", -1LL) == mtime;
    }
    return source;
}

Result<std::string> outputOriginal(const std::string& pdf, const std::string& original) {
    const bool copy = isConvertedCopy(pdf);
    const bool given = !original.empty() && realPath(original) != realPath(pdf);
    if (!copy) return given ? original : std::string();
    auto source = sourceOf(pdf);
    if (given) {
        // The copy shown must be the one made from the original as it is now.
        if (source && realPath(source->path) == realPath(original) && !source->current)
            return Failure{curlyName(original) +
                           " changed after it was opened, so nothing was done. Open it again, "
                           "then try again."};
        if (!isRegularFile(original))
            return Failure{curlyName(original) + " is no longer there, so nothing was done."};
        return original;
    }
    if (!source)
        return Failure{
            "This PDF is a converted copy, and Corvello can\u2019t tell which document it was "
            "made from, so nothing was done. Open the document itself, then try again."};
    if (!source->current)
        return Failure{curlyName(source->path) +
                       " changed or moved after it was opened, so nothing was done. Open it "
                       "again, then try again."};
    return source->path;
}

}  // namespace cvl::ConvertedCopy
