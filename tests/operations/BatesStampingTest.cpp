// Stamping runs on generated folders, checked from the outputs themselves: the text poppler
// extracts from every page, renderings of the stamped pages against the sources, the manifest
// and the load file. Sources are hashed before and after.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "operations/BatesStamper.h"
#include "operations/CvlBates.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/pdf/PdfRender.h"
#include "platform/pdf/PdfStamping.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;
namespace fs = std::filesystem;

namespace {

const char* kFailed = "Could not read or stamp this document.";

std::string solidPng(int w, int h, uint8_t grey) {
    PdfBitmap bmp;
    bmp.width = w;
    bmp.height = h;
    bmp.pixels.assign(size_t(w) * size_t(h) * 3, grey);
    return encodePng(bmp).value_or("");
}

// Every Bates-looking label poppler finds on one page.
std::vector<std::string> labelsOnPage(const std::string& pdf, int page) {
    static const std::regex label("[A-Z]+[0-9]{6,}");
    std::string text = popplerText(pdf, page, page);
    std::vector<std::string> out;
    for (std::sregex_iterator it(text.begin(), text.end(), label), end; it != end; ++it)
        out.push_back(it->str());
    return out;
}

// Each page of `pdf` shows exactly the labels first, first+1, ... in order.
void expectPageLabels(const std::string& pdf, const BatesConfig& c, long long first, int pages) {
    ASSERT_EQ(popplerPageCount(pdf), pages) << pdf;
    for (int p = 1; p <= pages; ++p)
        EXPECT_EQ(labelsOnPage(pdf, p), std::vector<std::string>{c.label(first + p - 1)})
            << pdf << " page " << p;
}

std::map<std::string, std::string> hashes(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file()) out[e.path().string()] = sha256HexOfFile(e.path()).value_or("");
    return out;
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) out.insert(e.path().filename());
    return out;
}

// The pixels where two renderings of the same size differ clearly, as a box in points
// (origin top-left); empty when none differ.
struct Box {
    double x0 = 1e9, y0 = 1e9, x1 = -1, y1 = -1;
    bool empty() const { return x1 < x0; }
};
Box differingBox(const PdfBitmap& a, const PdfBitmap& b, double scale) {
    Box box;
    if (a.width != b.width || a.height != b.height) return box;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            size_t i = (size_t(y) * size_t(a.width) + size_t(x)) * 3;
            int d = std::abs(int(a.pixels[i]) - int(b.pixels[i])) +
                    std::abs(int(a.pixels[i + 1]) - int(b.pixels[i + 1])) +
                    std::abs(int(a.pixels[i + 2]) - int(b.pixels[i + 2]));
            if (d < 90) continue;
            box.x0 = std::min(box.x0, x / scale);
            box.y0 = std::min(box.y0, y / scale);
            box.x1 = std::max(box.x1, (x + 1) / scale);
            box.y1 = std::max(box.y1, (y + 1) / scale);
        }
    return box;
}

struct Folder {
    TempHome home;
    std::string dir = home / "Production";
    std::string out = dir + "/Bates-Stamped";
    Folder() { fs::create_directories(dir); }
    std::string put(const std::string& name, const std::string& bytes) {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(writeFileAtomic(path, bytes).ok());
        return path;
    }
    BatesRunResult run(const BatesConfig& c = {}, std::optional<long long> start = {}) {
        return BatesStamper::stamp(batesInputList(dir).value_or(std::vector<std::string>{}), out, c,
                                   start);
    }
};

}  // namespace

TEST(BatesStamping, ExampleFolderAndASecondRunThatContinues) {
    Folder f;
    f.put("a.pdf", bytesOf(makeTextPdf(3)));
    f.put("b.png", solidPng(400, 300, 30));  // dark, so the halo shows
    f.put("c.txt", "not a document");
    f.put(".hidden.pdf", bytesOf(makeTextPdf(1)));
    const auto before = hashes(f.dir);

    EXPECT_EQ(batesInputList(f.dir),
              (std::vector<std::string>{f.dir + "/a.pdf", f.dir + "/b.png"}));
    EXPECT_EQ(batesPageCount(*batesInputList(f.dir)), 4);

    BatesConfig c;
    BatesRunResult r = f.run(c);
    ASSERT_FALSE(r.error);
    ASSERT_EQ(r.documents.size(), 2u);
    EXPECT_EQ(r.documents[0].beginLabel, "ABC000001");
    EXPECT_EQ(r.documents[0].endLabel, "ABC000003");
    EXPECT_EQ(r.documents[1].beginLabel, "ABC000004");
    EXPECT_EQ(r.documents[1].output, f.out + "/ABC000004.pdf");
    EXPECT_EQ(r.stampedCount, 2);
    EXPECT_EQ(r.pageCount, 4);
    EXPECT_EQ(namesIn(f.out), (std::set<std::string>{"ABC000001.pdf", "ABC000004.pdf",
                                                     "corvello-bates-manifest.json",
                                                     "corvello-bates-loadfile.csv"}));
    expectPageLabels(f.out + "/ABC000001.pdf", c, 1, 3);
    expectPageLabels(f.out + "/ABC000004.pdf", c, 4, 1);
    EXPECT_NE(popplerText(f.out + "/ABC000001.pdf", 2, 2).find("Page 2 alpha"), std::string::npos);
    EXPECT_TRUE(qpdfCheckClean(f.out + "/ABC000001.pdf"));

    // The image page is the image's pixel size, and the halo lightens the dark image around
    // the label.
    auto image = PdfDocument::openFile(f.out + "/ABC000004.pdf");
    ASSERT_TRUE(image);
    auto box = image->mediaBox(0);
    EXPECT_NEAR(box->width(), 400, 0.01);
    EXPECT_NEAR(box->height(), 300, 0.01);
    auto shown = renderPageImage(*image, 0, 1, PdfBox::media);
    ASSERT_TRUE(shown);
    int light = 0;
    for (int y = 300 - 40; y < 300 - 20; ++y)
        for (int x = 400 - 85; x < 400 - 20; ++x)
            if (shown->pixels[(size_t(y) * 400 + size_t(x)) * 3] > 180) ++light;
    EXPECT_GT(light, 20);

    r = f.run(c);
    ASSERT_FALSE(r.error);
    EXPECT_EQ(r.beginLabel, "ABC000005");
    EXPECT_EQ(r.endLabel, "ABC000008");
    expectPageLabels(f.out + "/ABC000005.pdf", c, 5, 3);
    auto manifest = BatesStamper::loadManifest(f.out);
    ASSERT_EQ(manifest.runs.size(), 2u);
    ASSERT_EQ(manifest.assigned.size(), 2u);
    EXPECT_EQ(manifest.assigned[1].begin, 5);
    EXPECT_EQ(manifest.nextNumber, 9);
    EXPECT_EQ(manifest.runs[1].settingsHash, c.settingsHash());
    EXPECT_EQ(*readFile(f.out + "/corvello-bates-loadfile.csv"),
              "BegBates,EndBates,Pages,OriginalFile,StampedFile\n"
              "ABC000001,ABC000003,3,\"a.pdf\",\"ABC000001.pdf\"\n"
              "ABC000004,ABC000004,1,\"b.png\",\"ABC000004.pdf\"\n"
              "ABC000005,ABC000007,3,\"a.pdf\",\"ABC000005.pdf\"\n"
              "ABC000008,ABC000008,1,\"b.png\",\"ABC000008.pdf\"\n");

    // Source names instead of labels: a name that is taken gets "-2".
    c.nameByBates = false;
    r = f.run(c);
    ASSERT_FALSE(r.error);
    EXPECT_EQ(r.documents[0].output, f.out + "/a.pdf");
    EXPECT_EQ(r.documents[1].output, f.out + "/b.pdf");
    r = f.run(c);
    EXPECT_EQ(r.documents[0].output, f.out + "/a-2.pdf");
    EXPECT_EQ(hashes(f.dir), before);
}

TEST(BatesStamping, BadDocumentsFailAloneTakeNoNumbersAndLeaveNothing) {
    Folder f;
    f.put("1.pdf", bytesOf(makeTextPdf(2)));
    f.put("2 locked.pdf", makeEncryptedPdfBytes(2, "secret"));
    f.put("3 damaged.pdf", damagedPdfBytes());
    f.put("4 empty.pdf", bytesOf(PdfDocument()));
    f.put("5 broken.png", "\x89PNG\r\n\x1a\nnot really");
    f.put("6 photo.JPG", encodeJpeg(photoBitmap(320, 200)).value_or(""));
    f.put("7.pdf", bytesOf(makeTextPdf(1)));
    PdfSaveOptions ownerOnly;  // encrypted, but opens without a password
    ownerOnly.ownerPassword = "owner";
    f.put("8 restricted.pdf", bytesOf(makeTextPdf(2, "restricted"), ownerOnly));
    const auto before = hashes(f.dir);

    BatesRunResult r = f.run();
    ASSERT_FALSE(r.error);
    ASSERT_EQ(r.documents.size(), 8u);
    for (int i : {1, 2, 3, 4}) {
        EXPECT_EQ(r.documents[size_t(i)].error.value_or(""), kFailed)
            << r.documents[size_t(i)].source;
        EXPECT_EQ(r.documents[size_t(i)].output, "");
    }
    EXPECT_EQ(r.documents[5].beginLabel, "ABC000003");  // the photo takes the next number
    EXPECT_EQ(r.documents[6].beginLabel, "ABC000004");
    EXPECT_EQ(r.stampedCount, 4);
    EXPECT_NE(popplerText(f.out + "/ABC000005.pdf", 2, 2).find("Page 2 restricted"),
              std::string::npos);
    EXPECT_EQ(
        namesIn(f.out),
        (std::set<std::string>{"ABC000001.pdf", "ABC000003.pdf", "ABC000004.pdf", "ABC000005.pdf",
                               "corvello-bates-manifest.json", "corvello-bates-loadfile.csv"}));
    expectPageLabels(f.out + "/ABC000003.pdf", BatesConfig{}, 3, 1);
    EXPECT_EQ(hashes(f.dir), before);

    // Nothing stampable: a run-level error and an empty output folder.
    Folder g;
    g.put("locked.pdf", makeEncryptedPdfBytes(1, "pw"));
    g.put("noise.gif", "GIF89a garbage");
    r = g.run();
    EXPECT_EQ(r.error.value_or(""), "Nothing was stamped.");
    EXPECT_TRUE(namesIn(g.out).empty());

    EXPECT_EQ(BatesStamper::stamp({g.dir + "/notes.txt"}, g.out, {}, {}).error.value_or(""),
              "No PDFs or images to stamp.");
    BatesConfig blank;
    blank.prefix = "  ";
    EXPECT_EQ(g.run(blank).error.value_or(""), "Enter a prefix for the production.");
    blank.prefix = "\u0416K";  // a letter the stamp font does not have is refused, not drawn as "?"
    EXPECT_EQ(g.run(blank).error.value_or("").rfind("The prefix can only use", 0), 0u);
    blank.prefix = "\u00c5ngstr\u00f6m\u2013";
    EXPECT_EQ(g.run(blank).error.value_or(""), "Nothing was stamped.");
}

TEST(BatesStamping, ExplicitStartInsideAnAssignedRangeWritesNothing) {
    Folder f;
    f.put("a.pdf", bytesOf(makeTextPdf(3)));
    ASSERT_FALSE(f.run().error);
    const auto outputs = hashes(f.out);

    BatesRunResult r = f.run(BatesConfig{}, 2LL);
    EXPECT_EQ(r.collision.value_or(""),
              "Bates ABC000002 is already assigned (ABC000001\u2013ABC000003). "
              "Start at ABC000004 or later.");
    EXPECT_TRUE(r.documents.empty());
    EXPECT_EQ(hashes(f.out), outputs);

    r = f.run(BatesConfig{}, 10LL);
    EXPECT_EQ(r.beginLabel, "ABC000010");
}

// A rotated page is drawn as it is seen, and the stamp is the only difference, in the chosen
// corner of the page as seen.
TEST(BatesStamping, RotatedPagesKeepTheirLookWithTheStampInTheChosenCorner) {
    const double scale = 2;
    for (int rotation : {0, 90, 180, 270}) {
        for (BatesPosition position : {BatesPosition::bottomRight, BatesPosition::topLeft}) {
            Folder f;
            PdfDocument doc = makeTextPdf(1, "rotated", {"second line", "third line"});
            doc.setRotation(0, rotation);
            std::string source = f.put("r.pdf", bytesOf(doc));
            BatesConfig c;
            c.position = position;
            BatesRunResult r = f.run(c);
            ASSERT_EQ(r.stampedCount, 1) << rotation;

            auto in = PdfDocument::openFile(source);
            auto out = PdfDocument::openFile(r.documents[0].output);
            ASSERT_TRUE(in && out);
            auto seen = renderPageImage(*in, 0, scale, PdfBox::media);
            auto stamped = renderPageImage(*out, 0, scale, PdfBox::media);
            ASSERT_TRUE(seen && stamped);
            ASSERT_EQ(seen->width, stamped->width) << rotation;
            ASSERT_EQ(seen->height, stamped->height) << rotation;
            const double w = seen->width / scale, h = seen->height / scale;
            EXPECT_NEAR(out->mediaBox(0)->width(), w, 1) << rotation;

            Box d = differingBox(*seen, *stamped, scale);
            ASSERT_FALSE(d.empty()) << rotation;
            EXPECT_GT(d.x1 - d.x0, 40) << rotation;  // the width of a label, not a speck
            EXPECT_LT(d.x1 - d.x0, 70) << rotation;
            EXPECT_LT(d.y1 - d.y0, 14) << rotation;
            if (position == BatesPosition::bottomRight) {
                EXPECT_NEAR(d.x1, w - 24, 3) << rotation;
                EXPECT_NEAR(d.y1, h - 24, 4) << rotation;
            } else {
                EXPECT_NEAR(d.x0, 24, 3) << rotation;
                EXPECT_NEAR(d.y0, 24, 3) << rotation;
            }
            expectPageLabels(r.documents[0].output, c, 1, 1);
        }
    }
}

TEST(BatesStamping, LongLabelOnANarrowPageStaysTwoPointsInside) {
    Folder f;
    PdfDocument narrow;
    narrow.insertTextPage(0, PdfRect{0, 0, 60, 200}, {});
    f.put("narrow.pdf", bytesOf(narrow));
    BatesConfig c;
    c.prefix = "LONGPREFIX";
    BatesRunResult r = f.run(c);
    ASSERT_EQ(r.stampedCount, 1);

    PdfStampText placed = BatesStamper::stampText(c, c.label(1), 60, 200);
    EXPECT_EQ(placed.x, 2);
    EXPECT_GT(helveticaBoldMetrics(c.label(1), c.fontSize).width, 60);

    auto out = PdfDocument::openFile(r.documents[0].output);
    ASSERT_TRUE(out);
    PdfDocument blank;
    blank.insertBlankPage(0, PdfRect{0, 0, 60, 200});
    auto empty = renderPageImage(blank, 0, 4, PdfBox::media);
    auto shown = renderPageImage(*out, 0, 4, PdfBox::media);
    ASSERT_TRUE(empty && shown);
    Box d = differingBox(*empty, *shown, 4);
    ASSERT_FALSE(d.empty());
    EXPECT_NEAR(d.x0, 2, 1.5);  // from the left edge, 2 points in (less the halo)
    EXPECT_GE(d.x0, 0.5);
    EXPECT_NEAR(d.y1, 200 - 24, 4);
}

// Printable annotation appearances (a filled-in text box, a drawn square) are part of the
// stamped page, placed as on the rotated source; the stamp is still the only difference.
TEST(BatesStamping, AnnotationAppearancesAreKept) {
    Folder f;
    const std::string script = f.home / "annots.js";
    ASSERT_TRUE(writeFileAtomic(
        script,
        "var doc = new PDFDocument();\n"
        "doc.insertPage(-1, doc.addPage([0,0,612,792], 90, doc.addObject({}), ''));\n"
        "var p = doc.loadPage(0);\n"
        "var a = p.createAnnotation('FreeText'); a.setRect([100,600,400,650]);\n"
        "a.setContents('Filled in by hand'); a.setFlags(4); a.update();\n"
        "var s = p.createAnnotation('Square'); s.setRect([100,100,300,200]);\n"
        "s.setColor([1,0,0]); s.setFlags(4); s.update();\n"
        "doc.save('" +
            f.dir + "/annotated.pdf');\n"));
    ASSERT_TRUE(runTool("mutool", {"run", script}).succeeded());
    BatesRunResult r = f.run();
    ASSERT_EQ(r.stampedCount, 1);
    EXPECT_NE(popplerText(r.documents[0].output).find("Filled in by hand"), std::string::npos);

    auto in = PdfDocument::openFile(f.dir + "/annotated.pdf");
    auto out = PdfDocument::openFile(r.documents[0].output);
    ASSERT_TRUE(in && out);
    auto seen = renderPageImage(*in, 0, 1, PdfBox::media);
    auto stamped = renderPageImage(*out, 0, 1, PdfBox::media);
    ASSERT_TRUE(seen && stamped);
    Box d = differingBox(*seen, *stamped, 1);
    ASSERT_FALSE(d.empty());
    EXPECT_GT(d.x0, 792 - 24 - 70);  // only the label, in the bottom-right corner
    EXPECT_GT(d.y0, 612 - 24 - 14);
}

TEST(CvlBates, InterfaceExitStatusesAndJson) {
    Folder f;
    f.put("a.pdf", bytesOf(makeTextPdf(2)));
    auto run = [](std::vector<std::string> args, nlohmann::json* out) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = cvlBatesMain(args);
        std::string text = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        if (out) *out = nlohmann::json::parse(text, nullptr, false);
        return status;
    };
    nlohmann::json j;
    EXPECT_EQ(run({}, nullptr), 2);
    EXPECT_EQ(run({f.dir, "--position", "middle"}, nullptr), 2);
    EXPECT_EQ(run({f.dir, "--start", "0"}, nullptr), 2);
    EXPECT_EQ(run({f.dir, "--font-size"}, nullptr), 2);

    ASSERT_EQ(run({f.dir, "--prefix", "DEF", "--pad", "4", "--position", "topCenter",
                   "--no-name-by-bates"},
                  &j),
              0);
    EXPECT_EQ(j["beginLabel"], "DEF0001");
    EXPECT_EQ(j["endLabel"], "DEF0002");
    EXPECT_EQ(j["outputDir"], f.out);
    EXPECT_EQ(j["documents"][0]["output"], f.out + "/a.pdf");
    EXPECT_EQ(j["documents"][0]["skipped"], false);
    EXPECT_FALSE(j.contains("error"));
    EXPECT_EQ(BatesStamper::loadManifest(f.out).runs[0].settings.position, "topCenter");

    ASSERT_EQ(run({f.dir, "--prefix", "DEF", "--pad", "4", "--start", "2"}, &j), 1);
    EXPECT_EQ(j["collision"],
              "Bates DEF0002 is already assigned (DEF0001\u2013DEF0002). Start at DEF0003 or "
              "later.");
    EXPECT_EQ(j["stampedCount"], 0);

    // Into the source folder itself: the copies of the first run are not stamped again.
    ASSERT_EQ(run({f.dir, "--out", f.dir}, &j), 0);
    ASSERT_EQ(run({f.dir, "--out", f.dir}, &j), 0);
    ASSERT_EQ(j["documents"].size(), 2u);
    EXPECT_EQ(j["documents"][0]["skipped"], true);
    EXPECT_EQ(j["documents"][1]["beginLabel"], "ABC000003");

    EXPECT_EQ(run({f.home / "missing"}, &j), 1);
    EXPECT_EQ(j["error"], "That folder could not be opened.");
    EXPECT_EQ(run({f.dir, "--prefix", " "}, &j), 1);
    EXPECT_EQ(j["error"], "Enter a prefix for the production.");
}

#if __has_include(<libheif/heif.h>)
#include <libheif/heif.h>

// An HEIC photo becomes a page of its pixel size when the machine can decode HEIC.
TEST(BatesStamping, HeicPhotos) {
    if (!heicDecodingAvailable()) GTEST_SKIP() << "no HEIC decoder on this machine";
    Folder f;
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code,
              heif_error_Ok);
    heif_image_create(320, 200, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, 320, 200, 8);
    int stride = 0;
    uint8_t* pixels = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < 200; ++y) std::memset(pixels + y * stride, 90, 320 * 3);
    ASSERT_EQ(heif_context_encode_image(ctx, image, encoder, nullptr, nullptr).code, heif_error_Ok);
    ASSERT_EQ(heif_context_write_to_file(ctx, (f.dir + "/photo.HEIC").c_str()).code, heif_error_Ok);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(ctx);

    BatesRunResult r = f.run();
    ASSERT_EQ(r.stampedCount, 1);
    auto out = PdfDocument::openFile(r.documents[0].output);
    ASSERT_TRUE(out);
    EXPECT_NEAR(out->mediaBox(0)->width(), 320, 0.01);
    EXPECT_NEAR(out->mediaBox(0)->height(), 200, 0.01);
    expectPageLabels(r.documents[0].output, BatesConfig{}, 1, 1);
}
#endif
