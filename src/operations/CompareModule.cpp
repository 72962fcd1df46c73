#include "operations/CompareModule.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>

#include "operations/ComparePages.h"
#include "operations/VisualDiff.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "search/TextExtraction.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

using nlohmann::json;

constexpr const char* kUsage = "doc.compare";

bool isPdf(const std::string& path) {
    return lowerExtension(path) == "pdf";
}

std::optional<int> parsePage(const std::string& text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool shows(const WindowSnapshot& window, const std::string& path) {
    return std::find(window.sourcePaths.begin(), window.sourcePaths.end(), path) !=
           window.sourcePaths.end();
}

}  // namespace

namespace CompareFlows {

bool openVisualCompareDocs(AppActions& app, const std::string& a, const std::string& b) {
    app.recordUsage(kUsage);
    app.recordRecent(a);
    app.recordRecent(b);
    auto page = ComparePages::writeVisualComparePage(a, b);
    if (!page) {
        cvlLog("compare: the compare page could not be written");
        return false;
    }
    app.openToolPage(ReaderAddress::fileURL(*page), "compare", {a, b});
    return true;
}

void pickVisualCompare(Dialogs& dialogs, AppActions& app) {
    FileChoice first;
    first.title = "Compare Documents";
    first.message =
        "Choose two PDFs to compare visually, page by page (Ctrl-click to select both).";
    first.prompt = "Compare";
    first.multiple = true;
    first.extensions = {"pdf"};
    dialogs.choose(first, [&dialogs, &app](std::vector<std::string> chosen) {
        if (chosen.empty()) return;
        if (chosen.size() >= 2) {
            openVisualCompareDocs(app, chosen[0], chosen[1]);
            return;
        }
        FileChoice second;
        second.title = "Compare Documents";
        second.message = "Choose the second PDF to compare against " + lastPathComponent(chosen[0]);
        second.prompt = "Compare";
        second.extensions = {"pdf"};
        second.startFolder = parentPath(chosen[0]);
        dialogs.choose(second, [&app, a = chosen[0]](std::vector<std::string> other) {
            if (!other.empty()) openVisualCompareDocs(app, a, other[0]);
        });
    });
}

void handleWorkbenchCompare(AppActions& app, const std::vector<std::string>& paths) {
    if (paths.size() < 2) return;
    if (isPdf(paths[0]) && isPdf(paths[1])) {
        openVisualCompareDocs(app, paths[0], paths[1]);
        return;
    }
    app.recordUsage(kUsage);
    app.openReview({paths[0], paths[1]}, std::string("compare"));
}

bool openCompareIntake(AppActions& app) {
    auto page = ComparePages::writeIntakePage();
    if (!page) return false;
    app.openToolPage(ReaderAddress::fileURL(*page), "compareintake", {});
    return true;
}

}  // namespace CompareFlows

std::vector<std::string> CompareModule::operations() const {
    return {"compare", "visualdiff", "comparepick", "comparego"};
}

void CompareModule::handle(const BridgeRequest& request) {
    if (request.op == "compare")
        CompareFlows::openCompareIntake(request.app);
    else if (request.op == "visualdiff")
        visualDiff(request);
    else if (request.op == "comparepick")
        pick(request);
    else if (request.op == "comparego")
        go(request);
}

void CompareModule::visualDiff(const BridgeRequest& request) {
    auto a = request.arg("a");
    auto b = request.arg("b");
    auto page = parsePage(request.arg("page").value_or("1"));
    if (!a || !b || !page) return;
    // A compare page asks only about the two documents it was opened for.
    if (!shows(request.window, *a) || !shows(request.window, *b)) return;
    Dispatch::global().async([a = *a, b = *b, index = *page - 1, reply = request.page] {
        auto result = VisualDiff::visualDiffPage(a, b, index);
        if (!result) return;
        reply.call("cvlVisualDiff", VisualDiff::resultJson(*result, true)
                                        .dump(-1, ' ', false, json::error_handler_t::replace));
    });
}

void CompareModule::fill(const BridgeRequest& request, const std::string& side,
                         const std::string& path) {
    auto& slot = slots_[request.window.bridgeId];
    (side == "b" ? slot.second : slot.first) = path;
    request.page.run(
        PageScript::call("cvlCompareSet", PageScript::single(side) + "," + PageScript::quote(path) +
                                              "," + PageScript::quote(lastPathComponent(path))));
}

void CompareModule::pick(const BridgeRequest& request) {
    const std::string side = request.arg("side").value_or("") == "b" ? "b" : "a";
    // Files dropped on the page: one fills the slot it was dropped on, two or more fill A
    // and B with the first two that exist and are not folders.
    if (request.arg("paths")) {
        std::vector<std::string> files;
        for (const auto& p : request.paths())
            if (isRegularFile(p)) files.push_back(p);
        if (files.size() == 1) fill(request, side, files[0]);
        if (files.size() >= 2) {
            fill(request, "a", files[0]);
            fill(request, "b", files[1]);
        }
        return;
    }
    FileChoice choice;
    choice.title = side == "b" ? "Choose Document B" : "Choose Document A";
    choice.prompt = "Choose";
    // The handler outlives no window: the answer is dropped when the page has gone.
    auto keep = std::make_shared<BridgeRequest>(request);
    request.dialogs.choose(choice, [this, keep, side](std::vector<std::string> chosen) {
        if (!chosen.empty() && isRegularFile(chosen[0])) fill(*keep, side, chosen[0]);
    });
}

void CompareModule::go(const BridgeRequest& request) {
    auto a = request.arg("a");
    auto b = request.arg("b");
    if (!a || !b) return;
    auto slot = slots_.find(request.window.bridgeId);
    const bool given =
        slot != slots_.end() && slot->second.first == *a && slot->second.second == *b;
    if (!given && !(shows(request.window, *a) && shows(request.window, *b))) return;
    if (request.flag("visual") && isPdf(*a) && isPdf(*b)) {
        request.app.recordUsage(kUsage);
        request.app.recordRecent(*a);
        request.app.recordRecent(*b);
        if (auto page = ComparePages::writeVisualComparePage(*a, *b))
            request.page.showToolPage(ReaderAddress::fileURL(*page), "compare", {*a, *b});
        return;
    }
    request.app.recordUsage(kUsage);
    request.app.recordRecent(*a);
    request.app.recordRecent(*b);
    request.page.showReview({*a, *b}, std::string("compare"));
}

}  // namespace cvl
