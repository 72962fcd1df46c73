// Page commands from the agent through the real grammar, runner and page tools.
#include "BridgeFixture.h"
#include "agent/AgentDocumentWork.h"
#include "pagecmd/PageCommandParser.h"
#include "platform/TextEscape.h"
#include "support/PdfFixtures.h"

namespace cvl::test {
namespace {

class PageCommandFlowTest : public BridgeTest {
  protected:
    void SetUp() override {
        work.reset();
        ASSERT_TRUE(bridge.start(host, makeAgentDocumentWork()));
    }
};

TEST_F(PageCommandFlowTest, PreviewRunAndRefuseASecondRun) {
    std::string doc = home / "Filings/ten pages.pdf";
    ASSERT_TRUE(makeDirs(home / "Filings"));
    ASSERT_TRUE(writePdf(makeTextPdf(10), doc));
    std::string original = readFile(doc).value_or("");

    json preview = call("/pagecmd", "path=" + percentEncode(doc) + "&text=delete%20pages%202-3");
    ASSERT_EQ(preview["kind"], "preview") << preview.dump();
    ASSERT_TRUE(preview["id"].is_string());
    ASSERT_EQ(preview["outputs"].size(), 1u);
    std::string out = preview["outputs"][0];
    EXPECT_FALSE(pathExists(out));  // a preview writes nothing

    json done =
        call("/pagecmd", "path=" + percentEncode(doc) + "&id=" + preview["id"].get<std::string>());
    ASSERT_EQ(done["kind"], "done") << done.dump();
    EXPECT_EQ(done["outputs"], (json{out}));
    auto written = PdfDocument::openFile(out);
    ASSERT_TRUE(written.ok());
    ASSERT_EQ(written->pageCount(), 8);
    EXPECT_NE(written->pageText(1).value_or("").find(fixtureLine(4)), std::string::npos);
    EXPECT_EQ(readFile(doc), original);  // the source is never rewritten

    json again =
        call("/pagecmd", "path=" + percentEncode(doc) + "&id=" + preview["id"].get<std::string>());
    EXPECT_EQ(again["ok"], false);
    EXPECT_FALSE(again["error"].get<std::string>().empty());
}

TEST_F(PageCommandFlowTest, TextThatIsNoCommandGetsTheCanonicalPhrases) {
    std::string doc = home / "three.pdf";
    ASSERT_TRUE(writePdf(makeTextPdf(3), doc));
    json r = call("/pagecmd",
                  "path=" + percentEncode(doc) + "&text=what%20is%20this%20contract%20about");
    EXPECT_EQ(r["ok"], true);
    EXPECT_EQ(r["kind"], "clarify");
    EXPECT_EQ(r["question"], "Not a page command. Send one of the canonical phrases.");
    EXPECT_EQ(r["options"], json(PageCommandParser::canonicalForms));

    json far = call("/pagecmd", "path=" + percentEncode(doc) + "&text=delete%20page%209");
    EXPECT_EQ(far["ok"], true);
    EXPECT_NE(far["kind"], "preview");
}

}  // namespace
}  // namespace cvl::test
