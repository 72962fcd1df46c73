// The bridge's document work on real PDFs and images.
#include "agent/AgentDocumentWork.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/pdf/PdfAnnotations.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl::test {
namespace {

class DocumentWorkTest : public ::testing::Test {
  protected:
    TempHome home;
    std::shared_ptr<AgentPageWork> work = makeAgentDocumentWork();

    std::string writePng(const std::string& name, int w, int h, unsigned seed) {
        auto png = encodePng(photoBitmap(w, h, seed));
        EXPECT_TRUE(png.has_value());
        std::string path = home / name;
        EXPECT_TRUE(writeFileAtomic(path, png.value_or("")).ok());
        return path;
    }
    std::vector<std::string> folderNames() {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(home.path()))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(DocumentWorkTest, PageCountsOnlyForReadableUnlockedPdfs) {
    std::string ten = home / "ten.pdf";
    ASSERT_TRUE(writePdf(makeTextPdf(10), ten));
    EXPECT_EQ(work->pageCount(ten), 10);
    std::string damaged = home / "damaged.pdf";
    ASSERT_TRUE(writeFileAtomic(damaged, damagedPdfBytes()).ok());
    EXPECT_FALSE(work->pageCount(damaged).has_value());
    std::string locked = home / "locked.pdf";
    ASSERT_TRUE(writeFileAtomic(locked, makeEncryptedPdfBytes(2, "secret")).ok());
    EXPECT_FALSE(work->pageCount(locked).has_value());
    EXPECT_FALSE(work->pageCount(home / "missing.pdf").has_value());
}

TEST_F(DocumentWorkTest, CombinedImagesBecomeANewPdfBesideTheFirst) {
    std::string a = writePng("scan a.png", 200, 300, 1);
    std::string b = writePng("scan b.png", 300, 200, 2);
    auto two = work->combineImages({a, b});
    ASSERT_TRUE(two.ok()) << two.error();
    EXPECT_EQ(two->path, home / "scan a (combined).pdf");
    EXPECT_EQ(two->pages, 2);
    auto doc = PdfDocument::openFile(two->path);
    ASSERT_TRUE(doc.ok());
    ASSERT_EQ(doc->pageCount(), 2);
    // In the given order: the first page has the first image's portrait shape.
    auto first = doc->mediaBox(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_GT(first->height(), first->width());

    auto again = work->combineImages({a, b});
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->path, home / "scan a (combined) 2.pdf");
    auto one = work->combineImages({b});
    ASSERT_TRUE(one.ok());
    EXPECT_EQ(one->path, home / "scan b (PDF).pdf");
    EXPECT_EQ(one->pages, 1);
}

TEST_F(DocumentWorkTest, AnUnreadableImageLeavesNothingBehind) {
    std::string a = writePng("good.png", 50, 50, 3);
    std::string bad = home / "bad.png";
    ASSERT_TRUE(writeFileAtomic(bad, "not an image at all").ok());
    auto before = folderNames();
    auto r = work->combineImages({a, bad});
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "Corvello couldn’t read one of those images");
    EXPECT_EQ(folderNames(), before);
}

TEST_F(DocumentWorkTest, AnnotationsListMarkupWithTheTextItCovers) {
    PdfDocument doc = makeTextPdf(3);
    auto text = doc.pageTextWithBoxes(1);
    ASSERT_TRUE(text.has_value());
    ASSERT_FALSE(text->lines.empty());
    PdfRect line = text->lines[0].box;
    PdfAnnotation mark;
    mark.kind = "Highlight";
    mark.rect = line;
    mark.quads = {{PdfPoint{line.x0, line.y1}, PdfPoint{line.x1, line.y1},
                   PdfPoint{line.x0, line.y0}, PdfPoint{line.x1, line.y0}}};
    mark.contents = "check this";
    mark.author = "Ana";
    ASSERT_TRUE(pdfAddAnnotation(doc, 1, mark));
    PdfAnnotation note;
    note.kind = "Text";
    note.rect = PdfRect{10, 10, 30, 30};
    note.contents = "call the client";
    ASSERT_TRUE(pdfAddAnnotation(doc, 2, note));
    PdfAnnotation link;
    link.kind = "Link";
    link.rect = PdfRect{40, 40, 60, 60};
    pdfAddAnnotation(doc, 0, link);

    auto out = work->exportAnnotations(bytesOf(doc), "/docs/lease.pdf");
    ASSERT_TRUE(out.has_value());
    ASSERT_EQ(out->annotations.size(), 2u);
    EXPECT_EQ(out->annotations[0].page, 2);
    EXPECT_EQ(out->annotations[0].kind, "Highlight");
    EXPECT_EQ(out->annotations[0].text, fixtureLine(2));
    EXPECT_EQ(out->annotations[0].note, "check this");
    EXPECT_EQ(out->annotations[0].author, "Ana");
    EXPECT_EQ(out->annotations[1].page, 3);
    EXPECT_EQ(out->annotations[1].text, "");
    EXPECT_EQ(out->markdown.rfind("# Annotations — lease", 0), 0u);
    EXPECT_NE(out->markdown.find("call the client"), std::string::npos);

    auto none = work->exportAnnotations(bytesOf(makeTextPdf(1)), "/docs/plain.pdf");
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->annotations.empty());
    EXPECT_FALSE(work->exportAnnotations("garbage", "/docs/x.pdf").has_value());
}

}  // namespace
}  // namespace cvl::test
