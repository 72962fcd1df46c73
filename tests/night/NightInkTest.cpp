// Night ink and contrast: WCAG reference values, the ink mapping and its run-by-run use.
#include <gtest/gtest.h>

#include "night/NightInk.h"

namespace cvl {
namespace {

void expectColor(const std::optional<CvlColor>& got, double r, double g, double b, double a = 1) {
    ASSERT_TRUE(got);
    EXPECT_NEAR(got->red, r, 1e-9);
    EXPECT_NEAR(got->green, g, 1e-9);
    EXPECT_NEAR(got->blue, b, 1e-9);
    EXPECT_NEAR(got->alpha, a, 1e-9);
}

TEST(Contrast, WcagReferenceValues) {
    const auto black = CvlColor::rgb(0, 0, 0), white = CvlColor::rgb(1, 1, 1);
    EXPECT_DOUBLE_EQ(cvlRelLuminance(black), 0);
    EXPECT_DOUBLE_EQ(cvlRelLuminance(white), 1);
    EXPECT_DOUBLE_EQ(cvlContrast(black, white), 21);
    EXPECT_DOUBLE_EQ(cvlContrast(white, black), 21);
    const auto teal = CvlColor::rgb(0.1, 0.5, 0.45);
    EXPECT_DOUBLE_EQ(cvlContrast(teal, teal), 1);
    // #777777 on white is the well-known 4.48:1; #767676 just passes AA at 4.54:1.
    EXPECT_NEAR(cvlContrast(CvlColor::rgb(119 / 255.0, 119 / 255.0, 119 / 255.0), white), 4.48,
                0.005);
    EXPECT_NEAR(cvlContrast(CvlColor::rgb(118 / 255.0, 118 / 255.0, 118 / 255.0), white), 4.54,
                0.005);
    // Pure primaries: green carries most of the luminance.
    EXPECT_NEAR(cvlRelLuminance(CvlColor::rgb(1, 0, 0)), 0.2126, 1e-12);
    EXPECT_NEAR(cvlRelLuminance(CvlColor::rgb(0, 1, 0)), 0.7152, 1e-12);
    // Grey converts; a colour without an sRGB form has luminance 0.
    EXPECT_DOUBLE_EQ(cvlContrast(CvlColor::gray(0), white), 21);
    EXPECT_DOUBLE_EQ(cvlRelLuminance(CvlColor::pattern()), 0);
}

TEST(NightInk, DarkGreysBecomeTheWarmOffWhite) {
    expectColor(edNightInk(CvlColor::rgb(0, 0, 0)), 0.933, 0.91, 0.871);
    expectColor(edNightInk(CvlColor::gray(0.2, 0.5)), 0.933, 0.91, 0.871);  // alpha 1
    // Saturation 0.1 is below the grey threshold: off-white, not a tinted colour.
    expectColor(edNightInk(CvlColor::rgb(0.3, 0.3, 0.27)), 0.933, 0.91, 0.871);
}

TEST(NightInk, DarkColoursKeepTheirHueAndGetLighter) {
    auto blue = edNightInk(CvlColor::rgb(0, 0, 0.5, 0.8));
    ASSERT_TRUE(blue);
    CvlHSB hsb = cvlToHSB(*blue);
    EXPECT_NEAR(hsb.hue, 2.0 / 3.0, 1e-9);
    EXPECT_NEAR(hsb.saturation, 0.55, 1e-9);
    EXPECT_NEAR(hsb.brightness, 0.92, 1e-9);
    expectColor(blue, 0.92 * 0.45, 0.92 * 0.45, 0.92, 0.8);

    // Saturation 0.3 would drop to 0.165; the floor of 0.22 holds.
    auto red = edNightInk(CvlColor::rgb(0.4, 0.28, 0.28));
    ASSERT_TRUE(red);
    hsb = cvlToHSB(*red);
    EXPECT_NEAR(hsb.hue, 0, 1e-9);
    EXPECT_NEAR(hsb.saturation, 0.22, 1e-9);
    EXPECT_NEAR(hsb.brightness, 0.92, 1e-9);

    // The lightened ink reads on the night paper far better than the original.
    const auto paper = CvlColor::rgb(0.118, 0.122, 0.129);
    EXPECT_GT(cvlContrast(*blue, paper), 3);
    EXPECT_LT(cvlContrast(CvlColor::rgb(0, 0, 0.5), paper), 1.5);
    EXPECT_GT(cvlContrast(*edNightInk(CvlColor::rgb(0, 0, 0)), paper), 12);
}

TEST(NightInk, LightInksAndUnconvertibleColoursAreLeftAlone) {
    EXPECT_FALSE(edNightInk(CvlColor::rgb(1, 1, 1)));
    EXPECT_FALSE(edNightInk(CvlColor::rgb(0.8, 0.8, 0.2)));  // luminance about 0.56
    // Just below and at the threshold of 0.45.
    EXPECT_TRUE(edNightInk(CvlColor::gray(0.70)));
    EXPECT_FALSE(edNightInk(CvlColor::gray(0.71)));
    EXPECT_FALSE(edNightInk(CvlColor::pattern()));
}

TEST(NightInkRuns, AppliedRunByRunHighlightsKeepTheirInk) {
    const auto black = CvlColor::rgb(0, 0, 0);
    const auto yellow = CvlColor::rgb(1, 1, 0);
    const auto darkRed = CvlColor::rgb(0.5, 0, 0);
    std::vector<CvlTextRun> runs = {
        {0, 5, black, std::nullopt},
        {5, 5, std::nullopt, std::nullopt},  // takes the default ink
        {10, 5, black, yellow},              // highlighted
        {15, 5, CvlColor::rgb(1, 1, 1), std::nullopt},
        {20, 5, darkRed, std::nullopt},
    };
    const auto defaultInk = CvlColor::gray(0.1);

    auto all = cvlNightInkOverrides(runs, 25, std::nullopt, defaultInk);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].location, 0u);
    EXPECT_EQ(all[0].length, 5u);
    EXPECT_NEAR(all[0].color.red, 0.933, 1e-9);
    EXPECT_EQ(all[1].location, 5u);
    EXPECT_NEAR(all[1].color.red, 0.933, 1e-9);
    EXPECT_EQ(all[2].location, 20u);
    EXPECT_NEAR(cvlToHSB(all[2].color).hue, 0, 1e-9);
    EXPECT_NEAR(all[2].color.red, 0.92, 1e-9);

    // A range clips the runs it touches and skips the rest.
    auto part = cvlNightInkOverrides(runs, 25, CvlTextRange{3, 19}, defaultInk);
    ASSERT_EQ(part.size(), 3u);
    EXPECT_EQ(part[0].location, 3u);
    EXPECT_EQ(part[0].length, 2u);
    EXPECT_EQ(part[2].location, 20u);
    EXPECT_EQ(part[2].length, 2u);

    // A light default ink leaves unstyled runs alone.
    auto lightDefault = cvlNightInkOverrides(runs, 25, std::nullopt, CvlColor::gray(1));
    EXPECT_EQ(lightDefault.size(), 2u);

    EXPECT_TRUE(cvlNightInkOverrides(runs, 0, std::nullopt, defaultInk).empty());
    EXPECT_TRUE(cvlNightInkOverrides(runs, 25, CvlTextRange{30, 5}, defaultInk).empty());
    EXPECT_TRUE(cvlNightInkOverrides(runs, 25, CvlTextRange{4, 0}, defaultInk).empty());
    // A range running past the end stops at the end of the text.
    auto tail = cvlNightInkOverrides(runs, 25, CvlTextRange{22, 1000}, defaultInk);
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].length, 3u);
}

TEST(EditorPaper, DarkOnlyWhenTheSchemeIsDarkAndPaperIsNotPinnedLight) {
    EXPECT_TRUE(editorPaperIsDark("dark", "auto"));
    EXPECT_TRUE(editorPaperIsDark("dark", ""));
    EXPECT_FALSE(editorPaperIsDark("dark", "light"));
    EXPECT_FALSE(editorPaperIsDark("light", "auto"));
    EXPECT_NE(editorPaperTip(true), editorPaperTip(false));
}

}  // namespace
}  // namespace cvl
