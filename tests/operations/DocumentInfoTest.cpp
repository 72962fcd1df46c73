// The information panel's data: a tagged PDF with a form and pages of three sizes, encrypted
// PDFs, other files and missing ones, each checked against what poppler's pdfinfo and
// pdffonts report for the same file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "operations/DocumentInfo.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfFacts.h"
#include "support/CraftedPdf.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;
using nlohmann::json;

namespace {

// One "Key: value" line of pdfinfo's report.
std::string pdfinfoField(const std::string& path, const std::string& key,
                         const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = extra;
    args.push_back(path);
    const std::string out = "\n" + runTool("pdfinfo", args).out;  // the first line too
    const auto at = out.find("\n" + key + ":");
    if (at == std::string::npos) return "";
    const auto start = out.find_first_not_of(' ', at + key.size() + 2);
    return out.substr(start, out.find('\n', start) - start);
}

}  // namespace

TEST(DocumentInfo, TaggedPdfWithAFormAndThreePageSizesAsPdfinfoSeesIt) {
    TempHome home;
    const std::string path = home / "Lease.pdf";
    ASSERT_TRUE(writeFileAtomic(path, taggedFormPdf()));
    auto info = DocumentInfo::gather(path);
    ASSERT_TRUE(info) << info.error();
    const json& j = *info;
    EXPECT_EQ(j["name"], "Lease.pdf");
    EXPECT_EQ(j["folder"], home.path());
    EXPECT_EQ(j["kind"], "PDF document");
    EXPECT_EQ(j["size"], readFile(path)->size());
    EXPECT_EQ(j["modified"].get<std::string>().size(), 25u) << j["modified"];  // with the offset

    const json& pdf = j["pdf"];
    EXPECT_EQ(pdf["info"]["Title"], pdfinfoField(path, "Title"));
    EXPECT_EQ(pdf["info"]["Author"], "Ana Pereira");
    EXPECT_EQ(pdf["info"]["Producer"], "Hand Made 1.0");
    EXPECT_EQ(pdf["info"]["CreationDate"], "2024-01-31T09:45:00+01:00");
    EXPECT_EQ(pdf["tagged"], pdfinfoField(path, "Tagged") == "yes");
    EXPECT_TRUE(pdf["tagged"]);
    EXPECT_TRUE(pdf["structure"]);
    EXPECT_EQ(pdf["forms"], pdfinfoField(path, "Form"));  // "AcroForm"
    EXPECT_EQ(pdf["fields"], 3);
    EXPECT_EQ(pdf["encrypted"], false);
    EXPECT_EQ(pdf["pages"], std::stoi(pdfinfoField(path, "Pages")));
    ASSERT_EQ(pdf["pageSizes"].size(), 3u);
    EXPECT_EQ(pdf["pageSizes"][0], (json{{"width", 612.0},
                                         {"height", 792.0},
                                         {"paper", "Letter"},
                                         {"count", 1},
                                         {"pages", "1"}}));
    EXPECT_EQ(pdf["pageSizes"][1]["paper"], "A4");
    EXPECT_EQ(pdf["pageSizes"][2]["width"], 792.0) << "a quarter turn shows the page landscape";
    EXPECT_EQ(pdf["pageSizes"][2]["pages"], "3");

    // pdffonts lists the one font: Helvetica, Type 1, not embedded.
    const std::string fonts = runTool("pdffonts", {path}).out;
    ASSERT_NE(fonts.find("Helvetica"), std::string::npos) << fonts;
    ASSERT_EQ(pdf["fonts"].size(), 1u);
    EXPECT_EQ(
        pdf["fonts"][0],
        (json{{"name", "Helvetica"}, {"type", "Type 1"}, {"embedded", false}, {"subset", false}}));
}

TEST(DocumentInfo, EncryptedPdfsSayHowAndWhatTheyAllow) {
    TempHome home;
    // A password to open: nothing but the encryption can be read.
    const std::string locked = home / "Locked.pdf";
    ASSERT_TRUE(writeFileAtomic(locked, makeEncryptedPdfBytes(2, "secret")));
    auto a = DocumentInfo::gather(locked);
    ASSERT_TRUE(a) << a.error();
    EXPECT_TRUE((*a)["pdf"]["encrypted"]);
    EXPECT_TRUE((*a)["pdf"]["locked"]);
    EXPECT_NE((*a)["pdf"]["encryption"].get<std::string>().find("AES"), std::string::npos)
        << (*a)["pdf"]["encryption"];
    EXPECT_EQ((*a)["pdf"]["pages"], 0);

    // Only an owner password, which forbids printing: readable, and the refusal is reported.
    const std::string plain = home / "plain.pdf", restricted = home / "Restricted.pdf";
    ASSERT_TRUE(writePdf(makeTextPdf(3), plain));
    ProcessResult q =
        runTool("qpdf", {"--encrypt", "", "owner", "256", "--print=none", "--", plain, restricted});
    ASSERT_TRUE(q.succeeded()) << q.err;
    auto b = DocumentInfo::gather(restricted);
    ASSERT_TRUE(b) << b.error();
    const json& pdf = (*b)["pdf"];
    EXPECT_TRUE(pdf["encrypted"]);
    EXPECT_FALSE(pdf["locked"]);
    EXPECT_EQ(pdf["pages"], 3);
    EXPECT_FALSE(pdf["permissions"]["print"]);
    EXPECT_TRUE(pdf["permissions"]["copy"]);
    EXPECT_NE(pdfinfoField(restricted, "Encrypted").find("print:no"), std::string::npos);
    EXPECT_EQ(pdf["forms"], "none");
    EXPECT_FALSE(pdf["tagged"]);
}

TEST(DocumentInfo, OtherFilesConvertedCopiesAndMissingFiles) {
    TempHome home;
    const std::string text = home / "notes.txt";
    ASSERT_TRUE(writeFileAtomic(text, "hello\n"));
    auto t = DocumentInfo::gather(text);
    ASSERT_TRUE(t);
    EXPECT_EQ((*t)["kind"], "Plain text");
    EXPECT_FALSE(t->contains("pdf"));

    // A document shown through its converted PDF reports that PDF's facts.
    const std::string converted = home / "notes-converted.pdf";
    ASSERT_TRUE(writePdf(makeTextPdf(2), converted));
    auto c = DocumentInfo::gather(text, converted);
    ASSERT_TRUE(c);
    EXPECT_EQ((*c)["pdf"]["pages"], 2);
    EXPECT_EQ((*c)["pdf"]["converted"], converted);

    auto gone = DocumentInfo::gather(home / "gone.pdf");
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error(), "“gone.pdf” is not there any more.");

    // A damaged PDF still reports its file; the PDF part says why it is missing.
    const std::string broken = home / "broken.pdf";
    ASSERT_TRUE(writeFileAtomic(broken, "%PDF-1.7\nnot really\n"));
    auto d = DocumentInfo::gather(broken);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->contains("pdf"));
    EXPECT_TRUE(d->contains("pdfError"));

    // The command line prints the same object, and fails for the missing file.
    ProcessResult ok = runTool(std::string(CVL_BINARY_DIR) + "/cvl", {"info", converted});
    EXPECT_EQ(ok.exitStatus, 0) << ok.err;
    EXPECT_EQ(json::parse(ok.out)["pdf"]["pages"], 2);
    EXPECT_EQ(runTool(std::string(CVL_BINARY_DIR) + "/cvl", {"info", home / "gone.pdf"}).exitStatus,
              1);
    EXPECT_EQ(runTool(std::string(CVL_BINARY_DIR) + "/cvl", {"info"}).exitStatus, 2);
}

TEST(DocumentInfo, PdfDatesAndPageListsReadAsPeopleWriteThem) {
    EXPECT_EQ(pdfDateToIso("D:20240131094500+01'00'"), "2024-01-31T09:45:00+01:00");
    EXPECT_EQ(pdfDateToIso("D:20240131094500Z"), "2024-01-31T09:45:00Z");
    EXPECT_EQ(pdfDateToIso("D:2024"), "2024-01-01T00:00:00");
    EXPECT_EQ(pdfDateToIso("last Tuesday"), "last Tuesday");
    EXPECT_EQ(pageRangesText({1, 2, 3, 7, 9, 10}), "1-3, 7, 9-10");
}
