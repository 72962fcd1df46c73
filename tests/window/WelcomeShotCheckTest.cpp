// The blank-frame test of the welcome screenshot.
#include <gtest/gtest.h>

#include "window/WelcomeShotCheck.h"

namespace cvl {
namespace {

TEST(WelcomeShotBlankFrame, OnlyTheContentAreaCounts) {
    const int w = 1280, h = 900;
    // Dark text everywhere outside the content area, plain white inside: still blank.
    auto frame = [&](int x, int y) -> std::optional<Rgb> {
        const bool inside = x >= 256 && x < 1024 && y >= 135 && y < 855;
        return inside ? Rgb{1, 1, 1} : Rgb{0, 0, 0};
    };
    const double span = WelcomeShotCheck::luminanceSpan(w, h, frame);
    EXPECT_DOUBLE_EQ(span, 0.0);
    EXPECT_TRUE(WelcomeShotCheck::isBlank(span));
}

TEST(WelcomeShotBlankFrame, DrawnContentGivesTheLuminanceSpan) {
    // One dark bar on a light page, inside the sampled grid (every 7th pixel from 256, 135).
    auto frame = [](int x, int y) -> std::optional<Rgb> {
        if (y >= 400 && y < 420 && x >= 300 && x < 700) return Rgb{0.1, 0.1, 0.1};
        return Rgb{0.95, 0.95, 0.95};
    };
    const double span = WelcomeShotCheck::luminanceSpan(1280, 900, frame);
    EXPECT_NEAR(span, 0.85, 1e-9);
    EXPECT_FALSE(WelcomeShotCheck::isBlank(span));
    // Colour weights: pure green is much brighter than pure blue.
    auto colours = [](int x, int) -> std::optional<Rgb> {
        return x < 640 ? Rgb{0, 1, 0} : Rgb{0, 0, 1};
    };
    EXPECT_NEAR(WelcomeShotCheck::luminanceSpan(1280, 900, colours), 0.7152 - 0.0722, 1e-9);
}

TEST(WelcomeShotBlankFrame, UnreadablePixelsAreSkipped) {
    auto none = [](int, int) -> std::optional<Rgb> { return std::nullopt; };
    EXPECT_TRUE(WelcomeShotCheck::isBlank(WelcomeShotCheck::luminanceSpan(1280, 900, none)));
    // A frame just under the threshold is blank; at it, it is not.
    auto grey = [](int x, int) -> std::optional<Rgb> {
        return x < 640 ? Rgb{0.5, 0.5, 0.5} : Rgb{0.84, 0.84, 0.84};
    };
    EXPECT_TRUE(WelcomeShotCheck::isBlank(WelcomeShotCheck::luminanceSpan(1280, 900, grey)));
    EXPECT_FALSE(WelcomeShotCheck::isBlank(0.35));
}

}  // namespace
}  // namespace cvl
