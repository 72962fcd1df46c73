// The writes of one indexing run on the index's connection: removing files, adding their
// chunks and recording them, in batches that each end with a commit.
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

    // Removes the chunk rows and then the files rows of the paths, in one statement each.
    void removeFiles(const std::vector<std::string>& paths);
    // Removes every file: the index is about to mirror a scope it shares nothing with.
    void removeAll();
    // Removes one file's rows before it is written again (chunks staged so far go first, so
    // row ids are handed out as chunk-by-chunk writing would).
    void removeFile(const std::string& path);
    void addChunks(const std::string& path, const std::vector<SearchChunk>& chunks);
    void recordFile(const std::string& path, const std::string& type, const SearchFileKey& key);
    // Ends the current batch: staged chunks are written and the transaction commits.
    void commitBatch();
    // Ends the run; a large run merges the full-text index into one segment.
    void finish();

  private:
    void begin();
    void flushStaged();

    SqliteConnection& db_;
    const bool large_;
    bool open_ = false;    // a transaction is open
    bool staged_ = false;  // chunks wait in the staging table
};

}  // namespace cvl
