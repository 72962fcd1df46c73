#include "search/IndexedPayload.h"

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"

namespace cvl::SearchPayloads {

using nlohmann::json;

json docResultJson(const CVDocResult& doc) {
    json hits = json::array();
    for (const auto& h : doc.hits) {
        json hit = {{"anchor", h.anchor},   {"atype", h.atype}, {"page", h.page},
                    {"snippet", h.snippet}, {"match", h.match}, {"fuzzy", h.fuzzy}};
        if (h.matchAt >= 0) hit["at"] = h.matchAt;
        hits.push_back(std::move(hit));
    }
    return {{"path", doc.path},   {"name", doc.name},         {"type", doc.type},
            {"count", doc.count}, {"shown", doc.hits.size()}, {"hits", std::move(hits)},
            {"fuzzy", doc.fuzzy}};
}

json indexedPayload(const IndexSearch& search, const std::string& q, const std::string& mode,
                    const std::vector<std::string>& dirs, json scannedNoText) {
    auto results = search(mode == "fuzzy");
    std::int64_t fuzzyPreview = 0;
    if (mode == "exact" && results.empty())
        for (const auto& d : search(true)) fuzzyPreview += d.count;
    json docs = json::array();
    std::int64_t hitCount = 0;
    for (const auto& d : results) {
        docs.push_back(docResultJson(d));
        hitCount += d.count;
    }
    return {{"q", q},
            {"mode", mode},
            {"indexed", true},
            {"indexing", false},
            {"docCount", docs.size()},
            {"docs", std::move(docs)},
            {"hitCount", hitCount},
            {"fuzzyAvailable", fuzzyPreview > 0},
            {"fuzzyPreview", fuzzyPreview},
            {"scope", dirs.empty() ? std::string() : lastPathComponent(dirs[0])},
            {"scopeCount", dirs.size()},
            {"scannedNoText", std::move(scannedNoText)}};
}

std::optional<std::string> serialise(const json& payload) {
    try {
        return payload.dump();
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

}  // namespace cvl::SearchPayloads
