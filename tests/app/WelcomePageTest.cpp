#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "TestFiles.h"
#include "app/Config.h"
#include "app/UserPrefs.h"
#include "app/WelcomePage.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

// The value assigned to window.NAME in the prologue, parsed as JSON.
json prologueValue(const std::string& prologue, const std::string& name) {
    std::string key = "window." + name + "=";
    size_t at = prologue.find(key);
    if (at == std::string::npos) return json("<missing>");
    at += key.size();
    size_t end = prologue.find(";\n", at);
    if (end == std::string::npos) end = prologue.rfind(';');
    return json::parse(prologue.substr(at, end - at), nullptr, false);
}

TEST(WelcomeDemo, ProfileRule) {
    ::unsetenv("CVL_DEMO");
    EXPECT_EQ(welcomeDemoProfile("given", {"--demo", "x"}), "given");
    EXPECT_EQ(welcomeDemoProfile("", {}), std::nullopt);
    EXPECT_EQ(welcomeDemoProfile("", {"--demo", "legal"}), "legal");
    EXPECT_EQ(welcomeDemoProfile("", {"--demo", "--dark"}), "qa");
    EXPECT_EQ(welcomeDemoProfile("", {"--welcome-shot", "o.png", "--demo"}), "qa");
    ::setenv("CVL_DEMO", "sales", 1);
    EXPECT_EQ(welcomeDemoProfile("", {"--demo", "legal"}), "sales");
    ::setenv("CVL_DEMO", "", 1);
    EXPECT_EQ(welcomeDemoProfile("", {"--demo", "legal"}), "legal");
    ::unsetenv("CVL_DEMO");
}

TEST(WelcomePrologue, CarriesPinsRecentsAndSettings) {
    test::TempHome home;
    std::string existing = home / "Cases/Smith";
    ASSERT_TRUE(makeDirs(existing));
    ASSERT_TRUE(UserPrefs::setPinnedFolders({existing}));
    for (int i = 0; i < 14; ++i)
        ASSERT_TRUE(
            UserPrefs::recordRecent(home / ("gone" + std::to_string(i) + ".pdf"), false, 1000 + i));
    ASSERT_TRUE(UserPrefs::recordRecent(existing, true, 5000.4));
    auto config = loadConfig();
    config["welcome_shape"] = "grid";
    ASSERT_TRUE(saveConfig(config).ok());

    std::string p = welcomePrologue({std::string("Saved \"2\" files"), std::nullopt, true});
    EXPECT_EQ(p.rfind("window.CVL_SHELL='mac';window.CVL_DESKTOP=true;\nwindow.CVL_BRAND=", 0), 0u);
    EXPECT_NE(p.find(";\nwindow.CVL_ACCEL_OPEN='Ctrl+O';\n"), std::string::npos);
    EXPECT_TRUE(p.ends_with(";\nwindow.CVL_DEMO=null;"));

    json brand = prologueValue(p, "CVL_BRAND");
    EXPECT_EQ(brand["name"], "Corvello");
    EXPECT_TRUE(brand["modules"].is_array());
    EXPECT_FALSE(brand.contains("domain"));
    EXPECT_EQ(prologueValue(p, "CVL_PINS"),
              json::parse(R"([{"name":"Smith","path":")" + existing + R"("}])"));
    json recents = prologueValue(p, "CVL_RECENTS");
    ASSERT_EQ(recents.size(), 12u);
    EXPECT_EQ(recents[0], json({{"name", "Smith"},
                                {"path", existing},
                                {"kind", "folder"},
                                {"ts", "5000"},
                                {"missing", ""}}));
    EXPECT_EQ(recents[1]["kind"], "file");
    EXPECT_EQ(recents[1]["missing"], "1");
    EXPECT_EQ(prologueValue(p, "CVL_FDA_TIP"), true);
    EXPECT_EQ(prologueValue(p, "CVL_WELCOME_SHAPE"), "grid");
    EXPECT_EQ(prologueValue(p, "CVL_NOTE"), "Saved \"2\" files");
}

TEST(WelcomeFile, EscapesScriptEndTagsAndWritesIntoTheWorkingFolder) {
    test::TempHome home;
    std::string resources = home / "res";
    ASSERT_TRUE(test::putFile(resources + "/engine/welcome.js",
                              "var s='</script><b>';\nwindow.CorvelloWelcome={};"));
    ASSERT_TRUE(test::putFile(resources + "/brand.json", "{}"));
    std::string oldRes = UserDirs::resourceDir();
    ::setenv("CVL_RESOURCES", resources.c_str(), 1);
    std::string path = writeWelcomeFile(std::string("hello"), "legal");
    std::string second = writeWelcomeFile();
    ::setenv("CVL_RESOURCES", oldRes.c_str(), 1);

    EXPECT_EQ(parentPath(path), UserDirs::archiveDir());
    EXPECT_EQ(lastPathComponent(path).rfind(".welcome-", 0), 0u);
    EXPECT_TRUE(path.ends_with(".html"));
    EXPECT_NE(path, second);
    auto html = readFile(path);
    ASSERT_TRUE(html.has_value());
    EXPECT_NE(html->find("var s='<\\/script><b>';"), std::string::npos);
    // Exactly the two script blocks close the page's scripts.
    size_t closes = 0;
    for (size_t at = html->find("</script>"); at != std::string::npos;
         at = html->find("</script>", at + 1))
        ++closes;
    EXPECT_EQ(closes, 2u);
    EXPECT_NE(
        html->find("window.CVL_NOTE=\"hello\";\nwindow.CVL_DEMO=\"legal\";</script>\n<script>"),
        std::string::npos);
    EXPECT_TRUE(html->ends_with("</script>\n</body></html>"));
    EXPECT_NE(html->find("<title>Corvello</title>"), std::string::npos);
    // Without an engine script the page is still written, with an empty script.
    ::setenv("CVL_RESOURCES", (home / "nothing").c_str(), 1);
    std::string bare = writeWelcomeFile();
    ::setenv("CVL_RESOURCES", oldRes.c_str(), 1);
    EXPECT_NE(readFile(bare)->find("<script></script>\n</body></html>"), std::string::npos);
}

}  // namespace
}  // namespace cvl
