#include "search/CVSearchIndex.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <unordered_set>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "search/OcrCache.h"
#include "search/OrderedWork.h"
#include "search/SearchMatching.h"
#include "search/SearchScope.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

namespace cvl {
namespace {

const char* const kSchema[] = {
    "PRAGMA journal_mode=WAL;",
    "PRAGMA synchronous=NORMAL;",
    "PRAGMA busy_timeout=4000;",
    "CREATE TABLE IF NOT EXISTS files(\n"
    "  path TEXT PRIMARY KEY, mtime INTEGER, size INTEGER, type TEXT, indexed_at INTEGER);",
    "CREATE TABLE IF NOT EXISTS chunk(\n"
    "  id INTEGER PRIMARY KEY, path TEXT, atype TEXT, anchor TEXT, page INTEGER, body TEXT);",
    "CREATE INDEX IF NOT EXISTS chunk_path ON chunk(path);",
    "CREATE VIRTUAL TABLE IF NOT EXISTS chunk_fts USING fts5(\n"
    "  body, content='chunk', content_rowid='id', tokenize='trigram');",
    "CREATE TRIGGER IF NOT EXISTS chunk_ai AFTER INSERT ON chunk BEGIN\n"
    "  INSERT INTO chunk_fts(rowid, body) VALUES(new.id, new.body); END;",
    "CREATE TRIGGER IF NOT EXISTS chunk_ad AFTER DELETE ON chunk BEGIN\n"
    "  INSERT INTO chunk_fts(chunk_fts, rowid, body) VALUES('delete', old.id, old.body); END;",
    "CREATE TRIGGER IF NOT EXISTS chunk_au AFTER UPDATE ON chunk BEGIN\n"
    "  INSERT INTO chunk_fts(chunk_fts, rowid, body) VALUES('delete', old.id, old.body);\n"
    "  INSERT INTO chunk_fts(rowid, body) VALUES(new.id, new.body); END;",
};

const char* const kSearchSql =
    "SELECT c.path, c.atype, c.anchor, c.page, c.body\n"
    "FROM chunk_fts f JOIN chunk c ON c.id = f.rowid\n"
    "WHERE chunk_fts MATCH ? ORDER BY rank LIMIT ?;";

SqliteConnection openIndex(const std::string& dbPath) {
    makeDirs(parentPath(dbPath));  // failure shows as a failed open
    return SqliteConnection(dbPath);
}

// Files extracted ahead of the writer at most: bounds the memory of a run.
constexpr std::size_t kExtractAhead = 16;

bool isIndexablePath(const std::string& path) {
    return TextExtraction::isIndexableExt(TextExtraction::lowerExtension(path));
}

std::string trimmedQuery(std::string_view q) {
    return std::string(UnicodeText::trimWhitespace(q));
}

}  // namespace

CVSearchIndex::CVSearchIndex(std::string dbPath, OcrLookup ocrLookup)
    : db_(openIndex(dbPath)), dbPath_(std::move(dbPath)), ocrLookup_(std::move(ocrLookup)) {
    for (const char* sql : kSchema) db_.exec(sql);
    // A page cache of up to 64 MiB keeps the index pages of repeated searches in memory.
    db_.exec("PRAGMA cache_size=-65536;");
}

CVSearchIndex& CVSearchIndex::shared() {
    // Never destroyed: work on the index queue may still be running while the process exits.
    union Holder {
        CVSearchIndex index;
        Holder()
            : index(defaultPath(),
                    [](const std::string& path) { return OcrCache::ocrCacheRead(path); }) {}
        ~Holder() {}
    };
    static Holder holder;
    return holder.index;
}

std::shared_ptr<CVSearchIndex> CVSearchIndex::sharedIndex() {
    return std::shared_ptr<CVSearchIndex>(&shared(), [](CVSearchIndex*) {});
}

std::string CVSearchIndex::defaultPath() {
    return UserDirs::supportDir() + "/searchindex.db";
}

Dispatch::Queue& CVSearchIndex::queue() {
    return Dispatch::serial("com.corvello.searchindex");
}

std::int64_t CVSearchIndex::fileCount() const {
    SqliteStatement st = db_.prepare("SELECT COUNT(*) FROM files;");
    return st.stepRow() ? st.columnInt64(0) : 0;
}

std::unordered_map<std::string, CVSearchIndex::FileKey> CVSearchIndex::indexedFiles() const {
    std::unordered_map<std::string, FileKey> out;
    SqliteStatement st = db_.prepare("SELECT path, mtime, size FROM files;");
    while (st.stepRow()) out[st.columnText(0)] = FileKey{st.columnInt64(1), st.columnInt64(2)};
    return out;
}

std::vector<std::string> CVSearchIndex::pdfsWithoutText(
    const std::vector<std::string>& dirs, const std::vector<std::string>& explicitFiles,
    int cap) const {
    std::vector<std::string> out;
    if (!isOpen()) return out;
    SqliteStatement st = db_.prepare(
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

void CVSearchIndex::recordFile(const std::string& path, const std::string& type,
                               const FileKey& key) {
    SqliteStatement st = db_.prepare(
        "INSERT OR REPLACE INTO files(path,mtime,size,type,indexed_at) VALUES(?,?,?,?,?);");
    st.bindText(1, path);
    st.bindInt64(2, key.mtime);
    st.bindInt64(3, key.size);
    st.bindText(4, type);
    st.bindInt64(5, static_cast<std::int64_t>(std::time(nullptr)));
    st.run();
}

void CVSearchIndex::deleteFile(const std::string& path) {
    {
        SqliteStatement st = db_.prepare("DELETE FROM chunk WHERE path=?;");
        st.bindText(1, path);
        st.run();
    }
    SqliteStatement st = db_.prepare("DELETE FROM files WHERE path=?;");
    st.bindText(1, path);
    st.run();
}

std::optional<CVSearchIndex::FileKey> CVSearchIndex::statKey(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileKey{static_cast<std::int64_t>(st.st_mtim.tv_sec),
                   static_cast<std::int64_t>(st.st_size)};
}

std::vector<CVSearchIndex::Chunk> CVSearchIndex::extractChunks(const std::string& path,
                                                               const std::string& type) const {
    return TextExtraction::chunksFor(path, type, ocrLookup_);
}

std::int64_t CVSearchIndex::reindex(const std::vector<std::string>& dirs,
                                    const std::vector<std::string>& explicitFiles,
                                    std::int64_t maxFiles, const Progress& progress) {
    if (!isOpen()) return 0;
    std::vector<std::string> collected =
        SearchScope::collect(dirs, explicitFiles, maxFiles, isIndexablePath, isIndexablePath);
    auto indexed = indexedFiles();

    std::unordered_set<std::string> inScope(collected.begin(), collected.end());
    for (const auto& [path, key] : indexed)
        if (!inScope.count(path)) deleteFile(path);

    std::vector<std::string> work;
    for (const auto& path : collected) {
        auto key = statKey(path);
        auto it = indexed.find(path);
        if (!key || it == indexed.end() || !(it->second == *key)) work.push_back(path);
    }

    // Files are extracted ahead on the global pool while this thread writes them in work
    // order, so batches, commits and progress are exactly those of a one-by-one run. The key is
    // read right before extraction, as the one-by-one run does. Inserting is the slower half,
    // so this thread extracts only files that no helper has taken.
    struct Extracted {
        std::optional<FileKey> key;
        std::string type;
        std::vector<Chunk> chunks;
    };
    OrderedWork<Extracted> extracted(
        work.size(),
        [this, &work](std::size_t i) {
            Extracted e;
            e.key = statKey(work[i]);
            if (!e.key) return e;
            e.type = TextExtraction::typeForPath(work[i]);
            e.chunks = extractChunks(work[i], e.type);
            return e;
        },
        kExtractAhead);

    db_.exec("BEGIN;");
    // One insert statement for the whole run: a file can have thousands of chunks.
    SqliteStatement insert =
        db_.prepare("INSERT INTO chunk(path,atype,anchor,page,body) VALUES(?,?,?,?,?);");
    int batch = 0;
    const auto total = static_cast<std::int64_t>(work.size());
    for (std::int64_t n = 0; n < total; ++n) {
        const std::string& path = work[static_cast<std::size_t>(n)];
        if (progress) progress(n + 1, total, lastPathComponent(path));
        Extracted e = extracted.take(static_cast<std::size_t>(n));
        if (!e.key) continue;
        deleteFile(path);
        for (const auto& chunk : e.chunks) {
            insert.reset();
            insert.bindText(1, path);
            insert.bindText(2, chunk.atype);
            insert.bindText(3, chunk.anchor);
            insert.bindInt64(4, chunk.page);
            insert.bindText(5, chunk.body);
            insert.run();
        }
        recordFile(path, e.type, *e.key);
        if (++batch == kBatchFiles) {
            db_.exec("COMMIT;");
            db_.exec("BEGIN;");
            batch = 0;
        }
    }
    db_.exec("COMMIT;");
    return total;
}

bool CVSearchIndex::isFresh(const std::vector<std::string>& dirs,
                            const std::vector<std::string>& explicitFiles,
                            std::int64_t maxFiles) const {
    auto indexed = indexedFiles();
    bool fresh = true;
    SearchScope::collect(dirs, explicitFiles, maxFiles, isIndexablePath, isIndexablePath,
                         [&](const std::string& path) {
                             auto key = statKey(path);
                             auto it = indexed.find(path);
                             if (!key || it == indexed.end() || !(it->second == *key))
                                 fresh = false;
                             return fresh;
                         });
    return fresh;
}

std::vector<CVSearchIndex::Row> CVSearchIndex::matchRows(const std::string& expression,
                                                         int cap) const {
    std::vector<Row> rows;
    SqliteStatement st = db_.prepare(kSearchSql);
    if (!st.valid()) return rows;
    st.bindText(1, expression);
    st.bindInt(2, cap);
    while (st.stepRow())
        rows.push_back({st.columnText(0), st.columnText(1), st.columnText(2), st.columnInt64(3),
                        st.columnText(4)});
    return rows;
}

std::vector<CVDocResult> CVSearchIndex::searchExact(std::string_view q, int limitDocs,
                                                    int hitsPerDoc) const {
    std::string query = trimmedQuery(q);
    if (!isOpen() || UnicodeText::graphemeCount(query) < 3) return {};
    long long cap = 2LL * limitDocs * hitsPerDoc;
    auto rows = matchRows(SearchMatching::exactExpression(query),
                          static_cast<int>(std::min<long long>(cap, INT32_MAX)));
    return SearchMatching::group(rows, query, false, limitDocs, hitsPerDoc);
}

std::vector<CVDocResult> CVSearchIndex::searchFuzzy(std::string_view q, int limitDocs,
                                                    int hitsPerDoc) const {
    std::string query = trimmedQuery(q);
    if (!isOpen() || UnicodeText::graphemeCount(query) < 3) return {};
    auto tris = SearchMatching::trigrams(query);
    if (tris.empty()) return {};
    auto rows = matchRows(SearchMatching::fuzzyExpression(tris), 6000);
    return SearchMatching::group(rows, query, true, limitDocs, hitsPerDoc);
}

}  // namespace cvl
