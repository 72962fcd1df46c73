#include "platform/gtk/NoticeCard.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace cvl::NoticeCard {
namespace {

struct Rgba {
    double r, g, b, a = 1;
};

void setColour(cairo_t* cr, Rgba c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

struct Palette {
    Rgba card, border, title, body, capFill, capBorder, capText, track, glyph;
};

Palette palette(bool dark) {
    if (dark)
        return {{0.165, 0.165, 0.180, 0.98}, {1, 1, 1, 0.14}, {0.949, 0.941, 0.925},
                {0.706, 0.698, 0.678},       {1, 1, 1, 0.08}, {1, 1, 1, 0.24},
                {0.902, 0.890, 0.871},       {1, 1, 1, 0.10}, {0.110, 0.110, 0.118}};
    return {{0.988, 0.984, 0.976, 0.98}, {0, 0, 0, 0.14}, {0.114, 0.114, 0.122},
            {0.353, 0.353, 0.373},       {0, 0, 0, 0.04}, {0, 0, 0, 0.22},
            {0.200, 0.200, 0.220},       {0, 0, 0, 0.08}, {1, 1, 1}};
}

// Good news and failures differ in hue as well as in their mark.
Rgba accent(ZKNoticeTone tone, bool dark) {
    switch (tone) {
        case ZKNoticeTone::positive:
            return dark ? Rgba{0.298, 0.765, 0.478} : Rgba{0.157, 0.588, 0.341};
        case ZKNoticeTone::caution:
            return dark ? Rgba{0.941, 0.706, 0.161} : Rgba{0.800, 0.525, 0.000};
        case ZKNoticeTone::negative:
            return dark ? Rgba{1.000, 0.420, 0.420} : Rgba{0.800, 0.224, 0.224};
        case ZKNoticeTone::neutral:
            break;
    }
    return dark ? Rgba{0.576, 0.624, 0.698} : Rgba{0.392, 0.431, 0.502};
}

// Metrics in points.
constexpr double kStripe = 4, kPadLeft = 16, kPadRight = 16, kPadTop = 13, kPadBottom = 15;
constexpr double kMark = 22, kMarkGap = 11, kRadius = 12;
constexpr double kBodyGap = 4, kKeysGap = 9, kCapPadH = 6, kCapPadV = 2, kCapGap = 4;
constexpr double kNoteGap = 8, kNoteMin = 60, kRailInset = 6;
constexpr double kTextX = kPadLeft + kMark + kMarkGap;
constexpr double kTextMax = kMaxWidth - kTextX - kPadRight;
constexpr double kTextMin = kMinWidth - kTextX - kPadRight;
constexpr int kTitleLines = 3, kBodyLines = 8;
constexpr const char* kTitleFont = "Sans Bold 10.5";
constexpr const char* kBodyFont = "Sans 9.5";
constexpr const char* kCapFont = "Sans 8.5";

struct Unref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
using ContextPtr = std::unique_ptr<PangoContext, Unref>;
using LayoutPtr = std::unique_ptr<PangoLayout, Unref>;

// Unhinted metrics, so the card measures the same on screen, offscreen and at any scale.
ContextPtr newContext() {
    ContextPtr ctx(pango_font_map_create_context(pango_cairo_font_map_get_default()));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(ctx.get(), options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(ctx.get(), 96);
    return ctx;
}

// `width` <= 0 lays the text out on one line at its natural width; `lines` > 0 ellipsizes
// after that many lines.
LayoutPtr textLayout(PangoContext* ctx, const std::string& text, const char* font, double width,
                     int lines) {
    LayoutPtr layout(pango_layout_new(ctx));
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    PangoFontDescription* desc = pango_font_description_from_string(font);
    pango_layout_set_font_description(layout.get(), desc);
    pango_font_description_free(desc);
    if (width > 0) {
        pango_layout_set_width(layout.get(), pango_units_from_double(width));
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    }
    if (lines > 0) {
        pango_layout_set_height(layout.get(), -lines);
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    }
    return layout;
}

double widthOf(PangoLayout* layout) {
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    return pango_units_to_double(w);
}
double heightOf(PangoLayout* layout) {
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    return pango_units_to_double(h);
}

// Where everything goes on the card.
struct Plan {
    LayoutPtr title, body, note;
    std::vector<LayoutPtr> caps;
    double textWidth = 0;
    double titleY = 0, bodyY = 0, keysY = 0, capHeight = 0, noteX = 0, noteY = 0;
    ZKNoticePlacement::Size size;
};

double capWidth(PangoLayout* cap) {
    return widthOf(cap) + 2 * kCapPadH;
}

Plan plan(PangoContext* ctx, const ZKNoticeContent& c) {
    Plan p;
    for (const auto& key : c.keys)
        if (!key.empty()) p.caps.push_back(textLayout(ctx, key, kCapFont, -1, 0));
    double capsWidth = 0;
    for (const auto& cap : p.caps) capsWidth += capWidth(cap.get());
    if (!p.caps.empty()) capsWidth += kCapGap * static_cast<double>(p.caps.size() - 1);
    const bool hasNote = !c.keysNote.empty();
    double noteWidth = 0;
    if (hasNote) noteWidth = widthOf(textLayout(ctx, c.keysNote, kBodyFont, -1, 0).get());

    // As wide as the title (or the keys row) needs, within the card's bounds; a body fills
    // the widest card so that it wraps into few lines.
    double want = widthOf(textLayout(ctx, c.title, kTitleFont, -1, 0).get());
    if (!c.body.empty()) want = kTextMax;
    want = std::max(want, capsWidth + (hasNote ? kNoteGap + noteWidth : 0));
    p.textWidth = std::clamp(std::ceil(want), kTextMin, kTextMax);

    double y = kPadTop + 2;
    p.titleY = y;
    p.title = textLayout(ctx, c.title, kTitleFont, p.textWidth, kTitleLines);
    y += heightOf(p.title.get());
    if (!c.body.empty()) {
        y += kBodyGap;
        p.bodyY = y;
        p.body = textLayout(ctx, c.body, kBodyFont, p.textWidth, kBodyLines);
        y += heightOf(p.body.get());
    }
    if (!p.caps.empty() || hasNote) {
        y += kKeysGap;
        p.keysY = y;
        for (const auto& cap : p.caps)
            p.capHeight = std::max(p.capHeight, heightOf(cap.get()) + 2 * kCapPadV);
        double rowBottom = y + p.capHeight;
        if (hasNote) {
            // Beside the keycaps when it fits there, else on a line of its own below them.
            const double beside = p.textWidth - capsWidth - (p.caps.empty() ? 0 : kNoteGap);
            const bool below = !p.caps.empty() && beside < kNoteMin;
            const double width = below ? p.textWidth : beside;
            p.note = textLayout(ctx, c.keysNote, kBodyFont, width, 1);
            const double noteHeight = heightOf(p.note.get());
            if (below) {
                p.noteX = kTextX;
                p.noteY = rowBottom + kBodyGap;
                rowBottom = p.noteY + noteHeight;
            } else {
                p.noteX = kTextX + p.textWidth - width;
                p.noteY = y + (p.capHeight - noteHeight) / 2;
                if (p.caps.empty()) p.noteY = y;
                rowBottom = std::max(rowBottom, p.noteY + noteHeight);
            }
        }
        y = rowBottom;
    }
    const double height = std::max(kPadTop + kMark, y) + kPadBottom;
    p.size = {kTextX + p.textWidth + kPadRight, std::ceil(height)};
    return p;
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void dot(cairo_t* cr, double x, double y) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, 1.5, 0, 2 * M_PI);
    cairo_fill(cr);
}

// The tone's mark: a disc in the accent colour with an i, a tick, an exclamation mark or a
// cross.
void drawMark(cairo_t* cr, ZKNoticeTone tone, Rgba disc, Rgba glyph) {
    const double cx = kPadLeft + kMark / 2, cy = kPadTop + kMark / 2;
    setColour(cr, disc);
    cairo_arc(cr, cx, cy, kMark / 2, 0, 2 * M_PI);
    cairo_fill(cr);
    setColour(cr, glyph);
    cairo_set_line_width(cr, 2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    switch (tone) {
        case ZKNoticeTone::positive:
            cairo_move_to(cr, cx - 5, cy + 0.5);
            cairo_line_to(cr, cx - 1.5, cy + 4);
            cairo_line_to(cr, cx + 5, cy - 4);
            cairo_stroke(cr);
            break;
        case ZKNoticeTone::caution:
            cairo_move_to(cr, cx, cy - 6);
            cairo_line_to(cr, cx, cy + 1.5);
            cairo_stroke(cr);
            dot(cr, cx, cy + 5);
            break;
        case ZKNoticeTone::negative:
            cairo_move_to(cr, cx - 4, cy - 4);
            cairo_line_to(cr, cx + 4, cy + 4);
            cairo_move_to(cr, cx + 4, cy - 4);
            cairo_line_to(cr, cx - 4, cy + 4);
            cairo_stroke(cr);
            break;
        case ZKNoticeTone::neutral:
            dot(cr, cx, cy - 5);
            cairo_move_to(cr, cx, cy - 1.5);
            cairo_line_to(cr, cx, cy + 5.5);
            cairo_stroke(cr);
            break;
    }
}

void showLayout(cairo_t* cr, PangoLayout* layout, double x, double y, Rgba colour) {
    setColour(cr, colour);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
}

}  // namespace

ZKNoticePlacement::Size measure(const ZKNoticeContent& content) {
    ContextPtr ctx = newContext();
    return plan(ctx.get(), content).size;
}

void draw(cairo_t* cr, const ZKNoticeContent& content, ZKNoticePlacement::Size size,
          const Style& style) {
    ContextPtr ctx = newContext();
    pango_cairo_update_context(cr, ctx.get());
    const Plan p = plan(ctx.get(), content);
    const Palette pal = palette(style.dark);
    const Rgba tone = accent(content.tone, style.dark);
    const double w = size.width, h = size.height;

    cairo_save(cr);
    if (style.transparent) {
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    } else {
        setColour(cr, {pal.card.r, pal.card.g, pal.card.b});
        cairo_paint(cr);
    }
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, kRadius);
    setColour(cr, pal.card);
    cairo_fill(cr);

    cairo_save(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, kRadius);
    cairo_clip(cr);
    setColour(cr, tone);
    cairo_rectangle(cr, 0, 0, kStripe, h);
    cairo_fill(cr);
    drawMark(cr, content.tone, tone, pal.glyph);
    showLayout(cr, p.title.get(), kTextX, p.titleY, pal.title);
    if (p.body) showLayout(cr, p.body.get(), kTextX, p.bodyY, pal.body);
    double x = kTextX;
    for (const auto& cap : p.caps) {
        const double cw = capWidth(cap.get());
        roundedRect(cr, x + 0.5, p.keysY + 0.5, cw - 1, p.capHeight - 1, 4);
        setColour(cr, pal.capFill);
        cairo_fill_preserve(cr);
        setColour(cr, pal.capBorder);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        showLayout(cr, cap.get(), x + kCapPadH, p.keysY + kCapPadV, pal.capText);
        x += cw + kCapGap;
    }
    if (p.note) showLayout(cr, p.note.get(), p.noteX, p.noteY, pal.body);
    // The progress rail empties as the dwell runs out.
    if (style.progress >= 0) {
        const double railY = h - kRailInset - 2;
        setColour(cr, pal.track);
        cairo_rectangle(cr, kTextX, railY, p.textWidth, 2);
        cairo_fill(cr);
        setColour(cr, {tone.r, tone.g, tone.b, 0.75});
        cairo_rectangle(cr, kTextX, railY, p.textWidth * (1 - std::clamp(style.progress, 0.0, 1.0)),
                        2);
        cairo_fill(cr);
    }
    cairo_restore(cr);

    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, kRadius);
    setColour(cr, pal.border);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

}  // namespace cvl::NoticeCard
