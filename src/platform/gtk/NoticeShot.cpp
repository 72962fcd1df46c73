// Renders sample notice cards into PNG files (corvello --notice-shot DIR), with the same
// drawing as the live card, offscreen and without a display.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/DesktopEntry.h"
#include "platform/FileIO.h"
#include "platform/gtk/NoticeCard.h"
#include "updates/CorvelloNotice.h"

namespace cvl {
namespace {

constexpr double kShotScale = 2;  // pixels per point, sharp on high-density screens

struct Sample {
    std::string file;
    ZKNoticeContent content;
    bool dark = false;
    double progress = -1;
};

ZKNoticeContent fromCatalogue(const char* id) {
    if (auto entry = CorvelloNoticeCopy::entry(id)) return *entry;
    return CorvelloNotice::make(std::nullopt, id, "");
}

ZKNoticeContent withKeys(ZKNoticeContent c, std::vector<std::string> keys, std::string note) {
    c.keys = std::move(keys);
    c.keysNote = std::move(note);
    return c;
}

// One card per tone, cards with a body, with keycaps and with a title long enough to wrap,
// and two in the dark look.
std::vector<Sample> samples() {
    return {
        {"notice-neutral.png", fromCatalogue("already-checking"), false, 0.35},
        {"notice-positive.png", fromCatalogue("up-to-date"), false, 0.6},
        {"notice-caution.png",
         withKeys(CorvelloNotice::make(std::nullopt, "Open a document first", ""), {"Ctrl", "O"},
                  "opens one"),
         false, 0.2},
        {"notice-negative.png", fromCatalogue("feed-unreachable"), false, -1},
        {"notice-keys.png",
         withKeys(CorvelloNotice::make(std::nullopt, "Search this folder",
                                       "Every document in it is indexed."),
                  {"Ctrl", "Shift", "F"}, "finds words in all of them"),
         false, 0.5},
        {"notice-long-title.png",
         CorvelloNotice::make(std::nullopt,
                              "Couldn't save the signed copy of Lease agreement for "
                              "12 Harbour Street, second floor",
                              "Nothing was written and the original is untouched."),
         false, -1},
        {"notice-long-body.png", fromCatalogue("signed-copy-failed"), false, -1},
        {"notice-positive-dark.png", fromCatalogue("up-to-date"), true, 0.6},
        {"notice-negative-dark.png", fromCatalogue("restore-failed"), true, -1},
    };
}

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The card as PNG bytes; empty when cairo could not make it.
std::string renderPng(const Sample& s, int& width, int& height) {
    const auto size = NoticeCard::measure(s.content);
    width = static_cast<int>(std::ceil(size.width * kShotScale));
    height = static_cast<int>(std::ceil(size.height * kShotScale));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    std::string png;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_t* cr = cairo_create(surface);
        cairo_scale(cr, kShotScale, kShotScale);
        NoticeCard::draw(cr, s.content, size, {s.dark, true, s.progress});
        const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        if (drawn &&
            cairo_surface_write_to_png_stream(surface, appendPng, &png) != CAIRO_STATUS_SUCCESS)
            png.clear();
    }
    cairo_surface_destroy(surface);
    return png;
}

}  // namespace

int runNoticeShot(const std::string& dir) {
    if (dir.empty()) {
        std::fprintf(stderr, "notice-shot: needs a folder to write into\n");
        return 1;
    }
    if (!isDirectory(dir) && !makeDirs(dir)) {
        std::fprintf(stderr, "notice-shot: cannot make the folder %s\n", dir.c_str());
        return 1;
    }
    int failed = 0;
    for (const Sample& s : samples()) {
        const std::string path = (dir.back() == '/' ? dir : dir + "/") + s.file;
        int width = 0, height = 0;
        const std::string png = renderPng(s, width, height);
        if (png.empty()) {
            std::fprintf(stderr, "notice-shot: could not draw %s\n", s.file.c_str());
            ++failed;
            continue;
        }
        if (auto written = writeFileAtomic(path, png); !written) {
            std::fprintf(stderr, "notice-shot: %s: %s\n", path.c_str(), written.error().c_str());
            ++failed;
            continue;
        }
        std::printf("%s %dx%d %s\n", path.c_str(), width, height,
                    toneRawValue(s.content.tone).c_str());
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace cvl
