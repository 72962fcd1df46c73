#include "pagecmd/PageCommandParser.h"

#include <unicase.h>
#include <unistr.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <numeric>

#include "pagecmd/PageGrammar.h"
#include "platform/Text.h"

namespace cvl::PageCommandParser {

using namespace PageGrammar;
using Op = PageCommand::Op;
using Parse = PageCommandParse;

const std::vector<std::string> canonicalForms = {
    "split after page 10",
    "split after pages 3,7",
    "split before page 5",
    "split into single pages",
    "split every 5 pages",
    "delete page 4",
    "delete pages 3-5",
    "delete pages 2,4,6",
    "rotate page 2 left",
    "rotate pages 1-3 right",
    "rotate all pages 180 degrees",
    "extract pages 4-6",
    "move page 5 to the front",
    "move page 5 to the end",
    "move page 3 after page 7",
    "swap pages 2 and 9",
    "reverse the page order",
    "duplicate page 2",
    "add a blank page after page 3",
    "compress",
    "save pages 2-3 as png images",
    "save all pages as jpeg images",
};

namespace {

// ---- Normalisation helpers ----

// Full Unicode lower-casing without language-specific rules.
std::string lowerCased(std::string_view text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        std::string out(text);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    const std::string valid = repairUtf8(text);
    std::size_t length = 0;
    uint8_t* lowered = u8_tolower(reinterpret_cast<const uint8_t*>(valid.data()), valid.size(),
                                  nullptr, nullptr, nullptr, &length);
    if (!lowered) return valid;
    std::unique_ptr<uint8_t, decltype(&std::free)> owner(lowered, &std::free);
    return std::string(reinterpret_cast<const char*>(lowered), length);
}

// Replaces every occurrence, left to right, in one pass (long texts stay linear).
void replaceLiteral(std::string& text, std::string_view from, std::string_view to) {
    std::size_t pos = text.find(from);
    if (pos == std::string::npos) return;
    std::string out;
    out.reserve(text.size());
    std::size_t last = 0;
    for (; pos != std::string::npos; pos = text.find(from, last)) {
        out.append(text, last, pos - last);
        out += to;
        last = pos + from.size();
    }
    out.append(text, last, std::string::npos);
    text = std::move(out);
}

// ---- Parsing helpers ----

std::vector<int> allPages(int n) {
    std::vector<int> pages(static_cast<std::size_t>(std::max(n, 0)));
    std::iota(pages.begin(), pages.end(), 1);
    return pages;
}

std::string num(int value) {
    return std::to_string(value);
}

// The out-of-range text of split, reverse, swap and move.
Parse refusePlural(int n, int page) {
    return Parse::makeRefuse("This document has " + num(n) + " pages, so there is no page " +
                             num(page) + ".");
}

// The out-of-range text of the other rules, which also reads right for one page.
Parse refuseCounted(int n, int page) {
    return Parse::makeRefuse("This document has " + num(n) + " page" + (n == 1 ? "" : "s") +
                             ", so there is no page " + num(page) + ".");
}

Parse onlyOnePage() {
    return Parse::makeRefuse("This document has only one page.");
}

Parse parseSplit(std::string_view s, std::string_view t, int n, int current, int cur,
                 const std::vector<int>& selection) {
    static const Regex singles = pattern(
        R"(\b(?:single|individual|separate) pages?\b|\bevery page\b|\beach page\b|\binto pages\b|\bpage by page\b)");
    static const Regex afterWord = pattern(R"(\bafter\b)");
    static const Regex beforeWord = pattern(R"(\bbefore\b)");
    static const Regex groups = pattern(
        R"(\bevery (\d+) pages\b|\bchunks of (\d+)(?: pages)?\b|\bgroups of (\d+)(?: pages)?\b)");
    static const Regex halves = pattern(R"(\bin half\b|\binto 2\b|\bdown the middle\b)");
    static const Regex intoTwo = pattern(R"(\binto 2\b)");

    if (has(s, singles)) {
        if (n == 1) return onlyOnePage();
        return Parse::makeCommand(PageCommand::split({}));
    }
    const bool after = has(s, afterWord);
    const bool before = has(s, beforeWord);
    if (after && before)
        return Parse::makeClarify("Before or after? Say one, for example “split after page 5”.");

    if (!after && !before) {
        if (auto m = groups.find(s)) {
            const std::string_view span = m->whole(s);
            const auto first = integer().find(span);
            const int g = first ? toInt(first->whole(span)) : 0;
            if (g >= 1 && g < n) {
                std::vector<int> cuts;
                for (int k = g; k < n; k += g) cuts.push_back(k);
                return Parse::makeCommand(PageCommand::split(std::move(cuts)));
            }
            return Parse::makeRefuse("Pick a group size smaller than " + num(n) + " pages.");
        }
        if (has(s, halves) && !has(intoTwo.replaceAll(s, ""), digit())) {
            if (n == 1) return onlyOnePage();
            if (n % 2 == 1)
                return Parse::makeClarify(
                    "This document has " + num(n) +
                        " pages, so the halves can't be equal. Where "
                        "should it split?",
                    {"split after page " + num(n / 2), "split after page " + num(n / 2 + 1)});
            return Parse::makeCommand(PageCommand::split({n / 2}));
        }
        const PageRef ref = pageRef(t, n, cur, selection);
        if (ref.kind == PageRef::Kind::outOfRange) return refusePlural(n, ref.page);
        if (ref.isPages() && ref.pages.size() == 1) {
            const int p = ref.pages[0];
            std::vector<std::string> options;
            if (p >= 2) options.push_back("split before page " + num(p));
            if (p < n) options.push_back("split after page " + num(p));
            return Parse::makeClarify(
                "Should page " + num(p) + " start the second file, or end the first one?",
                std::move(options));
        }
        std::vector<std::string> options = {"split into single pages"};
        if (n >= 3) options.push_back("split after page " + num(current < n ? cur : n / 2));
        return Parse::makeClarify("Where should it split?", std::move(options));
    }

    const PageRef ref = pageRef(t, n, cur, selection);
    if (ref.kind == PageRef::Kind::outOfRange) return refusePlural(n, ref.page);
    if (!ref.isPages())
        return Parse::makeClarify("Split after which page? For example “split after page 5”.");
    std::vector<int> cuts;
    if (before) {
        for (int p : ref.pages) {
            if (p == 1)
                return Parse::makeRefuse(
                    "Page 1 is the first page, so there is nothing before it to split off.");
            cuts.push_back(p - 1);
        }
    } else {
        for (int p : ref.pages) {
            if (p == n)
                return Parse::makeRefuse("Page " + num(n) +
                                         " is the last page, so there is nothing after it to "
                                         "split off.");
            cuts.push_back(p);
        }
    }
    return Parse::makeCommand(PageCommand::split(std::move(cuts)));
}

std::vector<std::string> rotatePhrases(const std::vector<int>& pages) {
    return {PageCommand::rotate(pages, 90).phrase(), PageCommand::rotate(pages, -90).phrase(),
            PageCommand::rotate(pages, 180).phrase()};
}

Parse parseRotate(std::string_view s, std::string_view t, int n, int cur,
                  const std::vector<int>& selection) {
    static const Regex halfWords = pattern(R"(\b180 ?(?:degrees?|deg)\b|\bupside down\b)");
    static const Regex leftWords = pattern(R"(\bcounterclockwise\b|\bleft\b|\bccw\b)");
    static const Regex rightWords = pattern(R"((?<!counter)\bclockwise\b|\bright\b|\bcw\b)");
    static const Regex reverseAngle = pattern(R"((?:-\s?90|\b270|-\s?270) ?(?:degrees?|deg)\b)");
    static const Regex angle = pattern(R"(-?\b(?:90|180|270) ?(?:degrees?|deg)\b)");

    const bool half = has(s, halfWords);
    const bool left = has(s, leftWords);
    const bool right = has(s, rightWords);
    if (int(half) + int(left) + int(right) >= 2)
        return Parse::makeClarify(
            "That names more than one direction. Which way should the pages turn?");
    if (has(s, reverseAngle) && (left || right))
        return Parse::makeClarify(
            "That angle and direction disagree. Say “left” or “right” for a quarter turn.");
    const bool direction = half || left || right;
    const int degrees = half ? 180 : left ? -90 : right ? 90 : 0;

    const PageRef ref = pageRef(angle.replaceAll(t, " "), n, cur, selection);
    auto suggestions = [&] {
        if (!direction) return rotatePhrases({cur});
        return std::vector<std::string>{PageCommand::rotate({cur}, degrees).phrase(),
                                        PageCommand::rotate(allPages(n), degrees).phrase()};
    };
    switch (ref.kind) {
        case PageRef::Kind::pages:
            if (direction) return Parse::makeCommand(PageCommand::rotate(ref.pages, degrees));
            return Parse::makeClarify("Which way should " + pagesHuman(ref.pages) + " turn?",
                                      rotatePhrases(ref.pages));
        case PageRef::Kind::outOfRange:
            return refuseCounted(n, ref.page);
        case PageRef::Kind::none:
        case PageRef::Kind::empty:
            return Parse::makeClarify(
                direction ? "Which pages should turn?" : "Which pages should turn, and which way?",
                suggestions());
        case PageRef::Kind::needSelection:
            return Parse::makeClarify("No pages are selected. Which pages should turn?",
                                      suggestions());
    }
    return Parse::makeUnreadable();
}

Parse parseImages(std::string_view s, std::string_view t, int n, int cur,
                  const std::vector<int>& selection) {
    static const Regex jpegWords = pattern(R"(\bjpe?gs?\b)");
    const bool jpeg = has(s, jpegWords);
    const PageRef ref = pageRef(t, n, cur, selection);
    const std::vector<std::string> options = {PageCommand::toImages({cur}, jpeg).phrase(),
                                              PageCommand::toImages(allPages(n), jpeg).phrase()};
    switch (ref.kind) {
        case PageRef::Kind::pages:
            return Parse::makeCommand(PageCommand::toImages(ref.pages, jpeg));
        case PageRef::Kind::outOfRange:
            return refuseCounted(n, ref.page);
        case PageRef::Kind::none:
            return Parse::makeCommand(PageCommand::toImages(allPages(n), jpeg));
        case PageRef::Kind::empty:
            return Parse::makeClarify("Which pages should become images?", options);
        case PageRef::Kind::needSelection:
            return Parse::makeClarify("No pages are selected. Which pages should become images?",
                                      options);
    }
    return Parse::makeUnreadable();
}

// Step 10; an empty result means the rule does not apply and parsing goes on.
std::optional<Parse> parseBlankPage(std::string_view s, std::string_view t, int n, int cur,
                                    const std::vector<int>& selection) {
    static const Regex blankPage = pattern(R"(\bblank page\b|\bempty page\b)");
    static const Regex placeWords = pattern(R"(\badd\b|\binsert\b|\bput\b)");
    static const Regex beforeWord = pattern(R"(\bbefore\b)");
    static const Regex afterWord = pattern(R"(\bafter\b)");
    static const Regex atFront =
        pattern(R"(\b(?:at the )?(?:beginning|start|front)\b|\bbefore page 1\b)");
    static const Regex atEnd = pattern(R"(\b(?:at the )?end\b|\bafter the last page\b)");
    static const Regex blankWords = pattern(R"(\b(?:a |an )?(?:blank|empty) page\b)");

    if (!has(s, blankPage) || !has(s, placeWords)) return std::nullopt;
    const bool before = has(s, beforeWord);
    if (before && has(s, afterWord)) return Parse::makeClarify("Before or after that page?");
    if (has(s, atFront)) return Parse::makeCommand(PageCommand::insertBlank(0));
    if (has(s, atEnd)) return Parse::makeCommand(PageCommand::insertBlank(n));
    const PageRef ref = pageRef(blankWords.replaceAll(t, "blank"), n, cur, selection);
    if (ref.isPages() && ref.pages.size() == 1) {
        const int p = ref.pages[0];
        return Parse::makeCommand(PageCommand::insertBlank(before ? p - 1 : p));
    }
    if (ref.kind == PageRef::Kind::outOfRange) return refuseCounted(n, ref.page);
    return Parse::makeClarify(
        "Where should the blank page go?",
        {"add a blank page after page " + num(cur), "add a blank page at the beginning",
         "add a blank page after page " + num(n)});
}

Parse parseDuplicate(std::string_view t, int n, int cur, const std::vector<int>& selection) {
    const PageRef ref = pageRef(t, n, cur, selection);
    if (ref.isPages() && ref.pages.size() == 1)
        return Parse::makeCommand(PageCommand::duplicate(ref.pages[0]));
    if (ref.isPages()) {
        std::vector<std::string> options;
        for (int p : ref.pages) options.push_back("duplicate page " + num(p));
        return Parse::makeClarify("Duplicate works on one page at a time. Which one?",
                                  std::move(options));
    }
    if (ref.kind == PageRef::Kind::outOfRange) return refuseCounted(n, ref.page);
    const std::vector<std::string> options = {"duplicate page " + num(cur)};
    if (ref.kind == PageRef::Kind::needSelection)
        return Parse::makeClarify("No pages are selected. Which pages do you mean?", options);
    return Parse::makeClarify("Which page should be duplicated?", options);
}

Parse parseExtract(std::string_view t, int n, int cur, const std::vector<int>& selection) {
    const PageRef ref = pageRef(t, n, cur, selection);
    if (ref.isPages()) {
        if (static_cast<int>(ref.pages.size()) == n)
            return Parse::makeRefuse(
                "That is every page; the new PDF would be the same as this one.");
        return Parse::makeCommand(PageCommand::extract(ref.pages));
    }
    if (ref.kind == PageRef::Kind::outOfRange) return refuseCounted(n, ref.page);
    const std::vector<std::string> options = {"extract page " + num(cur)};
    if (ref.kind == PageRef::Kind::needSelection)
        return Parse::makeClarify("No pages are selected. Which pages do you mean?", options);
    return Parse::makeClarify("Which pages should go into the new PDF?", options);
}

Parse parseDelete(std::string_view s, std::string_view t, int n, int cur,
                  const std::vector<int>& selection) {
    static const Regex onPageThings = pattern(
        R"(\b(?:annotations?|comments?|highlights?|notes?|markup|marks?|text|words?|lines?|links?|bookmarks?|fields?|forms?|stamps?|watermarks?|headers?|footers?|signatures?|boxes|box|blanks?)\b)");
    static const Regex kindsOfPage = pattern(R"(\b(?:signature|blank|cover) pages?\b)");
    static const Regex contentWords = pattern(
        R"(\bblank\b|\bempty\b|\bduplicates?\b|\bscans?\b|\bcover\b|\bsignature\b|\bexhibits?\b|\bappendix\b)");

    if (has(s, onPageThings) && !has(s, kindsOfPage))
        return Parse::makeClarify(
            "Corvello removes whole pages here. To remove something ON a page, use Annotate or "
            "Edit. Which whole pages should go?");
    const PageRef ref = pageRef(t, n, cur, selection);
    if (has(s, contentWords) && ref.kind == PageRef::Kind::none)
        return Parse::makeClarify("Which page numbers should be removed?");
    if (ref.isPages()) {
        if (static_cast<int>(ref.pages.size()) == n)
            return Parse::makeRefuse(
                "That would remove every page. Delete fewer pages, or move the file to the "
                "Trash in your file manager.");
        return Parse::makeCommand(PageCommand::remove(ref.pages));
    }
    if (ref.kind == PageRef::Kind::outOfRange) return refuseCounted(n, ref.page);
    const std::vector<std::string> options = {"delete page " + num(cur)};
    if (ref.kind == PageRef::Kind::needSelection)
        return Parse::makeClarify("No pages are selected. Which pages do you mean?", options);
    return Parse::makeClarify("Which pages should be removed?", options);
}

Parse parseReverse(std::string_view t, int n, int cur, const std::vector<int>& selection) {
    if (n == 1) return onlyOnePage();
    const PageRef ref = pageRef(t, n, cur, selection);
    if (ref.kind == PageRef::Kind::outOfRange) return refusePlural(n, ref.page);
    if (ref.kind == PageRef::Kind::none ||
        (ref.isPages() && static_cast<int>(ref.pages.size()) == n)) {
        std::vector<int> order = allPages(n);
        std::reverse(order.begin(), order.end());
        return Parse::makeCommand(PageCommand::reorder(std::move(order)));
    }
    if (ref.isPages() && ref.pages.size() >= 2 && contiguous(ref.pages)) {
        const int a = ref.pages.front();
        const int b = ref.pages.back();
        std::vector<int> order = allPages(n);
        std::reverse(order.begin() + (a - 1), order.begin() + b);
        return Parse::makeCommand(PageCommand::reorder(std::move(order)));
    }
    return Parse::makeClarify(
        "Corvello can reverse the whole document or one run of pages, like “reverse pages 2-4”. "
        "Which pages?");
}

Parse parseExplicitOrder(std::string_view s, int n) {
    static const Regex list = pattern(R"(\d+(?:,\d+)+)");
    std::vector<int> order;
    if (auto m = list.find(s)) order = integersIn(m->whole(s));
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    if (static_cast<int>(order.size()) == n && sorted == allPages(n))
        return Parse::makeCommand(PageCommand::reorder(std::move(order)));
    return Parse::makeRefuse("A new order has to list every page from 1 to " + num(n) +
                             " exactly once.");
}

Parse parseSwap(std::string_view s, int n) {
    const std::vector<int> nums = integersIn(s);
    if (nums.size() != 2) return Parse::makeClarify("Which two pages should swap places?");
    for (int k : nums)
        if (k < 1 || k > n) return refusePlural(n, k);
    if (nums[0] == nums[1]) return Parse::makeRefuse("Those are the same page.");
    std::vector<int> order = allPages(n);
    std::swap(order[static_cast<std::size_t>(nums[0] - 1)],
              order[static_cast<std::size_t>(nums[1] - 1)]);
    return Parse::makeCommand(PageCommand::reorder(std::move(order)));
}

Parse parseMove(std::string_view s, int n, int cur) {
    static const Regex moveLast = pattern(R"(\bmove (?:the )?last page\b)");
    static const Regex moveFirst = pattern(R"(\bmove (?:the )?first page\b)");
    static const Regex moveThis = pattern(R"(\bmove (?:this|the current) page\b)");
    static const Regex andWord = pattern(R"(\band\b)");
    static const Regex afterWord = pattern(R"(\bafter\b)");
    static const Regex beforeWord = pattern(R"(\bbefore\b)");
    static const Regex movePages = pattern(R"(\bmove (?:the )?pages\b)");
    static const Regex anchoredTarget =
        pattern(R"(\b(?:after|before) (?:the )?(?:last|first) page\b)");
    static const Regex endsTarget =
        pattern(R"(\b(?:to the )?(?:front|beginning|start|top|end|back|bottom)\b)");
    static const Regex toFront = pattern(R"(\b(?:to the )?(?:front|beginning|start|top)\b)");
    static const Regex toEnd = pattern(R"(\b(?:to the )?(?:end|back|bottom)\b)");
    static const Regex afterOrBefore = pattern(R"(\b(?:after|before)\b)");
    static const Regex nextToLast = pattern(R"(\b(?:after|before) (?:the )?last page\b)");
    static const Regex nextToFirst = pattern(R"(\b(?:after|before) (?:the )?first page\b)");

    const std::vector<int> nums = integersIn(s);
    int p = 0;
    if (has(s, moveLast))
        p = n;
    else if (has(s, moveFirst))
        p = 1;
    else if (has(s, moveThis))
        p = cur;
    else if (!nums.empty())
        p = nums[0];
    else
        return Parse::makeClarify("Which page should move, and where to?");

    if (has(s, andWord) || (has(s, afterWord) && has(s, beforeWord)))
        return Parse::makeClarify(
            "Corvello moves one page to one place at a time. Which page, and where should it go?");
    const std::size_t allowed = (has(s, anchoredTarget) || has(s, endsTarget)) ? 1 : 2;
    if (has(s, movePages) || nums.size() > allowed)
        return Parse::makeClarify(
            "Corvello moves one page at a time. Which page, and where should it go?");
    if (p < 1 || p > n) return refusePlural(n, p);

    std::vector<int> order;
    for (int k = 1; k <= n; ++k)
        if (k != p) order.push_back(k);
    if (has(s, toFront)) {
        order.insert(order.begin(), p);
    } else if (has(s, toEnd)) {
        order.push_back(p);
    } else if (!has(s, afterOrBefore)) {
        return Parse::makeClarify(
            "Where should page " + num(p) + " go?",
            {"move page " + num(p) + " to the front", "move page " + num(p) + " to the end"});
    } else {
        int target = 0;
        if (has(s, nextToLast)) {
            target = n;
        } else if (has(s, nextToFirst)) {
            target = 1;
        } else {
            const std::size_t index = (!nums.empty() && nums[0] == p) ? 1 : 0;
            if (index >= nums.size())
                return Parse::makeClarify("Move page " + num(p) + " before or after which page?");
            target = nums[index];
        }
        if (target < 1 || target > n) return refusePlural(n, target);
        if (target == p) return Parse::makeRefuse("A page can't move next to itself.");
        auto at = std::find(order.begin(), order.end(), target);
        if (has(s, afterWord)) ++at;
        order.insert(at, p);
    }
    if (order == allPages(n)) return Parse::makeRefuse("Page " + num(p) + " is already there.");
    return Parse::makeCommand(PageCommand::reorder(std::move(order)));
}

}  // namespace

std::string normalize(std::string_view text) {
    static const Regex pageAbbreviation = pattern(R"(\bp\.?\s*(\d))");
    static const Regex otherCharacters = pattern(R"([^a-z0-9,\- ])");
    // Every tens word of 20 or more followed by a unit word below 10; one alternation reads
    // the same as trying each pair in turn, because a replacement only ever yields digits.
    static const Regex compoundNumbers = pattern(
        R"(\b(twenty|thirty|forty|fifty)[ -](one|two|three|four|five|six|seven|eight|nine)\b)");
    static const Regex numberWordPattern = [] {
        std::string alternatives;
        for (const auto& [word, value] : numberWords()) {
            if (!alternatives.empty()) alternatives += '|';
            alternatives += word;
        }
        return pattern(R"(\b()" + alternatives + R"()\b)");
    }();
    static const Regex ranges = pattern(R"((\d+)\s*(?:-|to|through|thru|until)\s*(\d+))");
    static const Regex spaces = pattern(R"(\s+)");

    auto valueOf = [](std::string_view word) {
        for (const auto& [w, v] : numberWords())
            if (w == word) return v;
        return 0;
    };

    std::string t = lowerCased(text);
    replaceLiteral(t, "\u2013", "-");
    replaceLiteral(t, "\u2014", "-");
    replaceLiteral(t, "\u2012", "-");
    replaceLiteral(t, "counter-clockwise", "counterclockwise");
    replaceLiteral(t, "anti-clockwise", "counterclockwise");
    replaceLiteral(t, "anticlockwise", "counterclockwise");
    replaceLiteral(t, "upside-down", "upside down");
    t = pageAbbreviation.replaceAll(t, "page $1");
    replaceLiteral(t, "&", " and ");
    t = otherCharacters.replaceAll(t, " ");
    t = compoundNumbers.replaceAll(t, [&](const RegexMatch& m) {
        return num(valueOf(m.group(t, 1)) + valueOf(m.group(t, 2)));
    });
    t = numberWordPattern.replaceAll(
        t, [&](const RegexMatch& m) { return num(valueOf(m.group(t, 1))); });
    t = ranges.replaceAll(t, "$1-$2");
    t = spaces.replaceAll(t, " ");
    return trimmed(t);
}

bool looksLikeCommand(std::string_view text) {
    const std::string padded = " " + normalize(text) + " ";
    for (const auto& word : actionWords())
        if (padded.find(word) != std::string::npos) return true;
    return false;
}

std::set<std::string> familiesIn(std::string_view text) {
    std::set<std::string> ops;
    for (const auto& family : families())
        if (has(text, family.pattern)) ops.insert(std::string(PageCommand::rawName(family.op)));
    return ops;
}

PageCommandParse parse(std::string_view text, int pageCount, int current,
                       const std::vector<int>& selection) {
    static const Regex politeLead = pattern(
        R"(^(?:(?:hey |ok |okay )?(?:please |pls |kindly )?(?:can|could|would|will) you (?:please )?|please |pls |i (?:want|need|would like|d like) (?:you )?to |i d like to |help me |let s |lets |go ahead and |just )+)");
    static const Regex questionLead = pattern(
        R"(^(?:what|whats|who|whom|whose|when|where|why|how|does|do|did|is|are|was|were|which|summarize|summarise|explain|list|find|tell|show|give|describe|compare|translate|define|should|has|have|any)\b)");
    static const Regex splitWords = pattern(
        R"(\bsplit\b|\bbreak (?:it|this|the document) (?:up|apart)\b|\bcut (?:it|this) (?:in|into)\b)");
    static const Regex rotateWords = pattern(R"(\brotate\b|\bturn\b|\bflip\b|\bupside down\b)");
    static const Regex turnInto = pattern(R"(\bturn (?:it|this) into\b)");
    static const Regex imageWords =
        pattern(R"(\b(?:png|pngs|jpeg|jpegs|jpg|jpgs|images?|pictures?|photos?)\b)");
    static const Regex imageVerbs = pattern(R"(\b(?:save|export|convert|turn|make|as|to|into)\b)");
    static const Regex imagesToPdf = pattern(R"(\bimages? (?:to|into) (?:a )?pdf\b)");
    static const Regex compressWords = pattern(
        R"(\bcompress\b|\bshrink\b|\bmake (?:it|this|the file|the pdf|the document)? ?smaller\b|\breduce (?:the )?(?:file )?size\b|\bsmaller (?:file|copy|version)\b|\bsmall enough to email\b)");
    static const Regex mergeWords =
        pattern(R"(\bmerge\b|\bcombine\b|\bjoin\b|\bappend (?:another|other|a) pdf)");
    static const Regex duplicateWord = pattern(R"(\bduplicate\b)");
    static const Regex copyWord = pattern(R"(\bcopy\b)");
    static const Regex newFile = pattern(R"(\bnew (?:pdf|file|document)\b)");
    static const Regex extractWords = pattern(
        R"(\bextract\b|\bpull out\b|\bcopy\b.*\bnew (?:pdf|file|document)\b|\bsave\b.*\bpages?\b.*\b(?:new|separate|own) (?:pdf|file|document)\b|\bsave pages?\b.*\bas (?:a )?pdf\b|\bmake (?:a )?(?:new )?pdf (?:of|from|with)\b)");
    static const Regex deleteWords =
        pattern(R"(\bdelete\b|\bremove\b|\bdrop\b|\bget rid of\b|\btake out\b|\berase\b)");
    static const Regex reverseWord = pattern(R"(\breverse\b)");
    static const Regex orderOrPages = pattern(R"(\border\b|\bpages\b)");
    static const Regex explicitOrder = pattern(R"(\breorder pages (\d+(?:,\d+)+)\b)");
    static const Regex swapWord = pattern(R"(\bswap\b)");
    static const Regex moveWord = pattern(R"(\bmove\b)");

    const int n = pageCount;
    const std::string t = normalize(text);
    if (t.empty() || n < 1) return Parse::makeNotACommand();

    const std::string s = trimmed(politeLead.replaceAll(t, ""));
    if (has(s, questionLead)) return Parse::makeNotACommand();

    const std::set<std::string> kinds = familiesIn(t);
    if (!kinds.empty()) {
        if (has(s, negation()))
            return Parse::makeClarify(
                "Corvello does one exact change at a time, with no exceptions. Name exactly the "
                "pages to change, for example “delete pages 2 and 4”.");
        if (has(s, conditional()))
            return Parse::makeClarify(
                "Corvello can't check a condition first. Name exactly the pages to change, for "
                "example “delete page 2”.");
        if (kinds.size() >= 2)
            return Parse::makeClarify(
                "That asks for more than one kind of change. Which one should Corvello do? Ask "
                "for one at a time.");
    }

    const int cur = std::min(n, std::max(current, 1));

    if (has(s, splitWords)) return parseSplit(s, t, n, current, cur, selection);
    if (has(s, rotateWords) && !has(s, turnInto)) return parseRotate(s, t, n, cur, selection);
    if (has(s, imageWords) && has(s, imageVerbs) && !has(s, imagesToPdf))
        return parseImages(s, t, n, cur, selection);
    if (has(s, compressWords)) return Parse::makeCommand(PageCommand::compress());
    if (has(s, mergeWords)) return Parse::makeCommand(PageCommand::merge());
    if (auto blank = parseBlankPage(s, t, n, cur, selection)) return *blank;
    if (has(s, duplicateWord)) return parseDuplicate(t, n, cur, selection);
    if (has(s, copyWord) && !has(s, newFile)) {
        const PageRef ref = pageRef(t, n, cur, selection);
        if (ref.isPages()) {
            const bool one = ref.pages.size() == 1;
            std::vector<std::string> options;
            if (one) options.push_back("duplicate page " + num(ref.pages[0]));
            options.push_back(PageCommand::extract(ref.pages).phrase());
            return Parse::makeClarify("Do you want a second copy of " + pagesHuman(ref.pages) +
                                          " inside this PDF, or " +
                                          (one ? "that page" : "those pages") + " in a new PDF?",
                                      std::move(options));
        }
    }
    if (has(s, extractWords)) return parseExtract(t, n, cur, selection);
    if (has(s, deleteWords)) return parseDelete(s, t, n, cur, selection);
    if (has(s, reverseWord) && has(s, orderOrPages)) return parseReverse(t, n, cur, selection);
    if (has(s, explicitOrder)) return parseExplicitOrder(s, n);
    if (has(s, swapWord)) return parseSwap(s, n);
    if (has(s, moveWord)) return parseMove(s, n, cur);
    return looksLikeCommand(text) ? Parse::makeUnreadable() : Parse::makeNotACommand();
}

}  // namespace cvl::PageCommandParser
