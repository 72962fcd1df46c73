#include "agent/AgentDocumentWork.h"

#include <algorithm>

#include <nlohmann/json.hpp>
#include "memory/AnnotationExport.h"

#include "pagecmd/PageCommandJson.h"
#include "pagecmd/PageCommandParser.h"
#include "pagecmd/PageCommandRunner.h"
#include "pagecmd/PageTools.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfAnnotations.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {
namespace {

std::string stemOf(const std::string& path) {
    std::string name = lastPathComponent(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

class DocumentWork : public AgentPageWork {
  public:
    std::optional<int> pageCount(const std::string& path) override {
        auto doc = PdfDocument::openFile(path);
        if (!doc || doc->isLocked() || doc->pageCount() < 1) return std::nullopt;
        return doc->pageCount();
    }

    Interpretation interpret(const std::string& text, int pageCount, std::optional<int> current,
                             const std::vector<int>& selection) override {
        auto read = PageCommandParser::parse(text, pageCount, current.value_or(1), selection);
        Interpretation out;
        using Kind = PageCommandParse::Kind;
        switch (read.kind) {
            case Kind::command:
                out.kind = Interpretation::Kind::command;
                out.commandJSON = pageCommandJsonText(read.command);
                break;
            case Kind::clarify:
                out.kind = Interpretation::Kind::clarify;
                out.question = read.message;
                out.options = read.options;
                break;
            case Kind::refuse:
                out.kind = Interpretation::Kind::refuse;
                out.message = read.message;
                break;
            case Kind::notACommand:
            case Kind::unreadable:
                out.kind = Interpretation::Kind::notCommand;
                break;
        }
        return out;
    }

    std::vector<std::string> canonicalPhrases() override {
        return PageCommandParser::canonicalForms;
    }

    std::optional<Preview> plan(const std::string& commandJSON, const std::string& path) override {
        auto parsed = nlohmann::json::parse(commandJSON, nullptr, false);
        if (!parsed.is_object()) return std::nullopt;
        auto command = pageCommandFromJson(parsed);
        if (!command) return std::nullopt;
        auto planned = PageCommandRunner::plan(command.value(), path);
        Preview p;
        if (!planned) {
            p.refused = true;
            p.message = planned.error();
            return p;
        }
        p.id = planned->id;
        p.summary = planned->summary;
        p.detail = planned->detail;
        p.outputs = planned->outputs;
        return p;
    }

    Result<std::vector<std::string>> execute(const std::string& id,
                                             const std::string& path) override {
        return PageCommandRunner::execute(id, path);
    }

    Result<Combined> combineImages(const std::vector<std::string>& paths) override {
        PdfDocument doc = PageTools::imagesToPDF(paths);
        // Every image must become a page: a skipped one would silently go missing.
        if (doc.pageCount() != static_cast<int>(paths.size()))
            return Failure{"Corvello couldn’t read one of those images"};
        std::string out = PageTools::newFileBeside(
            paths.front(), paths.size() == 1 ? "(PDF)" : "(combined)", "pdf");
        auto published =
            PageTools::publishNew(PageTools::NewItem::file(out, PageTools::Payload::pdf(doc)));
        if (!published) return Failure{published.error()};
        return Combined{published.value(), doc.pageCount()};
    }

    std::optional<AgentAnnotationExport> exportAnnotations(const std::string& pdfBytes,
                                                           const std::string& docPath) override {
        auto opened = PdfDocument::openBytes(pdfBytes);
        if (!opened || opened->isLocked() || opened->pageCount() < 1) return std::nullopt;
        AgentAnnotationExport out;
        for (int page = 0; page < opened->pageCount(); ++page) {
            std::optional<PdfPageText> text;
            for (const auto& a : pdfAnnotations(*opened, page)) {
                if (annotationIsSkipped(a.kind)) continue;
                AgentAnnotation entry{page + 1, a.kind, "", a.contents, a.author};
                if (annotationIsMarkup(a.kind)) {
                    if (!text) text = opened->pageTextWithBoxes(page).value_or(PdfPageText{});
                    entry.text = annotationMarkedText(*text, a);
                }
                out.annotations.push_back(std::move(entry));
            }
        }
        if (!out.annotations.empty()) {
            auto md = runAnnotationExport(pdfBytes, stemOf(docPath), docPath);
            if (md) out.markdown = md.value();
        }
        return out;
    }
};

}  // namespace

std::shared_ptr<AgentPageWork> makeAgentDocumentWork() {
    return std::make_shared<DocumentWork>();
}

}  // namespace cvl
