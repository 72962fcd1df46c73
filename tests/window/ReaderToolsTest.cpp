// Small reader tools answered by the window subsystem's module: the rule-gap reports of the
// signing-stop detector and the document's outline.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/AppConstants.h"
#include "support/ModuleFakes.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"
#include "window/ReaderToolsModule.h"

namespace cvl {
namespace {

TEST(ReaderTools, RuleGapsAreAppendedUntilTheFileReachesTwoMegabytes) {
    test::TempHome home;
    test::ModuleHarness h;
    ReaderToolsModule tools;
    auto send = [&](const std::string& body) { tools.handleMessage(h.message("sagap", body)); };
    send(
        R"({"action":"sagap","gaps":[{"page":2,"text":"Sign here"},{"page":5}],"detector":"v3","fp":"ab12"})");
    const std::string file = home / "Library/Application Support/Corvello/rule-gaps.jsonl";
    std::ifstream in(file);
    std::string l1, l2, l3;
    ASSERT_TRUE(std::getline(in, l1));
    ASSERT_TRUE(std::getline(in, l2));
    EXPECT_FALSE(std::getline(in, l3));
    EXPECT_NE(l1.find(R"("build":")" + buildNumber() + "\""), std::string::npos);
    EXPECT_NE(l1.find(R"("text":"Sign here")"), std::string::npos);
    EXPECT_NE(l2.find(R"("page":5)"), std::string::npos);

    send(R"({"action":"sagap","gaps":"oops"})");
    EXPECT_EQ(h.app.logLines.back(),
              "sign-stops: dropped a malformed rule-gap report from the page");

    std::filesystem::resize_file(file, 2 * 1024 * 1024 + 1);
    send(R"({"action":"sagap","gaps":[{"page":1},{"page":2},{"page":3}]})");
    EXPECT_EQ(std::filesystem::file_size(file), 2u * 1024 * 1024 + 1);
    EXPECT_EQ(h.app.logLines.back(),
              "sign-stops: rule-gaps.jsonl is over 2 MB; 3 candidate(s) not recorded");
}

TEST(ReaderTools, TheOutlineOfTheShownDocumentReachesThePage) {
    test::TempHome home;
    const std::string pdf = home / "Nav.pdf";
    ASSERT_TRUE(test::makeNavigablePdf(3).saveToFile(pdf).ok());
    test::ModuleHarness h;
    h.window->state.pageKind = "reader";
    h.window->state.sourcePaths = {pdf};
    ReaderToolsModule tools;
    tools.handle(h.request("qrtiz://outline"));
    ASSERT_TRUE(h.runUntil([&] { return !h.window->callsOf("cvlOutline").empty(); }));
    const std::string call = h.window->callsOf("cvlOutline").front();
    const auto open = call.find("cvlOutline(") + 11;
    auto items = nlohmann::json::parse(call.substr(open, call.rfind(")}catch") - open));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1]["title"], "Chapter 2");
    EXPECT_EQ(items[1]["page"], 2);
    EXPECT_EQ(items[0]["children"][0]["page"], 3);
}

}  // namespace
}  // namespace cvl
