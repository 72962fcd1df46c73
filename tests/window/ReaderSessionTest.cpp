// The reader's address, its loads and generations, view state on close, and the script
// messages the page posts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "WindowFakes.h"
#include "memory/VersionStore.h"
#include "platform/TextEscape.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

using test::WindowUnderTest;

std::vector<std::string> queryKeys(const std::string& url) {
    std::vector<std::string> keys;
    std::string q = url.substr(url.find('?') + 1);
    size_t start = 0;
    while (start < q.size()) {
        size_t amp = q.find('&', start);
        if (amp == std::string::npos) amp = q.size();
        keys.push_back(q.substr(start, q.find('=', start) - start));
        start = amp + 1;
    }
    return keys;
}

ReaderAddressInputs plain() {
    ReaderAddressInputs in;
    in.readerPage = "/opt/corvello/engine/vendor/pdfjs/reader.html";
    in.pdf = "/home/u/Docs/Lease & Terms.pdf";
    in.orig = in.pdf;
    return in;
}

TEST(ReaderAddressTest, CarriesEveryItemInOrder) {
    ReaderAddressInputs in = plain();
    in.darkScheme = true;
    in.docId = "1b4e28ba-2fa1-11d2-883f-0016d3cca427";
    in.pairCode = "K4Q9";
    in.testLaunch = true;
    in.page = 12;
    in.verb = "sign";
    in.run = ReaderRun{2, 5, "Board pack", 1, true};
    const std::string url = ReaderAddress::build(in);
    EXPECT_EQ(url.rfind("file:///opt/corvello/engine/vendor/pdfjs/reader.html?", 0), 0u);
    std::vector<std::string> want = {"pdf",  "orig",   "theme",   "docid",      "sb",     "z",
                                     "zw",   "ptmode", "ptheme",  "pair",       "nosync", "page",
                                     "verb", "run",    "runname", "samecopies", "replay"};
    EXPECT_EQ(queryKeys(url), want);
    EXPECT_EQ(urlQuery(url, "pdf"), "/home/u/Docs/Lease & Terms.pdf");
    EXPECT_EQ(urlQuery(url, "run"), "2/5");
    EXPECT_EQ(urlQuery(url, "runname"), "Board pack");
    EXPECT_EQ(urlQuery(url, "page"), "12");
}

TEST(ReaderAddressTest, DefaultsAndOmissions) {
    ReaderAddressInputs in = plain();
    in.run = ReaderRun{1, 1, "single", 0, false};  // a run of one is no run
    in.page = 0;
    const std::string url = ReaderAddress::build(in);
    EXPECT_EQ(queryKeys(url),
              (std::vector<std::string>{"pdf", "orig", "theme", "sb", "z", "zw", "ptmode"}));
    EXPECT_EQ(urlQuery(url, "theme"), "light");
    EXPECT_EQ(urlQuery(url, "sb"), "1");  // status bar absent: shown
    EXPECT_EQ(urlQuery(url, "zw"), "1");
    EXPECT_EQ(urlQuery(url, "z"), "page-width");
    EXPECT_EQ(urlQuery(url, "ptmode"), "system");

    in.statusBar = false;
    in.zoomWithWindow = false;
    in.zoom = "150";
    const std::string off = ReaderAddress::build(in);
    EXPECT_EQ(urlQuery(off, "sb"), "0");
    EXPECT_EQ(urlQuery(off, "zw"), "0");
    EXPECT_EQ(urlQuery(off, "z"), "150");
}

TEST(ReaderAddressTest, ConvertedDocumentsShowThePdfAndStandForTheOriginal) {
    ReaderAddressInputs in = plain();
    in.pdf = "/home/u/Vizazi Divavo rez Iviruzi/.cache/Memo.pdf";
    in.orig = "/home/u/Docs/Memo.docx";
    const std::string url = ReaderAddress::build(in);
    EXPECT_EQ(urlQuery(url, "pdf"), in.pdf);
    EXPECT_EQ(urlQuery(url, "orig"), in.orig);
}

TEST(ReaderAddressTest, NightPagesFollowTheThemeMode) {
    ReaderAddressInputs in = plain();
    in.darkScheme = true;
    EXPECT_EQ(urlQuery(ReaderAddress::build(in), "ptheme"), "night");
    in.themeMode = "perfile";  // per file: only the night schedule decides
    EXPECT_FALSE(urlQuery(ReaderAddress::build(in), "ptheme"));
    in.darkScheme = false;
    in.nightActiveWithPages = true;
    EXPECT_EQ(urlQuery(ReaderAddress::build(in), "ptheme"), "night");
    EXPECT_EQ(urlQuery(ReaderAddress::build(in), "ptmode"), "perfile");
    in.themeMode = "system";
    EXPECT_FALSE(urlQuery(ReaderAddress::build(in), "ptheme"));
}

TEST(ReaderAddressTest, QueryItemsAreReplacedInPlace) {
    const std::string url = "file:///r/reader.html?pdf=%2Fa.pdf&gen=3&theme=dark#p2";
    EXPECT_EQ(ReaderAddress::withQueryItem(url, "gen", "4"),
              "file:///r/reader.html?pdf=%2Fa.pdf&gen=4&theme=dark#p2");
    EXPECT_EQ(ReaderAddress::withQueryItem("file:///r/reader.html?pdf=x", "gen", "1"),
              "file:///r/reader.html?pdf=x&gen=1");
    EXPECT_EQ(ReaderAddress::filePath("file:///home/u/a%20b.pdf?x=1"), "/home/u/a b.pdf");
    EXPECT_EQ(ReaderAddress::filePath("file://localhost/tmp/x.html"), "/tmp/x.html");
    EXPECT_FALSE(ReaderAddress::filePath("https://example.org/a.pdf"));
}

TEST(ReaderLoads, EachLoadIsANewGenerationBoundToItsDocument) {
    WindowUnderTest w;
    w.wc->becomeReader("/docs/Memo.docx", {});
    EXPECT_EQ(w.page->title, "Memo.docx");
    EXPECT_EQ(w.page->represented, "/docs/Memo.docx");
    const std::string url =
        "file:///r/reader.html?pdf=%2Fcache%2FMemo.pdf&orig=%2Fdocs%2FMemo.docx";
    w.wc->loadReader(url);
    w.wc->loadReader(url);
    ASSERT_EQ(w.page->loads.size(), 2u);
    EXPECT_EQ(urlQuery(w.page->loads[0], "gen"), "1");
    EXPECT_EQ(urlQuery(w.page->loads[1], "gen"), "2");
    ASSERT_TRUE(w.wc->binding());
    EXPECT_EQ(w.wc->binding()->gen, 2);
    EXPECT_EQ(w.wc->binding()->selected, "/docs/Memo.docx");
    EXPECT_EQ(w.wc->binding()->expectedPdf, "/cache/Memo.pdf");
    EXPECT_EQ(w.wc->binding()->expectedTitle, "Memo.docx");
    EXPECT_EQ(w.wc->identityNotes().back(), "load 2: Memo.pdf for Memo.docx");
}

TEST(ReaderLoads, ADisplayedReportWithoutALoadIsLoggedAndNotStored) {
    WindowUnderTest w;
    w.wc->receiveScriptMessage(
        R"({"action":"displayed","gen":1,"pdf":"/tmp/x/Deed.pdf","orig":""})");
    EXPECT_FALSE(w.wc->displayed());
    ASSERT_EQ(w.app.logLines.size(), 1u);
    EXPECT_EQ(w.app.logLines[0],
              "identity: window 3 shows Deed.pdf but never bound a load (a reader load outside "
              "loadReader)");
}

TEST(ReaderLoads, APendingViewIsRestoredOnceWhenThePageIsReady) {
    WindowUnderTest w;
    w.wc->becomeReader("/tmp/a.pdf", {});
    w.wc->setPendingViewRestore(std::string(R"({"page":4,"scale":"page-width"})"));
    w.wc->loadReader("file:///r/reader.html?pdf=%2Ftmp%2Fa.pdf&orig=%2Ftmp%2Fa.pdf");
    w.go("qrtiz://viewready");
    w.wc->receiveScriptMessage(R"({"action":"viewready"})");
    int restores = 0;
    for (const auto& s : w.page->scripts)
        if (s.find("__cvlRestoreView(") != std::string::npos) ++restores;
    EXPECT_EQ(restores, 1);
    EXPECT_TRUE(w.page->ranScriptContaining(
        PageScript::call("__cvlRestoreView", R"({"page":4,"scale":"page-width"})")));
}

TEST(ReaderLoads, EachStateOfAnOpenPdfIsKeptInTheVersionStore) {
    test::TempHome home;
    const std::string pdf = home / "Lease.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(2), pdf));
    WindowUnderTest w;
    w.wc->becomeReader(pdf, {});
    w.wc->loadReader("file:///r/reader.html?pdf=" + percentEncode(pdf));
    auto kept = [&](size_t n) {
        return Dispatch::manualMain()->runUntil(
            [&] { return listVersionSnapshots(pdf).size() == n; }, std::chrono::seconds(5));
    };
    ASSERT_TRUE(kept(1));
    const auto opened = readFile(listVersionSnapshots(pdf)[0].path);

    // Changed on disk: the reader refreshes at its view, and the new state is kept as well.
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(3), pdf));
    w.wc->reloadReader();
    ASSERT_TRUE(w.page->answer(std::string(R"({"page":2})")));  // the captured view
    EXPECT_EQ(urlQuery(w.page->loads.back(), "gen"), "2");
    ASSERT_TRUE(kept(2));
    EXPECT_EQ(readFile(listVersionSnapshots(pdf)[1].path), opened);
    // A Word document's reader keeps nothing: only PDFs are kept.
    const std::string docx = home / "Memo.docx";
    ASSERT_TRUE(writeFileAtomic(docx, "PK").ok());
    w.wc->becomeReader(docx, {});
    w.wc->loadReader("file:///r/reader.html?pdf=" + percentEncode(pdf) +
                     "&orig=" + percentEncode(docx));
    EXPECT_TRUE(listVersionSnapshots(docx).empty());
}

TEST(ReaderClosing, TheViewIsCapturedAndThePageFlushedBeforeTheWindowCloses) {
    WindowUnderTest w;
    w.wc->becomeReader("/tmp/a.pdf", {});
    EXPECT_FALSE(w.wc->shouldClose());
    ASSERT_EQ(w.page->pending.size(), 2u);
    EXPECT_EQ(w.page->pending[0].first, ReviewWC::captureViewScript());
    EXPECT_EQ(w.page->pending[1].first, ReviewWC::flushScript());
    EXPECT_EQ(w.page->closes, 0);
    w.page->answer(std::string(R"({"page":2})"));
    EXPECT_EQ(w.wc->lastViewState(), R"({"page":2})");
    EXPECT_EQ(w.page->closes, 0);
    w.page->answer(std::string("1"));
    EXPECT_TRUE(w.wc->readerClosing());
    EXPECT_EQ(w.page->closes, 1);
    EXPECT_TRUE(w.wc->shouldClose());  // the second attempt goes through
    w.wc->willClose();
    w.wc->willClose();
    EXPECT_EQ(std::count(w.services.calls.begin(), w.services.calls.end(), "closed"), 1);
    auto tab = w.wc->restorableTab();
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->kind, "reader");
    EXPECT_EQ(tab->view, R"({"page":2})");
    EXPECT_EQ(tab->paths, std::vector<std::string>{"/tmp/a.pdf"});
}

TEST(ReaderClosing, APageThatNeverAnswersTheFlushKeepsTheWindowOpen) {
    WindowUnderTest w;
    w.wc->becomeReader("/tmp/a.pdf", {});
    EXPECT_FALSE(w.wc->shouldClose());
    EXPECT_FALSE(w.wc->shouldClose());  // asking again does not flush twice
    EXPECT_EQ(w.page->pending.size(), 3u);
    EXPECT_EQ(w.page->closes, 0);
    EXPECT_FALSE(w.wc->readerClosing());
}

TEST(ReaderClosing, OtherWindowsCloseAtOnceAndOpenSurfacesLeaveNoTab) {
    WindowUnderTest w;
    EXPECT_TRUE(w.wc->shouldClose());
    EXPECT_TRUE(w.page->scripts.empty());
    EXPECT_FALSE(w.wc->restorableTab());
    w.wc->showPage("file:///tmp/.welcome.html", true);
    EXPECT_FALSE(w.wc->restorableTab());
}

TEST(ScriptMessages, ALateMessageForAClosedWindowHasNoEffect) {
    auto w = std::make_unique<WindowUnderTest>();
    auto page = w->page;
    WeakMessageProxy proxy(w->wc);
    w->wc->setPendingViewRestore(std::string("{}"));
    proxy.deliver(R"({"action":"viewready"})");
    EXPECT_EQ(page->scripts.size(), 1u);
    w->wc->setPendingViewRestore(std::string("{}"));
    w->wc.reset();
    proxy.deliver(R"({"action":"viewready"})");
    EXPECT_EQ(page->scripts.size(), 1u);
}

}  // namespace
}  // namespace cvl
