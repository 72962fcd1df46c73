#include "pagecmd/CvlPageCommands.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <optional>

#include "pagecmd/PageCommandJson.h"
#include "pagecmd/PageCommandParser.h"

namespace cvl {

namespace {

// Larger page counts are not real documents, and every page list is bounded by the count.
constexpr int kMaxPages = 1000000;

struct Options {
    int pages = 0;
    int current = 1;
    std::vector<int> selection;
    std::vector<std::string> positional;
};

std::optional<int> wholeNumber(std::string_view text) {
    int value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

// "2,5" or "2, 5"; an empty text is an empty selection.
std::optional<std::vector<int>> pageList(std::string_view text) {
    std::vector<int> pages;
    if (text.find_first_not_of(' ') == std::string_view::npos) return pages;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        std::string_view item = text.substr(from, comma - from);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        const auto page = wholeNumber(item);
        if (!page) return std::nullopt;
        pages.push_back(*page);
        if (comma == text.size()) return pages;
        from = comma + 1;
    }
}

CvlRun usageError(const char* usage, const std::string& problem) {
    return {2, {}, "cvl: " + problem + "\nusage: cvl " + usage + "\n"};
}

// Reads the shared options and the expected number of positional arguments; a usage error
// comes back as a run with status 2.
std::optional<CvlRun> readOptions(const std::vector<std::string>& args, std::size_t wanted,
                                  const char* usage, Options& o) {
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsDone || a.size() < 2 || a[0] != '-' || (a[1] >= '0' && a[1] <= '9')) {
            o.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsDone = true;
            continue;
        }
        if (a == "--help" || a == "-h")
            return CvlRun{0, std::string("usage: cvl ") + usage + "\n", {}};
        std::string name = a;
        std::optional<std::string> value;
        if (const auto eq = a.find('='); eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        }
        if (name != "--pages" && name != "--current" && name != "--selection")
            return usageError(usage, "unknown option '" + name + "'");
        if (!value) {
            if (i + 1 >= args.size()) return usageError(usage, name + " needs a value");
            value = args[++i];
        }
        if (name == "--pages") {
            const auto n = wholeNumber(*value);
            if (!n || *n < 0 || *n > kMaxPages)
                return usageError(
                    usage, "--pages must be a whole number from 0 to " + std::to_string(kMaxPages));
            o.pages = *n;
        } else if (name == "--current") {
            const auto c = wholeNumber(*value);
            if (!c) return usageError(usage, "--current must be a whole number");
            o.current = *c;
        } else {
            const auto list = pageList(*value);
            if (!list)
                return usageError(usage,
                                  "--selection must be page numbers separated by commas, like 2,5");
            o.selection = *list;
        }
    }
    if (o.positional.size() != wanted)
        return usageError(usage, wanted == 1
                                     ? "give the command text as one argument"
                                     : "give the typed text and the phrase as two arguments");
    return std::nullopt;
}

int printed(const CvlRun& run) {
    if (!run.out.empty()) std::fputs(run.out.c_str(), stdout);
    if (!run.err.empty()) std::fputs(run.err.c_str(), stderr);
    return run.status;
}

}  // namespace

CvlRun runCvlParse(const std::vector<std::string>& args) {
    Options o;
    if (auto early = readOptions(args, 1, kCvlParseUsage, o)) return *early;
    const auto result = PageCommandParser::parse(o.positional[0], o.pages, o.current, o.selection);
    return {0, parseResultJsonText(result) + "\n", {}};
}

CvlRun runCvlAccept(const std::vector<std::string>& args) {
    Options o;
    if (auto early = readOptions(args, 2, kCvlAcceptUsage, o)) return *early;
    const auto result = PageCommandParser::acceptRewrite(o.positional[0], o.positional[1], o.pages,
                                                         o.current, o.selection);
    return {0, parseResultJsonText(result) + "\n", {}};
}

int cvlParseMain(const std::vector<std::string>& args) {
    return printed(runCvlParse(args));
}
int cvlAcceptMain(const std::vector<std::string>& args) {
    return printed(runCvlAccept(args));
}

}  // namespace cvl
