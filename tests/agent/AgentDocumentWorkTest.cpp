// The bridge's document work on real PDFs and images.
#include "agent/AgentDocumentWork.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/AnnotatedPdf.h"
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

// What each mark covers and which kinds are left out are AnnotationExport's tests; here the
// agent's list carries every field of the marks it keeps.
TEST_F(DocumentWorkTest, AnnotationsListMarkupWithTheTextItCovers) {
    auto out = work->exportAnnotations(annotatedLease(), "/docs/lease.pdf");
    ASSERT_TRUE(out.has_value());
    ASSERT_EQ(out->annotations.size(), 5u);
    const auto& pay = out->annotations[0];
    EXPECT_EQ(pay.page, 1);
    EXPECT_EQ(pay.kind, "Highlight");
    EXPECT_EQ(pay.text, "pay rent monthly");
    EXPECT_EQ(pay.note, "check the amount");
    EXPECT_EQ(pay.author, "ana");
    EXPECT_EQ(out->annotations[3].page, 2);
    EXPECT_EQ(out->annotations[3].kind, "Text");
    EXPECT_EQ(out->annotations[3].text, "");
    EXPECT_EQ(out->markdown.rfind("# Annotations — lease", 0), 0u);

    auto none = work->exportAnnotations(bytesOf(makeTextPdf(1)), "/docs/plain.pdf");
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->annotations.empty());
    EXPECT_FALSE(work->exportAnnotations("garbage", "/docs/x.pdf").has_value());
}

}  // namespace
}  // namespace cvl::test
