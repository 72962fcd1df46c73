// Page annotations: what is written reads back, survives a save, and passes qpdf's check.
#include "platform/pdf/PdfAnnotations.h"

#include <gtest/gtest.h>

#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;

TEST(PdfAnnotations, WrittenAnnotationsReadBackAfterASave) {
    test::TempHome home;
    PdfDocument doc = test::makeTextPdf(2);
    std::array<PdfPoint, 4> quad{PdfPoint{72, 730}, PdfPoint{180, 730}, PdfPoint{72, 712},
                                 PdfPoint{180, 712}};
    ASSERT_TRUE(pdfAddAnnotation(
        doc, 1, {"Highlight", {72, 712, 180, 730}, {quad, quad}, "Über \u201cnote\u201d", "Ana"}));
    ASSERT_TRUE(pdfAddAnnotation(doc, 1, {"Text", {500, 700, 520, 720}, {}, "", ""}));
    ASSERT_TRUE(doc.addUriLink(1, PdfRect{72, 600, 200, 620}, "https://example.com"));
    EXPECT_FALSE(pdfAddAnnotation(doc, 2, {"Text", {0, 0, 1, 1}, {}, "", ""}));
    EXPECT_FALSE(pdfAddAnnotation(doc, 0, {"", {0, 0, 1, 1}, {}, "", ""}));

    std::string path = home / "annotated.pdf";
    ASSERT_TRUE(test::writePdf(doc, path));
    std::string report;
    EXPECT_TRUE(test::qpdfCheckClean(path, &report)) << report;

    auto reopened = PdfDocument::openFile(path);
    ASSERT_TRUE(reopened.ok());
    EXPECT_TRUE(pdfAnnotations(*reopened, 0).empty());
    auto annots = pdfAnnotations(*reopened, 1);
    ASSERT_EQ(annots.size(), 3u);
    EXPECT_EQ(annots[0].kind, "Highlight");
    EXPECT_EQ(annots[0].contents, "Über \u201cnote\u201d");
    EXPECT_EQ(annots[0].author, "Ana");
    ASSERT_EQ(annots[0].quads.size(), 2u);
    EXPECT_DOUBLE_EQ(annots[0].quads[1][3].x, 180);
    EXPECT_DOUBLE_EQ(annots[0].quads[1][3].y, 712);
    EXPECT_DOUBLE_EQ(annots[0].rect.x1, 180);
    EXPECT_EQ(annots[1].kind, "Text");
    EXPECT_TRUE(annots[1].quads.empty());
    EXPECT_EQ(annots[2].kind, "Link");
    EXPECT_TRUE(pdfAnnotations(*reopened, 2).empty());
    EXPECT_TRUE(pdfAnnotations(*reopened, -1).empty());
}

TEST(PdfAnnotations, LockedDocumentsShowNone) {
    PdfDocument doc = test::makeTextPdf(1);
    ASSERT_TRUE(pdfAddAnnotation(doc, 0, {"Text", {10, 10, 30, 30}, {}, "secret", ""}));
    PdfSaveOptions options;
    options.userPassword = "pw";
    options.ownerPassword = "owner";
    auto locked = PdfDocument::openBytes(test::bytesOf(doc, options));
    ASSERT_TRUE(locked.ok());
    ASSERT_TRUE(locked->isLocked());
    EXPECT_TRUE(pdfAnnotations(*locked, 0).empty());
    ASSERT_TRUE(locked->unlock("pw"));
    auto annots = pdfAnnotations(*locked, 0);
    ASSERT_EQ(annots.size(), 1u);
    EXPECT_EQ(annots[0].contents, "secret");
}
