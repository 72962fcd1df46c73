// Recognition of scanned pages: accuracy and positions against known text, the limits of a
// run, the ink tests, the scan report and the cache the search reads.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <thread>

#include "OcrFixtures.h"
#include "operations/OcrFlows.h"
#include "operations/OcrPages.h"
#include "search/OcrCache.h"
#include "support/TempHome.h"

namespace cvl::test {
namespace {

using nlohmann::json;

std::u32string ascii(const std::string& s) {
    return std::u32string(s.begin(), s.end());
}

// Character accuracy: 1 − edit distance / expected length, white space runs taken as one space.
double accuracy(const std::string& expected, const std::string& got) {
    auto squash = [](const std::string& s) {
        std::string out;
        for (char c : s) {
            bool space = c == ' ' || c == '\n' || c == '\t';
            if (space && (out.empty() || out.back() == ' ')) continue;
            out += space ? ' ' : c;
        }
        return out;
    };
    std::string e = squash(expected), g = squash(got);
    return 1.0 - double(OcrFlows::editDistance(ascii(e), ascii(g))) / double(e.size());
}

int threadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

using OcrTest = PdfFilesTest;

const std::vector<std::string> kProse = {
    "The tenant shall pay the monthly rent of 1,250 dollars on the",
    "first business day of each month, without deduction or set-off.",
    "Either party may end this agreement by giving sixty days of",
    "written notice to the other party at the address stated above.",
    "Repairs costing more than 400 dollars require prior approval",
    "from the landlord, except in an emergency that threatens safety.",
    "Section 7(b): keys, parking permits and remote controls are to be",
    "returned within three days after the end of the tenancy period.",
    "Late payments carry a fee of 5 percent of the amount that is due.",
    "This agreement is governed by the laws of the state of Oregon.",
};

TEST_F(OcrTest, PagesRenderedFromKnownTextAreReadWithinTwoPercentOnFewerThreadsThanCores) {
    std::string expected;
    for (const auto& l : kProse) expected += l + "\n";
    std::string path = write("lease.pdf", scanOf(textPages({kProse, kProse}, kLetter, 11)));
    const int before = threadCount();
    int most = before;
    auto pages = Ocr::runOCRDoc(path, [&](int, int) { most = std::max(most, threadCount()); });
    ASSERT_EQ(pages.size(), 2u);
    for (const auto& p : pages) EXPECT_GE(accuracy(expected, p.text), 0.98) << p.text;
    // One recogniser per worker and no thread teams of its own: at most the worker pool
    // (made on first use) beyond the threads that were there.
    const int pool = std::max(2, int(std::thread::hardware_concurrency()));
    EXPECT_LE(most, before + pool + 1);
}

TEST_F(OcrTest, AWordPlacedAtAKnownSpotComesBackThereOnStraightAndTurnedPages) {
    std::vector<std::string> lines(9, "");
    lines[8] = "Kestrel";  // ninth line: baseline 72 + 8 × 18.2 points below the top
    PdfDocument text = textPages({lines});
    auto truth = text.pageTextWithBoxes(0);
    ASSERT_TRUE(truth && !truth->lines.empty());
    const PdfRect want = truth->lines[0].box;
    PdfDocument scanned = scanOf(text);
    scanned.insertPagesFrom(scanOf(text), 1);
    scanned.setRotation(1, 90);  // shown turned; the items stay in the page's own space
    for (int page = 0; page < 2; ++page) {
        auto items = Ocr::ocrPageItems(scanned, page);
        ASSERT_EQ(items.size(), 1u) << page;
        EXPECT_EQ(items[0].str, "Kestrel");
        EXPECT_NEAR(items[0].x, want.x0, 3);
        EXPECT_NEAR(items[0].x + items[0].width, want.x1, 3);
        // Bottom-left origin: the box sits where the line's glyphs are, well above the bottom.
        EXPECT_NEAR(items[0].y + items[0].height / 2, (want.y0 + want.y1) / 2, 3);
    }
}

TEST_F(OcrTest, ADocumentIsRecognisedForItsFirstThousandPagesOnly) {
    PdfDocument doc;
    for (int i = 0; i < 1200; ++i) doc.insertBlankPage(i, PdfRect{0, 0, 20, 20});
    int calls = 0;
    auto pages = Ocr::runOCRDoc(write("long.pdf", doc), [&](int, int total) {
        ++calls;
        EXPECT_EQ(total, 1000);
    });
    ASSERT_EQ(pages.size(), 1000u);
    EXPECT_EQ(pages.front().page, 1);
    EXPECT_EQ(pages.back().page, 1000);
    EXPECT_EQ(calls, 1000);
    EXPECT_TRUE(Ocr::runOCRDoc(home / "missing.pdf").empty());
    ASSERT_TRUE(writeFileAtomic(home / "locked.pdf", makeEncryptedPdfBytes(1, "pw")).ok());
    EXPECT_TRUE(Ocr::runOCRDoc(home / "locked.pdf").empty());
}

TEST_F(OcrTest, TheTextLayerIsBuiltForPagesWithFewerThanEightCharactersAndStopsWhenCancelled) {
    PdfDocument doc = textPages({{"1 2 3 4 5 6 7"}, {"12345678"}, {}});
    std::string path = write("mixed.pdf", doc);
    std::vector<int> asked;
    json answer = OcrFlows::textLayerAnswer(
        path, [] { return true; },
        [&](const OcrFlows::LayerProgress& p) {
            EXPECT_EQ(p.total, 2);
            EXPECT_EQ(p.done, int(asked.size()));
            asked.push_back(p.page);
        });
    EXPECT_EQ(asked, (std::vector<int>{1, 3}));
    EXPECT_FALSE(answer["cancelled"]);
    ASSERT_EQ(answer["pages"].size(), 1u);  // the blank page has no lines
    EXPECT_EQ(answer["pages"][0]["page"], 1);

    int left = 1;
    json stopped = OcrFlows::textLayerAnswer(path, [&] { return left-- > 0; });
    EXPECT_TRUE(stopped["cancelled"]);
    EXPECT_EQ(stopped["pages"].size(), 1u);
    EXPECT_EQ(OcrFlows::textLayerAnswer(home / "gone.pdf", {}),
              json::parse(R"({"pages":[],"reason":"missing"})"));
}

TEST(OcrInk, AFaintRuleOrAFewDarkPixelsAreNotInk) {
    PdfBitmap b;
    b.width = 400;
    b.height = 100;
    b.pixels.assign(400 * 100 * 3, 255);
    auto darken = [&](int count, std::uint8_t v) {
        for (int i = 0; i < count; ++i) std::fill_n(b.pixels.begin() + i * 3, 3, v);
    };
    darken(4000, 205);  // a grey rule: luminance above 200
    EXPECT_FALSE(Ocr::imageHasInk(b));
    darken(100, 0);  // exactly 1/400 of the pixels
    EXPECT_FALSE(Ocr::imageHasInk(b));
    darken(101, 0);
    EXPECT_TRUE(Ocr::imageHasInk(b));
}

TEST_F(OcrTest, InkFractionTellsBlankPagesAndPagesWithoutArea) {
    PdfDocument doc;
    doc.insertBlankPage(0, PdfRect{0, 0, 0.5, 300});
    doc.insertBlankPage(1, kLetter);
    PdfBitmap half;
    half.width = 200;
    half.height = 100;
    half.pixels.assign(200 * 100 * 3, 255);
    for (int y = 0; y < 100; ++y) std::fill_n(half.pixels.begin() + y * 600, 300, 0);
    doc.insertImagePage(2, *encodePng(half));
    EXPECT_EQ(Ocr::pageInkFraction(doc, 0), 1.0);
    EXPECT_EQ(Ocr::pageInkFraction(doc, 1), 0.0);
    EXPECT_NEAR(Ocr::pageInkFraction(doc, 2), 0.5, 0.02);
}

TEST_F(OcrTest, ScannedPagesWithoutTextAreListedUntilTheCacheHoldsTheirText) {
    PdfDocument doc = textPages({{"A page that has a real text layer"}});
    doc.insertPagesFrom(scanOf(textPages({kProse}), 100), 1);
    doc.insertBlankPage(2, kLetter);
    std::string path = write("mixed.pdf", doc);
    EXPECT_EQ(Ocr::scanPagesNoText(path, 1000), (std::vector<int>{2}));
    EXPECT_TRUE(Ocr::scanPagesNoText(path, 1).empty());

    json info = OcrFlows::scanInfo(path);
    EXPECT_TRUE(info["textLayer"]);
    EXPECT_FALSE(info["scanned"]);

    ASSERT_TRUE(Ocr::ocrCacheWrite(path, {{2, "Scanned words"}, {3, ""}}));
    auto cached = OcrCache::ocrCacheRead(path);
    ASSERT_TRUE(cached);
    EXPECT_EQ(*cached, (std::map<std::int64_t, std::string>{{2, "Scanned words"}}));
    EXPECT_TRUE(Ocr::scanPagesNoText(path, 1000).empty());
    EXPECT_FALSE(Ocr::ocrCacheWrite(home / "missing.pdf", {{1, "x"}}));
}

TEST_F(OcrTest, VerificationTellsAMatchingLayerFromAPageThatOnlyHasAnImage) {
    PdfDocument doc = textPages({{"Invoice number 4471 is due on 3 March"}});
    doc.insertPagesFrom(scanOf(textPages({{"Invoice number 4471 is due on 3 March"}})), 1);
    json r = OcrFlows::verifyText(write("v.pdf", doc), {});
    ASSERT_EQ(r["pages"].size(), 2u);
    EXPECT_EQ(r["pages"][0]["verdict"], "ok");
    EXPECT_EQ(r["pages"][1]["verdict"], "image-only");
    EXPECT_EQ(r["mismatched"], json::array({2}));
}

TEST_F(OcrTest, AnAreaOfAPageIsReadWithItsPositionOnThePage) {
    std::vector<std::string> lines(12, "");
    lines[0] = "Agreement between the parties";
    lines[11] = "Jane Doe";
    std::string path = write("sign.pdf", scanOf(textPages({lines})));
    // The lower part of the page only: the heading stays out.
    json r = OcrFlows::areaText(
        path,
        OcrFlows::parseAreas(json::parse(R"([{"page":1,"x":0,"y":0,"width":612,"height":600}])")));
    ASSERT_EQ(r["pages"].size(), 1u);
    EXPECT_EQ(r["pages"][0]["text"], "Jane Doe");
    double y = r["pages"][0]["items"][0]["y"];
    EXPECT_NEAR(y, 792 - 72 - 11 * 18.2, 8);
}

}  // namespace
}  // namespace cvl::test
