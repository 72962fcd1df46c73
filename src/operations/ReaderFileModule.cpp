#include "operations/ReaderFileModule.h"

#include <nlohmann/json.hpp>

#include "memory/AnnotatedCopy.h"
#include "memory/FileStamp.h"
#include "operations/DocumentInfo.h"
#include "operations/ReaderFileOps.h"
#include "pagecmd/PageCommandFlow.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/XdgTools.h"
#include "platform/pdf/PdfDocument.h"
#include "window/ConfirmChange.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {

using nlohmann::json;

namespace {

std::string dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string named(const std::string& path) {
    return "“" + lastPathComponent(path) + "”";
}

const char* const kWordTypes[] = {"docx", "doc", "rtf", "odt", "txt", "md", "markdown"};

}  // namespace

namespace ReaderFiles {

std::optional<std::string> target(const WindowSnapshot& window,
                                  const std::optional<std::string>& path) {
    std::string chosen;
    if (path && !path->empty()) {
        if (!window.holds(*path)) return std::nullopt;
        chosen = *path;
    } else {
        chosen = window.original();
    }
    if (chosen.empty() || !isRegularFile(chosen)) return std::nullopt;
    return chosen;
}

WordProcessorChoice wordProcessorFor(const std::string& path,
                                     const std::optional<std::string>& defaultDesktopId,
                                     const std::optional<std::string>& libreOffice) {
    WordProcessorChoice c;
    const std::string ext = lowerExtension(path);
    bool wordType = false;
    for (const char* t : kWordTypes) wordType = wordType || ext == t;
    const bool otherDefault =
        defaultDesktopId && defaultDesktopId->find("corvello") == std::string::npos;
    if (ext == "pdf") {
        if (libreOffice) {
            c.how = WordProcessorChoice::How::program;
            c.program = *libreOffice;
            c.args = {"--infilter=writer_pdf_import", "--writer", path};
        } else {
            c.message =
                "Opening a PDF in a word processor needs LibreOffice Writer (the "
                "Debian package libreoffice-writer).";
        }
        return c;
    }
    if (otherDefault) {
        c.how = WordProcessorChoice::How::defaultApp;
        return c;
    }
    if (wordType && libreOffice) {
        c.how = WordProcessorChoice::How::program;
        c.program = *libreOffice;
        c.args = {"--writer", path};
        return c;
    }
    c.message = wordType ? "No word processor is installed. Install LibreOffice Writer (the "
                           "Debian package libreoffice-writer) to edit " +
                               named(path) + "."
                         : "No other application is set up to open " + named(path) + ".";
    return c;
}

}  // namespace ReaderFiles

std::vector<std::string> ReaderFileModule::operations() const {
    return {"getinfo",      "readerrename", "copyfile", "duplicatefile",
            "compressfile", "reveal",       "share",    "openinword"};
}

void ReaderFileModule::handle(const BridgeRequest& request) {
    const std::string& op = request.op;
    if (op == "readerrename") return rename(request);
    if (op == "openinword") return openInWordProcessor(request);
    auto path = ReaderFiles::target(request.window, request.path());
    if (!path) {
        if (request.path()) request.page.toast("That file is not one of this window’s documents.");
        return;
    }
    if (op == "getinfo") {
        info(request, *path);
    } else if (op == "copyfile") {
        request.app.setClipboardFiles({*path});
        request.page.toast("Copied " + named(*path) + ": paste it in a folder");
    } else if (op == "duplicatefile") {
        duplicate(request, *path);
    } else if (op == "compressfile") {
        compress(request, *path);
    } else if (op == "reveal") {
        request.app.revealInFileManager({*path});
    } else if (op == "share") {
        share(request, *path);
    }
}

void ReaderFileModule::info(const BridgeRequest& request, const std::string& path) {
    WindowHandle page = request.page;
    AppActions& app = request.app;
    const bool inReader = request.window.isReader() && path == request.window.original();
    const std::string shownPdf = inReader ? request.window.shownPdf : std::string();
    const bool dark = app.darkScheme();
    Dispatch::global().async([page, &app, path, shownPdf, inReader, dark] {
        auto info = DocumentInfo::gather(path, shownPdf);
        if (inReader) {
            page.call("cvlDocInfo", dump(info ? *info : json{{"error", info.error()}}));
            return;
        }
        if (!info) return page.toast(info.error());
        auto written = DocumentInfo::writePage(*info, dark);
        if (!written) return page.toast(written.error());
        Dispatch::main().async([&app, path, url = ReaderAddress::fileURL(*written)] {
            app.openToolPage(url, "info", {path});
        });
    });
}

void ReaderFileModule::rename(const BridgeRequest& request) {
    if (!request.window.isReader()) return;
    WindowHandle page = request.page;
    auto fail = [page](const std::string& message) {
        page.call("__cvlRenameFail", PageScript::quote(message));
    };
    const std::string path = request.window.original();
    if (path.empty() || !pathExists(path)) return fail("This document is not there any more.");
    const std::string typed = request.arg("name").value_or("");
    if (auto checked = ReaderFileOps::newFileName(path, typed); !checked)
        return fail(checked.error());
    int at = 0;
    if (auto p = request.arg("page")) at = std::max(0, std::atoi(p->c_str()));
    AppActions& app = request.app;
    Dispatch::global().async([page, &app, path, typed, at, fail] {
        auto renamed = ReaderFileOps::renameInFolder(path, typed);
        if (!renamed) return fail(renamed.error());
        if (*renamed == path) return;
        AnnotatedCopy::follow(path, *renamed);
        // The window stood for the old path: the renamed document opens in its place.
        Dispatch::main().async([page, &app, to = *renamed, at] {
            app.openReader(to, at);
            page.close();
        });
    });
}

void ReaderFileModule::duplicate(const BridgeRequest& request, const std::string& path) {
    WindowHandle page = request.page;
    AppActions& app = request.app;
    Dispatch::global().async([page, &app, path] {
        auto copy = ReaderFileOps::duplicateBeside(path);
        if (!copy) return page.toast(copy.error());
        page.toast("Duplicated as " + named(*copy));
        Dispatch::main().async([&app, to = *copy] { app.revealInFileManager({to}); });
    });
}

void ReaderFileModule::compress(const BridgeRequest& request, const std::string& path) {
    WindowHandle page = request.page;
    if (lowerExtension(path) != "pdf") return page.toast("Only PDFs can be compressed.");
    Dialogs& dialogs = request.dialogs;
    AppActions& app = request.app;
    Dispatch::global().async([page, &dialogs, &app, path] {
        auto doc = PdfDocument::openFile(path);
        if (!doc) return page.toast(doc.error());
        PageCommandFlow::AskRequest ask;
        ask.path = path;
        ask.text = "compress";
        ask.pageCount = doc->pageCount();
        const json preview = PageCommandFlow::ask(ask);
        if (preview.value("kind", "") != "preview")
            return page.toast(preview.value(
                "message",
                preview.value("question", std::string("This document cannot be compressed."))));
        Dispatch::main().async([page, &dialogs, &app, path, preview] {
            if (!page.alive()) return;
            ConfirmSheet sheet;
            sheet.title = "Compress " + named(path) + "?";
            sheet.message = preview.value("summary", std::string()) + "\n" +
                            preview.value("detail", std::string());
            sheet.verb = "Compress";
            auto run = [page, path, id = preview.value("id", std::string())] {
                Dispatch::global().async([page, path, id] {
                    const json done = PageCommandFlow::run(id, path);
                    if (done.value("kind", "") != "done")
                        return page.toast(
                            done.value("message", std::string("Compressing failed.")));
                    const auto outputs = done.value("outputs", std::vector<std::string>());
                    page.toast(outputs.empty() ? "Compressed" : "Saved " + named(outputs[0]));
                });
            };
            ConfirmChange::ask(dialogs, app, "compress", sheet, run);
        });
    });
}

void ReaderFileModule::share(const BridgeRequest& request, const std::string& path) {
    WindowHandle page = request.page;
    Dialogs& dialogs = request.dialogs;
    Dispatch::global().async([page, &dialogs, path] {
        if (!XdgTools::mailClientConfigured()) {
            Dispatch::main().async([page, &dialogs, path] {
                if (!page.alive()) return;
                dialogs.alert("No e-mail program is set up",
                              "To send " + named(path) +
                                  " by e-mail, choose a mail program in your desktop’s default "
                                  "applications, or attach the file in your mail yourself.");
            });
            return;
        }
        auto started = XdgTools::composeMailWithAttachment(lastPathComponent(path), path);
        page.toast(started ? "Opening a new e-mail with " + named(path) + " attached"
                           : "The e-mail could not be started: " + started.error());
    });
}

void ReaderFileModule::openInWordProcessor(const BridgeRequest& request) {
    auto path = ReaderFiles::target(request.window, std::nullopt);
    if (!path) return;
    WindowHandle page = request.page;
    AppActions& app = request.app;
    Dispatch::global().async([page, &app, path = *path] {
        std::optional<std::string> desktopDefault;
        if (auto mime = XdgTools::fileMimeType(path)) desktopDefault = XdgTools::defaultApp(*mime);
        auto office = XdgTools::findProgram("libreoffice");
        if (!office) office = XdgTools::findProgram("soffice");
        const auto choice = ReaderFiles::wordProcessorFor(path, desktopDefault, office);
        using How = ReaderFiles::WordProcessorChoice::How;
        if (choice.how == How::none) return page.toast(choice.message);
        if (choice.how == How::defaultApp) {
            Dispatch::main().async([&app, path] { app.openWithDefaultApp(path); });
        } else if (auto started = XdgTools::launchDetached(choice.program, choice.args); !started) {
            return page.toast(started.error());
        }
        page.toast("Opening " + named(path) + "…");
    });
}

}  // namespace cvl
