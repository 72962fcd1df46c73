#include "operations/FormModule.h"

#include "operations/FormFields.h"
#include "operations/LoadStamp.h"
#include "operations/OperationPaths.h"
#include "operations/SignedFields.h"
#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/pdf/PdfForms.h"
#include "window/ConfirmChange.h"
#include "window/PageScript.h"

namespace cvl {

namespace {

std::string quoted(const std::string& name) {
    return "\u201c" + name + "\u201d";
}

std::string savedText(int count) {
    if (count == 0) return "Saved the form";
    return "Saved " + std::to_string(count) + " field" + (count == 1 ? "" : "s");
}

}  // namespace

void FormModule::handle(const BridgeRequest& request) {
    if (request.op == "forminfo") formInfo(request);
    if (request.op == "fillform") fillForm(request);
}

void FormModule::formInfo(const BridgeRequest& request) {
    const std::string path = request.window.shownFile();
    if (path.empty()) return;
    // The reader asks as soon as a document is shown: that is the load this stamp stands for.
    const std::string original = request.window.original();
    if (isPdfPath(original))
        LoadStamps::shared().stampIfNew(windowKey(request.window), original,
                                        request.window.loadGen);
    WindowHandle page = request.page;
    Dispatch::global().async([page, path] {
        FormSummary summary;
        std::string signedJson = "[]";
        if (auto doc = PdfDocument::openFile(path); doc && !doc->isLocked()) {
            summary = summarise(formFields(*doc));
            signedJson = SignedFields::toJson(SignedFields::rects(*doc));
        }
        page.call("cvlFormInfo", formSummaryJson(summary));
        page.call("cvlSignedSignatures", signedJson);
    });
}

void FormModule::fillForm(const BridgeRequest& request) {
    std::string path = request.path().value_or(request.window.original());
    if (path.empty() || !isRegularFile(path)) return;
    if (!isPdfPath(path)) {
        cvlLog("fillform: %s is not a PDF; nothing saved", lastPathComponent(path).c_str());
        return;
    }
    const std::string key = windowKey(request.window);
    const long long gen = request.window.loadGen;
    WindowHandle page = request.page;
    Dialogs* dialogs = &request.dialogs;
    AppActions* app = &request.app;
    page.read("window.__cvlFilledB64 || ''", [=](std::optional<std::string> value) {
        std::optional<std::string> bytes;
        if (value && !value->empty()) bytes = base64Decode(*value);
        if (!bytes || bytes->empty() || !PdfDocument::openBytes(*bytes)) {
            page.run(PageScript::cvlToast("Could not read the filled form", true));
            return;
        }
        PdfDocument filled = PdfDocument::openBytes(*bytes).value();
        // The viewer may have left the drawing of some values to the next viewer (a font
        // without the characters, or NeedAppearances): draw them now, so the values show
        // wherever the file is opened.
        const int drawn = pdfFormNeedsAppearances(filled) ? pdfRefreshFormAppearances(filled)
                                                          : pdfDrawMissingAppearances(filled);
        if (drawn > 0)
            if (auto redrawn = filled.save()) bytes = std::move(redrawn);
        const int count = filledCount(filled);
        const std::string name = lastPathComponent(path);
        okToOverwriteInPlace(key, path, *dialogs, [=](bool ok) {
            if (!ok) {
                page.run(PageScript::cvlToast(
                    "Save canceled: " + quoted(name) + " is newer on disk", true));
                return;
            }
            ConfirmSheet sheet;
            sheet.title = "Save your entries to " + quoted(name) + "?";
            sheet.message =
                "This writes the filled-in fields into the saved file. Choose Save a copy to keep "
                "a separate blank original.";
            sheet.verb = "Save";
            ConfirmChange::ask(*dialogs, *app, "fillform", sheet, [=] {
                Dispatch::global().async([=] {
                    Status written = writeFileAtomic(path, *bytes);
                    Dispatch::main().async([=] {
                        if (!written) {
                            cvlLog("fillform: cannot write %s: %s", name.c_str(),
                                   written.error().c_str());
                            page.run(
                                PageScript::cvlToast("Couldn\u2019t save " + quoted(name), true));
                            return;
                        }
                        LoadStamps::shared().stampLoadedFile(key, path, gen);
                        page.run(PageScript::cvlToast(savedText(count), false));
                    });
                });
            });
        });
    });
}

}  // namespace cvl
