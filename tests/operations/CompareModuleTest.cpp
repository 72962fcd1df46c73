// The compare operations through the bridge module, the menu and workbench flows, and the
// compare page the host writes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "operations/CompareModule.h"
#include "operations/ComparePages.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "support/ModuleFakes.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl::test {
namespace {

using nlohmann::json;

class CompareModuleTest : public ::testing::Test {
  protected:
    TempHome home;
    ModuleHarness h;
    CompareModule module;
    std::string a = home / "A doc.pdf";
    std::string b = home / "B \"quoted\".pdf";

    void SetUp() override {
        ASSERT_TRUE(writePdf(makeTextPdf(1), a));
        ASSERT_TRUE(writePdf(makeTextPdf(2), b));
        h.window->state.bridgeId = "w1";
        h.window->state.pageKind = "compare";
        h.window->state.sourcePaths = {a, b};
    }
    void send(const std::string& url) { module.handle(h.request(url)); }
    std::string diffUrl(const std::string& page) {
        return "qrtiz://visualdiff?a=" + percentEncode(a) + "&b=" + percentEncode(b) + page;
    }
    // The argument of the one cvlVisualDiff call the page received.
    json visualDiffAnswer() {
        EXPECT_TRUE(h.runUntil([&] { return !h.window->callsOf("cvlVisualDiff").empty(); }));
        auto calls = h.window->callsOf("cvlVisualDiff");
        if (calls.empty()) return {};
        const std::string& s = calls[0];
        auto from = s.find("cvlVisualDiff(") + 14;
        return json::parse(s.substr(from, s.rfind(")}catch") - from), nullptr, false);
    }
};

TEST_F(CompareModuleTest, VisualDiffComparesPageOneByDefaultAndIgnoresBadPages) {
    send(diffUrl(""));
    json r = visualDiffAnswer();
    EXPECT_EQ(r["page"], 1);
    EXPECT_EQ(r["total"], 2);
    EXPECT_TRUE(r.contains("overlay") && r.contains("a") && r.contains("b"));

    h.window->scripts.clear();
    send(diffUrl("&page=0"));
    send(diffUrl("&page=two"));
    send("qrtiz://visualdiff?a=" + percentEncode(a) + "&page=1");  // no b
    // Documents the compare page was not opened for are not read.
    send("qrtiz://visualdiff?a=" + percentEncode(a) + "&b=" + percentEncode(home / "x.pdf"));
    send(diffUrl("&page=2"));  // the last request answers; the others never do
    json last = visualDiffAnswer();
    EXPECT_EQ(last["page"], 2);
    EXPECT_TRUE(last["added"]);
    h.drain();
    EXPECT_EQ(h.window->callsOf("cvlVisualDiff").size(), 1u);
}

TEST_F(CompareModuleTest, SlotsAreFilledFromTheChooserAndFromDroppedFiles) {
    h.window->state.sourcePaths.clear();
    h.dialogs.chooseAnswers.push_back({b});
    send("qrtiz://comparepick?side=b");
    ASSERT_TRUE(h.runUntil([&] { return !h.window->callsOf("cvlCompareSet").empty(); }));
    EXPECT_EQ(h.dialogs.choices.at(0).prompt, "Choose");
    EXPECT_FALSE(h.dialogs.choices[0].folders);
    EXPECT_EQ(h.window->callsOf("cvlCompareSet")[0],
              "if(window.cvlCompareSet){try{cvlCompareSet('b'," + jsQuote(b) + "," +
                  jsQuote("B \"quoted\".pdf") + ")}catch(e){}}");

    // Two or more dropped: the first two files that exist fill A and B; folders are skipped.
    h.window->scripts.clear();
    json dropped = {home.path(), home / "gone.pdf", a, b};
    send("qrtiz://comparepick?side=b&paths=" + percentEncode(dropped.dump()));
    h.drain();
    auto sets = h.window->callsOf("cvlCompareSet");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_NE(sets[0].find("('a'," + jsQuote(a)), std::string::npos);
    EXPECT_NE(sets[1].find("('b'," + jsQuote(b)), std::string::npos);

    // The page may compare what it was given, and nothing else.
    send("qrtiz://comparego?a=" + percentEncode(a) + "&b=" + percentEncode(home / "other.pdf"));
    EXPECT_TRUE(h.app.calls.empty());
    send("qrtiz://comparego?a=" + percentEncode(a) + "&b=" + percentEncode(b));
    EXPECT_EQ(h.app.calls,
              (std::vector<std::string>{"usage doc.compare", "recent " + a, "recent " + b}));
    h.drain();
    ASSERT_FALSE(h.window->shown.empty());
    EXPECT_EQ(h.window->shown.back(), "review " + a + " compare");
}

TEST_F(CompareModuleTest, TheMenuCommandAsksForASecondPdfWhenOnlyOneIsChosen) {
    h.dialogs.chooseAnswers = {{a}, {b}};
    CompareFlows::pickVisualCompare(h.dialogs, h.app);
    ASSERT_TRUE(h.runUntil([&] { return h.app.calls.size() >= 4; }));
    ASSERT_EQ(h.dialogs.choices.size(), 2u);
    EXPECT_TRUE(h.dialogs.choices[0].multiple);
    EXPECT_EQ(h.dialogs.choices[0].prompt, "Compare");
    EXPECT_EQ(h.dialogs.choices[1].message, "Choose the second PDF to compare against A doc.pdf");
    EXPECT_EQ(h.app.calls[0], "usage doc.compare");
    EXPECT_EQ(h.app.calls[3].rfind("page compare file://", 0), 0u);

    // The page shown: titled, both documents filled in, escaped for a script string.
    std::string url = h.app.calls[3].substr(std::string("page compare ").size());
    auto html = readFile(percentDecode(url.substr(7)));
    ASSERT_TRUE(html);
    EXPECT_NE(html->find("<title>Visual compare</title>"), std::string::npos);
    EXPECT_NE(html->find("\"B \\\"quoted\\\".pdf\""), std::string::npos);
    EXPECT_EQ(html->find("__A__"), std::string::npos);
    EXPECT_EQ(lastPathComponent(percentDecode(url)).rfind(".vdiff-", 0), 0u);

    // Cancelling the first chooser does nothing.
    h.app.calls.clear();
    CompareFlows::pickVisualCompare(h.dialogs, h.app);
    h.drain();
    EXPECT_TRUE(h.app.calls.empty());
}

TEST_F(CompareModuleTest, WorkbenchPairsThatAreNotBothPdfsGoToTheTextComparison) {
    CompareFlows::handleWorkbenchCompare(h.app, {a, home / "notes.docx"});
    EXPECT_EQ(h.app.calls,
              (std::vector<std::string>{"usage doc.compare", "review " + a + " compare"}));
}

TEST(ComparePageText, PlaceholdersAreFilledOnceWithTextThatCannotLeaveTheScript) {
    std::string page = ComparePages::visualComparePage("/x/__B__.pdf", "/y/a</script>\\b.pdf");
    EXPECT_NE(page.find("var A = \"/x/__B__.pdf\""), std::string::npos);
    EXPECT_NE(page.find("\"/y/a<\\/script>\\\\b.pdf\""), std::string::npos);
    EXPECT_NE(page.find("NAMEA = \"__B__.pdf\""), std::string::npos);
}

}  // namespace
}  // namespace cvl::test
