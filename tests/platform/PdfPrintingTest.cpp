// Printing without a printer: which pages a job prints, the PDF "Print to File" writes (read
// back with poppler), and the page images drawn at a printer's resolution.
#include <gtest/gtest.h>

#include "platform/FileIO.h"
#include "platform/pdf/PdfPrinting.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;

TEST(PdfPrinting, PrintOrderFollowsRangesPageSetAndReverse) {
    PrintSelection all;
    EXPECT_EQ(printOrder(4, all), (std::vector<int>{0, 1, 2, 3}));

    PrintSelection current;
    current.which = PrintSelection::Pages::current;
    current.current = 2;
    EXPECT_EQ(printOrder(4, current), (std::vector<int>{2}));
    current.current = 9;
    EXPECT_TRUE(printOrder(4, current).empty());

    // Ranges in the order given, each page once, pages past the end dropped.
    PrintSelection ranges;
    ranges.which = PrintSelection::Pages::ranges;
    ranges.ranges = {{5, 7}, {1, 2}, {2, 2}};
    EXPECT_EQ(printOrder(7, ranges), (std::vector<int>{5, 6, 1, 2}));
    ranges.set = PrintSelection::PageSet::odd;  // 1st and 3rd sheets
    EXPECT_EQ(printOrder(7, ranges), (std::vector<int>{5, 1}));
    ranges.set = PrintSelection::PageSet::even;
    ranges.reverse = true;
    EXPECT_EQ(printOrder(7, ranges), (std::vector<int>{2, 6}));
}

TEST(PdfPrinting, PageRangesAsTyped) {
    auto r = parsePageRanges(" 2-3, 5 ", 6);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (std::vector<std::pair<int, int>>{{1, 2}, {4, 4}}));
    EXPECT_FALSE(parsePageRanges("", 6));
    EXPECT_FALSE(parsePageRanges("0-2", 6));
    EXPECT_FALSE(parsePageRanges("3-2", 6));
    EXPECT_FALSE(parsePageRanges("2-7", 6));
    EXPECT_FALSE(parsePageRanges("2,,3", 6));
}

TEST(PdfPrinting, PrintToFileWritesTheChosenPagesAsText) {
    TempHome home;
    PdfDocument doc = makeTextPdf(4, "zebra");
    PrintSelection sel;
    sel.which = PrintSelection::Pages::ranges;
    sel.ranges = *parsePageRanges("2-3", doc.pageCount());
    auto bytes = printedPdf(doc, printOrder(doc.pageCount(), sel));
    ASSERT_TRUE(bytes) << bytes.error();
    const std::string out = home / "printed.pdf";
    ASSERT_TRUE(writeFileAtomic(out, *bytes));
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(out, &report)) << report;
    EXPECT_EQ(popplerPageCount(out), 2);
    auto page = [&](int n) { return popplerText(out, n, n); };
    auto original = [&](int n) { return popplerText(home / "orig.pdf", n, n); };
    ASSERT_TRUE(writePdf(doc, home / "orig.pdf"));
    EXPECT_EQ(page(1), original(2));
    EXPECT_EQ(page(2), original(3));
    EXPECT_FALSE(page(1).empty());

    EXPECT_FALSE(printedPdf(doc, {}));
    EXPECT_EQ(printedPdf(doc, {7}).error(), "Page 8 does not exist.");
}

TEST(PdfPrinting, PagesAreDrawnAtThePrintersResolutionWithinLimits) {
    PdfDocument doc = makeTextPdf(1);  // Letter: 612 x 792 points
    auto at300 = renderForPrinter(doc, 0, 300, 1.0);
    ASSERT_TRUE(at300);
    EXPECT_EQ(at300->width, 2550);
    EXPECT_EQ(at300->dpi, 300);
    // Scaled down to fit smaller paper: fewer pixels, same dots per inch on paper.
    auto fitted = renderForPrinter(doc, 0, 300, 0.5);
    ASSERT_TRUE(fitted);
    EXPECT_EQ(fitted->width, 1275);
    EXPECT_EQ(fitted->dpi, 300);
    auto capped = renderForPrinter(doc, 0, 2400, 1.0);
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped->dpi, static_cast<int>(kMaxPrintDpi));
    EXPECT_FALSE(renderForPrinter(doc, 3, 300, 1.0));

    const PrintPlacement p = placeOnPaper(612, 792, 540, 720);
    // Letter on a narrower printable area: the width limits, the page is centred vertically.
    EXPECT_NEAR(p.scale, 540.0 / 612, 1e-9);
    EXPECT_NEAR(p.x, 0, 1e-9);
    EXPECT_NEAR(p.y, (720 - 792 * p.scale) / 2, 1e-9);
    EXPECT_EQ(placeOnPaper(300, 300, 540, 720).scale, 1.0) << "small pages are not enlarged";
}
