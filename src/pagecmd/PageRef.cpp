// Resolving page references ("pages 3-5", "the last 2 pages", "odd pages", "this page") and
// collecting the numbers a user typed.
#include <algorithm>
#include <climits>

#include "pagecmd/PageCommandParser.h"
#include "pagecmd/PageGrammar.h"

namespace cvl::PageCommandParser {

using namespace PageGrammar;

namespace {

// Candidate pages as inclusive ranges, so that "pages 1-2000000000" never becomes a list
// longer than the document.
struct Range {
    long long first;
    long long last;
};

int clampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// Removes duplicates and sorts; reports the first page outside 1…n in ascending order.
PageRef checked(const std::vector<Range>& candidates, int n) {
    bool any = false;
    long long lowest = LLONG_MAX;
    long long firstAbove = LLONG_MAX;
    for (const auto& r : candidates) {
        if (r.first > r.last) continue;
        any = true;
        lowest = std::min(lowest, r.first);
        if (r.last > n) firstAbove = std::min(firstAbove, std::max<long long>(r.first, n + 1LL));
    }
    if (!any) return {PageRef::Kind::empty, {}, 0};
    if (lowest < 1) return {PageRef::Kind::outOfRange, {}, clampToInt(lowest)};
    if (firstAbove != LLONG_MAX) return {PageRef::Kind::outOfRange, {}, clampToInt(firstAbove)};
    std::vector<bool> named(static_cast<std::size_t>(n) + 1, false);
    for (const auto& r : candidates)
        for (long long p = r.first; p <= r.last; ++p) named[static_cast<std::size_t>(p)] = true;
    std::vector<int> pages;
    for (int p = 1; p <= n; ++p)
        if (named[static_cast<std::size_t>(p)]) pages.push_back(p);
    return {PageRef::Kind::pages, std::move(pages), 0};
}

std::vector<Range> stepped(int start, int n) {
    std::vector<Range> pages;
    for (long long p = start; p <= n; p += 2) pages.push_back({p, p});
    return pages;
}

// True when a match of `re` lies wholly outside [begin, end) of the text.
bool occursOutside(const Regex& re, std::string_view text, std::size_t begin, std::size_t end) {
    for (const auto& m : re.findAll(text))
        if (m.end <= begin || m.begin >= end) return true;
    return false;
}

// The list of a recogniser, unless digits outside its span name pages it did not read.
PageRef withoutStrayNumbers(PageRef ref, std::string_view text, const RegexMatch& span) {
    if (ref.isPages() && occursOutside(digit(), text, span.begin, span.end))
        return {PageRef::Kind::empty, {}, 0};
    return ref;
}

// Reads "3", "3-5", "page 3" or "pages 3-5" out of an explicit list; false for an item that
// counts backwards ("5-3"), which is too unclear to guess at.
bool readItem(std::string_view item, std::vector<Range>& out) {
    static const Regex pageWord = pattern(R"(^pages? )");
    static const Regex itemShape = pattern(R"(^(\d+)(?:-(\d+))?$)");
    const std::string bare = pageWord.replaceAll(item, "");
    const auto m = itemShape.find(bare);
    if (!m) return false;
    const long long first = toInt(m->group(bare, 1));
    const std::string_view lastText = m->group(bare, 2);
    const long long last = lastText.empty() ? first : toInt(lastText);
    if (last < first) return false;
    out.push_back({first, last});
    return true;
}

}  // namespace

PageRef pageRef(std::string_view text, int n, int current, const std::vector<int>& selection) {
    static const Regex odd = pattern(R"(\b(?:the )?odd pages?\b)");
    static const Regex even = pattern(R"(\b(?:the )?even pages?\b)");
    static const Regex lastK = pattern(R"(\b(?:the )?last (\d+) pages\b)");
    static const Regex firstK = pattern(R"(\b(?:the )?first (\d+) pages\b)");
    static const Regex explicitList =
        pattern(R"(\bpages? ((?:\d+(?:-\d+)?)(?:\s*(?:,|and)\s*(?:pages? )?\d+(?:-\d+)?)*))");
    static const Regex itemSeparator = pattern(R"(\s*(?:,|and)\s*)");
    static const Regex pageWords = pattern(
        R"(\bpages?\b|\b(?:last|first|selected|these|those|odd|even|all|every|each|other|remaining|rest)\b)");
    static const Regex lastPage = pattern(R"(\b(?:the )?last page\b)");
    static const Regex firstPage = pattern(R"(\b(?:the )?first page\b)");
    static const Regex thisPage = pattern(R"(\b(?:this|current|the current) page\b)");
    static const Regex selected =
        pattern(R"(\b(?:selected pages|these pages|the selection|selected)\b)");
    static const Regex everything = pattern(
        R"(\b(?:all pages|all the pages|every page|each page|all|whole document|entire document|everything)\b)");

    if (auto m = odd.find(text)) return withoutStrayNumbers(checked(stepped(1, n), n), text, *m);
    if (auto m = even.find(text)) return withoutStrayNumbers(checked(stepped(2, n), n), text, *m);
    if (auto m = lastK.find(text)) {
        const long long k = toInt(m->group(text, 1));
        return withoutStrayNumbers(checked({{n - k + 1, n}}, n), text, *m);
    }
    if (auto m = firstK.find(text)) {
        const long long k = toInt(m->group(text, 1));
        return withoutStrayNumbers(checked({{1, k}}, n), text, *m);
    }
    if (auto m = explicitList.find(text)) {
        const std::string_view list = m->group(text, 1);
        std::vector<Range> candidates;
        std::size_t from = 0;
        bool readable = true;
        for (const auto& sep : itemSeparator.findAll(list)) {
            readable = readable && readItem(list.substr(from, sep.begin - from), candidates);
            from = sep.end;
        }
        readable = readable && readItem(list.substr(from), candidates);
        if (!readable) return {PageRef::Kind::empty, {}, 0};
        PageRef ref = withoutStrayNumbers(checked(candidates, n), text, *m);
        if (ref.isPages() && occursOutside(pageWords, text, m->begin, m->end))
            return {PageRef::Kind::empty, {}, 0};
        return ref;
    }
    if (auto m = lastPage.find(text)) return withoutStrayNumbers(checked({{n, n}}, n), text, *m);
    if (auto m = firstPage.find(text)) return withoutStrayNumbers(checked({{1, 1}}, n), text, *m);
    if (auto m = thisPage.find(text))
        return withoutStrayNumbers(checked({{current, current}}, n), text, *m);
    if (auto m = selected.find(text)) {
        if (selection.empty()) return {PageRef::Kind::needSelection, {}, 0};
        std::vector<Range> candidates;
        for (int p : selection) candidates.push_back({p, p});
        return withoutStrayNumbers(checked(candidates, n), text, *m);
    }
    if (auto m = everything.find(text)) return withoutStrayNumbers(checked({{1, n}}, n), text, *m);
    return {has(text, digit()) ? PageRef::Kind::empty : PageRef::Kind::none, {}, 0};
}

std::set<int> typedNumbers(std::string_view typed) {
    static const Regex ordinalWords = [] {
        std::string alternatives;
        for (const auto& [word, value] : ordinals()) {
            if (!alternatives.empty()) alternatives += '|';
            alternatives += word;
        }
        return pattern(R"(\b()" + alternatives + R"()\b)");
    }();
    const std::string t = normalize(typed);
    std::set<int> numbers;
    for (int k : integersIn(t)) numbers.insert(k);
    for (const auto& m : ordinalWords.findAll(t)) {
        const std::string_view word = m.group(t, 1);
        for (const auto& [w, v] : ordinals())
            if (w == word) numbers.insert(v);
    }
    return numbers;
}

}  // namespace cvl::PageCommandParser
