#include "operations/OcrModule.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "operations/OcrFlows.h"
#include "operations/OcrPages.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "search/PdfScan.h"
#include "search/SearchFlows.h"
#include "search/SearchPayloads.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

namespace cvl {
namespace {

using nlohmann::json;

std::string text(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// A document of the asking window: one it shows, or one of its set.
bool windowDocument(const WindowSnapshot& window, const std::string& path) {
    return path == window.shownPdf || contains(window.sourcePaths, path) ||
           contains(window.setPaths, path);
}

// A document a window's search may name: one of its own or one inside its folders.
bool inSearchScope(const WindowSnapshot& window, const std::string& path) {
    if (contains(window.sourcePaths, path)) return true;
    for (const auto& dir : SearchFlows::searchScopeDirs(window.sourcePaths)) {
        const std::string prefix = dir.back() == '/' ? dir : dir + "/";
        if (path.compare(0, prefix.size(), prefix) == 0 && path.find("/../") == std::string::npos)
            return true;
    }
    return false;
}

// The document an operation is about: "path" when given, else the window's first source
// path; none when the window does not hold it.
std::optional<std::string> documentOf(const BridgeRequest& request) {
    std::string path = request.path().value_or(request.window.original());
    if (path.empty() || !windowDocument(request.window, path)) return std::nullopt;
    return path;
}

void readerOcr(const BridgeRequest& request) {
    auto path = documentOf(request);
    if (!path || !isRegularFile(*path)) return;
    const std::string q(UnicodeText::trimWhitespace(request.arg("q").value_or("")));
    WindowHandle page = request.page;
    page.call("cvlReaderOCRProgress", "{done:0,total:1}");
    Dispatch::global().async([path = *path, q, page] {
        auto pages = Ocr::runOCRDoc(path, [&page](int done, int total) {
            page.call("cvlReaderOCRProgress",
                      text({{"done", 0}, {"total", 1}, {"page", done}, {"pages", total}}));
        });
        if (!pages.empty()) Ocr::storeRecognisedText(path, pages);
        if (q.empty()) {
            page.call("cvlReaderOCRProgress", "{done:1,total:1}");
            return;
        }
        json result = PdfScan::runPDFSearch(q, {}, {path});
        page.call("cvlReaderOCRProgress", "{done:1,total:1}");
        if (auto s = SearchPayloads::serialise(result)) page.call("cvlReaderSearchResults", *s);
    });
}

void readerOcrLayer(const BridgeRequest& request) {
    if (request.arg("cancel").value_or("") == "1") {
        OcrFlows::bumpSearchableRun();
        return;
    }
    std::string path = request.path().value_or(request.window.original());
    WindowHandle page = request.page;
    if (path.empty() || !windowDocument(request.window, path)) return;
    if (!isRegularFile(path)) {
        page.call("cvlSearchableLayer", R"({"pages":[],"reason":"missing"})");
        return;
    }
    const long long run = OcrFlows::bumpSearchableRun();
    const long long gen = request.window.loadGen;
    Dispatch::global().async([path, page, run, gen] {
        json answer = OcrFlows::textLayerAnswer(
            path, [run] { return OcrFlows::searchableRun() == run; },
            [&page](const OcrFlows::LayerProgress& p) {
                page.call("cvlSearchableProgress",
                          text({{"done", p.done}, {"total", p.total}, {"page", p.page}}));
            });
        answer["gen"] = gen;
        page.call("cvlSearchableLayer", text(answer));
    });
}

void crossFolderOcr(const BridgeRequest& request) {
    std::vector<std::string> candidates = request.paths();
    if (candidates.empty())
        if (auto p = request.path()) candidates.push_back(*p);
    std::vector<std::string> documents;
    for (const auto& p : candidates)
        if (lowerExtension(p) == "pdf" && inSearchScope(request.window, p) &&
            !contains(documents, p))
            documents.push_back(p);
    const std::string q(UnicodeText::trimWhitespace(request.arg("q").value_or("")));
    const std::vector<std::string> dirs = SearchFlows::searchScopeDirs(request.window.sourcePaths);
    WindowHandle page = request.page;
    Dispatch::global().async([documents, q, dirs, page] {
        const int total = int(documents.size());
        for (int k = 0; k < total; ++k) {
            const std::string& path = documents[std::size_t(k)];
            const std::string name = lastPathComponent(path);
            auto pages = Ocr::runOCRDoc(path, [&](int done, int count) {
                page.call("cvlOCRProgress", text({{"done", k},
                                                  {"total", total},
                                                  {"name", name},
                                                  {"page", done},
                                                  {"pages", count}}));
            });
            if (!pages.empty()) Ocr::storeRecognisedText(path, pages);
            page.call("cvlOCRProgress", text({{"done", k + 1}, {"total", total}, {"name", name}}));
        }
        page.call("cvlOCRDone", text({{"total", total}}));
        if (q.empty()) return;
        json scan = PdfScan::runPDFSearch(q, dirs, documents);
        if (auto s =
                SearchPayloads::serialise(SearchPayloads::scanPayload(scan, q, "exact", false)))
            page.call("cvlSearchResults", *s);
    });
}

std::vector<int> pageList(const BridgeRequest& request) {
    std::vector<int> pages;
    if (auto one = request.arg("page")) {
        try {
            pages.push_back(std::stoi(*one));
        } catch (...) {
        }
    }
    json list = json::parse(request.arg("pages").value_or("[]"), nullptr, false);
    if (list.is_array())
        for (const auto& v : list)
            if (v.is_number_integer()) pages.push_back(v.get<int>());
    return pages;
}

// Recognises the areas and answers with {token, pages: [{page, text, items}]}.
void areaOcr(const std::string& path, const json& areas, const json& token, WindowHandle page) {
    auto list = OcrFlows::parseAreas(areas);
    Dispatch::global().async([path, list, token, page] {
        json answer = OcrFlows::areaText(path, list);
        answer["token"] = token;
        page.call("cvlSignAreaText", text(answer));
    });
}

}  // namespace

std::vector<std::string> OcrModule::operations() const {
    return {"readerocr", "readerocrlayer", "ocr", "scaninfo", "verifytext", "saocr"};
}

std::vector<std::string> OcrModule::messages() const {
    return {"saocr"};
}

void OcrModule::handle(const BridgeRequest& request) {
    const std::string& op = request.op;
    if (op == "readerocr") return readerOcr(request);
    if (op == "readerocrlayer") return readerOcrLayer(request);
    if (op == "ocr") return crossFolderOcr(request);
    auto path = documentOf(request);
    if (!path) return;
    WindowHandle page = request.page;
    if (op == "scaninfo") {
        Dispatch::global().async(
            [path = *path, page] { page.call("cvlScanInfo", text(OcrFlows::scanInfo(path))); });
    } else if (op == "verifytext") {
        Dispatch::global().async([path = *path, pages = pageList(request), page] {
            page.call("cvlVerifyResult", text(OcrFlows::verifyText(path, pages)));
        });
    } else if (op == "saocr") {
        json areas = json::parse(request.arg("pages").value_or("[]"), nullptr, false);
        areaOcr(*path, areas, request.arg("token").value_or(""), page);
    }
}

void OcrModule::handleMessage(const ScriptMessage& message) {
    json body = json::parse(message.body, nullptr, false);
    if (!body.is_object()) return;
    std::string path = message.window.original();
    if (auto p = body.find("path"); p != body.end() && p->is_string()) path = p->get<std::string>();
    if (path.empty() || !windowDocument(message.window, path)) return;
    json token = body.contains("token") ? body["token"] : json("");
    areaOcr(path, body.value("pages", json::array()), token, message.page);
}

}  // namespace cvl
