// A page and an application that record what a window asks of them.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "memory/DocLinks.h"
#include "window/PageHost.h"
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
    std::vector<std::string> logLines;
    std::map<std::string, std::string> config;
    std::vector<std::vector<std::string>> engineRuns;
    std::map<std::string, std::string> fieldsSeen;
    JsonReply lastReply;
    PageCall lastPost;
    bool featuresPresent = true;

    void openInBrowser(const std::string& url) override { calls.push_back("browser " + url); }
    void openWithDefaultApp(const std::string& p) override { calls.push_back("default " + p); }
    void revealInFileManager(const std::string& p) override { calls.push_back("reveal " + p); }
    void setClipboardText(const std::string& t) override { calls.push_back("clipboard " + t); }
    void openReader(const std::string& p, int page) override {
        calls.push_back("reader " + p + " " + std::to_string(page));
    }
    void openItem(const std::string& p) override { calls.push_back("item " + p); }
    void openReview(const std::vector<std::string>& paths,
                    const std::optional<std::string>& mode) override {
        calls.push_back("review " + paths.front() + " " + mode.value_or("-"));
    }
    void pickAndReview(const std::optional<std::string>& mode) override {
        calls.push_back("pick " + mode.value_or("-"));
    }
    void pickAndRead() override { calls.push_back("pick document"); }
    void openPanel(const std::string& kind) override { calls.push_back("panel " + kind); }
    void openHistory(const std::string& mode) override { calls.push_back("history page " + mode); }
    void toggleTheme() override { calls.push_back("theme"); }
    void setAgentConnected(bool on) override {
        calls.push_back(on ? "agent connect" : "agent disconnect");
    }
    void goHome(ReviewWC&) override { calls.push_back("home"); }
    void setPinned(const std::string& p, bool on) override {
        calls.push_back((on ? "pin " : "unpin ") + p);
    }
    void showNotice(const std::string& id, const std::string& title,
                    const std::string& text) override {
        calls.push_back("notice " + id + " " + title + " " + text);
    }
    void shellEngine(const std::vector<std::string>& args) override { engineRuns.push_back(args); }
    void windowClosed(ReviewWC&) override { calls.push_back("closed"); }
    std::optional<std::string> configString(const std::string& key) override {
        auto it = config.find(key);
        if (it == config.end()) return std::nullopt;
        return it->second;
    }
    std::optional<bool> configBool(const std::string& key) override {
        auto it = config.find(key);
        if (it == config.end()) return std::nullopt;
        return it->second == "true";
    }
    void setConfigString(const std::string& key, const std::string& value) override {
        config[key] = value;
    }
    void setShortcut(const std::string& command, const std::string& combo) override {
        calls.push_back("shortcut " + command + "=" + combo);
    }
    void applyConfig(const std::string& key, const std::string& value) override {
        calls.push_back("applyConfig " + key + "=" + value);
    }
    void removeConfigKeysWithPrefix(const std::string& prefix) override {
        calls.push_back("removeConfig " + prefix);
    }
    bool darkScheme() override { return false; }
    std::string brandName() override { return "Corvello"; }
    std::string buildNumber() override { return "196"; }
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
    void readerLog(const std::string& line) override { logLines.push_back(line); }

    bool pageCommand(const std::map<std::string, std::string>& fields, JsonReply reply) override {
        if (!featuresPresent) return false;
        calls.push_back("pagecmd");
        fieldsSeen = fields;
        lastReply = std::move(reply);
        return true;
    }
    bool readerSearch(const std::string& q, const std::string& path, JsonReply reply) override {
        if (!featuresPresent) return false;
        calls.push_back("readersearch " + q + " " + path);
        lastReply = std::move(reply);
        return true;
    }
    bool folderSearch(const std::string&, const std::vector<std::string>& sources,
                      PageCall post) override {
        if (!featuresPresent) return false;
        calls.push_back("search " + (sources.empty() ? std::string() : sources.front()));
        lastPost = std::move(post);
        return true;
    }
    bool outline(const std::string& path, JsonReply reply) override {
        if (!featuresPresent) return false;
        calls.push_back("outline " + path);
        lastReply = std::move(reply);
        return true;
    }
    LinkSession* linkSession() override { return featuresPresent ? &links : nullptr; }
    std::vector<std::shared_ptr<ReviewWC>> readerWindows() override {
        std::vector<std::shared_ptr<ReviewWC>> out;
        for (auto& w : readers)
            if (auto wc = w.lock()) out.push_back(wc);
        return out;
    }
    bool renderPages(const std::string& path, JsonReply reply) override {
        if (!featuresPresent) return false;
        calls.push_back("pages " + path);
        lastReply = std::move(reply);
        return true;
    }
    bool history(const std::string& op, const std::vector<std::string>& paths,
                 JsonReply reply) override {
        if (!featuresPresent) return false;
        std::string line = "history " + op;
        for (const auto& p : paths) line += " " + p;
        calls.push_back(line);
        lastReply = std::move(reply);
        return true;
    }

    bool parseGrid(const std::string& path, EngineAnswer done) override {
        if (!featuresPresent) return false;
        calls.push_back("grid " + path);
        engineAnswers.push_back(std::move(done));
        return true;
    }
    bool editProbe(const std::string& path, EngineAnswer done) override {
        if (!featuresPresent) return false;
        calls.push_back("editprobe " + path);
        engineAnswers.push_back(std::move(done));
        return true;
    }

    std::function<void(bool)> fileWatchEvent;
    LinkSession links;
    std::vector<std::weak_ptr<ReviewWC>> readers;  // what readerWindows() lists
    std::vector<EngineAnswer> engineAnswers;       // grid and edit-probe runs, in order
};

// A window over a fake page, held as the application holds it.
struct WindowUnderTest {
    std::shared_ptr<PageRecord> page = std::make_shared<PageRecord>();
    FakeServices services;
    std::shared_ptr<ReviewWC> wc =
        std::make_shared<ReviewWC>(3, std::make_unique<FakePage>(page), services);

    NavigationPolicy go(const std::string& url) { return wc->decidePolicy({url, false}); }
};

}  // namespace cvl::test
