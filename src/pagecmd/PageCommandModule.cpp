#include "pagecmd/PageCommandModule.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "pagecmd/PageCommandFlow.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/TextEscape.h"

namespace cvl {
namespace {

using json = nlohmann::json;
namespace Flow = PageCommandFlow;

std::vector<int> pageList(const std::string& text) {
    std::vector<int> pages;
    for (size_t at = 0; at < text.size();) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        if (int p = std::atoi(text.substr(at, comma - at).c_str()); p > 0) pages.push_back(p);
        at = comma + 1;
    }
    return pages;
}

// Every reply carries the request's number, so that the page drops answers to older ones.
void reply(const WindowHandle& page, json answer, const std::string& seq) {
    answer["seq"] = seq;
    page.call("cvlPageCmdReply", jsonText(answer));
}

void answerOnPool(WindowHandle page, Flow::Reading reading, Flow::AskRequest request,
                  std::string seq) {
    Dispatch::global().async([page, reading = std::move(reading), request = std::move(request),
                              seq] { reply(page, Flow::answer(reading, request), seq); });
}

// Merge: the other PDFs come from a chooser; none chosen is a refusal.
void chooseOthers(const BridgeRequest& r, Flow::Reading reading, Flow::AskRequest request,
                  std::string seq) {
    FileChoice choice;
    choice.title = "Merge with Other PDFs";
    choice.message = "Choose the PDFs to add after \u201c" + lastPathComponent(request.path) +
                     "\u201d, in the order they should follow.";
    choice.prompt = "Merge";
    choice.multiple = true;
    choice.extensions = {"pdf"};
    choice.startFolder = parentPath(request.path);
    WindowHandle page = r.page;
    r.dialogs.choose(choice, [page, reading = std::move(reading), request = std::move(request),
                              seq](std::vector<std::string> chosen) mutable {
        if (chosen.empty())
            return reply(page,
                         Flow::refusal("No other PDFs were chosen, so there is nothing to merge."),
                         seq);
        request.others = std::move(chosen);
        answerOnPool(page, std::move(reading), std::move(request), seq);
    });
}

}  // namespace

void PageCommandModule::handle(const BridgeRequest& r) {
    const std::string seq = r.arg("seq").value_or("");
    const std::string path = r.path().value_or(r.window.shownFile());
    const WindowHandle page = r.page;
    // A page changes only the documents its window shows, whatever path it names.
    if (r.path() && !r.window.holds(path))
        return reply(page, Flow::refusal("This window can only change the documents it shows."),
                     seq);
    if (!Flow::isChangeable(path))
        return reply(page, Flow::refusal("This document isn\u2019t a file Corvello can change."),
                     seq);
    if (r.arg("op") == "run") {
        const std::string id = r.arg("id").value_or("");
        AppActions* app = &r.app;
        Dispatch::global().async([page, seq, id, path, app] {
            json done = Flow::run(id, path);
            if (done["kind"] == "done") {
                const size_t count = done["outputs"].size();
                Dispatch::main().async([app, count] {
                    app->readerLog("ask-corvello: run " + std::to_string(count) + " new file(s)");
                });
            }
            reply(page, std::move(done), seq);
        });
        return;
    }
    Flow::AskRequest request;
    request.path = path;
    request.text = urlQuery(r.url, "text").value_or("");
    request.pageCount = std::atoi(r.arg("n").value_or("0").c_str());
    request.current = std::max(1, std::atoi(r.arg("cur").value_or("1").c_str()));
    request.selection = pageList(r.arg("sel").value_or(""));
    // Only a PDF with pages takes page commands; other texts go to the question box.
    if (!r.flag("pdf") || request.pageCount < 1)
        return reply(page, json{{"kind", "notACommand"}}, seq);

    // Reading may run the engine's model script: off the main thread. A merge comes back here
    // for the chooser, which belongs to the window.
    Dispatch::global().async([r, page, request, seq]() mutable {
        Flow::Reading reading = Flow::read(request);
        if (!Flow::needsOthers(reading, request))
            return reply(page, Flow::answer(reading, request), seq);
        Dispatch::main().async([r, reading = std::move(reading), request, seq]() mutable {
            if (!r.page.alive()) return;
            chooseOthers(r, std::move(reading), std::move(request), seq);
        });
    });
}

}  // namespace cvl
