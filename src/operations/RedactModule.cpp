#include "operations/RedactModule.h"

#include <nlohmann/json.hpp>

#include "app/EngineLocator.h"
#include "operations/LoadStamp.h"
#include "operations/OperationPaths.h"
#include "operations/RedactedCopy.h"
#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "window/ConfirmChange.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {

using nlohmann::json;

namespace {

void redactToast(const WindowHandle& page, const std::string& text) {
    page.call("cvlRedactToast", PageScript::quote(text));
}

}  // namespace

std::string RedactModule::pageAddress(const std::string& pdf, bool dark) {
    ReaderAddressInputs in;
    in.readerPage = EngineLocator::redactHTMLPath();
    in.pdf = pdf;
    in.orig = pdf;
    in.darkScheme = dark;
    return ReaderAddress::build(in);
}

void RedactModule::handle(const BridgeRequest& request) {
    if (request.op == "redactsave") {
        build(request);
        return;
    }
    if (request.op == "redactcurrent") {
        const std::string pdf = request.window.original();
        if (!isPdfPath(pdf) || !isRegularFile(pdf)) {
            request.page.toast("Only PDF documents can be redacted.");
            return;
        }
        open(request, pdf);
        return;
    }
    // "redact": the given PDF, else one the user picks.
    if (auto path = request.path(); path && isRegularFile(*path) && isPdfPath(*path)) {
        open(request, *path);
        return;
    }
    FileChoice choice;
    choice.title = "Choose a PDF to redact";
    choice.prompt = "Redact";
    choice.extensions = {"pdf"};
    AppActions* app = &request.app;
    request.dialogs.choose(choice, [app](std::vector<std::string> paths) {
        if (paths.empty()) return;
        app->recordRecent(paths[0]);
        app->openToolPage(pageAddress(paths[0], app->darkScheme()), "redact", {paths[0]});
    });
}

void RedactModule::open(const BridgeRequest& request, const std::string& pdf) {
    request.app.openToolPage(pageAddress(pdf, request.app.darkScheme()), "redact", {pdf});
}

void RedactModule::build(const BridgeRequest& request) {
    const std::string source = request.window.original();
    auto boxesArg = request.arg("boxes");
    if (!boxesArg) {
        // The page already holds a current copy: save it.
        int n = 0;
        if (auto given = request.arg("n")) n = std::atoi(given->c_str());
        redactSave(request, std::max(0, n));
        return;
    }
    WindowHandle page = request.page;
    auto regions = parseRedactRegions(*boxesArg);
    if (!regions) {
        redactToast(page, regions.error());
        return;
    }
    if (source.empty() || !isRegularFile(source)) {
        redactToast(page, "The document is no longer where it was opened from.");
        return;
    }
    const bool preview = request.flag("preview");
    RedactOptions options;
    options.searchable = request.flag("searchable");
    const std::string key = windowKey(request.window);
    long long gen = 0;
    {
        std::lock_guard guard(lock_);
        gen = ++builds_[key];
    }
    auto current = [this, key, gen] {
        std::lock_guard guard(lock_);
        return builds_[key] == gen;
    };
    options.progress = [page, current](int done, int total) {
        if (!current()) return false;
        page.call("cvlRedactProgress", json{{"done", done}, {"total", total}}.dump());
        return true;
    };
    // The rest of the request is needed on the main queue after the work.
    BridgeRequest later = request;
    Dispatch::global().async([=, regions = std::move(regions.value())] {
        auto copy = buildRedactedCopy(source, regions, options);
        Dispatch::main().async([=] {
            if (!current()) return;  // a newer build took over
            if (!copy) {
                page.call("cvlRedactBuilt", json{{"error", copy.error()}}.dump());
                redactToast(page, copy.error());
                return;
            }
            json built{{"out", base64Encode(copy->bytes)},
                       {"audit", copy->auditJson},
                       {"pages", copy->pages},
                       {"regions", copy->regions},
                       {"textLines", copy->textLines},
                       {"preview", preview}};
            page.call("cvlRedactBuilt", built.dump());
            if (!preview) redactSave(later, copy->regions);
        });
    });
}

void RedactModule::redactSave(const BridgeRequest& request, int regions) {
    const std::string source = request.window.original();
    WindowHandle page = request.page;
    Dialogs* dialogs = &request.dialogs;
    AppActions* app = &request.app;
    page.read("window.__cvlRedactOut || ''", [=](std::optional<std::string> out) {
        std::optional<std::string> bytes;
        if (out && !out->empty()) bytes = base64Decode(*out);
        if (!bytes || bytes->empty()) {
            redactToast(page, "Could not read the redacted document.");
            return;
        }
        page.read("window.__cvlRedactAudit || ''", [=](std::optional<std::string> audit) {
            const std::string stem = fileStem(source);
            const std::string suggested = redactedFileName(source);
            auto chooseAndWrite = [=] {
                SaveChoice choice;
                choice.title = "Save the redacted copy";
                choice.prompt = "Save";
                choice.suggestedName = suggested;
                choice.folder = source.empty() ? std::string() : parentPath(source);
                choice.extensions = {"pdf"};
                dialogs->save(choice, [=](std::optional<std::string> target) {
                    if (!target) {
                        redactToast(page, "Save canceled: your marks are still here.");
                        return;
                    }
                    if (*target == source) {
                        redactToast(page,
                                    "Corvello never replaces the original: choose another name.");
                        return;
                    }
                    Status written = writeFileAtomic(*target, *bytes);
                    if (!written) {
                        cvlLog("redact: cannot write %s: %s", target->c_str(),
                               written.error().c_str());
                        redactToast(page, "Couldn\u2019t save \u201c" + lastPathComponent(*target) +
                                              "\u201d: " + written.error());
                        return;
                    }
                    Status audited = writeRedactAudit(*target, source, regions, audit.value_or(""));
                    if (!audited)
                        cvlLog("redact: cannot write the audit record for %s: %s", target->c_str(),
                               audited.error().c_str());
                    app->revealInFileManager({*target});
                    redactToast(
                        page,
                        regions == 0
                            ? std::string("Saved. Metadata stripped (no regions were marked).")
                            : "Saved. Text under the " + std::to_string(regions) + " box" +
                                  (regions == 1 ? "" : "es") +
                                  " is gone and metadata is stripped.");
                });
            };
            ConfirmSheet sheet;
            sheet.title = "Save \u201c" + (stem.empty() ? std::string("Document") : stem) +
                          " (redacted).pdf\u201d?";
            sheet.message =
                "Corvello saves a FLATTENED copy: the text under every box is removed (not just "
                "covered) and the document\u2019s metadata is stripped. The pages become images, "
                "so nothing under the redactions can be recovered. Your original file is "
                "untouched.";
            sheet.verb = "Save Redacted Copy";
            ConfirmChange::ask(*dialogs, *app, "redact", sheet, chooseAndWrite, [page] {
                redactToast(page, "Nothing was saved \u2014 your marks are still here.");
            });
        });
    });
}

}  // namespace cvl
