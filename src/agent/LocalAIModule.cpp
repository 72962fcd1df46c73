#include "agent/LocalAIModule.h"

#include <memory>

#include "agent/AskWindow.h"
#include "app/EngineRuns.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

const std::set<std::string> kModes = {"summarize", "terms", "ask", "status"};

// A page may ask only about what its window stands for: one of its documents, or a file
// inside one of its folders.
bool belongsToWindow(const WindowSnapshot& w, const std::string& path) {
    for (const auto& p : w.sourcePaths) {
        if (p == path || w.shownPdf == path) return true;
        const std::string folder = p.back() == '/' ? p : p + "/";
        if (isDirectory(p) && path.rfind(folder, 0) == 0 && path.find("/../") == std::string::npos)
            return true;
    }
    return false;
}

std::string windowKey(const WindowSnapshot& w) {
    return w.bridgeId + "#" + std::to_string(w.number);
}

}  // namespace

void LocalAIModule::openAsk(AppActions& app, const std::string& path, const std::string& question) {
    auto page = AskWindow::writePage(AskWindow::fillFor(path, question));
    if (!page) {
        cvlLog("ask: the page could not be written: %s", page.error().c_str());
        return;
    }
    app.openToolPage(ReaderAddress::fileURL(*page), "ask", {path});
    app.recordRecent(path);
}

void LocalAIModule::handle(const BridgeRequest& request) {
    if (request.op == "ai") return answerPage(request);
    if (request.op == "aitoc") return tableOfContents(request);
    const bool asking = request.op == "ask";
    // A reader asks about its own document at once.
    if (auto path = request.path(); asking && path && belongsToWindow(request.window, *path))
        return openAsk(request.app, *path, request.arg("q").value_or(""));
    FileChoice choice;
    choice.title = asking ? "Ask About a Document" : "Read a Document";
    choice.prompt = asking ? "Ask" : "Open";
    choice.extensions = {"pdf", "docx", "doc", "rtf", "odt", "txt", "md"};
    AppActions* app = &request.app;
    request.dialogs.choose(choice, [app, asking](std::vector<std::string> paths) {
        if (paths.empty()) return;
        if (asking)
            openAsk(*app, paths[0], "");
        else
            app->openReader(paths[0], 0);
    });
}

void LocalAIModule::answerPage(const BridgeRequest& request) {
    const std::string mode = request.arg("mode").value_or("");
    const std::string id = request.arg("id").value_or("");
    if (!kModes.count(mode) || id.empty()) return;
    const std::string doc = request.arg("doc").value_or("");
    const WindowHandle page = request.page;
    auto reply = [page, id, mode](const std::string& answer) {
        page.call("cvReply", PageScript::single(id) + "," + answer);
        if (mode == "status") page.call("cvStatus", answer);
    };
    if (mode != "status" && !belongsToWindow(request.window, doc)) {
        reply(EngineRuns::errorObject("This window can only ask about its own documents."));
        return;
    }
    ProcessSpec spec =
        EngineRuns::aiSpec(AskWindow::aiArgs(mode, doc, request.arg("q").value_or("")));
    spawnProcess(std::move(spec), [reply](ProcessResult r) { reply(AskWindow::aiAnswer(r)); });
}

void LocalAIModule::tableOfContents(const BridgeRequest& request) {
    const std::string key = windowKey(request.window);
    const std::string doc = request.window.shownFile();
    if (doc.empty() || tocRunning_.count(key)) return;
    tocRunning_.insert(key);
    const WindowHandle page = request.page;
    // Progress arrives in chunks on the reader's thread: whole lines go to the page.
    auto pending = std::make_shared<std::string>();
    auto progress = [page, pending](std::string chunk) {
        *pending += chunk;
        for (std::size_t nl; (nl = pending->find('\n')) != std::string::npos;) {
            std::string line = pending->substr(0, nl);
            pending->erase(0, nl + 1);
            if (!line.empty()) page.call("cvlTocProgress", PageScript::quote(line));
        }
    };
    EngineRuns::runOrganize({"toc", "--doc", doc}, "corvello_ai.py", progress, {},
                            [this, key, page](std::string out) {
                                tocRunning_.erase(key);
                                page.call("cvlAiToc", PageScript::quote(out));
                            });
}

}  // namespace cvl
