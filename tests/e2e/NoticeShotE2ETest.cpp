// The real corvello renders its sample notice cards into PNG files (corvello --notice-shot).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfRender.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

ProcessResult runCorvello(const test::TempHome& home, std::vector<std::string> args) {
    ProcessSpec spec;
    spec.program = std::string(CVL_BINARY_DIR) + "/corvello";
    spec.args = std::move(args);
    spec.env["HOME"] = home.path();
    spec.env["CVL_RESOURCES"] = CVL_SOURCE_RESOURCES;
    spec.timeout = std::chrono::seconds(60);
    return runProcess(spec);
}

struct Card {
    std::string path;
    int width = 0, height = 0;  // as printed
    std::string tone;
};

unsigned be32(const std::string& s, size_t at) {
    auto b = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(s[at + i])); };
    return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

// What the picture holds, read back through MuPDF on a white page: the spread of lightness,
// and the red and green weight of its strongly coloured pixels (the tone's accent).
struct Look {
    double lightSpan = 0;
    double red = 0, green = 0;
};

std::optional<Look> lookOf(const std::string& png) {
    PdfDocument doc;
    if (!doc.insertImagePage(0, png)) return std::nullopt;
    auto bitmap = renderPageImage(doc, 0, 1.0, PdfBox::media);
    if (!bitmap) return std::nullopt;
    Look look;
    double lo = 1, hi = 0;
    for (size_t i = 0; i + 2 < bitmap->pixels.size(); i += 3) {
        const double r = bitmap->pixels[i] / 255.0, g = bitmap->pixels[i + 1] / 255.0,
                     b = bitmap->pixels[i + 2] / 255.0;
        const double light = 0.2126 * r + 0.7152 * g + 0.0722 * b;
        lo = std::min(lo, light), hi = std::max(hi, light);
        if (std::max({r, g, b}) - std::min({r, g, b}) > 0.35) look.red += r, look.green += g;
    }
    look.lightSpan = hi - lo;
    return look;
}

TEST(NoticeShot, WritesOneNonBlankCardPerSampleSizedByItsContent) {
    test::TempHome home;
    const std::string dir = home / "shots/notices";  // made by the mode
    ProcessResult r = runCorvello(home, {"--notice-shot", dir});
    ASSERT_TRUE(r.launched) << r.launchError;
    ASSERT_EQ(r.exitStatus, 0) << r.err;

    std::map<std::string, Card> cards;  // by file name
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        Card c;
        std::istringstream fields(line);
        char x = 0;
        ASSERT_TRUE(fields >> c.path >> c.width >> x >> c.height >> c.tone) << line;
        ASSERT_EQ(parentPath(c.path), dir) << line;
        cards[lastPathComponent(c.path)] = c;
    }
    ASSERT_GE(cards.size(), 6u) << r.out;

    std::set<std::string> tones;
    for (const auto& [name, card] : cards) {
        SCOPED_TRACE(name);
        tones.insert(card.tone);
        auto png = readFile(card.path);
        ASSERT_TRUE(png);
        ASSERT_GT(png->size(), 24u);
        EXPECT_EQ(png->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(be32(*png, 16), static_cast<unsigned>(card.width));
        EXPECT_EQ(be32(*png, 20), static_cast<unsigned>(card.height));
        // Cards are 280 to 380 points wide, drawn at two pixels per point.
        EXPECT_GE(card.width, 560);
        EXPECT_LE(card.width, 760);
        auto look = lookOf(*png);
        ASSERT_TRUE(look);
        EXPECT_GT(look->lightSpan, 0.4) << "a blank card";
    }
    EXPECT_EQ(tones, (std::set<std::string>{"neutral", "positive", "caution", "negative"}));

    // Size follows the content: a short title alone makes a narrower card, a wrapping title a
    // taller one than a one-line title over the same one-line body.
    ASSERT_TRUE(cards.count("notice-caution.png") && cards.count("notice-positive.png") &&
                cards.count("notice-long-title.png"));
    EXPECT_LT(cards["notice-caution.png"].width, cards["notice-positive.png"].width);
    EXPECT_GT(cards["notice-long-title.png"].height, cards["notice-positive.png"].height);

    // Good news and failures carry different accents: green against red.
    auto positive = lookOf(*readFile(cards["notice-positive.png"].path));
    auto negative = lookOf(*readFile(cards["notice-negative.png"].path));
    ASSERT_TRUE(positive && negative);
    EXPECT_GT(positive->green, positive->red);
    EXPECT_GT(negative->red, 1.5 * negative->green);
}

TEST(NoticeShot, AFolderThatCannotBeMadeFailsAndWritesNothing) {
    test::TempHome home;
    const std::string file = home / "taken";
    ASSERT_TRUE(writeFileAtomic(file, "mine"));
    ProcessResult r = runCorvello(home, {"--notice-shot", file});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot make the folder"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(file), std::optional<std::string>("mine"));

    r = runCorvello(home, {"--notice-shot", ""});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("needs a folder"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace cvl
