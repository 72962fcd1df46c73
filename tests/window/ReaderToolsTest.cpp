// Small reader tools answered by the window subsystem's module: the document's outline.
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
