#include "operations/TimelineModule.h"

#include <nlohmann/json.hpp>

#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "operations/DraftTimeline.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "window/ReaderURL.h"

namespace cvl {

using nlohmann::json;

std::vector<std::string> TimelineModule::operations() const {
    return {"drafttimeline", "timelinego", "timelineready", "timelinereorder"};
}

void TimelineModule::handle(const BridgeRequest& request) {
    if (request.op == "drafttimeline") {
        FileChoice choice;
        choice.title = "Draft Timeline";
        choice.message = "Choose the drafts of one document (two or more).";
        choice.prompt = "Compare";
        choice.multiple = true;
        choice.extensions = {"pdf", "docx", "doc", "rtf", "odt", "txt", "md"};
        TimelineModule* self = this;
        BridgeRequest copy = request;
        request.dialogs.choose(choice, [self, copy](std::vector<std::string> chosen) {
            if (!chosen.empty()) self->go(copy, std::move(chosen));
        });
    } else if (request.op == "timelinego") {
        std::vector<std::string> paths;
        for (const auto& p : request.paths())
            if (request.window.holds(p)) paths.push_back(p);
        go(request, std::move(paths));
    } else if (request.op == "timelineready") {
        if (request.window.pageKind != "timeline") return;
        compute(request, request.window.sourcePaths, true, "cvlTimeline");
    } else if (request.op == "timelinereorder") {
        if (request.window.pageKind != "timeline") return;
        json order = json::parse(request.arg("order").value_or(""), nullptr, false);
        std::vector<std::string> paths;
        if (order.is_array())
            for (const auto& p : order)
                if (p.is_string()) paths.push_back(p.get<std::string>());
        if (!DraftTimeline::isReordering(request.window.sourcePaths, paths)) return;
        compute(request, std::move(paths), false, "cvlTimelineDiffs");
    }
}

void TimelineModule::go(const BridgeRequest& request, std::vector<std::string> paths) {
    WindowHandle page = request.page;
    AppActions& app = request.app;
    const std::string pagePath = EngineLocator::timelineHTMLPath();
    if (!isRegularFile(pagePath))
        return page.toast("The timeline page is missing from this build.");
    const std::string url = ReaderAddress::withQueryItem(ReaderAddress::fileURL(pagePath), "theme",
                                                         app.darkScheme() ? "dark" : "light");
    Dispatch::global().async([page, &app, url, paths = std::move(paths)] {
        auto ordered = DraftTimeline::orderByDate(paths);
        if (ordered.size() < 2) return page.toast("Choose at least two drafts to see a timeline.");
        Dispatch::main().async(
            [&app, url, ordered] { app.openToolPage(url, "timeline", ordered); });
    });
}

void TimelineModule::compute(const BridgeRequest& request, std::vector<std::string> paths,
                             bool meta, const char* reply) {
    WindowHandle page = request.page;
    const std::string function = reply;
    // The page numbers its reorders; an answer carries the number of the order it is for.
    const std::string seq = request.arg("seq").value_or("0");
    const auto pairs = DraftTimeline::neighbourPairs(paths.size());
    EngineRuns::computeTimeline(
        paths, meta, pairs,
        [page, paths, function, seq](std::optional<EngineRuns::TimelineResult> r) {
            std::vector<std::pair<std::string, std::string>> diffs;
            if (r)
                for (const auto& [k, v] : r->diffs) diffs.emplace_back(k, v);
            json out = DraftTimeline::payload(
                paths, r ? std::optional(r->draftsJSON) : std::nullopt, diffs);
            out["seq"] = seq;
            page.call(function, out.dump(-1, ' ', false, json::error_handler_t::replace));
        });
}

}  // namespace cvl
