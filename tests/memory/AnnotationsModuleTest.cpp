// The reader's annotated copy through its bridge module, with a fake window whose page hands
// over annotated PDFs: which copy a reader opens, autosaves that never touch the original and
// never overwrite another window's work, the copy set aside when the original changes, and the
// exports (a PDF qpdf reads back, Markdown notes) and images placed from disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <nlohmann/json.hpp>

#include "memory/AnnotatedCopy.h"
#include "memory/AnnotationSidecars.h"
#include "memory/AnnotationsModule.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/pdf/PdfAnnotations.h"
#include "support/AnnotatedPdf.h"
#include "support/ModuleFakes.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;
using nlohmann::json;

namespace {

// The document with one highlight over its first line, as the page's editor would save it.
std::string highlighted(const std::string& original, const std::string& note = "") {
    auto doc = PdfDocument::openBytes(original);
    EXPECT_TRUE(doc);
    PdfRect r = phraseRect(*doc, 0, "Page 1");
    EXPECT_TRUE(pdfAddAnnotation(*doc, 0, {"Highlight", r, {quadOf(r)}, note, ""}));
    return bytesOf(*doc);
}

std::vector<std::string> kindsIn(const std::string& path) {
    std::vector<std::string> kinds;
    auto doc = PdfDocument::openFile(path);
    if (!doc) return kinds;
    for (const auto& a : pdfAnnotations(*doc, 0)) kinds.push_back(a.kind);
    return kinds;
}

struct Reader {
    TempHome home;
    std::string doc = home / "Lease.pdf";
    std::string originalBytes;
    ModuleHarness h;
    AnnotationsModule module;

    Reader() {
        originalBytes = bytesOf(makeTextPdf(2));
        EXPECT_TRUE(writeFileAtomic(doc, originalBytes));
        h.window->state.pageKind = "reader";
        h.window->state.sourcePaths = {doc};
        h.window->state.shownPdf = doc;
        h.window->state.bridgeId = "w1";
    }
    void send(const std::string& url) { module.handle(h.request(url)); }
    json await(const std::string& function, size_t calls = 1) {
        EXPECT_TRUE(h.runUntil([&] { return h.window->callsOf(function).size() >= calls; }, 20000))
            << function;
        // The first argument of the last call.
        json args = json::parse("[" + h.window->lastArgs(function) + "]", nullptr, false);
        return args.is_array() && !args.empty() ? args[0] : json();
    }
    json source() {
        const size_t n = h.window->callsOf("cvlAnnotSource").size();
        send("qrtiz://annotsource");
        return await("cvlAnnotSource", n + 1);
    }
    // The page hands over `bytes` and asks for an autosave from `token` at `sig`.
    json autosave(const std::string& bytes, const std::string& token, const std::string& sig) {
        h.window->values = {{"__cvlAutosaveB64", base64Encode(bytes)}};
        const size_t n = h.window->callsOf("__cvlAutosaveB").size();
        send("qrtiz://autosaveannot?token=" + token + "&sig=" + sig +
             "&seq=" + std::to_string(n + 1));
        return await("__cvlAutosaveB", n + 1);
    }
};

}  // namespace

TEST(Annotations, AutosaveKeepsTheOriginalAndTheReaderReopensTheCopy) {
    Reader r;
    json first = r.source();
    EXPECT_EQ(first["copy"], "");
    EXPECT_EQ(first["token"], "");
    ASSERT_FALSE(first["signature"].get<std::string>().empty());

    json saved = r.autosave(highlighted(r.originalBytes), "", first["signature"]);
    ASSERT_TRUE(saved["ok"]) << saved.dump();
    EXPECT_FALSE(saved["setAside"]);
    EXPECT_EQ(saved["path"], annotSidecarPath(r.doc));
    EXPECT_EQ(*readFile(r.doc), r.originalBytes) << "the original's bytes are untouched";
    EXPECT_EQ(kindsIn(annotSidecarPath(r.doc)), std::vector<std::string>{"Highlight"});

    // Reopened: the copy is what the reader shows, and its token is what it must save from.
    json again = r.source();
    EXPECT_EQ(again["copy"], annotSidecarPath(r.doc));
    EXPECT_EQ(again["token"], saved["token"]);
    EXPECT_EQ(again["token"], sha256HexOfFile(annotSidecarPath(r.doc)).value());

    // A further save from that copy replaces it; one from the plain document (another window
    // that opened before the first save) is refused and changes nothing.
    json second =
        r.autosave(highlighted(r.originalBytes, "second"), again["token"], again["signature"]);
    ASSERT_TRUE(second["ok"]) << second.dump();
    const std::string kept = *readFile(annotSidecarPath(r.doc));
    json stale = r.autosave(highlighted(r.originalBytes, "other window"), "", again["signature"]);
    EXPECT_FALSE(stale["ok"]);
    EXPECT_EQ(stale["message"], AnnotatedCopy::kConflictMessage);
    EXPECT_EQ(*readFile(annotSidecarPath(r.doc)), kept);

    // Bytes that are no PDF are never saved.
    json junk = r.autosave("not a pdf", second["token"], again["signature"]);
    EXPECT_FALSE(junk["ok"]);
    EXPECT_EQ(*readFile(annotSidecarPath(r.doc)), kept);
}

TEST(Annotations, AChangedOriginalSetsTheOldCopyAside) {
    Reader r;
    json opened = r.source();
    ASSERT_TRUE(r.autosave(highlighted(r.originalBytes), "", opened["signature"])["ok"]);
    const std::string oldCopy = annotSidecarPath(r.doc);

    // Another program rewrites the original (new size, new time).
    ASSERT_TRUE(writeFileAtomic(r.doc, bytesOf(makeTextPdf(3))));
    utimbuf times{1700000000, 1700000000};
    ASSERT_EQ(::utime(r.doc.c_str(), &times), 0);
    json reopened = r.source();
    EXPECT_EQ(reopened["copy"], "");
    EXPECT_EQ(reopened["setAside"], json::array({oldCopy}));
    EXPECT_TRUE(isRegularFile(oldCopy)) << "set aside, not deleted";

    // A page still showing the earlier state saves into the earlier state's copy.
    json late =
        r.autosave(highlighted(r.originalBytes, "late"), opened["token"], opened["signature"]);
    ASSERT_TRUE(late["ok"]) << late.dump();
    EXPECT_TRUE(late["setAside"]);
    EXPECT_EQ(late["path"], oldCopy);
    EXPECT_FALSE(annotSidecarExists(r.doc));
}

TEST(Annotations, SaveACopyAndExportNotes) {
    Reader r;
    // Save a Copy with Annotations: the page's bytes go where the user says; qpdf lists the
    // highlight in the written file.
    const std::string annotated = highlighted(r.originalBytes, "check the rent");
    r.h.window->values = {{"__cvlAnnotB64", base64Encode(annotated)}};
    const std::string copy = r.home / "Lease (annotated).pdf";
    r.h.dialogs.saveAnswers = {copy};
    r.send("qrtiz://saveannot");
    ASSERT_TRUE(r.h.runUntil([&] { return r.h.window->sent("Saved"); }));
    ASSERT_EQ(r.h.dialogs.saves.size(), 1u);
    EXPECT_EQ(r.h.dialogs.saves[0].suggestedName, "Lease (annotated).pdf");
    EXPECT_EQ(r.h.dialogs.saves[0].folder, r.home.path());
    ProcessResult q = runTool("qpdf", {"--json", copy});
    ASSERT_TRUE(q.succeeded()) << q.err;
    EXPECT_NE(q.out.find("\"/Subtype\": \"/Highlight\""), std::string::npos);
    EXPECT_EQ(*readFile(r.doc), r.originalBytes);

    // Export Notes: Markdown with the note, in the file the user chose.
    const std::string md = r.home / "notes.md";
    r.h.dialogs.saveAnswers = {md};
    r.send("qrtiz://exportannots");
    r.await("cvlNotesToast");
    auto text = readFile(md);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("**Note:** check the rent"), std::string::npos) << *text;
    EXPECT_EQ(r.h.dialogs.saves.back().suggestedName, "Lease \u2014 annotations.md");

    // Nothing annotated: the page is told, no dialog appears.
    r.h.window->values = {{"__cvlAnnotB64", base64Encode(r.originalBytes)}};
    r.send("qrtiz://exportannots");
    EXPECT_EQ(r.await("cvlNotesToast", 2), "No annotations to export yet");
    EXPECT_EQ(r.h.dialogs.saves.size(), 2u);
}

TEST(Annotations, ImagesArePlacedFromChosenPicturesOnly) {
    Reader r;
    const std::string png = r.home / "stamp.png", txt = r.home / "notes.png";
    ASSERT_TRUE(writeFileAtomic(png, encodePng(photoBitmap(40, 30)).value()));
    ASSERT_TRUE(writeFileAtomic(txt, "just text"));
    r.h.dialogs.chooseAnswers = {{png}, {txt}, {}};
    r.send("qrtiz://editimage");
    json placed = r.await("cvlImageImportNative");
    EXPECT_EQ(placed["name"], "stamp.png");
    EXPECT_EQ(placed["type"], "image/png");
    EXPECT_EQ(base64Decode(placed["data"].get<std::string>()), readFile(png));
    EXPECT_EQ(r.h.dialogs.choices[0].extensions.front(), "png");

    r.send("qrtiz://editimage");
    ASSERT_TRUE(r.h.runUntil([&] { return r.h.window->sent("is not a picture"); }));
    r.send("qrtiz://editimage");  // cancelled: nothing
    r.h.drain();
    EXPECT_EQ(r.h.window->callsOf("cvlImageImportNative").size(), 1u);
}

TEST(Annotations, RenamedDocumentsKeepTheirCopies) {
    Reader r;
    json opened = r.source();
    ASSERT_TRUE(r.autosave(highlighted(r.originalBytes), "", opened["signature"])["ok"]);
    const std::string moved = r.home / "Lease final.pdf";
    ASSERT_EQ(std::rename(r.doc.c_str(), moved.c_str()), 0);
    AnnotatedCopy::follow(r.doc, moved);
    EXPECT_TRUE(annotSidecarExists(moved));
    EXPECT_EQ(kindsIn(annotSidecarPath(moved)), std::vector<std::string>{"Highlight"});
}
