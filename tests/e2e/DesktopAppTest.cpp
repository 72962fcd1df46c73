// The real corvello under a virtual display: the welcome screenshot, and a generated PDF
// opened in the reader and driven through the page's own controls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "E2ESupport.h"
#include "memory/DocLinks.h"
#include "operations/OcrFixtures.h"
#include "operations/OcrFlows.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/ProcessRunner.h"
#include "platform/UserDirs.h"
#include "platform/pdf/PdfDocument.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using json = nlohmann::json;
using namespace test;

TEST(WelcomeShot, WritesANonBlankPngOfTheAskedSize) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string out = home / "welcome.png";
    ProcessResult r = runCorvello(home, {"--welcome-shot", out, "--size", "1024x700", "--dark"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.rfind("OK " + out + " (", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("1024x700, content span "), std::string::npos) << r.out;
    auto png = readFile(out);
    ASSERT_TRUE(png);
    ASSERT_GT(png->size(), 24u);
    EXPECT_EQ(png->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>((*png)[at]) << 24) |
               (static_cast<unsigned char>((*png)[at + 1]) << 16) |
               (static_cast<unsigned char>((*png)[at + 2]) << 8) |
               static_cast<unsigned char>((*png)[at + 3]);
    };
    EXPECT_EQ(be32(16), 1024u);  // IHDR width
    EXPECT_EQ(be32(20), 700u);   // IHDR height
    // The welcome file was written into the working folder of this HOME.
    EXPECT_TRUE(isDirectory(home / "Vizazi Divavo rez Iviruzi"));
}

TEST(ReaderWindow, ShowsAGeneratedPdfWithItsPageCount) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string pdf = makePdf(home / "Three pages.pdf", 3);
    json result = driveReader(home, pdf, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
return { pages: window.pdfViewer.pagesCount, title: document.title,
         shown: document.querySelectorAll('.page canvas').length > 0 };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["pages"], 3);
    EXPECT_EQ(result["title"], "Three pages.pdf");
    EXPECT_EQ(result["shown"], true);
}

// The user's engine override folder supplies the reader page: it loads, reads its document
// through the PDF scheme and is trusted like the packaged page.
TEST(ReaderWindow, AReaderPageFromTheEngineOverrideFolderShowsTheDocument) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    namespace fs = std::filesystem;
    const std::string engine = std::string(CVL_SOURCE_RESOURCES) + "/engine";
    const std::string app = UserDirs::engineOverrideDir() + "/app";
    fs::create_directories(app + "/vendor");
    fs::copy(engine + "/vendor/pdfjs", app + "/vendor/pdfjs", fs::copy_options::recursive);
    fs::create_directory_symlink(engine + "/node_modules", app + "/node_modules");
    // Marks the copy, so the page can tell it was the one loaded.
    std::ofstream(app + "/vendor/pdfjs/reader-studio.js", std::ios::app)
        << "\nwindow.cvlFromOverride = true;\n";
    const std::string pdf = makePdf(home / "Two pages.pdf", 2);
    json result = driveReader(home, pdf, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
return { pages: window.pdfViewer.pagesCount, fromOverride: window.cvlFromOverride === true };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["pages"], 2);
    EXPECT_EQ(result["fromOverride"], true);
}

TEST(ReaderWindow, SearchFindsTheWordOnItsPageWithRectangles) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string pdf = makePdf(home / "Search me.pdf", 4);
    json result = driveReader(home, pdf, std::string(kWaitHelper) + R"(
// A search sent before the pages are laid out has nothing to scroll to yet.
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
window.__cvlReader.showSide('search');
window.__cvlReader.runSearch('zebra');
const res = await waitFor(() => window.__cvlLastReaderSearch);
const drawn = await waitFor(() => document.querySelectorAll('.cvlHit').length, 5000);
// Highlights can be drawn before the scroll to the hit has settled.
await waitFor(() => window.pdfViewer.currentPageNumber === 3, 10000);
return { res, drawn: drawn || 0, page: window.pdfViewer.currentPageNumber };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    const json& res = result["res"];
    ASSERT_EQ(res["hitCount"], 1) << res.dump();
    const json& hit = res["docs"][0]["hits"][0];
    EXPECT_EQ(hit["page"], 3);
    ASSERT_TRUE(hit.contains("rects"));
    ASSERT_FALSE(hit["rects"].empty());
    EXPECT_GT(hit["rects"][0]["w"].get<double>(), 0);
    EXPECT_GE(result["drawn"].get<int>(), 1);
    EXPECT_EQ(result["page"], 3);  // the reader went to the hit
}

TEST(ReaderWindow, ATypedDeleteIsPreviewedAndWritesANewFileBesideTheOriginal) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string pdf = makePdf(home / "Lease.pdf", 3);
    const auto before = sha256HexOfFile(pdf);
    json result = driveReader(home, pdf, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
window.__cvlReader.toggleCommandBar(true);
document.getElementById('cmdInput').value = 'delete page 2';
window.__cvlReader.sendCommand('delete page 2');
const preview = await waitFor(() => window.__cvlLastPageCmdReply);
if (!preview || preview.kind !== 'preview') return { preview };
const shown = document.getElementById('cmdReply').textContent;
window.__cvlReader.runPreview(preview.id);
const done = await waitFor(() => {
  const r = window.__cvlLastPageCmdReply;
  return r && r !== preview && r.kind !== 'preview' ? r : null;
});
return { preview, shown, done };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    const json& preview = result["preview"];
    ASSERT_EQ(preview["kind"], "preview") << preview.dump();
    EXPECT_NE(preview["summary"].get<std::string>().find("page 2"), std::string::npos);
    EXPECT_NE(result["shown"].get<std::string>().find("Confirm"), std::string::npos);
    const json& done = result["done"];
    ASSERT_EQ(done["kind"], "done") << done.dump();
    const std::string output = home / "Lease (1 page removed).pdf";
    EXPECT_EQ(done["outputs"], json::array({output}));
    auto written = PdfDocument::openFile(output);
    ASSERT_TRUE(written.ok()) << written.error();
    EXPECT_EQ(written->pageCount(), 2);
    EXPECT_EQ(written->pageText(1).value_or("").find("Page 3"), 0u);
    // The original is untouched.
    EXPECT_EQ(sha256HexOfFile(pdf), before);
    EXPECT_EQ(PdfDocument::openFile(pdf)->pageCount(), 3);
}

TEST(ReaderWindow, AReaderLinkOpensATabAndQuittingSavesBothTabs) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string first = makePdf(home / "First.pdf", 3);
    const std::string second = makePdf(home / "Second copy.pdf", 2);
    json result = driveReader(home, first,
                              std::string(kWaitHelper) + R"(
const f = document.createElement('iframe');
f.style.display = 'none';
f.src = 'qrtiz://reader?path=' + encodeURIComponent(')" +
                                  second + R"(') + '&page=2';
document.body.appendChild(f);
await new Promise((r) => setTimeout(r, 2500));
return true;
)");
    ASSERT_EQ(result, true);
    auto text = readFile(home / "Library/Application Support/Corvello/open-tabs.json");
    ASSERT_TRUE(text);
    json snapshot = json::parse(*text, nullptr, false);
    ASSERT_TRUE(snapshot.is_object()) << *text;
    EXPECT_EQ(snapshot["clean_quit"], true);
    const json& tabs = snapshot["tabs"];
    ASSERT_EQ(tabs.size(), 2u) << *text;
    EXPECT_EQ(tabs[0]["paths"], json::array({first}));
    EXPECT_EQ(tabs[1]["paths"], json::array({second}));
    EXPECT_EQ(tabs[0]["kind"], "reader");
    EXPECT_EQ(tabs[0]["group"], tabs[1]["group"]);  // tabs of one window
    EXPECT_EQ(tabs[1]["selected"], true);
    EXPECT_EQ(tabs[1]["title"], "Second copy.pdf");
}

TEST(ReaderWindow, ListsItsLinksShowsAPassageAndLinksASelection) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string lease = makePdf(home / "Lease.pdf", 3);
    const std::string amendment = makePdf(home / "Amendment.pdf", 2);
    LinkSession seed;
    seed.begin(
        parseLinkEndpoint(
            json{{"path", lease}, {"page", 2}, {"text", "Ordinary terms and conditions."}}.dump()),
        "Lease.pdf");
    ASSERT_TRUE(seed.finish(
        parseLinkEndpoint(json{{"path", amendment}, {"page", 1}, {"text", "Page 1"}}.dump())));
    const std::string seeded = loadLinks().at(0).id;

    json result = driveReader(home, lease,
                              std::string(kWaitHelper) + R"(
const $ = (id) => document.getElementById(id);
await waitFor(() => window.__cvlLastLinks && $('linksList').querySelector('li[data-id]'));
const listed = [...$('linksList').querySelectorAll('li[data-id]')].map((li) => li.textContent);
// A followed link focuses this document's end: the panel opens and the passage is marked.
cvlLinks(Object.assign({}, window.__cvlLastLinks, { focus: { id: ')" +
                                  seeded + R"(', end: 'a' } }));
const flash = await waitFor(() => window.__cvlLastFlash, 10000);
await new Promise((r) => setTimeout(r, 300));
const focused = { page: window.pdfViewer.currentPageNumber, panel: !$('linksPane').hidden,
                  marked: $('linksList').querySelector('li.on').dataset.id };
// Select a passage on page 1, start a link, then link a second passage to it.
const select = async (part) => {
  const span = await waitFor(() => [...document.querySelectorAll('.page[data-page-number="1"] .textLayer span')]
    .find((s) => s.textContent.includes(part)));
  const range = document.createRange();
  range.selectNodeContents(span);
  getSelection().removeAllRanges();
  getSelection().addRange(range);
  return waitFor(() => window.__cvlLinkEndpoint && JSON.parse(window.__cvlLinkEndpoint).text.includes(part) && window.__cvlLinkEndpoint, 5000);
};
$('viewerContainer').scrollTop = 0;
const first = await select('Page 1');
window.__cvlReader.linkSelection();
const bar = await waitFor(() => !$('linkbar').hidden && $('linkbar').textContent, 10000);
await select('Ordinary');
window.__cvlReader.linkSelection();
const reloaded = await waitFor(() => window.__cvlLastLinks.links.length === 2 && window.__cvlLastLinks, 10000);
return { listed, flash, focused, first: JSON.parse(first), bar, barAfter: $('linkbar').hidden, reloaded: !!reloaded };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    ASSERT_EQ(result["listed"].size(), 1u) << result.dump();
    const std::string row = result["listed"][0];
    EXPECT_NE(row.find("Amendment.pdf · page 1"), std::string::npos) << row;
    EXPECT_NE(row.find("Here: page 2"), std::string::npos) << row;
    EXPECT_EQ(result["flash"]["page"], 2) << result.dump();
    EXPECT_EQ(result["focused"], (json{{"page", 2}, {"panel", true}, {"marked", seeded}}));
    EXPECT_EQ(result["first"], (json{{"path", lease}, {"page", 1}, {"text", "Page 1"}}));
    EXPECT_NE(result["bar"].get<std::string>().find("Linking from Lease.pdf"), std::string::npos);
    EXPECT_EQ(result["barAfter"], true);
    EXPECT_EQ(result["reloaded"], true);

    auto links = loadLinks();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].id, seeded);
    EXPECT_EQ(links[1].a.path, lease);
    EXPECT_EQ(links[1].a.text, "Page 1");
    EXPECT_EQ(links[1].b.page, 1);
    EXPECT_EQ(links[1].b.text.rfind("Ordinary terms", 0), 0u) << links[1].b.text;
}

// A Word document with a page break: two pages once converted.
std::string makeDocx(const std::string& path) {
    ProcessSpec spec;
    spec.program = "/usr/bin/python3";
    spec.args = {"-c", R"PY(
import sys, zipfile
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
p = lambda t: '<w:p><w:r><w:t>%s</w:t></w:r></w:p>' % t
body = p('Statement of work') + '<w:p><w:r><w:br w:type="page"/></w:r></w:p>' + p('Page two')
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr('word/document.xml', '<w:document %s><w:body>%s</w:body></w:document>' % (W, body))
)PY",
                 path};
    EXPECT_EQ(runProcess(spec).exitStatus, 0);
    return path;
}

TEST(ReaderWindow, AWordDocumentIsConvertedAndShownWithItsOriginal) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string docx = makeDocx(home / "Statement.docx");
    const auto before = sha256HexOfFile(docx);
    json result = driveReader(home, docx, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
const edit = await waitFor(() => window.__cvlEditState, 10000);
const q = new URLSearchParams(location.search);
return { pages: window.pdfViewer.pagesCount, orig: q.get('orig'), pdf: q.get('pdf'),
         title: document.title, edit };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["pages"], 2);
    EXPECT_EQ(result["orig"], docx);
    const std::string pdf = result["pdf"];
    EXPECT_EQ(pdf.rfind(home / "Vizazi Divavo rez Iviruzi/.converted/", 0), 0u) << pdf;
    EXPECT_EQ(result["title"], "Statement.docx");
    EXPECT_EQ(result["edit"]["editable"], false);
    EXPECT_FALSE(result["edit"]["why"].empty());
    // The document's folder holds only what the test put there.
    EXPECT_EQ(sha256HexOfFile(docx), before);
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(home.path()))
        if (e.path().extension() == ".docx" || e.path().extension() == ".pdf") ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(ReaderWindow, APageCommandOnAWordDocumentWritesBesideIt) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string docx = makeDocx(home / "Statement.docx");
    json result = driveReader(home, docx, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
window.__cvlReader.sendCommand('delete page 2');
const preview = await waitFor(() => window.__cvlLastPageCmdReply);
if (!preview || preview.kind !== 'preview') return { preview };
window.__cvlReader.runPreview(preview.id);
const done = await waitFor(() => {
  const r = window.__cvlLastPageCmdReply;
  return r && r !== preview ? r : null;
});
return { preview, done, said: document.getElementById('cmdReply').textContent };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    const std::string out = home / "Statement (1 page removed).pdf";
    ASSERT_EQ(result["preview"]["kind"], "preview") << result.dump();
    EXPECT_EQ(result["preview"]["outputs"], json::array({out}));
    ASSERT_EQ(result["done"]["kind"], "done") << result.dump();
    EXPECT_NE(result["said"].get<std::string>().find("beside \u201cStatement.docx\u201d"),
              std::string::npos)
        << result["said"];
    auto written = PdfDocument::openFile(out);
    ASSERT_TRUE(written.ok()) << written.error();
    EXPECT_EQ(written->pageCount(), 1);
    // Nothing new in the hidden conversion cache but the copy and its record.
    int cached = 0;
    for (auto& e :
         std::filesystem::directory_iterator(home / "Vizazi Divavo rez Iviruzi/.converted"))
        cached += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(cached, 2);
}

// What a page in a reader can read: its own document and the program's own files; not another
// PDF, not any other file on disk.
TEST(ReaderWindow, ThePageReadsOnlyItsDocumentAndTheProgramsOwnFiles) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string mine = makePdf(home / "Mine.pdf", 2);
    const std::string other = makePdf(home / "Other.pdf", 1);
    const std::string secret = home / "secret.txt";
    ASSERT_TRUE(writeFileAtomic(secret, "token").ok());
    json result = driveReader(home, mine,
                              std::string(kWaitHelper) + "const MINE = " + json(mine).dump() +
                                  ", OTHER = " + json(other).dump() +
                                  ", SECRET = " + json(secret).dump() + ";" + R"(
const read = async (u) => {
  try { const r = await fetch(u); return r.ok ? (await r.arrayBuffer()).byteLength : 'refused'; }
  catch (e) { return 'refused'; }
};
// Local files through a request, as a page's script would try.
const get = (u) => new Promise((r) => {
  const x = new XMLHttpRequest();
  x.onload = () => r(x.responseText.length); x.onerror = () => r('refused');
  try { x.open('GET', u); x.send(); } catch (e) { r('refused'); }
});
const draw = (u) => new Promise((r) => {
  const i = new Image(); i.onload = () => r('drawn'); i.onerror = () => r('refused'); i.src = u;
});
return {
  own: await read('vtpdf://doc?p=' + encodeURIComponent(MINE)),
  ownPage: await draw('vtpage://p?w=50&p=' + encodeURIComponent(MINE)),
  other: await read('vtpdf://doc?p=' + encodeURIComponent(OTHER)),
  otherPage: await draw('vtpage://p?w=50&p=' + encodeURIComponent(OTHER)),
  secret: await get('file://' + SECRET),
  engine: await get(new URL('reader.js', location.href).href),
};
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    ASSERT_TRUE(result["own"].is_number() && result["engine"].is_number()) << result.dump();
    EXPECT_GT(result["own"].get<int>(), 100);
    EXPECT_EQ(result["ownPage"], "drawn");
    EXPECT_EQ(result["other"], "refused");
    EXPECT_EQ(result["otherPage"], "refused");
    EXPECT_EQ(result["secret"], "refused");
    EXPECT_GT(result["engine"].get<int>(), 1000);
}

// Locked and damaged PDFs, each opened in the reader as a user would open it.
TEST(ReaderWindow, AsksForThePasswordOfALockedPdfAndNamesWhyAFileCannotOpen) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string plain = makePdf(home / "Plain.pdf", 2);
    const std::string locked = home / "Locked.pdf";
    ProcessSpec qpdf;
    qpdf.program = "/usr/bin/qpdf";
    qpdf.args = {"--encrypt", "secret", "owner", "256", "--", plain, locked};
    ASSERT_EQ(runProcess(qpdf).exitStatus, 0);
    json result = driveReader(home, locked, std::string(kWaitHelper) + R"(
const asked = await waitFor(() => window.__cvlOpenState === 'password' && !document.getElementById('pwDialog').hidden);
const prompt = document.getElementById('pwText').textContent;
window.__cvlPassword.submit('wrong');
const wrong = await waitFor(() => document.getElementById('pwError').textContent);
window.__cvlPassword.submit('secret');
await waitFor(() => window.__cvlOpenState === 'open' && window.pdfViewer.pagesCount);
return { asked: !!asked, prompt, wrong, pages: window.pdfViewer.pagesCount };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["asked"], true);
    EXPECT_NE(result["prompt"].get<std::string>().find("\u201cLocked.pdf\u201d is protected"),
              std::string::npos);
    EXPECT_EQ(result["wrong"], "That password is not right. Try again.");
    EXPECT_EQ(result["pages"], 2);

    test::TempHome other;
    const std::string damaged = other / "Damaged.pdf";
    ASSERT_TRUE(writeFileAtomic(damaged, "%PDF-1.7\nthis is not a PDF body at all\n").ok());
    result = driveReader(other, damaged, std::string(kWaitHelper) + R"(
await waitFor(() => window.__cvlOpenState === 'failed');
const page = document.getElementById('openFailed');
return { failed: page.hidden ? '' : page.textContent, reason: window.__cvlOpenFailure };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    const std::string failed = result["failed"];
    EXPECT_NE(failed.find("This file could not be opened"), std::string::npos) << failed;
    EXPECT_NE(failed.find("Damaged.pdf"), std::string::npos) << failed;
    EXPECT_NE(failed.find("damaged"), std::string::npos) << failed;
}

TEST(ReaderWindow, ThePagesKeepTheKeyboardAndTheZoomMenuShowsThePercentage) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string pdf = makePdf(home / "Six pages.pdf", 6);
    json result = driveReader(home, pdf, std::string(kWaitHelper) + R"(
const $ = (id) => document.getElementById(id);
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
const pages = $('viewerContainer');
const key = (k) => document.activeElement.dispatchEvent(
  new KeyboardEvent('keydown', { key: k, bubbles: true, cancelable: true }));
const focusedAtOpen = document.activeElement === pages;
$('btnNext').click();
const focusedAfterButton = document.activeElement === pages;
key('End');
const atEnd = await waitFor(() => window.pdfViewer.currentPageNumber === 6, 5000);
key('Home');
const atHome = await waitFor(() => window.pdfViewer.currentPageNumber === 1 && pages.scrollTop === 0, 5000);
key('PageDown');
const movedOn = await waitFor(() => pages.scrollTop > 0, 5000);
window.__cvlReader.toggleCommandBar(true);
window.__cvlReader.toggleCommandBar(false);
const focusedAfterBar = document.activeElement === pages;
$('btnIn').click();
await waitFor(() => $('zoomSel').value === 'custom', 5000);
const zoom = $('zoomSel').selectedOptions[0].textContent;
return { focusedAtOpen, focusedAfterButton, atEnd: !!atEnd, atHome: !!atHome,
         movedOn: !!movedOn, focusedAfterBar, zoom,
         scale: Math.round(window.pdfViewer.currentScale * 100) + '%' };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["focusedAtOpen"], true);
    EXPECT_EQ(result["focusedAfterButton"], true);
    EXPECT_EQ(result["atEnd"], true);
    EXPECT_EQ(result["atHome"], true);
    EXPECT_EQ(result["movedOn"], true);
    EXPECT_EQ(result["focusedAfterBar"], true);
    EXPECT_EQ(result["zoom"], result["scale"]);
}

TEST(GridWindow, ACsvFileOpensAsASheetThatFilters) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string csv = home / "Payments.csv";
    std::ofstream(csv) << "name,amount,memo\n\"Smith, John\",12.50,rent\nDoe,3,deposit\n";
    const char* shot = std::getenv("CVL_GRID_SNAPSHOT");  // a picture for the README
    json result = driveReader(home, csv, std::string(kWaitHelper) + R"(
const data = await waitFor(() => window.__cvlGridData);
const cells = () => [...document.querySelectorAll('#grid tbody tr')].map(
    (tr) => [...tr.querySelectorAll('td')].map((td) => td.textContent));
const all = cells();
const header = [...document.querySelectorAll('#grid thead tr.hdr th')].map((th) => th.textContent);
const amount = document.querySelector('#grid tbody tr td:nth-of-type(2)').className;
window.__cvlGrid.filter('deposit');
return { all, header, amount, filtered: cells(), title: document.title };
)",
                              shot ? shot : "", true);
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["header"], json({"1", "name", "amount", "memo"}));
    EXPECT_EQ(result["all"], json({{"Smith, John", "12.50", "rent"}, {"Doe", "3", "deposit"}}));
    EXPECT_EQ(result["amount"], "num");  // numbers are right-aligned
    EXPECT_EQ(result["filtered"], json::array({json::array({"Doe", "3", "deposit"})}));
    EXPECT_EQ(result["title"], "Payments.csv");
}

TEST(ReviewWindow, AFolderShowsItsDocumentsAndSearchesThem) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string folder = home / "Matter";
    makeDirs(folder + "/Exhibits");
    makePdf(folder + "/Agreement.pdf", 3);
    makePdf(folder + "/Exhibits/Exhibit A.pdf", 2);  // no page 3: no "zebra"
    std::ofstream(folder + "/notes.txt") << "call the client";
    const auto before = sha256HexOfFile(folder + "/Agreement.pdf");
    json result = driveReader(home, folder, std::string(kWaitHelper) + R"(
const rows = [...document.querySelectorAll('tr.doc td.nm')].map((td) => td.textContent).sort();
document.getElementById('q').value = 'zebra';
document.getElementById('q').dispatchEvent(new Event('input'));
const res = await waitFor(() => window.__cvlLastSearch, 30000);
return { rows, res };
)",
                              "", true);
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["rows"], json({"Agreement.pdf", "Exhibit A.pdf", "notes.txt"}));
    const json& res = result["res"];
    ASSERT_EQ(res["docCount"], 1) << res.dump();
    EXPECT_EQ(res["docs"][0]["name"], "Agreement.pdf");
    EXPECT_EQ(res["docs"][0]["hits"][0]["page"], 3);
    // Reviewing and searching wrote nothing into the folder.
    EXPECT_EQ(sha256HexOfFile(folder + "/Agreement.pdf"), before);
    int entries = 0;
    for (auto& e : std::filesystem::recursive_directory_iterator(folder)) (void)e, ++entries;
    EXPECT_EQ(entries, 4);
}

TEST(HistoryWindow, ListsTheHistoryAndAnswersItsOperations) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    makeDirs(home / "Docs");
    const std::string lease = makePdf(home / "Docs/Lease <draft>.pdf", 2);
    const std::string brief = makePdf(home / "Docs/Brief.pdf", 3);
    const std::string support = home / "Library/Application Support/Corvello";
    makeDirs(support);
    const double now = static_cast<double>(std::time(nullptr));
    json rows = json::array();
    for (const auto& [path, age] : {std::pair{lease, 60.0}, std::pair{brief, 7200.0}})
        rows.push_back({{"path", path},
                        {"dir", false},
                        {"size", 1000},
                        {"mode", "open"},
                        {"first", now - age},
                        {"last", now - age},
                        {"n", 2}});
    ASSERT_TRUE(writeFileAtomic(support + "/history.json",
                                json{{"v", 1}, {"trimmed", 0}, {"rows", rows}}.dump()));

    const std::string scriptFile = home / "drive.js";
    const std::string outFile = home / "drive-out.json";
    std::ofstream(scriptFile) << kWaitHelper << R"(
const names = () => [...document.querySelectorAll('#items .item .nm b')].map((b) => b.textContent);
await waitFor(() => names().length);
const listed = names();
document.querySelector('#items .item .acts button').click();  // favourite the first row
const fav = await waitFor(() => window.__cvlHistoryPage.rows.find((r) => r.fav));
document.querySelector('#layout [data-l=grid]').click();
const cover = await waitFor(() => {
  const img = document.querySelector('#items .cover img');
  return img && img.complete && img.naturalWidth > 0 ? img.naturalWidth : 0;
}, 20000);
const q = document.getElementById('q');
q.value = 'brief';
q.dispatchEvent(new Event('input'));
return { listed, fav: fav && fav.path, cover: cover || 0, filtered: names() };
)";
    ProcessResult r = runCorvello(home, {},
                                  {{"CVL_TEST_DRIVE", scriptFile},
                                   {"CVL_TEST_DRIVE_OUT", outFile},
                                   {"CVL_TEST_DRIVE_ON", "history"}});
    EXPECT_FALSE(r.timedOut) << r.err;
    auto text = readFile(outFile);
    ASSERT_TRUE(text) << "the history page never ran the script; stderr:\n" << r.err;
    json result = json::parse(*text, nullptr, false);
    ASSERT_TRUE(result.is_object()) << *text;
    // Most recently opened first, names shown as text.
    EXPECT_EQ(result["listed"], json({"Lease <draft>.pdf", "Brief.pdf"}));
    EXPECT_EQ(result["fav"], lease);
    EXPECT_GT(result["cover"].get<int>(), 0) << "the cover image loaded from the covers folder";
    EXPECT_EQ(result["filtered"], json({"Brief.pdf"}));
    // The favourite reached the store's file.
    auto favs = readFile(support + "/favorites.json");
    ASSERT_TRUE(favs);
    EXPECT_EQ(json::parse(*favs, nullptr, false), json::array({lease}));
}

// On a slow machine the first window can come after the application's first second; the
// application waits for it instead of ending at once without a window.
TEST(DesktopStart, ASlowFirstWindowStillStartsTheApplication) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string scriptFile = home / "drive.js";
    const std::string outFile = home / "drive-out.json";
    std::ofstream(scriptFile) << "return { page: document.title.length > 0 };";
    ProcessResult r = runCorvello(home, {},
                                  {{"CVL_TEST_DRIVE", scriptFile},
                                   {"CVL_TEST_DRIVE_OUT", outFile},
                                   {"CVL_TEST_DRIVE_ON", "welcome"},
                                   {"CVL_TEST_FIRST_WINDOW_DELAY_MS", "2500"}});
    EXPECT_FALSE(r.timedOut) << r.err;
    auto text = readFile(outFile);
    ASSERT_TRUE(text) << "the application ended before its first window; exit " << r.exitStatus;
    EXPECT_EQ(json::parse(*text, nullptr, false), json({{"page", true}}));
}

TEST(ReaderWindow, ReadsAPageAloudReportingEachWordInOrderThenDone) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string pdf = makePdf(home / "Read me.pdf", 2);
    json result =
        driveReader(home, pdf, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount && window.__cvlVoiceAI);
await waitFor(() => document.querySelector('.textLayer span'));
window.__cvlVoiceAI.start(1, false);
// Stop before the reader goes on to page 2.
await waitFor(() => window.__cvlSpeakLog.some((e) => e[0] === 'done'), 30000);
const log = window.__cvlSpeakLog.slice();
window.__cvlVoiceAI.stopSpeech();
return { log, text: window.__cvlSpeakText };
)",
                    "", false,
                    // Paced silently: no sound in tests, words still at the pace of speech.
                    {{"CVL_SPEECH_OUTPUT", "clock"}});
    ASSERT_TRUE(result.is_object()) << result.dump();
    const std::string text = result["text"];
    EXPECT_NE(text.find("Ordinary terms"), std::string::npos) << text;
    std::vector<std::string> words;
    std::size_t lastLoc = 0;
    bool done = false;
    for (const auto& e : result["log"]) {
        if (e[0] == "range") {
            EXPECT_FALSE(done) << "a word after the end";
            EXPECT_EQ(e[3], 1);
            const std::size_t loc = e[1];
            EXPECT_GE(loc, lastLoc);
            lastLoc = loc;
            words.push_back(text.substr(loc, e[2].get<std::size_t>()));  // ASCII text
        } else if (e[0] == "done") {
            EXPECT_EQ(e[1], 1);
            done = true;
        }
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(words,
              (std::vector<std::string>{"Page", "1", "Ordinary", "terms", "and", "conditions"}));
}

TEST(ReaderWindow, RecognisedTextIsLaidOverAScanSelectableAndFoundBySearch) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string pdf = home / "Scan.pdf";
    ASSERT_TRUE(test::scanOf(test::textPages({{"Harbour dues for the quarter", "Pilotage fees"}}))
                    .saveToFile(pdf)
                    .ok());
    // The host's answer to "Make searchable", handed to the page as the host would.
    const std::string answer = OcrFlows::textLayerAnswer(pdf, {}).dump();
    json result = driveReader(home, pdf, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount && window.__cvlOcr);
window.cvlScanInfo({ scanned: true, textLayer: false, noTextPages: [1] });
const offered = !document.getElementById('cvlOcrBar').hidden;
window.cvlSearchableLayer()" + answer + R"();
const spans = await waitFor(() => { const s = document.querySelectorAll('.cvlOcrLayer span'); return s.length ? [...s] : null; });
const range = document.createRange();
range.setStartBefore(spans[0]);
range.setEndAfter(spans[spans.length - 1]);
getSelection().removeAllRanges();
getSelection().addRange(range);
const selected = getSelection().toString();
// The reader's own search: the host finds nothing in the scan, the recognised layer does.
window.__cvlReader.runSearch('pilotage');
const hit = await waitFor(() => document.querySelector('.cvlHit'));
const line = spans[1].getBoundingClientRect(), box = hit.getBoundingClientRect();
return { offered, selected, hits: document.querySelectorAll('#searchHits li').length,
         sameLine: Math.abs((box.top + box.bottom) / 2 - (line.top + line.bottom) / 2) < line.height / 2 };
)");
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["offered"], true) << result.dump();
    EXPECT_EQ(result["selected"], "Harbour dues for the quarter\nPilotage fees");
    EXPECT_EQ(result["hits"], 1);
    EXPECT_EQ(result["sameLine"], true);
}

}  // namespace
}  // namespace cvl
