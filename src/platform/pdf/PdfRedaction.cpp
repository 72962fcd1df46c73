// Flattening to pictures: each page is drawn with MuPDF's draw device, the boxes are filled black
// in the picture itself, and the picture becomes the only content of a page in a new document.
#include "platform/pdf/PdfRedaction.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/SysLog.h"
#include "platform/pdf/PdfInternal.h"

namespace cvl {

using namespace pdf;

namespace {

// A picture whose deflated samples are above this share of the raw size is photo-like.
constexpr double kPhotoRatio = 0.35;
constexpr int kJpegQuality = 85;

struct PixelRect {
    int x0, y0, x1, y1;  // y down, x1 and y1 exclusive
};

struct DrawnPage {
    PdfBitmap bitmap;
    std::vector<PixelRect> boxes;
};

DrawnPage drawPage(pdf_document* doc, int page, double scale,
                   const std::vector<PdfRedactionBox>& boxes) {
    PagePtr p(mu([&](fz_context* c) { return pdf_load_page(c, doc, page); }));
    fz_rect bounds;
    fz_matrix pageCtm;
    mu([&](fz_context* c) { pdf_page_transform(c, p.get(), &bounds, &pageCtm); });
    // `bounds` is the crop box as shown (rotation applied), in points.
    int w = int(std::ceil((bounds.x1 - bounds.x0) * scale - 0.001));
    int h = int(std::ceil((bounds.y1 - bounds.y0) * scale - 0.001));
    if (w <= 0 || h <= 0 || double(w) * h >= kMaxRenderPixels)
        throw MuError("page " + std::to_string(page + 1) + " has no drawable size");
    DrawnPage out;
    out.bitmap.width = w;
    out.bitmap.height = h;
    out.bitmap.dpi = int(std::lround(72 * scale));
    out.bitmap.pixels.assign(size_t(w) * size_t(h) * 3, 255);
    fz_matrix ctm =
        fz_concat(fz_translate(-bounds.x0, -bounds.y0), fz_scale(float(scale), float(scale)));
    {
        PixmapPtr pix(mu([&](fz_context* c) {
            return fz_new_pixmap_with_data(c, fz_device_rgb(c), w, h, nullptr, 0, w * 3,
                                           out.bitmap.pixels.data());
        }));
        DevicePtr dev(
            mu([&](fz_context* c) { return fz_new_draw_device(c, fz_identity, pix.get()); }));
        mu([&](fz_context* c) { pdf_run_page(c, p.get(), dev.get(), ctm, nullptr); });
        mu([&](fz_context* c) { fz_close_device(c, dev.get()); });
    }
    fz_matrix toPixels = fz_concat(pageCtm, ctm);
    for (const auto& box : boxes) {
        if (box.page != page || box.rect.isEmpty()) continue;
        fz_rect r = fz_transform_rect(toFz(box.rect), toPixels);
        PixelRect px{
            std::clamp(int(std::floor(r.x0)), 0, w), std::clamp(int(std::floor(r.y0)), 0, h),
            std::clamp(int(std::ceil(r.x1)), 0, w), std::clamp(int(std::ceil(r.y1)), 0, h)};
        if (px.x1 <= px.x0 || px.y1 <= px.y0) continue;
        for (int y = px.y0; y < px.y1; ++y)
            std::fill_n(out.bitmap.pixels.begin() + (ptrdiff_t(y) * w + px.x0) * 3,
                        size_t(px.x1 - px.x0) * 3, std::uint8_t(0));
        out.boxes.push_back(px);
    }
    return out;
}

bool isGrey(const PdfBitmap& b) {
    for (size_t i = 0; i + 2 < b.pixels.size(); i += 3)
        if (b.pixels[i] != b.pixels[i + 1] || b.pixels[i] != b.pixels[i + 2]) return false;
    return true;
}

std::string deflate(const std::vector<std::uint8_t>& samples) {
    uLongf size = compressBound(uLong(samples.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, samples.data(),
                  uLong(samples.size()), 6) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

// The page picture as an image XObject: Flate (grey or RGB) for text-like pictures, JPEG for
// photo-like ones. Sets `lossy` when JPEG was chosen.
pdf_obj* addPicture(pdf_document* doc, const PdfBitmap& bitmap, bool& lossy) {
    const bool grey = isGrey(bitmap);
    std::vector<std::uint8_t> samples;
    if (grey) {
        samples.resize(bitmap.pixels.size() / 3);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = bitmap.pixels[i * 3];
    }
    const auto& raw = grey ? samples : bitmap.pixels;
    std::string data = deflate(raw);
    std::string filter = "FlateDecode";
    lossy = false;
    if (data.empty() || double(data.size()) > kPhotoRatio * double(raw.size())) {
        std::optional<std::string> jpeg =
            grey ? encodeGreyJpeg(samples, bitmap.width, bitmap.height, kJpegQuality)
                 : encodeJpeg(bitmap, kJpegQuality);
        if (jpeg && (data.empty() || jpeg->size() < data.size())) {
            data = std::move(*jpeg);
            filter = "DCTDecode";
            lossy = true;
        }
    }
    if (data.empty()) throw MuError("cannot encode a page picture");
    BufferPtr buffer(mu([&](fz_context* c) {
        return fz_new_buffer_from_copied_data(
            c, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    }));
    ObjPtr dict(mu([&](fz_context* c) { return pdf_new_dict(c, doc, 8); }));
    mu([&](fz_context* c) {
        pdf_dict_put(c, dict.get(), PDF_NAME(Type), PDF_NAME(XObject));
        pdf_dict_put(c, dict.get(), PDF_NAME(Subtype), PDF_NAME(Image));
        pdf_dict_put_int(c, dict.get(), PDF_NAME(Width), bitmap.width);
        pdf_dict_put_int(c, dict.get(), PDF_NAME(Height), bitmap.height);
        pdf_dict_put(c, dict.get(), PDF_NAME(ColorSpace),
                     grey ? PDF_NAME(DeviceGray) : PDF_NAME(DeviceRGB));
        pdf_dict_put_int(c, dict.get(), PDF_NAME(BitsPerComponent), 8);
        pdf_dict_put_name(c, dict.get(), PDF_NAME(Filter), filter.c_str());
    });
    return mu([&](fz_context* c) { return pdf_add_stream(c, doc, buffer.get(), dict.get(), 1); });
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

}  // namespace

Result<PdfFlattened> pdfFlattenToPictures(const PdfDocument& source,
                                          const std::vector<PdfRedactionBox>& boxes,
                                          const PdfFlattenOptions& options) {
    auto& impl = *source.impl();
    if (!impl.doc) return Failure{"The document is empty."};
    if (!(options.dpi >= 36 && options.dpi <= 600))
        return Failure{"The resolution must be 36 to 600 dpi."};
    const double scale = options.dpi / 72.0;
    PdfDocument output;
    if (!output.impl()->doc) return Failure{"Corvello could not create the new document."};
    pdf_document* out = output.impl()->doc.get();
    PdfFlattened result;
    std::vector<std::vector<PdfTextLayerLine>> layers;
    try {
        std::lock_guard guard(impl.lock);
        if (impl.locked) return Failure{"The document is locked with a password."};
        pdf_document* doc = impl.doc.get();
        const int pages = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
        if (pages <= 0) return Failure{"The document has no pages."};
        for (int i = 0; i < pages; ++i) {
            if (options.progress && !options.progress(i, pages)) return Failure{"Canceled."};
            DrawnPage drawn = drawPage(doc, i, scale, boxes);
            result.boxes += int(drawn.boxes.size());
            bool lossy = false;
            ObjPtr picture(addPicture(out, drawn.bitmap, lossy));
            const double wPt = drawn.bitmap.width / scale, hPt = drawn.bitmap.height / scale;
            std::string content = "q " + num(wPt) + " 0 0 " + num(hPt) + " 0 0 cm /Im0 Do Q\n";
            if (lossy && !drawn.boxes.empty()) {
                content += "0 g\n";
                for (const auto& b : drawn.boxes)
                    content += num(b.x0 / scale) + " " + num(hPt - b.y1 / scale) + " " +
                               num((b.x1 - b.x0) / scale) + " " + num((b.y1 - b.y0) / scale) +
                               " re f\n";
            }
            ObjPtr resources(mu([&](fz_context* c) { return pdf_new_dict(c, out, 1); }));
            mu([&](fz_context* c) {
                pdf_obj* x = pdf_dict_put_dict(c, resources.get(), PDF_NAME(XObject), 1);
                pdf_dict_puts(c, x, "Im0", picture.get());
            });
            BufferPtr contents(mu([&](fz_context* c) {
                return fz_new_buffer_from_copied_data(
                    c, reinterpret_cast<const unsigned char*>(content.data()), content.size());
            }));
            ObjPtr pageObj(mu([&](fz_context* c) {
                return pdf_add_page(c, out, fz_make_rect(0, 0, float(wPt), float(hPt)), 0,
                                    resources.get(), contents.get());
            }));
            mu([&](fz_context* c) { pdf_insert_page(c, out, -1, pageObj.get()); });
            layers.push_back(options.textLayer ? options.textLayer(drawn.bitmap)
                                               : std::vector<PdfTextLayerLine>{});
        }
        result.pages = pages;
        if (options.progress) options.progress(pages, pages);
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot flatten the document: %s", e.what());
        return Failure{"Corvello could not draw every page of the document, so no copy was made."};
    }
    for (size_t i = 0; i < layers.size(); ++i) {
        if (layers[i].empty()) continue;
        if (!pdfAddInvisibleText(output, int(i), layers[i]))
            return Failure{"Corvello could not add the text layer, so no copy was made."};
        result.textLines += int(layers[i].size());
    }
    PdfSaveOptions save;
    save.garbageCollect = true;
    save.compress = true;
    auto bytes = output.save(save);
    if (!bytes) return Failure{"Corvello could not write the flattened copy."};
    result.bytes = std::move(*bytes);
    return result;
}

}  // namespace cvl
