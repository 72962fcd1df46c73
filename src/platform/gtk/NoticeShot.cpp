// One notice card drawn offscreen into PNG bytes, with the same drawing as the live card and
// without a display (corvello --notice-shot).
#include <cairo.h>

#include <cmath>
#include <string>

#include "app/DesktopEntry.h"
#include "platform/gtk/NoticeCard.h"

namespace cvl {
namespace {

constexpr double kShotScale = 2;  // pixels per point, sharp on high-density screens

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string drawNoticeCard(const ZKNoticeContent& content, bool dark, double progress, int& width,
                           int& height) {
    const auto size = NoticeCard::measure(content);
    width = static_cast<int>(std::ceil(size.width * kShotScale));
    height = static_cast<int>(std::ceil(size.height * kShotScale));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    std::string png;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_t* cr = cairo_create(surface);
        cairo_scale(cr, kShotScale, kShotScale);
        NoticeCard::draw(cr, content, size, {dark, true, progress});
        const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        if (drawn &&
            cairo_surface_write_to_png_stream(surface, appendPng, &png) != CAIRO_STATUS_SUCCESS)
            png.clear();
    }
    cairo_surface_destroy(surface);
    return png;
}

}  // namespace cvl
