// Word tables and shared patterns of the page command grammar, used by the parser, the page
// references and rewrite acceptance. Internal to src/pagecmd.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pagecmd/PageCommand.h"
#include "platform/Regex.h"

namespace cvl::PageGrammar {

// "one" 1 … "twenty" 20, "thirty" 30, "forty" 40, "fifty" 50.
const std::vector<std::pair<std::string, int>>& numberWords();
// "first" 1 … "twentieth" 20.
const std::vector<std::pair<std::string, int>>& ordinals();
// The words that mark a text as meant to be a page command, in the order they are tested.
const std::vector<std::string>& actionWords();

struct Family {
    PageCommand::Op op;
    Regex pattern;
};
// The words of each kind of change, used to spot requests that mix kinds.
const std::vector<Family>& families();

const Regex& negation();
const Regex& conditional();
// Any decimal digit.
const Regex& digit();
// Runs of digits.
const Regex& integer();

// Every grammar pattern is matched on UTF-8 text with Unicode word boundaries.
inline Regex pattern(std::string_view source) {
    return Regex(source, Regex::kUnicode);
}

// True when the pattern occurs anywhere in the text.
inline bool has(std::string_view text, const Regex& re) {
    return re.search(text);
}

// A run of decimal digits as an integer; values too large for an int saturate, which keeps
// every comparison with a page count right.
int toInt(std::string_view digits);

// Every run of digits in the text, in order of appearance.
std::vector<int> integersIn(std::string_view text);

}  // namespace cvl::PageGrammar
