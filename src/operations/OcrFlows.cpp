#include "operations/OcrFlows.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <nlohmann/json.hpp>

#include "operations/OcrPages.h"
#include "platform/FileIO.h"
#include "search/OcrCache.h"
#include "search/OrderedWork.h"
#include "search/UnicodeText.h"

namespace cvl::OcrFlows {
namespace {

using nlohmann::json;

std::atomic<long long> runCounter{0};

// Pages recognised ahead of the one being answered: what a cancel may throw away.
constexpr std::size_t kLayerAhead = 2;
constexpr int kMaxVerifyPages = 20;
constexpr double kAreaScale = 4.0;
constexpr double kAgreementOk = 0.8;

std::optional<PdfDocument> openReadable(const std::string& path) {
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked()) return std::nullopt;
    return std::move(*doc);
}

std::u32string comparable(const std::string& text) {
    std::u32string folded = UnicodeText::foldForSearch(text);
    std::erase_if(folded, [](char32_t c) {
        return c == U' ' || c == U'\t' || UnicodeText::isSpaceChar(c) ||
               UnicodeText::isNewlineChar(c);
    });
    return folded;
}

std::string joinLines(const std::vector<OcrLine>& lines) {
    std::string text;
    for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line.text;
    return text;
}

}  // namespace

long long bumpSearchableRun() {
    return ++runCounter;
}

long long searchableRun() {
    return runCounter.load();
}

json textLayerAnswer(const std::string& path, const std::function<bool()>& keepGoing,
                     const std::function<void(const LayerProgress&)>& progress) {
    if (!isRegularFile(path)) return {{"pages", json::array()}, {"reason", "missing"}};
    json pages = json::array();
    auto doc = openReadable(path);
    if (!doc) return {{"pages", pages}, {"cancelled", false}};
    const int count = std::min(doc->pageCount(), Ocr::kMaxPages);
    std::vector<int> wanted;  // 0-based
    for (int i = 0; i < count; ++i)
        if (Ocr::visibleCharCount(doc->pageText(i).value_or("")) < Ocr::kLayerMinChars)
            wanted.push_back(i);

    const int total = int(wanted.size());
    bool cancelled = false;
    OrderedWork<std::vector<Ocr::LayerItem>> work(
        wanted.size(), [&](std::size_t i) { return Ocr::ocrPageItems(*doc, wanted[i]); },
        kLayerAhead);
    for (int k = 0; k < total; ++k) {
        if (keepGoing && !keepGoing()) {
            cancelled = true;
            break;
        }
        if (progress) progress(LayerProgress{k, total, wanted[std::size_t(k)] + 1});
        auto items = work.take(std::size_t(k));
        if (!items.empty())
            pages.push_back(
                {{"page", wanted[std::size_t(k)] + 1}, {"items", Ocr::itemsJson(items)}});
    }
    return {{"pages", pages}, {"cancelled", cancelled}};
}

json scanInfo(const std::string& path) {
    json out{{"path", path}};
    auto doc = openReadable(path);
    if (!doc) {
        out["error"] = isRegularFile(path) ? "This PDF cannot be read, or it is locked."
                                           : "There is no file at this path.";
        return out;
    }
    const int count = doc->pageCount();
    bool textLayer = false;
    for (int i = 0; i < count && !textLayer; ++i)
        textLayer = UnicodeText::graphemeCount(
                        UnicodeText::trimWhitespace(doc->pageText(i).value_or(""))) >= 8;
    const bool ocrText = OcrCache::ocrCacheRead(path).has_value();
    // A document with a text layer is not a scan; its pages are not drawn for the ink test.
    std::vector<int> noText;
    if (!textLayer) noText = Ocr::scanPagesNoText(path, Ocr::kMaxPages);
    out["pages"] = count;
    out["textLayer"] = textLayer;
    out["ocrText"] = ocrText;
    out["noTextPages"] = noText;
    out["scanned"] = !textLayer && (ocrText || !noText.empty());
    return out;
}

json verifyText(const std::string& path, const std::vector<int>& requested) {
    json out{{"path", path}};
    auto doc = openReadable(path);
    if (!doc) {
        out["error"] = "This PDF cannot be read, or it is locked.";
        return out;
    }
    std::vector<int> pages;
    for (int p : requested)
        if (p >= 1 && p <= doc->pageCount() && int(pages.size()) < kMaxVerifyPages)
            pages.push_back(p);
    if (requested.empty())
        for (int p = 1; p <= std::min(doc->pageCount(), kMaxVerifyPages); ++p) pages.push_back(p);

    OrderedWork<std::string> images(
        pages.size(),
        [&](std::size_t i) {
            auto image = renderPageGrey(*doc, pages[i] - 1, Ocr::kRecognitionScale, PdfBox::media);
            return image ? joinLines(Ocr::ocrImage(*image)) : std::string();
        },
        2);
    json list = json::array();
    json mismatched = json::array();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string layer = doc->pageText(pages[i] - 1).value_or("");
        const std::string seen = images.take(i);
        const std::size_t layerChars = comparable(layer).size();
        const std::size_t imageChars = comparable(seen).size();
        const double agreement = textAgreement(layer, seen);
        std::string verdict = "ok";
        if (layerChars == 0 && imageChars == 0)
            verdict = "blank";
        else if (layerChars == 0)
            verdict = "image-only";
        else if (imageChars == 0)
            verdict = "hidden";
        else if (agreement < kAgreementOk)
            verdict = "mismatch";
        if (verdict != "ok" && verdict != "blank") mismatched.push_back(pages[i]);
        list.push_back({{"page", pages[i]},
                        {"layerChars", layerChars},
                        {"imageChars", imageChars},
                        {"agreement", std::round(agreement * 1000) / 1000},
                        {"verdict", verdict}});
    }
    out["pages"] = list;
    out["mismatched"] = mismatched;
    return out;
}

std::vector<Area> parseAreas(const json& list) {
    std::vector<Area> out;
    if (!list.is_array()) return out;
    auto number = [](const json& o, const char* key) {
        auto it = o.find(key);
        return it != o.end() && it->is_number() ? it->get<double>() : 0.0;
    };
    for (const auto& v : list) {
        Area a;
        if (v.is_number_integer()) {
            a.page = v.get<int>();
        } else if (v.is_object() && v.contains("page") && v["page"].is_number_integer()) {
            a.page = v["page"].get<int>();
            a.x = number(v, "x");
            a.y = number(v, "y");
            a.width = number(v, "width");
            a.height = number(v, "height");
        } else {
            continue;
        }
        if (a.page >= 1) out.push_back(a);
    }
    return out;
}

json areaText(const std::string& path, const std::vector<Area>& areas) {
    json pages = json::array();
    auto doc = openReadable(path);
    if (!doc) return {{"pages", pages}};
    for (const auto& area : areas) {
        json entry{{"page", area.page}, {"text", ""}, {"items", json::array()}};
        auto box = doc->mediaBox(area.page - 1);
        GreyRenderOptions unrotated;
        unrotated.ignoreRotation = true;
        std::optional<PdfGreyBitmap> image;
        if (box && !box->isEmpty())
            image = renderPageGrey(*doc, area.page - 1, kAreaScale, PdfBox::media, unrotated);
        if (!image) {
            pages.push_back(entry);
            continue;
        }
        // The area in pixels of the page image (rows top to bottom), clipped to it.
        PdfRect r{area.x, area.y, area.x + area.width, area.y + area.height};
        if (!(area.width > 0) || !(area.height > 0)) r = *box;
        const double s = double(image->width) / box->width();
        int x0 = std::clamp(int(std::floor((r.x0 - box->x0) * s)), 0, image->width);
        int x1 = std::clamp(int(std::ceil((r.x1 - box->x0) * s)), 0, image->width);
        int y0 = std::clamp(int(std::floor((box->y1 - r.y1) * s)), 0, image->height);
        int y1 = std::clamp(int(std::ceil((box->y1 - r.y0) * s)), 0, image->height);
        if (x1 - x0 < 2 || y1 - y0 < 2) {
            pages.push_back(entry);
            continue;
        }
        PdfGreyBitmap crop;
        crop.width = x1 - x0;
        crop.height = y1 - y0;
        crop.dpi = image->dpi;
        crop.pixels.resize(std::size_t(crop.width) * std::size_t(crop.height));
        for (int y = y0; y < y1; ++y)
            std::copy_n(image->pixels.data() + std::size_t(y) * std::size_t(image->width) + x0,
                        crop.width,
                        crop.pixels.data() + std::size_t(y - y0) * std::size_t(crop.width));
        image.reset();
        const auto lines = Ocr::ocrImage(crop);
        std::vector<Ocr::LayerItem> items;
        // Crop coordinates back to page points: the crop's bottom-left corner is
        // (x0, y1) in pixels.
        const double left = box->x0 + x0 / s;
        const double bottom = box->y1 - y1 / s;
        const double w = crop.width / s;
        const double h = crop.height / s;
        for (const auto& line : lines)
            items.push_back(Ocr::LayerItem{line.text, left + line.x * w, bottom + line.y * h,
                                           line.width * w, line.height * h});
        entry["text"] = joinLines(lines);
        entry["items"] = Ocr::itemsJson(items);
        pages.push_back(entry);
    }
    return {{"pages", pages}};
}

std::size_t editDistance(const std::u32string& a, const std::u32string& b) {
    if (a.size() < b.size()) return editDistance(b, a);
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

double textAgreement(const std::string& a, const std::string& b) {
    const std::u32string x = comparable(a);
    const std::u32string y = comparable(b);
    const std::size_t longer = std::max(x.size(), y.size());
    if (longer == 0) return 1;
    return 1.0 - double(editDistance(x, y)) / double(longer);
}

}  // namespace cvl::OcrFlows
