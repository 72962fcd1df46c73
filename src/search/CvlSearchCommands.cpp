#include "search/CvlSearchCommands.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "search/CVSearchIndex.h"
#include "search/OcrCache.h"
#include "search/PdfScan.h"
#include "search/SearchPayloads.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

namespace cvl {
namespace {

using nlohmann::json;

struct Options {
    std::optional<std::string> db;
    std::string mode = "exact";
    bool noRefresh = false;
    std::vector<std::string> dirs;
    std::vector<std::string> files;
    std::vector<std::string> words;
};

// Paths as the user typed them, made absolute against the current folder.
std::string absolute(const std::string& p) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(p, ec);
    return ec ? p : abs.lexically_normal().string();
}

// Parses the options a command accepts; prints a usage message and returns none on error.
std::optional<Options> parse(const std::vector<std::string>& args, const char* usage, bool withDb,
                             bool withMode, bool withQuery, bool withNoRefresh = false) {
    Options o;
    auto fail = [&](const std::string& why) -> std::optional<Options> {
        std::fprintf(stderr, "cvl: %s\nusage: %s\n", why.c_str(), usage);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if ((a == "--db" && withDb) || a == "--dir" || a == "--file" ||
            (a == "--mode" && withMode)) {
            auto v = value();
            if (!v) return fail(a + " needs a value");
            if (a == "--db")
                o.db = absolute(*v);
            else if (a == "--dir")
                o.dirs.push_back(absolute(*v));
            else if (a == "--file")
                o.files.push_back(absolute(*v));
            else if (*v == "exact" || *v == "fuzzy")
                o.mode = *v;
            else
                return fail("--mode must be exact or fuzzy");
        } else if (a == "--no-refresh" && withNoRefresh) {
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
    if (withQuery && o.words.empty()) return fail("a query is required");
    if (!withQuery && !o.words.empty()) return fail("unexpected argument " + o.words[0]);
    return o;
}

std::string queryOf(const Options& o) {
    std::string q;
    for (std::size_t i = 0; i < o.words.size(); ++i) q += (i ? " " : "") + o.words[i];
    return std::string(UnicodeText::trimWhitespace(q));
}

std::shared_ptr<CVSearchIndex> indexFor(const Options& o) {
    if (!o.db) return CVSearchIndex::sharedIndex();
    return std::make_shared<CVSearchIndex>(
        *o.db, [](const std::string& path) { return OcrCache::ocrCacheRead(path); });
}

int printJson(const json& j) {
    std::string text = jsonText(j);
    std::printf("%s\n", text.c_str());
    return 0;
}

}  // namespace

int cvlIndexMain(const std::vector<std::string>& args) {
    auto o = parse(args, "cvl index [--db PATH] [--dir D]... [--file F]...", true, false, false);
    if (!o) return 2;
    auto index = indexFor(*o);
    std::optional<Result<std::int64_t>> changed;
    std::int64_t files = 0;
    CVSearchIndex::queue().async([&] {
        auto run = index->reindex(o->dirs, o->files);
        files = index->fileCount();
        Dispatch::main().async([&, run = std::move(run)] { changed = run; });
    });
    Dispatch::manualMain()->runUntil([&] { return changed.has_value(); },
                                     std::chrono::hours(24 * 365));
    if (!*changed) {
        printJson({{"error", changed->error()}});
        return 1;
    }
    return printJson({{"changed", **changed}, {"files", files}});
}

int cvlSearchMain(const std::vector<std::string>& args) {
    const std::string usage = std::string("cvl ") + kCvlSearchUsage;
    auto o = parse(args, usage.c_str(), true, true, true, true);
    if (!o) return 2;
    const std::string q = queryOf(*o);
    // The answer a search page ends with: short queries scan the PDFs directly; others read
    // the index, brought up to date first unless the caller asked for a search only. When the
    // index could not be brought up to date, the answer is the index as it stands, with the
    // reason, and the command fails.
    json payload;
    std::string indexError;
    if (UnicodeText::graphemeCount(q) < 3) {
        payload = SearchPayloads::scanPayload(PdfScan::runPDFSearch(q, o->dirs, o->files), q,
                                              o->mode, false);
    } else {
        auto index = indexFor(*o);
        bool done = false;
        CVSearchIndex::queue().async([&] {
            if (!o->noRefresh && !index->isFresh(o->dirs, o->files))
                if (auto run = index->reindex(o->dirs, o->files); !run) indexError = run.error();
            payload = SearchPayloads::indexedSearchPayload(*index, q, o->mode, o->dirs, o->files);
            Dispatch::main().async([&] { done = true; });
        });
        Dispatch::manualMain()->runUntil([&] { return done; }, std::chrono::hours(24 * 365));
    }
    if (!indexError.empty()) payload["indexError"] = indexError;
    std::printf("%s\n", SearchPayloads::serialise(payload).value_or("{}").c_str());
    return indexError.empty() ? 0 : 1;
}

int cvlScanMain(const std::vector<std::string>& args) {
    auto o = parse(args, "cvl scan [--dir D]... [--file F]... QUERY", false, false, true);
    if (!o) return 2;
    return printJson(PdfScan::runPDFSearch(queryOf(*o), o->dirs, o->files));
}

int cvlTextMain(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "usage: cvl text FILE\n");
        return 2;
    }
    const std::string path = absolute(args[0]);
    const std::string type = TextExtraction::typeForPath(path);
    auto fail = [&](const std::string& why) {
        printJson({{"path", path}, {"error", why}});
        return 1;
    };
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return fail("There is no file at this path.");
    if (!TextExtraction::isIndexableExt(lowerExtension(path)))
        return fail("This kind of file has no text that Corvello reads.");
    json chunks = json::array();
    for (const auto& c : TextExtraction::chunksFor(path, type, OcrCache::ocrCacheRead))
        chunks.push_back(
            {{"atype", c.atype}, {"anchor", c.anchor}, {"page", c.page}, {"text", c.body}});
    return printJson({{"path", path}, {"type", type}, {"chunks", chunks}});
}

}  // namespace cvl
