#include "search/IndexQueries.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>

#include "platform/UserDirs.h"
#include "search/SearchMatching.h"
#include "search/SqliteDb.h"
#include "search/UnicodeText.h"

namespace cvl::IndexQueries {
namespace {

const char* const kSearchSql =
    "SELECT c.path, c.atype, c.anchor, c.page, c.body\n"
    "FROM chunk_fts f JOIN chunk c ON c.id = f.rowid\n"
    "WHERE chunk_fts MATCH ? ORDER BY rank LIMIT ?;";

// Runs the search statement and hands every row to the grouper.
void matchRows(SqliteConnection& db, const std::string& expression, int cap,
               SearchMatching::Grouper& into) {
    SqliteStatement& st = db.cached(kSearchSql);
    if (!st.valid()) return;
    st.bindText(1, expression);
    st.bindInt(2, cap);
    while (st.stepRow())
        into.add(st.columnView(0), st.columnView(1), st.columnView(2), st.columnInt64(3),
                 st.columnView(4));
    st.reset();  // ends the read transaction
}

}  // namespace

std::string defaultIndexPath() {
    return UserDirs::supportDir() + "/searchindex.db";
}

namespace {

// A writer killed mid-transaction leaves a hot rollback journal or a write-ahead log that
// needs recovery; a read-only connection may not repair either and fails every read. One
// read-write open does the recovery SQLite would do for any writer.
bool needsRecovery(SqliteConnection& db) {
    if (db.queryInt64("PRAGMA schema_version;", -1) >= 0) return false;
    const int code = db.errorCode();
    return code == SQLITE_READONLY_ROLLBACK || code == SQLITE_READONLY_RECOVERY ||
           code == SQLITE_READONLY_CANTINIT;
}

}  // namespace

std::unique_ptr<SqliteConnection> openReader(const std::string& dbPath) {
    auto db = std::make_unique<SqliteConnection>(dbPath, SqliteConnection::Mode::readOnly);
    if (db->isOpen() && needsRecovery(*db)) {
        SqliteConnection writer(dbPath, SqliteConnection::Mode::readWriteCreate);
        writer.exec("PRAGMA busy_timeout=4000;");
        writer.queryInt64("PRAGMA schema_version;", -1);
        db = std::make_unique<SqliteConnection>(dbPath, SqliteConnection::Mode::readOnly);
    }
    if (db->isOpen()) {
        db->exec("PRAGMA busy_timeout=4000;");
        // Pages are read in place from the file's mapping instead of being copied into the
        // connection's cache; a cold process answers without filling a cache first.
        db->exec("PRAGMA mmap_size=2147418112;");
    }
    return db;
}

bool hasIndex(SqliteConnection& db) {
    return db.isOpen() && db.cached(kSearchSql).valid();
}

std::vector<CVDocResult> searchExact(SqliteConnection& db, std::string_view q, int limitDocs,
                                     int hitsPerDoc) {
    std::string query(UnicodeText::trimWhitespace(q));
    if (UnicodeText::graphemeCount(query) < 3) return {};
    long long cap = 2LL * limitDocs * hitsPerDoc;
    SearchMatching::Grouper grouper(query, false, limitDocs, hitsPerDoc);
    matchRows(db, SearchMatching::exactExpression(query),
              static_cast<int>(std::min<long long>(cap, INT32_MAX)), grouper);
    return grouper.finish();
}

std::vector<CVDocResult> searchFuzzy(SqliteConnection& db, std::string_view q, int limitDocs,
                                     int hitsPerDoc) {
    std::string query(UnicodeText::trimWhitespace(q));
    if (UnicodeText::graphemeCount(query) < 3) return {};
    auto tris = SearchMatching::trigrams(query);
    if (tris.empty()) return {};
    SearchMatching::Grouper grouper(query, true, limitDocs, hitsPerDoc);
    matchRows(db, SearchMatching::fuzzyExpression(tris), 6000, grouper);
    return grouper.finish();
}

std::vector<std::string> pdfsWithoutText(SqliteConnection& db, const std::vector<std::string>& dirs,
                                         const std::vector<std::string>& explicitFiles, int cap) {
    std::vector<std::string> out;
    if (!db.isOpen()) return out;
    SqliteStatement st = db.prepare(
        "SELECT f.path FROM files f WHERE f.type='pdf' AND NOT EXISTS "
        "(SELECT 1 FROM chunk c WHERE c.path=f.path) ORDER BY f.path;");
    while (st.stepRow() && int(out.size()) < cap) {
        std::string path = st.columnText(0);
        bool inScope =
            std::find(explicitFiles.begin(), explicitFiles.end(), path) != explicitFiles.end();
        for (const auto& dir : dirs)
            inScope = inScope || (path.size() > dir.size() &&
                                  path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/');
        if (inScope) out.push_back(std::move(path));
    }
    return out;
}

}  // namespace cvl::IndexQueries
