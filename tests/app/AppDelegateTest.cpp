// The application over a fake toolkit: where opened pages go (the key window's empty tab, a
// new tab, a new window), closing and reopening tabs, and the windows features see.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "app/AppDelegate.h"
#include "app/Config.h"
#include "memory/HistoryStore.h"
#include "operations/LoadStamp.h"
#include "platform/FileIO.h"
#include "search/CVSearchIndex.h"
#include "search/OcrCache.h"
#include "support/ModuleFakes.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

// A page that remembers what it was asked to show.
class ShellPageHost : public PageHost {
  public:
    explicit ShellPageHost(std::vector<std::string>& loads) : loads_(loads) {}
    void loadURL(const std::string& url, const std::string&) override { loads_.push_back(url); }
    void evaluateScript(const std::string&) override {}
    void evaluateScript(const std::string&,
                        std::function<void(std::optional<std::string>)> reply) override {
        reply(std::nullopt);
    }
    std::string title() const override { return title_; }
    void setTitle(const std::string& t) override { title_ = t; }
    void setRepresentedFile(const std::string&) override {}
    std::string representedFile() const override { return ""; }
    std::optional<std::string> drawnLabel() const override { return std::nullopt; }
    void present() override {}
    void close() override {}

  private:
    std::vector<std::string>& loads_;
    std::string title_;
};

// Frames of tabs, the first tab of the last frame being the key window's current one unless a
// test selects another.
class FakeShell : public DesktopShell {
  public:
    std::vector<std::vector<int>> tabsOf;  // per frame, in order
    std::map<int, int> current;            // frame -> tab
    std::vector<std::string> loads;
    int nextId = 1;

    void listen(ShellEvents&) override {}
    int newFrame(const std::string&, bool) override {
        tabsOf.push_back({});
        return static_cast<int>(tabsOf.size());
    }
    ShellPage newTab(int frame, bool, PageEvents) override {
        const int id = 100 + nextId++;
        tabsOf.at(frame - 1).push_back(id);
        current[frame] = id;
        return ShellPage{id, std::make_unique<ShellPageHost>(loads)};
    }
    void removeTab(int tab) override {
        for (auto& f : tabsOf) std::erase(f, tab);
    }
    std::optional<int> keyFrame() override {
        for (size_t i = tabsOf.size(); i > 0; --i)
            if (!tabsOf[i - 1].empty()) return static_cast<int>(i);
        return std::nullopt;
    }
    std::optional<int> currentTab(int frame) override {
        auto it = current.find(frame);
        if (it == current.end()) return std::nullopt;
        return it->second;
    }
    int frameOf(int tab) override {
        for (size_t i = 0; i < tabsOf.size(); ++i)
            if (std::count(tabsOf[i].begin(), tabsOf[i].end(), tab)) return static_cast<int>(i + 1);
        return 0;
    }
    std::vector<std::vector<int>> frames() override { return tabsOf; }
    TabFacts tabFacts(int) override { return {}; }
    void presentFrame(int) override {}
    void setKeepAbove(bool) override {}
    void reloadTab(int) override {}
    void callAsync(int, const std::string&,
                   std::function<void(std::optional<std::string>)> reply) override {
        reply(std::nullopt);
    }
    void snapshotTab(int, const std::string&, std::function<void(bool)> done) override {
        done(false);
    }
    // Each window's dialogs; the last one made stays reachable for scripting answers.
    test::FakeDialogs* lastDialogs = nullptr;
    std::unique_ptr<Dialogs> dialogs(std::optional<int>) override {
        auto made = std::make_unique<test::FakeDialogs>();
        lastDialogs = made.get();
        return made;
    }
    bool hasWarmReader() override { return false; }
    void primeWarmReader(const std::string&) override {}
    void dropWarmReader() override {}
    ShellPage newPanel(const std::string&, PageEvents, std::function<void()>) override {
        return ShellPage{nextId++, std::make_unique<ShellPageHost>(loads)};
    }
    bool systemPrefersDark() override { return false; }
    void setDark(bool) override {}
    void setAppIcon(const std::optional<std::string>&) override {}
    void setMenus(const std::vector<AppMenu::Menu>&) override {}
    void setMenuStates(const std::vector<AppMenu::Menu>&, const std::string&) override {}
    bool quitModifierHeld() override { return false; }
    void showAbout(const AboutInfo&) override {}
    void quit() override {}
    void openURI(const std::string&) override {}
    void revealItems(const std::vector<std::string>&) override {}
    void setClipboardText(const std::string&) override {}
    void setClipboardFiles(const std::vector<std::string>&) override {}
    std::unique_ptr<Holder> inhibitIdle(const std::string&) override { return nullptr; }
    std::shared_ptr<ZKNoticeView> noticeView() override { return nullptr; }
    void attachNotice(std::weak_ptr<ZKNotice>) override {}
};

struct App {
    test::TempHome home;
    FakeShell shell;
    HistoryStore history{HistoryStore::Options{home / "support", {}, {}}};
    AppDelegate app{shell, AppStores{history, std::make_shared<CVSearchIndex>(
                                                  home / "index.db", OcrCache::ocrCacheRead)}};
    ~App() { Dispatch::manualMain()->drain(); }
};

TEST(AppDelegate, PagesOpenInTheKeyWindowsEmptyTabElseInANewTabOrWindow) {
    App a;
    a.app.openWelcome(nullptr);
    ASSERT_EQ(a.shell.tabsOf.size(), 1u);
    // The welcome page is an open surface: the next page replaces it in the same tab.
    a.app.openToolPage("file:///e/bates.html", "bates", {"/cases"});
    EXPECT_EQ(a.shell.tabsOf, (std::vector<std::vector<int>>{{101}}));
    EXPECT_EQ(a.app.windows().at(0).pageKind, "bates");
    EXPECT_EQ(a.shell.loads.back(), "file:///e/bates.html");
    // A window with content gets company: a new tab of the key window.
    a.app.openToolPage("file:///e/redact.html", "redact", {"/cases/a.pdf"});
    EXPECT_EQ(a.shell.tabsOf, (std::vector<std::vector<int>>{{101, 102}}));
    // With "open_in" = "window", a window of its own.
    ASSERT_TRUE(saveConfig(nlohmann::json{{"open_in", "window"}}).ok());
    a.app.openToolPage("file:///e/organize.html", "organize", {"/cases"});
    EXPECT_EQ(a.shell.tabsOf.size(), 2u);

    // Features find the windows by their bridge identity.
    const auto windows = a.app.windows();
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[2].pageKind, "organize");
    auto handle = a.app.window(windows[1].bridgeId);
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->snapshot()->sourcePaths, std::vector<std::string>{"/cases/a.pdf"});
    EXPECT_FALSE(a.app.window("no such window"));
}

TEST(AppDelegate, AClosedReaderComesBackFromTheClosedTabs) {
    App a;
    const std::string pdf = a.home / "Brief.pdf";
    ASSERT_TRUE(writeFileAtomic(pdf, "%PDF-1.7 brief").ok());
    a.app.openReader(pdf, 2);
    ASSERT_EQ(a.app.documentWindows().size(), 1u);
    EXPECT_TRUE(a.app.documentWindows()[0]->isReader());
    EXPECT_NE(a.shell.loads.back().find("page=2"), std::string::npos);
    // The load is stamped for the overwrite guard, and the stamp goes with the window.
    const std::string bridgeId = a.app.documentWindows()[0]->bridgeId();
    auto stamp = LoadStamps::shared().stamp(bridgeId);
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(stamp->path, pdf);
    EXPECT_EQ(stamp->size, 14);
    // A reader first asks its page to flush; once it has, the tab closes.
    const int tab = a.shell.tabsOf[0][0];
    a.app.tabCloseRequested(tab);
    a.app.tabCloseRequested(tab);
    EXPECT_TRUE(a.app.documentWindows().empty());
    EXPECT_TRUE(a.shell.tabsOf[0].empty());
    EXPECT_FALSE(LoadStamps::shared().stamp(bridgeId).has_value());
    a.app.reopenClosedTab();
    ASSERT_EQ(a.app.documentWindows().size(), 1u);
    EXPECT_EQ(a.app.documentWindows()[0]->sourcePaths(), std::vector<std::string>{pdf});
    EXPECT_TRUE(a.app.documentWindows()[0]->isReader());
    // The reader was recorded in the history.
    EXPECT_EQ(a.history.count(), 1u);
}

TEST(AppDelegate, OrganizeFolderInTheMenuAsksForAFolderAndShowsItsPage) {
    App a;
    a.app.openWelcome(nullptr);
    ASSERT_NE(a.shell.lastDialogs, nullptr);
    a.shell.lastDialogs->chooseAnswers = {{a.home.path()}};
    a.app.menuCommand("organize-folder", "");
    Dispatch::manualMain()->drain();
    ASSERT_EQ(a.shell.lastDialogs->choices.size(), 1u);
    EXPECT_TRUE(a.shell.lastDialogs->choices[0].folders);
    // The organize page takes the welcome page's place.
    ASSERT_EQ(a.app.windows().size(), 1u);
    EXPECT_EQ(a.app.windows()[0].pageKind, "organize");
    EXPECT_EQ(a.app.windows()[0].sourcePaths, std::vector<std::string>{a.home.path()});
}

TEST(AppDelegate, CompareDocumentsInTheMenuAsksForTwoPdfsAndShowsTheirCompare) {
    App a;
    a.app.openWelcome(nullptr);
    ASSERT_NE(a.shell.lastDialogs, nullptr);
    const std::string one = a.home / "One.pdf", two = a.home / "Two.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(2), one));
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(2, "beta"), two));
    a.shell.lastDialogs->chooseAnswers = {{one, two}};
    a.app.menuCommand("compare-documents", "");
    Dispatch::manualMain()->drain();
    ASSERT_EQ(a.shell.lastDialogs->choices.size(), 1u);
    EXPECT_EQ(a.shell.lastDialogs->choices[0].extensions, std::vector<std::string>{"pdf"});
    bool shown = false;
    for (const auto& w : a.app.windows())
        shown = shown ||
                (w.pageKind == "compare" && w.sourcePaths == std::vector<std::string>{one, two});
    EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace cvl
