// Deciding whether a rewrite of the user's typed text (a canonical phrase proposed by another
// component) may be carried out: every part of the command must be grounded in what was typed.
#include <initializer_list>
#include <map>

#include "pagecmd/PageCommandParser.h"
#include "pagecmd/PageGrammar.h"

namespace cvl::PageCommandParser {

using namespace PageGrammar;
using Op = PageCommand::Op;

namespace {

using Words = std::vector<std::string>;

// Word lists are compared with normalised typed text, so they are normalised once too: "one
// page" is looked for as "1 page".
Words normalised(std::initializer_list<const char*> words) {
    Words out;
    for (const char* w : words) out.push_back(normalize(w));
    return out;
}

const std::map<Op, Words>& opWords() {
    static const std::map<Op, Words> table = {
        {Op::delete_, normalised({"delete", "remove", "drop", "rid", "out", "go", "erase", "lose",
                                  "discard", "trash", "toss", "cut", "without"})},
        {Op::extract,
         normalised({"extract", "own", "separate", "new", "pull", "copy", "save", "just", "only"})},
        {Op::rotate, normalised({"rotate", "turn", "sideways", "upside", "flip", "clockwise",
                                 "counterclockwise", "landscape", "portrait", "rotated"})},
        {Op::split, normalised({"split", "chop", "cut", "break", "separate", "divide", "files",
                                "halves", "half"})},
        {Op::reorder, normalised({"move", "put", "first", "last", "front", "end", "order",
                                  "reverse", "swap", "before", "after", "beginning", "start"})},
        {Op::duplicate,
         normalised({"duplicate", "twice", "copy", "again", "second copy", "double"})},
        {Op::insertBlank, normalised({"blank", "empty"})},
        {Op::compress, normalised({"compress", "shrink", "smaller", "big", "size", "email",
                                   "reduce", "large", "heavy", "mb"})},
        {Op::toImages, normalised({"image", "images", "picture", "pictures", "png", "jpg", "jpeg",
                                   "photo", "photos"})},
    };
    return table;
}

// The grounding word lists.
struct Grounding {
    Words all = normalised({"all", "every", "each", "whole", "entire", "everything"});
    Words last = normalised({"last", "final", "end"});
    Words reverse =
        normalised({"reverse", "backwards", "flip the order", "last to first", "opposite order"});
    Words single = normalised({"single", "every", "each", "individual", "separate", "one page"});
    Words front = normalised({"beginning", "start", "front", "first", "top"});
    Words end = normalised({"end", "last", "back", "bottom"});
    Words left = normalised({"left", "counterclockwise", "ccw"});
    Words right = normalised({"right", "clockwise", "cw"});
    Words halfTurn = normalised({"upside", "flip", "around"});
};

const Grounding& grounding() {
    static const Grounding words;
    return words;
}

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
    // word; a longer word as the start of a typed word ("rotate" matches "rotated").
    bool said(const Words& entries) const {
        for (const auto& entry : entries) {
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
    const Grounding& g = grounding();

    if (has(t, negation())) return refused;
    const auto kinds = familiesIn(t);
    if (!kinds.empty() && !kinds.count(std::string(PageCommand::rawName(cmd.op)))) return refused;
    const auto words = opWords().find(cmd.op);
    if (words == opWords().end() || !said.said(words->second)) return refused;

    const std::set<int> numbers = typedNumbers(typed);
    const std::string phraseText = angle.replaceAll(normalize(phrase), " ");
    for (int k : integersIn(phraseText)) {
        if (numbers.count(k)) continue;
        if (k == pageCount && said.said(g.last)) continue;
        return refused;
    }

    if (pageCount > 1 && static_cast<int>(cmd.pages.size()) == pageCount && !said.said(g.all))
        return refused;

    switch (cmd.op) {
        case Op::split:
            if (cmd.after.empty() && !said.said(g.single)) return refused;
            break;
        case Op::reorder: {
            bool reversal = static_cast<int>(cmd.order.size()) == pageCount;
            for (std::size_t i = 0; reversal && i < cmd.order.size(); ++i)
                reversal = cmd.order[i] == pageCount - static_cast<int>(i);
            if (reversal && !said.said(g.reverse)) return refused;
            break;
        }
        case Op::insertBlank:
            if (cmd.at == 0 && !said.said(g.front)) return refused;
            if (cmd.at == pageCount && !said.said(g.end)) return refused;
            break;
        case Op::rotate:
            if (cmd.degrees == 90 && !said.said(g.right)) return refused;
            if (cmd.degrees == -90 && !said.said(g.left)) return refused;
            if (cmd.degrees == 180 && !said.said(g.halfTurn) && !has(t, halfTurn)) return refused;
            break;
        default:
            break;
    }
    return r;
}

}  // namespace cvl::PageCommandParser
