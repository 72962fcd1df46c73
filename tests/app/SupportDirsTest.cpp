#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "TestFiles.h"
#include "app/Brand.h"
#include "app/Config.h"
#include "app/EngineLocator.h"
#include "app/SupportDirs.h"
#include "app/UserPrefs.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

class SupportDirsTest : public testing::Test {
  protected:
    test::TempHome home;
    std::string base = home / "Library/Application Support";
    std::string legacy = base + "/QRT Visualize";
    std::string current = base + "/Corvello";
};

TEST_F(SupportDirsTest, LegacyFolderMovesWithItsContents) {
    ASSERT_TRUE(test::putFile(legacy + "/config.json", "{\"viewer\":\"x\"}"));
    ASSERT_TRUE(test::putFile(legacy + "/versions/a/1.pdf", "%PDF"));
    EXPECT_TRUE(migrateLegacySupportDir());
    EXPECT_FALSE(pathExists(legacy));
    EXPECT_EQ(readFile(current + "/versions/a/1.pdf"), "%PDF");
    EXPECT_EQ(loadConfig()["viewer"], "x");
    // Nothing more to do the second time.
    EXPECT_FALSE(migrateLegacySupportDir());
}

TEST_F(SupportDirsTest, LegacyFolderStaysWhenTheCurrentOneExistsEvenEmpty) {
    ASSERT_TRUE(test::putFile(legacy + "/config.json", "{}"));
    ASSERT_TRUE(makeDirs(current));
    EXPECT_FALSE(migrateLegacySupportDir());
    EXPECT_TRUE(pathExists(legacy + "/config.json"));
    EXPECT_FALSE(pathExists(current + "/config.json"));
}

TEST_F(SupportDirsTest, NoLegacyFolderIsNotAnError) {
    EXPECT_FALSE(migrateLegacySupportDir());
    EXPECT_FALSE(pathExists(current));
}

TEST_F(SupportDirsTest, IconVariantFallsBackToSlateThenToNothing) {
    std::string variants = UserDirs::engineOverrideDir() + "/app/icon/variants";
    ASSERT_TRUE(test::putFile(variants + "/stack_ink_dark.png", "png"));
    ASSERT_TRUE(test::putFile(variants + "/stack_slate_light.png", "png"));
    EXPECT_EQ(appIconsDir(), variants);
    EXPECT_EQ(appIconFile(), variants + "/stack_slate_light.png");  // setting absent

    ASSERT_TRUE(cfgSetBool("unrelated", true).ok());
    auto config = loadConfig();
    config["app_icon"] = "stack_ink_dark";
    ASSERT_TRUE(saveConfig(config).ok());
    EXPECT_EQ(appIconFile(), variants + "/stack_ink_dark.png");
    EXPECT_EQ(appIconFile(std::string("missing_variant")), variants + "/stack_slate_light.png");
    EXPECT_EQ(appIconFile(std::string("../../escape")), variants + "/stack_slate_light.png");

    ASSERT_EQ(::unlink((variants + "/stack_slate_light.png").c_str()), 0);
    EXPECT_EQ(appIconFile(std::string("missing_variant")), std::nullopt);
}

TEST_F(SupportDirsTest, PackagedIconsShipTheDefaultVariant) {
    // Without an override folder the resource folder's appicons are used.
    EXPECT_EQ(appIconsDir(), UserDirs::resourceDir() + "/appicons");
    auto file = appIconFile(std::string("no_such_variant"));
    ASSERT_TRUE(file.has_value());
    auto bytes = readFile(*file);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

TEST(BrandTest, MissingOrWrongTypedKeysKeepTheFallback) {
    Brand b = Brand::fromJSONText(
        R"({"name": "Ledgerly", "tagline": 5, "modules": ["read", 3, "sign"], "extra": 1})");
    EXPECT_EQ(b.name, "Ledgerly");
    EXPECT_EQ(b.tagline, "One window, your whole library.");
    EXPECT_EQ(b.endorsement, "by Orrindel Studios");
    EXPECT_EQ(b.category, "Document Studio");
    EXPECT_TRUE(b.has("sign"));
    EXPECT_FALSE(b.has("sort"));

    Brand bad = Brand::fromJSONText("[1,2]");
    EXPECT_EQ(bad.name, "Corvello");
    EXPECT_TRUE(bad.has("compare"));
    EXPECT_TRUE(Brand::fromJSONText(R"({"modules": "read"})").has("sort"));
}

TEST(UserPrefsTest, RecentItemsFallBackToOldFolderListOnlyWhenAbsent) {
    test::TempHome home;
    EXPECT_TRUE(UserPrefs::recentItems().empty());
    ASSERT_TRUE(UserPrefs::setValue("recentFolders", nlohmann::json({"/a", "/b"})));
    auto items = UserPrefs::recentItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].path, "/a");
    EXPECT_TRUE(items[0].dir);
    EXPECT_GT(items[0].ts, 1.6e9);

    ASSERT_TRUE(UserPrefs::recordRecent("/docs/c.pdf", false, 100));
    ASSERT_TRUE(UserPrefs::recordRecent("/docs", true, 200));
    ASSERT_TRUE(UserPrefs::recordRecent("/docs/c.pdf", false, 300));
    items = UserPrefs::recentItems();
    // The new list replaces the old folders list entirely; newest first, no duplicates.
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].path, "/docs/c.pdf");
    EXPECT_EQ(items[0].ts, 300);
    EXPECT_EQ(items[1].path, "/docs");
    EXPECT_TRUE(items[1].dir);

    ASSERT_TRUE(UserPrefs::setValue("recentItems", nlohmann::json::array()));
    EXPECT_TRUE(UserPrefs::recentItems().empty()) << "an empty list is not absent";
}

TEST(UserPrefsTest, CorruptStoreReadsEmptyAndKeysAreTyped) {
    test::TempHome home;
    ASSERT_TRUE(test::putFile(UserPrefs::path(), "{oops"));
    EXPECT_TRUE(UserPrefs::pinnedFolders().empty());
    EXPECT_TRUE(UserPrefs::quitAlwaysKeepsWindows()) << "windows come back by default";
    ASSERT_TRUE(UserPrefs::setPinnedFolders({"/x/Contracts", "/y/Filings"}));
    ASSERT_TRUE(UserPrefs::setValue("NSQuitAlwaysKeepsWindows", "0"));
    EXPECT_TRUE(UserPrefs::quitAlwaysKeepsWindows()) << "only a boolean counts";
    ASSERT_TRUE(UserPrefs::setValue("NSQuitAlwaysKeepsWindows", false));
    EXPECT_FALSE(UserPrefs::quitAlwaysKeepsWindows());
    EXPECT_EQ(UserPrefs::pinnedFolders(), (std::vector<std::string>{"/x/Contracts", "/y/Filings"}));
    ASSERT_TRUE(UserPrefs::removeValue("pinnedFolders"));
    EXPECT_FALSE(UserPrefs::value("pinnedFolders").has_value());
}

}  // namespace
}  // namespace cvl
