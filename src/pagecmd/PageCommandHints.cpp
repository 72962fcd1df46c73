#include "pagecmd/PageCommandHints.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "pagecmd/PageCommandParser.h"
#include "pagecmd/PageGrammar.h"

namespace cvl::PageCommandHints {

namespace {

using Parse = PageCommandParse;

struct Word {
    const char* text;
    bool action;  // a word that makes a text a page command
};

// The grammar's own words that are long enough to be told apart from a slip of the keys.
// "move", "turn", "drop" and "flip" are left out: too many everyday words are one letter away.
constexpr std::array<Word, 33> kVocabulary = {{
    {"split", true},
    {"delete", true},
    {"remove", true},
    {"rotate", true},
    {"extract", true},
    {"reorder", true},
    {"reverse", true},
    {"swap", true},
    {"duplicate", true},
    {"insert", true},
    {"compress", true},
    {"shrink", true},
    {"merge", true},
    {"combine", true},
    {"export", true},
    {"page", false},
    {"pages", false},
    {"after", false},
    {"before", false},
    {"left", false},
    {"right", false},
    {"clockwise", false},
    {"counterclockwise", false},
    {"degrees", false},
    {"images", false},
    {"blank", false},
    {"every", false},
    {"single", false},
    {"front", false},
    {"order", false},
    {"through", false},
    {"first", false},
    {"last", false},
}};

// Real words one slip away from an action word: never taken for it.
constexpr std::array<const char*, 15> kNotSlips = {
    "spit",   "sway",   "swan",    "swat",     "swab",   "swag",   "verge", "insect",
    "expert", "remote", "deplete", "recorder", "revere", "reverb", "emerge"};

// Optimal string alignment distance (adjacent transpositions count once).
int distance(std::string_view a, std::string_view b) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (size_t i = 0; i <= n; ++i) d[i][0] = int(i);
    for (size_t j = 0; j <= m; ++j) d[0][j] = int(j);
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}

// The vocabulary word a token was meant to be: one edit away (two for long words), and the
// only word that close. A three-letter token only completes a word ("pag" -> "page").
const Word* meant(const std::string& token) {
    if (token.size() < 3 || std::any_of(token.begin(), token.end(), ::isdigit)) return nullptr;
    if (std::find(kNotSlips.begin(), kNotSlips.end(), token) != kNotSlips.end()) return nullptr;
    const int allowed = token.size() >= 7 ? 2 : 1;
    const Word* best = nullptr;
    int bestDistance = allowed + 1;
    bool tie = false;
    for (const Word& w : kVocabulary) {
        const std::string_view word = w.text;
        if (word == token) return nullptr;  // spelt right
        if (token.size() == 3 && (word.size() != 4 || word.substr(0, 3) != token)) continue;
        const int d = distance(token, word);
        if (d < bestDistance) {
            best = &w;
            bestDistance = d;
            tie = false;
        } else if (d == bestDistance) {
            tie = true;
        }
    }
    return tie ? nullptr : best;
}

// Shorthands that normalisation leaves alone.
const char* shorthand(const std::string& token) {
    if (token == "pg") return "page";
    if (token == "pgs" || token == "pp") return "pages";
    if (token == "del") return "delete";
    if (token == "rot") return "rotate";
    return nullptr;
}

struct ElsewhereTool {
    const char* pattern;
    const char* answer;
};

// Document operations that are not page commands: the answer says where the reader has them.
const std::array<ElsewhereTool, 7> kElsewhere = {{
    {R"(\bredact(?:ed|ing|ion)?\b|\bblack out\b)",
     "Redacting isn\u2019t a page command: use Redact\u2026 in the reader\u2019s toolbar."},
    {R"(\b(?:e ?)?sign (?:it|this|here|the (?:document|pdf|file)|page)\b|\bsignature\b)",
     "Signing isn\u2019t a page command: use Sign\u2026 in the reader\u2019s toolbar."},
    {R"(\bocr\b|\btext layer\b|\bmake (?:it |this |the pdf )?searchable\b|\brecogni[sz]e\b)",
     "Recognising text isn\u2019t a page command: a scanned document without text offers "
     "Make searchable above its pages."},
    {R"(\bfill (?:in|out)\b|\bform fields?\b|\bfill (?:the|this) form\b)",
     "Filling in a form isn\u2019t a page command: type into the fields on the page, then use "
     "Save Form in the reader\u2019s toolbar."},
    {R"(\bcompare (?:it |this )?(?:with|to|against)\b|\bvisual (?:compare|diff)\b)",
     "Comparing isn\u2019t a page command: the Compare documents page compares two documents."},
    {R"(\b(?:annotate|highlight|underline|strike ?through)\b|\badd (?:a )?(?:note|comment)\b)",
     "Annotating isn\u2019t a page command: use the annotation tools in the reader\u2019s "
     "toolbar."},
    {R"(\brename (?:it|this|the (?:file|document|pdf))\b|\bmove (?:it|this|the file) to\b|\b(?:trash|organi[sz]e)\b)",
     "Renaming, moving and trashing aren\u2019t page commands: use the reader\u2019s More menu, "
     "or the folder\u2019s list."},
}};

// A question about the document ("who signed it?") is never taken for a request.
bool isQuestion(const std::string& normalized) {
    static const Regex polite = PageGrammar::pattern(
        R"(^(?:(?:please|pls|kindly|can you|could you|would you|will you|i want to|i d like to|i would like to|help me) )+)");
    static const Regex question = PageGrammar::pattern(
        R"(^(?:what|whats|who|whom|whose|when|where|why|how|does|do|did|is|are|was|were|which|has|have|any|should|tell|explain|summari[sz]e|list|find|show)\b)");
    return PageGrammar::has(polite.replaceAll(normalized, ""), question);
}

}  // namespace

std::optional<std::string> correctedSpelling(std::string_view text) {
    std::istringstream in(PageCommandParser::normalize(text));
    std::string token, out;
    bool action = false;
    while (in >> token) {
        if (const char* full = shorthand(token)) {
            action =
                action || std::string_view(full) == "delete" || std::string_view(full) == "rotate";
            token = full;
        } else if (const Word* w = meant(token)) {
            action = action || w->action;
            token = w->text;
        }
        out += (out.empty() ? "" : " ") + token;
    }
    if (!action) return std::nullopt;
    return out;
}

std::optional<PageCommandParse> nearMiss(std::string_view text, int pageCount, int current,
                                         const std::vector<int>& selection) {
    auto corrected = correctedSpelling(text);
    if (!corrected) return std::nullopt;
    Parse parsed = PageCommandParser::parse(*corrected, pageCount, current, selection);
    switch (parsed.kind) {
        case Parse::Kind::command: {
            const std::string phrase = parsed.command.phrase();
            return Parse::makeClarify("Did you mean \u201c" + phrase + "\u201d?", {phrase});
        }
        case Parse::Kind::clarify:
        case Parse::Kind::refuse:
            return parsed;
        case Parse::Kind::notACommand:
        case Parse::Kind::unreadable:
            break;
    }
    return std::nullopt;
}

std::optional<std::string> elsewhereAnswer(std::string_view text) {
    static const std::vector<Regex> patterns = [] {
        std::vector<Regex> out;
        for (const auto& entry : kElsewhere) out.push_back(PageGrammar::pattern(entry.pattern));
        return out;
    }();
    const std::string t = PageCommandParser::normalize(text);
    if (isQuestion(t)) return std::nullopt;
    for (size_t i = 0; i < kElsewhere.size(); ++i)
        if (PageGrammar::has(t, patterns[i])) return std::string(kElsewhere[i].answer);
    return std::nullopt;
}

}  // namespace cvl::PageCommandHints
