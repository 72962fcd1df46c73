#include "search/SearchExplainModule.h"

#include <nlohmann/json.hpp>

#include "app/EngineLocator.h"
#include "memory/HistoryPage.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/UserDirs.h"
#include "platform/pdf/PdfDocument.h"
#include "search/PdfScan.h"
#include "search/SearchExplain.h"
#include "search/TextExtraction.h"
#include "window/ReaderURL.h"

namespace cvl {

using nlohmann::json;

namespace SearchCompare {

json side(const std::string& path, const std::string& q, const std::string& mode, int startPage) {
    json s = SearchExplain::explainFile(path, q, mode);
    s["type"] = TextExtraction::typeForPath(path);
    s["startPage"] = startPage;
    if (lowerExtension(path) != "pdf" || s.contains("error")) return s;
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked()) return s;
    s["pages"] = doc->pageCount();
    const json scan = PdfScan::runPDFSearch(q, {}, {path});
    json hits = json::array();
    json boxes = json::object();
    for (const auto& d : scan.value("docs", json::array()))
        for (const auto& h : d.value("hits", json::array())) {
            hits.push_back(h);
            const int page = h.value("page", 0);
            if (page < 1 || boxes.contains(std::to_string(page))) continue;
            if (auto box = doc->cropBox(page - 1))
                boxes[std::to_string(page)] = {{"x", box->x0},
                                               {"y", box->y0},
                                               {"w", box->width()},
                                               {"h", box->height()},
                                               {"rotation", doc->rotation(page - 1)}};
        }
    s["hits"] = hits;
    s["boxes"] = boxes;
    return s;
}

std::string writePage(const json& data, bool dark) {
    auto text = readFile(EngineLocator::locate("app/xcompare.html", "/engine/xcompare.html"));
    if (!text) return "";
    std::string page = *text;
    auto put = [&page](const std::string& key, const std::string& value) {
        const size_t at = page.find(key);
        if (at != std::string::npos) page.replace(at, key.size(), value);
    };
    put("__THEME__", dark ? "dark" : "light");
    put("__DATA__",
        HistoryPage::escapeForScript(data.dump(-1, ' ', false, json::error_handler_t::replace)));
    const std::string dir = UserDirs::archiveDir();
    makeDirs(dir);
    const std::string out = dir + "/.xcompare-" + newUuid() + ".html";
    return writeFileAtomic(out, page) ? out : "";
}

}  // namespace SearchCompare

void SearchExplainModule::handle(const BridgeRequest& request) {
    WindowHandle page = request.page;
    const std::string q = request.arg("q").value_or("");
    const std::string mode = request.arg("mode").value_or("exact");
    if (request.op == "xexplain") {
        auto path = request.path();
        if (!path || !request.window.holds(*path)) return;
        Dispatch::global().async([page, path = *path, q, mode] {
            page.call("cvlExplain", SearchExplain::explainFile(path, q, mode)
                                        .dump(-1, ' ', false, json::error_handler_t::replace));
        });
        return;
    }
    // xcompare: "a" and "b", with the pages to start on ("pa", "pb").
    const auto a = request.arg("a"), b = request.arg("b");
    if (!a || !b || !request.window.holds(*a) || !request.window.holds(*b)) return;
    auto pageOf = [&request](const char* key) {
        return std::atoi(request.arg(key).value_or("0").c_str());
    };
    const int pa = pageOf("pa"), pb = pageOf("pb");
    AppActions& app = request.app;
    const bool dark = app.darkScheme();
    Dispatch::global().async([page, &app, a = *a, b = *b, q, mode, pa, pb, dark] {
        json data{
            {"q", q},
            {"mode", mode},
            {"sides", {SearchCompare::side(a, q, mode, pa), SearchCompare::side(b, q, mode, pb)}}};
        const std::string file = SearchCompare::writePage(data, dark);
        if (file.empty()) return page.toast("The comparison page could not be written.");
        Dispatch::main().async([&app, a, b, url = ReaderAddress::fileURL(file)] {
            app.openToolPage(url, "xcompare", {a, b});
        });
    });
}

}  // namespace cvl
