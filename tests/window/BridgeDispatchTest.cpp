// The window's dispatch: how each navigation is routed, which operations the window answers
// itself, and how the others reach the feature modules (here a small module of the test's own)
// with the window's state, a reply channel to its page and its dialogs.
#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>
#include "WindowFakes.h"

#include "app/Config.h"
#include "memory/AnnotationSidecars.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "support/TempHome.h"
#include "window/ConfirmChange.h"
#include "window/PageScript.h"
#include "window/PanelWC.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

using test::WindowUnderTest;

// A module of the kind the document operations add: it confirms through the shared rule,
// then answers its page from a background queue.
class StampModule : public BridgeModule {
  public:
    std::vector<std::string> seen;  // "op pageKind shownFile arg"
    std::vector<std::string> messagesSeen;

    std::vector<std::string> operations() const override { return {"stamp", "stampready"}; }
    std::vector<std::string> messages() const override { return {"stampstat"}; }
    void handle(const BridgeRequest& r) override {
        seen.push_back(r.op + " " + r.window.pageKind + " " + r.window.shownFile() + " " +
                       r.arg("prefix").value_or("-"));
        if (r.op == "stampready") return r.page.call("cvlStampConfig", "{}");
        const WindowHandle page = r.page;
        ConfirmChange::ask(
            r.dialogs, r.app, "stamp", ConfirmSheet{"Stamp 3 documents?", "", "Stamp", "", false},
            [page] {
                Dispatch::global().async([page] { page.call("cvlStampDone", "{\"ok\":true}"); });
            });
    }
    void handleMessage(const ScriptMessage& m) override { messagesSeen.push_back(m.body); }
};

TEST(NavigationRoutes, EachKindOfAddressGetsItsPolicy) {
    WindowUnderTest w;
    EXPECT_EQ(w.wc->decidePolicy({"https://example.org/x", true, ""}), NavigationPolicy::Download);
    EXPECT_EQ(w.wc->decidePolicy({"", false, ""}), NavigationPolicy::Allow);
    EXPECT_EQ(
        w.go(ReaderAddress::fileURL(UserDirs::resourceDir() + "/engine/organize.html") + "?x=1"),
        NavigationPolicy::Allow);
    EXPECT_EQ(w.go("vtpdf://doc?p=%2Ftmp%2Fa.pdf"), NavigationPolicy::Allow);
    EXPECT_EQ(w.go("about:blank"), NavigationPolicy::Allow);
    EXPECT_TRUE(w.app.calls.empty());
    // Web links open the browser, never the page; other local files their default application.
    EXPECT_EQ(w.go("HTTPS://example.org/terms"), NavigationPolicy::Cancel);
    EXPECT_EQ(w.go("file:///home/u/My%20Contract.pdf"), NavigationPolicy::Cancel);
    // A web page on disk that is not one of the program's is a document too: it never loads
    // in the window, where its script could reach the bridge.
    EXPECT_EQ(w.go("file:///home/u/engine/other.HTML?x=1"), NavigationPolicy::Cancel);
    EXPECT_EQ(w.app.calls, (std::vector<std::string>{"browser HTTPS://example.org/terms",
                                                     "default /home/u/My Contract.pdf",
                                                     "default /home/u/engine/other.HTML"}));
    EXPECT_TRUE(w.page->loads.empty());
}

TEST(NavigationRoutes, LinksInADocumentShowWhereTheyGoAndNeverMoveTheReader) {
    test::TempHome home;
    WindowUnderTest w;
    w.wc->becomeReader(home / "Brief.pdf", {});
    // A web link asks first, showing the address; cancelled, nothing opens.
    EXPECT_EQ(w.go("https://Example.org/terms?x=1"), NavigationPolicy::Cancel);
    w.drain();
    ASSERT_EQ(w.dialogs->sheets.size(), 1u);
    EXPECT_EQ(w.dialogs->sheets[0].message, "https://Example.org/terms?x=1");
    EXPECT_EQ(w.dialogs->sheets[0].alternate, "Open and Don\u2019t Ask Again for example.org");
    EXPECT_TRUE(w.app.calls.empty());
    // "Don't Ask Again" opens it and keeps the site; its next link opens at once, another
    // site's still asks.
    w.dialogs->confirmAnswers = {ConfirmAnswer::Alternate};
    w.go("https://example.org/terms");
    w.drain();
    w.go("http://user@EXAMPLE.org:8080/privacy");
    w.go("https://elsewhere.net/");
    w.drain();
    EXPECT_EQ(w.dialogs->sheets.size(), 3u);
    // Mail goes to the mail client without a question; other schemes ask; the page stays.
    EXPECT_EQ(w.go("mailto:clerk@example.org"), NavigationPolicy::Cancel);
    w.dialogs->confirmAnswers = {ConfirmAnswer::Verb};
    EXPECT_EQ(w.go("ftp://files.example.org/a.pdf"), NavigationPolicy::Cancel);
    w.drain();
    // A link to a local file may name a launcher: the reader says which file before it opens.
    w.dialogs->confirmAnswers = {ConfirmAnswer::Cancel};
    EXPECT_EQ(w.go("file:///home/u/run%20me.desktop"), NavigationPolicy::Cancel);
    w.drain();
    EXPECT_EQ(w.dialogs->sheets.back().message, "/home/u/run me.desktop");
    EXPECT_EQ(w.app.calls, (std::vector<std::string>{"browser https://example.org/terms",
                                                     "browser http://user@EXAMPLE.org:8080/privacy",
                                                     "browser mailto:clerk@example.org",
                                                     "browser ftp://files.example.org/a.pdf"}));
    EXPECT_TRUE(w.page->loads.empty());
}

TEST(PageTrustBoundary, OnlyTheProgramsOwnPagesAskForWorkAndReadDocuments) {
    test::TempHome home;
    WindowUnderTest w;
    auto module = std::make_unique<StampModule>();
    StampModule* stamp = module.get();
    w.modules.add(std::move(module));
    const std::string pdf = home / "Brief.pdf";
    std::ofstream(pdf) << "%PDF-1.4";
    w.wc->becomeReader(pdf, {});
    // A page a link or a document brought into the view, a data: page, or no page at all.
    const std::string evil = home / "evil.html";
    std::ofstream(evil) << "<script></script>";
    makeDirs(UserDirs::archiveDir());
    const std::string disguised = UserDirs::archiveDir() + "/.loading-1.html";
    ASSERT_EQ(::symlink(evil.c_str(), disguised.c_str()), 0);          // ours by name, not by place
    const std::string saved = UserDirs::archiveDir() + "/saved.html";  // in place, not by name
    std::ofstream(saved) << "<script></script>";
    for (const std::string& asker :
         {ReaderAddress::fileURL(evil), ReaderAddress::fileURL(disguised),
          ReaderAddress::fileURL(saved),
          ReaderAddress::fileURL(UserDirs::archiveDir() + "/../evil.html"),
          std::string("data:text/html,x"), std::string()})
        EXPECT_EQ(w.wc->decidePolicy({"qrtiz://stamp?prefix=A", false, asker}),
                  NavigationPolicy::Cancel);
    w.drain();
    EXPECT_TRUE(stamp->seen.empty());
    EXPECT_TRUE(w.dialogs->sheets.empty());
    // A page the host generated in its working folder is one of its own.
    const std::string generated = UserDirs::archiveDir() + "/.loading-2.html";
    std::ofstream(generated) << "<p>";
    w.wc->decidePolicy({"qrtiz://stampready", false, ReaderAddress::fileURL(generated)});
    EXPECT_EQ(stamp->seen.size(), 1u);
    // So is an engine page that the user's engine override folder supplies.
    const std::string overridden = UserDirs::engineOverrideDir() + "/app/bates.html";
    ASSERT_TRUE(makeDirs(UserDirs::engineOverrideDir() + "/app"));
    std::ofstream(overridden) << "<p>";
    w.wc->decidePolicy({"qrtiz://stampready", false, ReaderAddress::fileURL(overridden)});
    EXPECT_EQ(stamp->seen.size(), 2u);

    // A document operation names only the window's own documents.
    struct Redact : BridgeModule {
        std::vector<std::string> seen;
        std::vector<std::string> operations() const override { return {"redact"}; }
        void handle(const BridgeRequest& r) override { seen.push_back(r.path().value_or("-")); }
    };
    auto redactModule = std::make_unique<Redact>();
    Redact* redact = redactModule.get();
    w.modules.add(std::move(redactModule));
    w.go("qrtiz://redact?path=" + percentEncode(home / "Other.pdf"));
    w.go("qrtiz://redact?paths=" + percentEncode("[\"" + pdf + "\",\"/etc/passwd\"]"));
    w.go("qrtiz://redact?path=" + percentEncode(pdf));
    w.drain();
    EXPECT_EQ(redact->seen, std::vector<std::string>{pdf});
    EXPECT_TRUE(w.page->ranScriptContaining("not one of this window"));

    // The PDF schemes serve the window's documents and the reader's annotated copy only.
    EXPECT_TRUE(w.wc->mayServe(pdf));
    EXPECT_TRUE(w.wc->mayServe(annotSidecarPath(pdf)));
    EXPECT_FALSE(w.wc->mayServe(home / "Other.pdf"));
    EXPECT_FALSE(w.wc->mayServe(home / ".config/token"));
    EXPECT_FALSE(w.wc->mayServe(""));
}

TEST(FeatureDispatch, AModuleIsReachedWithTheWindowItsPageAndItsDialogs) {
    test::TempHome home;
    WindowUnderTest w;
    auto module = std::make_unique<StampModule>();
    StampModule* stamp = module.get();
    w.modules.add(std::move(module));
    w.wc->becomeReader(home / "Brief.pdf", {});
    w.wc->loadReader("file:///r/reader.html?pdf=" + percentEncode(home / "Brief.pdf"));

    EXPECT_EQ(w.go("qrtiz://stampready"), NavigationPolicy::Cancel);
    w.drain();
    EXPECT_TRUE(w.page->ranScriptContaining(PageScript::call("cvlStampConfig", "{}")));

    // Cancelled at the sheet: nothing else happens. Confirmed: the answer comes back from the
    // background queue to this window's page.
    w.dialogs->confirmAnswers = {ConfirmAnswer::Cancel, ConfirmAnswer::Verb};
    w.go("qrtiz://stamp?prefix=ABC");
    w.drain();
    EXPECT_EQ(w.dialogs->sheets.at(0).title, "Stamp 3 documents?");
    EXPECT_FALSE(w.page->ranScriptContaining("cvlStampDone"));
    w.go("qrtiz://stamp?prefix=null");
    ASSERT_TRUE(Dispatch::manualMain()->runUntil(
        [&] { return w.page->ranScriptContaining("cvlStampDone({\"ok\":true})"); },
        std::chrono::seconds(5)));
    EXPECT_EQ(stamp->seen, (std::vector<std::string>{
                               "stampready reader " + home / "Brief.pdf" + " -",
                               "stamp reader " + home / "Brief.pdf" + " ABC",
                               "stamp reader " + home / "Brief.pdf" + " -",
                           }));

    // Its script messages arrive too; operations of other letter case do not.
    w.wc->receiveScriptMessage(R"({"action":"stampstat","n":2})");
    EXPECT_EQ(stamp->messagesSeen, std::vector<std::string>{R"({"action":"stampstat","n":2})"});
    w.go("qrtiz://Stamp");
    EXPECT_EQ(stamp->seen.size(), 3u);

    // A reply for a window that has gone is dropped.
    auto page = w.page;
    const size_t before = page->scripts.size();
    w.dialogs->confirmAnswers = {ConfirmAnswer::Verb};
    w.go("qrtiz://stamp");
    w.wc.reset();
    w.drain();
    EXPECT_EQ(page->scripts.size(), before);
}

TEST(FeatureDispatch, UnknownOperationsAndMessagesHaveNoEffect) {
    WindowUnderTest w;
    for (const char* url : {"qrtiz://frobnicate?path=%2Ftmp%2Fa.pdf", "qrtiz://PREFS", "qrtiz://"})
        EXPECT_EQ(w.go(url), NavigationPolicy::Cancel) << url;
    for (const char* body : {"[]", "not json", R"({"action":3})", R"({"action":"nosuchthing"})"})
        w.wc->receiveScriptMessage(body);
    EXPECT_TRUE(w.app.calls.empty());
    EXPECT_TRUE(w.page->scripts.empty());
    EXPECT_TRUE(w.page->loads.empty());
}

TEST(FeatureDispatch, IdentitySensitiveOperationsInAnUnsettledReaderAreLoggedAndStillRun) {
    WindowUnderTest w;
    auto module = std::make_unique<StampModule>();
    StampModule* stamp = module.get();
    w.modules.add(std::move(module));
    w.wc->becomeReader("/tmp/a.pdf", {});
    w.wc->loadReader("file:///r/reader.html?pdf=%2Ftmp%2Fa.pdf&orig=%2Ftmp%2Fa.pdf");
    w.go("qrtiz://pagecmd?op=ask");
    w.go("qrtiz://trashfile?path=%2Ftmp%2Fa.pdf");
    w.go("qrtiz://stampready");  // not identity-sensitive: no line
    ASSERT_EQ(w.app.logLines.size(), 2u);
    EXPECT_EQ(w.app.logLines[0],
              "identity: pagecmd would be held (observe only): loading (the page has not "
              "confirmed what it shows yet)");
    EXPECT_EQ(w.app.logLines[1].rfind("identity: trashfile would be held (observe only): ", 0), 0u);
    EXPECT_EQ(stamp->seen.size(), 1u);

    // Once the page confirms the load, nothing is logged; a tab that names another document
    // is a mismatch.
    w.wc->receiveScriptMessage(
        R"({"action":"displayed","gen":1,"pdf":"/tmp/a.pdf","orig":"/tmp/a.pdf"})");
    w.go("qrtiz://pagecmd?op=ask");
    EXPECT_EQ(w.app.logLines.size(), 2u);
    w.page->label = "b.pdf";
    w.go("qrtiz://move?paths=%5B%5D");
    ASSERT_EQ(w.app.logLines.size(), 3u);
    EXPECT_EQ(w.app.logLines[2],
              "identity: move would be held (observe only): MISMATCH: the tab is labeled b.pdf "
              "but holds a.pdf");
}

TEST(WindowOperations, ReviewRunsStartTheGeneratorWithTheirArguments) {
    test::TempHome home;
    WindowUnderTest w;
    w.wc->load({"/tmp/cases", "/tmp/more"}, std::string("rank"));
    ASSERT_TRUE(w.wc->loadingFile());
    const std::string loading = *w.wc->loadingFile();
    EXPECT_EQ(loading.rfind(home.path() + "/Vizazi Divavo rez Iviruzi/.loading-", 0), 0u);
    ASSERT_EQ(w.services.engineRuns.size(), 1u);
    EXPECT_EQ(w.services.engineRuns[0],
              (std::vector<std::string>{"--choose", "--loading-file", loading, "--mode", "rank",
                                        "/tmp/cases", "/tmp/more"}));
    EXPECT_EQ(w.page->loads.back(), ReaderAddress::fileURL(loading));

    w.go("qrtiz://review?folders=%5B%22a%22%5D&remember=1");
    w.go("qrtiz://adjust");
    w.go("qrtiz://recache?fresh=1");
    ASSERT_EQ(w.services.engineRuns.size(), 4u);
    EXPECT_EQ(w.services.engineRuns[1],
              (std::vector<std::string>{"--loading-file", loading, "--include-folders", "[\"a\"]",
                                        "--remember", "/tmp/cases", "/tmp/more"}));
    EXPECT_EQ(w.services.engineRuns[3].at(3), "--fresh");

    // Cancel stops waiting and shows the cancelled page.
    w.go("qrtiz://cancel");
    auto shown = ReaderAddress::filePath(w.page->loads.back());
    ASSERT_TRUE(shown);
    std::ifstream in(*shown);
    std::string html((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(html.find("Review canceled. What next?"), std::string::npos);

    // A reader starts no review runs; the history page's folders open here as a review.
    WindowUnderTest reader;
    reader.wc->becomeReader("/tmp/a.pdf", {});
    reader.go("qrtiz://retry");
    reader.go("qrtiz://review?folders=x");
    EXPECT_TRUE(reader.services.engineRuns.empty());
    reader.go("qrtiz://histlib?p=%2Fx%0A%0A%2Fy");
    EXPECT_EQ(reader.wc->sourcePaths(), (std::vector<std::string>{"/x", "/y"}));
    EXPECT_EQ(reader.wc->pageKind(), "review");
}

TEST(PanelOperations, OnlyThePanelTableReachesTheModules) {
    test::TempHome home;
    auto rec = std::make_shared<test::PageRecord>();
    test::FakeApp app;
    BridgeModuleSet modules;
    auto module = std::make_unique<StampModule>();
    StampModule* stamp = module.get();
    modules.add(std::move(module));
    struct Settings : BridgeModule {
        std::vector<std::string> seen;
        std::vector<std::string> operations() const override { return {"setcfg", "help"}; }
        void handle(const BridgeRequest& r) override {
            seen.push_back(r.op + " " + r.window.pageKind + " " + r.arg("key").value_or("-"));
        }
    };
    auto settings = std::make_unique<Settings>();
    Settings* seen = settings.get();
    modules.add(std::move(settings));
    auto panel = std::make_shared<PanelWC>("settings", std::make_unique<test::FakePage>(rec), app,
                                           modules, std::make_unique<test::FakeDialogs>());
    panel->show("/tmp/panel.html");
    const std::string own = WindowUnderTest::ownPageURL();
    EXPECT_EQ(panel->decidePolicy({"qrtiz://setcfg?key=max_depth&value=-1", false, own}),
              NavigationPolicy::Cancel);
    panel->decidePolicy({"qrtiz://help", false, own});
    panel->decidePolicy({"qrtiz://stamp", false, own});  // a document operation: not in a panel
    panel->decidePolicy({"qrtiz://setcfg?key=x", false, "file:///tmp/evil.html"});  // not ours
    panel->decidePolicy({"qrtiz://closepanel", false, own});
    EXPECT_EQ(panel->decidePolicy({"https://example.org", false, ""}), NavigationPolicy::Cancel);
    EXPECT_EQ(panel->decidePolicy({"file:///tmp/x.pdf", false, ""}), NavigationPolicy::Cancel);
    EXPECT_EQ(seen->seen,
              (std::vector<std::string>{"setcfg settings max_depth", "help settings -"}));
    EXPECT_TRUE(stamp->seen.empty());
    EXPECT_EQ(rec->closes, 1);
    EXPECT_EQ(app.calls,
              (std::vector<std::string>{"browser https://example.org", "default /tmp/x.pdf"}));
}

}  // namespace
}  // namespace cvl
