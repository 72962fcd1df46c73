#include "search/CVSearchIndex.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <unordered_set>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfPrivateContext.h"
#include "search/IndexQueries.h"
#include "search/IndexWriter.h"
#include "search/OcrCache.h"
#include "search/OrderedWork.h"
#include "search/SearchScope.h"
#include "search/TextExtraction.h"

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

SqliteConnection openIndex(const std::string& dbPath) {
    makeDirs(parentPath(dbPath));  // failure shows as a failed open
    return SqliteConnection(dbPath);
}

// Files extracted ahead of the writer at most: bounds the memory of a run.
constexpr std::size_t kExtractAhead = 64;

// Runs with fewer files than this keep FTS5's own merging.
constexpr std::size_t kLargeRunFiles = 64;

bool isIndexablePath(const std::string& path) {
    return TextExtraction::isIndexableExt(lowerExtension(path));
}

}  // namespace

CVSearchIndex::CVSearchIndex(std::string dbPath, OcrLookup ocrLookup)
    : db_(openIndex(dbPath)), dbPath_(std::move(dbPath)), ocrLookup_(std::move(ocrLookup)) {
    // A new database gets larger pages (the page size is fixed once the file is written):
    // full-text segments are read and written a leaf at a time, and FTS5 sizes its leaves to
    // the page.
    const bool created = db_.isOpen() && db_.queryInt64("PRAGMA page_count;", -1) == 0;
    if (created) db_.exec("PRAGMA page_size=16384;");
    for (const char* sql : kSchema) db_.exec(sql);
    if (created) db_.exec("INSERT INTO chunk_fts(chunk_fts, rank) VALUES('pgsz', 16000);");
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
    return IndexQueries::defaultIndexPath();
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
    return IndexQueries::pdfsWithoutText(db_, dirs, explicitFiles, cap);
}

Status CVSearchIndex::forget(const std::string& path) {
    if (!db_.exec("BEGIN IMMEDIATE;"))
        return Failure{"The search index could not be changed: " + db_.errorMessage()};
    bool ok = true;
    for (const char* sql : {"DELETE FROM chunk WHERE path=?;", "DELETE FROM files WHERE path=?;"}) {
        SqliteStatement st = db_.prepare(sql);
        st.bindText(1, path);
        ok = ok && st.run();
    }
    if (ok && db_.exec("COMMIT;")) return success();
    const std::string why = db_.errorMessage();
    db_.exec("ROLLBACK;");
    return Failure{"The search index could not be changed: " + why};
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

Result<std::int64_t> CVSearchIndex::reindex(const std::vector<std::string>& dirs,
                                            const std::vector<std::string>& explicitFiles,
                                            std::int64_t maxFiles, const Progress& progress) {
    if (!isOpen()) return Failure{"The search index could not be opened."};
    std::vector<std::string> collected =
        SearchScope::collect(dirs, explicitFiles, maxFiles, isIndexablePath, isIndexablePath);
    auto indexed = indexedFiles();

    std::unordered_set<std::string> inScope(collected.begin(), collected.end());
    std::vector<std::string> gone;
    for (const auto& [path, key] : indexed)
        if (!inScope.count(path)) gone.push_back(path);

    std::vector<std::string> work;
    for (const auto& path : collected) {
        auto key = statKey(path);
        auto it = indexed.find(path);
        if (!key || it == indexed.end() || !(it->second == *key)) work.push_back(path);
    }
    if (gone.empty() && work.empty()) return std::int64_t{0};

    // A run that writes at least half of the scope anew builds the full-text index in bulk.
    const bool large = work.size() >= kLargeRunFiles && 2 * work.size() >= collected.size();
    IndexWriter writer(db_, large);
    if (!gone.empty() && gone.size() == indexed.size())
        writer.removeAll();
    else
        writer.removeFiles(gone);

    // Files are extracted ahead on the global pool while this thread writes them in work
    // order, so batches, commits and progress are exactly those of a one-by-one run. The key is
    // read right before extraction, as the one-by-one run does.
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
            PdfPrivateContext privateContext;  // no lock shared with the other extracting thread
            e.chunks = extractChunks(work[i], e.type);
            return e;
        },
        kExtractAhead);

    // Counts the files this run wrote: one that another run wrote meanwhile is not counted.
    std::int64_t written = 0;
    int batch = 0;
    const auto total = static_cast<std::int64_t>(work.size());
    for (std::int64_t n = 0; n < total && writer.ok(); ++n) {
        const std::string& path = work[static_cast<std::size_t>(n)];
        if (progress) progress(n + 1, total, lastPathComponent(path));
        Extracted e = extracted.take(static_cast<std::size_t>(n));
        if (!e.key) continue;
        if (writer.writeFile(path, e.type, *e.key, e.chunks)) ++written;
        if (++batch == kBatchFiles) {
            writer.commitBatch();
            batch = 0;
        }
    }
    Status done = writer.finish();
    if (!done) return Failure{done.error()};
    return written;
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

SqliteConnection& CVSearchIndex::reader() const {
    if (!reader_) reader_ = IndexQueries::openReader(dbPath_);
    // Without a database file to open read-only (it was never written), the index's own
    // connection answers.
    return reader_->isOpen() ? *reader_ : db_;
}

Status CVSearchIndex::readable() const {
    if (!isOpen()) return Failure{"The search index could not be opened at " + dbPath_ + "."};
    SqliteConnection& db = reader();
    if (!IndexQueries::hasIndex(db))
        return Failure{"The search index could not be read: " + db.errorMessage() + "."};
    return success();
}

std::vector<CVDocResult> CVSearchIndex::searchExact(std::string_view q, int limitDocs,
                                                    int hitsPerDoc) const {
    if (!isOpen()) return {};
    return IndexQueries::searchExact(reader(), q, limitDocs, hitsPerDoc);
}

std::vector<CVDocResult> CVSearchIndex::searchFuzzy(std::string_view q, int limitDocs,
                                                    int hitsPerDoc) const {
    if (!isOpen()) return {};
    return IndexQueries::searchFuzzy(reader(), q, limitDocs, hitsPerDoc);
}

}  // namespace cvl
