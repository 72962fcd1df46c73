#include "operations/SearchableLayer.h"

#include <mutex>

#include "platform/ocr/TextRecognizer.h"

namespace cvl {

namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}

// Text recognition is the recogniser when its language data is installed.
PictureRecogniser& installed() {
    static PictureRecogniser r =
        TextRecognizer::available() ? textRecognitionRecogniser() : PictureRecogniser{};
    return r;
}

}  // namespace

PictureRecogniser textRecognitionRecogniser() {
    return [](const PdfBitmap& picture) {
        OcrImageView view;
        view.samples = picture.pixels.data();
        view.width = picture.width;
        view.height = picture.height;
        view.channels = 3;
        view.dpi = picture.dpi;
        std::vector<RecognisedLine> out;
        for (auto& line : TextRecognizer::recognize(view))
            out.push_back({std::move(line.text), line.x, line.y, line.width, line.height});
        return out;
    };
}

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
