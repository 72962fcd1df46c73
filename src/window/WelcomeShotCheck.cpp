#include "window/WelcomeShotCheck.h"

namespace cvl::WelcomeShotCheck {

double luminanceSpan(int width, int height,
                     const std::function<std::optional<Rgb>(int x, int y)>& pixel) {
    const int x0 = static_cast<int>(width * 0.20), x1 = static_cast<int>(width * 0.80);
    const int y0 = static_cast<int>(height * 0.15), y1 = static_cast<int>(height * 0.95);
    double lo = 1, hi = 0;
    for (int y = y0; y < y1; y += 7) {
        for (int x = x0; x < x1; x += 7) {
            auto p = pixel(x, y);
            if (!p) continue;
            const double l = 0.2126 * p->r + 0.7152 * p->g + 0.0722 * p->b;
            if (l < lo) lo = l;
            if (l > hi) hi = l;
        }
    }
    return hi - lo;
}

}  // namespace cvl::WelcomeShotCheck
