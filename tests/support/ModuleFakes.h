// Fakes for testing feature modules without a display: a window that records what its page
// is sent, dialogs answered from a script of answers, and an application that records calls.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Dispatch.h"
#include "window/AppActions.h"
#include "window/BridgeModule.h"
#include "window/Dialogs.h"

namespace cvl::test {

class FakeWindow : public BridgeWindow {
  public:
    WindowSnapshot state;
    std::vector<std::string> scripts;  // every script the page was sent, in order
    // Values for read(): expression text contained in the script -> value.
    std::vector<std::pair<std::string, std::optional<std::string>>> values;
    std::vector<std::string> shown;  // "kind url" per showToolPage / "review path" per review
    int reloads = 0;
    int closes = 0;
    int presents = 0;

    WindowSnapshot snapshot() const override { return state; }
    void evaluateScript(const std::string& script) override { scripts.push_back(script); }
    void evaluateScript(const std::string& script,
                        std::function<void(std::optional<std::string>)> reply) override {
        scripts.push_back(script);
        for (const auto& [part, value] : values)
            if (script.find(part) != std::string::npos) return reply(value);
        reply(std::nullopt);
    }
    void showToolPage(const std::string& url, const std::string& kind,
                      const std::vector<std::string>& paths) override {
        shown.push_back(kind + " " + url);
        state.pageKind = kind;
        state.sourcePaths = paths;
    }
    void showReview(const std::vector<std::string>& paths,
                    const std::optional<std::string>& mode) override {
        shown.push_back("review " + (paths.empty() ? std::string() : paths[0]) + " " +
                        mode.value_or(""));
    }
    void reloadReader() override { ++reloads; }
    void closeWindow() override { ++closes; }
    void present() override { ++presents; }

    // Scripts that call the page function `function`.
    std::vector<std::string> callsOf(const std::string& function) const {
        std::vector<std::string> out;
        for (const auto& s : scripts)
            if (s.find("if(window." + function + ")") == 0) out.push_back(s);
        return out;
    }
    // The argument text of the last call of `function` (several arguments stay as the page
    // would read them, commas included); empty when it was never called.
    std::string lastArgs(const std::string& function) const {
        auto calls = callsOf(function);
        if (calls.empty()) return "";
        const std::string& s = calls.back();
        const std::string open = "try{" + function + "(";
        size_t from = s.find(open), to = s.rfind(")}catch");
        if (from == std::string::npos || to == std::string::npos) return "";
        from += open.size();
        return s.substr(from, to - from);
    }
    bool sent(const std::string& part) const {
        for (const auto& s : scripts)
            if (s.find(part) != std::string::npos) return true;
        return false;
    }
};

class FakeDialogs : public Dialogs {
  public:
    // Answers given in order; when they run out, confirmations cancel, choosers, save dialogs
    // and menus are cancelled.
    std::deque<ConfirmAnswer> confirmAnswers;
    std::deque<std::vector<std::string>> chooseAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::deque<std::optional<size_t>> menuAnswers;
    std::vector<ConfirmSheet> sheets;
    std::vector<FileChoice> choices;
    std::vector<SaveChoice> saves;
    std::vector<MenuChoice> menus;
    std::vector<std::string> alerts;  // "title: message"

    void confirm(const ConfirmSheet& sheet, std::function<void(ConfirmAnswer)> done) override {
        sheets.push_back(sheet);
        ConfirmAnswer a = ConfirmAnswer::Cancel;
        if (!confirmAnswers.empty()) {
            a = confirmAnswers.front();
            confirmAnswers.pop_front();
        }
        Dispatch::main().async([done, a] { done(a); });
    }
    void choose(const FileChoice& choice,
                std::function<void(std::vector<std::string>)> done) override {
        choices.push_back(choice);
        std::vector<std::string> a;
        if (!chooseAnswers.empty()) {
            a = chooseAnswers.front();
            chooseAnswers.pop_front();
        }
        Dispatch::main().async([done, a] { done(a); });
    }
    void save(const SaveChoice& choice,
              std::function<void(std::optional<std::string>)> done) override {
        saves.push_back(choice);
        std::optional<std::string> a;
        if (!saveAnswers.empty()) {
            a = saveAnswers.front();
            saveAnswers.pop_front();
        }
        Dispatch::main().async([done, a] { done(a); });
    }
    void menu(const MenuChoice& choice, std::function<void(std::optional<size_t>)> done) override {
        menus.push_back(choice);
        std::optional<size_t> a;
        if (!menuAnswers.empty()) {
            a = menuAnswers.front();
            menuAnswers.pop_front();
        }
        Dispatch::main().async([done, a] { done(a); });
    }
    void alert(const std::string& title, const std::string& message,
               std::function<void()> done) override {
        alerts.push_back(title + ": " + message);
        if (done) Dispatch::main().async(done);
    }
};

class FakeApp : public AppActions {
  public:
    std::vector<std::string> calls;  // one line per call: "name arg..."
    std::vector<std::string> logLines;
    std::vector<std::shared_ptr<FakeWindow>> open;  // windows() lists these
    int idleHolds = 0;                              // inhibits alive now

    void openReader(const std::string& p, int page) override {
        calls.push_back("reader " + p + " " + std::to_string(page));
    }
    void openReview(const std::vector<std::string>& paths,
                    const std::optional<std::string>& mode) override {
        calls.push_back("review " + (paths.empty() ? "" : paths[0]) + " " + mode.value_or(""));
    }
    void openToolPage(const std::string& url, const std::string& kind,
                      const std::vector<std::string>&) override {
        calls.push_back("page " + kind + " " + url);
    }
    void recordRecent(const std::string& p) override { calls.push_back("recent " + p); }
    void recordUsage(const std::string& e) override { calls.push_back("usage " + e); }
    void openInBrowser(const std::string& url) override { calls.push_back("browser " + url); }
    void openWithDefaultApp(const std::string& p) override { calls.push_back("default " + p); }
    void revealInFileManager(const std::vector<std::string>& paths) override {
        calls.push_back("reveal " + (paths.empty() ? "" : paths[0]));
    }
    void setClipboardText(const std::string& t) override { calls.push_back("clipboard " + t); }
    void setClipboardFiles(const std::vector<std::string>& paths) override {
        calls.push_back("clipfiles " + (paths.empty() ? "" : paths[0]));
    }
    std::unique_ptr<Holder> inhibitIdle(const std::string& reason) override {
        calls.push_back("inhibit " + reason);
        struct Hold : Holder {
            int& n;
            explicit Hold(int& c) : n(c) { ++n; }
            ~Hold() override { --n; }
        };
        return std::make_unique<Hold>(idleHolds);
    }
    // Print requests, answered with `printAnswer` (printed, by default).
    std::vector<PrintRequest> prints;
    PrintOutcome printAnswer = [] {
        PrintOutcome o;
        o.printed = true;
        return o;
    }();
    void printDocument(const PrintRequest& request,
                       std::function<void(PrintOutcome)> done) override {
        prints.push_back(request);
        Dispatch::main().async([done, o = printAnswer] { done(o); });
    }
    void showNotice(const std::string& id, const std::string& title, const std::string&) override {
        calls.push_back("notice " + id + " " + title);
    }
    void readerLog(const std::string& line) override { logLines.push_back(line); }
    void settingsChanged() override { calls.push_back("settings"); }
    std::string brandName() override { return "Corvello"; }
    bool darkScheme() override { return false; }
    std::vector<WindowSnapshot> windows() override {
        std::vector<WindowSnapshot> out;
        for (auto& w : open) out.push_back(w->state);
        return out;
    }
    std::optional<WindowHandle> window(const std::string& id) override {
        for (auto& w : open)
            if (w->state.bridgeId == id) return WindowHandle(w);
        return std::nullopt;
    }
};

// One window, its dialogs and the application, and requests from its page.
struct ModuleHarness {
    std::shared_ptr<FakeWindow> window = std::make_shared<FakeWindow>();
    FakeDialogs dialogs;
    FakeApp app;

    BridgeRequest request(const std::string& url) {
        std::string op = url.substr(url.find("//") + 2);
        op = op.substr(0, op.find_first_of("/?"));
        return BridgeRequest{op, url, window->state, WindowHandle(window), dialogs, app};
    }
    ScriptMessage message(const std::string& action, const std::string& body) {
        return ScriptMessage{action, body, window->state, WindowHandle(window), dialogs, app};
    }
    // Runs main-queue work until `done` or the time-out (background work may still run).
    bool runUntil(const std::function<bool()>& done, int ms = 5000) {
        return Dispatch::manualMain()->runUntil(done, std::chrono::milliseconds(ms));
    }
    void drain() { Dispatch::manualMain()->drain(); }
};

}  // namespace cvl::test
