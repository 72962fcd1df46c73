#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/FlagDispatch.h"
#include "app/OpenTabs.h"

namespace cvl {
namespace {

using Args = std::vector<std::string>;

std::string matched(const Args& args) {
    const FlagRow* row = matchFlag(args);
    return row ? row->flag : "";
}

TEST(FlagTable, FirstRowInTableOrderWinsWhereverTheFlagsStand) {
    EXPECT_EQ(matched({"--welcome-shot", "/tmp/x.png", "--selftest-tab-restore"}),
              "--selftest-tab-restore");
    EXPECT_EQ(matched({"--selftest-identity", "--night-selftest"}), "--night-selftest");
    EXPECT_EQ(matched({"somefile.pdf"}), "");
    EXPECT_EQ(matched({}), "");
}

TEST(FlagTable, FlagThatNeedsANextArgumentDoesNotMatchWithoutOne) {
    EXPECT_EQ(matched({"--shot-menu-kit"}), "");
    EXPECT_EQ(matched({"--shot-menu-kit", "/tmp/shots"}), "--shot-menu-kit");
    // Without its directory the notice-shot row is skipped and the next matching row decides.
    EXPECT_EQ(matched({"--welcome-shot", "out.png", "--notice-shot"}), "--welcome-shot");
    // The welcome shot matches without its path and reports the missing path itself.
    EXPECT_EQ(matched({"--welcome-shot"}), "--welcome-shot");
}

TEST(FlagTable, ModesOfOtherBuildsFailHonestly) {
    DesktopModes none;
    testing::internal::CaptureStderr();
    auto status = runFlagMode({"--selftest-vault"}, none);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(err, "corvello: --selftest-vault is not available in this build\n");
    EXPECT_FALSE(runFlagMode({"a.pdf"}, none).has_value());
}

TEST(FlagTable, NoticeShotHandsItsFolderToTheRendererAndExitsWithItsStatus) {
    static std::string folder;
    DesktopModes modes;
    modes.noticeShot = [](const std::string& dir) {
        folder = dir;
        return 7;
    };
    // Listed before the vault self-test, so it decides wherever the flags stand.
    EXPECT_EQ(runFlagMode({"--selftest-vault", "--notice-shot", "/tmp/shots"}, modes), 7);
    EXPECT_EQ(folder, "/tmp/shots");
    testing::internal::CaptureStderr();
    EXPECT_EQ(runFlagMode({"--notice-shot", "/tmp/shots"}, DesktopModes{}), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not available"), std::string::npos);
}

TEST(WelcomeShotArgs, OutputPathRules) {
    EXPECT_FALSE(parseWelcomeShotArgs({"--welcome-shot"}));
    EXPECT_EQ(parseWelcomeShotArgs({"--welcome-shot", "--dark"}).error(),
              "--welcome-shot needs an output path");
    EXPECT_FALSE(parseWelcomeShotArgs({"--welcome-shot", ""}));
    auto ok = parseWelcomeShotArgs({"--welcome-shot", "/tmp/w.png"});
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->out, "/tmp/w.png");
    EXPECT_FALSE(ok->dark);
    EXPECT_EQ(ok->width, 1280);
    EXPECT_EQ(ok->height, 900);
    EXPECT_EQ(ok->demo, "marketing");
    EXPECT_FALSE(ok->wantTools);
}

TEST(WelcomeShotArgs, OptionsAndTheirFallbacks) {
    auto o = parseWelcomeShotArgs({"--welcome-shot", "o.png", "--dark", "--size", "800x600",
                                   "--demo", "legal", "--tab", "tools"});
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->dark);
    EXPECT_EQ(o->width, 800);
    EXPECT_EQ(o->height, 600);
    EXPECT_EQ(o->demo, "legal");
    EXPECT_TRUE(o->wantTools);

    for (const char* bad : {"800", "800x", "axb", "800x600x2", "80.5x600", "-800x600"}) {
        auto s = parseWelcomeShotArgs({"--welcome-shot", "o.png", "--size", bad});
        ASSERT_TRUE(s);
        EXPECT_EQ(s->width, 1280) << bad;
        EXPECT_EQ(s->height, 900) << bad;
    }
    // Empty pieces are dropped before counting.
    auto doubled = parseWelcomeShotArgs({"--welcome-shot", "o.png", "--size", "640xx480"});
    EXPECT_EQ(doubled->width, 640);
    EXPECT_EQ(doubled->height, 480);

    auto demoFlag = parseWelcomeShotArgs({"--welcome-shot", "o.png", "--demo", "--dark"});
    EXPECT_EQ(demoFlag->demo, "marketing");
    EXPECT_FALSE(parseWelcomeShotArgs({"--welcome-shot", "o.png", "--tab", "recent"})->wantTools);
    EXPECT_FALSE(parseWelcomeShotArgs({"--welcome-shot", "o.png", "tools"})->wantTools);
}

TEST(RestoreReason, QuitAgeBoundaryAndNegativeAges) {
    // 600 s is already an old quit; just under it is the updater's relaunch.
    EXPECT_EQ(openTabsRestoreReason("1", "2", true, 599.9, false, false), "update");
    EXPECT_EQ(openTabsRestoreReason("1", "2", true, 600, false, false), std::nullopt);
    EXPECT_EQ(openTabsRestoreReason("1", "2", true, -5, false, true), "relaunch");
    // A snapshot without a saved build counts as another build.
    EXPECT_EQ(openTabsRestoreReason(std::nullopt, "2", false, std::nullopt, false, false),
              "update");
}

}  // namespace
}  // namespace cvl
