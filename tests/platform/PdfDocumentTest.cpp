// The PDF layer's read side: opening, lock state, geometry, text with boxes, labels, navigation
// round trips, checked where it matters with poppler and qpdf.
#include <gtest/gtest.h>

#include <thread>

#include "platform/FileIO.h"
#include "platform/pdf/PdfDocument.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;

namespace {

PdfDocument reopened(const PdfDocument& doc) {
    auto r = PdfDocument::openBytes(bytesOf(doc));
    EXPECT_TRUE(r.ok()) << r.error();
    return r.ok() ? r.value() : PdfDocument();
}

}  // namespace

TEST(PdfOpen, WrittenTextPdfReadsBackHereAndInPoppler) {
    TempHome home;
    std::string path = home / "five.pdf";
    ASSERT_TRUE(writePdf(makeTextPdf(5), path));

    auto doc = PdfDocument::openFile(path);
    ASSERT_TRUE(doc.ok()) << doc.error();
    EXPECT_FALSE(doc->isLocked());
    EXPECT_FALSE(doc->isEncrypted());
    ASSERT_EQ(doc->pageCount(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(doc->pageText(i).value_or(""), fixtureLine(i + 1));
    EXPECT_FALSE(doc->pageText(5).has_value());
    EXPECT_FALSE(doc->pageText(-1).has_value());

    EXPECT_EQ(popplerPageCount(path), 5);
    EXPECT_NE(popplerText(path, 3, 3).find("Page 3 alpha"), std::string::npos);
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(path, &report)) << report;
}

TEST(PdfOpen, BadInputGivesMessagesNotDocuments) {
    TempHome home;
    auto missing = PdfDocument::openFile(home / "nope.pdf");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "Corvello couldn\u2019t find \u201cnope.pdf\u201d.");

    ASSERT_TRUE(writeFileAtomic(home / "empty.pdf", "").ok());
    auto empty = PdfDocument::openFile(home / "empty.pdf");
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error(), "\u201cempty.pdf\u201d is empty.");

    ASSERT_TRUE(writeFileAtomic(home / "notes.pdf", "just some words, not a PDF at all\n").ok());
    auto text = PdfDocument::openFile(home / "notes.pdf");
    ASSERT_FALSE(text.ok());
    EXPECT_NE(text.error().find("isn\u2019t a PDF"), std::string::npos);

    // A damaged or truncated file either fails with a message or opens with what survived.
    for (const std::string& bytes : {damagedPdfBytes(), makeTruncatedPdfBytes(6)}) {
        auto r = PdfDocument::openBytes(bytes);
        if (r.ok()) {
            EXPECT_LE(r->pageCount(), 6);
        } else {
            EXPECT_FALSE(r.error().empty());
        }
    }
}

TEST(PdfOpen, EncryptedDocumentIsLockedUntilTheRightPassword) {
    auto r = PdfDocument::openBytes(makeEncryptedPdfBytes(3, "s3cret"));
    ASSERT_TRUE(r.ok()) << r.error();
    PdfDocument doc = r.value();
    EXPECT_TRUE(doc.isEncrypted());
    EXPECT_TRUE(doc.isLocked());
    EXPECT_EQ(doc.pageCount(), 0);
    EXPECT_FALSE(doc.pageText(0).has_value());
    EXPECT_FALSE(doc.save().has_value());

    EXPECT_FALSE(doc.unlock("wrong"));
    EXPECT_TRUE(doc.isLocked());
    EXPECT_TRUE(doc.unlock("s3cret"));
    EXPECT_FALSE(doc.isLocked());
    ASSERT_EQ(doc.pageCount(), 3);
    EXPECT_EQ(doc.pageText(1).value_or(""), fixtureLine(2));
}

TEST(PdfGeometry, BoxesAndRotationSurviveSaving) {
    PdfDocument doc = makeTextPdf(3);
    ASSERT_TRUE(doc.setPageBox(1, PdfBox::media, PdfRect{0, 0, 300, 400}));
    ASSERT_TRUE(doc.setPageBox(1, PdfBox::crop, PdfRect{10, 20, 250, 380}));
    // A crop box reaching outside the media box is clipped to it.
    ASSERT_TRUE(doc.setPageBox(2, PdfBox::crop, PdfRect{-50, -50, 300, 300}));
    ASSERT_TRUE(doc.setRotation(1, -90));
    EXPECT_FALSE(doc.setRotation(0, 45));

    PdfDocument back = reopened(doc);
    auto media = back.mediaBox(1);
    auto crop = back.cropBox(1);
    ASSERT_TRUE(media && crop);
    EXPECT_DOUBLE_EQ(media->width(), 300);
    EXPECT_DOUBLE_EQ(crop->x0, 10);
    EXPECT_DOUBLE_EQ(crop->y1, 380);
    EXPECT_EQ(back.rotation(1), 270);
    EXPECT_EQ(back.rotation(0), 0);
    EXPECT_DOUBLE_EQ(back.cropBox(0)->height(), 792);  // no crop box: the media box
    EXPECT_DOUBLE_EQ(back.cropBox(2)->x0, 0);
    EXPECT_DOUBLE_EQ(back.cropBox(2)->x1, 300);
    EXPECT_FALSE(back.mediaBox(3).has_value());
}

TEST(PdfText, CharacterBoxesAreInPagePointsFromTheBottomLeft) {
    PdfDocument doc;
    ASSERT_TRUE(doc.insertTextPage(0, kLetter, {"Page 1 alpha", "second line here"}));
    ASSERT_TRUE(doc.insertTextPage(1, kLetter, {"Page 1 alpha", "second line here"}));
    ASSERT_TRUE(doc.setRotation(1, 90));

    for (int page : {0, 1}) {
        auto text = doc.pageTextWithBoxes(page);
        ASSERT_TRUE(text);
        EXPECT_EQ(text->text, "Page 1 alpha\nsecond line here");
        ASSERT_EQ(text->lines.size(), 2u);
        // The first line's baseline is 72 points below the top edge; its box straddles it.
        EXPECT_GT(text->lines[0].box.y1, 720);
        EXPECT_LT(text->lines[0].box.y0, 720);
        EXPECT_GT(text->lines[0].box.x0, 71);
        EXPECT_LT(text->lines[0].box.x0, 74);
        EXPECT_LT(text->lines[1].box.y1, text->lines[0].box.y1);  // lower on the page

        auto at = text->text.find("alpha");
        auto rects = text->rectsForRange(at, at + 5);
        ASSERT_EQ(rects.size(), 1u);
        EXPECT_GT(rects[0].x0, text->lines[0].box.x0 + 20);
        EXPECT_NEAR(rects[0].x1, text->lines[0].box.x1, 1.0);
        // A range over the line break gives one rectangle per line.
        auto two = text->rectsForRange(at, text->text.find("line"));
        EXPECT_EQ(two.size(), 2u);
        for (const auto& ch : text->chars)
            EXPECT_EQ(text->text.substr(ch.offset, 1)[0], char(ch.codepoint));
    }
}

TEST(PdfText, PageLabelsFollowTheDocumentsRanges) {
    // Hand-written file: pages 1-2 "i", "ii"; from page 3 "A-1"...; page 5 starts at "7" decimal.
    std::string pdf =
        "%PDF-1.7\n"
        "1 0 obj << /Type /Catalog /Pages 2 0 R /PageLabels << /Nums [0 << /S /r >> 2 << /S /D "
        "/P (A-) >> 4 << /S /D /St 7 >> ] >> >> endobj\n"
        "2 0 obj << /Type /Pages /Count 6 /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R] >> endobj\n";
    for (int i = 3; i <= 8; ++i)
        pdf += std::to_string(i) +
               " 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >> endobj\n";
    pdf += "trailer << /Root 1 0 R >>\n%%EOF\n";
    auto doc = PdfDocument::openBytes(pdf);
    ASSERT_TRUE(doc.ok()) << doc.error();
    ASSERT_EQ(doc->pageCount(), 6);
    std::vector<std::string> labels;
    for (int i = 0; i < 6; ++i) labels.push_back(doc->pageLabel(i));
    EXPECT_EQ(labels, (std::vector<std::string>{"i", "ii", "A-1", "A-2", "7", "8"}));
    EXPECT_EQ(makeTextPdf(2).pageLabel(1), "2");

    // A crafted label tree whose node lists itself twice as a kid: read naively that is 2^32
    // visits; each node is read once and the real range still applies.
    std::string looped =
        "%PDF-1.7\n"
        "1 0 obj << /Type /Catalog /Pages 2 0 R /PageLabels 4 0 R >> endobj\n"
        "2 0 obj << /Type /Pages /Count 1 /Kids [3 0 R] >> endobj\n"
        "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >> endobj\n"
        "4 0 obj << /Kids [5 0 R 5 0 R 6 0 R] >> endobj\n"
        "5 0 obj << /Kids [5 0 R 5 0 R] >> endobj\n"
        "6 0 obj << /Nums [0 << /S /R /St 3 >>] >> endobj\n"
        "trailer << /Root 1 0 R >>\n%%EOF\n";
    auto loop = PdfDocument::openBytes(looped);
    ASSERT_TRUE(loop.ok()) << loop.error();
    EXPECT_EQ(loop->pageLabel(0), "III");
}

// An outline whose items are their own children and siblings (found by fuzzing: a 1 KB file
// held the reader for minutes) is read once per item.
TEST(PdfNavigation, ALoopingOutlineIsReadOncePerItem) {
    const std::string looped =
        "%PDF-1.7\n"
        "1 0 obj << /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >> endobj\n"
        "2 0 obj << /Type /Pages /Count 1 /Kids [3 0 R] >> endobj\n"
        "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >> endobj\n"
        "4 0 obj << /First 5 0 R >> endobj\n"
        "5 0 obj << /Title (A) /First 5 0 R /Next 6 0 R >> endobj\n"
        "6 0 obj << /Title (B) /First 6 0 R /Next 5 0 R >> endobj\n"
        "trailer << /Root 1 0 R >>\n%%EOF\n";
    auto doc = PdfDocument::openBytes(looped);
    ASSERT_TRUE(doc.ok()) << doc.error();
    auto outline = doc->outline();
    ASSERT_EQ(outline.size(), 2u);
    EXPECT_EQ(outline[0].title, "A");
    EXPECT_EQ(outline[1].title, "B");
    EXPECT_TRUE(outline[0].children.empty());
}

TEST(PdfNavigation, OutlineLinksAndNamesRoundTrip) {
    TempHome home;
    PdfDocument doc = makeNavigablePdf(4);
    doc.addUriLink(2, PdfRect{10, 10, 50, 30}, "https://example.com/a");
    std::string path = home / "nav.pdf";
    ASSERT_TRUE(writePdf(doc, path));
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(path, &report)) << report;

    auto back = PdfDocument::openFile(path);
    ASSERT_TRUE(back.ok());
    auto outline = back->outline();
    ASSERT_EQ(outline.size(), 4u);
    EXPECT_EQ(outline[2].title, "Chapter 3");
    ASSERT_TRUE(outline[2].destination);
    EXPECT_EQ(outline[2].destination->page, 2);
    ASSERT_TRUE(outline[2].destination->point);
    EXPECT_DOUBLE_EQ(outline[2].destination->point->y, 792);
    EXPECT_TRUE(outline[0].open);
    ASSERT_EQ(outline[0].children.size(), 1u);
    EXPECT_EQ(outline[0].children[0].destination->page, 3);

    auto first = back->links(0);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].destination->page, 1);
    EXPECT_EQ(first[1].namedDestination, "page-4");
    EXPECT_EQ(first[1].destination->page, 3);
    EXPECT_EQ(back->links(3)[0].destination->page, 0);  // the last page links back to the first
    auto third = back->links(2);
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third[1].uri, "https://example.com/a");
    EXPECT_FALSE(third[1].destination);

    auto named = back->namedDestination("page-2");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->page, 1);
    EXPECT_FALSE(back->namedDestination("page-9"));
}

TEST(PdfThreads, DocumentsAreUsableFromSeveralThreadsAtOnce) {
    std::string bytes = bytesOf(makeTextPdf(8));
    PdfDocument shared = PdfDocument::openBytes(bytes).value();
    std::vector<std::thread> threads;
    std::vector<int> good(6, 0);
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            // Half the threads share one document, the others open their own.
            PdfDocument own = t % 2 ? shared : PdfDocument::openBytes(bytes).value();
            for (int round = 0; round < 5; ++round)
                for (int i = 0; i < 8; ++i)
                    if (own.pageText(i).value_or("") == fixtureLine(i + 1)) ++good[size_t(t)];
        });
    for (auto& th : threads) th.join();
    for (int g : good) EXPECT_EQ(g, 40);
}
