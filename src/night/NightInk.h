// Night ink: relative luminance and contrast ratio (WCAG 2) and the lightening of dark ink
// on dark paper, applied run by run to attributed text without touching the text's own
// colours (the result is a list of display-only overrides).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

// A colour as a text layout carries it. Grey colours convert to sRGB; pattern colours
// (images, dynamic system colours without components) do not.
struct CvlColor {
    enum class Space { srgb, gray, pattern };
    Space space = Space::srgb;
    double red = 0, green = 0, blue = 0;  // for gray, `red` holds the white level
    double alpha = 1;

    static CvlColor rgb(double r, double g, double b, double a = 1) {
        return {Space::srgb, r, g, b, a};
    }
    static CvlColor gray(double white, double a = 1) { return {Space::gray, white, 0, 0, a}; }
    static CvlColor pattern() { return {Space::pattern, 0, 0, 0, 1}; }
};

// The colour in sRGB, or none when it has no sRGB form.
std::optional<CvlColor> cvlToSRGB(const CvlColor& color);
// Hue, saturation and brightness of an sRGB colour, each 0 to 1, and back.
struct CvlHSB {
    double hue = 0, saturation = 0, brightness = 0, alpha = 1;
};
CvlHSB cvlToHSB(const CvlColor& srgb);
CvlColor cvlFromHSB(const CvlHSB& hsb);

// The warm off-white that dark, nearly grey ink becomes at night.
inline constexpr double kEdNightInkRGB[3] = {0.933, 0.91, 0.871};

double cvlRelLuminance(const CvlColor& color);             // 0 to 1; 0 without an sRGB form
double cvlContrast(const CvlColor& a, const CvlColor& b);  // 1 to 21
// The colour to show instead of `color` on dark paper, or none to keep it.
std::optional<CvlColor> edNightInk(const CvlColor& color);

// One attribute run of a text, in UTF-16 units or bytes as the caller counts them.
struct CvlTextRun {
    size_t location = 0;
    size_t length = 0;
    std::optional<CvlColor> foreground;
    std::optional<CvlColor> background;  // highlighted text
};
struct CvlInkOverride {
    size_t location = 0;
    size_t length = 0;
    CvlColor color;
};
struct CvlTextRange {
    size_t location = 0;
    size_t length = 0;
};

// The display-only foreground colours that night ink sets over `range` (the whole text
// when none) of a text of `textLength` units whose attribute runs are `runs`. Highlighted
// runs keep their ink; a run without its own ink uses `defaultInk`. The caller first clears
// earlier overrides over the same range.
std::vector<CvlInkOverride> cvlNightInkOverrides(const std::vector<CvlTextRun>& runs,
                                                 size_t textLength,
                                                 std::optional<CvlTextRange> range,
                                                 const CvlColor& defaultInk);

// The editor shows dark paper when the resolved scheme is dark, unless editor_paper is
// "light".
bool editorPaperIsDark(const std::string& resolvedScheme, const std::string& editorPaper);
// The paper button's tip for the current paper.
std::string editorPaperTip(bool paperIsDark);

}  // namespace cvl
