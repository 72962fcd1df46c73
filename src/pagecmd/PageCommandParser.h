// The page command grammar: typed English ("split after page 10", "rotate pages 1-3 right")
// to exactly one of five outcomes. Pure functions: no state, no I/O, no locale.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pagecmd/PageCommand.h"
#include "pagecmd/PageCommandParse.h"

namespace cvl::PageCommandParser {

// A resolved page reference.
struct PageRef {
    enum class Kind {
        pages,          // the pages, each in 1…n, unique and ascending
        outOfRange,     // the smallest named page below 1 or above n
        none,           // the text names no pages
        needSelection,  // the text means the selection, and nothing is selected
        empty,  // resolved to nothing, or numbers remain that the reference does not explain
    };
    Kind kind = Kind::none;
    std::vector<int> pages;  // pages
    int page = 0;            // outOfRange

    bool operator==(const PageRef&) const = default;
    bool isPages() const { return kind == Kind::pages; }
};

// The reference phrases the agent is pointed to; each reads as a command on a document with
// enough pages.
extern const std::vector<std::string> canonicalForms;

// Lower-cases and simplifies typed text to the form every pattern of the grammar expects.
std::string normalize(std::string_view text);

// True when the text contains any action word ("png" also matches inside a longer word).
bool looksLikeCommand(std::string_view text);

// The raw names of the ops whose family words occur in the (normalised) text.
std::set<std::string> familiesIn(std::string_view text);

// Reads one typed command against a document of `pageCount` pages, with the 1-based current
// page and the selected pages.
PageCommandParse parse(std::string_view text, int pageCount, int current,
                       const std::vector<int>& selection);

// Resolves the page reference inside normalised text; `current` is already clamped to 1…n.
PageRef pageRef(std::string_view text, int n, int current, const std::vector<int>& selection);

// Every number the user typed: digits, number words and ordinal words.
std::set<int> typedNumbers(std::string_view typed);

// Whether `phrase`, a rewrite of what the user typed, may be carried out: it must read as a
// command, and every part of that command must be grounded in the typed text.
PageCommandParse acceptRewrite(std::string_view typed, std::string_view phrase, int pageCount,
                               int current, const std::vector<int>& selection);

}  // namespace cvl::PageCommandParser
