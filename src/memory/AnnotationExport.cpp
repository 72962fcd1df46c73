#include "memory/AnnotationExport.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "memory/DocLinks.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfAnnotations.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {
namespace {

PdfRect boundsOf(const std::array<PdfPoint, 4>& quad) {
    PdfRect r{quad[0].x, quad[0].y, quad[0].x, quad[0].y};
    for (const auto& p : quad) {
        r.x0 = std::min(r.x0, p.x);
        r.y0 = std::min(r.y0, p.y);
        r.x1 = std::max(r.x1, p.x);
        r.y1 = std::max(r.y1, p.y);
    }
    return r;
}

bool holdsCentre(const PdfRect& area, const PdfRect& box) {
    double cx = (box.x0 + box.x1) / 2, cy = (box.y0 + box.y1) / 2;
    return cx >= area.x0 && cx <= area.x1 && cy >= area.y0 && cy <= area.y1;
}

// The page text whose characters have their centres inside the areas, in reading order; line
// breaks become spaces.
std::string textIn(const PdfPageText& text, const std::vector<PdfRect>& areas) {
    std::string out;
    int lastLine = -1;
    std::size_t lastEnd = 0;
    for (const auto& ch : text.chars) {
        if (!std::any_of(areas.begin(), areas.end(),
                         [&](const PdfRect& a) { return holdsCentre(a, ch.box); }))
            continue;
        std::size_t len = 1;
        while (ch.offset + len < text.text.size() &&
               (static_cast<unsigned char>(text.text[ch.offset + len]) & 0xC0) == 0x80)
            ++len;
        if (!out.empty() && (ch.line != lastLine || ch.offset > lastEnd) && out.back() != ' ')
            out += ' ';
        out.append(text.text, ch.offset, len);
        lastLine = ch.line;
        lastEnd = ch.offset + len;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    while (!out.empty() && out.front() == ' ') out.erase(out.begin());
    return out;
}

}  // namespace

bool annotationIsSkipped(const std::string& kind) {
    return kind == "Popup" || kind == "Link" || kind == "Widget";
}

bool annotationIsMarkup(const std::string& kind) {
    return kind == "Highlight" || kind == "Underline" || kind == "StrikeOut";
}

std::string annotationMarkedText(const PdfPageText& text, const PdfAnnotation& annotation) {
    std::vector<PdfRect> areas;
    for (const auto& q : annotation.quads) areas.push_back(boundsOf(q));
    std::string covered = areas.empty() ? "" : textIn(text, areas);
    if (covered.empty()) covered = textIn(text, {annotation.rect});
    return covered;
}

namespace {

// Quoted Markdown keeps one line: line breaks of a note or passage become spaces.
std::string oneLine(std::string s) {
    for (auto& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

}  // namespace

Result<std::string> runAnnotationExport(const std::string& pdfBytes, const std::string& title,
                                        const std::string& docPath) {
    auto opened = PdfDocument::openBytes(pdfBytes);
    if (!opened || opened->isLocked() || opened->pageCount() < 1)
        return Failure{kAnnotExportUnreadable};
    const PdfDocument& doc = *opened;
    std::string body;
    int count = 0;
    for (int page = 0; page < doc.pageCount(); ++page) {
        std::vector<std::string> entries;
        std::optional<PdfPageText> pageText;
        for (const auto& a : pdfAnnotations(doc, page)) {
            if (annotationIsSkipped(a.kind)) continue;
            ++count;
            std::string entry;
            if (annotationIsMarkup(a.kind)) {
                if (!pageText) pageText = doc.pageTextWithBoxes(page).value_or(PdfPageText{});
                std::string covered = annotationMarkedText(*pageText, a);
                entry += "> " + (covered.empty() ? "(" + a.kind + ")" : oneLine(covered)) + "\n";
            }
            if (!a.contents.empty()) {
                if (!entry.empty()) entry += "\n";
                entry += "**Note:** " + oneLine(a.contents) + "\n";
            }
            if (entry.empty()) entry = "_" + a.kind + "_\n";
            entries.push_back(std::move(entry));
        }
        if (entries.empty()) continue;
        body += "\n## Page " + std::to_string(page + 1) + "\n";
        for (const auto& e : entries) body += "\n" + e;
    }
    if (count == 0) return Failure{kAnnotExportNothing};
    std::string md = "# Annotations \u2014 " + title + "\n\n_" + std::to_string(count) +
                     " annotation" + (count == 1 ? "" : "s") + " \u00b7 exported by Corvello_\n";
    md += body;
    md += linksExportMarkdown(docPath);
    return md;
}

Result<std::string> annotationExportFromPage(const std::string& pageBase64,
                                             const std::string& docPath) {
    auto bytes = base64Decode(pageBase64);
    if (!bytes || bytes->empty()) return Failure{kAnnotExportUnreadable};
    return runAnnotationExport(*bytes, lastPathComponent(docPath), docPath);
}

std::string annotationExportFileName(const std::string& docPath) {
    std::string name = lastPathComponent(docPath);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name + " \u2014 annotations.md";
}

Status writeAnnotationExport(const std::string& destination, const std::string& markdown) {
    return writeFileAtomic(destination, markdown);
}

}  // namespace cvl
