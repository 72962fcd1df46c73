#include "app/FocusHandBack.h"

#include <gtest/gtest.h>

namespace cvl {
namespace {

using namespace FocusHandBack;

// A fake clock: every moment is the restore moment plus an offset.
constexpr double kT0 = 1'800'000'000.0;

State restoredInBackground(std::optional<FrontApp> front) {
    State s;
    noteRestore(s, kT0, /*appActive=*/false, /*backgroundLaunch=*/true, std::move(front));
    return s;
}

FrontApp editor() {
    return FrontApp{"Text Editor", "org.example.Editor", false, false};
}

TEST(FocusHandBack, OnlyABackgroundLaunchOfAnInactiveAppIsRemembered) {
    State foreground;
    noteRestore(foreground, kT0, /*appActive=*/true, true, editor());
    State ordinary;
    noteRestore(ordinary, kT0, false, /*backgroundLaunch=*/false, editor());
    for (State* s : {&foreground, &ordinary}) {
        EXPECT_FALSE(s->backgroundRestoreAt);
        Activation a = becameActive(*s, kT0 + 1, false);
        EXPECT_FALSE(a.line);
        EXPECT_FALSE(a.tryHandBack);
    }
}

TEST(FocusHandBack, KeptReasonsFollowTheDecisionTable) {
    struct Case {
        const char* name;
        double after;
        std::optional<FrontApp> front;
        bool off;
        std::optional<std::string> line;
    };
    FrontApp gone = editor();
    gone.terminated = true;
    FrontApp hidden = editor();
    hidden.hidden = true;
    const std::string head = "open tabs: app became active ";
    const Case cases[] = {
        {"no front app (Linux)", 0.5, std::nullopt, false,
         head + "0.50 s after a background restore began; kept (no app to hand back to)"},
        {"front app quit", 1.25, gone, false,
         head + "1.25 s after a background restore began; kept (no app to hand back to)"},
        {"front app hidden", 2.0, hidden, false,
         head + "2.00 s after a background restore began; kept (the previous app is hidden)"},
        {"switch off", 0.1, editor(), true,
         head + "0.10 s after a background restore began; kept (hand-back off)"},
        {"exactly 3 s is too late", 3.0, editor(), false,
         head + "3.00 s after a background restore began; kept (too long after the restore to be "
                "its doing)"},
        {"19.99 s still logs", 19.994, std::nullopt, false,
         head + "19.99 s after a background restore began; kept (too long after the restore to be "
                "its doing)"},
        {"20 s says nothing", 20.0, editor(), false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        State s = restoredInBackground(c.front);
        Activation a = becameActive(s, kT0 + c.after, c.off);
        EXPECT_EQ(a.line, c.line);
        EXPECT_FALSE(a.tryHandBack);
        // The restore is consumed: the next activation does nothing.
        EXPECT_FALSE(s.backgroundRestoreAt);
        EXPECT_FALSE(s.restoreFrontApp);
        EXPECT_FALSE(becameActive(s, kT0 + c.after + 1, c.off).line);
    }
}

TEST(FocusHandBack, HandBackUnlessTheUserChoseUsDuringTheClickWindow) {
    const std::string head = "open tabs: app became active 0.40 s after a background restore began";
    State s = restoredInBackground(editor());
    Activation a = becameActive(s, kT0 + 0.4, false);
    ASSERT_TRUE(a.tryHandBack);
    EXPECT_FALSE(a.line);
    EXPECT_EQ(a.previous.name, "Text Editor");

    // No click: the focus goes back, named by the app's name, else its identifier.
    FollowUp back = afterClicks(a, s, /*stillActive=*/true, /*previousTerminated=*/false);
    EXPECT_TRUE(back.handBack);
    EXPECT_EQ(back.line, head + "; handed back to Text Editor");
    Activation unnamed = a;
    unnamed.previous.name.clear();
    EXPECT_EQ(afterClicks(unnamed, s, true, false).line,
              head + "; handed back to org.example.Editor");
    unnamed.previous.bundleId.clear();
    EXPECT_EQ(afterClicks(unnamed, s, true, false).line,
              head + "; handed back to the previous app");

    // A choice made before the activation does not count; one at or after it keeps us.
    s.choseUsAt = kT0 + 0.3;
    EXPECT_TRUE(afterClicks(a, s, true, false).handBack);
    noteChoice(s, kT0 + 0.4);
    FollowUp kept = afterClicks(a, s, true, false);
    EXPECT_FALSE(kept.handBack);
    EXPECT_EQ(kept.line, head + "; kept: a click or document open chose Corvello");

    // Lost the focus anyway, or the previous app quit: nothing is done and nothing logged.
    s.choseUsAt.reset();
    for (auto [active, terminated] : {std::pair{false, false}, std::pair{true, true}}) {
        FollowUp none = afterClicks(a, s, active, terminated);
        EXPECT_FALSE(none.handBack);
        EXPECT_FALSE(none.line);
    }
}

}  // namespace
}  // namespace cvl
