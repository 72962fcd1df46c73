// The queries of the full-text index, over any connection to it: exact and fuzzy searches and
// the PDFs that gave no text. The indexing side (CVSearchIndex) and the command line's
// index-only search share them, so both answer alike.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/SearchTypes.h"

namespace cvl {
class SqliteConnection;

namespace IndexQueries {

// The index in the support folder that the application and cvl use by default.
std::string defaultIndexPath();

// A read-only, memory-mapped connection to an existing index; closed when there is no
// database file to open. What a writer killed mid-transaction left is recovered first.
std::unique_ptr<SqliteConnection> openReader(const std::string& dbPath);

// True when the connection holds the index's tables (the search statement prepares).
bool hasIndex(SqliteConnection& db);

std::vector<CVDocResult> searchExact(SqliteConnection& db, std::string_view q, int limitDocs = 300,
                                     int hitsPerDoc = 40);
std::vector<CVDocResult> searchFuzzy(SqliteConnection& db, std::string_view q, int limitDocs = 200,
                                     int hitsPerDoc = 20);

// The indexed PDFs in the folders or among the files that gave no text at all (scans
// without recognised text, and files that cannot be read), at most `cap`, by path.
std::vector<std::string> pdfsWithoutText(SqliteConnection& db, const std::vector<std::string>& dirs,
                                         const std::vector<std::string>& explicitFiles, int cap);

}  // namespace IndexQueries
}  // namespace cvl
