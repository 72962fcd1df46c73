// Unicode text helpers for search: validation and decoding, grapheme clusters (the unit of
// "characters" in queries, trigrams and snippets), lower-casing and case-insensitive finding
// with simple per-character case folding (no locale, no diacritic folding), white space.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvl::UnicodeText {

struct ByteRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool operator==(const ByteRange&) const = default;
};

bool isValidUtf8(std::string_view text);
// Every byte as the code point of the same value.
std::string latin1ToUtf8(std::string_view bytes);
// Invalid sequences become U+FFFD; valid text is returned unchanged.
std::string sanitizeUtf8(std::string_view text);
// Appends the UTF-8 form of a code point (invalid code points become U+FFFD).
void appendCodePoint(std::string& out, char32_t cp);

// Byte offsets at which grapheme clusters start, followed by text.size().
std::vector<std::size_t> graphemeOffsets(std::string_view text);
// The text split into grapheme clusters.
std::vector<std::string> graphemes(std::string_view text);
std::size_t graphemeCount(std::string_view text);
// True at 0, at text.size() and between two code points that a cluster does not join.
bool isGraphemeBoundary(std::string_view text, std::size_t offset);

// The offset `n` clusters after (or before) `offset`, clamped to the text.
std::size_t advanceGraphemes(std::string_view text, std::size_t offset, int n);
std::size_t retreatGraphemes(std::string_view text, std::size_t offset, int n);

// Full lower-case mapping without a locale.
std::string lower(std::string_view text);

// The folded form of a query, ready for caselessFind.
std::u32string foldForSearch(std::string_view text);
// The next occurrence of `folded` in `text` at or after byte `from`, compared character by
// character after simple case folding; occurrences must start and end on cluster boundaries.
std::optional<ByteRange> caselessFind(std::string_view text, const std::u32string& folded,
                                      std::size_t from = 0);

// White space without line breaks (spaces, tabs, other space separators).
bool isSpaceChar(char32_t cp);
// The line-break characters: LF, VT, FF, CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
bool isNewlineChar(char32_t cp);
std::string_view trimSpaces(std::string_view text);      // spaces and tabs
std::string_view trimWhitespace(std::string_view text);  // spaces, tabs and line breaks
// The text cut at every line-break character (CR LF gives an empty line between).
std::vector<std::string_view> splitLines(std::string_view text);

}  // namespace cvl::UnicodeText
