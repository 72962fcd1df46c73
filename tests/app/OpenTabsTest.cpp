#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "app/ClosedTabs.h"
#include "app/Config.h"
#include "app/OpenTabs.h"
#include "app/UserPrefs.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

using test::ScopedEnv;

class OpenTabsTest : public testing::Test {
  protected:
    test::TempHome home;
    ScopedEnv noTest{"CVL_TEST", nullptr};
    ScopedEnv noOverride{"CVL_OPEN_TABS_PATH", nullptr};
    std::vector<std::string> logLines;
    OpenTabsKeeper keeper;
    const double now = 1'800'000'000;

    void SetUp() override {
        keeper.log = [this](const std::string& line) { logLines.push_back(line); };
    }

    std::string doc(const std::string& name) {
        std::string p = home / ("Docs/" + name);
        EXPECT_TRUE(test::putFile(p, "%PDF-1.4\n"));
        return p;
    }

    json tab(const std::string& kind, const std::string& path, std::optional<int> group,
             bool selected) {
        json t{{"kind", kind},
               {"paths", {path}},
               {"title", lastPathComponent(path)},
               {"selected", selected}};
        if (group) t["group"] = *group;
        return t;
    }

    void writeSnapshot(const json& snapshot) {
        ASSERT_TRUE(test::putFile(openTabsPath(), snapshot.dump()));
    }
    json readSnapshot() {
        auto text = readFile(openTabsPath());
        return text ? json::parse(*text, nullptr, false) : json();
    }
};

TEST_F(OpenTabsTest, RestoreStampsTheFileBeforeHandingOutRowsAndSkipsDeletedFiles) {
    std::string a = doc("a.pdf"), b = doc("b.pdf"), c = doc("c.pdf");
    json tabs =
        json::array({tab("reader", a, 1, false), tab("grid", home / "Docs/gone.pdf", 1, false),
                     tab("reader", b, 1, true), tab("review", c, 2, false), json{{"paths", {a}}},
                     tab("reader", a, std::nullopt, false)});
    tabs[3]["mode"] = "rank";
    tabs[0]["view"] = "{\"page\":3}";
    writeSnapshot({{"build", "195"},
                   {"clean_quit", true},
                   {"written", now - 30},
                   {"discard", false},
                   {"tabs", tabs},
                   {"extra", 1}});

    auto plan = keeper.decideRestore("196", now);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->reason, "update");
    EXPECT_EQ(plan->savedRows, 6u);
    EXPECT_TRUE(keeper.restoring());
    EXPECT_FALSE(keeper.launchRead());

    // The file was rewritten first: running build, unclean, no discard, the rest kept.
    json stamped = readSnapshot();
    EXPECT_EQ(stamped["build"], "196");
    EXPECT_EQ(stamped["clean_quit"], false);
    EXPECT_FALSE(stamped.contains("discard"));
    EXPECT_EQ(stamped["tabs"], tabs);
    EXPECT_EQ(stamped["extra"], 1);

    ASSERT_EQ(plan->windows.size(), 3u);
    const RestoreWindow& first = plan->windows[0];
    ASSERT_EQ(first.tabs.size(), 2u) << "the deleted file's row is skipped";
    EXPECT_EQ(first.tabs[0].tab.paths[0], a);
    EXPECT_EQ(first.tabs[0].tab.view, "{\"page\":3}");
    EXPECT_EQ(first.tabs[1].tab.paths[0], b);
    EXPECT_EQ(first.selected, 1u);
    EXPECT_EQ(plan->windows[1].tabs[0].tab.mode, "rank");
    EXPECT_FALSE(plan->windows[1].selected.has_value());
    EXPECT_FALSE(plan->windows[2].tabs[0].group.has_value());

    // A crash now would meet a same-build unclean quit: never reopened again.
    OpenTabsKeeper next;
    next.log = keeper.log;
    EXPECT_FALSE(next.decideRestore("196", now + 5).has_value());

    keeper.finishRestore(*plan, 4, "");
    EXPECT_FALSE(keeper.restoring());
    EXPECT_TRUE(keeper.launchRead());
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines.back().rfind("open tabs: restored 4 of 6", 0), 0u) << logLines.back();
}

TEST_F(OpenTabsTest, WhenEveryRowIsGoneTheFileIsNotStamped) {
    json snapshot{{"build", "195"},
                  {"clean_quit", false},
                  {"tabs", {tab("reader", home / "Docs/deleted.pdf", 1, true)}}};
    writeSnapshot(snapshot);
    EXPECT_FALSE(keeper.decideRestore("196", now).has_value());
    EXPECT_EQ(readSnapshot(), snapshot);
    EXPECT_TRUE(keeper.launchRead());
}

TEST_F(OpenTabsTest, NotRestoredLineNamesTheInputs) {
    std::string a = doc("a.pdf");
    ASSERT_TRUE(UserPrefs::setValue("NSQuitAlwaysKeepsWindows", true));
    writeSnapshot({{"build", "196"},
                   {"clean_quit", true},
                   {"written", now - 30},
                   {"discard", true},
                   {"tabs", {tab("reader", a, 1, true)}}});
    EXPECT_FALSE(keeper.decideRestore("196", now).has_value());
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_EQ(logLines[0],
              "open tabs: not restored (saved build 196, clean quit true, keep windows true)");
    EXPECT_TRUE(keeper.launchRead());

    // Keep-windows on and a clean quit of the same build: a relaunch.
    writeSnapshot({{"build", "196"},
                   {"clean_quit", true},
                   {"written", now - 30},
                   {"tabs", {tab("reader", a, 1, true)}}});
    OpenTabsKeeper again;
    auto plan = again.decideRestore("196", now);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->reason, "relaunch");
}

TEST_F(OpenTabsTest, MalformedSnapshotsAndRulesSkipQuietly) {
    std::string a = doc("a.pdf");
    for (const std::string& text :
         {std::string("not json"), std::string("[]"), json{{"tabs", json::array()}}.dump(),
          json{{"build", 195}, {"tabs", json::array({tab("reader", a, 1, true)})}}.dump(),
          json{{"build", "195"}, {"tabs", "x"}}.dump()}) {
        ASSERT_TRUE(test::putFile(openTabsPath(), text));
        OpenTabsKeeper k;
        k.log = keeper.log;
        EXPECT_FALSE(k.decideRestore("196", now).has_value()) << text;
        EXPECT_TRUE(k.launchRead());
        EXPECT_EQ(readFile(openTabsPath()), text) << "left as it was";
    }
    EXPECT_TRUE(logLines.empty());

    json good{{"build", "195"}, {"tabs", {tab("reader", a, 1, true)}}};
    writeSnapshot(good);
    {
        ScopedEnv testLaunch("CVL_TEST", "1");
        EXPECT_FALSE(OpenTabsKeeper().decideRestore("196", now).has_value());
        ScopedEnv allowed("CVL_TEST_RESTORE", "1");
        OpenTabsKeeper k;
        EXPECT_TRUE(k.decideRestore("196", now).has_value());
    }
    writeSnapshot(good);
    ASSERT_TRUE(cfgSetBool("remember_closed_tabs", false).ok());
    OpenTabsKeeper off;
    EXPECT_FALSE(off.decideRestore("196", now).has_value());
    EXPECT_TRUE(off.launchRead());
}

TEST_F(OpenTabsTest, OverridePathIsHonoured) {
    std::string other = home / "elsewhere/tabs.json";
    ScopedEnv over("CVL_OPEN_TABS_PATH", other.c_str());
    EXPECT_EQ(openTabsPath(), other);
    std::string a = doc("a.pdf");
    writeSnapshot({{"build", "1"}, {"tabs", {tab("reader", a, 0, true)}}});
    EXPECT_TRUE(pathExists(other));
    EXPECT_TRUE(keeper.decideRestore("2", now).has_value());
    EXPECT_EQ(json::parse(*readFile(other))["build"], "2");
    ScopedEnv empty("CVL_OPEN_TABS_PATH", "");
    EXPECT_EQ(openTabsPath(), UserDirs::supportDir() + "/open-tabs.json");
}

TEST_F(OpenTabsTest, WritesAreRefusedBeforeTheLaunchReadAndDuringARestore) {
    std::string a = doc("a.pdf");
    OpenTabRow row{ClosedTab{"reader", {a}, std::string("{}"), std::nullopt, "a.pdf"}, 3, true};
    using W = OpenTabsKeeper::WriteOutcome;
    EXPECT_EQ(keeper.writeOpenTabs(false, false, {row}, "196", now), W::refused);
    EXPECT_FALSE(pathExists(openTabsPath()));

    writeSnapshot({{"build", "1"}, {"tabs", {tab("reader", a, 0, true)}}});
    auto plan = keeper.decideRestore("196", now);
    ASSERT_TRUE(plan.has_value());
    json stamped = readSnapshot();
    EXPECT_EQ(keeper.writeOpenTabs(false, false, {}, "196", now), W::refused);
    EXPECT_EQ(readSnapshot(), stamped) << "the restore's own list is not overwritten mid-restore";

    keeper.finishRestore(*plan, 1, "");
    EXPECT_EQ(keeper.writeOpenTabs(false, false, {row}, "196", now), W::written);
    json written = readSnapshot();
    EXPECT_EQ(written["build"], "196");
    EXPECT_EQ(written["clean_quit"], false);
    EXPECT_EQ(written["discard"], false);
    EXPECT_EQ(written["written"], now);
    ASSERT_EQ(written["tabs"].size(), 1u);
    EXPECT_EQ(written["tabs"][0]["group"], 3);
    EXPECT_EQ(written["tabs"][0]["selected"], true);
    EXPECT_EQ(written["tabs"][0]["view"], "{}");
    EXPECT_FALSE(written["tabs"][0].contains("mode"));

    // Same content again is skipped; forgetting the last text forces the write.
    EXPECT_EQ(keeper.writeOpenTabs(false, false, {row}, "196", now + 15), W::unchanged);
    keeper.forgetLastWritten();
    EXPECT_EQ(keeper.writeOpenTabs(false, false, {row}, "196", now + 15), W::written);

    // Option-quit: discard with an empty list.
    EXPECT_EQ(keeper.writeOpenTabs(true, true, {row}, "196", now + 20), W::written);
    written = readSnapshot();
    EXPECT_EQ(written["clean_quit"], true);
    EXPECT_EQ(written["discard"], true);
    EXPECT_TRUE(written["tabs"].empty());

    ASSERT_TRUE(cfgSetBool("remember_closed_tabs", false).ok());
    EXPECT_EQ(keeper.writeOpenTabs(false, false, {row}, "196", now + 30), W::removed);
    EXPECT_FALSE(pathExists(openTabsPath()));
}

TEST_F(OpenTabsTest, WriteFailureIsLoggedForRetry) {
    keeper.markLaunchRead();
    ScopedEnv over("CVL_OPEN_TABS_PATH", "/proc/no-such-dir/open-tabs.json");
    EXPECT_EQ(keeper.writeOpenTabs(false, false, {}, "196", now),
              OpenTabsKeeper::WriteOutcome::failed);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_EQ(logLines[0].rfind("open tabs: write failed (", 0), 0u);
    EXPECT_TRUE(logLines[0].ends_with("); will retry"));
}

TEST(ClosedTabRecord, DictionaryRoundTripAndRequiredKeys) {
    ClosedTab full{"review", {"/a", "/b"}, std::string("{\"p\":1}"), std::string("rank"), "Two"};
    json d = closedTabDictionary(full);
    EXPECT_EQ(d, json::parse(R"({"kind":"review","paths":["/a","/b"],"view":"{\"p\":1}",
                                  "mode":"rank","title":"Two"})"));
    EXPECT_EQ(parseClosedTab(d), full);

    ClosedTab bare{"grid", {"/c"}, std::nullopt, std::nullopt, ""};
    json bd = closedTabDictionary(bare);
    EXPECT_FALSE(bd.contains("view"));
    EXPECT_FALSE(bd.contains("mode"));
    EXPECT_TRUE(bd.contains("title"));
    EXPECT_EQ(parseClosedTab(bd), bare);

    EXPECT_FALSE(parseClosedTab(json{{"paths", {"/a"}}, {"title", "t"}}));
    EXPECT_FALSE(parseClosedTab(json{{"kind", "reader"}, {"title", "t"}}));
    EXPECT_FALSE(parseClosedTab(json{{"kind", "reader"}, {"paths", "/a"}}));
    auto noTitle = parseClosedTab(json{{"kind", "reader"}, {"paths", {"/a"}}});
    ASSERT_TRUE(noTitle);
    EXPECT_EQ(noTitle->title, "");
}

TEST(ClosedTabStackTest, KeepsTheNewestTwentyAcrossRestarts) {
    test::TempHome home;
    ClosedTabStack stack;
    EXPECT_EQ(stack.path(), UserDirs::supportDir() + "/closed-tabs.json");
    EXPECT_FALSE(stack.pop().has_value());
    for (int i = 1; i <= 23; ++i)
        stack.push(ClosedTab{"reader", {"/doc" + std::to_string(i) + ".pdf"}, {}, {}, "t"});
    ASSERT_EQ(stack.entries().size(), 20u);
    EXPECT_EQ(stack.entries().front().paths[0], "/doc4.pdf");

    ClosedTabStack reloaded;
    reloaded.load();
    ASSERT_EQ(reloaded.entries().size(), 20u);
    auto top = reloaded.pop();
    ASSERT_TRUE(top);
    EXPECT_EQ(top->paths[0], "/doc23.pdf");

    ClosedTabStack afterPop;
    afterPop.load();
    EXPECT_EQ(afterPop.entries().size(), 19u);
    EXPECT_EQ(afterPop.entries().back().paths[0], "/doc22.pdf");
}

TEST(ClosedTabStackTest, DamagedFileGivesWhatCanBeRead) {
    test::TempHome home;
    ClosedTabStack stack;
    ASSERT_TRUE(test::putFile(stack.path(), "{broken"));
    stack.load();
    EXPECT_TRUE(stack.entries().empty());

    json list = json::array();
    for (int i = 0; i < 25; ++i)
        list.push_back({{"kind", "grid"}, {"paths", {"/p" + std::to_string(i)}}});
    list.push_back({{"title", "no kind"}});
    ASSERT_TRUE(test::putFile(stack.path(), list.dump()));
    stack.load();
    ASSERT_EQ(stack.entries().size(), 20u);
    EXPECT_EQ(stack.entries().front().paths[0], "/p5");
    EXPECT_EQ(stack.entries().back().paths[0], "/p24");
}

}  // namespace
}  // namespace cvl
