// Spreadsheets open as a page grid, and converted documents carry an edit state: what the
// window shows, what it stores and what the page receives when it asks.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "WindowFakes.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "support/TempHome.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

using json = nlohmann::json;
using test::WindowUnderTest;

// The argument of the last call of page function `fn`, parsed.
json lastCallOf(const test::PageRecord& page, const std::string& fn) {
    for (auto it = page.scripts.rbegin(); it != page.scripts.rend(); ++it) {
        size_t at = it->find(fn + "(");
        if (at == std::string::npos) continue;
        size_t start = at + fn.size() + 1;
        size_t end = it->rfind(")}");
        if (end == std::string::npos || end < start) continue;
        return json::parse(it->substr(start, end - start), nullptr, false);
    }
    return json();
}

TEST(GridWindowTest, OnlySpreadsheetsAndDelimitedTextOpenAsGrids) {
    for (const char* p : {"/d/a.xlsx", "/d/B.XLS", "/d/c.xlsm", "/d/d.ods", "/d/e.numbers",
                          "/d/f.csv", "/d/g.TSV", "/d/h.tab"})
        EXPECT_TRUE(ReviewWC::opensAsGrid(p)) << p;
    for (const char* p : {"/d/a.pdf", "/d/a.docx", "/d/csv", "/d/a.csv.pdf", "/d/a.txt"})
        EXPECT_FALSE(ReviewWC::opensAsGrid(p)) << p;
    for (const char* p : {"/d/a.docx", "/d/a.RTF", "/d/a.txt", "/d/a.md"})
        EXPECT_TRUE(ReviewWC::probesForEditing(p)) << p;
    for (const char* p : {"/d/a.pdf", "/d/a.xlsx", "/d/a.doc"})
        EXPECT_FALSE(ReviewWC::probesForEditing(p)) << p;
}

TEST(GridWindowTest, ShowsTheSpinnerThenTheGridPageWhichReceivesTheCells) {
    test::TempHome home;
    WindowUnderTest w;
    const std::string path = home / "Budget 2024.xlsx";
    w.wc->openGrid(path);

    EXPECT_TRUE(w.wc->isGrid());
    EXPECT_FALSE(w.wc->isReader());
    EXPECT_TRUE(w.wc->hasContent());
    EXPECT_EQ(w.page->title, "Budget 2024.xlsx");
    EXPECT_EQ(w.page->represented, path);
    ASSERT_EQ(w.page->loads.size(), 1u);
    auto spinner = ReaderAddress::filePath(w.page->loads[0]);
    ASSERT_TRUE(spinner);
    const std::string spinnerPage = readFile(*spinner).value_or("");
    EXPECT_NE(spinnerPage.find("preparing"), std::string::npos);
    // It must not reload itself: a reload racing the grid page's load could win.
    EXPECT_EQ(spinnerPage.find("location.replace"), std::string::npos);
    ASSERT_EQ(w.services.calls, std::vector<std::string>{"grid " + path});
    EXPECT_TRUE(w.services.engineRuns.empty());  // no review run for a grid

    // Before the cells arrive the page has nothing to ask for.
    w.go("qrtiz://gridready");
    EXPECT_FALSE(w.page->ranScriptContaining("cvlGrid"));

    const json cells = {{"path", path},
                        {"sheets", {{{"name", "Q1"}, {"rows", {{"a", "b"}, {"1", "2"}}}}}}};
    w.services.engineAnswers.at(0)(cells.dump());
    ASSERT_EQ(w.page->loads.size(), 2u);
    const std::string grid = w.page->loads[1];
    EXPECT_NE(grid.find("/engine/vendor/pdfjs/gridview.html?"), std::string::npos) << grid;
    EXPECT_EQ(urlQuery(grid, "theme"), "light");
    EXPECT_EQ(urlQuery(grid, "path"), path);
    EXPECT_FALSE(pathExists(*spinner));  // the spinner's file is removed
    EXPECT_EQ(w.wc->gridJSON().value_or(""), cells.dump());

    EXPECT_EQ(w.go("qrtiz://gridready"), NavigationPolicy::Cancel);
    EXPECT_EQ(lastCallOf(*w.page, "cvlGrid"), cells);
    EXPECT_TRUE(w.page->ranScriptContaining("if(window.cvlGrid)"));

    // The closed-tab record reopens it as a grid, and a refresh reads the file again.
    auto tab = w.wc->restorableTab();
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->kind, "grid");
    EXPECT_EQ(tab->paths, std::vector<std::string>{path});
    w.go("qrtiz://recache");
    EXPECT_EQ(w.services.calls.back(), "grid " + path);
    EXPECT_TRUE(w.services.engineRuns.empty());
}

TEST(GridWindowTest, FailuresReachThePageAsAnErrorAndStaleAnswersAreDropped) {
    test::TempHome home;
    WindowUnderTest w;
    const std::string path = home / "broken.csv";

    // The engine gave nothing: the page still loads and shows why.
    w.wc->openGrid(path);
    w.services.engineAnswers.at(0)(std::nullopt);
    w.go("qrtiz://gridready");
    json shown = lastCallOf(*w.page, "cvlGrid");
    EXPECT_EQ(shown["path"], path);
    EXPECT_FALSE(shown["error"].get<std::string>().empty());

    // Text that is not a JSON object counts as no answer.
    w.wc->openGrid(path);
    w.services.engineAnswers.at(1)("{\"sheets\": [");
    w.go("qrtiz://gridready");
    EXPECT_TRUE(lastCallOf(*w.page, "cvlGrid").contains("error"));

    // The engine's own error object is handed on as it is.
    w.wc->openGrid(path);
    const json engineError = {{"path", path}, {"error", "Legacy Excel workbooks ..."}};
    w.services.engineAnswers.at(2)(engineError.dump());
    w.go("qrtiz://gridready");
    EXPECT_EQ(lastCallOf(*w.page, "cvlGrid"), engineError);

    // An answer for a grid the window no longer shows changes nothing.
    w.wc->openGrid(home / "first.xlsx");
    w.wc->becomeReader(home / "other.pdf", {});
    const size_t loads = w.page->loads.size();
    w.services.engineAnswers.at(3)(json{{"path", "x"}, {"sheets", json::array()}}.dump());
    EXPECT_EQ(w.page->loads.size(), loads);
    EXPECT_FALSE(w.wc->gridJSON());

    // Cancelled while reading: the late cells are not shown; "Try again" reads once more.
    w.wc->openGrid(path);
    w.go("qrtiz://cancel");
    const size_t afterCancel = w.page->loads.size();
    w.services.engineAnswers.at(4)(json{{"path", path}, {"sheets", json::array()}}.dump());
    EXPECT_EQ(w.page->loads.size(), afterCancel);
    w.go("qrtiz://retry");
    EXPECT_EQ(w.services.calls.back(), "grid " + path);
    EXPECT_TRUE(w.services.engineRuns.empty());
}

TEST(GridWindowTest, EditProbeAnswersBecomeThePagesEditState) {
    test::TempHome home;
    WindowUnderTest w;
    const std::string doc = home / "Memo.docx";
    w.wc->becomeReader(doc, {});

    // Before any probe the state says "not editable" with no reasons.
    w.go("qrtiz://editstate");
    EXPECT_EQ(lastCallOf(*w.page, "cvlEditState"),
              json({{"editable", false}, {"why", json::array()}}));

    w.wc->probeEditing(doc);
    ASSERT_EQ(w.services.calls.back(), "editprobe " + doc);
    w.services.engineAnswers.at(0)(json{
        {"editable", true},
        {"why", {"No editor.", 7, "It has tracked changes."}},
        {"x", 1}}.dump());
    const json expected = {{"editable", true}, {"why", {"No editor.", "It has tracked changes."}}};
    // Sent to the page at once, and again whenever the page asks.
    EXPECT_EQ(lastCallOf(*w.page, "cvlEditState"), expected);
    w.page->scripts.clear();
    w.go("qrtiz://editstate");
    EXPECT_EQ(lastCallOf(*w.page, "cvlEditState"), expected);

    // A probe that gave nothing is reported as not editable, with a reason.
    w.wc->probeEditing(doc);
    w.services.engineAnswers.at(1)(std::nullopt);
    json failed = lastCallOf(*w.page, "cvlEditState");
    EXPECT_EQ(failed["editable"], false);
    EXPECT_EQ(failed["why"].size(), 1u);

    // A late answer for a document the window no longer shows is dropped.
    w.wc->probeEditing(doc);
    w.wc->becomeReader(home / "Other.docx", {});
    w.page->scripts.clear();
    w.services.engineAnswers.at(2)(json{{"editable", true}, {"why", json::array()}}.dump());
    EXPECT_TRUE(w.page->scripts.empty());
    EXPECT_EQ(json::parse(w.wc->editStateJSON())["editable"], false);
}

}  // namespace
}  // namespace cvl
