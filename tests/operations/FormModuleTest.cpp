// The reader's form operations through the bridge: saving the filled form in place, and the
// form information a page asks for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/Config.h"
#include "operations/FormFields.h"
#include "operations/FormModule.h"
#include "operations/LoadStamp.h"
#include "operations/OperationsFixtures.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfForms.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

struct FillFixture {
    test::TempHome home;
    test::KeepingHarness h;
    FormModule module;
    std::string path = home / "Form.pdf";
    std::string original = test::makeFormPdfBytes();

    FillFixture() {
        EXPECT_TRUE(writeFileAtomic(path, original).ok());
        h.page->state.bridgeId = "w1";
        h.page->state.pageKind = "reader";
        h.page->state.sourcePaths = {path};
        h.page->state.shownPdf = path;
        h.page->state.loadGen = 1;
        LoadStamps::shared().forget("w1");
    }
    // The page's filled bytes with these values set.
    std::string filledB64(const std::vector<PdfFieldValue>& values) {
        PdfDocument doc = PdfDocument::openBytes(original).value();
        EXPECT_TRUE(pdfFillForm(doc, values).ok());
        return base64Encode(*doc.save());
    }
    void fill() {
        module.handle(h.request("qrtiz://fillform"));
        h.runUntil([&] { return h.page->sent("cvlToast("); }, 3000);
    }
    std::string lastToast() {
        return h.page->callsOf("cvlToast").empty() ? "" : h.page->callsOf("cvlToast").back();
    }
};

TEST(FillForm, SavesInPlaceAfterConfirmingAndCountsFields) {
    FillFixture f;
    f.module.handle(f.h.request("qrtiz://forminfo"));  // the reader asks on load: stamps the file
    f.h.runUntil([&] { return f.h.page->sent("cvlSignedSignatures"); });
    EXPECT_EQ(f.h.page->lastArgument("cvlFormInfo")["count"], 6);

    f.h.page->filled = f.filledB64({{"name", "Ada"}});
    f.h.dialogs.confirmAnswers = {ConfirmAnswer::Verb};
    f.fill();
    ASSERT_EQ(f.h.dialogs.sheets.size(), 1u);
    EXPECT_EQ(f.h.dialogs.sheets[0].title, "Save your entries to \u201cForm.pdf\u201d?");
    EXPECT_EQ(f.h.dialogs.sheets[0].alternate, "Save and Don\u2019t Ask Again");
    // Choice and city were already filled: three fields now.
    EXPECT_EQ(f.lastToast(),
              "if(window.cvlToast){try{cvlToast(\"Saved 3 fields\",false)}catch(e){}}");
    auto records = formFields(PdfDocument::openFile(f.path).value());
    EXPECT_EQ(records[0].value, "Ada");
    // Saving re-stamped the file: a second save does not take it for a newer file.
    EXPECT_FALSE(diskChangedSinceLoad(LoadStamps::shared().stamp("w1"), f.path));
}

TEST(FillForm, UnreadablePageDataAndCancelLeaveTheFileAlone) {
    FillFixture f;
    f.h.page->filled = "not base64 at all!";
    f.fill();
    EXPECT_NE(f.lastToast().find("Could not read the filled form\",true"), std::string::npos);
    f.h.page->scripts.clear();
    f.h.page->filled = base64Encode("%PDF-1.7 but nothing else");
    f.fill();
    EXPECT_NE(f.lastToast().find("Could not read the filled form"), std::string::npos);

    f.h.page->scripts.clear();
    f.h.page->filled = f.filledB64({});
    f.module.handle(f.h.request("qrtiz://fillform"));  // confirmation cancelled: no message
    f.h.runUntil([&] { return !f.h.dialogs.sheets.empty(); });
    f.h.drain();
    EXPECT_TRUE(f.h.page->callsOf("cvlToast").empty());
    EXPECT_EQ(readFile(f.path).value(), f.original);
}

TEST(FillForm, AFileNewerOnDiskIsOnlyReplacedWhenTheUserSaysSo) {
    FillFixture f;
    LoadStamps::shared().stampLoadedFile("w1", f.path, 1);
    ASSERT_TRUE(writeFileAtomic(f.path, f.original + "\n%changed elsewhere\n"));
    const std::string newer = readFile(f.path).value();
    f.h.page->filled = f.filledB64({});

    f.fill();  // the guard's sheet is cancelled
    ASSERT_EQ(f.h.dialogs.sheets.size(), 1u);
    EXPECT_TRUE(f.h.dialogs.sheets[0].destructive);
    EXPECT_EQ(f.h.dialogs.sheets[0].verb, "Overwrite \u201cForm.pdf\u201d");
    EXPECT_NE(f.lastToast().find("Save canceled: \u201cForm.pdf\u201d is newer on disk\",true"),
              std::string::npos);
    EXPECT_EQ(readFile(f.path).value(), newer);

    EXPECT_TRUE(cfgSetBool("pageops_confirm", false).ok());  // no second question after the guard
    f.h.page->scripts.clear();
    f.h.dialogs.confirmAnswers = {ConfirmAnswer::Verb};
    f.fill();
    EXPECT_NE(f.lastToast().find("Saved 2 fields"), std::string::npos);
    EXPECT_NE(readFile(f.path).value(), newer);
}

}  // namespace
}  // namespace cvl
