// Page rendering: sizes, truncation, the pixel cap, boxes, rotation, and the encoders' output.
#include <gtest/gtest.h>

#include "platform/pdf/PdfRender.h"
#include "support/PdfFixtures.h"

using namespace cvl;
using namespace cvl::test;

namespace {

int darkPixels(const PdfBitmap& bmp, int x0, int y0, int x1, int y1) {
    int dark = 0;
    for (int y = std::max(0, y0); y < std::min(bmp.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(bmp.width, x1); ++x) {
            const auto* p = &bmp.pixels[(size_t(y) * size_t(bmp.width) + size_t(x)) * 3];
            if (p[0] < 128 && p[1] < 128 && p[2] < 128) ++dark;
        }
    return dark;
}

}  // namespace

TEST(RenderPageImage, SizeIsTheBoxTimesTheScaleTruncated) {
    PdfDocument doc = makeTextPdf(2);
    auto half = renderPageImage(doc, 0, 0.5, PdfBox::crop);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->width, 306);
    EXPECT_EQ(half->height, 396);
    auto odd = renderPageImage(doc, 1, 0.1, PdfBox::media);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->width, 61);   // 61.2
    EXPECT_EQ(odd->height, 79);  // 79.2
    EXPECT_FALSE(renderPageImage(doc, 2, 1, PdfBox::crop));
    EXPECT_FALSE(renderPageImage(doc, -1, 1, PdfBox::crop));
    EXPECT_FALSE(renderPageImage(doc, 0, 0, PdfBox::crop));
    EXPECT_FALSE(renderPageImage(doc, 0, 0.001, PdfBox::crop));  // rounds to nothing
}

TEST(RenderPageImage, RefusesImagesAtOrOverTheCap) {
    PdfDocument doc;
    ASSERT_TRUE(doc.insertBlankPage(0, PdfRect{0, 0, 1000, 1000}));
    // 1000 x 1000 points at 8.944 is 8944 x 8944 = 79.99 M pixels: allowed; at 8.95 it is not.
    EXPECT_FALSE(renderPageImage(doc, 0, 8.95, PdfBox::media));
    EXPECT_FALSE(renderPageImage(doc, 0, 9.0, PdfBox::media));
    auto below = renderPageImage(doc, 0, 0.25, PdfBox::media);
    ASSERT_TRUE(below);
    EXPECT_EQ(darkPixels(*below, 0, 0, below->width, below->height), 0);  // white fill
    EXPECT_EQ(below->pixels[0], 255);
}

TEST(RenderPageImage, DrawsTheTextWhereThePageHasIt) {
    PdfDocument doc = makeTextPdf(1);
    auto bmp = renderPageImage(doc, 0, 1.0, PdfBox::media);
    ASSERT_TRUE(bmp);
    // "Page 1 alpha" sits 72 points in from the left and about 72 down from the top.
    EXPECT_GT(darkPixels(*bmp, 70, 55, 200, 76), 50);
    EXPECT_EQ(darkPixels(*bmp, 300, 300, 600, 700), 0);
}

TEST(RenderPageImage, CropBoxMovesItsCornerToTheBitmapsCorner) {
    PdfDocument doc = makeTextPdf(1);
    // Crop to a window around the text line: x 60..260, y 700..740 in page points.
    ASSERT_TRUE(doc.setPageBox(0, PdfBox::crop, PdfRect{60, 700, 260, 740}));
    auto crop = renderPageImage(doc, 0, 2.0, PdfBox::crop);
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->width, 400);
    EXPECT_EQ(crop->height, 80);
    EXPECT_GT(darkPixels(*crop, 0, 0, 400, 80), 100);
    auto media = renderPageImage(doc, 0, 1.0, PdfBox::media);
    ASSERT_TRUE(media);
    EXPECT_EQ(media->width, 612);  // the media box ignores the crop
}

TEST(RenderPageImage, RotatedPagesAreDrawnAsShown) {
    PdfDocument doc = makeTextPdf(1);
    ASSERT_TRUE(doc.setRotation(0, 90));
    auto bmp = renderPageImage(doc, 0, 0.5, PdfBox::crop);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->width, 396);
    EXPECT_EQ(bmp->height, 306);
    // Turned clockwise, the top-left text now runs down the right edge.
    EXPECT_GT(darkPixels(*bmp, 350, 0, 396, 120), 10);
    EXPECT_EQ(darkPixels(*bmp, 0, 0, 200, 306), 0);
}

TEST(ImageEncoding, PngAndJpegDecodeBackToTheSameSize) {
    PdfBitmap bmp = photoBitmap(320, 200);
    auto png = encodePng(bmp);
    auto jpeg = encodeJpeg(bmp, 80);
    ASSERT_TRUE(png && jpeg);
    EXPECT_EQ(png->substr(1, 3), "PNG");
    EXPECT_EQ(static_cast<unsigned char>((*jpeg)[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>((*jpeg)[1]), 0xD8);
    EXPECT_LT(jpeg->size(), png->size());
    for (const auto* bytes : {&*png, &*jpeg}) {
        PdfDocument doc;
        ASSERT_TRUE(doc.insertImagePage(0, *bytes));
        auto box = doc.mediaBox(0);
        ASSERT_TRUE(box);
        EXPECT_NEAR(box->width(), 320, 0.01);  // 72 dpi when the file names none
        EXPECT_NEAR(box->height(), 200, 0.01);
        // The decoded picture comes back close to the original colours.
        auto back = renderPageImage(doc, 0, 1.0, PdfBox::media);
        ASSERT_TRUE(back);
        ASSERT_EQ(back->width, 320);
        size_t mid = (size_t(100) * 320 + 160) * 3;
        EXPECT_NEAR(back->pixels[mid], bmp.pixels[mid], 24);
        EXPECT_NEAR(back->pixels[mid + 1], bmp.pixels[mid + 1], 24);
    }
    EXPECT_FALSE(encodePng(PdfBitmap{}));
    EXPECT_FALSE(encodeJpeg(PdfBitmap{2, 2, {1, 2, 3}}));
    PdfDocument doc;
    EXPECT_FALSE(doc.insertImagePage(0, "not an image"));
    EXPECT_EQ(doc.pageCount(), 0);
}
