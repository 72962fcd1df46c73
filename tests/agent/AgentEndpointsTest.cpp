// The bridge's endpoints against a fake application, through the real listener.
#include "BridgeFixture.h"
#include "agent/AgentEndpoints.h"
#include "platform/Base64.h"

namespace cvl::test {
namespace {

TEST_F(BridgeTest, StatusCountsWindowsAndNamesTheCurrentDocument) {
    json s = call("/status");
    EXPECT_EQ(s, (json{{"ok", true},
                       {"app", "Corvello"},
                       {"version", "1.2.3"},
                       {"build", "45"},
                       {"pid", ::getpid()},
                       {"windows", 0},
                       {"current_document", nullptr}}));
    addReader("w1", "/docs/a.pdf", 4);
    host->current = "/docs/a.pdf";
    s = call("/status");
    EXPECT_EQ(s["windows"], 1);
    EXPECT_EQ(s["current_document"], "/docs/a.pdf");
}

TEST_F(BridgeTest, WindowsJoinEveryPagesStateIntoItsRecord) {
    auto& reader = addReader("w1", "/docs/a.pdf", 12);
    reader.page = 3;
    reader.zoom = 125;
    reader.info.title = "a.pdf";
    reader.info.isKey = true;
    reader.info.tabGroup = "g1";
    reader.info.tabCount = 2;
    reader.info.tabIndex = 1;
    reader.info.identityJSON = R"({"verdict":"same"})";
    FakeBridgeWindow loading;
    loading.info.bridgeId = "w2";
    loading.info.paths = {"/docs/b.pdf", "/docs/c.pdf"};
    loading.info.showsDocument = true;
    loading.info.isGrid = true;
    loading.info.identityJSON = R"({"verdict":"ignored for grids"})";
    loading.info.webUrlLoading = true;
    host->windows.push_back(loading);
    FakeBridgeWindow welcome;
    welcome.info.bridgeId = "w3";
    welcome.answers = false;  // a page that never answers still gets a record
    host->windows.push_back(welcome);

    json r = call("/windows");
    ASSERT_EQ(r["count"], 3);
    const json& a = r["windows"][0];
    EXPECT_EQ(a["id"], "w1");
    EXPECT_EQ(a["kind"], "reader");
    EXPECT_EQ(a["document"], "/docs/a.pdf");
    EXPECT_EQ(a["page"], 3);
    EXPECT_EQ(a["page_count"], 12);
    EXPECT_EQ(a["zoom"], 125);
    EXPECT_EQ(a["tab_group"], "g1");
    EXPECT_EQ(a["identity"], (json{{"verdict", "same"}}));
    EXPECT_FALSE(a.contains("loading"));
    EXPECT_FALSE(a.contains("web_url_loading"));
    EXPECT_TRUE(a["web_pdf"].is_null());

    const json& b = r["windows"][1];
    EXPECT_EQ(b["kind"], "grid");
    EXPECT_EQ(b["paths"], (json{"/docs/b.pdf", "/docs/c.pdf"}));
    EXPECT_EQ(b["loading"], true);
    EXPECT_EQ(b["web_url_loading"], true);
    EXPECT_FALSE(b.contains("identity"));
    EXPECT_FALSE(b.contains("page_count"));
    EXPECT_FALSE(b.contains("tab_group"));

    const json& c = r["windows"][2];
    EXPECT_EQ(c["kind"], "welcome");
    EXPECT_TRUE(c["document"].is_null());
    EXPECT_EQ(c["loading"], true);
}

TEST_F(BridgeTest, OpenHandsFilesAndFoldersToTheApplication) {
    EXPECT_EQ(call("/open")["error"], "path is required");
    EXPECT_EQ(call("/open", "path=~/nope.pdf")["error"],
              "no such file: " + home.path() + "/nope.pdf");
    EXPECT_TRUE(host->calls.empty());

    std::string doc = makePdf("contracts/lease.pdf", 10);
    json r = call("/open", "path=~/contracts/lease.pdf&page=5");
    EXPECT_EQ(r["ok"], true);
    EXPECT_EQ(r["opened"], doc);
    EXPECT_EQ(r["kind"], "reader");
    EXPECT_EQ(r["page"], 5);
    EXPECT_EQ(r["verified"], true);
    EXPECT_TRUE(r["window"].is_string());
    ASSERT_EQ(host->calls.size(), 2u);
    EXPECT_EQ(host->calls[0], "openFile " + doc + " @5");
    EXPECT_EQ(host->calls[1], "activate");

    json folder = call("/open", "path=" + home.path() + "/contracts");
    EXPECT_EQ(folder["kind"], "review");
    EXPECT_TRUE(folder["page"].is_null());
    EXPECT_EQ(host->calls[2], "openFolder " + home.path() + "/contracts");
}

TEST_F(BridgeTest, GotoClampsToTheDocumentAndFindsTheRightWindow) {
    addReader("w1", "/docs/ten.pdf", 10);
    addReader("w2", "/docs/three.pdf", 3);
    host->key = "w2";

    json r = call("/goto", "page=500&path=/docs/ten.pdf");
    EXPECT_EQ(r, (json{{"ok", true},
                       {"window", "w1"},
                       {"document", "/docs/ten.pdf"},
                       {"page", 10},
                       {"page_count", 10},
                       {"verified", true}}));
    EXPECT_EQ(host->calls.back(), "front w1");

    EXPECT_EQ(call("/goto", "page=0")["page"], 1);  // the key window, clamped at the start
    EXPECT_EQ(call("/goto", "page=2&window=w1")["window"], "w1");

    EXPECT_EQ(call("/goto", "page=two")["error"], "page (1-based integer) is required");
    EXPECT_EQ(call("/goto")["error"], "page (1-based integer) is required");
    EXPECT_EQ(call("/goto", "page=2&window=w9")["error"],
              "no matching open reader window — use /windows to see what is open, or /open first");
    EXPECT_EQ(call("/goto", "page=2&path=/docs/other.pdf")["ok"], false);

    host->windows[0].pageCount = 0;
    EXPECT_EQ(call("/goto", "page=2&window=w1")["error"],
              "the document is still opening — try again in a moment");
}

TEST_F(BridgeTest, AnnotationsComeFromTheLivePageThenTheSidecarThenTheFile) {
    std::string doc = makePdf("a.pdf", 3);
    json fromFile = call("/annotations", "path=" + doc);
    EXPECT_EQ(fromFile["source"], "file");
    EXPECT_EQ(fromFile["count"], 1);
    EXPECT_EQ(fromFile["annotations"][0], (json{{"page", 2},
                                                {"kind", "Highlight"},
                                                {"text", "the term"},
                                                {"note", "check this"},
                                                {"author", "Ana"}}));
    EXPECT_EQ(fromFile["markdown"], "# Annotations — doc\n");
    EXPECT_EQ(work->exported.back(), "PDF:3");

    std::string side = makePdf("sidecars/a-marked.pdf", 3);
    ASSERT_TRUE(writeFileAtomic(side, "PDF:3 marked").ok());
    host->sidecars[doc] = side;
    EXPECT_EQ(call("/annotations", "path=" + doc)["source"], "sidecar");
    EXPECT_EQ(work->exported.back(), "PDF:3 marked");

    auto& w = addReader("w1", doc, 3);
    w.serialized = base64Encode("PDF:3 live marks");
    host->current = doc;
    json live = call("/annotations");  // the current document
    EXPECT_EQ(live["source"], "live");
    EXPECT_EQ(live["path"], doc);
    EXPECT_EQ(work->exported.back(), "PDF:3 live marks");
    EXPECT_EQ(host->scripts.back(), "return await serializeB64();");

    host->windows[0].serialized = base64Encode("not a pdf");
    EXPECT_EQ(call("/annotations", "path=" + doc)["error"],
              "could not read a PDF for " + doc + " (source: live)");
}

TEST_F(BridgeTest, AnnotationsNeedAPdfOrASidecar) {
    EXPECT_EQ(call("/annotations")["error"], "path is required (no document is currently open)");
    std::string notes = home / "notes.docx";
    ASSERT_TRUE(writeFileAtomic(notes, "x").ok());
    EXPECT_EQ(
        call("/annotations", "path=" + notes)["error"],
        notes + " is not a PDF and has no Corvello markup sidecar — annotations are a PDF feature");
    EXPECT_EQ(call("/annotations", "path=" + home.path() + "/gone.pdf")["error"],
              "could not read a PDF for " + home.path() + "/gone.pdf (source: file)");
}

TEST_F(BridgeTest, SignAssistRunsTheScriptAndReadsItsState) {
    EXPECT_EQ(call("/signassist")["error"], "no reader window is open");
    auto& w = addReader("w1", "/docs/form.pdf", 2);
    w.signState = json(R"({"detecting":false,"fields":3})").dump();  // a JSON string
    host->key = "w1";
    json r = call("/signassist", "wait=0");
    EXPECT_EQ(r, (json{{"ok", true},
                       {"path", "/docs/form.pdf"},
                       {"state", {{"detecting", false}, {"fields", 3}}}}));
    EXPECT_EQ(host->scripts.back().rfind("const budget = 1 * 1000, t0 = Date.now();", 0), 0u);

    EXPECT_EQ(call("/signassist", "path=/docs/other.pdf")["error"],
              "no reader window is showing /docs/other.pdf");

    host->windows[0].signState = R"({"error":"assistant not loaded in this window"})";
    EXPECT_EQ(call("/signassist")["error"], "assistant not loaded in this window");
    host->windows[0].signState = "undefined";
    EXPECT_EQ(call("/signassist")["error"], "the assistant returned nothing readable");
    host->windows[0].scriptError = "ReferenceError: x is not defined (line 1, reader.html)";
    EXPECT_EQ(call("/signassist")["error"],
              "javascript failed: ReferenceError: x is not defined (line 1, reader.html)");
}

TEST(SignAssistWait, EmptyMeansThirtyAndValuesAreClamped) {
    EXPECT_EQ(AgentEndpoints::signAssistWait(""), 30);
    EXPECT_EQ(AgentEndpoints::signAssistWait("0"), 1);
    EXPECT_EQ(AgentEndpoints::signAssistWait("-5"), 1);
    EXPECT_EQ(AgentEndpoints::signAssistWait("45"), 45);
    EXPECT_EQ(AgentEndpoints::signAssistWait("999"), 120);
    EXPECT_NE(AgentEndpoints::signAssistScript(120).find("const budget = 120 * 1000"),
              std::string::npos);
}

TEST_F(BridgeTest, PageCommandsPreviewFirstAndRunOnlyByTheirId) {
    std::string doc = makePdf("ten.pdf", 10);
    json preview =
        call("/pagecmd", "path=" + doc + "&text=delete%20pages%202-3&current=4&selection=1,%203");
    EXPECT_EQ(preview["ok"], true);
    EXPECT_EQ(preview["kind"], "preview");
    EXPECT_EQ(preview["summary"], "Delete pages 2–3 of this document.");
    EXPECT_EQ(preview["detail"], "");
    ASSERT_TRUE(preview["id"].is_string());
    EXPECT_EQ(work->calls[0], "interpret delete pages 2-3 n=10 cur=4 sel=1;3;");

    json done = call("/pagecmd", "path=" + doc + "&id=" + preview["id"].get<std::string>());
    EXPECT_EQ(
        done,
        (json{{"ok", true}, {"kind", "done"}, {"outputs", {home.path() + "/ten (edited).pdf"}}}));
    EXPECT_TRUE(pathExists(home / "ten (edited).pdf"));

    json again = call("/pagecmd", "path=" + doc + "&id=" + preview["id"].get<std::string>());
    EXPECT_EQ(again, (json{{"ok", false},
                           {"error", "That preview has expired or was already used. Ask again."}}));
}

TEST_F(BridgeTest, PageCommandTextThatIsNoCommandAsksForACanonicalPhrase) {
    std::string doc = makePdf("ten.pdf", 10);
    json r = call("/pagecmd", "path=" + doc + "&text=make%20it%20nicer");
    EXPECT_EQ(r, (json{{"ok", true},
                       {"kind", "clarify"},
                       {"question", "Not a page command. Send one of the canonical phrases."},
                       {"options", work->canonicalPhrases()}}));
    json q = call("/pagecmd", "path=" + doc + "&text=rotate&current=99");
    EXPECT_EQ(q["kind"], "clarify");
    EXPECT_EQ(q["question"], "Rotate which pages?");
    EXPECT_EQ(work->calls[1],
              "interpret rotate n=10 cur=- sel=");  // a current page past the end is dropped
    json refuse = call("/pagecmd", "path=" + doc + "&text=delete%20everything");
    EXPECT_EQ(
        refuse,
        (json{{"ok", true}, {"kind", "refuse"}, {"message", "That would delete every page."}}));

    json fromCmd = call("/pagecmd", "path=" + doc + "&cmd=" + "%7B%22op%22%3A%22rotate%22%7D");
    EXPECT_EQ(fromCmd["kind"], "preview");
    EXPECT_EQ(call("/pagecmd", "path=" + doc + "&cmd=%5B1%5D")["error"],
              "cmd is not a valid page command");
    json tooFar = call("/pagecmd", "path=" + doc + "&cmd=" +
                                       "%7B%22op%22%3A%22delete%22%2C%22pages%22%3A%5B1%2C2%2C3%"
                                       "2C4%2C5%2C6%2C7%2C8%2C9%2C11%5D%7D");
    EXPECT_EQ(tooFar["kind"], "refuse");
}

TEST_F(BridgeTest, PageCommandsNeedAReadablePdf) {
    std::string text = home / "notes.txt";
    ASSERT_TRUE(writeFileAtomic(text, "PDF:3").ok());
    std::string broken = home / "broken.PDF";
    ASSERT_TRUE(writeFileAtomic(broken, "garbage").ok());
    EXPECT_EQ(call("/pagecmd", "text=delete%20pages%202-3")["error"],
              "path must be an existing .pdf");
    EXPECT_EQ(call("/pagecmd", "path=" + text + "&text=x")["error"],
              "path must be an existing .pdf");
    EXPECT_EQ(call("/pagecmd", "path=" + home.path() + "&text=x")["error"],
              "path must be an existing .pdf");
    EXPECT_EQ(call("/pagecmd", "path=" + broken + "&text=x")["error"],
              "Corvello couldn’t read this PDF");
    EXPECT_TRUE(work->calls.empty());
}

TEST_F(BridgeTest, CombineImagesChecksEveryPathFirst) {
    std::string a = home / "scan one.png";
    std::string b = home / "scan2.JPG";
    ASSERT_TRUE(writeFileAtomic(a, "png").ok());
    ASSERT_TRUE(writeFileAtomic(b, "jpg").ok());
    const std::string bad = "paths must be existing images, separated by |";
    EXPECT_EQ(call("/combineimages")["error"], bad);
    EXPECT_EQ(call("/combineimages", "paths=" + a + "%7C" + home.path() + "/missing.png")["error"],
              bad);
    std::string doc = makePdf("x.pdf", 1);
    EXPECT_EQ(call("/combineimages", "paths=" + doc)["error"], bad);
    EXPECT_TRUE(work->calls.empty());

    json r = call("/combineimages", "paths=" + home.path() + "/scan+one.png%7C" + b);
    EXPECT_EQ(r, (json{{"ok", true},
                       {"kind", "done"},
                       {"outputs", {home.path() + "/combined.pdf"}},
                       {"pages", 2}}));
    EXPECT_EQ(work->calls.back(), "combine " + a + ";" + b + ";");
}

TEST_F(BridgeTest, RequestsAfterTheApplicationHasGoneAreTurnedAway) {
    host.reset();
    EXPECT_EQ(call("/status"), (json{{"ok", false}, {"error", "app is shutting down"}}));
    EXPECT_EQ(call("/pagecmd", "path=/x.pdf&id=1")["error"], "app is shutting down");
}

}  // namespace
}  // namespace cvl::test
