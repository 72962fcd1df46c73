#include "window/ReaderToolsModule.h"

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>

#include "app/AppConstants.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {
namespace {

using json = nlohmann::json;

json outlineItems(const std::vector<PdfOutlineItem>& list) {
    json out = json::array();
    for (const auto& item : list) {
        json o = {{"title", item.title}};
        if (item.destination && item.destination->page >= 0) o["page"] = item.destination->page + 1;
        o["children"] = outlineItems(item.children);
        out.push_back(std::move(o));
    }
    return out;
}

}  // namespace

void ReaderToolsModule::handle(const BridgeRequest& r) {
    if (r.op == "outline") {
        const std::string path = r.window.shownFile();
        if (path.empty()) return;
        Dispatch::global().async([path, page = r.page] {
            json items = json::array();
            if (auto doc = PdfDocument::openFile(path); doc && !doc->isLocked())
                items = outlineItems(doc->outline());
            page.call("cvlOutline", jsonText(items));
        });
    } else if (r.op == "rmdiag") {
        std::string err = urlQuery(r.url, "err").value_or("");
        if (err.empty()) err = "too-little-text";
        cvlLog("Corvello ReadingMode declined: reason=%s words=%s pages=%s file=%s", err.c_str(),
               urlQuery(r.url, "words").value_or("").c_str(),
               urlQuery(r.url, "pages").value_or("").c_str(),
               lastPathComponent(r.window.shownFile()).c_str());
    } else if (r.op == "resettoolbar") {
        r.page.call("__cvlResetToolbar", "");
    }
}

}  // namespace cvl
