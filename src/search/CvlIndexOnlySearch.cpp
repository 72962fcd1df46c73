#include <cstdio>
#include <nlohmann/json.hpp>

#include "search/CvlSearchOptions.h"
#include "search/IndexQueries.h"
#include "search/IndexedPayload.h"
#include "search/SqliteDb.h"
#include "search/UnicodeText.h"

namespace cvl {

std::optional<int> cvlIndexOnlySearch(const CvlSearchOptions& o) {
    const std::string q = cvlSearchQuery(o);
    if (!o.noRefresh || UnicodeText::graphemeCount(q) < 3) return std::nullopt;
    auto db = IndexQueries::openReader(o.db ? *o.db : IndexQueries::defaultIndexPath());
    if (!IndexQueries::hasIndex(*db)) return std::nullopt;
    // Whether a PDF without text is locked or damaged takes the PDF reader to tell.
    if (!IndexQueries::pdfsWithoutText(*db, o.dirs, o.files, 1).empty()) return std::nullopt;
    auto payload = SearchPayloads::indexedPayload(
        [&](bool fuzzy) {
            return fuzzy ? IndexQueries::searchFuzzy(*db, q) : IndexQueries::searchExact(*db, q);
        },
        q, o.mode, o.dirs, nlohmann::json::array());
    std::printf("%s\n", SearchPayloads::serialise(payload).value_or("{}").c_str());
    return 0;
}

}  // namespace cvl
