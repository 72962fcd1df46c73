#include "search/SearchFlows.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/TextEscape.h"
#include "platform/pdf/PdfDocument.h"
#include "search/CVSearchIndex.h"
#include "search/PdfScan.h"
#include "search/SearchPayloads.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

namespace cvl::SearchFlows {
namespace {

using nlohmann::json;

void postOnMain(const PagePoster& post, std::string function, std::string argument) {
    Dispatch::main().async([post, function = std::move(function), argument = std::move(argument)] {
        post(function, argument);
    });
}

void postPayload(const PagePoster& post, const char* function, const json& payload) {
    if (auto text = SearchPayloads::serialise(payload)) postOnMain(post, function, *text);
}

}  // namespace

std::vector<std::string> searchScopeDirs(const std::vector<std::string>& sourcePaths) {
    std::vector<std::string> out;
    for (const auto& p : sourcePaths) {
        if (!pathExists(p)) continue;
        std::string dir = isDirectory(p) ? p : parentPath(p);
        if (dir.empty() || std::find(out.begin(), out.end(), dir) != out.end()) continue;
        out.push_back(dir);
    }
    return out;
}

std::vector<std::string> explicitSearchFiles(const std::vector<std::string>& sourcePaths) {
    std::vector<std::string> out;
    for (const auto& p : sourcePaths)
        if (lowerExtension(p) == "pdf") out.push_back(p);
    return out;
}

void crossFolderSearchV2(const std::string& url, const std::vector<std::string>& sourcePaths,
                         std::shared_ptr<CVSearchIndex> index, PagePoster post) {
    std::string q(UnicodeText::trimWhitespace(urlQuery(url, "q").value_or("")));
    std::string mode = asciiLower(urlQuery(url, "mode").value_or("exact"));
    crossFolderSearch(q, mode, searchScopeDirs(sourcePaths), explicitSearchFiles(sourcePaths),
                      std::move(index), std::move(post));
}

void crossFolderSearch(const std::string& q, const std::string& mode,
                       const std::vector<std::string>& dirs,
                       const std::vector<std::string>& explicitFiles,
                       std::shared_ptr<CVSearchIndex> index, PagePoster post) {
    if (UnicodeText::graphemeCount(q) < 3) {
        Dispatch::global().async([=] {
            json scan = PdfScan::runPDFSearch(q, dirs, explicitFiles);
            postPayload(post, "cvlSearchResults",
                        SearchPayloads::scanPayload(scan, q, mode, false));
        });
        return;
    }
    CVSearchIndex::queue().async([=] {
        if (index->isFresh(dirs, explicitFiles)) {
            postPayload(post, "cvlSearchResults",
                        SearchPayloads::indexedSearchPayload(*index, q, mode, dirs, explicitFiles));
            return;
        }
        json scan = PdfScan::runPDFSearch(q, dirs, explicitFiles);
        postPayload(post, "cvlSearchResults", SearchPayloads::scanPayload(scan, q, mode, true));
        auto run =
            index->reindex(dirs, explicitFiles, CVSearchIndex::kMaxFiles,
                           [&](std::int64_t done, std::int64_t total, const std::string& name) {
                               postPayload(post, "cvlIndexProgress",
                                           {{"done", done}, {"total", total}, {"name", name}});
                           });
        if (!run) {
            // The scan's answer stands; the page says why the index did not take over.
            json failed = SearchPayloads::scanPayload(scan, q, mode, false);
            failed["indexError"] = run.error();
            postPayload(post, "cvlSearchResults", failed);
            return;
        }
        postPayload(post, "cvlSearchResults",
                    SearchPayloads::indexedSearchPayload(*index, q, mode, dirs, explicitFiles));
    });
}

void readerSearch(const std::string& url, const std::vector<std::string>& sourcePaths,
                  PagePoster post) {
    std::string q(UnicodeText::trimWhitespace(urlQuery(url, "q").value_or("")));
    std::string path = urlQuery(url, "path").value_or("");
    if (path.empty() && !sourcePaths.empty()) path = sourcePaths[0];
    if (path.empty() || !pathExists(path)) {
        postOnMain(
            post, "cvlReaderSearchResults",
            "{q:" + jsQuote(q) + ",docs:[],docCount:0,hitCount:0,scannedNoText:[],ocrUsed:0}");
        return;
    }
    Dispatch::global().async([=] {
        json result = PdfScan::runPDFSearch(q, {}, {path});
        // The scan skips a PDF locked with a password; the reader says so instead of "no
        // matches" (it may show the document after asking for the password itself).
        if (result.value("note", "").empty() && result.value("docCount", 0) == 0)
            if (auto doc = PdfDocument::openFile(path); doc && doc->isLocked())
                result["note"] = "locked";
        postPayload(post, "cvlReaderSearchResults", result);
    });
}

}  // namespace cvl::SearchFlows
