// The writes of one indexing run on the index's connection: removing files, adding their
// chunks and recording them, in batches that each end with a commit.
//
// Every batch takes the database's write lock when it begins (waiting up to the busy timeout
// for another writer), and every statement is checked: the first failure rolls the open batch
// back, ends the run's writing and is kept as the run's message. Batches committed before it
// stay, each one whole.
//
// Chunks are first collected in a staging table private to the connection and moved into
// `chunk` with one statement per batch. The triggers still index every row as it is inserted,
// so the index is the one that chunk-by-chunk inserts build; but SQLite's FTS5 writes its
// pending terms out as a new segment at the end of every statement, so one statement per batch
// leaves one segment to merge later where one statement per chunk left one per chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "search/SearchTypes.h"

namespace cvl {

class SqliteConnection;

class IndexWriter {
  public:
    // A large run rebuilds much of the index: merging of full-text segments waits until the
    // end, where one merge leaves a single segment.
    IndexWriter(SqliteConnection& db, bool largeRun);
    ~IndexWriter();
    IndexWriter(const IndexWriter&) = delete;
    IndexWriter& operator=(const IndexWriter&) = delete;

    // False once a write failed; later calls then do nothing.
    bool ok() const { return failure_.empty(); }

    // Removes the chunk rows and then the files rows of the paths, in one statement each.
    void removeFiles(const std::vector<std::string>& paths);
    // Removes every file: the index is about to mirror a scope it shares nothing with.
    void removeAll();
    // Writes one file's chunks and its files row in place of any it had. A file the index
    // already holds with this very key (another run wrote it meanwhile) is left as it is.
    // True when the file was written.
    bool writeFile(const std::string& path, const std::string& type, const SearchFileKey& key,
                   const std::vector<SearchChunk>& chunks);
    // Ends the current batch: staged chunks are written and the transaction commits.
    void commitBatch();
    // Ends the run; a large run merges the full-text index into one segment. The first
    // failure of the run, if any.
    Status finish();

  private:
    bool begin();
    void flushStaged();
    void removeFile(const std::string& path);
    // Records the connection's last error as the run's failure and rolls the batch back.
    void fail();

    SqliteConnection& db_;
    const bool large_;
    bool open_ = false;      // a transaction is open
    bool staged_ = false;    // chunks wait in the staging table
    bool settled_ = false;   // the run's merge settings are written
    bool finished_ = false;  // finish() ran
    std::string failure_;
};

}  // namespace cvl
