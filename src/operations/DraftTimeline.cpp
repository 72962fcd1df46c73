#include "operations/DraftTimeline.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "memory/FileStamp.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfFacts.h"

namespace cvl::DraftTimeline {

using nlohmann::json;

namespace {

// "2024-01-31T09:45:00+01:00" (or without a zone) as seconds since 1970.
std::optional<long long> isoSeconds(const std::string& iso) {
    std::tm t{};
    if (iso.size() < 19 || !strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%S", &t)) return std::nullopt;
    long long s = timegm(&t);
    if (iso.size() >= 25 && (iso[19] == '+' || iso[19] == '-')) {
        const int hh = std::atoi(iso.substr(20, 2).c_str()),
                  mm = std::atoi(iso.substr(23, 2).c_str());
        const long long off = (hh * 60 + mm) * 60;
        s += iso[19] == '+' ? -off : off;
    }
    return s;
}

}  // namespace

std::optional<long long> draftDate(const std::string& path) {
    auto stamp = fileStamp(path);
    if (!stamp || !isRegularFile(path)) return std::nullopt;
    if (lowerExtension(path) == "pdf") {
        if (auto doc = PdfDocument::openFile(path); doc && !doc->isLocked())
            if (auto facts = pdfFacts(*doc)) {
                std::optional<long long> created, modified;
                for (const auto& [key, value] : facts->info) {
                    if (key == "ModDate") modified = isoSeconds(value);
                    if (key == "CreationDate") created = isoSeconds(value);
                }
                if (modified) return modified;
                if (created) return created;
            }
    }
    return stamp->mtime;
}

std::vector<std::string> orderByDate(const std::vector<std::string>& paths) {
    std::vector<std::pair<long long, std::string>> dated;
    for (const auto& p : paths)
        if (auto d = draftDate(p)) dated.emplace_back(*d, p);
    std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return lastPathComponent(a.second) < lastPathComponent(b.second);
    });
    std::vector<std::string> out;
    for (auto& [d, p] : dated) out.push_back(std::move(p));
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<std::pair<int, int>> neighbourPairs(size_t count) {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 1; i < count; ++i)
        out.emplace_back(static_cast<int>(i - 1), static_cast<int>(i));
    return out;
}

bool isReordering(const std::vector<std::string>& paths, const std::vector<std::string>& order) {
    if (paths.size() != order.size()) return false;
    auto a = paths, b = order;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b && std::adjacent_find(b.begin(), b.end()) == b.end();
}

json payload(const std::vector<std::string>& paths, const std::optional<std::string>& draftsJSON,
             const std::vector<std::pair<std::string, std::string>>& diffs) {
    json out{{"paths", paths}};
    if (!draftsJSON) {
        out["error"] = kNoAnswer;
        return out;
    }
    out["drafts"] = json::parse(*draftsJSON, nullptr, false);
    if (out["drafts"].is_discarded()) out["drafts"] = json::array();
    json d = json::object();
    for (const auto& [key, text] : diffs) {
        json v = json::parse(text, nullptr, false);
        if (!v.is_discarded()) d[key] = std::move(v);
    }
    out["diffs"] = std::move(d);
    return out;
}

}  // namespace cvl::DraftTimeline
