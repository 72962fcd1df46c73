#include "app/DefaultViewerModule.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "app/DefaultViewer.h"
#include "platform/Dispatch.h"

namespace cvl {

using nlohmann::json;

namespace {

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::vector<std::string> DefaultViewerModule::operations() const {
    return {"defaultpdf",    "setdefaultpdf",     "setdefaultall", "setdefaultgroup",
            "defaultsnooze", "defaultpdfdismiss", "defaultnever",  "defaultneverundo"};
}

void DefaultViewerModule::handle(const BridgeRequest& request) {
    const std::string& op = request.op;
    if (op == "defaultpdf") {
        offer(request);
    } else if (op == "setdefaultpdf") {
        become(request, {"application/pdf"}, "PDFs");
    } else if (op == "setdefaultall") {
        become(request, DefaultViewer::allTypes(), "PDFs, Word, text and spreadsheet files");
    } else if (op == "setdefaultgroup") {
        const auto* g = DefaultViewer::group(request.arg("name").value_or(""));
        if (g) become(request, g->types, g->label);
    } else if (op == "defaultsnooze" || op == "defaultpdfdismiss") {
        DefaultViewer::snooze(nowSeconds());
    } else if (op == "defaultnever" || op == "defaultneverundo") {
        DefaultViewer::setNever(op == "defaultnever");
        request.app.settingsChanged();
    }
}

void DefaultViewerModule::offer(const BridgeRequest& request) {
    WindowHandle page = request.page;
    Dispatch::global().async([page] {
        const auto prompt = DefaultViewer::loadPrompt();
        if (prompt.never) return;
        const auto claims = DefaultViewer::claims(DefaultViewer::desktopLookup());
        if (!DefaultViewer::due(prompt, nowSeconds(), claims.pdf)) return;
        page.call("cvlOfferDefault",
                  json{{"claimed", claims.claimed},
                       {"total", claims.total},
                       {"pdf", claims.pdf},
                       {"groups", json::parse(DefaultViewer::groupsJSON(claims))}}
                      .dump());
    });
}

void DefaultViewerModule::become(const BridgeRequest& request, std::vector<std::string> types,
                                 std::string what) {
    WindowHandle page = request.page;
    AppActions& app = request.app;
    page.call("__cvlDefaultBusy", "true");
    Dispatch::global().async([page, &app, types = std::move(types), what = std::move(what)] {
        auto done = DefaultViewer::becomeDefault(types);
        page.call("__cvlDefaultBusy", "false");
        page.toast(done ? "Corvello now opens " + what
                        : "Corvello could not become the default: " + done.error());
        if (done) Dispatch::main().async([&app] { app.settingsChanged(); });
    });
}

}  // namespace cvl
