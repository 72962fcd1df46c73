#include "operations/OcrPages.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "search/CVSearchIndex.h"
#include "search/OcrCache.h"
#include "search/OrderedWork.h"
#include "search/UnicodeText.h"

namespace cvl::Ocr {
namespace {

using nlohmann::json;

// Pages recognised ahead of the one handed over at most: bounds the work a cancel throws away.
constexpr std::size_t kRecognizeAhead = 4;

std::string joinLines(const std::vector<OcrLine>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty()) text += '\n';
        text += line.text;
    }
    return text;
}

std::optional<PdfDocument> openReadable(const std::string& path) {
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked()) return std::nullopt;
    return std::move(*doc);
}

}  // namespace

std::vector<OcrLine> ocrImage(const PdfGreyBitmap& image) {
    if (image.pixels.size() != std::size_t(image.width) * std::size_t(image.height)) return {};
    return TextRecognizer::recognize(
        OcrImageView{image.pixels.data(), image.width, image.height, 1, image.dpi});
}

std::vector<PageRecord> runOCRDoc(const std::string& path, const Progress& progress) {
    auto doc = openReadable(path);
    if (!doc) return {};
    const int total = std::min(doc->pageCount(), kMaxPages);
    std::vector<PageRecord> records;
    records.reserve(std::size_t(std::max(total, 0)));
    OrderedWork<PageRecord> work(
        std::size_t(std::max(total, 0)),
        [&doc](std::size_t i) {
            PageRecord r{int(i) + 1, {}};
            if (auto image = renderPageGrey(*doc, int(i), kRecognitionScale, PdfBox::media))
                r.text = joinLines(ocrImage(*image));
            return r;
        },
        kRecognizeAhead);
    for (int i = 0; i < total; ++i) {
        records.push_back(work.take(std::size_t(i)));
        if (progress) progress(i + 1, total);
    }
    return records;
}

std::vector<LayerItem> ocrPageItems(const PdfDocument& doc, int page) {
    auto box = doc.mediaBox(page);
    if (!box || box->isEmpty()) return {};
    GreyRenderOptions unrotated;
    unrotated.ignoreRotation = true;
    auto image = renderPageGrey(doc, page, kRecognitionScale, PdfBox::media, unrotated);
    if (!image) return {};
    std::vector<LayerItem> items;
    for (const auto& line : ocrImage(*image)) {
        items.push_back(LayerItem{line.text, box->x0 + line.x * box->width(),
                                  box->y0 + line.y * box->height(), line.width * box->width(),
                                  line.height * box->height()});
    }
    return items;
}

bool imageHasInk(const PdfBitmap& image) {
    const std::size_t pixels = std::size_t(image.width) * std::size_t(image.height);
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != pixels * 3) return false;
    const std::size_t limit = pixels / 400;
    std::size_t ink = 0;
    const std::uint8_t* p = image.pixels.data();
    for (std::size_t i = 0; i < pixels; ++i, p += 3) {
        if (0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2] < 200.0 && ++ink > limit) return true;
    }
    return false;
}

double pageInkFraction(const PdfDocument& doc, int page) {
    auto box = doc.mediaBox(page);
    if (!box || !(box->width() > 1) || !(box->height() > 1)) return 1;
    const double scale = std::min(800.0 / std::max(box->width(), box->height()), 1.4);
    GreyRenderOptions options;
    options.atLeastOnePixel = true;
    auto image = renderPageGrey(doc, page, scale, PdfBox::media, options);
    if (!image || image->pixels.empty()) return 1;
    std::size_t dark = 0;
    for (std::uint8_t v : image->pixels) dark += v <= 204;
    return double(dark) / double(image->pixels.size());
}

std::vector<int> scanPagesNoText(const std::string& path, int cap) {
    auto doc = openReadable(path);
    if (!doc) return {};
    const int count = std::min(doc->pageCount(), std::max(cap, 0));
    auto cached = OcrCache::ocrCacheRead(path);
    std::vector<int> out;
    for (int i = 0; i < count; ++i) {
        if (!UnicodeText::trimWhitespace(doc->pageText(i).value_or("")).empty()) continue;
        if (cached && cached->count(i + 1)) continue;  // the reader keeps only non-empty texts
        auto image = renderPageImage(*doc, i, kScanTestScale, PdfBox::media);
        if (image && imageHasInk(*image)) out.push_back(i + 1);
    }
    return out;
}

int visibleCharCount(const std::string& text) {
    int n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 1;
        char32_t cp = c;
        if (len > 1 && i + len <= text.size()) {
            cp = c & (0xFF >> (len + 1));
            for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
        }
        i += len;
        bool space = cp == ' ' || cp == '\t' || UnicodeText::isSpaceChar(cp) ||
                     UnicodeText::isNewlineChar(cp);
        if (!space) ++n;
    }
    return n;
}

json pagesJson(const std::vector<PageRecord>& pages) {
    json out = json::array();
    for (const auto& p : pages) out.push_back({{"page", p.page}, {"text", p.text}});
    return out;
}

json itemsJson(const std::vector<LayerItem>& items) {
    json out = json::array();
    for (const auto& it : items)
        out.push_back({{"str", it.str},
                       {"x", it.x},
                       {"y", it.y},
                       {"width", it.width},
                       {"height", it.height}});
    return out;
}

bool ocrCacheWrite(const std::string& path, const std::vector<PageRecord>& pages) {
    auto key = OcrCache::ocrCacheKey(path);
    if (!key) return false;
    json entry{{"path", path}, {"pages", pagesJson(pages)}};
    return writeFileAtomic(OcrCache::ocrCacheDir() + "/" + *key + ".json",
                           entry.dump(-1, ' ', false, json::error_handler_t::replace))
        .ok();
}

bool storeRecognisedText(const std::string& path, const std::vector<PageRecord>& pages) {
    if (!ocrCacheWrite(path, pages)) return false;
    CVSearchIndex::queue().async([path] {
        // The file itself did not change: only dropping its rows makes the next run read the
        // recognised text.
        if (Status forgotten = CVSearchIndex::shared().forget(path); !forgotten)
            cvlLog("ocr: %s stays indexed without its recognised text: %s", path.c_str(),
                   forgotten.error().c_str());
    });
    return true;
}

}  // namespace cvl::Ocr
