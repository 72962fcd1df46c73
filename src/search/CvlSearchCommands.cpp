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
#include "search/CvlSearchOptions.h"
#include "search/OcrCache.h"
#include "search/PdfScan.h"
#include "search/SearchPayloads.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

namespace cvl {
namespace {

using nlohmann::json;

using Options = CvlSearchOptions;

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
    auto o = parseCvlSearchOptions(args, "cvl index [--db PATH] [--dir D]... [--file F]...",
                                   {.db = true});
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
    auto o = parseCvlSearchOptions(args, usage.c_str(),
                                   {.db = true, .mode = true, .query = true, .noRefresh = true});
    if (!o) return 2;
    // An index-only search is answered as the lean start answers it.
    if (auto status = cvlIndexOnlySearch(*o)) return *status;
    const std::string q = cvlSearchQuery(*o);
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
            // A search only may meet a file that is not an index at all.
            if (indexError.empty())
                if (auto readable = index->readable(); !readable) indexError = readable.error();
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
    auto o =
        parseCvlSearchOptions(args, "cvl scan [--dir D]... [--file F]... QUERY", {.query = true});
    if (!o) return 2;
    return printJson(PdfScan::runPDFSearch(cvlSearchQuery(*o), o->dirs, o->files));
}

int cvlTextMain(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "usage: cvl text FILE\n");
        return 2;
    }
    const std::string path = cvlAbsolutePath(args[0]);
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
