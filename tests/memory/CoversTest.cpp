#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "memory/CoverThumbs.h"
#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using Covers = std::map<std::string, std::string>;

// Runs a cover request and waits on the main queue for its answer.
Covers renderAndWait(const std::vector<std::string>& paths, HistoryCovers::Options options = {}) {
    std::optional<Covers> answer;
    HistoryCovers::render(
        paths, [&](Covers c) { answer = std::move(c); }, std::move(options));
    EXPECT_TRUE(Dispatch::manualMain()->runUntil([&] { return answer.has_value(); },
                                                 std::chrono::seconds(60)));
    return answer.value_or(Covers{});
}

std::pair<int, int> pngSize(const std::string& png) {
    auto be32 = [&](size_t at) {
        return (int(std::uint8_t(png[at])) << 24) | (int(std::uint8_t(png[at + 1])) << 16) |
               (int(std::uint8_t(png[at + 2])) << 8) | int(std::uint8_t(png[at + 3]));
    };
    if (png.size() < 24 || png.compare(1, 3, "PNG") != 0) return {0, 0};
    return {be32(16), be32(20)};
}

class CoversFixture : public ::testing::Test {
  protected:
    std::string touch(const std::string& name) {
        std::string p = home / name;
        std::ofstream(p) << name;
        return p;
    }
    test::TempHome home;
};

TEST_F(CoversFixture, PdfCoversAreDrawnCachedAndAnswered) {
    std::string pdf = home / "Brief.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(2), pdf));
    std::string note = touch("notes.txt");
    std::string gone = home / "gone.pdf";

    Covers covers = renderAndWait({pdf, note, gone, pdf});
    ASSERT_EQ(covers.size(), 1u);
    auto key = HistoryCovers::coverKey(pdf);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->size(), 24u);
    std::string file = home.path() + "/Vizazi Divavo rez Iviruzi/.covers/" + *key + ".png";
    EXPECT_EQ(covers[pdf], HistoryCovers::fileUrl(file));
    EXPECT_NE(covers[pdf].find("/Vizazi%20Divavo%20rez%20Iviruzi/.covers/"), std::string::npos);
    auto [w, h] = pngSize(readFile(file).value_or(""));
    EXPECT_TRUE(w <= 660 && h <= 854 && (w >= 659 || h >= 853)) << w << "x" << h;

    // A cover on disk is reused; a changed file gets a new key.
    std::atomic<int> calls{0};
    HistoryCovers::Options counting;
    counting.renderer = [&](const std::string&) -> std::optional<std::string> {
        ++calls;
        return std::nullopt;
    };
    EXPECT_EQ(renderAndWait({pdf}, counting).size(), 1u);
    EXPECT_EQ(calls.load(), 0);
    std::ofstream(pdf, std::ios::app) << "\n% appended";
    EXPECT_NE(HistoryCovers::coverKey(pdf), key);
}

TEST_F(CoversFixture, AtMostFourRenderAtOnceAndLateOnesAreLeftOut) {
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) paths.push_back(touch("doc" + std::to_string(i) + ".pdf"));
    std::atomic<int> running{0}, most{0};
    HistoryCovers::Options slow;
    slow.renderer = [&](const std::string& p) -> std::optional<std::string> {
        int now = ++running;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        --running;
        return "png of " + p;
    };
    Covers covers = renderAndWait(paths, slow);
    EXPECT_EQ(covers.size(), 10u);
    EXPECT_LE(most.load(), 4);
    EXPECT_GE(most.load(), 2);

    // Renders still going when the wait ends are missing from the answer.
    std::vector<std::string> more{touch("slow.pdf"), touch("fast.pdf")};
    // Shared with the render that outlives this test's wait.
    auto release = std::make_shared<std::atomic<bool>>(false);
    HistoryCovers::Options stuck;
    stuck.wait = std::chrono::milliseconds(2000);
    stuck.renderer = [release](const std::string& p) -> std::optional<std::string> {
        if (p.ends_with("slow.pdf"))
            while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return "png";
    };
    covers = renderAndWait(more, stuck);
    *release = true;
    EXPECT_EQ(covers.count(more[1]), 1u);
    EXPECT_EQ(covers.count(more[0]), 0u);
}

TEST(CoverThumbs, BlankPagesGetNoThumbnail) {
    PdfBitmap page;
    page.width = 200;
    page.height = 260;
    page.pixels.assign(size_t(page.width) * page.height * 3, 255);
    EXPECT_TRUE(CoverThumbs::isBlank(page));
    // A faint tint over the lower half stays within the spread of a blank page.
    for (size_t i = page.pixels.size() / 2; i < page.pixels.size(); ++i) page.pixels[i] = 245;
    EXPECT_TRUE(CoverThumbs::isBlank(page));
    // A dark band across sampled rows makes it a page with content.
    for (int y = 100; y < 110; ++y)
        for (int x = 0; x < page.width; ++x)
            for (int c = 0; c < 3; ++c) page.pixels[(size_t(y) * page.width + x) * 3 + c] = 40;
    EXPECT_FALSE(CoverThumbs::isBlank(page));

    test::TempHome home;
    std::string blank = home / "blank.pdf";
    PdfDocument empty;
    ASSERT_TRUE(empty.insertBlankPage(0, test::kLetter));
    ASSERT_TRUE(test::writePdf(empty, blank));
    EXPECT_FALSE(CoverThumbs::pageOneJPEGBase64(blank).has_value());

    std::string photo = home / "photo.pdf";
    ASSERT_TRUE(test::writePdf(test::makeImagePdf(1, 800, 600, false), photo));
    auto b64 = CoverThumbs::pageOneJPEGBase64(photo);
    ASSERT_TRUE(b64.has_value());
    auto jpeg = base64Decode(*b64);
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_EQ(jpeg->substr(0, 2), "\xFF\xD8");
    EXPECT_LE(jpeg->size(), CoverThumbs::kMaxBytes);
    EXPECT_FALSE(CoverThumbs::pageOneJPEGBase64(home / "missing.pdf").has_value());
}

}  // namespace
}  // namespace cvl
