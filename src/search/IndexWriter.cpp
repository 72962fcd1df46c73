#include "search/IndexWriter.h"

#include <sqlite3.h>

#include <ctime>

#include "search/SqliteDb.h"

namespace cvl {
namespace {

// Set while a large run writes, and put back to FTS5's defaults when it ends: the values are
// stored in the index, and later small runs want segments merged as they come.
const char* const kLargeRunSettings[] = {
    // Merging waits for the final optimize; a crisis merge still bounds the segment count.
    "INSERT INTO chunk_fts(chunk_fts, rank) VALUES('automerge', 0);",
    "INSERT INTO chunk_fts(chunk_fts, rank) VALUES('crisismerge', 64);",
    // A batch's pending terms fit in memory, so a batch makes one segment, not many.
    "INSERT INTO chunk_fts(chunk_fts, rank) VALUES('hashsize', 33554432);",
};
const char* const kDefaultSettings[] = {
    "INSERT INTO chunk_fts(chunk_fts, rank) VALUES('automerge', 4);",
    "INSERT INTO chunk_fts(chunk_fts, rank) VALUES('crisismerge', 16);",
    "INSERT INTO chunk_fts(chunk_fts, rank) VALUES('hashsize', 1048576);",
};

void setTriggers(SqliteConnection& db, bool on) {
    sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_ENABLE_TRIGGER, on ? 1 : 0, nullptr);
}

}  // namespace

IndexWriter::IndexWriter(SqliteConnection& db, bool largeRun) : db_(db), large_(largeRun) {
    db_.exec("PRAGMA temp_store=MEMORY;");
    db_.exec(
        "CREATE TEMP TABLE IF NOT EXISTS staged_chunk("
        "path TEXT, atype TEXT, anchor TEXT, page INTEGER, body TEXT);");
    db_.exec("CREATE TEMP TABLE IF NOT EXISTS gone_file(path TEXT);");
    if (large_)
        for (const char* sql : kLargeRunSettings) db_.exec(sql);
}

IndexWriter::~IndexWriter() {
    if (open_) finish();
}

void IndexWriter::begin() {
    if (open_) return;
    db_.exec("BEGIN;");
    open_ = true;
}

void IndexWriter::flushStaged() {
    if (!staged_) return;
    // One statement for the batch; rows go in the order they were staged.
    db_.cached(
           "INSERT INTO chunk(path,atype,anchor,page,body) "
           "SELECT path, atype, anchor, page, body FROM temp.staged_chunk ORDER BY rowid;")
        .run();
    db_.cached("DELETE FROM temp.staged_chunk;").run();
    staged_ = false;
}

void IndexWriter::removeFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    begin();
    SqliteStatement& add = db_.cached("INSERT INTO temp.gone_file(path) VALUES(?);");
    for (const auto& path : paths) {
        add.reset();
        add.bindText(1, path);
        add.run();
    }
    db_.exec("DELETE FROM chunk WHERE path IN (SELECT path FROM temp.gone_file);");
    db_.exec("DELETE FROM files WHERE path IN (SELECT path FROM temp.gone_file);");
    db_.exec("DELETE FROM temp.gone_file;");
}

void IndexWriter::removeAll() {
    begin();
    flushStaged();
    // Emptying the content table without its triggers and then the full-text index with its
    // own command leaves the same empty index as deleting row by row, without tokenizing every
    // removed row again to delete it.
    setTriggers(db_, false);
    db_.exec("DELETE FROM chunk;");
    setTriggers(db_, true);
    db_.exec("INSERT INTO chunk_fts(chunk_fts) VALUES('delete-all');");
    db_.exec("DELETE FROM files;");
}

void IndexWriter::removeFile(const std::string& path) {
    begin();
    flushStaged();
    SqliteStatement& chunks = db_.cached("DELETE FROM chunk WHERE path=?;");
    chunks.bindText(1, path);
    chunks.run();
    SqliteStatement& files = db_.cached("DELETE FROM files WHERE path=?;");
    files.bindText(1, path);
    files.run();
}

void IndexWriter::addChunks(const std::string& path, const std::vector<SearchChunk>& chunks) {
    if (chunks.empty()) return;
    begin();
    SqliteStatement& insert =
        db_.cached("INSERT INTO temp.staged_chunk(path,atype,anchor,page,body) VALUES(?,?,?,?,?);");
    for (const auto& chunk : chunks) {
        insert.reset();
        insert.bindText(1, path);
        insert.bindText(2, chunk.atype);
        insert.bindText(3, chunk.anchor);
        insert.bindInt64(4, chunk.page);
        insert.bindText(5, chunk.body);
        insert.run();
    }
    staged_ = true;
}

void IndexWriter::recordFile(const std::string& path, const std::string& type,
                             const SearchFileKey& key) {
    begin();
    SqliteStatement& st = db_.cached(
        "INSERT OR REPLACE INTO files(path,mtime,size,type,indexed_at) VALUES(?,?,?,?,?);");
    st.bindText(1, path);
    st.bindInt64(2, key.mtime);
    st.bindInt64(3, key.size);
    st.bindText(4, type);
    st.bindInt64(5, static_cast<std::int64_t>(std::time(nullptr)));
    st.run();
}

void IndexWriter::commitBatch() {
    if (!open_) return;
    flushStaged();
    db_.exec("COMMIT;");
    open_ = false;
}

void IndexWriter::finish() {
    commitBatch();
    if (!large_) return;
    db_.exec("INSERT INTO chunk_fts(chunk_fts) VALUES('optimize');");
    for (const char* sql : kDefaultSettings) db_.exec(sql);
    // The run grew the write-ahead log to the size of the index; fold it back in now.
    db_.exec("PRAGMA wal_checkpoint(TRUNCATE);");
}

}  // namespace cvl
