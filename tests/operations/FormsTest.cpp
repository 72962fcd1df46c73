// Form records, filling with drawn appearances, the load stamp and copies of the same form.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "operations/FormFields.h"
#include "operations/LoadStamp.h"
#include "operations/OperationsFixtures.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfForms.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

PdfDocument formDoc(bool needAppearances = false) {
    return PdfDocument::openBytes(test::makeFormPdfBytes(needAppearances)).value();
}

const FormFieldRecord* find(const std::vector<FormFieldRecord>& records, const std::string& name) {
    for (const auto& r : records)
        if (r.name == name) return &r;
    return nullptr;
}

TEST(FormFields, RecordsPerNameWithKindsValuesAndSummary) {
    auto records = formFields(formDoc());
    ASSERT_EQ(records.size(), 8u);  // the three radio widgets make one record
    const auto* choice = find(records, "Choice");
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->kind, "radio");
    EXPECT_EQ(choice->page, 1);
    EXPECT_EQ(choice->value, "C");                 // the third widget is on
    EXPECT_EQ(find(records, "agree")->value, "");  // a check box that is off
    EXPECT_EQ(find(records, "country")->options,
              (std::vector<std::string>{"France", "Germany", "Greece"}));
    EXPECT_EQ(find(records, "city")->page, 2);
    EXPECT_EQ(find(records, "city")->value, "Lyon");
    EXPECT_EQ(find(records, "sig")->kind, "sig");
    EXPECT_EQ(find(records, "submit")->kind, "button");

    FormSummary s = summarise(records);
    EXPECT_TRUE(s.isForm);
    EXPECT_EQ(s.count, 6);
    EXPECT_EQ(s.total, 8);
    EXPECT_EQ(s.byKind["text"], 3);
    EXPECT_EQ(filledCount(formDoc()), 2);  // Choice and city

    // Only a push button and a signature field: not a form anyone fills in.
    std::vector<std::string> o{
        "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 5 0 R] >> >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R 5 0 R] >>",
        "<< /Type /Annot /Subtype /Widget /FT /Btn /Ff 65536 /T (go) /Rect [0 0 50 20] >>",
        "<< /Type /Annot /Subtype /Widget /FT /Sig /T (sign) /Rect [0 40 50 60] >>"};
    s = summarise(formFields(PdfDocument::openBytes(test::rawPdf(o)).value()));
    EXPECT_FALSE(s.isForm);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.total, 2);
    EXPECT_EQ(formSummaryJson(formSummary("/nonexistent.pdf")), "{\"ok\":false}");
}

TEST(FormFill, ValuesShowWithoutNeedAppearancesAndSurviveInAnyScript) {
    test::TempHome home;
    const std::string blank = home / "blank.pdf", filled = home / "filled.pdf";
    ASSERT_TRUE(writeFileAtomic(blank, test::makeFormPdfBytes()));
    PdfDocument doc = formDoc();
    const std::string name =
        "Zo\u00eb N\u00fa\u00f1ez \u0391\u03bb\u03c6\u03b1 \u041f\u0440\u0438\u0432\u0435\u0442";
    auto set = pdfFillForm(doc, {{"name", name},
                                 {"agree", "yes"},
                                 {"Choice", "A"},
                                 {"country", "Greece"},
                                 {"notes", "Line one\nLine two"}});
    ASSERT_TRUE(set) << set.error();
    ASSERT_TRUE(doc.saveToFile(filled));

    // The file asks no viewer to draw the fields, and poppler shows the value anyway.
    EXPECT_FALSE(pdfFormNeedsAppearances(PdfDocument::openFile(filled).value()));
    EXPECT_EQ(test::popplerGrey(blank, 1, 150, 92, 300, 20).darkest(), 255);
    EXPECT_LT(test::popplerGrey(filled, 1, 150, 92, 300, 20).darkest(), 100);

    // Read back: the text in every script, and the real on-state names.
    auto records = formFields(PdfDocument::openFile(filled).value());
    EXPECT_EQ(find(records, "name")->value, name);
    EXPECT_EQ(find(records, "agree")->value, "Accept");
    EXPECT_EQ(find(records, "Choice")->value, "A");
    EXPECT_EQ(find(records, "country")->value, "gr");  // the export value of "Greece"

    // The embedded font carries the characters: flattened, poppler extracts them from the page.
    PdfDocument flat = PdfDocument::openFile(filled).value();
    ASSERT_TRUE(pdfFlattenForm(flat));
    ASSERT_TRUE(flat.saveToFile(home / "flat.pdf"));
    std::string text = test::popplerText(home / "flat.pdf");
    EXPECT_NE(text.find(name), std::string::npos) << text;
    EXPECT_NE(text.find("Greece"), std::string::npos);
}

TEST(FormFill, BadValuesChangeNothing) {
    PdfDocument doc = formDoc();
    const std::string before = test::bytesOf(doc);
    for (const auto& bad : std::vector<PdfFieldValue>{
             {"nope", "x"}, {"Choice", "Z"}, {"country", "Spain"}, {"submit", "1"}, {"sig", "x"}}) {
        auto r = pdfFillForm(doc, {{"name", "changed"}, bad});
        EXPECT_FALSE(r) << bad.name;
    }
    EXPECT_EQ(find(formFields(doc), "name")->value, "");
    EXPECT_EQ(test::bytesOf(doc), before);
    EXPECT_TRUE(pdfFillForm(doc, {{"Choice", "Off"}}));
    EXPECT_EQ(find(formFields(doc), "Choice")->value, "");
}

TEST(FormFill, AFormThatLeftDrawingToViewersGetsEveryFieldDrawn) {
    test::TempHome home;
    PdfDocument doc = formDoc(true);
    ASSERT_TRUE(pdfFillForm(doc, {{"name", "Ada"}}));
    ASSERT_TRUE(doc.saveToFile(home / "f.pdf"));
    EXPECT_FALSE(pdfFormNeedsAppearances(PdfDocument::openFile(home / "f.pdf").value()));
    EXPECT_LT(test::popplerGrey(home / "f.pdf", 1, 150, 92, 300, 20).darkest(), 100);
}

TEST(LoadStamp, HalfASecondIsNoChangeButASizeIs) {
    test::TempHome home;
    const std::string path = home / "a.pdf";
    ASSERT_TRUE(writeFileAtomic(path, "12345"));
    auto stamp = currentStamp(path);
    ASSERT_TRUE(stamp);
    EXPECT_FALSE(diskChangedSinceLoad(std::nullopt, path));
    EXPECT_FALSE(diskChangedSinceLoad(stamp, home / "other.pdf"));

    auto setMtime = [&](std::int64_t ns) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = ns / 1000000000;
        times[0].tv_nsec = times[1].tv_nsec = ns % 1000000000;
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    };
    setMtime(stamp->mtimeNs + 500000000);
    EXPECT_FALSE(diskChangedSinceLoad(stamp, path));
    setMtime(stamp->mtimeNs + 1500000000);
    EXPECT_TRUE(diskChangedSinceLoad(stamp, path));
    setMtime(stamp->mtimeNs);
    ASSERT_TRUE(writeFileAtomic(path, "123456"));
    setMtime(stamp->mtimeNs);
    EXPECT_TRUE(diskChangedSinceLoad(stamp, path));
}

TEST(SameFormCopies, MatchesPageShapes) {
    test::TempHome home;
    const PdfRect a4{0, 0, 595.28, 841.89};
    auto letters = [](int n) { return test::makeTextPdf(n); };
    ASSERT_TRUE(test::writePdf(letters(3), home / "one.pdf"));
    ASSERT_TRUE(test::writePdf(letters(3), home / "two.pdf"));
    PdfDocument mixed = letters(3);
    ASSERT_TRUE(mixed.setPageBox(1, PdfBox::media, a4));
    ASSERT_TRUE(test::writePdf(mixed, home / "a4.pdf"));
    EXPECT_EQ(*pageShapeSignature(home / "one.pdf"),
              (std::vector<std::string>{"1224x1584", "1224x1584", "1224x1584"}));
    EXPECT_EQ(sameFormCopies(home / "one.pdf", {home / "one.pdf", home / "two.pdf", home / "a4.pdf",
                                                home / "gone.pdf"}),
              std::vector<std::string>{home / "two.pdf"});
    EXPECT_TRUE(sameFormCopies(home / "gone.pdf", {home / "one.pdf"}).empty());
}

}  // namespace
}  // namespace cvl
