// Internal to src/platform/pdf: text set in embedded fonts that hold its characters. The
// built-in Helvetica (Latin, Greek, Cyrillic) comes first; characters it lacks take MuPDF's
// fallback font for their script. Each font is written once per document as a Type0 font with
// Identity-H encoding and a ToUnicode map, so the text can be drawn and extracted anywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/pdf/PdfInternal.h"

namespace cvl::pdf {

class FontShaper {
  public:
    // A stretch of text in one font: glyph ids and their advance at size 1.
    struct Run {
        int font = 0;
        std::vector<int> glyphs;
        float advance = 0;
    };

    // Throws MuError when the built-in font cannot be loaded.
    explicit FontShaper(pdf_document* doc);

    // The runs of one line of text (control characters count as spaces). `complete` is set
    // false when a character needs a font too large to embed (CJK), which is then skipped.
    std::vector<Run> shape(std::string_view utf8, bool* complete = nullptr);
    static float width(const std::vector<Run>& runs);
    // The primary font's ascender and descender (descender negative), at size 1.
    float ascender() const { return ascender_; }
    float descender() const { return descender_; }

    // The resource name of a font ("CvlF0", ...).
    static std::string resourceName(int font);
    // Puts the fonts the runs use into a /Font resource dictionary, adding them to the document
    // on first use.
    void addFonts(pdf_obj* fontDict, const std::vector<Run>& runs);
    // "/CvlF0 12 Tf <00250041> Tj" pieces for the runs, starting at the current text position;
    // each run is placed after the previous one by its advance.
    static std::string show(const std::vector<Run>& runs, double size);

  private:
    int fontIndex(fz_font* font);

    pdf_document* doc_;
    std::vector<FontPtr> fonts_;
    std::vector<ObjPtr> refs_;
    float ascender_ = 0.9f;
    float descender_ = -0.2f;
};

// UTF-8 text as code points; invalid bytes become U+FFFD.
std::u32string decodeUtf8(std::string_view utf8);

}  // namespace cvl::pdf
