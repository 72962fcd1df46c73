// The application's own modules, answered through fake dialogs and a fake application: the
// openers (by path, through choosers, the desktop's facilities), the messages that open an
// address or copy a share link, and the settings operations.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/AppControl.h"
#include "app/Config.h"
#include "app/OpenModule.h"
#include "app/SettingsModule.h"
#include "app/UserPrefs.h"
#include "memory/DocLinks.h"
#include "memory/HistoryStore.h"
#include "platform/TextEscape.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"
#include "window/FeatureModules.h"

namespace cvl {
namespace {

struct FakeControl : AppControl {
    std::vector<std::string> calls;
    void openPanel(const std::string& kind) override { calls.push_back("panel " + kind); }
    void toggleAppearance() override { calls.push_back("toggle"); }
    void applyConfig(const std::string& key, const std::string& value) override {
        calls.push_back("config " + key + "=" + value);
    }
    void setShortcut(const std::string& command, const std::string& combo) override {
        calls.push_back("shortcut " + command + "=" + combo);
    }
};

struct Opening {
    test::TempHome home;
    HistoryStore history{HistoryStore::Options{home / "support", {}, {}}};
    OpenModule open{history};
    test::ModuleHarness h;

    void go(const std::string& url) { open.handle(h.request(url)); }
};

TEST(OpenModule, DocumentsAndFoldersByPathAndThroughChoosers) {
    Opening o;
    o.go("qrtiz://reader?path=%2Ftmp%2Fa%20b.pdf&page=4");
    o.go("qrtiz://reader?page=2");  // no path: nothing
    o.go("qrtiz://openrecent?p=" + percentEncode(o.home.path()));
    o.go("qrtiz://openroot?path=%2Fnowhere%2Flib");
    o.go("qrtiz://openurl?url=http%3A%2F%2Fexample.org");  // not https: ignored
    o.go("qrtiz://openurl?url=https%3A%2F%2Fexample.org%2Fhelp");
    o.go("qrtiz://histreveal?path=%2Ftmp%2Fa.pdf");
    EXPECT_EQ(o.h.app.calls,
              (std::vector<std::string>{"reader /tmp/a b.pdf 4", "review " + o.home.path() + " ",
                                        "notice update Can\u2019t open this library",
                                        "browser https://example.org/help", "reveal /tmp/a.pdf"}));

    // Choosers: a folder for a review in the op's mode, a document for the reader; a
    // cancelled chooser opens nothing.
    o.h.app.calls.clear();
    o.h.dialogs.chooseAnswers = {{"/cases"}, {}, {"/docs/Memo.docx"}};
    o.go("qrtiz://rank");
    o.go("qrtiz://open");
    o.go("qrtiz://read");
    o.h.drain();
    EXPECT_EQ(o.h.app.calls,
              (std::vector<std::string>{"review /cases rank", "reader /docs/Memo.docx 0"}));
    ASSERT_EQ(o.h.dialogs.choices.size(), 3u);
    EXPECT_TRUE(o.h.dialogs.choices[0].folders);
    EXPECT_FALSE(o.h.dialogs.choices[2].folders);
    EXPECT_NE(std::find(o.h.dialogs.choices[2].extensions.begin(),
                        o.h.dialogs.choices[2].extensions.end(), "docx"),
              o.h.dialogs.choices[2].extensions.end());

    // Pins are kept in the preferences.
    o.go("qrtiz://pin?path=%2Fcases");
    o.go("qrtiz://pin?path=%2Fmore");
    o.go("qrtiz://unpin?path=%2Fcases");
    EXPECT_EQ(UserPrefs::pinnedFolders(), std::vector<std::string>{"/more"});
}

TEST(OpenModule, OnlyShareLinksReachTheClipboardAndOnlyWebAddressesTheBrowser) {
    Opening o;
    auto say = [&](const std::string& action, const std::string& body) {
        o.open.handleMessage(o.h.message(action, body));
    };
    say("clipboard", R"({"action":"clipboard","text":"http://example.org/x"})");
    say("clipboard", R"({"action":"clipboard","text":"rm -rf ~"})");
    say("clipboard", R"({"action":"clipboard","text":"https://example.org/s/abc"})");
    say("openExternal", R"({"action":"openExternal","url":"file:///etc/passwd"})");
    say("openExternal", R"({"action":"openExternal","url":"https://example.org/help"})");
    o.h.drain();
    EXPECT_EQ(o.h.app.calls, (std::vector<std::string>{"clipboard https://example.org/s/abc",
                                                       "browser https://example.org/help"}));
    EXPECT_EQ(o.h.window->scripts.size(), 3u);  // each copy is answered, copied or not
    EXPECT_NE(o.h.window->scripts.back().find("_copyDone(true)"), std::string::npos);
}

TEST(SettingsModule, PanelSettersAndPageSettings) {
    test::TempHome home;
    FakeControl control;
    SettingsModule settings(control);
    test::ModuleHarness h;
    auto go = [&](const std::string& url) { settings.handle(h.request(url)); };
    go("qrtiz://setcfg?key=max_depth&value=-1");
    go("qrtiz://setcfg?value=1");  // no key: nothing
    go("qrtiz://seticon?id=stack_ink_dark");
    go("qrtiz://setshortcut?action=quit&combo=Ctrl%2BAlt%2BX");
    go("qrtiz://prefs");
    go("qrtiz://appearance");
    EXPECT_EQ(control.calls,
              (std::vector<std::string>{"config max_depth=-1", "config app_icon=stack_ink_dark",
                                        "shortcut quit=Ctrl+Alt+X", "panel settings", "toggle"}));

    go("qrtiz://setview?mode=grid");
    go("qrtiz://setview?mode=null");
    EXPECT_EQ(cfgString("folder_view", ""), "grid");
    ASSERT_TRUE(cfgSetBool("pageops_skip_delete", true).ok());
    go("qrtiz://resetpageopskip");
    EXPECT_FALSE(loadConfig().contains("pageops_skip_delete"));
    EXPECT_EQ(h.app.calls, std::vector<std::string>{"settings"});
}

// Every module of the program together: one home per operation and per message.
TEST(FeatureModules, NoTwoModulesClaimOneName) {
    test::TempHome home;
    FakeControl control;
    HistoryStore history{HistoryStore::Options{home / "support", {}, {}}};
    LinkSession links;
    BridgeModuleSet modules;
    addFeatureModules(modules, FeatureServices{control, history, links, nullptr});
    EXPECT_EQ(modules.clashes(), std::vector<std::string>{});
    // A sample of each side: the migrated page commands and a feature added beside them.
    EXPECT_NE(modules.forOperation("pagecmd"), nullptr);
    EXPECT_NE(modules.forOperation("speak"), nullptr);
}

}  // namespace
}  // namespace cvl
