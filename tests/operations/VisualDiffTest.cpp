// Visual compare: the cell comparison on hand-made bitmaps, and whole pages of real PDFs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "OcrFixtures.h"
#include "operations/VisualDiff.h"

namespace cvl::test {
namespace {

using namespace VisualDiff;

PdfBitmap filled(int w, int h, std::uint8_t v) {
    PdfBitmap b;
    b.width = w;
    b.height = h;
    b.pixels.assign(std::size_t(w) * std::size_t(h) * 3, v);
    return b;
}

void paint(PdfBitmap& b, int x0, int x1, std::uint8_t v) {
    for (int y = 0; y < b.height; ++y)
        for (int x = x0; x < x1; ++x)
            for (int k = 0; k < 3; ++k) b.pixels[(std::size_t(y) * b.width + x) * 3 + k] = v;
}

const std::uint8_t* pixel(const PdfBitmap& b, int x, int y) {
    return b.pixels.data() + (std::size_t(y) * b.width + x) * 3;
}

TEST(VisualDiffCells, AMeanOfExactlySixteenIsNotAChangeAndOneAboveIsTinted) {
    PdfBitmap a = filled(32, 16, 255);
    PdfBitmap b = filled(32, 16, 255);
    paint(b, 0, 16, 255 - 16);   // mean difference 16.0: unchanged
    paint(b, 16, 32, 255 - 17);  // 17: changed
    CellComparison c = compareImages(a, b);
    EXPECT_EQ(c.cells, 2);
    EXPECT_EQ(c.changed, 1);
    EXPECT_DOUBLE_EQ(c.frac, 0.5);
    EXPECT_EQ(pixel(c.overlay, 3, 3)[0], 239);  // left cell as it was
    // 238 → red min(238 × 0.6 + 86.8, 255) = 229, green and blue 238 × 0.55 = 130.
    EXPECT_EQ(pixel(c.overlay, 20, 3)[0], 229);
    EXPECT_EQ(pixel(c.overlay, 20, 3)[1], 130);
    EXPECT_EQ(pixel(c.overlay, 20, 3)[2], 130);
}

TEST(VisualDiffCells, TheSmallerImageIsPaddedWithWhiteOnTheRightAndBottom) {
    PdfBitmap a = filled(16, 16, 255);
    PdfBitmap b = filled(32, 40, 255);
    paint(b, 16, 32, 0);  // ink only where the first image does not reach
    CellComparison c = compareImages(a, b);
    EXPECT_EQ(c.overlay.width, 32);
    EXPECT_EQ(c.overlay.height, 40);
    EXPECT_EQ(c.cells, 2 * 3);  // 40 rows make a clipped third row of cells
    EXPECT_EQ(c.changed, 3);    // the right column, white against black
    // The padded strip without ink on either side is unchanged.
    EXPECT_EQ(compareImages(filled(16, 16, 255), filled(32, 40, 255)).changed, 0);
    // One cell in all: the share is counted against a divisor of 1.
    EXPECT_DOUBLE_EQ(compareImages(filled(8, 8, 255), filled(8, 8, 0)).frac, 1.0);
}

using VisualDiffDocs = PdfFilesTest;

TEST_F(VisualDiffDocs, IdenticalDocumentsAreUnchangedOnEveryPage) {
    std::string a = write("a.pdf", makeTextPdf(2));
    std::string b = write("b.pdf", makeTextPdf(2));
    for (int i = 0; i < 2; ++i) {
        auto r = visualDiffPage(a, b, i);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->page, i + 1);
        EXPECT_EQ(r->total, 2);
        EXPECT_EQ(r->frac, 0);
        EXPECT_TRUE(r->a && r->b && r->overlay);
        nlohmann::json j = resultJson(*r, false);
        EXPECT_FALSE(j.contains("added") || j.contains("removed") || j.contains("a"));
    }
    EXPECT_FALSE(visualDiffPage(a, b, 2));
    EXPECT_FALSE(visualDiffPage(a, b, -1));
}

TEST_F(VisualDiffDocs, APageOnOneSideOnlyIsAddedOrRemoved) {
    std::string two = write("two.pdf", makeTextPdf(2));
    std::string three = write("three.pdf", makeTextPdf(3));
    auto added = visualDiffPage(two, three, 2);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->total, 3);
    EXPECT_EQ(added->frac, 1);
    EXPECT_TRUE(added->added.value_or(false));
    EXPECT_FALSE(added->removed.value_or(true));
    EXPECT_FALSE(added->a);
    ASSERT_TRUE(added->b && added->overlay);
    EXPECT_EQ(*added->overlay, *added->b);  // the plain page

    auto removed = visualDiffPage(three, two, 2);
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->removed.value_or(false));
    EXPECT_TRUE(removed->a);
    EXPECT_FALSE(removed->b || removed->overlay);
}

TEST_F(VisualDiffDocs, ALetterPageAgainstAnA4PageCountsTheStripOnlyWhereItHasInk) {
    // Lines start at the top margin, so the first line sits at the same place on both sizes;
    // line 43 lies below the bottom of a Letter page but still on A4.
    std::vector<std::string> lines(43, "");
    lines[0] = "Same words on both pages";
    PdfDocument letter, a4Blank, a4Ink;
    letter.insertTextPage(0, kLetter, {lines[0]});
    a4Blank.insertTextPage(0, PdfRect{0, 0, 595, 842}, {lines[0]});
    lines[42] = "Only on the taller page";
    a4Ink.insertTextPage(0, PdfRect{0, 0, 595, 842}, lines);
    std::string a = write("letter.pdf", letter);
    auto blank = visualDiffPage(a, write("a4.pdf", a4Blank), 0);
    auto ink = visualDiffPage(a, write("a4-ink.pdf", a4Ink), 0);
    ASSERT_TRUE(blank && ink);
    EXPECT_EQ(blank->frac, 0);
    EXPECT_GT(ink->frac, 0);
    EXPECT_LT(ink->frac, 0.02);
    EXPECT_FALSE(visualDiffPage(a, home / "missing.pdf", 0));
}

}  // namespace
}  // namespace cvl::test
