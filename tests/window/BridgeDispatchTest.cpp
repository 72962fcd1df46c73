// Navigation decisions and bridge operations of a document window, driven through a fake page.
#include <gtest/gtest.h>

#include <fstream>

#include "WindowFakes.h"
#include "platform/Dispatch.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "support/TempHome.h"
#include "window/PanelWC.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

using test::WindowUnderTest;

void drainMain() {
    if (auto* q = Dispatch::manualMain()) q->drain();
}

TEST(NavigationRoutes, EachKindOfAddressGetsItsPolicy) {
    WindowUnderTest w;
    EXPECT_EQ(w.wc->decidePolicy({"https://example.org/x", true}), NavigationPolicy::Download);
    EXPECT_EQ(w.wc->decidePolicy({"", false}), NavigationPolicy::Allow);
    EXPECT_EQ(w.go("file:///home/u/engine/other.HTML?x=1"), NavigationPolicy::Allow);
    EXPECT_EQ(w.go("vtpdf://doc?p=%2Ftmp%2Fa.pdf"), NavigationPolicy::Allow);
    EXPECT_EQ(w.go("data:text/html,hi"), NavigationPolicy::Allow);
    EXPECT_EQ(w.go("about:blank"), NavigationPolicy::Allow);
    EXPECT_TRUE(w.services.calls.empty());
    EXPECT_TRUE(w.page->loads.empty());
}

TEST(NavigationRoutes, WebLinksOpenTheBrowserNeverThePage) {
    WindowUnderTest w;
    EXPECT_EQ(w.go("https://example.org/terms"), NavigationPolicy::Cancel);
    EXPECT_EQ(w.go("HTTP://example.org/"), NavigationPolicy::Cancel);
    ASSERT_EQ(w.services.calls.size(), 2u);
    EXPECT_EQ(w.services.calls[0], "browser https://example.org/terms");
    EXPECT_EQ(w.services.calls[1], "browser HTTP://example.org/");
    EXPECT_TRUE(w.page->loads.empty());
}

TEST(NavigationRoutes, OtherLocalFilesGoToTheirDefaultApplication) {
    WindowUnderTest w;
    EXPECT_EQ(w.go("file:///home/u/My%20Contract.pdf"), NavigationPolicy::Cancel);
    ASSERT_EQ(w.services.calls.size(), 1u);
    EXPECT_EQ(w.services.calls[0], "default /home/u/My Contract.pdf");
}

TEST(BridgeOperations, UnknownOrMiscasedOperationsAreCancelledWithoutEffect) {
    WindowUnderTest w;
    for (const char* url : {"qrtiz://frobnicate?path=%2Ftmp%2Fa.pdf", "qrtiz://PREFS",
                            "qrtiz://Reader?path=%2Ftmp%2Fa.pdf", "qrtiz://"}) {
        EXPECT_EQ(w.go(url), NavigationPolicy::Cancel) << url;
    }
    EXPECT_TRUE(w.services.calls.empty());
    EXPECT_TRUE(w.page->scripts.empty());
    EXPECT_TRUE(w.page->loads.empty());
}

TEST(BridgeOperations, FeaturesMissingFromTheBuildBehaveAsUnknownOperations) {
    WindowUnderTest w;
    w.services.featuresPresent = false;
    w.wc->becomeReader("/tmp/a.pdf", {});
    w.go("qrtiz://pagecmd?op=ask&seq=1&text=delete%20page%202");
    w.go("qrtiz://outline");
    EXPECT_TRUE(w.page->scripts.empty());
}

TEST(BridgeOperations, OpeningOperationsReachTheApplication) {
    test::TempHome home;
    WindowUnderTest w;
    w.go("qrtiz://reader?path=%2Ftmp%2Fa%20b.pdf&page=4");
    w.go("qrtiz://reader?p=%2Ftmp%2Fc.pdf");
    w.go("qrtiz://reader?page=2");  // no path: nothing
    w.go("qrtiz://read");
    w.go("qrtiz://browse");
    w.go("qrtiz://versions");
    w.go("qrtiz://cull");
    w.go("qrtiz://openurl?url=http%3A%2F%2Fexample.org");  // not https: ignored
    w.go("qrtiz://openurl?url=https%3A%2F%2Fexample.org%2Fhelp");
    w.go("qrtiz://pin?path=%2Ftmp%2Flib");
    w.go("qrtiz://openroot?path=" + percentEncode(home.path()));
    w.go("qrtiz://openroot?path=%2Fnowhere%2Flib");
    w.go("qrtiz://prefs");
    w.go("qrtiz://history");
    w.go("qrtiz://history?mode=pinned");
    std::vector<std::string> want = {
        "reader /tmp/a b.pdf 4",
        "reader /tmp/c.pdf 0",
        "pick document",
        "pick flip",
        "pick doc",
        "pick single",
        "browser https://example.org/help",
        "pin /tmp/lib",
        "review " + home.path() + " -",
        "notice update Can’t open this library The folder “lib” no longer exists at:\n/nowhere/lib",
        "panel settings",
        "history page recent",
        "history page pinned",
    };
    EXPECT_EQ(w.services.calls, want);
}

TEST(BridgeOperations, SettingsOperationsStoreTheirValue) {
    WindowUnderTest w;
    w.go("qrtiz://setview?mode=grid");
    w.go("qrtiz://setview?mode=null");
    EXPECT_EQ(w.services.config["folder_view"], "grid");
}

TEST(BridgeOperations, ReviewRunsStartTheGeneratorWithTheirArguments) {
    test::TempHome home;
    WindowUnderTest w;
    w.wc->load({"/tmp/cases", "/tmp/more"}, std::string("rank"));
    ASSERT_TRUE(w.wc->loadingFile());
    const std::string loading = *w.wc->loadingFile();
    EXPECT_EQ(loading.rfind(home.path() + "/Vizazi Divavo rez Iviruzi/.loading-", 0), 0u);
    std::vector<std::string> first = {"--choose", "--loading-file", loading,    "--mode",
                                      "rank",     "/tmp/cases",     "/tmp/more"};
    ASSERT_EQ(w.services.engineRuns.size(), 1u);
    EXPECT_EQ(w.services.engineRuns[0], first);
    EXPECT_EQ(w.page->loads.back(), ReaderAddress::fileURL(loading));

    w.go("qrtiz://review?folders=%5B%22a%22%5D&remember=1");
    w.go("qrtiz://adjust");
    w.go("qrtiz://recache?fresh=1");
    ASSERT_EQ(w.services.engineRuns.size(), 4u);
    EXPECT_EQ(w.services.engineRuns[1],
              (std::vector<std::string>{"--loading-file", loading, "--include-folders", "[\"a\"]",
                                        "--remember", "/tmp/cases", "/tmp/more"}));
    EXPECT_EQ(w.services.engineRuns[2],
              (std::vector<std::string>{"--choose", "--loading-file", loading, "--reset-pref",
                                        "/tmp/cases", "/tmp/more"}));
    EXPECT_EQ(w.services.engineRuns[3],
              (std::vector<std::string>{"--choose", "--loading-file", loading, "--fresh",
                                        "/tmp/cases", "/tmp/more"}));
}

TEST(BridgeOperations, CancelStopsWaitingAndShowsTheCancelledPage) {
    test::TempHome home;
    WindowUnderTest w;
    w.wc->load({"/tmp/cases"}, std::nullopt);
    ASSERT_TRUE(w.services.fileWatchEvent);
    w.go("qrtiz://cancel");
    auto shown = ReaderAddress::filePath(w.page->loads.back());
    ASSERT_TRUE(shown);
    std::ifstream in(*shown);
    std::string html((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(html.find("Review canceled. What next?"), std::string::npos);
    EXPECT_NE(html.find("qrtiz://retry"), std::string::npos);
}

TEST(BridgeOperations, ReadersDoNotStartReviewRuns) {
    WindowUnderTest w;
    w.wc->becomeReader("/tmp/a.pdf", {});
    w.go("qrtiz://retry");
    w.go("qrtiz://review?folders=x");
    EXPECT_TRUE(w.services.engineRuns.empty());
}

TEST(BridgeOperations, PageCommandsCarryTheirFieldsAndReplyToTheirWindowOnly) {
    WindowUnderTest w;
    w.wc->becomeReader("/tmp/a.pdf", {});
    w.go("qrtiz://pagecmd?op=ask&seq=7&text=delete%20page%202&n=3&cur=1&sel=&pdf=1");
    ASSERT_EQ(w.services.fieldsSeen["path"], "/tmp/a.pdf");  // the shown document by default
    EXPECT_EQ(w.services.fieldsSeen["text"], "delete page 2");
    EXPECT_EQ(w.services.fieldsSeen["seq"], "7");
    EXPECT_EQ(w.services.fieldsSeen["n"], "3");
    EXPECT_EQ(w.services.fieldsSeen.count("id"), 0u);

    w.services.lastReply(R"({"kind":"preview","seq":"7"})");
    EXPECT_FALSE(w.page->ranScriptContaining("cvlPageCmdReply"));  // waits for the main queue
    drainMain();
    ASSERT_FALSE(w.page->scripts.empty());
    EXPECT_EQ(
        w.page->scripts.back(),
        R"(if(window.cvlPageCmdReply){try{cvlPageCmdReply({"kind":"preview","seq":"7"})}catch(e){}})");

    // An answer for a window that has gone is dropped.
    auto reply = w.services.lastReply;
    auto page = w.page;
    size_t before = page->scripts.size();
    w.wc.reset();
    reply(R"({"kind":"done"})");
    drainMain();
    EXPECT_EQ(page->scripts.size(), before);
}

TEST(BridgeOperations, ReaderSearchOfAMissingFileAnswersAtOnceWithNoHits) {
    WindowUnderTest w;
    w.go("qrtiz://readersearch?q=%20it%27s%20&path=%2Fnowhere%2Fx.pdf");
    EXPECT_TRUE(w.services.calls.empty());
    ASSERT_EQ(w.page->scripts.size(), 1u);
    EXPECT_EQ(w.page->scripts[0],
              "if(window.cvlReaderSearchResults){try{cvlReaderSearchResults({q:\"it's\",docs:[],"
              "docCount:0,hitCount:0,scannedNoText:[],ocrUsed:0})}catch(e){}}");
}

TEST(BridgeOperations, FolderSearchRepliesReachTheFunctionTheyName) {
    WindowUnderTest w;
    w.wc->load({"/tmp/cases"}, std::nullopt);
    w.go("qrtiz://search?q=indemnity&mode=exact");
    ASSERT_EQ(w.services.calls.back(), "search /tmp/cases");
    w.services.lastPost("cvlIndexProgress", "{done:1,total:4}");
    w.services.lastPost("cvlSearchResults", "{\"hitCount\":2}");
    drainMain();
    EXPECT_TRUE(w.page->ranScriptContaining("cvlIndexProgress({done:1,total:4})"));
    EXPECT_TRUE(w.page->ranScriptContaining(
        "if(window.cvlSearchResults){try{cvlSearchResults({\"hitCount\":2})"));
}

TEST(BridgeOperations, ReadingModeDiagnosticsGoToTheSystemLog) {
    std::vector<std::string> lines;
    setLogSink([&](const std::string& l) { lines.push_back(l); });
    WindowUnderTest w;
    w.wc->becomeReader("/tmp/Lease.pdf", {});
    w.go("qrtiz://rmdiag?err=&words=12&pages=3");
    setLogSink({});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Corvello ReadingMode declined: reason=too-little-text words=12 "
                            "pages=3 file=Lease.pdf"),
              std::string::npos);
}

TEST(BridgeOperations, HistoryOperationsSplitTheirPathListsAndReply) {
    test::TempHome home;
    WindowUnderTest w;
    w.go("qrtiz://histcovers?p=%2Fa.pdf%0A%0A%2Fb.pdf%0A");
    ASSERT_EQ(w.services.calls.back(), "history histcovers /a.pdf /b.pdf");
    w.services.lastReply("[1]");
    drainMain();
    EXPECT_TRUE(w.page->ranScriptContaining("__cvlCovers([1])"));
    w.go("qrtiz://histlib?p=%2Fx%0A%2Fy");
    EXPECT_EQ(w.wc->sourcePaths(), (std::vector<std::string>{"/x", "/y"}));
    ASSERT_EQ(w.services.engineRuns.size(), 1u);
    EXPECT_FALSE(w.wc->reviewMode());
}

TEST(BridgeOperations, IdentitySensitiveOperationsInAnUnsettledReaderAreLoggedAndStillRun) {
    WindowUnderTest w;
    w.wc->becomeReader("/tmp/a.pdf", {});
    w.wc->loadReader("file:///r/reader.html?pdf=%2Ftmp%2Fa.pdf&orig=%2Ftmp%2Fa.pdf");
    w.go("qrtiz://pagecmd?op=ask&seq=1&text=delete%20page%202");
    w.go("qrtiz://trashfile?path=%2Ftmp%2Fa.pdf");
    ASSERT_EQ(w.services.logLines.size(), 2u);
    EXPECT_EQ(w.services.logLines[0],
              "identity: pagecmd would be held (observe only): loading (the page has not "
              "confirmed what it shows yet)");
    EXPECT_EQ(w.services.logLines[1].rfind("identity: trashfile would be held (observe only): ", 0),
              0u);
    EXPECT_EQ(w.services.calls.back(), "pagecmd");  // the operation still ran

    // Once the page confirms the load, nothing is logged.
    w.wc->receiveScriptMessage(
        R"({"action":"displayed","gen":1,"pdf":"/tmp/a.pdf","orig":"/tmp/a.pdf"})");
    w.go("qrtiz://pagecmd?op=ask&seq=2&text=x");
    EXPECT_EQ(w.services.logLines.size(), 2u);

    // Outside a reader the check does not run; an available identity check decides.
    WindowUnderTest review;
    review.go("qrtiz://pagecmd?op=ask");
    EXPECT_TRUE(review.services.logLines.empty());
    // A tab that names another document is a mismatch.
    WindowUnderTest other;
    other.wc->becomeReader("/tmp/a.pdf", {});
    other.wc->loadReader("file:///r/reader.html?pdf=%2Ftmp%2Fa.pdf&orig=%2Ftmp%2Fa.pdf");
    other.wc->receiveScriptMessage(
        R"({"action":"displayed","gen":1,"pdf":"/tmp/a.pdf","orig":"/tmp/a.pdf"})");
    other.page->label = "b.pdf";
    other.go("qrtiz://move?paths=%5B%5D");
    ASSERT_EQ(other.services.logLines.size(), 1u);
    EXPECT_EQ(other.services.logLines[0],
              "identity: move would be held (observe only): MISMATCH: the tab is labeled b.pdf "
              "but holds a.pdf");
}

TEST(PanelOperations, SettingsChangesGoThroughTheTypedSetter) {
    auto rec = std::make_shared<test::PageRecord>();
    test::FakeServices services;
    PanelWC panel("settings", std::make_unique<test::FakePage>(rec), services);
    panel.show("/tmp/panel.html");
    EXPECT_EQ(panel.decidePolicy({"qrtiz://setcfg?key=max_depth&value=-1", false}),
              NavigationPolicy::Cancel);
    panel.decidePolicy({"qrtiz://setcfg?value=1", false});  // no key: nothing
    panel.decidePolicy({"qrtiz://seticon?id=stack_ink_dark", false});
    panel.decidePolicy({"qrtiz://seticon?id=", false});  // no variant: nothing
    panel.decidePolicy({"qrtiz://setshortcut?action=quit&combo=Ctrl%2BAlt%2BX", false});
    panel.decidePolicy({"qrtiz://setshortcut?combo=Ctrl%2BX", false});  // no command: nothing
    panel.decidePolicy({"qrtiz://resetpageopskip", false});
    panel.decidePolicy({"qrtiz://pagecmd", false});  // a document operation: not in a panel
    panel.decidePolicy({"qrtiz://mcpconnect", false});
    panel.decidePolicy({"qrtiz://mcpdisconnect", false});
    EXPECT_EQ(panel.decidePolicy({"https://example.org", false}), NavigationPolicy::Cancel);
    EXPECT_EQ(panel.decidePolicy({"file:///tmp/x.pdf", false}), NavigationPolicy::Allow);
    std::vector<std::string> want = {"applyConfig max_depth=-1",
                                     "applyConfig app_icon=stack_ink_dark",
                                     "shortcut quit=Ctrl+Alt+X",
                                     "removeConfig pageops_skip_",
                                     "agent connect",
                                     "agent disconnect",
                                     "browser https://example.org"};
    EXPECT_EQ(services.calls, want);
    EXPECT_EQ(rec->loads.size(), 2u);  // shown, then reloaded after the reset
}

}  // namespace
}  // namespace cvl
