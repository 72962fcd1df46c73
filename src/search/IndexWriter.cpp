#include "search/IndexWriter.h"

#include <sqlite3.h>

#include <ctime>

#include "search/SqliteDb.h"

namespace cvl {
namespace {

// Written in a run's first batch: a large run holds merging back until its final optimize, and
// any other run puts FTS5's defaults back (the values are stored in the index, so a large run
// that failed part-way must not leave its own behind).
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

bool setTriggers(SqliteConnection& db, bool on) {
    return sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_ENABLE_TRIGGER, on ? 1 : 0, nullptr) ==
           SQLITE_OK;
}

bool isBusy(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}  // namespace

IndexWriter::IndexWriter(SqliteConnection& db, bool largeRun) : db_(db), large_(largeRun) {
    // The staging tables live in the connection's own temporary database: creating them takes
    // no lock on the index.
    if (!db_.exec("PRAGMA temp_store=MEMORY;") ||
        !db_.exec("CREATE TEMP TABLE IF NOT EXISTS staged_chunk("
                  "path TEXT, atype TEXT, anchor TEXT, page INTEGER, body TEXT);") ||
        !db_.exec("CREATE TEMP TABLE IF NOT EXISTS gone_file(path TEXT);"))
        fail();
}

IndexWriter::~IndexWriter() {
    if (open_) db_.exec("ROLLBACK;");
    // A failed run leaves its staging rows behind for the next run on this connection.
    db_.exec("DELETE FROM temp.staged_chunk;");
    db_.exec("DELETE FROM temp.gone_file;");
}

void IndexWriter::fail() {
    if (failure_.empty())
        failure_ = isBusy(db_.errorCode())
                       ? "The search index is in use by another program. Try again when it "
                         "has finished."
                       : "The search index could not be written: " + db_.errorMessage() + ".";
    if (open_) db_.exec("ROLLBACK;");
    open_ = false;
    staged_ = false;
}

bool IndexWriter::begin() {
    if (!ok()) return false;
    if (open_) return true;
    // Takes the write lock now, waiting up to the busy timeout, so that a batch never finds the
    // database taken half-way through.
    if (!db_.exec("BEGIN IMMEDIATE;")) {
        fail();
        return false;
    }
    open_ = true;
    if (!settled_) {
        for (const char* sql : large_ ? kLargeRunSettings : kDefaultSettings)
            if (!db_.exec(sql)) {
                fail();
                return false;
            }
        settled_ = true;
    }
    return true;
}

void IndexWriter::flushStaged() {
    if (!staged_ || !ok()) return;
    // One statement for the batch; rows go in the order they were staged.
    if (!db_.cached("INSERT INTO chunk(path,atype,anchor,page,body) "
                    "SELECT path, atype, anchor, page, body FROM temp.staged_chunk ORDER BY rowid;")
             .run() ||
        !db_.cached("DELETE FROM temp.staged_chunk;").run()) {
        fail();
        return;
    }
    staged_ = false;
}

void IndexWriter::removeFiles(const std::vector<std::string>& paths) {
    if (paths.empty() || !begin()) return;
    SqliteStatement& add = db_.cached("INSERT INTO temp.gone_file(path) VALUES(?);");
    for (const auto& path : paths) {
        add.reset();
        add.bindText(1, path);
        if (!add.run()) return fail();
    }
    if (!db_.exec("DELETE FROM chunk WHERE path IN (SELECT path FROM temp.gone_file);") ||
        !db_.exec("DELETE FROM files WHERE path IN (SELECT path FROM temp.gone_file);") ||
        !db_.exec("DELETE FROM temp.gone_file;"))
        fail();
}

void IndexWriter::removeAll() {
    if (!begin()) return;
    flushStaged();
    if (!ok()) return;
    // Emptying the content table without its triggers and then the full-text index with its
    // own command leaves the same empty index as deleting row by row, without tokenizing every
    // removed row again to delete it.
    if (!setTriggers(db_, false)) return fail();
    const bool emptied = db_.exec("DELETE FROM chunk;");
    if (!setTriggers(db_, true) || !emptied ||
        !db_.exec("INSERT INTO chunk_fts(chunk_fts) VALUES('delete-all');") ||
        !db_.exec("DELETE FROM files;"))
        fail();
}

void IndexWriter::removeFile(const std::string& path) {
    // Chunks staged so far go first, so row ids are handed out as chunk-by-chunk writing would.
    flushStaged();
    if (!ok()) return;
    SqliteStatement& chunks = db_.cached("DELETE FROM chunk WHERE path=?;");
    chunks.bindText(1, path);
    if (!chunks.run()) return fail();
    SqliteStatement& files = db_.cached("DELETE FROM files WHERE path=?;");
    files.bindText(1, path);
    if (!files.run()) fail();
}

bool IndexWriter::writeFile(const std::string& path, const std::string& type,
                            const SearchFileKey& key, const std::vector<SearchChunk>& chunks) {
    if (!begin()) return false;
    // The write lock is held: what the index says about the file now is what this batch
    // replaces, even if another run wrote the file since this run looked.
    SqliteStatement& stored = db_.cached("SELECT mtime, size FROM files WHERE path=?;");
    stored.bindText(1, path);
    const bool held = stored.stepRow();
    if (stored.failed()) {
        fail();
        return false;
    }
    const bool same = held && SearchFileKey{stored.columnInt64(0), stored.columnInt64(1)} == key;
    stored.reset();
    if (same) return false;
    if (held) removeFile(path);

    SqliteStatement& insert =
        db_.cached("INSERT INTO temp.staged_chunk(path,atype,anchor,page,body) VALUES(?,?,?,?,?);");
    for (const auto& chunk : chunks) {
        if (!ok()) return false;
        insert.reset();
        insert.bindText(1, path);
        insert.bindText(2, chunk.atype);
        insert.bindText(3, chunk.anchor);
        insert.bindInt64(4, chunk.page);
        insert.bindText(5, chunk.body);
        if (!insert.run()) {
            fail();
            return false;
        }
        staged_ = true;
    }
    SqliteStatement& record = db_.cached(
        "INSERT OR REPLACE INTO files(path,mtime,size,type,indexed_at) VALUES(?,?,?,?,?);");
    record.bindText(1, path);
    record.bindInt64(2, key.mtime);
    record.bindInt64(3, key.size);
    record.bindText(4, type);
    record.bindInt64(5, static_cast<std::int64_t>(std::time(nullptr)));
    if (!ok() || !record.run()) {
        fail();
        return false;
    }
    return true;
}

void IndexWriter::commitBatch() {
    if (!open_) return;
    flushStaged();
    if (!ok()) return;
    if (!db_.exec("COMMIT;")) return fail();
    open_ = false;
}

Status IndexWriter::finish() {
    commitBatch();
    if (ok() && large_) {
        // The merge and the settings for later runs go in together.
        if (!begin() || !db_.exec("INSERT INTO chunk_fts(chunk_fts) VALUES('optimize');")) {
            fail();
        } else {
            for (const char* sql : kDefaultSettings)
                if (ok() && !db_.exec(sql)) fail();
            commitBatch();
        }
        // The run grew the write-ahead log to the size of the index; fold it back in now.
        // A reader still inside the log only keeps it from shrinking.
        if (ok()) db_.exec("PRAGMA wal_checkpoint(TRUNCATE);");
    }
    if (!ok()) return Failure{failure_};
    return success();
}

}  // namespace cvl
