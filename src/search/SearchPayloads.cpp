#include "search/SearchPayloads.h"

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/pdf/PdfDocument.h"
#include "search/CVSearchIndex.h"

namespace cvl::SearchPayloads {

using nlohmann::json;

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
    return indexedPayload(
        [&](bool fuzzy) { return fuzzy ? index.searchFuzzy(q) : index.searchExact(q); }, q, mode,
        dirs, scannedWithoutText(index, dirs, explicitFiles));
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

}  // namespace cvl::SearchPayloads
