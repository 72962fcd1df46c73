#include "search/SearchModule.h"

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/Text.h"
#include "platform/TextEscape.h"
#include "search/SearchFlows.h"

namespace cvl {

void SearchModule::handle(const BridgeRequest& r) {
    auto post = [page = r.page](const std::string& function, const std::string& argument) {
        page.call(function, argument);
    };
    if (r.op == "search") {
        SearchFlows::crossFolderSearchV2(r.url, r.window.sourcePaths, index_, post);
        return;
    }
    const std::string q = trimmed(r.arg("q").value_or(""));
    const std::string path = r.path().value_or(r.window.shownFile());
    if (path.empty() || !isRegularFile(path)) {
        const nlohmann::json none{{"q", q},        {"docs", nlohmann::json::array()},
                                  {"docCount", 0}, {"hitCount", 0},
                                  {"ocrUsed", 0},  {"scannedNoText", nlohmann::json::array()}};
        post("cvlReaderSearchResults", jsonText(none));
        return;
    }
    SearchFlows::readerSearch(
        "qrtiz://readersearch?q=" + percentEncode(q) + "&path=" + percentEncode(path), {path},
        post);
}

}  // namespace cvl
