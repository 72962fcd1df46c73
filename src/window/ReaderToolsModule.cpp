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

// Rule-gap reports stop growing past this size.
constexpr long long kRuleGapsLimit = 2LL * 1024 * 1024;

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

void ReaderToolsModule::handleMessage(const ScriptMessage& m) {
    const json msg = json::parse(m.body, nullptr, false);
    auto gaps = msg.find("gaps");
    if (gaps == msg.end() || !gaps->is_array()) {
        m.app.readerLog("sign-stops: dropped a malformed rule-gap report from the page");
        return;
    }
    const std::string file = UserDirs::supportDir() + "/rule-gaps.jsonl";
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && st.st_size > kRuleGapsLimit) {
        m.app.readerLog("sign-stops: rule-gaps.jsonl is over 2 MB; " +
                        std::to_string(gaps->size()) + " candidate(s) not recorded");
        return;
    }
    std::string lines;
    for (const auto& gap : *gaps) {
        if (!gap.is_object()) continue;
        json line = gap;
        line["build"] = buildNumber();
        if (msg.contains("detector")) line["detector"] = msg["detector"];
        if (msg.contains("fp")) line["fp"] = msg["fp"];
        lines += jsonText(line) + "\n";
    }
    if (lines.empty()) return;
    // Appending keeps earlier lines; the file is a log, not a document.
    makeDirs(UserDirs::supportDir());
    FILE* f = std::fopen(file.c_str(), "ab");
    bool written = f && std::fwrite(lines.data(), 1, lines.size(), f) == lines.size();
    if (f && std::fclose(f) != 0) written = false;
    if (!written) m.app.readerLog("sign-stops: rule-gaps.jsonl could not be written");
}

}  // namespace cvl
