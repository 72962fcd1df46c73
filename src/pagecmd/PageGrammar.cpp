#include "pagecmd/PageGrammar.h"

#include <climits>

namespace cvl::PageGrammar {

const std::vector<std::pair<std::string, int>>& numberWords() {
    static const std::vector<std::pair<std::string, int>> words = {
        {"one", 1},      {"two", 2},        {"three", 3},     {"four", 4},      {"five", 5},
        {"six", 6},      {"seven", 7},      {"eight", 8},     {"nine", 9},      {"ten", 10},
        {"eleven", 11},  {"twelve", 12},    {"thirteen", 13}, {"fourteen", 14}, {"fifteen", 15},
        {"sixteen", 16}, {"seventeen", 17}, {"eighteen", 18}, {"nineteen", 19}, {"twenty", 20},
        {"thirty", 30},  {"forty", 40},     {"fifty", 50}};
    return words;
}

const std::vector<std::pair<std::string, int>>& ordinals() {
    static const std::vector<std::pair<std::string, int>> words = {
        {"first", 1},        {"second", 2},      {"third", 3},       {"fourth", 4},
        {"fifth", 5},        {"sixth", 6},       {"seventh", 7},     {"eighth", 8},
        {"ninth", 9},        {"tenth", 10},      {"eleventh", 11},   {"twelfth", 12},
        {"thirteenth", 13},  {"fourteenth", 14}, {"fifteenth", 15},  {"sixteenth", 16},
        {"seventeenth", 17}, {"eighteenth", 18}, {"nineteenth", 19}, {"twentieth", 20}};
    return words;
}

const std::vector<std::string>& actionWords() {
    static const std::vector<std::string> words = {
        "split",       "delete",     "remove",     "drop",      "get rid of", "take out",
        "rotate",      "turn",       "flip",       "extract",   "pull out",   "move",
        "reorder",     "reverse",    "swap",       "duplicate", "copy page",  "insert",
        "add a blank", "add blank",  "blank page", "compress",  "shrink",     "smaller",
        "reduce",      "merge",      "combine",    "export",    "convert",    "as images",
        "as an image", "to images",  "png",        "jpeg",      "jpg",        "save page",
        "save pages",  "save every", "save all"};
    return words;
}

const std::vector<Family>& families() {
    using Op = PageCommand::Op;
    static const std::vector<Family> table = [] {
        std::vector<Family> f;
        f.push_back(
            {Op::delete_, pattern(R"(\b(?:delete|remove|drop|get rid of|take out|erase)\b)")});
        f.push_back(
            {Op::rotate,
             pattern(
                 R"(\b(?:rotate|turn|flip|upside down|clockwise|counterclockwise|sideways)\b)")});
        f.push_back(
            {Op::split, pattern(R"(\bsplit\b|\bbreak (?:it|this|the document) (?:up|apart)\b)")});
        f.push_back({Op::reorder, pattern(R"(\b(?:move|swap|reverse|reorder|order)\b)")});
        f.push_back({Op::compress, pattern(R"(\b(?:compress|shrink|smaller|reduce)\b)")});
        f.push_back({Op::insertBlank, pattern(R"(\b(?:blank|empty) page\b)")});
        f.push_back({Op::duplicate, pattern(R"(\bduplicate\b)")});
        f.push_back({Op::merge, pattern(R"(\b(?:merge|combine|join)\b)")});
        f.push_back({Op::toImages,
                     pattern(R"(\b(?:png|pngs|jpeg|jpegs|jpg|jpgs|images?|pictures?|photos?)\b)")});
        f.push_back({Op::extract, pattern(R"(\b(?:extract|pull out)\b)")});
        return f;
    }();
    return table;
}

const Regex& negation() {
    static const Regex re = pattern(
        R"(\b(?:don t|dont|do not|not|never|except|excluding|other than|but not|without|keep|leave|skip|ignore|undo)\b)");
    return re;
}

const Regex& conditional() {
    static const Regex re =
        pattern(R"(\b(?:if|when|unless|in case|provided|only when|whenever)\b)");
    return re;
}

const Regex& digit() {
    static const Regex re = pattern(R"(\d)");
    return re;
}

const Regex& integer() {
    static const Regex re = pattern(R"(\d+)");
    return re;
}

int toInt(std::string_view digits) {
    long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') continue;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

std::vector<int> integersIn(std::string_view text) {
    std::vector<int> numbers;
    for (const auto& m : integer().findAll(text)) numbers.push_back(toInt(m.whole(text)));
    return numbers;
}

}  // namespace cvl::PageGrammar
