#include "search/SearchPayloads.h"

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/pdf/PdfDocument.h"
#include "search/CVSearchIndex.h"

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

// PDFs of the scope with no text to search, for the page's note about scans: the index's files
// that gave no text, less those that are locked with a password or do not open.
json scannedWithoutText(const CVSearchIndex& index, const std::vector<std::string>& dirs,
                        const std::vector<std::string>& explicitFiles) {
    json out = json::array();
    for (const auto& path : index.pdfsWithoutText(dirs, explicitFiles, 300)) {
        auto doc = PdfDocument::openFile(path);
        if (!doc || doc->isLocked()) continue;
        out.push_back({{"path", path}, {"name", lastPathComponent(path)}});
    }
    return out;
}

json indexedSearchPayload(const CVSearchIndex& index, const std::string& q, const std::string& mode,
                          const std::vector<std::string>& dirs,
                          const std::vector<std::string>& explicitFiles) {
    auto results = mode == "fuzzy" ? index.searchFuzzy(q) : index.searchExact(q);
    std::int64_t fuzzyPreview = 0;
    if (mode == "exact" && results.empty())
        for (const auto& d : index.searchFuzzy(q)) fuzzyPreview += d.count;
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
            {"scannedNoText", scannedWithoutText(index, dirs, explicitFiles)}};
}

json scanPayload(const json& scan, const std::string& q, const std::string& mode, bool indexing) {
    auto member = [&](const char* key, json fallback) {
        auto it = scan.find(key);
        return it == scan.end() ? fallback : *it;
    };
    json docs = json::array();
    std::int64_t hitCount = 0;
    for (json doc : member("docs", json::array())) {
        if (!doc.is_object()) continue;
        doc["type"] = "pdf";
        doc["fuzzy"] = false;
        if (auto hits = doc.find("hits"); hits != doc.end() && hits->is_array()) {
            for (auto& h : *hits) {
                h["atype"] = "page";
                auto page = h.find("page");
                h["anchor"] = page == h.end() ? std::string() : page->dump();
                h["fuzzy"] = false;
            }
        }
        if (auto c = doc.find("count"); c != doc.end() && c->is_number_integer())
            hitCount += c->get<std::int64_t>();
        docs.push_back(std::move(doc));
    }
    return {{"q", q},
            {"mode", mode},
            {"indexed", false},
            {"indexing", indexing},
            {"docCount", docs.size()},
            {"docs", std::move(docs)},
            {"hitCount", hitCount},
            {"fuzzyAvailable", false},
            {"fuzzyPreview", 0},
            {"scope", member("scope", "")},
            {"scopeCount", member("scopeCount", 0)},
            {"scanned", member("scanned", 0)},
            {"scannedNoText", member("scannedNoText", json::array())},
            {"ocrUsed", member("ocrUsed", 0)},
            {"note", member("note", "")}};
}

std::optional<std::string> serialise(const json& payload) {
    try {
        return payload.dump();
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

}  // namespace cvl::SearchPayloads
