// Locating and ranking: how index rows become located hits and per-document results.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "search/SearchTypes.h"
#include "search/UnicodeText.h"

namespace cvl::SearchMatching {

constexpr int kSnippetRadius = 48;

struct Located {
    std::string snippet;
    std::string match;
    int matchAt = -1;  // UTF-16 offset of the match in the snippet
};

struct FuzzyLocated {
    std::string snippet;
    std::string match;
    int score = 0;
};

// Distinct lower-cased trigrams of grapheme clusters in order of first appearance; those
// holding a double quote are left out.
std::vector<std::string> trigrams(std::string_view s);

// The range widened by `radius` clusters each side, line breaks as spaces, trimmed, with "…"
// where the text was cut.
std::string snippet(std::string_view text, UnicodeText::ByteRange range,
                    int radius = kSnippetRadius);

// A snippet and where its occurrence starts in it, in UTF-16 code units (the unit of page
// scripts): a line that holds the query twice gives each hit its own occurrence.
struct Snippet {
    std::string text;
    int matchAt = -1;
};
Snippet snippetAround(std::string_view text, UnicodeText::ByteRange range,
                      int radius = kSnippetRadius);

// Case-insensitive occurrences of `query` in `body`, at most max(cap, 1).
std::vector<Located> exactLocate(std::string_view body, std::string_view query, int cap);

// The best window of one to three words by shared trigrams with the query.
std::optional<FuzzyLocated> fuzzyLocate(std::string_view body, std::string_view query,
                                        const std::vector<std::string>& qTris);

// Rows, best first, grouped into documents as they come: every occurrence is counted, but a
// row is copied only when it holds a hit that may be kept, and snippets are built at the end,
// only for the hits of the documents returned.
class Grouper {
  public:
    Grouper(std::string_view query, bool fuzzy, int limitDocs, int hitsPerDoc);
    ~Grouper();
    Grouper(const Grouper&) = delete;
    Grouper& operator=(const Grouper&) = delete;

    // The views need to live only for the call.
    void add(std::string_view path, std::string_view atype, std::string_view anchor,
             std::int64_t page, std::string_view body);
    // The documents, sorted by count (stable), at most limitDocs of them.
    std::vector<CVDocResult> finish();

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Rows (best first) grouped into documents, counted, limited and sorted by count.
std::vector<CVDocResult> group(const std::vector<SearchRow>& rows, std::string_view query,
                               bool fuzzy, int limitDocs, int hitsPerDoc);

// The MATCH expressions: the query as one phrase, and its trigrams joined with OR.
std::string exactExpression(std::string_view q);
std::string fuzzyExpression(const std::vector<std::string>& tris);

}  // namespace cvl::SearchMatching
