#include "search/TextExtraction.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "search/PdfText.h"
#include "search/RtfReader.h"
#include "search/UnicodeText.h"
#include "search/WordReader.h"
#include "search/XlsxReader.h"

namespace cvl::TextExtraction {
namespace {

std::vector<Chunk> paragraphsOf(std::optional<std::string> text) {
    if (!text) return {};
    return paragraphChunks(*text, "para", "\u00B6", false);
}

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.size() >= prefix.size() && std::string_view(s).substr(0, prefix.size()) == prefix;
}

}  // namespace

std::vector<Chunk> paragraphChunks(std::string_view text, const std::string& atype,
                                   const std::string& labelPrefix, bool lineBased) {
    std::vector<Chunk> out;
    auto lines = UnicodeText::splitLines(text);
    if (lineBased) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (UnicodeText::trimSpaces(lines[i]).empty()) continue;
            out.push_back({atype, labelPrefix + std::to_string(i + 1), 0, std::string(lines[i])});
        }
        return out;
    }
    std::vector<std::string_view> buffer;
    int n = 0;
    auto flush = [&] {
        std::string joined;
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            if (i) joined += ' ';
            joined += buffer[i];
        }
        ++n;
        std::string body(UnicodeText::trimWhitespace(joined));
        if (!body.empty()) out.push_back({atype, labelPrefix + std::to_string(n), 0, body});
        buffer.clear();
    };
    for (auto line : lines) {
        if (!UnicodeText::trimWhitespace(line).empty()) {
            buffer.push_back(line);
        } else if (!buffer.empty()) {
            flush();
        }
    }
    if (!buffer.empty()) flush();
    return out;
}

std::vector<Chunk> plainTextChunks(const std::string& path) {
    auto data = readFile(path);
    if (!data) return {};
    std::string text =
        UnicodeText::isValidUtf8(*data) ? std::move(*data) : UnicodeText::latin1ToUtf8(*data);
    return paragraphChunks(text, "line", "L", true);
}

std::vector<Chunk> wordChunks(const std::string& path) {
    // Word files are recognised by content: a .doc may really be a .docx or an RTF file.
    std::string head;
    if (auto f = readFile(path); f)
        head = f->substr(0, 8);
    else
        return {};
    if (startsWith(head, "PK")) return paragraphsOf(WordReader::docxText(path));
    if (startsWith(head, "{\\rtf")) return rtfChunks(path);
    if (lowerExtension(path) == "docx") return {};
    return paragraphsOf(WordReader::docText(path));
}

std::vector<Chunk> rtfChunks(const std::string& path) {
    auto data = readFile(path);
    if (!data) return {};
    return paragraphsOf(RtfReader::plainText(*data));
}

std::vector<Chunk> spreadsheetChunks(const std::string& path) {
    std::vector<Chunk> out;
    for (const auto& cell : XlsxReader::cells(path)) {
        std::string_view text = UnicodeText::trimWhitespace(cell.text);
        if (text.empty()) continue;
        out.push_back({"cell", cell.sheet + "!" + cell.ref, 0, std::string(text)});
    }
    return out;
}

std::string cloudDocumentAddress(const std::string& docId) {
    return "https://docs.google.com/open?id=" + docId;
}

std::vector<Chunk> pointerChunks(const std::string& path) {
    std::string name = lastPathComponent(path);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    if (name.empty()) return {};
    std::string address;
    if (auto data = readFile(path)) {
        nlohmann::json doc = nlohmann::json::parse(*data, nullptr, false);
        if (doc.is_object()) {
            if (auto url = doc.find("url"); url != doc.end() && url->is_string())
                address = url->get<std::string>();
            else if (auto id = doc.find("doc_id"); id != doc.end() && id->is_string())
                address = cloudDocumentAddress(id->get<std::string>());
        }
    }
    return {{"glink", address, 0, name}};
}

std::vector<Chunk> pdfChunks(const std::string& path, const CVSearchIndex::OcrLookup& ocrLookup) {
    auto doc = openPdfText(path);
    if (!doc) return {};
    const int pages = doc->pageCount();
    // Probe for a text layer, keeping the texts read so far for the extraction below.
    std::vector<std::string> probed;
    bool hasTextLayer = false;
    for (int i = 0; i < pages && !hasTextLayer; ++i) {
        probed.push_back(doc->pageText(i));
        if (UnicodeText::graphemeCount(UnicodeText::trimWhitespace(probed.back())) >= 8)
            hasTextLayer = true;
    }
    std::vector<Chunk> out;
    if (hasTextLayer) {
        for (int i = 0; i < pages; ++i) {
            std::string text =
                i < static_cast<int>(probed.size()) ? std::move(probed[i]) : doc->pageText(i);
            if (text.empty()) continue;
            out.push_back({"page", std::to_string(i + 1), i + 1, std::move(text)});
        }
        return out;
    }
    if (!ocrLookup) return {};
    auto texts = ocrLookup(path);
    if (!texts) return {};
    for (const auto& [page, text] : *texts)
        if (!text.empty()) out.push_back({"page", std::to_string(page), page, text});
    return out;
}

std::vector<Chunk> chunksFor(const std::string& path, const std::string& type,
                             const CVSearchIndex::OcrLookup& ocrLookup) {
    if (type == "pdf") return pdfChunks(path, ocrLookup);
    if (type == "docx") return wordChunks(path);
    if (type == "xlsx") return spreadsheetChunks(path);
    if (type == "rtf") return rtfChunks(path);
    if (type == "gdoc" || type == "gsheet" || type == "gslides") return pointerChunks(path);
    return plainTextChunks(path);
}

}  // namespace cvl::TextExtraction
