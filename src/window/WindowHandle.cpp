#include "window/WindowHandle.h"

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "window/PageScript.h"

namespace cvl {

bool WindowSnapshot::holds(const std::string& path) const {
    if (path.empty()) return false;
    if (path == shownPdf) return true;
    for (const auto* list : {&sourcePaths, &setPaths})
        for (const auto& p : *list) {
            if (p == path) return true;
            if (path.size() > p.size() + 1 && path.compare(0, p.size(), p) == 0 &&
                path[p.size()] == '/' && path.find("/../", p.size()) == std::string::npos &&
                isDirectory(p))
                return true;
        }
    return false;
}

void WindowHandle::onMain(std::function<void(BridgeWindow&)> work) const {
    Dispatch::main().async([weak = window_, work = std::move(work)] {
        if (auto window = weak.lock()) work(*window);
    });
}

void WindowHandle::call(const std::string& function, const std::string& args) const {
    run(PageScript::call(function, args));
}

void WindowHandle::toast(const std::string& text) const {
    run(PageScript::toast(text));
}

void WindowHandle::run(const std::string& script) const {
    onMain([script](BridgeWindow& w) { w.evaluateScript(script); });
}

void WindowHandle::read(const std::string& expression,
                        std::function<void(std::optional<std::string>)> reply) const {
    Dispatch::main().async([weak = window_, expression, reply = std::move(reply)] {
        auto window = weak.lock();
        if (!window) return reply(std::nullopt);
        window->evaluateScript(PageScript::valueOf(expression), reply);
    });
}

void WindowHandle::showToolPage(const std::string& url, const std::string& pageKind,
                                const std::vector<std::string>& sourcePaths) const {
    onMain([=](BridgeWindow& w) { w.showToolPage(url, pageKind, sourcePaths); });
}

void WindowHandle::showReview(const std::vector<std::string>& paths,
                              const std::optional<std::string>& mode) const {
    onMain([=](BridgeWindow& w) { w.showReview(paths, mode); });
}

void WindowHandle::reloadReader() const {
    onMain([](BridgeWindow& w) { w.reloadReader(); });
}

void WindowHandle::close() const {
    onMain([](BridgeWindow& w) { w.closeWindow(); });
}

void WindowHandle::present() const {
    onMain([](BridgeWindow& w) { w.present(); });
}

std::optional<WindowSnapshot> WindowHandle::snapshot() const {
    if (auto window = window_.lock()) return window->snapshot();
    return std::nullopt;
}

}  // namespace cvl
