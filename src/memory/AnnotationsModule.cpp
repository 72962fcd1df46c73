#include "memory/AnnotationsModule.h"

#include <nlohmann/json.hpp>

#include "memory/AnnotatedCopy.h"
#include "memory/AnnotationExport.h"
#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfDocument.h"
#include "updates/CvlLiveWork.h"
#include "window/PageScript.h"

namespace cvl {

using nlohmann::json;

namespace {

std::string dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string stem(const std::string& path) {
    std::string name = lastPathComponent(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

// The document a reader's annotations belong to: the file it stands for.
std::optional<std::string> annotatedDocument(const BridgeRequest& request) {
    if (!request.window.isReader() || request.window.original().empty()) return std::nullopt;
    return request.window.original();
}

}  // namespace

namespace AnnotationsPage {

std::string annotatedCopyName(const std::string& docPath) {
    return stem(docPath) + " (annotated).pdf";
}

std::string imageType(const std::string& b) {
    auto starts = [&b](std::string_view magic, size_t at = 0) {
        return b.size() >= at + magic.size() && b.compare(at, magic.size(), magic) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n")) return "image/png";
    if (starts("\xff\xd8\xff")) return "image/jpeg";
    if (starts("GIF87a") || starts("GIF89a")) return "image/gif";
    if (starts("RIFF") && starts("WEBP", 8)) return "image/webp";
    if (starts("BM")) return "image/bmp";
    const std::string head = b.substr(0, 512);
    if (head.find("<svg") != std::string::npos) return "image/svg+xml";
    return "";
}

}  // namespace AnnotationsPage

std::vector<std::string> AnnotationsModule::operations() const {
    return {"annotsource", "autosaveannot", "saveannot", "exportannots", "editimage"};
}

void AnnotationsModule::handle(const BridgeRequest& request) {
    if (request.op == "annotsource")
        source(request);
    else if (request.op == "autosaveannot")
        autosave(request);
    else if (request.op == "saveannot")
        saveCopy(request);
    else if (request.op == "exportannots")
        exportNotes(request);
    else if (request.op == "editimage")
        importImage(request);
}

void AnnotationsModule::source(const BridgeRequest& request) {
    auto doc = annotatedDocument(request);
    if (!doc) return;
    WindowHandle page = request.page;
    const long long gen = request.window.loadGen;
    Dispatch::global().async([page, doc = *doc, gen] {
        const AnnotatedCopy::Opening o = AnnotatedCopy::open(doc);
        json reply{{"doc", doc},
                   {"copy", o.copy.value_or("")},
                   {"token", o.token},
                   {"signature", o.signature},
                   {"setAside", o.setAside},
                   {"gen", gen}};
        page.call("cvlAnnotSource", dump(reply));
    });
}

void AnnotationsModule::autosave(const BridgeRequest& request) {
    auto doc = annotatedDocument(request);
    if (!doc) return;
    WindowHandle page = request.page;
    const std::string token = request.arg("token").value_or("");
    const std::string signature = request.arg("sig").value_or("");
    const std::string seq = request.arg("seq").value_or("0");
    // The edits count as unsaved until the reply is made (or dropped with a closed window).
    auto unsaved = std::make_shared<LiveWorkMark>(LiveWorkMark::Kind::UnsavedEdits);
    auto reply = [page, seq, unsaved](json r) {
        r["seq"] = seq;
        page.call("__cvlAutosaveB", dump(r));
    };
    page.read(AnnotationsPage::kAutosaveBytes, [reply, doc = *doc, token,
                                                signature](std::optional<std::string> b64) {
        auto bytes = b64 ? base64Decode(*b64) : std::nullopt;
        if (!bytes || bytes->empty())
            return reply(json{{"ok", false}, {"message", kAnnotExportUnreadable}});
        Dispatch::global().async([reply, doc, bytes = std::move(*bytes), token, signature] {
            auto saved = AnnotatedCopy::save(doc, bytes, token, signature);
            if (!saved) return reply(json{{"ok", false}, {"message", saved.error()}});
            reply(json{{"ok", true},
                       {"token", saved->token},
                       {"setAside", saved->setAside},
                       {"path", saved->path}});
        });
    });
}

void AnnotationsModule::saveCopy(const BridgeRequest& request) {
    auto doc = annotatedDocument(request);
    if (!doc) return;
    WindowHandle page = request.page;
    Dialogs& dialogs = request.dialogs;
    page.read(kAnnotationBytesQuery, [page, &dialogs, doc = *doc](std::optional<std::string> b64) {
        auto bytes = b64 ? base64Decode(*b64) : std::nullopt;
        if (!bytes || bytes->empty()) return page.toast(kAnnotExportUnreadable);
        auto parsed = PdfDocument::openBytes(*bytes);
        if (!parsed || parsed->pageCount() < 1) return page.toast(kAnnotExportUnreadable);
        SaveChoice choice;
        choice.title = "Save a Copy with Annotations";
        choice.prompt = "Save";
        choice.suggestedName = AnnotationsPage::annotatedCopyName(doc);
        choice.folder = parentPath(doc);
        choice.extensions = {"pdf"};
        dialogs.save(choice, [page, doc, bytes = std::move(*bytes)](std::optional<std::string> to) {
            if (!to) return;
            if (*to == doc) {
                page.toast("Choose another name: the original stays as it is.");
                return;
            }
            Dispatch::global().async([page, to = *to, bytes] {
                auto written = writeFileAtomic(to, bytes);
                page.toast(written ? "Saved “" + lastPathComponent(to) + "”"
                                   : "Could not save the copy: " + written.error());
            });
        });
    });
}

void AnnotationsModule::exportNotes(const BridgeRequest& request) {
    auto doc = annotatedDocument(request);
    if (!doc) return;
    WindowHandle page = request.page;
    Dialogs& dialogs = request.dialogs;
    auto notesToast = [page](const std::string& text, bool isError) {
        page.call("cvlNotesToast", PageScript::quote(text) + (isError ? ",true" : ",false"));
    };
    // The Markdown is built on the main thread, while the asking window (and its dialogs)
    // is known to be there: reading the marked passages takes a moment even for long files.
    page.read(
        kAnnotationBytesQuery, [notesToast, &dialogs, doc = *doc](std::optional<std::string> b64) {
            if (!b64) return notesToast(kAnnotExportUnreadable, false);
            auto markdown = annotationExportFromPage(*b64, doc);
            if (!markdown) return notesToast(markdown.error(), false);
            SaveChoice choice;
            choice.title = "Export Notes";
            choice.prompt = "Export";
            choice.suggestedName = annotationExportFileName(doc);
            choice.folder = parentPath(doc);
            choice.extensions = {"md"};
            dialogs.save(choice, [notesToast, text = *markdown](std::optional<std::string> to) {
                if (!to) return;
                auto written = writeAnnotationExport(*to, text);
                notesToast(written ? "Exported the notes to “" + lastPathComponent(*to) + "”"
                                   : "Could not export the notes: " + written.error(),
                           !written);
            });
        });
}

void AnnotationsModule::importImage(const BridgeRequest& request) {
    if (!request.window.isReader()) return;
    WindowHandle page = request.page;
    FileChoice choice;
    choice.title = "Add an Image";
    choice.message = "Choose a picture to place on the page.";
    choice.prompt = "Add";
    choice.extensions = {"png", "jpg", "jpeg", "gif", "webp", "bmp", "svg"};
    request.dialogs.choose(choice, [page](std::vector<std::string> chosen) {
        if (chosen.empty()) return;
        Dispatch::global().async([page, path = chosen[0]] {
            auto bytes = readFile(path, AnnotationsPage::kMaxImageBytes);
            if (!bytes) {
                page.toast(unreadableReason(path, AnnotationsPage::kMaxImageBytes) == "too large"
                               ? "That picture is too large to place (40 MB at most)."
                               : readFailureMessage(path));
                return;
            }
            const std::string type = AnnotationsPage::imageType(*bytes);
            if (type.empty()) {
                page.toast("“" + lastPathComponent(path) +
                           "” is not a picture the reader can place.");
                return;
            }
            page.call("cvlImageImportNative", dump(json{{"name", lastPathComponent(path)},
                                                        {"type", type},
                                                        {"data", base64Encode(*bytes)}}));
        });
    });
}

}  // namespace cvl
