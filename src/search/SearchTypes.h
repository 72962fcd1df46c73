// Plain records shared by the index store, extraction, indexing runs and queries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cvl {

// Change-detection key of a file: modification time (whole seconds) and size.
struct SearchFileKey {
    std::int64_t mtime = 0;
    std::int64_t size = 0;
    bool operator==(const SearchFileKey&) const = default;
};

// One searchable unit of a document and its locator.
struct SearchChunk {
    std::string atype;      // "page", "para", "line", "cell" or "glink"
    std::string anchor;     // "12", "¶3", "L40", "Sheet1!B7", a web address
    std::int64_t page = 0;  // 1-based page for PDF chunks, else 0
    std::string body;
    bool operator==(const SearchChunk&) const = default;
};

// One row read back from the index.
struct SearchRow {
    std::string path;
    std::string atype;
    std::string anchor;
    std::int64_t page = 0;
    std::string body;
};

// One located occurrence.
struct CVHit {
    std::string path;
    std::string name;
    std::string type;
    std::string atype;
    std::string anchor;
    std::int64_t page = 0;
    std::string snippet;
    std::string match;
    int matchAt = -1;  // UTF-16 offset of the match in the snippet; -1 when not known
    bool fuzzy = false;
};

// The results of one document: `count` hits located, at most the per-document limit kept.
struct CVDocResult {
    std::string path;
    std::string name;
    std::string type;
    std::int64_t count = 0;
    std::vector<CVHit> hits;
    bool fuzzy = false;
};

}  // namespace cvl
