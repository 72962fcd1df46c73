// The whole update cycle against a local HTTPS feed, on a throwaway install directory.
#include <gmock/gmock.h>

#include "UpdateFixture.h"
#include "app/UserPrefs.h"
#include "platform/SysLog.h"
#include "updates/CvlLiveWork.h"
#include "updates/ZKStage.h"

namespace cvl::test {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

class UpdateCycle : public UpdateFixture {};

TEST_F(UpdateCycle, HeldForLiveWorkThenInstalledFromTheMenuAndTheNextStartSeesItTook) {
    publish(appcast(makeRelease("2.0", "2", pinnedKeyPem), "2.0", 2));
    int running = standIn();
    CvlLiveWork live;
    int editor = 0;
    live.noteEditorDirty(&editor, true);
    std::vector<std::string> statuses;
    ZKUpdateHooks hooks;
    hooks.mustNotInstallNow = live.updaterHook();
    hooks.onStatus = [&](const std::string& s) { statuses.push_back(s); };
    ZKUpdateConfig cfg = config();
    cfg.targetPID = running;
    auto updater = ZKUpdate::create(cfg, hooks);

    ZKCheckOutcome held = check(updater, ZKCheckKind::Background);
    EXPECT_EQ(held.kind, "held");
    EXPECT_EQ(updater->status(), "v2.0 ready — holding while this computer is in use");
    EXPECT_EQ(updater->pendingMenuTitle(), "Install v2.0 and Relaunch");
    EXPECT_EQ(updater->pendingUpdateNotes(), "Faster.");
    EXPECT_TRUE(traced("sha256 matches the manifest"));
    EXPECT_TRUE(
        traced("verified (Ed25519 signature, TeamIdentifier " + ZKStage::teamID(pinnedRaw)));
    EXPECT_EQ(installedVersion(), "1.0\n");

    live.noteEditorDirty(&editor, false);
    updater->installPendingNow();
    updater->flushTrace();
    EXPECT_TRUE(traced("swap shell spawned: waits for pid " + std::to_string(running) + ", then " +
                       root + ", relaunch in front"));
    EXPECT_EQ(UserPrefs::stringValue("ZKUpdateJustUpdatedTo"), "2.0");
    // Nothing changes while the program runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(installedVersion(), "1.0\n");

    end(running);
    ASSERT_TRUE(waitFor([&] { return traced("shim: done"); }));
    EXPECT_EQ(installedVersion(), "2.0\n");
    EXPECT_TRUE(waitFor([&] { return readFile(marker).value_or("") == "2.0 background=0\n"; }));
    EXPECT_FALSE(pathExists(root + ".old"));
    EXPECT_TRUE(tmpIsEmpty());
    EXPECT_TRUE(traced("shim: installed 2.0 (build 2)"));
    EXPECT_TRUE(traced("shim: done; relaunch requested"));
    std::string trace = traceFile();
    size_t at = trace.find(" shim: pid ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_THAT(trace.substr(at - 19, trace.find('\n', at) - at + 19),
                MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} shim: pid " +
                             std::to_string(running) + " exited after [0-9]+s; swapping"));

    // The next start runs 2.0 and finds the swap it expected.
    ZKUpdateConfig next = config();
    next.runningVersion = "2.0";
    next.runningBuild = "2";
    std::string tookFor;
    ZKUpdateHooks nextHooks;
    nextHooks.onJustUpdated = [&](const std::string& v) { tookFor = v; };
    auto restarted = ZKUpdate::create(next, nextHooks);
    restarted->start();
    restarted->flushTrace();
    Dispatch::manualMain()->drain();
    EXPECT_TRUE(traced("app: running v2.0 after a swap; update took"));
    EXPECT_EQ(tookFor, "2.0");
    EXPECT_FALSE(UserPrefs::value("ZKUpdateJustUpdatedTo"));
}

TEST_F(UpdateCycle, AnAutomaticInstallRelaunchesInTheBackground) {
    publish(appcast(makeRelease("2.0.1", "7", pinnedKeyPem), "2.0.1", 7));
    int running = standIn();
    ZKUpdateConfig cfg = config();
    cfg.targetPID = running;
    auto updater = ZKUpdate::create(cfg, {});
    EXPECT_EQ(check(updater, ZKCheckKind::Background).kind, "swapping");
    EXPECT_TRUE(traced("relaunch in background"));
    end(running);
    EXPECT_TRUE(waitFor([&] { return readFile(marker).value_or("") == "2.0.1 background=1\n"; }));
    EXPECT_TRUE(traced("shim: installed 2.0.1 (build 7)"));
}

TEST_F(UpdateCycle, EachFailureEndsWithItsStatusAndLeavesTheInstallAlone) {
    Release good = makeRelease("2.0", "2", pinnedKeyPem);
    Release byOther = makeRelease("3.0", "3", otherKeyPem);
    Release tampered = good;
    tampered.sha256 = sha256Hex("something else");
    Release badSignature = good;
    badSignature.signature = byOther.signature;
    nlohmann::json otherKey = appcast(byOther, "3.0", 3);
    otherKey["signing_key"] = base64Encode(otherRaw);
    nlohmann::json plainHttp = appcast(good, "2.0", 2);
    plainHttp["url"] = "http://127.0.0.1/files/" + good.file;

    struct Case {
        const char* name;
        nlohmann::json cast;
        std::string status;  // after "checked h:mmAM · "
        std::string alert;
    };
    std::string team = ZKStage::teamID(pinnedRaw);
    std::string unreachable = "Couldn't reach the update feed: No update was applied. " +
                              server->base() +
                              " may be unreachable from this network; the app keeps working as-is.";
    std::vector<Case> cases = {
        {"tampered archive", appcast(tampered, "2.0", 2),
         "failed: sha256 mismatch (got " + good.sha256, "Update failed: sha256 mismatch"},
        {"bad signature", appcast(badSignature, "2.0", 2), "failed: code signature invalid",
         "Update failed: code signature invalid"},
        {"another key", otherKey, "failed: wrong signer (TeamIdentifier != " + team + ")",
         "Update failed: wrong signer"},
        {"http url", plainHttp, "feed unreachable", unreachable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        publish(c.cast);
        std::vector<std::string> alerts;
        ZKUpdateHooks hooks;
        hooks.presentNotice = [&](const std::string& t, const std::string& m) {
            alerts.push_back(t + ": " + m);
        };
        auto updater = ZKUpdate::create(config(), hooks);
        check(updater, ZKCheckKind::Interactive);
        Dispatch::manualMain()->drain();
        EXPECT_THAT(updater->status(), MatchesRegex("checked [0-9]{1,2}:[0-9]{2}(AM|PM) · .*"));
        EXPECT_THAT(updater->status(), HasSubstr(" · " + c.status));
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_THAT(alerts[0], StartsWith(c.alert));
        EXPECT_EQ(installedVersion(), "1.0\n");
        EXPECT_TRUE(tmpIsEmpty());
    }

    // A feed nobody answers, and our own feed without its certificate trusted.
    for (bool trusted : {true, false}) {
        ZKUpdateConfig cfg = config();
        if (trusted)
            cfg.feedBase = "https://127.0.0.1:1";
        else
            cfg.caBundle.clear();
        auto updater = ZKUpdate::create(cfg, {});
        EXPECT_EQ(check(updater, ZKCheckKind::Background).kind, "unreachable");
        EXPECT_THAT(updater->status(), HasSubstr(" · feed unreachable"));
    }
}

TEST_F(UpdateCycle, ATargetThatNeverExitsAbandonsTheSwap) {
    publish(appcast(makeRelease("2.0", "2", pinnedKeyPem), "2.0", 2));
    int running = standIn();
    ZKUpdateConfig cfg = config();
    cfg.targetPID = running;
    cfg.swapWaitSeconds = 1;
    auto updater = ZKUpdate::create(cfg, {});
    EXPECT_EQ(check(updater, ZKCheckKind::Background).kind, "swapping");
    EXPECT_TRUE(waitFor([&] {
        return traced("shim: pid " + std::to_string(running) +
                      " still alive after 1s; swap abandoned, staged copy removed");
    }));
    EXPECT_EQ(installedVersion(), "1.0\n");
    EXPECT_TRUE(waitFor([&] { return tmpIsEmpty(); }));
    EXPECT_FALSE(pathExists(marker));
    end(running);
}

TEST_F(UpdateCycle, ACopyThatFailsHalfWayRestoresThePreviousInstallAndCountsTheAttempt) {
    publish(appcast(makeRelease("2.0", "2", pinnedKeyPem), "2.0", 2));
    // The copy writes part of the new install, then fails.
    std::string failingCopy = home / "failing-cp";
    EXPECT_TRUE(
        writeFileAtomic(failingCopy,
                        "#!/bin/sh\nfor dest; do :; done\nmkdir -p \"$dest/bin\" && echo partial > "
                        "\"$dest/bin/corvello\"\nexit 3\n",
                        0755)
            .ok());
    std::string before = *readFile(root + "/bin/corvello");
    ProcessSpec gone;
    gone.program = "/bin/true";
    int exited = spawnDetached(gone).value();
    ASSERT_TRUE(waitFor([&] { return ::kill(exited, 0) != 0; }));
    std::vector<std::string> log;
    setLogSink([&](const std::string& line) { log.push_back(line); });

    ZKUpdateConfig cfg = config();
    cfg.targetPID = exited;
    cfg.copyTool = failingCopy;
    auto updater = ZKUpdate::create(cfg, {});
    EXPECT_EQ(check(updater, ZKCheckKind::Background).kind, "swapping");
    setLogSink({});
    EXPECT_THAT(
        log, ::testing::Contains("[ZKUpdate] target was not running; installing without relaunch"));
    EXPECT_TRUE(traced(", no relaunch"));
    ASSERT_TRUE(waitFor([&] { return traced("shim: done"); }));
    EXPECT_TRUE(traced("shim: cp FAILED (exit 3); restoring the previous install"));
    EXPECT_EQ(*readFile(root + "/bin/corvello"), before);
    EXPECT_EQ(installedVersion(), "1.0\n");
    EXPECT_FALSE(pathExists(root + ".old"));
    EXPECT_TRUE(tmpIsEmpty());

    // The next start still runs 1.0: the attempt is counted.
    auto restarted = ZKUpdate::create(config(), {});
    restarted->start();
    restarted->flushTrace();
    EXPECT_TRUE(traced("swap to v2.0 did not take (attempt 1 of 3); still running v1.0"));
    EXPECT_EQ(UserPrefs::stringValue("ZKUpdateSwapFailVersion"), "2.0");
}

TEST_F(UpdateCycle, ThreeFailedSwapsPauseAutomaticRetriesUntilAnotherVersionAppears) {
    publish(appcast(makeRelease("2.0", "2", pinnedKeyPem), "2.0", 2));
    UserPrefs::setValue("ZKUpdateJustUpdatedTo", "2.0");
    UserPrefs::setValue("ZKUpdateSwapFailVersion", "2.0");
    UserPrefs::setValue("ZKUpdateSwapFailCount", 2);
    auto updater = ZKUpdate::create(config(), {});
    updater->start();
    EXPECT_EQ(updater->status(),
              "v2.0 could not be installed after 3 attempts — automatic retries paused");
    EXPECT_EQ(check(updater, ZKCheckKind::Background).kind, "paused");
    EXPECT_THAT(updater->status(),
                HasSubstr(" · v2.0 could not be installed — automatic retries paused"));
    EXPECT_FALSE(traced("downloaded"));

    publish(appcast(makeRelease("2.1", "3", pinnedKeyPem), "2.1", 3));
    UserPrefs::setValue("ZKUpdateAutoDownload", false);
    std::vector<int> pendingHook;
    ZKUpdateHooks hooks;
    hooks.onPendingUpdate = [&] { pendingHook.push_back(1); };
    auto later = ZKUpdate::create(config(), hooks);
    EXPECT_EQ(check(later, ZKCheckKind::Background).kind, "available");
    EXPECT_EQ(later->status(), "v2.1 available");
    Dispatch::manualMain()->drain();
    EXPECT_EQ(pendingHook.size(), 1u);
}

TEST_F(UpdateCycle, InteractiveChecksAnswerWithAlerts) {
    std::vector<std::string> alerts;
    std::vector<std::string> questions;
    ZKUpdateHooks hooks;
    hooks.presentNotice = [&](const std::string& t, const std::string& m) {
        alerts.push_back(t + ": " + m);
    };
    hooks.presentConfirm = [&](const std::string& t, const std::string& m, const std::string& yes,
                               const std::string& no, std::function<void(bool)> answer) {
        questions.push_back(t + ": " + m + " [" + yes + "|" + no + "]");
        answer(false);
    };
    auto updater = ZKUpdate::create(config(), hooks);

    publish(appcast(makeRelease("1.0", "1", pinnedKeyPem), "1.0", 1));
    updater->checkNow(true);
    EXPECT_EQ(check(updater, ZKCheckKind::Interactive).kind, "busy");
    waitFor([&] { return !updater->isChecking(); });
    Dispatch::manualMain()->drain();
    EXPECT_THAT(updater->status(), HasSubstr(" · up to date (v1.0)"));
    EXPECT_THAT(alerts, ::testing::ElementsAre(
                            "Already checking for updates: A check started a moment ago is still "
                            "running. If it finds a newer build, it will offer to install it.",
                            "You're up to date: v1.0 (1) is the latest build."));

    nlohmann::json needs = appcast(makeRelease("2.0", "2", pinnedKeyPem), "2.0", 2);
    needs["min_macos"] = "99.1";
    publish(needs);
    EXPECT_EQ(check(updater, ZKCheckKind::Interactive).kind, "needs-newer-system");
    EXPECT_THAT(updater->status(), HasSubstr(" · v2.0 needs glibc 99.1"));
    Dispatch::manualMain()->drain();
    EXPECT_EQ(alerts.back(), "Update needs a newer system: v2.0 requires glibc 99.1.");

    needs.erase("min_macos");
    publish(needs);
    EXPECT_EQ(check(updater, ZKCheckKind::Interactive).kind, "held");
    EXPECT_THAT(questions, ::testing::ElementsAre(
                               "A new version is available: v2.0 (2) is ready. Install it now? The "
                               "app will relaunch. [Install and Relaunch|Later]"));
    EXPECT_EQ(updater->status(), "v2.0 ready to install");
    EXPECT_TRUE(updater->hasPendingUpdate());
}

TEST_F(UpdateCycle, PackageManagedAndFeedlessInstallsNeverCheck) {
    std::vector<std::string> alerts;
    ZKUpdateHooks hooks;
    hooks.presentNotice = [&](const std::string& t, const std::string&) { alerts.push_back(t); };
    ZKUpdateConfig managed = config();
    managed.packageProbe = [] { return std::optional<std::string>("corvello"); };
    auto updater = ZKUpdate::create(managed, hooks);
    updater->start();
    waitFor([&] { return updater->status() == "updates come from the package manager"; }, 10);
    EXPECT_EQ(updater->status(), "updates come from the package manager");
    EXPECT_EQ(check(updater, ZKCheckKind::Interactive).kind, "package-managed");

    ZKUpdateConfig feedless = config();
    feedless.feedBase.clear();
    auto off = ZKUpdate::create(feedless, hooks);
    off->start();
    EXPECT_EQ(check(off, ZKCheckKind::Interactive).kind, "off");
    Dispatch::manualMain()->drain();
    EXPECT_THAT(alerts,
                ::testing::ElementsAre("Updates come from the package manager", "Updates are off"));
    EXPECT_TRUE(traced("app: update_feed is empty; updater off"));
    EXPECT_FALSE(traced("check started"));
}

}  // namespace
}  // namespace cvl::test
