// The real corvello with its dialogs answered from a file (CVL_TEST_DIALOGS): an open PDF that
// changes on disk keeps its earlier bytes in the version store and restoring brings them back;
// "merge" asks for the other PDF with a "Merge" chooser and writes the merged file; pages
// selected in the reader are what "delete the selected pages" removes.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "E2ESupport.h"
#include "memory/VersionStore.h"
#include "platform/Hashing.h"

namespace cvl {
namespace {

using namespace test;

// What an independent tool says: qpdf's page count, pdftotext's text of one page.
int pagesOf(const std::string& pdf) {
    ProcessSpec spec;
    spec.program = "/usr/bin/qpdf";
    spec.args = {"--show-npages", pdf};
    ProcessResult r = runProcess(spec);
    return r.exitStatus == 0 ? std::atoi(r.out.c_str()) : -1;
}

std::string textOf(const std::string& pdf, int page) {
    ProcessSpec spec;
    spec.program = "/usr/bin/pdftotext";
    spec.args = {"-f", std::to_string(page), "-l", std::to_string(page), pdf, "-"};
    return runProcess(spec).out;
}

// The dialogs the application asked, one JSON object per line.
std::vector<json> askedDialogs(const std::string& answers) {
    std::vector<json> out;
    std::ifstream in(answers + ".log");
    for (std::string line; std::getline(in, line);)
        out.push_back(json::parse(line, nullptr, false));
    return out;
}

std::map<std::string, std::string> dialogs(const TempHome& home, const json& answers) {
    const std::string file = home / "dialogs.json";
    std::ofstream(file) << answers.dump();
    return {{"CVL_TEST_DIALOGS", file}};
}

TEST(ReaderOperations, AChangedPdfKeepsItsEarlierBytesAndRestoringBringsThemBack) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    TempHome home;
    const std::string doc = makePdf(home / "Lease.pdf", 2);
    const auto opened = readFile(doc);
    const std::string changed = makePdf(home / "Lease v2.pdf", 3);
    // Once the open document is in the version store, another program rewrites it.
    std::atomic<bool> stop{false};
    std::thread editor([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!stop && std::chrono::steady_clock::now() < end) {
            if (!listVersionSnapshots(doc).empty()) {
                std::filesystem::rename(changed, doc);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    // The script follows the reader through its reloads (window.name outlives them): the first
    // load, the refresh after the change (where it asks for the earliest version), and the
    // reload after the restore.
    json result = driveReader(
        home, doc, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
const gen = Number(new URLSearchParams(location.search).get('gen'));
if (gen === 1) return null;
if (!window.name.startsWith('changed:')) {
  window.name = 'changed:' + window.pdfViewer.pagesCount;
  document.getElementById('btnVersions').click();
  return null;
}
return { changed: Number(window.name.slice(8)), restored: window.pdfViewer.pagesCount };
)",
        "", false,
        dialogs(home, json{{"menu", json::array({-1})}, {"confirm", json::array({"verb"})}}));
    stop = true;
    editor.join();
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["changed"], 3);   // the reader refreshed to the changed file
    EXPECT_EQ(result["restored"], 2);  // and shows the restored one
    EXPECT_EQ(readFile(doc), opened);
    EXPECT_EQ(pagesOf(doc), 2);
    // Both states are kept: the one it was opened in and the one it was changed to.
    std::vector<int> kept;
    for (const auto& s : listVersionSnapshots(doc)) kept.push_back(pagesOf(s.path));
    EXPECT_NE(std::find(kept.begin(), kept.end(), 2), kept.end());
    EXPECT_NE(std::find(kept.begin(), kept.end(), 3), kept.end());
    const auto asked = askedDialogs(home / "dialogs.json");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0]["title"], "Restore previous version");
    EXPECT_EQ(asked[1]["title"], "Restore this version?");
}

TEST(ReaderOperations, MergeTypedInTheCommandBarAsksForTheOtherPdfAndWritesTheMergedFile) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    TempHome home;
    const std::string report = makePdf(home / "Report.pdf", 3);
    const std::string annex = makePdf(home / "Annex.pdf", 2);
    json result = driveReader(home, report, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
window.__cvlReader.toggleCommandBar(true);
window.__cvlReader.sendCommand('merge');
const preview = await waitFor(() => window.__cvlLastPageCmdReply);
if (!preview || preview.kind !== 'preview') return { preview };
window.__cvlReader.runPreview(preview.id);
const done = await waitFor(() => {
  const r = window.__cvlLastPageCmdReply;
  return r && r.kind !== 'preview' ? r : null;
});
return { preview, done };
)",
                              "", false,
                              dialogs(home, json{{"choose", json::array({json::array({annex})})}}));
    ASSERT_TRUE(result.is_object()) << result.dump();
    ASSERT_EQ(result["preview"]["kind"], "preview") << result.dump();
    EXPECT_NE(result["preview"]["summary"].get<std::string>().find("Annex.pdf"), std::string::npos);
    ASSERT_EQ(result["done"]["kind"], "done") << result.dump();
    const std::string merged = home / "Report (merged).pdf";
    EXPECT_EQ(result["done"]["outputs"], json::array({merged}));
    EXPECT_EQ(pagesOf(merged), 5);
    EXPECT_NE(textOf(merged, 4).find("Page 1"), std::string::npos);  // the annex follows
    const auto asked = askedDialogs(home / "dialogs.json");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0]["kind"], "choose");
    EXPECT_EQ(asked[0]["prompt"], "Merge");
    EXPECT_EQ(pagesOf(report), 3);  // the original is untouched
}

TEST(ReaderOperations, DeleteTheSelectedPagesRemovesThePagesSelectedInTheReader) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    TempHome home;
    const std::string doc = makePdf(home / "Minutes.pdf", 4);
    const auto before = sha256HexOfFile(doc);
    json result = driveReader(home, doc, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
window.__cvlReader.showSide('pages');
const thumb = (n) => document.querySelector('#thumbs figure[data-page="' + n + '"]');
await waitFor(() => thumb(4));
thumb(2).dispatchEvent(new MouseEvent('click', { bubbles: true }));
thumb(4).dispatchEvent(new MouseEvent('click', { bubbles: true, ctrlKey: true }));
const selected = window.__cvlReader.selectionList();
window.__cvlReader.toggleCommandBar(true);
window.__cvlReader.sendCommand('delete the selected pages');
const preview = await waitFor(() => window.__cvlLastPageCmdReply);
if (!preview || preview.kind !== 'preview') return { selected, preview };
window.__cvlReader.runPreview(preview.id);
const done = await waitFor(() => {
  const r = window.__cvlLastPageCmdReply;
  return r && r.kind !== 'preview' ? r : null;
});
return { selected, preview, done, status: document.getElementById('statusInfo').textContent };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["selected"], json({2, 4}));
    EXPECT_NE(result["status"].get<std::string>().find("2 selected"), std::string::npos);
    ASSERT_EQ(result["preview"]["kind"], "preview") << result.dump();
    EXPECT_EQ(result["preview"]["summary"],
              "Remove pages 2 and 4 (2 of 4). The new PDF has 2 pages.");
    ASSERT_EQ(result["done"]["kind"], "done") << result.dump();
    const std::string out = result["done"]["outputs"][0];
    EXPECT_EQ(pagesOf(out), 2);
    EXPECT_NE(textOf(out, 1).find("Page 1"), std::string::npos);
    EXPECT_NE(textOf(out, 2).find("Page 3"), std::string::npos);
    EXPECT_EQ(sha256HexOfFile(doc), before);
}

}  // namespace
}  // namespace cvl
