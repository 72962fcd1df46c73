// The notice card's drawing, shared by the live card window and the screenshot mode: its size
// from the content, and the card itself drawn with cairo and Pango at the origin.
#pragma once

#include <cairo.h>

#include "updates/ZKNoticeContent.h"
#include "updates/ZKNoticePlacement.h"

namespace cvl::NoticeCard {

inline constexpr double kMinWidth = 280;  // points
inline constexpr double kMaxWidth = 380;

struct Style {
    bool dark = false;
    // Pixels outside the rounded card stay clear; without it (no compositor) they take the
    // card's colour.
    bool transparent = true;
    // Elapsed share of the dwell for the progress rail, 0 to 1; negative draws no rail.
    double progress = -1;
};

// The card's size in points for this content.
ZKNoticePlacement::Size measure(const ZKNoticeContent& content);

// Draws the card with its top-left corner at the origin of `cr`, filling `size`.
void draw(cairo_t* cr, const ZKNoticeContent& content, ZKNoticePlacement::Size size,
          const Style& style);

}  // namespace cvl::NoticeCard
