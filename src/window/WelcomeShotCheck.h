// The blank-frame test of the welcome-page screenshot: a frame whose content area shows
// almost no change of brightness was not drawn.
#pragma once

#include <functional>
#include <optional>

namespace cvl {

struct Rgb {
    double r, g, b;  // 0...1
};

namespace WelcomeShotCheck {

// Largest minus smallest luminance (0.2126 R + 0.7152 G + 0.0722 B) over every 7th pixel of
// the area from 20 % to 80 % of the width and 15 % to 95 % of the height; unreadable pixels
// are skipped. The minimum starts at 1 and the maximum at 0.
double luminanceSpan(int width, int height,
                     const std::function<std::optional<Rgb>(int x, int y)>& pixel);

// A span below 0.35 is a blank frame.
inline bool isBlank(double span) {
    return span < 0.35;
}

}  // namespace WelcomeShotCheck
}  // namespace cvl
