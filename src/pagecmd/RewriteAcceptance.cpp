// Deciding whether a rewrite of the user's typed text (a canonical phrase proposed by another
// component) may be carried out: every part of the command must be grounded in what was typed.
#include <map>

#include "pagecmd/PageCommandParser.h"
#include "pagecmd/PageGrammar.h"

namespace cvl::PageCommandParser {

using namespace PageGrammar;
using Op = PageCommand::Op;

namespace {

using Words = std::vector<std::string>;

const std::map<Op, Words>& opWords() {
    static const std::map<Op, Words> table = {
        {Op::delete_,
         {"delete", "remove", "drop", "rid", "out", "go", "erase", "lose", "discard", "trash",
          "toss", "cut", "without"}},
        {Op::extract,
         {"extract", "own", "separate", "new", "pull", "copy", "save", "just", "only"}},
        {Op::rotate,
         {"rotate", "turn", "sideways", "upside", "flip", "clockwise", "counterclockwise",
          "landscape", "portrait", "rotated"}},
        {Op::split,
         {"split", "chop", "cut", "break", "separate", "divide", "files", "halves", "half"}},
        {Op::reorder,
         {"move", "put", "first", "last", "front", "end", "order", "reverse", "swap", "before",
          "after", "beginning", "start"}},
        {Op::duplicate, {"duplicate", "twice", "copy", "again", "second copy", "double"}},
        {Op::insertBlank, {"blank", "empty"}},
        {Op::compress,
         {"compress", "shrink", "smaller", "big", "size", "email", "reduce", "large", "heavy",
          "mb"}},
        {Op::toImages,
         {"image", "images", "picture", "pictures", "png", "jpg", "jpeg", "photo", "photos"}},
    };
    return table;
}

const Words kAllWords = {"all", "every", "each", "whole", "entire", "everything"};
const Words kLastWords = {"last", "final", "end"};
const Words kReverseWords = {"reverse", "backwards", "flip the order", "last to first",
                             "opposite order"};
const Words kSingleWords = {"single", "every", "each", "individual", "separate", "one page"};
const Words kFrontWords = {"beginning", "start", "front", "first", "top"};
const Words kEndWords = {"end", "last", "back", "bottom"};
const Words kLeftWords = {"left", "counterclockwise", "ccw"};
const Words kRightWords = {"right", "clockwise", "cw"};
const Words kHalfTurnWords = {"upside", "flip", "around"};

// What the user typed, as normalised words and as space-padded text.
struct Typed {
    std::string padded;
    std::vector<std::string> words;

    explicit Typed(const std::string& normalised) : padded(" " + normalised + " ") {
        std::size_t from = 0;
        while (from <= normalised.size()) {
            const std::size_t space = normalised.find(' ', from);
            const std::size_t end = space == std::string::npos ? normalised.size() : space;
            if (end > from) words.push_back(normalised.substr(from, end - from));
            from = end + 1;
        }
    }

    // A phrase matches as a space-padded part of the text; a short word only as a whole typed
    // word; a longer word as the start of a typed word ("rotate" matches "rotated"). Entries are
    // normalised like the typed text, so "one page" is looked for as "1 page".
    bool said(const Words& entries) const {
        for (const auto& raw : entries) {
            const std::string entry = normalize(raw);
            if (entry.find(' ') != std::string::npos) {
                if (padded.find(" " + entry + " ") != std::string::npos) return true;
            } else if (entry.size() < 4) {
                for (const auto& w : words)
                    if (w == entry) return true;
            } else {
                for (const auto& w : words)
                    if (w.compare(0, entry.size(), entry) == 0) return true;
            }
        }
        return false;
    }
};

}  // namespace

PageCommandParse acceptRewrite(std::string_view typed, std::string_view phrase, int pageCount,
                               int current, const std::vector<int>& selection) {
    static const Regex angle = pattern(R"(-?\b(?:90|180|270) ?(?:degrees?|deg)\b)");
    static const Regex halfTurn = pattern(R"(\b180 ?(?:degrees?|deg)\b)");

    PageCommandParse r = parse(phrase, pageCount, current, selection);
    if (!r.isCommand()) return r;
    const PageCommandParse refused = PageCommandParse::makeClarify(
        "I couldn't tell exactly what to do. Try, for example, “delete pages 3 to 5” or “split "
        "after page 10”.");
    const PageCommand& cmd = r.command;
    const std::string t = normalize(typed);
    const Typed said(t);

    if (has(t, negation())) return refused;
    const auto kinds = familiesIn(t);
    if (!kinds.empty() && !kinds.count(std::string(PageCommand::rawName(cmd.op)))) return refused;
    const auto words = opWords().find(cmd.op);
    if (words == opWords().end() || !said.said(words->second)) return refused;

    const std::set<int> numbers = typedNumbers(typed);
    const std::string phraseText = angle.replaceAll(normalize(phrase), " ");
    for (int k : integersIn(phraseText)) {
        if (numbers.count(k)) continue;
        if (k == pageCount && said.said(kLastWords)) continue;
        return refused;
    }

    if (pageCount > 1 && static_cast<int>(cmd.pages.size()) == pageCount && !said.said(kAllWords))
        return refused;

    switch (cmd.op) {
        case Op::split:
            if (cmd.after.empty() && !said.said(kSingleWords)) return refused;
            break;
        case Op::reorder: {
            bool reversal = static_cast<int>(cmd.order.size()) == pageCount;
            for (std::size_t i = 0; reversal && i < cmd.order.size(); ++i)
                reversal = cmd.order[i] == pageCount - static_cast<int>(i);
            if (reversal && !said.said(kReverseWords)) return refused;
            break;
        }
        case Op::insertBlank:
            if (cmd.at == 0 && !said.said(kFrontWords)) return refused;
            if (cmd.at == pageCount && !said.said(kEndWords)) return refused;
            break;
        case Op::rotate:
            if (cmd.degrees == 90 && !said.said(kRightWords)) return refused;
            if (cmd.degrees == -90 && !said.said(kLeftWords)) return refused;
            if (cmd.degrees == 180 && !said.said(kHalfTurnWords) && !has(t, halfTurn))
                return refused;
            break;
        default:
            break;
    }
    return r;
}

}  // namespace cvl::PageCommandParser
