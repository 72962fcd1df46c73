// A document window over a fake page, with the fake application and dialogs of the module
// tests and a recording of what the window asks of the application for itself.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserDirs.h"
#include "support/ModuleFakes.h"
#include "window/PageHost.h"
#include "window/ReaderURL.h"
#include "window/ReviewWC.h"
#include "window/WindowServices.h"

namespace cvl::test {

struct PageRecord {
    std::vector<std::string> loads;  // addresses, in order
    std::vector<std::string> scripts;
    std::deque<std::pair<std::string, std::function<void(std::optional<std::string>)>>> pending;
    std::string title;
    std::string represented;
    std::optional<std::string> label;  // the tab's text, when the window has a tab bar
    int closes = 0;
    int presents = 0;

    bool ranScriptContaining(const std::string& part) const {
        for (const auto& s : scripts)
            if (s.find(part) != std::string::npos) return true;
        return false;
    }
    // Answers the oldest script that waits for a reply.
    bool answer(std::optional<std::string> value) {
        if (pending.empty()) return false;
        auto reply = std::move(pending.front().second);
        pending.pop_front();
        reply(std::move(value));
        return true;
    }
};

class FakePage : public PageHost {
  public:
    explicit FakePage(std::shared_ptr<PageRecord> rec) : rec_(std::move(rec)) {}
    void loadURL(const std::string& url, const std::string&) override {
        rec_->loads.push_back(url);
    }
    void evaluateScript(const std::string& script) override { rec_->scripts.push_back(script); }
    void evaluateScript(const std::string& script,
                        std::function<void(std::optional<std::string>)> reply) override {
        rec_->scripts.push_back(script);
        rec_->pending.emplace_back(script, std::move(reply));
    }
    std::string title() const override { return rec_->title; }
    void setTitle(const std::string& t) override { rec_->title = t; }
    void setRepresentedFile(const std::string& p) override { rec_->represented = p; }
    std::string representedFile() const override { return rec_->represented; }
    std::optional<std::string> drawnLabel() const override { return rec_->label; }
    void present() override { ++rec_->presents; }
    void close() override { ++rec_->closes; }

  private:
    std::shared_ptr<PageRecord> rec_;
};

class FakeServices : public WindowServices {
  public:
    std::vector<std::string> calls;  // one line per call: "name arg..."
    std::vector<std::vector<std::string>> engineRuns;
    std::function<void(bool)> fileWatchEvent;
    std::vector<EngineAnswer> engineAnswers;  // grid and edit-probe runs, in order

    void shellEngine(const std::vector<std::string>& args) override { engineRuns.push_back(args); }
    std::unique_ptr<WatchHandle> watchFile(const std::string& path,
                                           std::function<void(bool)> onEvent) override {
        calls.push_back("watch " + path);
        fileWatchEvent = std::move(onEvent);
        return std::make_unique<WatchHandle>();
    }
    std::unique_ptr<WatchHandle> watchFolders(const std::vector<std::string>& paths,
                                              std::function<void()>) override {
        calls.push_back("watchFolders " + paths.front());
        return std::make_unique<WatchHandle>();
    }
    void parseGrid(const std::string& path, EngineAnswer done) override {
        calls.push_back("grid " + path);
        engineAnswers.push_back(std::move(done));
    }
    void editProbe(const std::string& path, EngineAnswer done) override {
        calls.push_back("editprobe " + path);
        engineAnswers.push_back(std::move(done));
    }
    void windowClosed(ReviewWC&) override { calls.push_back("closed"); }
};

// A window over a fake page, held as the application holds it; its dialogs are `dialogs`.
struct WindowUnderTest {
    std::shared_ptr<PageRecord> page = std::make_shared<PageRecord>();
    FakeServices services;
    FakeApp app;
    BridgeModuleSet modules;
    FakeDialogs* dialogs = nullptr;
    std::shared_ptr<ReviewWC> wc;

    WindowUnderTest() {
        auto d = std::make_unique<FakeDialogs>();
        dialogs = d.get();
        wc = std::make_shared<ReviewWC>(3, std::make_unique<FakePage>(page),
                                        WindowContext{services, app, modules, std::move(d)});
    }
    // A navigation asked by the reader page, one of the program's own pages.
    NavigationPolicy go(const std::string& url) {
        return wc->decidePolicy({url, false, ownPageURL()});
    }
    static std::string ownPageURL() {
        return ReaderAddress::fileURL(UserDirs::resourceDir() + "/engine/vendor/pdfjs/reader.html");
    }
    void drain() { Dispatch::manualMain()->drain(); }
};

}  // namespace cvl::test
