#include "app/AppMenu.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

namespace cvl {
namespace {

using nlohmann::json;

std::vector<std::string> accelsOf(const std::vector<AppMenu::Menu>& menus, const char* command) {
    const AppMenu::Item* item = AppMenu::find(menus, command);
    EXPECT_NE(item, nullptr) << command;
    return item ? item->accels : std::vector<std::string>{};
}

TEST(AppMenu, CommandsThatNeedSomethingAreDisabledWithoutIt) {
    AppMenu::State empty;
    auto menus = AppMenu::build(empty, json());
    for (const char* c : {"reopen-closed-tab", "close-tab", "close-window", "reload", "zoom-in",
                          "zoom-out", "zoom-width"})
        EXPECT_FALSE(AppMenu::find(menus, c)->enabled) << c;
    for (const char* c : {"new-window", "open", "open-folder", "file-history", "toggle-theme",
                          "settings", "about", "quit"})
        EXPECT_TRUE(AppMenu::find(menus, c)->enabled) << c;

    AppMenu::State busy;
    busy.closedTabs = 1;
    busy.hasWindow = true;
    busy.readerShown = true;
    menus = AppMenu::build(busy, json());
    for (const char* c : {"reopen-closed-tab", "close-tab", "reload", "zoom-in", "zoom-width"})
        EXPECT_TRUE(AppMenu::find(menus, c)->enabled) << c;
}

TEST(AppMenu, BuiltInShortcutsAreUniqueAndEveryCommandIsListedOnce) {
    auto menus = AppMenu::build(AppMenu::State{}, json());
    std::set<std::string> seen;
    for (const auto& id : AppMenu::commandIds()) {
        EXPECT_TRUE(seen.insert(id).second) << id;
        const AppMenu::Item* item = AppMenu::find(menus, id);
        ASSERT_NE(item, nullptr) << id;
    }
    std::set<std::string> accels;
    for (const auto& id : seen)
        for (const auto& a : AppMenu::find(menus, id)->accels)
            EXPECT_TRUE(accels.insert(a).second) << a << " used twice";
    EXPECT_EQ(accelsOf(menus, "reopen-closed-tab"), std::vector<std::string>{"<Control><Shift>t"});
}

TEST(AppMenu, ShortcutTextsAreReadOrRefused) {
    EXPECT_EQ(AppMenu::parseShortcut("Ctrl+Shift+K"), "<Control><Shift>k");
    EXPECT_EQ(AppMenu::parseShortcut(" shift + cmd + f5 "), "<Control><Shift>F5");
    EXPECT_EQ(AppMenu::parseShortcut("Alt++"), "<Alt>plus");
    EXPECT_EQ(AppMenu::parseShortcut("<Primary><shift>comma"), "<Control><Shift>comma");
    EXPECT_EQ(AppMenu::parseShortcut("NONE"), "");
    for (const char* bad : {"", "k", "Shift+K", "Ctrl+", "Hyper+K", "Ctrl+F13", "Ctrl+Foo",
                            "<Control>", "<Meta>k", "<Control k"})
        EXPECT_FALSE(AppMenu::parseShortcut(bad)) << bad;
}

TEST(AppMenu, UserShortcutsReplaceRemoveAndTakeOverBuiltInOnes) {
    json shortcuts = {{"file-history", "Ctrl+T"},   // taken from Toggle Light/Dark
                      {"quit", "none"},             // removed
                      {"zoom-in", "Ctrl+Shift+Z"},  // both built-in zoom keys replaced
                      {"open", "gibberish"},        // unreadable: the built-in one stays
                      {"no-such-command", "Ctrl+J"},
                      {"reload", 5}};
    auto menus = AppMenu::build(AppMenu::State{}, shortcuts);
    EXPECT_EQ(accelsOf(menus, "file-history"), std::vector<std::string>{"<Control>t"});
    EXPECT_TRUE(accelsOf(menus, "toggle-theme").empty());
    EXPECT_TRUE(accelsOf(menus, "quit").empty());
    EXPECT_EQ(accelsOf(menus, "zoom-in"), std::vector<std::string>{"<Control><Shift>z"});
    EXPECT_EQ(accelsOf(menus, "open"), std::vector<std::string>{"<Control><Shift>o"});
    EXPECT_EQ(accelsOf(menus, "reload"), std::vector<std::string>{"<Control>r"});
}

TEST(AppMenu, TheSettingsPanelStoresShortcutsAndListsThemAsPeopleWriteThem) {
    json settings = {{"appearance", "dark"}};
    ASSERT_TRUE(AppMenu::storeShortcut(settings, "file-history", " Ctrl+H "));
    ASSERT_TRUE(AppMenu::storeShortcut(settings, "quit", "none"));
    // Refused: nothing is stored.
    const json before = settings;
    auto unknown = AppMenu::storeShortcut(settings, "format-disk", "Ctrl+D");
    EXPECT_FALSE(unknown);
    EXPECT_NE(unknown.error().find("format-disk"), std::string::npos);
    EXPECT_FALSE(AppMenu::storeShortcut(settings, "night-mode", "Ctrl+M"));
    auto unreadable = AppMenu::storeShortcut(settings, "open", "Ctrl+Banana");
    EXPECT_FALSE(unreadable);
    EXPECT_NE(unreadable.error().find("Ctrl+Banana"), std::string::npos);
    EXPECT_EQ(settings, before);
    EXPECT_EQ(settings["shortcuts"], (json{{"file-history", "Ctrl+H"}, {"quit", "none"}}));
    EXPECT_EQ(settings["appearance"], "dark");

    json list = AppMenu::shortcutList(settings["shortcuts"]);
    auto row = [&](const std::string& command) {
        for (const auto& r : list)
            if (r["command"] == command) return r;
        ADD_FAILURE() << command;
        return json();
    };
    EXPECT_EQ(row("file-history")["keys"], "Ctrl+H");
    EXPECT_EQ(row("file-history")["custom"], true);
    EXPECT_EQ(row("quit")["keys"], "");
    EXPECT_EQ(row("zoom-in")["keys"], "Ctrl++, Ctrl+=");
    EXPECT_EQ(row("reopen-closed-tab")["keys"], "Ctrl+Shift+T");
    EXPECT_EQ(row("reopen-closed-tab")["custom"], false);
    EXPECT_EQ(list.size(), AppMenu::commandIds().size() - 1);  // night modes are not listed

    // An empty text brings the built-in shortcut back.
    ASSERT_TRUE(AppMenu::storeShortcut(settings, "quit", ""));
    list = AppMenu::shortcutList(settings["shortcuts"]);
    EXPECT_EQ(row("quit")["keys"], "Ctrl+Q, Ctrl+Alt+Q");
}

}  // namespace
}  // namespace cvl
