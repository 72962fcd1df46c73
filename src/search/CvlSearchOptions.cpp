#include "search/CvlSearchOptions.h"

#include <cstdio>
#include <filesystem>

#include "search/UnicodeText.h"

namespace cvl {

std::string cvlAbsolutePath(const std::string& p) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(p, ec);
    return ec ? p : abs.lexically_normal().string();
}

std::optional<CvlSearchOptions> parseCvlSearchOptions(const std::vector<std::string>& args,
                                                      const char* usage, CvlSearchAccepts accepts,
                                                      bool complain) {
    CvlSearchOptions o;
    auto fail = [&](const std::string& why) -> std::optional<CvlSearchOptions> {
        if (complain) std::fprintf(stderr, "cvl: %s\nusage: %s\n", why.c_str(), usage);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if ((a == "--db" && accepts.db) || a == "--dir" || a == "--file" ||
            (a == "--mode" && accepts.mode)) {
            auto v = value();
            if (!v) return fail(a + " needs a value");
            if (a == "--db")
                o.db = cvlAbsolutePath(*v);
            else if (a == "--dir")
                o.dirs.push_back(cvlAbsolutePath(*v));
            else if (a == "--file")
                o.files.push_back(cvlAbsolutePath(*v));
            else if (*v == "exact" || *v == "fuzzy")
                o.mode = *v;
            else
                return fail("--mode must be exact or fuzzy");
        } else if (a == "--no-refresh" && accepts.noRefresh) {
            o.noRefresh = true;
        } else if (a == "--") {
            o.words.insert(o.words.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return fail("unknown option " + a);
        } else {
            o.words.push_back(a);
        }
    }
    if (accepts.query && o.words.empty()) return fail("a query is required");
    if (!accepts.query && !o.words.empty()) return fail("unexpected argument " + o.words[0]);
    return o;
}

std::string cvlSearchQuery(const CvlSearchOptions& o) {
    std::string q;
    for (std::size_t i = 0; i < o.words.size(); ++i) q += (i ? " " : "") + o.words[i];
    return std::string(UnicodeText::trimWhitespace(q));
}

}  // namespace cvl
