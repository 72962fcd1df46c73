#include "platform/pdf/PdfTextRuns.h"

#include <cstdio>

extern "C" {
#include <mupdf/ucdn.h>
}

namespace cvl::pdf {

namespace {

// Fallback fonts above this size (the CJK collections) are not embedded.
constexpr size_t kMaxEmbeddedFont = 4 * 1024 * 1024;

size_t fontBytes(fz_font* font) {
    return font && font->buffer ? font->buffer->len : 0;
}

}  // namespace

std::u32string decodeUtf8(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + size_t(len) > utf8.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            unsigned char cont = static_cast<unsigned char>(utf8[i + size_t(k)]);
            if ((cont >> 6) != 2) ok = false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        out.push_back(ok ? cp : char32_t(0xFFFD));
        i += ok ? size_t(len) : 1;
    }
    return out;
}

FontShaper::FontShaper(pdf_document* doc) : doc_(doc) {
    fonts_.emplace_back(mu([](fz_context* c) { return fz_new_base14_font(c, "Helvetica"); }));
    refs_.emplace_back();
    ascender_ = mu([&](fz_context* c) { return fz_font_ascender(c, fonts_[0].get()); });
    descender_ = mu([&](fz_context* c) { return fz_font_descender(c, fonts_[0].get()); });
}

int FontShaper::fontIndex(fz_font* font) {
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].get() == font) return int(i);
    fonts_.emplace_back(mu([&](fz_context* c) { return fz_keep_font(c, font); }));
    refs_.emplace_back();
    return int(fonts_.size() - 1);
}

std::vector<FontShaper::Run> FontShaper::shape(std::string_view utf8, bool* complete) {
    std::vector<Run> runs;
    for (char32_t cp : decodeUtf8(utf8)) {
        if (cp < 0x20 || cp == 0x7F) cp = ' ';
        fz_font* primary = fonts_[0].get();
        fz_font* used = nullptr;
        int glyph = mu([&](fz_context* c) {
            int script = ucdn_get_script(uint32_t(cp));
            return fz_encode_character_with_fallback(c, primary, int(cp), script, 0, &used);
        });
        if (!used) used = primary;
        if (used != primary && fontBytes(used) > kMaxEmbeddedFont) {
            if (complete) *complete = false;
            continue;
        }
        int font = fontIndex(used);
        float advance = mu([&](fz_context* c) {
            return fz_advance_glyph(c, fonts_[size_t(font)].get(), glyph, 0);
        });
        if (runs.empty() || runs.back().font != font) runs.push_back(Run{font, {}, 0});
        runs.back().glyphs.push_back(glyph);
        runs.back().advance += advance;
    }
    return runs;
}

float FontShaper::width(const std::vector<Run>& runs) {
    float w = 0;
    for (const auto& r : runs) w += r.advance;
    return w;
}

std::string FontShaper::resourceName(int font) {
    return "CvlF" + std::to_string(font);
}

void FontShaper::addFonts(pdf_obj* fontDict, const std::vector<Run>& runs) {
    for (const auto& run : runs) {
        size_t i = size_t(run.font);
        if (!refs_[i])
            refs_[i].reset(
                mu([&](fz_context* c) { return pdf_add_cid_font(c, doc_, fonts_[i].get()); }));
        std::string name = resourceName(run.font);
        mu([&](fz_context* c) { pdf_dict_puts(c, fontDict, name.c_str(), refs_[i].get()); });
    }
}

std::string FontShaper::show(const std::vector<Run>& runs, double size) {
    std::string out;
    char buf[64];
    bool first = true;
    double carried = 0;  // advance of the previous run, moved over before the next
    for (const auto& run : runs) {
        if (!first) {
            std::snprintf(buf, sizeof buf, "%.3f 0 Td ", carried);
            out += buf;
        }
        std::snprintf(buf, sizeof buf, "/%s %.2f Tf <", resourceName(run.font).c_str(), size);
        out += buf;
        for (int g : run.glyphs) {
            std::snprintf(buf, sizeof buf, "%04X", unsigned(g) & 0xFFFF);
            out += buf;
        }
        out += "> Tj ";
        carried = run.advance * size;
        first = false;
    }
    return out;
}

}  // namespace cvl::pdf
