#include "operations/SearchableLayer.h"

#include <mutex>

namespace cvl {

namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}

PictureRecogniser& installed() {
    static PictureRecogniser r;
    return r;
}

}  // namespace

void setPictureRecogniser(PictureRecogniser recogniser) {
    std::lock_guard guard(lock());
    installed() = std::move(recogniser);
}

PictureRecogniser pictureRecogniser() {
    std::lock_guard guard(lock());
    return installed();
}

std::vector<PdfTextLayerLine> textLayerFromLines(const std::vector<RecognisedLine>& lines,
                                                 const PdfBitmap& picture) {
    std::vector<PdfTextLayerLine> out;
    if (picture.dpi <= 0) return out;
    const double w = picture.width * 72.0 / picture.dpi;
    const double h = picture.height * 72.0 / picture.dpi;
    for (const auto& l : lines) {
        if (l.text.empty() || !(l.width > 0) || !(l.height > 0)) continue;
        out.push_back(PdfTextLayerLine{
            l.text, PdfRect{l.x * w, l.y * h, (l.x + l.width) * w, (l.y + l.height) * h}});
    }
    return out;
}

}  // namespace cvl
