#include "window/PrintModule.h"

#include <nlohmann/json.hpp>

#include "memory/AnnotatedCopy.h"
#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfFacts.h"

namespace cvl {

namespace PrintFlow {

std::string fileToPrint(const WindowSnapshot& window) {
    if (window.isReader() && !window.original().empty())
        if (auto copy = AnnotatedCopy::open(window.original()).copy) return *copy;
    return window.shownFile();
}

std::string outcomeText(const PrintOutcome& o) {
    if (o.cancelled) return "";
    if (!o.printed) return o.message.empty() ? "The document could not be printed." : o.message;
    if (!o.outputFile.empty()) return "Printed to “" + lastPathComponent(o.outputFile) + "”";
    return "Sent to the printer";
}

}  // namespace PrintFlow

void PrintModule::handle(const BridgeRequest& request) {
    if (request.window.shownFile().empty()) return;
    WindowHandle page = request.page;
    AppActions& app = request.app;
    const WindowSnapshot window = request.window;
    int current = 0;
    if (auto p = request.arg("page")) current = std::max(0, std::atoi(p->c_str()) - 1);
    auto finish = [page](const PrintOutcome& o) {
        page.call("__cvlPrintB",
                  nlohmann::json{{"printed", o.printed},
                                 {"cancelled", o.cancelled},
                                 {"message", o.message},
                                 {"file", o.outputFile}}
                      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        if (auto text = PrintFlow::outcomeText(o); !text.empty()) page.toast(text);
    };
    page.read(PrintFlow::kPageBytes, [page, &app, window, current,
                                      finish](std::optional<std::string> b64) {
        if (!page.alive()) return;
        std::optional<std::string> bytes;
        if (b64 && !b64->empty()) bytes = base64Decode(*b64);
        if (!bytes || bytes->empty()) bytes = readFile(PrintFlow::fileToPrint(window));
        PrintOutcome refused;
        if (!bytes || bytes->empty()) {
            refused.message = "The document could not be read for printing.";
            return finish(refused);
        }
        auto doc = PdfDocument::openBytes(*bytes);
        if (doc && doc->isLocked()) {
            refused.message = "This document needs its password to be printed.";
            return finish(refused);
        }
        if (!doc || doc->pageCount() < 1) {
            refused.message = "The document could not be read for printing.";
            return finish(refused);
        }
        if (!pdfAllowsPrinting(*doc)) {
            refused.message = "This document does not allow printing.";
            return finish(refused);
        }
        PrintRequest job;
        job.title =
            lastPathComponent(window.original().empty() ? window.shownFile() : window.original());
        job.pdfBytes = std::move(*bytes);
        job.currentPage = std::min(current, doc->pageCount() - 1);
        app.printDocument(job, finish);
    });
}

}  // namespace cvl
