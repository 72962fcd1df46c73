#include "night/NightInk.h"

#include <algorithm>
#include <cmath>

namespace cvl {

std::optional<CvlColor> cvlToSRGB(const CvlColor& color) {
    switch (color.space) {
        case CvlColor::Space::srgb:
            return color;
        case CvlColor::Space::gray:
            return CvlColor::rgb(color.red, color.red, color.red, color.alpha);
        case CvlColor::Space::pattern:
            break;
    }
    return std::nullopt;
}

CvlHSB cvlToHSB(const CvlColor& c) {
    const double mx = std::max({c.red, c.green, c.blue});
    const double mn = std::min({c.red, c.green, c.blue});
    const double delta = mx - mn;
    CvlHSB out;
    out.alpha = c.alpha;
    out.brightness = mx;
    out.saturation = mx > 0 ? delta / mx : 0;
    if (delta > 0) {
        double h;
        if (mx == c.red)
            h = std::fmod((c.green - c.blue) / delta, 6.0);
        else if (mx == c.green)
            h = (c.blue - c.red) / delta + 2;
        else
            h = (c.red - c.green) / delta + 4;
        h /= 6;
        if (h < 0) h += 1;
        out.hue = h;
    }
    return out;
}

CvlColor cvlFromHSB(const CvlHSB& in) {
    const double h = (in.hue - std::floor(in.hue)) * 6;
    const double s = std::clamp(in.saturation, 0.0, 1.0);
    const double v = std::clamp(in.brightness, 0.0, 1.0);
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (sector) {
        case 0:
            return CvlColor::rgb(v, t, p, in.alpha);
        case 1:
            return CvlColor::rgb(q, v, p, in.alpha);
        case 2:
            return CvlColor::rgb(p, v, t, in.alpha);
        case 3:
            return CvlColor::rgb(p, q, v, in.alpha);
        case 4:
            return CvlColor::rgb(t, p, v, in.alpha);
        default:
            return CvlColor::rgb(v, p, q, in.alpha);
    }
}

double cvlRelLuminance(const CvlColor& color) {
    auto c = cvlToSRGB(color);
    if (!c) return 0;
    auto linear = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c->red) + 0.7152 * linear(c->green) + 0.0722 * linear(c->blue);
}

double cvlContrast(const CvlColor& a, const CvlColor& b) {
    const double la = cvlRelLuminance(a), lb = cvlRelLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::optional<CvlColor> edNightInk(const CvlColor& color) {
    auto c = cvlToSRGB(color);
    if (!c) return std::nullopt;
    if (cvlRelLuminance(*c) >= 0.45) return std::nullopt;
    CvlHSB hsb = cvlToHSB(*c);
    if (hsb.saturation < 0.12)
        return CvlColor::rgb(kEdNightInkRGB[0], kEdNightInkRGB[1], kEdNightInkRGB[2], 1.0);
    hsb.saturation = std::max(0.55 * hsb.saturation, 0.22);
    hsb.brightness = 0.92;
    return cvlFromHSB(hsb);
}

std::vector<CvlInkOverride> cvlNightInkOverrides(const std::vector<CvlTextRun>& runs,
                                                 size_t textLength,
                                                 std::optional<CvlTextRange> range,
                                                 const CvlColor& defaultInk) {
    std::vector<CvlInkOverride> out;
    size_t from = 0, to = textLength;
    if (range) {
        from = std::min(range->location, textLength);
        to = std::min(textLength, range->location + std::min(range->length, textLength));
    }
    if (textLength == 0 || from >= to) return out;
    for (const auto& run : runs) {
        size_t a = std::max(run.location, from);
        size_t b = std::min(run.location + run.length, to);
        if (a >= b || run.background) continue;
        if (auto ink = edNightInk(run.foreground ? *run.foreground : defaultInk))
            out.push_back({a, b - a, *ink});
    }
    return out;
}

bool editorPaperIsDark(const std::string& resolvedScheme, const std::string& editorPaper) {
    return resolvedScheme == "dark" && editorPaper != "light";
}

std::string editorPaperTip(bool paperIsDark) {
    return paperIsDark ? "Night page. Dark ink is LIGHTENED on screen only: the file keeps its "
                         "real colors. Click for the true white page."
                       : "The true white page, exactly as it prints. Click for the night page.";
}

}  // namespace cvl
