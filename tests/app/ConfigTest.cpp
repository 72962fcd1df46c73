#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/Config.h"
#include "app/ConfigApply.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "support/TempHome.h"
#include "window/PageScript.h"

namespace cvl {
namespace {

using nlohmann::json;

class ConfigTest : public testing::Test {
  protected:
    test::TempHome home;
    void writeConfigText(const std::string& text) {
        ASSERT_TRUE(makeDirs(UserDirs::supportDir()));
        ASSERT_TRUE(writeFileAtomic(UserDirs::configPath(), text));
    }
    json fileContents() {
        auto text = readFile(UserDirs::configPath());
        return text ? json::parse(*text, nullptr, false) : json();
    }
};

TEST_F(ConfigTest, UnusableFilesGiveExactlyTheFourDefaults) {
    const json defaults = {{"max_depth", 2},
                           {"ignore_archive_folders", true},
                           {"output_copy_dir", ""},
                           {"viewer", "app"}};
    EXPECT_EQ(loadConfig(), defaults);  // no file at all
    for (const char* text : {"[]", "{not json", "", "\"text\"", "42", "null"}) {
        writeConfigText(text);
        EXPECT_EQ(loadConfig(), defaults) << "file: " << text;
    }
}

TEST_F(ConfigTest, FileWinsOverDefaultsAndUnknownKeysSurviveAWrite) {
    writeConfigText(R"({"max_depth": null, "viewer": "browser", "future_key": {"a": [1, 2]}})");
    json c = loadConfig();
    EXPECT_TRUE(c["max_depth"].is_null());
    EXPECT_EQ(c["viewer"], "browser");
    EXPECT_EQ(c["ignore_archive_folders"], true);

    ASSERT_TRUE(cfgSetBool("menu_bar_icon", true).ok());
    json saved = fileContents();
    EXPECT_EQ(saved["future_key"], json({{"a", {1, 2}}}));
    EXPECT_EQ(saved["menu_bar_icon"], true);
    EXPECT_TRUE(saved["max_depth"].is_null());
    // Written pretty-printed with sorted keys.
    std::string text = *readFile(UserDirs::configPath());
    EXPECT_LT(text.find("\"future_key\""), text.find("\"ignore_archive_folders\""));
    EXPECT_NE(text.find("\n  \"max_depth\": null"), std::string::npos);
}

TEST_F(ConfigTest, CorruptFileIsOverwrittenByTheNextSaveWithDefaultsPlusTheChange) {
    writeConfigText("{{{");
    ASSERT_TRUE(cfgSetBool("auto_refresh", false).ok());
    json saved = fileContents();
    EXPECT_EQ(saved["auto_refresh"], false);
    EXPECT_EQ(saved["max_depth"], 2);
    EXPECT_EQ(saved.size(), 5u);
}

TEST_F(ConfigTest, BooleanCoercion) {
    writeConfigText(R"({"t_text": "1", "t_word": "true", "t_num": 1, "t_frac": 0.5, "t_bool": true,
        "f_yes": "yes", "f_True": "True", "f_zero": 0, "f_text0": "0", "f_bool": false,
        "n_null": null, "n_arr": [1], "n_obj": {}})");
    for (const char* k : {"t_text", "t_word", "t_num", "t_frac", "t_bool"}) {
        EXPECT_TRUE(cfgBool(k, false)) << k;
    }
    for (const char* k : {"f_yes", "f_True", "f_zero", "f_text0", "f_bool"}) {
        EXPECT_FALSE(cfgBool(k, true)) << k;
    }
    for (const char* k : {"n_null", "n_arr", "n_obj", "absent"}) {
        EXPECT_TRUE(cfgBool(k, true)) << k;
        EXPECT_FALSE(cfgBool(k, false)) << k;
    }
}

TEST_F(ConfigTest, TextReaderFallsBackOnWrongType) {
    writeConfigText(R"({"tts_voice": 7, "app_icon": "stack_ink_dark"})");
    EXPECT_EQ(cfgString("tts_voice", "auto"), "auto");
    EXPECT_EQ(cfgString("app_icon", "stack_slate_light"), "stack_ink_dark");
    EXPECT_EQ(cfgString("welcome_shape", "folded"), "folded");
}

struct HookLog {
    std::vector<std::string> calls;
    ConfigHooks hooks() {
        ConfigHooks h;
        h.rebuildMenu = [this] { calls.push_back("menu"); };
        h.setStatusItem = [this](bool on) { calls.push_back(on ? "status:on" : "status:off"); };
        h.saveClosedTabs = [this] { calls.push_back("closed:save"); };
        h.forgetLastSnapshotText = [this] { calls.push_back("snapshot:forget"); };
        h.writeOpenTabsSnapshot = [this] { calls.push_back("snapshot:write"); };
        h.applyAppearance = [this] { calls.push_back("appearance"); };
        h.setNightMode = [this](const std::string& v) { calls.push_back("night:set:" + v); };
        h.applyNightNow = [this] { calls.push_back("night:apply"); };
        h.rescheduleNightFlip = [this] { calls.push_back("night:reschedule"); };
        h.reloadSettingsPanel = [this] { calls.push_back("panel:reload"); };
        h.runInReaderWindows = [this](const std::string& s) { calls.push_back("reader:" + s); };
        h.resetReadAloudVoices = [this] { calls.push_back("tts:reset"); };
        h.now = [] { return 1700000000.5; };
        return h;
    }
};

TEST_F(ConfigTest, MaxDepthConversions) {
    HookLog log;
    applyConfig("max_depth", "5", log.hooks());
    EXPECT_EQ(loadConfig()["max_depth"], 5);
    applyConfig("max_depth", "abc", log.hooks());
    EXPECT_EQ(loadConfig()["max_depth"], 5);
    applyConfig("max_depth", "3.5", log.hooks());
    EXPECT_EQ(loadConfig()["max_depth"], 5);
    applyConfig("max_depth", "-1", log.hooks());
    json c = loadConfig();
    ASSERT_TRUE(c.contains("max_depth"));
    EXPECT_TRUE(c["max_depth"].is_null());
    // The menu is rebuilt even when nothing was stored.
    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "menu"), 4);
}

TEST_F(ConfigTest, BooleanKeysStoreBooleansOthersStoreText) {
    HookLog log;
    applyConfig("auto_refresh", "0", log.hooks());
    applyConfig("pageops_confirm", "true", log.hooks());
    applyConfig("night_pages", "yes", log.hooks());
    applyConfig("open_in", "window", log.hooks());
    applyConfig("pageops_skip_delete", "1", log.hooks());
    json c = loadConfig();
    EXPECT_EQ(c["auto_refresh"], false);
    EXPECT_EQ(c["pageops_confirm"], true);
    EXPECT_EQ(c["night_pages"], false);
    EXPECT_EQ(c["open_in"], "window");
    // Not in the boolean list: kept as the text; cfgBool still reads it as true.
    EXPECT_EQ(c["pageops_skip_delete"], "1");
    EXPECT_TRUE(cfgBool("pageops_skip_delete", false));
}

TEST_F(ConfigTest, NightKeysStampTheManualChangeButNotThemselves) {
    HookLog log;
    applyConfig("night_from", "sunset", log.hooks());
    EXPECT_EQ(loadConfig()["night_set_at"], 1700000000.5);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"menu", "night:apply", "night:reschedule",
                                                   "panel:reload"}));

    log.calls.clear();
    applyConfig("night_set_at", "1234", log.hooks());
    EXPECT_EQ(loadConfig()["night_set_at"], "1234");
    EXPECT_EQ(log.calls, (std::vector<std::string>{"menu", "night:apply", "night:reschedule",
                                                   "panel:reload"}));

    log.calls.clear();
    applyConfig("night_mode", "auto", log.hooks());
    EXPECT_EQ(loadConfig()["night_set_at"], "1234");
    EXPECT_EQ(log.calls, (std::vector<std::string>{"menu", "night:set:auto"}));
}

TEST_F(ConfigTest, SideEffectsReachTheirHooks) {
    HookLog log;
    applyConfig("reader_statusbar", "1", log.hooks());
    applyConfig("reader_zoom_with_window", "false", log.hooks());
    applyConfig("reading_theme_files", "perfile", log.hooks());
    applyConfig("reading_theme_files", "bogus", log.hooks());
    applyConfig("menu_bar_icon", "true", log.hooks());
    applyConfig("remember_closed_tabs", "0", log.hooks());
    applyConfig("tts_voice", "en-us", log.hooks());
    applyConfig("appearance", "dark", log.hooks());
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"menu",
                                        "reader:" + PageScript::call("cvlStatusBar", "true"),
                                        "menu",
                                        "reader:" + PageScript::call("cvlZoomWithWin", "false"),
                                        "menu",
                                        "reader:" + PageScript::call("__cvlPTMode", "'perfile'"),
                                        "night:apply",
                                        "menu",
                                        "reader:" + PageScript::call("__cvlPTMode", "'system'"),
                                        "night:apply",
                                        "menu",
                                        "status:on",
                                        "menu",
                                        "closed:save",
                                        "snapshot:forget",
                                        "snapshot:write",
                                        "menu",
                                        "tts:reset",
                                        "menu",
                                        "appearance"}));
    EXPECT_EQ(loadConfig()["remember_closed_tabs"], false);
}

TEST_F(ConfigTest, MissingHooksAreSkipped) {
    applyConfig("night_until", "07:00", ConfigHooks{});
    json c = loadConfig();
    EXPECT_EQ(c["night_until"], "07:00");
    EXPECT_TRUE(c["night_set_at"].is_number());
}

}  // namespace
}  // namespace cvl
