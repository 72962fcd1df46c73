// The default-viewer rows through a fake window: when the reader may offer itself ("Later"
// snoozes for 3, 14 then 60 days, "Never" until undone, both kept in preferences.json), and
// what "Make Default" does with the desktop's xdg-mime in a throwaway configuration.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "app/DefaultViewer.h"
#include "app/DefaultViewerModule.h"
#include "app/UserPrefs.h"
#include "platform/FileIO.h"
#include "platform/XdgTools.h"
#include "support/ModuleFakes.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;
using test::ScopedEnv;

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class DefaultViewerModuleTest : public testing::Test {
  protected:
    test::TempHome home;
    // The desktop's configuration and data stay in the test home; no desktop environment.
    ScopedEnv config{"XDG_CONFIG_HOME", home / "config"};
    ScopedEnv data{"XDG_DATA_HOME", home / "data"};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", home / "system"};
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", nullptr};
    ScopedEnv session{"DESKTOP_SESSION", nullptr};
    ScopedEnv resources{"CVL_RESOURCES", CVL_SOURCE_RESOURCES};
    test::ModuleHarness h;
    DefaultViewerModule module;

    void send(const std::string& op) { module.handle(h.request("qrtiz://" + op)); }
    json prefs() { return json::parse(readFile(UserPrefs::path()).value_or("{}"), nullptr, false); }
    bool dueNow(double at) { return DefaultViewer::due(DefaultViewer::loadPrompt(), at, false); }
};

TEST_F(DefaultViewerModuleTest, LaterWaitsLongerEachTimeAndNeverHoldsUntilUndone) {
    // Fresh: the reader is offered Corvello for PDFs, which it does not open yet.
    send("defaultpdf");
    ASSERT_TRUE(h.runUntil([&] { return !h.window->callsOf("cvlOfferDefault").empty(); }, 30000));
    const json offer = json::parse(h.window->lastArgs("cvlOfferDefault"));
    EXPECT_EQ(offer["pdf"], false);
    EXPECT_EQ(offer["total"], static_cast<int>(DefaultViewer::allTypes().size()));

    const double t0 = now();
    send("defaultsnooze");
    EXPECT_EQ(prefs()[DefaultViewer::kSnoozesKey], 1);
    EXPECT_NEAR(prefs()[DefaultViewer::kNextAskKey].get<double>(), t0 + 3 * 86400, 60);
    EXPECT_FALSE(dueNow(t0 + 2 * 86400));
    EXPECT_TRUE(dueNow(t0 + 3 * 86400 + 60));
    send("defaultpdfdismiss");  // closing the bar counts as Later too
    EXPECT_NEAR(prefs()[DefaultViewer::kNextAskKey].get<double>(), t0 + 14 * 86400, 60);
    send("defaultsnooze");
    send("defaultsnooze");
    EXPECT_EQ(prefs()[DefaultViewer::kSnoozesKey], 4);
    EXPECT_NEAR(prefs()[DefaultViewer::kNextAskKey].get<double>(), t0 + 60 * 86400, 60);

    send("defaultnever");
    EXPECT_EQ(prefs()[DefaultViewer::kNeverKey], true);
    EXPECT_FALSE(prefs().contains(DefaultViewer::kNextAskKey));
    EXPECT_FALSE(dueNow(t0 + 400 * 86400));
    send("defaultneverundo");
    EXPECT_EQ(prefs()[DefaultViewer::kNeverKey], false);
    EXPECT_TRUE(dueNow(t0));
    EXPECT_EQ(std::count(h.app.calls.begin(), h.app.calls.end(), "settings"), 2);

    // Once the stored time has passed, the reader offers again.
    UserPrefs::setValue(DefaultViewer::kNextAskKey, t0 - 1);
    send("defaultpdf");
    EXPECT_TRUE(
        h.runUntil([&] { return h.window->callsOf("cvlOfferDefault").size() == 2; }, 30000));
}

TEST_F(DefaultViewerModuleTest, MakeDefaultWritesTheDesktopEntryAndNamesItForTheTypes) {
    if (!XdgTools::findProgram("xdg-mime")) GTEST_SKIP() << "xdg-mime is not installed";
    // Another viewer is the default for every type of the group until then.
    const auto word = DefaultViewer::group("word")->types;
    ASSERT_TRUE(XdgTools::setDefaultApp("other-viewer.desktop", word));
    send("setdefaultgroup?name=word");
    ASSERT_TRUE(h.runUntil([&] { return h.window->sent("Corvello now opens Word"); }, 30000));
    EXPECT_NE(h.window->scripts.front().find("__cvlDefaultBusy(true)"), std::string::npos);
    EXPECT_TRUE(h.window->sent("__cvlDefaultBusy(false)"));
    EXPECT_TRUE(h.runUntil([&] { return !h.app.calls.empty(); }));
    EXPECT_EQ(h.app.calls, std::vector<std::string>{"settings"});

    // The entry the desktop starts: Corvello's own, running a corvello program.
    const auto entry = readFile(home / "data/applications/corvello.desktop");
    ASSERT_TRUE(entry.has_value());
    EXPECT_NE(entry->find("\nExec="), std::string::npos);
    EXPECT_NE(entry->find("corvello"), std::string::npos);
    EXPECT_NE(entry->find("application/pdf"), std::string::npos);
    for (const auto& type : word) EXPECT_EQ(XdgTools::defaultApp(type), "corvello.desktop") << type;
}

TEST_F(DefaultViewerModuleTest, MakeDefaultWithoutXdgMimeSaysWhyAndChangesNothing) {
    ScopedEnv path{"PATH", home / "empty"};
    send("setdefaultpdf");
    // The busy mark ends before the toast is sent, on the same worker: wait for the toast.
    ASSERT_TRUE(h.runUntil(
        [&] { return h.window->sent("Corvello could not become the default: xdg-mime"); }, 30000));
    EXPECT_TRUE(h.window->sent("__cvlDefaultBusy(false)"));
    h.drain();
    EXPECT_TRUE(h.app.calls.empty());
}

}  // namespace
}  // namespace cvl
