// The command-line faces of forms, redaction and signing: exit statuses, outputs beside the
// source, and a source that is never written.
#include <gtest/gtest.h>

#include "operations/CvlDocumentCommands.h"
#include "operations/FormFields.h"
#include "operations/OperationsFixtures.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfRender.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

TEST(CvlDocumentCommands, FillRedactAndSignWriteNewFilesOnly) {
    test::TempHome home;
    const std::string form = home / "Form.pdf";
    ASSERT_TRUE(writeFileAtomic(form, test::makeFormPdfBytes()));
    const std::string original = readFile(form).value();

    EXPECT_EQ(cvlFormMain({form}), 0);
    EXPECT_EQ(cvlFormMain({home / "missing.pdf"}), 1);
    EXPECT_EQ(cvlFormMain({}), 2);

    EXPECT_EQ(cvlFillMain({form, "--set", "name=Ada", "--out", home / "filled.pdf"}), 0);
    EXPECT_EQ(formFields(PdfDocument::openFile(home / "filled.pdf").value())[0].value, "Ada");
    EXPECT_EQ(cvlFillMain({form, "--set", "name=Bo", "--out", home / "filled.pdf"}), 1);  // exists
    EXPECT_EQ(cvlFillMain({form, "--set", "name=Bo", "--out", home / "filled.pdf", "--force"}), 0);
    EXPECT_EQ(cvlFillMain({form, "--set", "agree=maybe", "--out", home / "f2.pdf"}), 1);
    EXPECT_FALSE(pathExists(home / "f2.pdf"));
    EXPECT_EQ(cvlFillMain({form, "--set", "name=Bo", "--out", form}), 2);
    EXPECT_EQ(cvlFillMain({form, "--set", "noequals", "--out", home / "f3.pdf"}), 2);

    EXPECT_EQ(cvlRedactMain({form, "--box", "1:70,735,230,760", "--out", home / "r.pdf"}), 0);
    EXPECT_TRUE(isRegularFile(home / "r.redaction-audit.json"));
    EXPECT_EQ(test::popplerText(home / "r.pdf").find("Applicant"), std::string::npos);
    EXPECT_EQ(cvlRedactMain({form, "--box", "9:0,0,10,10", "--out", home / "r9.pdf"}), 1);
    EXPECT_FALSE(pathExists(home / "r9.pdf"));
    EXPECT_EQ(cvlRedactMain({form, "--box", "1:0,0,10", "--out", home / "r2.pdf"}), 2);
    EXPECT_EQ(cvlRedactMain({form, "--out", home / "r3.pdf", "--dpi", "600"}), 2);

    PdfBitmap ink;
    ink.width = ink.height = 20;
    ink.pixels.assign(20 * 20 * 3, 0);
    ASSERT_TRUE(writeFileAtomic(home / "sig.png", encodePng(ink).value()));
    EXPECT_EQ(cvlSignMain({form, "--image", home / "sig.png", "--place", "2:300,100,120,40",
                           "--out-dir", home / "out"}),
              0);
    EXPECT_TRUE(isRegularFile(home / "out/Form (signed).pdf"));
    EXPECT_EQ(cvlSignMain({form, "--image", home / "sig.png", "--place", "1:300,100,0,40",
                           "--out-dir", home / "out"}),
              2);
    EXPECT_EQ(cvlSignMain({form, "--image", home / "none.png", "--place", "1:1,1,5,5", "--out-dir",
                           home / "out"}),
              1);
    EXPECT_EQ(readFile(form).value(), original);
}

}  // namespace
}  // namespace cvl
