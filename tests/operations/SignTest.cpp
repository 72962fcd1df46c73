// Signing: names of signed copies, the signed copy itself, the save flow with apply-to-all,
// and finding the places that wait for a signature.
#include <gtest/gtest.h>

#include "operations/CvlSignedName.h"
#include "operations/FormFields.h"
#include "operations/OperationsFixtures.h"
#include "operations/SignModule.h"
#include "operations/SignStops.h"
#include "operations/SignedCopy.h"
#include "operations/SigningLedger.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfRender.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

TEST(CvlSignedName, MarkersGoAndOneSignedMarkerComes) {
    using CvlSignedName::fileName;
    EXPECT_EQ(fileName("Lease.pdf"), "Lease (signed).pdf");
    EXPECT_EQ(fileName("Lease (signed).pdf"), "Lease (signed).pdf");
    EXPECT_EQ(fileName("Lease (signed 2)"), "Lease (signed 2).pdf");
    EXPECT_EQ(fileName(""), "Document (signed).pdf");
    EXPECT_EQ(fileName("X (UNSIGNED)"), "X (signed).pdf");
    EXPECT_EQ(fileName("Acme Inc."), "Acme Inc. (signed).pdf");
    EXPECT_EQ(fileName("NDA - for signature.pdf"), "NDA (signed).pdf");
    EXPECT_EQ(fileName("Offer letter [not signed].pdf"), "Offer letter (signed).pdf");
    EXPECT_EQ(fileName("Unexecuted_Lease_Agreement.pdf"), "Lease_Agreement (signed).pdf");
    EXPECT_EQ(fileName("Lease - draft for signature - v3.pdf"), "Lease - v3 (signed).pdf");
    EXPECT_EQ(fileName("Contract to sign.pdf"), "Contract (signed).pdf");
    EXPECT_EQ(fileName("Cosigned notes.pdf"), "Cosigned notes (signed).pdf");  // not a marker
    EXPECT_EQ(fileName("(signed)"), "Document (signed).pdf");

    test::TempHome home;
    EXPECT_EQ(CvlSignedName::freePathIn(home.path(), "Lease.pdf"), home / "Lease (signed).pdf");
    EXPECT_TRUE(writeFileAtomic(home / "Lease (signed).pdf", "x").ok());
    EXPECT_TRUE(writeFileAtomic(home / "Lease (signed 2).pdf", "x").ok());
    EXPECT_EQ(CvlSignedName::freePathIn(home.path(), "Lease.pdf"), home / "Lease (signed 3).pdf");
}

std::string signaturePng() {
    PdfBitmap ink;
    ink.width = 120;
    ink.height = 40;
    ink.pixels.assign(size_t(120 * 40 * 3), 255);
    for (int x = 10; x < 110; ++x)
        for (int y = 18; y < 22; ++y) std::fill_n(&ink.pixels[size_t(y * 120 + x) * 3], 3, 0);
    return encodePng(ink).value();
}

SignPlan twoPlacements() {
    SignPlan plan;
    plan.images["s"] = signaturePng();
    plan.placements = {{1, {300, 100, 420, 140}, "s"}, {2, {300, 100, 420, 140}, "s"}};
    return plan;
}

TEST(SignedCopy, PictureOnThePagesAndFieldsFlattenedWithTheirValues) {
    test::TempHome home;
    const std::string form = home / "Form.pdf";
    ASSERT_TRUE(writeFileAtomic(form, test::makeFormPdfBytes()));
    auto copy = buildSignedCopy(form, twoPlacements());
    ASSERT_TRUE(copy) << copy.error();
    EXPECT_TRUE(copy->hadFields);
    EXPECT_FALSE(copy->flattenFailed);
    const std::string out = home / "signed.pdf";
    ASSERT_TRUE(writeFileAtomic(out, copy->bytes));

    std::string images = test::runTool("pdfimages", {"-list", out}).out;
    EXPECT_NE(images.find("\n   1     0 image     120    40"), std::string::npos) << images;
    EXPECT_NE(images.find("\n   2     1 image     120    40"), std::string::npos) << images;
    EXPECT_LT(test::popplerGrey(out, 1, 300, 792 - 140, 120, 40).darkest(), 60);

    std::string qdf = test::runTool("qpdf", {"--qdf", "--object-streams=disable", out, "-"}).out;
    EXPECT_EQ(qdf.find("/AcroForm"), std::string::npos);
    EXPECT_EQ(qdf.find("/Widget"), std::string::npos);
    EXPECT_TRUE(formFields(PdfDocument::openFile(out).value()).empty());
    EXPECT_NE(test::popplerText(out).find("Lyon"), std::string::npos);  // value still shown
    EXPECT_EQ(readFile(form).value(), test::makeFormPdfBytes());

    EXPECT_EQ(signSaveReport(*copy),
              "Saved. 2 placements are part of the pages now, and the form fields are gone \u2014 "
              "your original is untouched.");
    SignedCopy one;
    one.placements = 1;
    EXPECT_EQ(signSaveReport(one),
              "Saved. The signature is part of the page now \u2014 your original is untouched.");

    SignPlan bad = twoPlacements();
    bad.placements[1].page = 3;
    EXPECT_FALSE(buildSignedCopy(form, bad));
    EXPECT_FALSE(parseSignPlan(
        R"({"placements":[{"page":1,"x0":0,"y0":0,"x1":9,"y1":9,"image":"q"}],"images":{}})"));
}

struct SignFlow {
    test::TempHome home;
    test::KeepingHarness h;
    SignModule module;
    std::string source = home / "Lease for signature.pdf";
    SignFlow() {
        test::writePdf(test::makeTextPdf(2), source);
        h.page->state.bridgeId = "w1";
        h.page->state.pageKind = "sign";
        h.page->state.sourcePaths = {source};
        h.page->plan = signPlanJson(twoPlacements());
    }
    void save(const std::string& query) {
        module.handle(h.request("qrtiz://signsave?" + query));
        h.runUntil([&] { return h.page->sent("cvlSignSaveDone") || h.page->sent("__cvlToast("); },
                   20000);
    }
};

TEST(SignSave, SavesUnderTheSignedNameRecordsAndReports) {
    SignFlow f;
    f.save("suggest=Lease%20for%20signature.pdf");  // the save dialog is cancelled
    EXPECT_TRUE(f.h.page->sent("Save canceled: your signature is still placed."));
    ASSERT_EQ(f.h.dialogs.saves.size(), 1u);
    EXPECT_EQ(f.h.dialogs.saves[0].suggestedName, "Lease (signed).pdf");

    f.h.page->scripts.clear();
    f.h.dialogs.saveAnswers = {f.home / "Lease (signed).pdf"};
    f.save("suggest=Lease%20for%20signature.pdf");
    EXPECT_TRUE(
        f.h.page->sent("Saved. 2 placements are part of the pages now \u2014 your original"));
    EXPECT_TRUE(f.h.page->sent("__cvlSignDone()"));
    std::string images = test::runTool("pdfimages", {"-list", f.home / "Lease (signed).pdf"}).out;
    EXPECT_NE(images.find("\n   2     1 image"), std::string::npos) << images;
    f.module.handle(f.h.request("qrtiz://printsaved"));
    ASSERT_EQ(f.h.app.prints.size(), 1u);
    EXPECT_EQ(f.h.app.prints[0].title, "Lease (signed).pdf");
    EXPECT_EQ(f.h.app.prints[0].pdfBytes, *readFile(f.home / "Lease (signed).pdf"));
    auto ledger = SigningLedger::entries();
    ASSERT_EQ(ledger.size(), 1u);
    json entry = json::parse(ledger[0]);
    EXPECT_EQ(entry["source"], f.source);
    EXPECT_EQ(entry["output"], f.home / "Lease (signed).pdf");

    // A page without placements: nothing is written.
    f.h.page->scripts.clear();
    f.h.page->plan = R"({"placements":[],"images":{}})";
    f.save("");
    EXPECT_TRUE(f.h.page->sent("Place a signature on the page first."));
}

TEST(SignSave, ApplyToAllSignsEveryCopyOfTheFormIntoTheChosenFolder) {
    SignFlow f;
    makeDirs(f.home / "out");
    test::writePdf(test::makeTextPdf(2, "beta"), f.home / "Second copy.pdf");
    PdfDocument other = test::makeTextPdf(2);
    other.setPageBox(0, PdfBox::media, PdfRect{0, 0, 595, 842});
    test::writePdf(other, f.home / "Other form.pdf");
    f.h.dialogs.chooseAnswers = {{f.home / "out"}};
    f.save("applyall=1");
    EXPECT_TRUE(f.h.page->sent("Saved 2 signed copies. The originals are untouched."));
    EXPECT_TRUE(isRegularFile(f.home / "out/Lease (signed).pdf"));
    EXPECT_TRUE(isRegularFile(f.home / "out/Second copy (signed).pdf"));
    EXPECT_FALSE(pathExists(f.home / "out/Other form (signed).pdf"));
    EXPECT_EQ(SigningLedger::entries().size(), 2u);
    EXPECT_EQ(f.module.applyState("w1").done, std::vector<std::string>{f.home / "Second copy.pdf"});
    EXPECT_FALSE(f.module.applyState("w1").pending);
}

TEST(SignStops, EmptySignatureFieldsAndSignatureLines) {
    PdfDocument doc = PdfDocument::openBytes(test::makeFormPdfBytes()).value();
    auto stops = findSignStops(doc, {});
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].kind, "field");
    EXPECT_EQ(stops[0].page, 2);

    PdfDocument letter = test::makeTextPdf(1, "alpha",
                                           {"Tenant signature: ____________", "Date: ______",
                                            "The agreement is signed by both", "By: __________"});
    stops = findSignStops(letter, {1});
    ASSERT_EQ(stops.size(), 2u);
    EXPECT_EQ(stops[0].label, "Tenant signature: ____________");
    EXPECT_EQ(stops[1].label, "By: __________");
    EXPECT_GT(stops[0].rect.y0, stops[1].rect.y0);
    EXPECT_TRUE(findSignStops(letter, {2}).empty());
}

}  // namespace
}  // namespace cvl
