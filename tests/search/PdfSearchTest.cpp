// PDF pages in extraction and in the direct scan: text-layer probe, OCR cache fallback,
// locked files, limits, labels and highlight rectangles.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/Dispatch.h"
#include "platform/TextEscape.h"
#include "search/CVSearchIndex.h"
#include "search/OcrCache.h"
#include "search/PdfScan.h"
#include "search/SearchFixtures.h"
#include "search/SearchFlows.h"
#include "search/TextExtraction.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

using namespace cvl;
using nlohmann::json;

namespace {

// A document whose pages show the given lines; an empty list makes a blank page.
PdfDocument pagesPdf(const std::vector<std::vector<std::string>>& pages) {
    PdfDocument doc;
    for (const auto& lines : pages) {
        if (lines.empty())
            doc.insertBlankPage(doc.pageCount(), test::kLetter);
        else
            doc.insertTextPage(doc.pageCount(), test::kLetter, lines);
    }
    return doc;
}

bool writePdfAt(const PdfDocument& doc, const std::string& path) {
    makeDirs(parentPath(path));
    return test::writePdf(doc, path);
}

void writeOcr(const std::string& pdf, const json& pages) {
    auto key = OcrCache::ocrCacheKey(pdf);
    ASSERT_TRUE(key);
    test::writeText(OcrCache::ocrCacheDir() + "/" + *key + ".json",
                    json{{"path", pdf}, {"pages", pages}}.dump());
}

CVSearchIndex::OcrLookup cacheLookup() {
    return [](const std::string& p) { return OcrCache::ocrCacheRead(p); };
}

}  // namespace

TEST(PdfExtraction, PagesWithTextKeepTheirNumbers) {
    test::TempHome home;
    std::string path = home / "gaps.pdf";
    ASSERT_TRUE(writePdfAt(pagesPdf({{"First page text"}, {}, {"Third page text"}}), path));
    auto chunks = TextExtraction::pdfChunks(path, {});
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].anchor, "1");
    EXPECT_EQ(chunks[0].page, 1);
    EXPECT_EQ(chunks[1].anchor, "3");
    EXPECT_EQ(chunks[1].page, 3);
    EXPECT_EQ(chunks[1].atype, "page");
    EXPECT_NE(chunks[1].body.find("Third page text"), std::string::npos);
}

TEST(PdfExtraction, SevenCharactersAreNoTextLayerEightAre) {
    test::TempHome home;
    std::string seven = home / "seven.pdf", eight = home / "eight.pdf";
    ASSERT_TRUE(writePdfAt(pagesPdf({{"1234567"}, {}}), seven));
    ASSERT_TRUE(writePdfAt(pagesPdf({{"12345678"}, {}}), eight));
    EXPECT_TRUE(TextExtraction::pdfChunks(seven, cacheLookup()).empty());  // no OCR entry yet
    writeOcr(seven, json::array({{{"page", 2}, {"text", "recognised words"}},
                                 {{"page", 1}, {"text", ""}}}));
    auto ocr = TextExtraction::pdfChunks(seven, cacheLookup());
    ASSERT_EQ(ocr.size(), 1u);
    EXPECT_EQ(ocr[0], (SearchChunk{"page", "2", 2, "recognised words"}));
    EXPECT_TRUE(TextExtraction::pdfChunks(seven, {}).empty());  // no lookup installed

    writeOcr(eight, json::array({{{"page", 1}, {"text", "ignored"}}}));
    auto text = TextExtraction::pdfChunks(eight, cacheLookup());
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].body, "12345678");
}

TEST(PdfExtraction, LockedDamagedAndFakePdfsYieldNothing) {
    test::TempHome home;
    test::writeText(home / "locked.pdf", test::makeEncryptedPdfBytes(2, "pw"));
    test::writeText(home / "cut.pdf", test::makeTruncatedPdfBytes(3));
    test::writeText(home / "fake.pdf", "hello, not a pdf");
    for (const char* name : {"locked.pdf", "fake.pdf"})
        EXPECT_TRUE(TextExtraction::pdfChunks(home / name, cacheLookup()).empty()) << name;
    (void)TextExtraction::pdfChunks(home / "cut.pdf", cacheLookup());  // whatever it salvages
    CVSearchIndex index(home / "idx.db", cacheLookup());
    EXPECT_EQ(*index.reindex({home.path()}, {}), 3);
    EXPECT_EQ(index.fileCount(), 3);  // recorded, so not retried
}

TEST(PdfExtraction, IndexedPdfHitsCarryPageLocators) {
    test::TempHome home;
    ASSERT_TRUE(writePdfAt(test::makeTextPdf(3, "Covenant"), home / "docs/deal.pdf"));
    CVSearchIndex index(home / "idx.db");
    ASSERT_TRUE(index.reindex({home / "docs"}, {}));
    auto r = index.searchExact("page 2 cov");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].type, "pdf");
    ASSERT_EQ(r[0].hits.size(), 1u);
    EXPECT_EQ(r[0].hits[0].atype, "page");
    EXPECT_EQ(r[0].hits[0].anchor, "2");
    EXPECT_EQ(r[0].hits[0].page, 2);
    EXPECT_EQ(r[0].hits[0].match, "Page 2 Cov");
}

TEST(DirectScan, FindsCountsLabelsAndRectangles) {
    test::TempHome home;
    std::string dir = home / "box";
    ASSERT_TRUE(
        writePdfAt(pagesPdf({{"Lease one", "nothing"}, {"LEASE two lease"}}), dir + "/a.pdf"));
    ASSERT_TRUE(writePdfAt(test::makeTextPdf(1, "lease"), dir + "/sub/b.PDF"));
    ASSERT_TRUE(writePdfAt(pagesPdf({{}}), dir + "/blank.pdf"));
    test::writeText(dir + "/locked.pdf", test::makeEncryptedPdfBytes(1, "pw"));
    test::writeText(dir + "/notes.txt", "lease");
    ASSERT_TRUE(writePdfAt(pagesPdf({{"1234567"}}), home / "scan.pdf"));
    writeOcr(home / "scan.pdf", json::array({{{"page", 1}, {"text", "an OCR lease"}}}));

    json r = PdfScan::runPDFSearch("lease", {dir}, {home / "scan.pdf", dir + "/a.pdf"});
    EXPECT_EQ(r["scanned"], 5);  // scan.pdf, a.pdf, blank.pdf, locked.pdf, sub/b.PDF
    EXPECT_EQ(r["scope"], "box");
    EXPECT_EQ(r["truncated"], false);
    EXPECT_FALSE(r.contains("note"));
    EXPECT_EQ(r["ocrUsed"], 1);
    EXPECT_EQ(r["scannedNoText"],
              (json::array({{{"path", dir + "/blank.pdf"}, {"name", "blank.pdf"}}})));
    ASSERT_EQ(r["docCount"], 3);
    EXPECT_EQ(r["hitCount"], 5);

    const json& a = r["docs"][0];  // three hits sort first
    EXPECT_EQ(a["name"], "a.pdf");
    EXPECT_EQ(a["count"], 3);
    EXPECT_EQ(a["shown"], 3);
    EXPECT_EQ(a["ocr"], false);
    EXPECT_EQ(a["hits"][1]["match"], "LEASE");
    EXPECT_EQ(a["hits"][1]["page"], 2);
    EXPECT_EQ(a["hits"][1]["label"], "2");
    EXPECT_EQ(a["hits"][0]["snippet"], "Lease one nothing");
    // One line, two hits: each marks its own occurrence.
    EXPECT_EQ(a["hits"][1]["snippet"], "LEASE two lease");
    EXPECT_EQ(a["hits"][2]["snippet"], "LEASE two lease");
    EXPECT_EQ(a["hits"][1]["at"], 0);
    EXPECT_EQ(a["hits"][2]["at"], 10);
    ASSERT_EQ(a["hits"][0]["rects"].size(), 1u);
    const json& rect = a["hits"][0]["rects"][0];
    // Near the top of a Letter page, in points from the bottom-left corner.
    EXPECT_GT(rect["y"].get<double>(), 600);
    EXPECT_LT(rect["y"].get<double>() + rect["h"].get<double>(), 792);
    EXPECT_GT(rect["w"].get<double>(), 20);
    EXPECT_LT(rect["w"].get<double>(), 80);
    EXPECT_GT(rect["h"].get<double>(), 5);

    // Equal counts keep collection order: the OCR document was collected first.
    EXPECT_EQ(r["docs"][1]["name"], "scan.pdf");
    EXPECT_EQ(r["docs"][1]["ocr"], true);
    EXPECT_EQ(r["docs"][1]["hits"][0]["ocr"], true);
    EXPECT_FALSE(r["docs"][1]["hits"][0].contains("rects"));
    EXPECT_EQ(r["docs"][2]["name"], "b.PDF");
}

// A scan of many documents, read on both threads at once (each in its own MuPDF context),
// answers as the documents scanned one at a time: the same hits, in collection order where
// counts tie, and the same documents without text.
TEST(DirectScan, ManyDocumentsAnswerAsScannedOneByOne) {
    test::TempHome home;
    const std::string dir = home / "many";
    std::vector<std::string> paths;
    for (int k = 0; k < 24; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "/d%02d.pdf", k);
        std::vector<std::string> lines{"Clause " + std::to_string(k)};
        for (int h = 0; h < k % 4; ++h) lines.push_back("the lease term " + std::to_string(h));
        const bool blank = k % 9 == 8;
        ASSERT_TRUE(writePdfAt(blank ? pagesPdf({{}}) : pagesPdf({lines, {"lease"}}), dir + name));
        paths.push_back(dir + name);
    }
    json docs = json::array(), noText = json::array();
    for (const auto& path : paths) {
        json one = PdfScan::runPDFSearch("lease", {}, {path});
        for (const auto& d : one["docs"]) docs.push_back(d);
        for (const auto& n : one["scannedNoText"]) noText.push_back(n);
    }
    std::stable_sort(docs.begin(), docs.end(), [](const json& a, const json& b) {
        return a["count"].get<int>() > b["count"].get<int>();
    });
    for (int run = 0; run < 3; ++run) {
        json all = PdfScan::runPDFSearch("lease", {dir}, {});
        EXPECT_EQ(all["scanned"], 24);
        EXPECT_EQ(all["docs"], docs);
        EXPECT_EQ(all["scannedNoText"], noText);
        EXPECT_EQ(noText.size(), 2u);
    }
}

TEST(DirectScan, LimitsAndNotes) {
    test::TempHome home;
    std::vector<std::string> lines(5, "fee fee fee fee fee fee");
    ASSERT_TRUE(
        writePdfAt(pagesPdf(std::vector<std::vector<std::string>>(10, lines)), home / "fees.pdf"));
    json r = PdfScan::runPDFSearch("FEE", {}, {home / "fees.pdf"});
    ASSERT_EQ(r["docCount"], 1);
    // 30 per page: the page that ends with 40 kept and more than 160 counted is page 6.
    EXPECT_EQ(r["docs"][0]["count"], 180);
    EXPECT_EQ(r["docs"][0]["shown"], 40);
    EXPECT_EQ(r["scope"], "");
    EXPECT_EQ(r["scopeCount"], 0);

    json empty = PdfScan::runPDFSearch("", {home.path()}, {});
    EXPECT_EQ(empty["note"], "empty");
    EXPECT_EQ(empty["scanned"], 0);
    EXPECT_EQ(PdfScan::runPDFSearch("f", {}, {home / "fees.pdf"})["note"], "short");
    EXPECT_EQ(PdfScan::runPDFSearch("zz", {home / "missing"}, {home / "gone.pdf"})["docCount"], 0);
}

TEST(ReaderSearch, ScansTheNamedDocumentOrTheWindowsFirstSource) {
    test::TempHome home;
    std::string a = home / "a.pdf", b = home / "b.pdf";
    ASSERT_TRUE(writePdfAt(pagesPdf({{"Term sheet"}, {"the TERM ends"}}), a));
    ASSERT_TRUE(writePdfAt(pagesPdf({{"nothing to see here"}}), b));
    std::vector<json> got;
    auto post = [&](const std::string& f, const std::string& arg) {
        if (f == "cvlReaderSearchResults") got.push_back(json::parse(arg));
    };
    SearchFlows::readerSearch("qrtiz://readersearch?q=%20term%20", {b, a}, post);
    SearchFlows::readerSearch("qrtiz://readersearch?q=term&path=" + percentEncode(a), {b}, post);
    ASSERT_TRUE(Dispatch::manualMain()->runUntil([&] { return got.size() == 2; },
                                                 std::chrono::seconds(20)));
    for (const auto& r : got) EXPECT_EQ(r["q"], "term");
    // The two scans run concurrently: order the answers by what they found. Without a path
    // the first source (b.pdf, no hits) is searched; with one, that document.
    std::sort(got.begin(), got.end(),
              [](const json& x, const json& y) { return x["docCount"] < y["docCount"]; });
    const json& first = got[0];
    const json& second = got[1];
    EXPECT_EQ(first["docCount"], 0);
    EXPECT_EQ(first["scanned"], 1);
    EXPECT_EQ(second["docCount"], 1);
    EXPECT_EQ(second["docs"][0]["path"], a);
    EXPECT_EQ(second["hitCount"], 2);
    EXPECT_TRUE(second.contains("truncated"));  // the scan result, unchanged
}
