#include "memory/AnnotationExport.h"

#include <gtest/gtest.h>

#include "memory/DocLinks.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "support/AnnotatedPdf.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

TEST(AnnotationExport, ListsMarkupTextAndNotesPageByPage) {
    test::TempHome home;
    const std::string docPath = home / "lease.pdf";
    LinkSession links;
    links.begin(parseLinkEndpoint(R"({"path":")" + docPath + R"(","page":1,"text":"pay rent"})"),
                "lease.pdf");
    links.finish(parseLinkEndpoint(R"({"path":"/w/ledger.pdf","page":4,"text":"rent received"})"));

    auto md = runAnnotationExport(test::annotatedLease(), "lease.pdf", docPath);
    ASSERT_TRUE(md.ok()) << md.error();
    const std::string& text = *md;
    EXPECT_EQ(
        text.rfind(
            "# Annotations \u2014 lease.pdf\n\n_5 annotations \u00b7 exported by Corvello_\n", 0),
        0u)
        << text;
    auto page1 = text.find("## Page 1\n");
    auto page2 = text.find("## Page 2\n");
    ASSERT_NE(page1, std::string::npos);
    ASSERT_NE(page2, std::string::npos);
    EXPECT_LT(page1, page2);
    auto pay = text.find("> pay rent monthly\n");
    EXPECT_NE(pay, std::string::npos) << text;
    EXPECT_LT(text.find("**Note:** check the amount"),
              text.find("> Renewal requires written notice\n"));
    EXPECT_NE(text.find("> The tenant Renewal requires written notice\n"), std::string::npos)
        << text;
    EXPECT_GT(text.find("**Note:** Call the landlord before Friday\n"), page2);
    EXPECT_NE(text.find("**Note:** Draft \u2014 not signed\n"), std::string::npos);
    EXPECT_EQ(text.find("popup text"), std::string::npos);
    EXPECT_EQ(text.find("Widget"), std::string::npos);
    EXPECT_EQ(text.find("example.com"), std::string::npos);

    auto linksAt =
        text.find("\n## Cross-document links\n\n_1 connection \u00b7 exported by Corvello_\n\n");
    ASSERT_NE(linksAt, std::string::npos);
    EXPECT_GT(linksAt, page2);
    EXPECT_NE(text.find("ledger.pdf", linksAt), std::string::npos);
    EXPECT_NE(text.find("rent received", linksAt), std::string::npos);
}

TEST(AnnotationExport, RefusesUnreadableAndUnannotatedDocuments) {
    test::TempHome home;
    auto plain =
        runAnnotationExport(test::bytesOf(test::makeTextPdf(1)), "plain.pdf", home / "plain.pdf");
    ASSERT_FALSE(plain.ok());
    EXPECT_EQ(plain.error(), "No annotations to export yet");

    PdfDocument onlyLinks = test::makeNavigablePdf(2);
    EXPECT_EQ(runAnnotationExport(test::bytesOf(onlyLinks), "n.pdf", "/n.pdf").error(),
              "No annotations to export yet");

    EXPECT_EQ(runAnnotationExport(test::damagedPdfBytes(), "x.pdf", "/x.pdf").error(),
              "Could not read the document");
    EXPECT_EQ(runAnnotationExport(test::makeEncryptedPdfBytes(1, "pw"), "x.pdf", "/x.pdf").error(),
              "Could not read the document");
    EXPECT_EQ(annotationExportFromPage("", "/x.pdf").error(), "Could not read the document");
    EXPECT_EQ(annotationExportFromPage("not base64!", "/x.pdf").error(),
              "Could not read the document");
}

TEST(AnnotationExport, PageHandOverIsDecodedAndWrittenWhole) {
    test::TempHome home;
    const std::string docPath = home / "Lease 2026.pdf";
    auto md = annotationExportFromPage(base64Encode(test::annotatedLease()), docPath);
    ASSERT_TRUE(md.ok()) << md.error();
    EXPECT_EQ(md->rfind("# Annotations \u2014 Lease 2026.pdf\n", 0), 0u);
    EXPECT_EQ(md->find("Cross-document links"), std::string::npos) << "no links, no section";
    EXPECT_EQ(annotationExportFileName(docPath), "Lease 2026 \u2014 annotations.md");
    std::string out = home / annotationExportFileName(docPath);
    ASSERT_TRUE(writeAnnotationExport(out, *md).ok());
    EXPECT_EQ(readFile(out), *md);
    EXPECT_FALSE(writeAnnotationExport(home / "no/such/folder/a.md", *md).ok());
}

}  // namespace
}  // namespace cvl
