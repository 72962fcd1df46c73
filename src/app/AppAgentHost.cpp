#include "app/AppAgentHost.h"

#include <nlohmann/json.hpp>

#include "app/AppConstants.h"
#include "app/AppDelegate.h"
#include "app/Brand.h"
#include "memory/AnnotationSidecars.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/TextEscape.h"

namespace cvl {

std::string AppAgentHost::appName() {
    return Brand::current().name;
}

std::string AppAgentHost::version() {
    return appConstants().version;
}

std::string AppAgentHost::build() {
    return buildNumber();
}

std::optional<int> AppAgentHost::tabOf(const std::string& bridgeId) {
    for (const auto& wc : app_.documentWindows())
        if (wc->bridgeId() == bridgeId) return app_.tabOf(*wc);
    return std::nullopt;
}

std::vector<AgentWindowInfo> AppAgentHost::liveWindows() {
    std::vector<AgentWindowInfo> out;
    for (const auto& wc : app_.documentWindows())
        if (auto tab = app_.tabOf(*wc)) out.push_back(info(*tab));
    return out;
}

std::optional<std::string> AppAgentHost::keyWindow() {
    if (auto wc = app_.keyWindow()) return wc->bridgeId();
    return std::nullopt;
}

std::optional<std::string> AppAgentHost::currentDocument() {
    auto wc = app_.keyWindow();
    if (!wc || wc->sourcePaths().empty()) return std::nullopt;
    return wc->sourcePaths().front();
}

void AppAgentHost::evaluate(const std::string& windowId, const std::string& script,
                            AgentScriptDone done) {
    auto tab = tabOf(windowId);
    if (!tab) return done(AgentScriptAnswer{false, "", "no such window"});
    app_.windowOfTab(*tab)->page().evaluateScript(script, [done](std::optional<std::string> value) {
        done(AgentScriptAnswer{true, value.value_or(""), ""});
    });
}

void AppAgentHost::callAsync(const std::string& windowId, const std::string& body,
                             AgentScriptDone done) {
    auto tab = tabOf(windowId);
    if (!tab) return done(AgentScriptAnswer{false, "", "no such window"});
    app_.shell().callAsync(*tab, body, [done](std::optional<std::string> value) {
        done(AgentScriptAnswer{true, value.value_or("null"), ""});
    });
}

void AppAgentHost::bringToFront(const std::string& windowId) {
    if (auto tab = tabOf(windowId)) app_.windowOfTab(*tab)->present();
}

void AppAgentHost::activateApp() {
    if (auto frame = app_.shell().keyFrame()) app_.shell().presentFrame(*frame);
}

std::optional<AgentWindowInfo> AppAgentHost::openFolder(const std::string& path) {
    if (!isDirectory(path)) return std::nullopt;
    app_.openReview({path}, std::nullopt);
    return shown(path);
}

std::optional<AgentWindowInfo> AppAgentHost::openFile(const std::string& path,
                                                      std::optional<int> page) {
    if (!isRegularFile(path)) return std::nullopt;
    app_.openReader(path, page.value_or(0));
    return shown(path);
}

std::optional<std::string> AppAgentHost::annotationSidecar(const std::string& path) {
    if (!annotSidecarExists(path)) return std::nullopt;
    return annotSidecarPath(path);
}

// The newest window that shows `path`.
std::optional<AgentWindowInfo> AppAgentHost::shown(const std::string& path) {
    const auto windows = app_.documentWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!(*it)->sourcePaths().empty() && (*it)->sourcePaths().front() == path)
            if (auto tab = app_.tabOf(**it)) return info(*tab);
    return std::nullopt;
}

AgentWindowInfo AppAgentHost::info(int tab) {
    AgentWindowInfo w;
    auto wc = app_.windowOfTab(tab);
    DesktopShell& shell = app_.shell();
    const TabFacts facts = shell.tabFacts(tab);
    const int frame = shell.frameOf(tab);
    w.bridgeId = wc->bridgeId();
    w.title = facts.windowTitle;
    w.paths = wc->sourcePaths();
    w.tabSelected = shell.currentTab(frame) == tab;
    w.isKey = w.tabSelected && shell.keyFrame() == frame;
    w.isVisible = facts.visible;
    w.tabTitle = wc->page().title();
    w.tabCount = facts.tabCount;
    w.tabIndex = facts.tabIndex;
    const auto frames = shell.frames();
    for (size_t i = 0; i < frames.size(); ++i)
        if (!frames[i].empty() && shell.frameOf(frames[i].front()) == frame)
            w.tabGroup = std::to_string(i);
    w.tabLabelRendered = facts.label;
    if (!facts.uri.empty()) {
        w.webPdf = urlQuery(facts.uri, "pdf");
        w.webOrig = urlQuery(facts.uri, "orig");
    }
    w.webUrlLoading = facts.loading;
    if (wc->isReader()) {
        IdentityVerdict v = wc->identityVerdict();
        w.identityJSON = jsonText(nlohmann::json{{"ready", v.isReady()}, {"summary", v.summary()}});
    }
    w.showsDocument = wc->hasContent();
    w.isReader = wc->isReader();
    w.isGrid = wc->isGrid();
    w.isOrganize = wc->pageKind() == "organize";
    w.isRedact = wc->pageKind() == "redact";
    w.isBates = wc->pageKind() == "bates";
    return w;
}

}  // namespace cvl
