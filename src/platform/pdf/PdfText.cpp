// Page text with character boxes, and page labels.
#include <algorithm>
#include <map>
#include <set>

#include "platform/SysLog.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfInternal.h"

namespace cvl {

using namespace pdf;

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Reads the page's structured text and maps every character box back into page points.
PdfPageText extract(pdf_document* doc, int page, bool withBoxes) {
    PagePtr p(mu([&](fz_context* c) { return pdf_load_page(c, doc, page); }));
    fz_stext_options opts{};
    StextPtr text(
        mu([&](fz_context* c) { return fz_new_stext_page_from_page(c, &p->super, &opts); }));
    // The structured text is in MuPDF's device space (rotated, top-left origin); the page's
    // transform inverted takes it back to the page's own space.
    fz_rect box;
    fz_matrix ctm;
    mu([&](fz_context* c) { pdf_page_transform(c, p.get(), &box, &ctm); });
    fz_matrix back = fz_invert_matrix(ctm);

    PdfPageText out;
    for (fz_stext_block* block = text->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT) continue;
        for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
            if (!out.text.empty()) out.text += '\n';
            PdfTextLine l;
            l.begin = out.text.size();
            if (withBoxes) l.box = fromFz(fz_transform_rect(line->bbox, back));
            for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
                if (withBoxes) {
                    PdfTextChar tc;
                    tc.codepoint = char32_t(ch->c);
                    tc.offset = out.text.size();
                    tc.line = int(out.lines.size());
                    tc.box = fromFz(fz_transform_rect(fz_rect_from_quad(ch->quad), back));
                    out.chars.push_back(tc);
                }
                appendUtf8(out.text, char32_t(ch->c));
            }
            l.end = out.text.size();
            out.lines.push_back(l);
        }
    }
    if (!withBoxes) out.lines.clear();
    return out;
}

// Page label ranges from the catalog's /PageLabels number tree: start index -> label dict.
// Each indirect node is read once: a crafted tree whose kids repeat or loop would otherwise take
// exponential time.
void collectLabelRanges(pdf_obj* node, std::map<int, pdf_obj*>& ranges, std::set<int>& seen,
                        int depth) {
    if (!node || depth > 32) return;
    if (int num = mu([&](fz_context* c) { return pdf_to_num(c, node); });
        num > 0 && !seen.insert(num).second)
        return;
    pdf_obj* nums = mu([&](fz_context* c) { return pdf_dict_get(c, node, PDF_NAME(Nums)); });
    int n = mu([&](fz_context* c) { return pdf_array_len(c, nums); });
    for (int i = 0; i + 1 < n; i += 2) {
        int start = mu([&](fz_context* c) { return pdf_array_get_int(c, nums, i); });
        ranges[start] = mu([&](fz_context* c) { return pdf_array_get(c, nums, i + 1); });
    }
    pdf_obj* kids = mu([&](fz_context* c) { return pdf_dict_get(c, node, PDF_NAME(Kids)); });
    int k = mu([&](fz_context* c) { return pdf_array_len(c, kids); });
    for (int i = 0; i < k; ++i)
        collectLabelRanges(mu([&](fz_context* c) { return pdf_array_get(c, kids, i); }), ranges,
                           seen, depth + 1);
}

std::string roman(int n, bool upper) {
    static const std::pair<int, const char*> table[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    std::string out;
    for (const auto& [value, text] : table)
        while (n >= value) {
            out += text;
            n -= value;
        }
    if (upper) std::transform(out.begin(), out.end(), out.begin(), ::toupper);
    return out;
}

std::string letters(int n, bool upper) {
    // 1 -> a, 26 -> z, 27 -> aa, 53 -> aaa: the letter repeated.
    if (n < 1) return "";
    char letter = char((upper ? 'A' : 'a') + (n - 1) % 26);
    return std::string(size_t((n - 1) / 26 + 1), letter);
}

}  // namespace

std::vector<PdfRect> PdfPageText::rectsForRange(std::size_t begin, std::size_t end) const {
    std::vector<PdfRect> out;
    int currentLine = -1;
    for (const auto& ch : chars) {
        if (ch.offset < begin || ch.offset >= end) continue;
        if (ch.line != currentLine) {
            out.push_back(ch.box);
            currentLine = ch.line;
        } else {
            out.back() = out.back().united(ch.box);
        }
    }
    return out;
}

std::optional<std::string> PdfDocument::pageText(int page) const {
    if (!impl_->doc) return std::nullopt;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return std::nullopt;
    try {
        pdf_document* doc = impl_->doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return std::nullopt;
        return extract(doc, page, false).text;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read the text of page %d: %s", page + 1, e.what());
        return std::nullopt;
    }
}

std::optional<PdfPageText> PdfDocument::pageTextWithBoxes(int page) const {
    if (!impl_->doc) return std::nullopt;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return std::nullopt;
    try {
        pdf_document* doc = impl_->doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return std::nullopt;
        return extract(doc, page, true);
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read the text of page %d: %s", page + 1, e.what());
        return std::nullopt;
    }
}

std::string PdfDocument::pageLabel(int page) const {
    std::string fallback = std::to_string(page + 1);
    if (!impl_->doc) return fallback;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return fallback;
    try {
        pdf_document* doc = impl_->doc.get();
        pdf_obj* tree = mu([&](fz_context* c) {
            return pdf_dict_getp(c, pdf_trailer(c, doc), "Root/PageLabels");
        });
        if (!tree) return fallback;
        std::map<int, pdf_obj*> ranges;
        std::set<int> seen;
        collectLabelRanges(tree, ranges, seen, 0);
        auto it = ranges.upper_bound(page);
        if (it == ranges.begin()) return fallback;
        --it;
        pdf_obj* dict = it->second;
        std::string prefix =
            pdfText(mu([&](fz_context* c) { return pdf_dict_get(c, dict, PDF_NAME(P)); }));
        int first = mu([&](fz_context* c) {
            pdf_obj* st = pdf_dict_gets(c, dict, "St");
            return st ? pdf_to_int(c, st) : 1;
        });
        int value = first + (page - it->first);
        std::string style =
            mu([&](fz_context* c) { return pdf_to_name(c, pdf_dict_get(c, dict, PDF_NAME(S))); });
        if (style == "D") return prefix + std::to_string(value);
        if (style == "R") return prefix + roman(value, true);
        if (style == "r") return prefix + roman(value, false);
        if (style == "A") return prefix + letters(value, true);
        if (style == "a") return prefix + letters(value, false);
        return prefix;
    } catch (...) {
        return fallback;
    }
}

}  // namespace cvl
