// The engine's offline AI through its module: the Ask page filled from its template, answers
// of corvello_ai.py for a known document, and the reader's table of contents.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "agent/AskWindow.h"
#include "agent/LocalAIModule.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "platform/pdf/PdfDocument.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

TEST(AskPage, ValuesWithQuotesMarkupAndLineSeparatorsStayInsideTheirLiterals) {
    const std::string name = "Q \"x\" </script><img src=y>\xE2\x80\xA8 __AUTOQ__ 'z'.pdf";
    AskWindow::AskFill f;
    f.doc = "/docs/" + name;
    f.name = name;
    f.autoQuestion = "What does </script> mean?";
    const std::string page = AskWindow::fill(AskWindow::pageTemplate(), f);
    // One closing tag: the template's own.
    EXPECT_EQ(page.find("</script>"), page.rfind("</script>"));
    EXPECT_EQ(page.find("\xE2\x80\xA8"), std::string::npos);
    auto literal = [&](const std::string& constant) {
        const std::string head = "const " + constant + " = ";
        const auto at = page.find(head) + head.size();
        return json::parse(page.substr(at, page.find(";\n", at) - at));
    };
    EXPECT_EQ(literal("NAME"), name);  // not replaced again inside the value
    EXPECT_EQ(literal("DOC"), f.doc);
    EXPECT_EQ(literal("AUTOQ"), f.autoQuestion);
    EXPECT_EQ(literal("ISFOLDER"), false);
    EXPECT_EQ(literal("FILES"), json::array());
}

struct LocalAITest : ::testing::Test {
    test::TempHome home;
    test::ModuleHarness h;
    LocalAIModule module;

    json answer(const std::string& query) {
        module.handle(h.request("qrtiz://ai?" + query));
        EXPECT_TRUE(h.runUntil([&] { return !h.window->callsOf("cvReply").empty(); }, 60000));
        auto calls = h.window->callsOf("cvReply");
        if (calls.empty()) return nullptr;
        const std::string& s = calls.back();
        const auto at = s.find(",", s.find("cvReply(")) + 1;
        h.window->scripts.clear();
        return json::parse(s.substr(at, s.rfind(")}catch") - at));
    }
};

TEST_F(LocalAITest, SummaryAndPassagesOfAKnownDocumentCarryItsKeySentence) {
    const std::string doc = home / "Lease.txt";
    EXPECT_TRUE(writeFileAtomic(
                    doc,
                    "RESIDENTIAL LEASE\n\nThis lease is made between the landlord and the tenant "
                    "for the flat at 12 Harbour Street. The weather is often mild in spring. The "
                    "tenant shall pay the monthly rent of 1,200 dollars to the landlord on the "
                    "first day of each month. The landlord holds the deposit until the lease "
                    "ends.\n\nParking is on the street. The tenant may keep one cat. Late rent "
                    "to the landlord costs a fee of 50 dollars. Rent and the deposit are the "
                    "tenant's main duties under this lease.\n\nThe garden is shared.\n")
                    .ok());
    h.window->state.sourcePaths = {doc};
    const std::string key =
        "The tenant shall pay the monthly rent of 1,200 dollars to the landlord on the first day "
        "of each month.";
    json summary = answer("mode=summarize&id=s1&doc=" + percentEncode(doc));
    ASSERT_TRUE(summary.contains("summary")) << summary.dump();
    std::vector<std::string> texts;
    for (const auto& s : summary["summary"]) texts.push_back(s["text"]);
    EXPECT_NE(std::find(texts.begin(), texts.end(), key), texts.end()) << summary.dump();
    EXPECT_LT(texts.size(), 5u);

    json asked = answer("mode=ask&id=a1&doc=" + percentEncode(doc) +
                        "&q=" + percentEncode("How much is the monthly rent?"));
    ASSERT_FALSE(asked["passages"].empty()) << asked.dump();
    EXPECT_NE(asked["passages"][0]["text"].get<std::string>().find(key), std::string::npos);
    EXPECT_EQ(asked["answer"], nullptr);  // no local model here

    json terms = answer("mode=terms&id=t1&doc=" + percentEncode(doc));
    std::set<std::string> top;
    for (std::size_t i = 0; i < 5 && i < terms["terms"].size(); ++i)
        top.insert(terms["terms"][i]["term"].get<std::string>());
    for (const char* t : {"landlord", "tenant", "rent", "lease"})
        EXPECT_TRUE(top.count(t)) << t << " in " << terms.dump();

    // Only the window's own documents.
    json other = answer("mode=summarize&id=x&doc=" + percentEncode("/etc/passwd"));
    EXPECT_TRUE(other.contains("error"));
}

TEST_F(LocalAITest, TableOfContentsUsesTheOutlineElseNumberedHeadings) {
    const PdfRect box{0, 0, 612, 792};
    PdfDocument plain;
    plain.insertTextPage(0, box, {"1. Definitions", "Words used in this deed mean what follows."});
    plain.insertTextPage(1, box, {"2. Payment", "The buyer pays within thirty days of delivery."});
    ASSERT_TRUE(plain.saveToFile(home / "plain.pdf").ok());
    PdfDocument outlined = plain;
    auto entry = [](const char* title, int page) {
        PdfOutlineItem item;
        item.title = title;
        item.destination = PdfDestination();
        item.destination->page = page;
        return item;
    };
    ASSERT_TRUE(outlined.setOutline({entry("Terms", 0), entry("Money", 1)}));
    ASSERT_TRUE(outlined.saveToFile(home / "outlined.pdf").ok());

    auto toc = [&](const std::string& pdf) {
        h.window->state.pageKind = "reader";
        h.window->state.shownPdf = pdf;
        h.window->scripts.clear();
        module.handle(h.request("qrtiz://aitoc"));
        module.handle(h.request("qrtiz://aitoc"));  // one run per window at a time
        EXPECT_TRUE(h.runUntil([&] { return !h.window->callsOf("cvlAiToc").empty(); }, 60000));
        EXPECT_EQ(h.window->callsOf("cvlAiToc").size(), 1u);
        const std::string s = h.window->callsOf("cvlAiToc")[0];
        const auto at = s.find("cvlAiToc(") + 9;
        return json::parse(json::parse(s.substr(at, s.rfind(")}catch") - at)).get<std::string>());
    };
    json fromOutline = toc(home / "outlined.pdf");
    EXPECT_EQ(fromOutline["source"], "outline");
    EXPECT_EQ(fromOutline["entries"][1], json({{"title", "Money"}, {"page", 2}, {"level", 1}}));
    EXPECT_FALSE(h.window->callsOf("cvlTocProgress").empty());
    json fromLayout = toc(home / "plain.pdf");
    ASSERT_EQ(fromLayout["source"], "layout") << fromLayout.dump();
    std::vector<std::pair<std::string, int>> found;
    for (const auto& e : fromLayout["entries"]) found.emplace_back(e["title"], e["page"]);
    EXPECT_EQ(found,
              (std::vector<std::pair<std::string, int>>{{"1. Definitions", 1}, {"2. Payment", 2}}));
}

}  // namespace
}  // namespace cvl
