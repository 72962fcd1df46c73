// The OCR operations of pages through the bridge module: what each page function receives.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "OcrFixtures.h"
#include "operations/OcrModule.h"
#include "platform/TextEscape.h"
#include "search/OcrCache.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"

namespace cvl::test {
namespace {

using nlohmann::json;

// The JSON argument of a guarded call of `function`.
json argumentOf(const std::string& script, const std::string& function) {
    auto from = script.find(function + "(") + function.size() + 1;
    std::string arg = script.substr(from, script.rfind(")}catch") - from);
    return json::parse(arg, nullptr, false);
}

class OcrModuleTest : public ::testing::Test {
  protected:
    TempHome home;
    ModuleHarness h;
    OcrModule module;
    std::string scan = home / "docs/Scan 1.pdf";

    void SetUp() override {
        std::filesystem::create_directories(home / "docs");
        PdfDocument doc = scanOf(textPages({{"Quarterly report", "Harbour fees rose"}}));
        doc.insertPagesFrom(scanOf(textPages({{"Second page", "Harbour master"}})), 1);
        ASSERT_TRUE(writePdf(doc, scan));
        h.window->state.pageKind = "reader";
        h.window->state.sourcePaths = {scan};
        h.window->state.shownPdf = scan;
    }
    void send(const std::string& url) { module.handle(h.request(url)); }
    std::vector<json> calls(const std::string& function) {
        std::vector<json> out;
        for (const auto& s : h.window->callsOf(function)) out.push_back(argumentOf(s, function));
        return out;
    }
    bool waitFor(const std::string& function) {
        return h.runUntil([&] { return !h.window->callsOf(function).empty(); }, 60000);
    }
};

TEST_F(OcrModuleTest, ReaderOcrFillsTheCacheThenSearchesTheDocument) {
    send("qrtiz://readerocr?q=harbour");
    ASSERT_TRUE(waitFor("cvlReaderSearchResults"));
    auto progress = h.window->callsOf("cvlReaderOCRProgress");
    ASSERT_GE(progress.size(), 2u);
    EXPECT_NE(progress.front().find("({done:0,total:1})"), std::string::npos);
    EXPECT_NE(progress.back().find("({done:1,total:1})"), std::string::npos);
    json result = calls("cvlReaderSearchResults")[0];
    EXPECT_EQ(result["hitCount"], 2);
    EXPECT_EQ(result["ocrUsed"], 1);
    auto cached = OcrCache::ocrCacheRead(scan);
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->size(), 2u);

    // A document the window does not show is not touched.
    h.window->scripts.clear();
    send("qrtiz://readerocr?path=" + percentEncode(home / "docs/other.pdf"));
    h.drain();
    EXPECT_TRUE(h.window->scripts.empty());
}

TEST_F(OcrModuleTest, CancellingTheTextLayerAnswersWithThePagesDoneSoFar) {
    send("qrtiz://readerocrlayer");
    ASSERT_TRUE(waitFor("cvlSearchableProgress"));
    send("qrtiz://readerocrlayer?cancel=1");
    ASSERT_TRUE(waitFor("cvlSearchableLayer"));
    json answer = calls("cvlSearchableLayer")[0];
    EXPECT_TRUE(answer["cancelled"]);
    EXPECT_LT(answer["pages"].size(), 2u);
    EXPECT_EQ(calls("cvlSearchableProgress")[0], json::parse(R"({"done":0,"total":2,"page":1})"));

    // A full build: both pages, each line where the page shows it.
    h.window->scripts.clear();
    send("qrtiz://readerocrlayer");
    ASSERT_TRUE(waitFor("cvlSearchableLayer"));
    answer = calls("cvlSearchableLayer")[0];
    EXPECT_FALSE(answer["cancelled"]);
    ASSERT_EQ(answer["pages"].size(), 2u);
    EXPECT_EQ(answer["pages"][1]["items"][1]["str"], "Harbour master");

    h.window->state.sourcePaths = {home / "docs/moved.pdf"};
    h.window->state.shownPdf.clear();
    h.window->scripts.clear();
    send("qrtiz://readerocrlayer");
    h.drain();
    EXPECT_EQ(calls("cvlSearchableLayer"),
              std::vector<json>{json::parse(R"({"pages":[],"reason":"missing"})")});
}

TEST_F(OcrModuleTest, DocumentsFoundWithoutTextAreRecognisedAndSearchedAgain) {
    h.window->state.pageKind = "review";
    h.window->state.sourcePaths = {home / "docs"};
    json paths = {scan, home / "docs/notes.txt", home / "elsewhere/x.pdf"};
    send("qrtiz://ocr?q=harbour&paths=" + percentEncode(paths.dump()));
    ASSERT_TRUE(waitFor("cvlSearchResults"));
    json done = calls("cvlOCRDone")[0];
    EXPECT_EQ(done["total"], 1);  // only the PDF inside the window's folders
    json last = calls("cvlOCRProgress").back();
    EXPECT_EQ(last, (json{{"done", 1}, {"total", 1}, {"name", "Scan 1.pdf"}}));
    json result = calls("cvlSearchResults")[0];
    EXPECT_EQ(result["docs"][0]["path"], scan);
    EXPECT_EQ(result["scannedNoText"], json::array());
}

TEST_F(OcrModuleTest, ScanInfoAndAreaMessagesAnswerTheirPageFunctions) {
    send("qrtiz://scaninfo");
    ASSERT_TRUE(waitFor("cvlScanInfo"));
    json info = calls("cvlScanInfo")[0];
    EXPECT_TRUE(info["scanned"]);
    EXPECT_EQ(info["noTextPages"], json::array({1, 2}));

    module.handleMessage(h.message("saocr", R"({"action":"saocr","token":"t7","pages":[2]})"));
    ASSERT_TRUE(waitFor("cvlSignAreaText"));
    json area = calls("cvlSignAreaText")[0];
    EXPECT_EQ(area["token"], "t7");
    EXPECT_EQ(area["pages"][0]["text"], "Second page\nHarbour master");
}

}  // namespace
}  // namespace cvl::test
