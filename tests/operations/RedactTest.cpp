// Redaction: the flattened copy keeps nothing of what the boxes cover nor of the source's
// metadata, and the save flow confirms, asks where, writes the audit beside the copy and says so.
#include <gtest/gtest.h>

#include "app/Config.h"
#include "operations/OperationsFixtures.h"
#include "operations/RedactModule.h"
#include "operations/RedactedCopy.h"
#include "operations/SearchableLayer.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

// The box over the first line of the secrets fixture, from the page's own text boxes.
RedactRegion secretBox(const std::string& path) {
    auto text = PdfDocument::openFile(path).value().pageTextWithBoxes(0).value();
    size_t at = text.text.find("Secret 4471 account");
    PdfRect r = text.rectsForRange(at, at + 19).front();
    return RedactRegion{1, PdfRect{r.x0 - 1, r.y0 - 1, r.x1 + 1, r.y1 + 1}};
}

bool foundAnywhere(const std::string& path, const std::string& word) {
    std::string qdf = test::runTool("qpdf", {"--qdf", "--object-streams=disable", path, "-"}).out;
    std::string mutool = test::runTool("mutool", {"draw", "-F", "txt", path}).out;
    return test::popplerText(path).find(word) != std::string::npos ||
           mutool.find(word) != std::string::npos || qdf.find(word) != std::string::npos;
}

TEST(RedactedCopy, NothingUnderTheBoxesNorAnyMetadataSurvives) {
    test::TempHome home;
    const std::string source = home / "Lease.pdf";
    ASSERT_TRUE(writeFileAtomic(source, test::makeSecretsPdfBytes()));
    ASSERT_TRUE(foundAnywhere(source, "Secret"));
    RedactRegion box = secretBox(source);

    auto copy = buildRedactedCopy(source, {box}, {});
    ASSERT_TRUE(copy) << copy.error();
    const std::string out = home / "out.pdf";
    ASSERT_TRUE(writeFileAtomic(out, copy->bytes));
    EXPECT_FALSE(foundAnywhere(out, "Secret"));
    EXPECT_FALSE(foundAnywhere(out, "4471"));
    std::string qdf = test::runTool("qpdf", {"--qdf", "--object-streams=disable", out, "-"}).out;
    for (const char* key : {"/Info", "/Metadata", "/Annots", "/Outlines", "/AcroForm", "/Names"})
        EXPECT_EQ(qdf.find(key), std::string::npos) << key;
    EXPECT_EQ(test::popplerPageCount(out), 1);

    // The box is pure black; the line below it is still on the page as a picture.
    const PdfRect& r = box.rect;
    auto black = test::popplerGrey(out, 1, int(r.x0) + 3, int(792 - r.y1) + 3, int(r.width()) - 6,
                                   int(r.height()) - 6);
    ASSERT_GT(black.pixels.size(), 100u);
    EXPECT_EQ(black.lightest(), 0);
    EXPECT_LT(test::popplerGrey(out, 1, 72, 124, 150, 16).darkest(), 100);

    json audit = json::parse(copy->auditJson);
    EXPECT_EQ(audit["source"], "Lease.pdf");
    EXPECT_EQ(audit["regions"].size(), 1u);
    EXPECT_EQ(readFile(source).value(), test::makeSecretsPdfBytes());  // read, never written

    EXPECT_FALSE(buildRedactedCopy(source, {RedactRegion{2, r}}, {}));  // no page 2
}

TEST(RedactedCopy, SearchableLayerComesFromThePicturesOnly) {
    test::TempHome home;
    const std::string source = home / "Lease.pdf";
    ASSERT_TRUE(writeFileAtomic(source, test::makeSecretsPdfBytes()));
    RedactOptions options;
    options.searchable = true;
    setPictureRecogniser({});
    EXPECT_FALSE(buildRedactedCopy(source, {secretBox(source)}, options));

    // A stand-in recogniser that reads a known line wherever its area of the picture is not
    // blacked out, as text recognition would.
    auto text = PdfDocument::openFile(source).value().pageTextWithBoxes(0).value();
    setPictureRecogniser([text](const PdfBitmap& picture) {
        std::vector<RecognisedLine> lines;
        const double s = picture.dpi / 72.0;
        for (const auto& line : text.lines) {
            int x = int((line.box.x0 + line.box.x1) / 2 * s);
            int y = int((792 - (line.box.y0 + line.box.y1) / 2) * s);
            const auto* px = &picture.pixels[(size_t(y) * size_t(picture.width) + size_t(x)) * 3];
            bool covered = px[0] == 0 && px[1] == 0 && px[2] == 0;
            if (covered) continue;
            lines.push_back({text.text.substr(line.begin, line.end - line.begin), line.box.x0 / 612,
                             line.box.y0 / 792, line.box.width() / 612, line.box.height() / 792});
        }
        return lines;
    });
    auto copy = buildRedactedCopy(source, {secretBox(source)}, options);
    setPictureRecogniser({});
    ASSERT_TRUE(copy) << copy.error();
    EXPECT_EQ(copy->textLines, 1);
    ASSERT_TRUE(writeFileAtomic(home / "out.pdf", copy->bytes));
    std::string found = test::popplerText(home / "out.pdf");
    EXPECT_NE(found.find("Public words stay"), std::string::npos) << found;
    EXPECT_EQ(found.find("Secret"), std::string::npos);

    // The same with real text recognition reading the flattened pictures.
    setPictureRecogniser(textRecognitionRecogniser());
    auto recognised = buildRedactedCopy(source, {secretBox(source)}, options);
    setPictureRecogniser({});
    ASSERT_TRUE(recognised) << recognised.error();
    ASSERT_TRUE(writeFileAtomic(home / "ocr.pdf", recognised->bytes));
    found = test::popplerText(home / "ocr.pdf");
    EXPECT_NE(found.find("Public words stay"), std::string::npos) << found;
    EXPECT_EQ(found.find("Secret"), std::string::npos) << found;
}

TEST(RedactAudit, PageObjectKeepsItsToolAndGetsTheSaveKeys) {
    test::TempHome home;
    const std::string out = home / "Lease (redacted).pdf";
    ASSERT_TRUE(writeRedactAudit(out, home / "Lease.pdf", 2,
                                 R"({"tool":"Page Tool","totalRegions":9,"output":"x","note":1})"));
    EXPECT_EQ(redactAuditPath(out), home / "Lease (redacted).redaction-audit.json");
    json a = json::parse(readFile(redactAuditPath(out)).value());
    EXPECT_EQ(a["tool"], "Page Tool");
    EXPECT_EQ(a["totalRegions"], 2);
    EXPECT_EQ(a["output"], "Lease (redacted).pdf");
    EXPECT_EQ(a["note"], 1);
    EXPECT_TRUE(a.contains("redacted") && a.contains("appVersion"));
    ASSERT_TRUE(writeRedactAudit(out, "", 0, "[1,2]"));
    EXPECT_EQ(json::parse(readFile(redactAuditPath(out)).value())["tool"], "Corvello Redaction");
    EXPECT_EQ(redactedFileName(home / "Lease.pdf"), "Lease (redacted).pdf");
    EXPECT_EQ(redactedFileName(""), "Document (redacted).pdf");
}

struct RedactFlow {
    test::TempHome home;
    test::KeepingHarness h;
    RedactModule module;
    std::string source = home / "Lease.pdf";
    RedactFlow() {
        EXPECT_TRUE(writeFileAtomic(source, test::makeSecretsPdfBytes()).ok());
        h.page->state.pageKind = "redact";
        h.page->state.sourcePaths = {source};
    }
    std::string boxesArg(const std::vector<RedactRegion>& regions) {
        return percentEncode(redactRegionsJson(regions));
    }
    std::string save(const std::string& query) {
        size_t before = h.page->callsOf("cvlRedactToast").size();
        module.handle(h.request("qrtiz://redactsave?" + query));
        h.runUntil([&] { return h.page->callsOf("cvlRedactToast").size() > before; }, 20000);
        auto toasts = h.page->callsOf("cvlRedactToast");
        return toasts.size() > before ? toasts.back() : "";
    }
};

TEST(RedactSave, ConfirmsAsksWhereAndWritesTheCopyWithItsAudit) {
    RedactFlow f;
    f.h.dialogs.confirmAnswers = {ConfirmAnswer::Verb};
    f.h.dialogs.saveAnswers = {f.home / "Lease (redacted).pdf"};
    std::string toast = f.save("boxes=" + f.boxesArg({secretBox(f.source)}));
    EXPECT_NE(toast.find("Saved. Text under the 1 box is gone and metadata is stripped."),
              std::string::npos)
        << toast;
    ASSERT_EQ(f.h.dialogs.sheets.size(), 1u);
    EXPECT_EQ(f.h.dialogs.sheets[0].title, "Save \u201cLease (redacted).pdf\u201d?");
    EXPECT_EQ(f.h.dialogs.sheets[0].verb, "Save Redacted Copy");
    EXPECT_EQ(f.h.dialogs.saves[0].suggestedName, "Lease (redacted).pdf");
    EXPECT_FALSE(foundAnywhere(f.home / "Lease (redacted).pdf", "Secret"));
    json audit = json::parse(readFile(f.home / "Lease (redacted).redaction-audit.json").value());
    EXPECT_EQ(audit["tool"], "Corvello Redaction");
    EXPECT_EQ(audit["totalRegions"], 1);
    EXPECT_EQ(audit["source"], "Lease.pdf");
    EXPECT_EQ(f.h.app.calls.back(), "reveal " + f.home / "Lease (redacted).pdf");
    EXPECT_EQ(readFile(f.source).value(), test::makeSecretsPdfBytes());
}

TEST(RedactSave, CancelsZeroBoxesAndUnreadableOutput) {
    RedactFlow f;
    // The page holds nothing yet.
    EXPECT_NE(f.save("n=0").find("Could not read the redacted document."), std::string::npos);
    // Cancelled at the confirmation, then at the save dialog: the marks stay, nothing written.
    f.h.dialogs.confirmAnswers = {ConfirmAnswer::Cancel, ConfirmAnswer::Verb,
                                  ConfirmAnswer::Alternate};
    EXPECT_NE(f.save("boxes=%5B%5D").find("Nothing was saved \u2014 your marks are still here."),
              std::string::npos);
    EXPECT_NE(f.save("n=0").find("Save canceled: your marks are still here."), std::string::npos);
    // A preview only builds; zero boxes still make a flattened copy and say so.
    f.module.handle(f.h.request("qrtiz://redactsave?preview=1&boxes=%5B%5D"));
    f.h.runUntil([&] { return f.h.page->lastArgument("cvlRedactBuilt").value("preview", false); });
    f.h.dialogs.saveAnswers = {f.home / "Flat.pdf"};
    EXPECT_NE(f.save("n=0").find("Saved. Metadata stripped (no regions were marked)."),
              std::string::npos);
    EXPECT_TRUE(cfgBool("pageops_skip_redact", false));
    EXPECT_FALSE(foundAnywhere(f.home / "Flat.pdf", "Secret"));
    EXPECT_TRUE(pathExists(f.home / "Flat.redaction-audit.json"));
    EXPECT_EQ(f.h.dialogs.saves.size(), 2u);
}

}  // namespace
}  // namespace cvl
