#include "search/WordReader.h"

#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "search/UnicodeText.h"
#include "search/XmlEvents.h"
#include "search/ZipArchive.h"

namespace cvl::WordReader {
namespace {

// Collects the run text of the main document: w:t text, w:tab and breaks, one line per
// w:p. Deleted text and field instructions are not collected.
class DocumentHandler : public XmlHandler {
  public:
    void startElement(std::string_view name, const Attributes&) override {
        std::string_view prefix = prefixOf(name);
        if (!rootSeen_) {
            rootSeen_ = true;
            wordPrefix_ = std::string(prefix);
        }
        if (prefix != wordPrefix_) return;
        std::string_view local = localName(name);
        if (local == "t") {
            inText_ = true;
        } else if (local == "tab" || local == "ptab") {
            if (inRun()) text_ += '\t';
        } else if (local == "br" || local == "cr") {
            if (inRun()) text_ += '\n';
        } else if (local == "noBreakHyphen") {
            text_ += "\u2011";
        } else if (local == "r") {
            ++runDepth_;
        } else if (local == "pPr" || local == "rPr") {
            ++propsDepth_;
        }
    }
    void endElement(std::string_view name) override {
        if (prefixOf(name) != wordPrefix_) return;
        std::string_view local = localName(name);
        if (local == "t")
            inText_ = false;
        else if (local == "p")
            text_ += '\n';
        else if (local == "r" && runDepth_ > 0)
            --runDepth_;
        else if ((local == "pPr" || local == "rPr") && propsDepth_ > 0)
            --propsDepth_;
    }
    void characters(std::string_view s) override {
        if (inText_) text_ += s;
    }
    std::string take() { return std::move(text_); }

  private:
    static std::string_view prefixOf(std::string_view name) {
        auto colon = name.find(':');
        return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    }
    // Tabs and breaks count inside runs only (w:tab also names tab stops in properties).
    bool inRun() const { return runDepth_ > 0 && propsDepth_ == 0; }

    std::string text_;
    std::string wordPrefix_;
    bool rootSeen_ = false;
    bool inText_ = false;
    int runDepth_ = 0;
    int propsDepth_ = 0;
};

}  // namespace

std::string documentXmlText(std::string_view documentXml) {
    DocumentHandler handler;
    parseXml(documentXml, handler);  // a malformed part keeps the text read before the error
    std::string text = handler.take();
    // Drop the line ending of the last paragraph so the text ends like the document does.
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::optional<std::string> docxText(const std::string& path) {
    ZipArchive zip(path);
    if (!zip.isOpen()) return std::nullopt;
    auto xml = zip.member("word/document.xml");
    if (!xml) return std::nullopt;
    return documentXmlText(*xml);
}

std::optional<std::string> docText(const std::string& path) {
    ProcessSpec spec;
    spec.program = "antiword";
    spec.args = {"-m", "UTF-8.txt", "-w", "0", path};
    spec.timeout = std::chrono::milliseconds(60000);
    ProcessResult r = runProcess(spec);
    if (!r.launched) return std::nullopt;
    if (!UnicodeText::isValidUtf8(r.out)) return std::string();
    return r.out;
}

}  // namespace cvl::WordReader
