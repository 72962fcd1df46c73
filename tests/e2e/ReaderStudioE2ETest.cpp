// The reader's document work in the real corvello: a highlight made on a text selection is
// kept in the annotated copy (the original's bytes untouched), shows again when the document
// is reopened and goes into "Save a Copy with Annotations…"; printing pages 2–3 to a PDF file
// gives those two pages; "Make Default" makes xdg-mime name Corvello for PDFs.
#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "memory/AnnotatedCopy.h"
#include "platform/Hashing.h"
#include "platform/TextEscape.h"
#include "platform/XdgTools.h"
#include "support/PdfTools.h"

namespace cvl {
namespace {

using namespace test;

#define NEED_DISPLAY() \
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)"

std::map<std::string, std::string> dialogs(const TempHome& home, const json& answers) {
    const std::string file = home / "dialogs.json";
    std::ofstream(file) << answers.dump();
    return {{"CVL_TEST_DIALOGS", file}};
}

// Every dictionary in qpdf's JSON view of the file whose /Subtype is `subtype`.
std::vector<json> qpdfObjectsOfSubtype(const std::string& pdf, const std::string& subtype) {
    std::vector<json> found;
    const json all = json::parse(runTool("qpdf", {"--json", pdf}).out, nullptr, false);
    std::function<void(const json&)> walk = [&](const json& j) {
        if (j.is_object()) {
            if (j.contains("/Subtype") && j["/Subtype"] == subtype) found.push_back(j);
            for (const auto& [key, value] : j.items()) walk(value);
        } else if (j.is_array()) {
            for (const auto& value : j) walk(value);
        }
    };
    walk(all);
    return found;
}

// Toasts the page shows are kept in window.__toasts; a script can wait for one.
const char* kToastRecorder = R"(
window.__toasts = [];
for (const name of ['__cvlToast', 'cvlToast']) {
  const shown = window[name];
  window[name] = (text, isError) => { window.__toasts.push(String(text)); return shown(text, isError); };
}
const toastWith = (part) => window.__toasts.find((t) => t.includes(part));
)";

TEST(ReaderStudio, AHighlightIsKeptOutsideTheOriginalShownOnReopeningAndSavedInACopy) {
    NEED_DISPLAY();
    const bool haveQpdf = XdgTools::findProgram("qpdf").has_value();
    TempHome home;
    const std::string doc = makePdf(home / "Lease.pdf", 3);
    const auto before = sha256HexOfFile(doc);
    ASSERT_TRUE(before.has_value());

    // Select the first line of page 1 and press Highlight, as a user would.
    json made = driveReader(home, doc, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
await waitFor(() => window.__cvlAnnotate && window.__cvlAnnotate.manager());
const span = await waitFor(() => [...document.querySelectorAll(
  '.page[data-page-number="1"] .textLayer span')].find((s) => s.textContent.includes('Page 1')));
if (!span) return { error: 'no text layer' };
const range = document.createRange();
range.selectNodeContents(span);
document.getSelection().removeAllRanges();
document.getSelection().addRange(range);
document.querySelector('#annotGrp button').click();
const saved = await waitFor(() => window.__cvlLastAutosave, 30000);
return { saved, editors: document.querySelectorAll('.highlightEditor').length };
)");
    ASSERT_TRUE(made.is_object()) << made.dump();
    EXPECT_EQ(made["editors"], 1);
    ASSERT_EQ(made["saved"]["ok"], true) << made.dump();
    EXPECT_EQ(sha256HexOfFile(doc), before);
    const auto copy = AnnotatedCopy::open(doc).copy;
    ASSERT_TRUE(copy.has_value());
    EXPECT_EQ(*copy, made["saved"]["path"]);

    // Reopened, the reader shows the copy with its highlight over the same words; its
    // annotated copy is then saved where the save dialog says.
    const std::string exported = home / "Lease for review.pdf";
    json reopened = driveReader(home, doc, std::string(kWaitHelper) + kToastRecorder + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
const page = await window.pdfViewer.pdfDocument.getPage(1);
const annotations = await page.getAnnotations();
const highlight = annotations.find((a) => a.subtype === 'Highlight');
if (!highlight) return { annotations: annotations.map((a) => a.subtype) };
// The share of the highlight's area painted in the highlighter's yellow on the page's canvas.
const view = window.pdfViewer.getPageView(0);
await waitFor(() => view.renderingState === 3 && view.canvas);
const [x0, y0, x1, y1] = view.viewport.convertToViewportRectangle(highlight.rect);
const s = view.canvas.width / view.viewport.width;
const px = view.canvas.getContext('2d').getImageData(Math.min(x0, x1) * s, Math.min(y0, y1) * s,
  Math.abs(x1 - x0) * s, Math.abs(y1 - y0) * s).data;
let yellow = 0;
for (let i = 0; i < px.length; i += 4) if (px[i] > 200 && px[i + 1] > 200 && px[i + 2] < 190) yellow++;
const opened = window.__cvlAnnotate.state().openedCopy;
window.__cvlStudio.rows.find((r) => r && r[0] === 'Save a Copy with Annotations…')[2]();
const toast = await waitFor(() => toastWith('Saved') || toastWith('Could not'), 30000);
return { annotations: annotations.map((a) => a.subtype), painted: yellow / (px.length / 4), opened, toast };
)",
                                "", false, dialogs(home, json{{"save", json::array({exported})}}));
    ASSERT_TRUE(reopened.is_object()) << reopened.dump();
    EXPECT_EQ(reopened["opened"], true);
    EXPECT_EQ(reopened["annotations"], json::array({"Highlight"}));
    EXPECT_GT(reopened.value("painted", 0.0), 0.3) << reopened.dump();
    EXPECT_EQ(reopened["toast"], "Saved “Lease for review.pdf”");
    EXPECT_EQ(sha256HexOfFile(doc), before);

    ASSERT_TRUE(isRegularFile(exported));
    EXPECT_EQ(popplerPageCount(exported), 3);
    EXPECT_NE(popplerText(exported, 3, 3).find("zebra"), std::string::npos);
    if (!haveQpdf) GTEST_SKIP() << "qpdf is not installed: the copy's annotation is not checked";
    const auto highlights = qpdfObjectsOfSubtype(exported, "/Highlight");
    ASSERT_EQ(highlights.size(), 1u) << runTool("qpdf", {"--json", exported}).out;
    // It lies over the words selected near the top of the page (792 points high).
    const json rect = highlights[0]["/Rect"];
    ASSERT_TRUE(rect.is_array() && rect.size() == 4) << highlights[0].dump();
    EXPECT_GT(rect[1].get<double>(), 600.0) << rect.dump();
    EXPECT_TRUE(qpdfObjectsOfSubtype(doc, "/Highlight").empty());
}

TEST(ReaderStudio, PrintingPagesTwoToThreeToAFileGivesThoseTwoPages) {
    NEED_DISPLAY();
    TempHome home;
    const std::string doc = makePdf(home / "Minutes.pdf", 4);
    const std::string out = home / "printed.pdf";
    // The print settings as the print dialog stores them (its page ranges count from 0).
    const std::string settings = home / "print.ini";
    std::ofstream(settings) << "[Print Settings]\n"
                               "output-uri=file://"
                            << out
                            << "\n"
                               "output-file-format=pdf\n"
                               "print-pages=ranges\n"
                               "page-ranges=1-2\n";
    json result = driveReader(home, doc, std::string(kWaitHelper) + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
window.__cvlStudio.print();
return await waitFor(() => window.__cvlLastPrint, 30000);
)",
                              "", false, {{"CVL_PRINT_SETTINGS", settings}});
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["printed"], true) << result.dump();
    EXPECT_EQ(result["file"], out);
    ASSERT_EQ(popplerPageCount(out), 2);
    const std::string first = popplerText(out, 1, 1), second = popplerText(out, 2, 2);
    EXPECT_NE(first.find("Page 2"), std::string::npos) << first;
    EXPECT_NE(second.find("Page 3"), std::string::npos) << second;
    EXPECT_NE(second.find("zebra"), std::string::npos) << second;
}

TEST(ReaderStudio, MakeDefaultMakesTheDesktopOpenPdfsWithCorvello) {
    NEED_DISPLAY();
    if (!XdgTools::findProgram("xdg-mime")) GTEST_SKIP() << "xdg-mime is not installed";
    TempHome home;
    const std::string doc = makePdf(home / "Notes.pdf", 1);
    // The desktop's configuration stays inside the test home, with no desktop environment
    // of its own to ask.
    std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", home / ".config"},
                                              {"XDG_DATA_HOME", home / ".local/share"},
                                              {"XDG_CURRENT_DESKTOP", ""},
                                              {"DESKTOP_SESSION", ""},
                                              {"KDE_FULL_SESSION", ""},
                                              {"GNOME_DESKTOP_SESSION_ID", ""}};
    auto queryDefault = [&] {
        ProcessSpec spec;
        spec.program = "xdg-mime";
        spec.args = {"query", "default", "application/pdf"};
        spec.env = env;
        spec.env["HOME"] = home.path();
        return trimWhitespace(runProcess(spec).out);
    };
    // Another viewer opens PDFs until then.
    ASSERT_TRUE(makeDirs(home / ".local/share/applications"));
    ASSERT_TRUE(makeDirs(home / ".config"));
    std::ofstream(home / ".local/share/applications/other-viewer.desktop")
        << "[Desktop Entry]\nType=Application\nName=Other Viewer\nExec=true %f\n"
           "MimeType=application/pdf;\n";
    std::ofstream(home / ".config/mimeapps.list")
        << "[Default Applications]\napplication/pdf=other-viewer.desktop\n";
    ASSERT_EQ(queryDefault(), "other-viewer.desktop");
    // The reader offers itself (a test launch does not ask on its own), and Make Default is
    // pressed on the offer.
    json result = driveReader(home, doc, std::string(kWaitHelper) + kToastRecorder + R"(
await waitFor(() => window.pdfViewer && window.pdfViewer.pagesCount);
const frame = document.createElement('iframe');
frame.style.display = 'none';
frame.src = 'qrtiz://defaultpdf';
document.body.appendChild(frame);
const offer = await waitFor(() => window.__cvlLastOffer);
const make = [...document.querySelectorAll('#defaultBar button')].find((b) => b.textContent === 'Make Default');
if (!make) return { offer };
make.click();
const toast = await waitFor(() => toastWith('Corvello'), 30000);
return { offer, toast };
)",
                              "", false, env);
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_EQ(result["offer"]["pdf"], false) << result.dump();
    EXPECT_EQ(result["toast"], "Corvello now opens PDFs") << result.dump();
    EXPECT_EQ(queryDefault(), "corvello.desktop");
    EXPECT_TRUE(isRegularFile(home / ".local/share/applications/corvello.desktop"));
}

}  // namespace
}  // namespace cvl
