// The on-disk full-text index: one SQLite database with an external-content FTS5 table
// (trigram tokenizer) over document chunks, the indexing run that keeps it in line with a
// search scope, and the exact and fuzzy queries over it. All work on one index runs on the
// serial index queue.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Result.h"
#include "search/SearchTypes.h"
#include "search/SqliteDb.h"

namespace cvl {
namespace Dispatch {
class Queue;
}

class CVSearchIndex {
  public:
    using FileKey = SearchFileKey;
    using Chunk = SearchChunk;
    using Row = SearchRow;
    // 1-based page number -> recognised page text.
    using PageTexts = std::map<std::int64_t, std::string>;
    using OcrLookup = std::function<std::optional<PageTexts>(const std::string& path)>;
    // (files done including the current one, files to index, current file name)
    using Progress = std::function<void(std::int64_t, std::int64_t, const std::string&)>;

    static constexpr std::int64_t kMaxFiles = 8000;
    static constexpr int kBatchFiles = 40;

    // Creates the parent folder and opens the database; a failed open leaves it closed.
    explicit CVSearchIndex(std::string dbPath, OcrLookup ocrLookup = {});
    CVSearchIndex(const CVSearchIndex&) = delete;
    CVSearchIndex& operator=(const CVSearchIndex&) = delete;

    // The process-wide index in the support folder, created on first use with the OCR
    // cache reader as its lookup, never released.
    static CVSearchIndex& shared();
    // The shared index for callers that hold indexes by shared pointer.
    static std::shared_ptr<CVSearchIndex> sharedIndex();
    static std::string defaultPath();
    // The serial queue on which every indexed search, freshness check and run executes.
    static Dispatch::Queue& queue();

    bool isOpen() const { return db_.isOpen(); }
    // Whether searches can read the index; the failure names why (no file could be opened, or
    // the file is not an index).
    Status readable() const;
    const std::string& dbPath() const { return dbPath_; }
    std::int64_t fileCount() const;

    // Text extraction: the chunks of one file of the given type.
    std::vector<Chunk> extractChunks(const std::string& path, const std::string& type) const;

    // Brings the index in line with the scope; returns the number of new or changed files this
    // run wrote. A write that fails (the database is locked by another writer past the busy
    // timeout, the disk is full, ...) ends the run with its message; batches committed before
    // it stay.
    Result<std::int64_t> reindex(const std::vector<std::string>& dirs,
                                 const std::vector<std::string>& explicitFiles,
                                 std::int64_t maxFiles = kMaxFiles, const Progress& progress = {});
    // Drops the file from the index, so that the next run reads it again (its OCR text may
    // have changed while the file did not). Both rows go in one transaction; a failure (the
    // database locked past the busy timeout, the disk full) is given back with its message.
    Status forget(const std::string& path);
    // True when no file of the scope needs indexing.
    bool isFresh(const std::vector<std::string>& dirs,
                 const std::vector<std::string>& explicitFiles,
                 std::int64_t maxFiles = kMaxFiles) const;

    std::vector<CVDocResult> searchExact(std::string_view q, int limitDocs = 300,
                                         int hitsPerDoc = 40) const;
    std::vector<CVDocResult> searchFuzzy(std::string_view q, int limitDocs = 200,
                                         int hitsPerDoc = 20) const;

    // The indexed PDFs in the folders or among the files that gave no text at all (scans
    // without recognised text, and files that cannot be read), at most `cap`, by path.
    std::vector<std::string> pdfsWithoutText(const std::vector<std::string>& dirs,
                                             const std::vector<std::string>& explicitFiles,
                                             int cap) const;

    // The file's change key from its attributes; none when they cannot be read.
    static std::optional<FileKey> statKey(const std::string& path);

  private:
    std::unordered_map<std::string, FileKey> indexedFiles() const;
    // The connection searches read through: read-only and memory-mapped when it opens.
    SqliteConnection& reader() const;

    mutable SqliteConnection db_;
    mutable std::unique_ptr<SqliteConnection> reader_;
    std::string dbPath_;
    OcrLookup ocrLookup_;
};

}  // namespace cvl
