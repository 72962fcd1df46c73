#include "search/OcrCache.h"

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/UserDirs.h"

namespace cvl::OcrCache {

std::string ocrCacheDir() {
    std::string dir = UserDirs::supportDir() + "/ocr";
    makeDirs(dir);
    return dir;
}

std::optional<std::string> ocrCacheKey(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    std::string material = path + "|" + std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) +
                           "|" + std::to_string(static_cast<long long>(st.st_size));
    return sha256Hex(material);
}

std::optional<std::map<std::int64_t, std::string>> ocrCacheRead(const std::string& path) {
    auto key = ocrCacheKey(path);
    if (!key) return std::nullopt;
    auto data = readFile(ocrCacheDir() + "/" + *key + ".json");
    if (!data) return std::nullopt;
    nlohmann::json doc = nlohmann::json::parse(*data, nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    auto pages = doc.find("pages");
    if (pages == doc.end() || !pages->is_array()) return std::nullopt;
    std::map<std::int64_t, std::string> out;
    for (const auto& p : *pages) {
        if (!p.is_object()) continue;
        auto page = p.find("page");
        auto text = p.find("text");
        if (page == p.end() || !page->is_number_integer()) continue;
        if (text == p.end() || !text->is_string()) continue;
        const auto& s = text->get_ref<const std::string&>();
        if (!s.empty()) out[page->get<std::int64_t>()] = s;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

}  // namespace cvl::OcrCache
