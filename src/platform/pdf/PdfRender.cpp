// Page rendering with MuPDF's draw device; PNG through MuPDF, JPEG through libjpeg.
#include "platform/pdf/PdfRender.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
#include <zlib.h>
}

#include "platform/SysLog.h"
#include "platform/pdf/PdfInternal.h"

namespace cvl {

using namespace pdf;

namespace {

struct RenderRequest {
    double scale = 1;
    PdfBox which = PdfBox::media;
    int components = 3;  // 3: RGB, 1: grey
    bool ignoreRotation = false;
    bool atLeastOnePixel = false;
};

struct Rendered {
    int width = 0;
    int height = 0;
    int dpi = 72;
    std::vector<std::uint8_t> pixels;
};

std::optional<Rendered> renderPage(const PdfDocument& document, int page,
                                   const RenderRequest& request) {
    auto& impl = *document.impl();
    const double scale = request.scale;
    if (!impl.doc || !(scale > 0) || !std::isfinite(scale)) return std::nullopt;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return std::nullopt;
    try {
        pdf_document* doc = impl.doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return std::nullopt;
        PagePtr p(mu([&](fz_context* c) { return pdf_load_page(c, doc, page); }));
        // The box in the page's own space: the media box, or the crop box clipped to it.
        fz_rect media = mu([&](fz_context* c) {
            return pdf_to_rect(c, pdf_dict_get_inheritable(c, p->obj, PDF_NAME(MediaBox)));
        });
        if (fz_is_empty_rect(media)) media = fz_make_rect(0, 0, 612, 792);
        fz_rect box = media;
        if (request.which == PdfBox::crop) {
            pdf_obj* cropObj = mu([&](fz_context* c) {
                return pdf_dict_get_inheritable(c, p->obj, PDF_NAME(CropBox));
            });
            if (cropObj) {
                fz_rect crop = fz_intersect_rect(
                    mu([&](fz_context* c) { return pdf_to_rect(c, cropObj); }), media);
                if (!fz_is_empty_rect(crop)) box = crop;
            }
        }
        double w = std::trunc((box.x1 - box.x0) * scale);
        double h = std::trunc((box.y1 - box.y0) * scale);
        if (request.atLeastOnePixel && box.x1 > box.x0 && box.y1 > box.y0) {
            w = std::max(w, 1.0);
            h = std::max(h, 1.0);
        }
        if (!(w > 0) || !(h > 0) || w * h >= kMaxRenderPixels) return std::nullopt;

        // pdf_run_page applies the page's own transform (rotation included); to draw the page
        // unrotated that transform is undone and a plain flip of the y axis put in its place.
        fz_rect bounds;
        fz_matrix pageCtm;
        mu([&](fz_context* c) { pdf_page_transform(c, p.get(), &bounds, &pageCtm); });
        fz_matrix undo = fz_identity;
        if (request.ignoreRotation) {
            fz_matrix flip = fz_make_matrix(1, 0, 0, -1, 0, 0);
            undo = fz_concat(fz_invert_matrix(pageCtm), flip);
            pageCtm = flip;
        }
        fz_rect shown = fz_transform_rect(box, pageCtm);  // the box as displayed
        bool quarter = std::fabs((shown.x1 - shown.x0) - (box.x1 - box.x0)) > 0.01 &&
                       std::fabs((shown.x1 - shown.x0) - (box.y1 - box.y0)) < 0.01;
        if (quarter) std::swap(w, h);

        Rendered out;
        out.width = int(w);
        out.height = int(h);
        out.dpi = int(std::lround(72 * scale));
        const int n = request.components;
        out.pixels.assign(size_t(out.width) * size_t(out.height) * size_t(n), 255);
        PixmapPtr pix(mu([&](fz_context* c) {
            fz_colorspace* cs = n == 1 ? fz_device_gray(c) : fz_device_rgb(c);
            return fz_new_pixmap_with_data(c, cs, out.width, out.height, nullptr, 0, out.width * n,
                                           out.pixels.data());
        }));
        fz_matrix ctm = fz_concat(undo, fz_concat(fz_translate(-shown.x0, -shown.y0),
                                                  fz_scale(float(scale), float(scale))));
        DevicePtr dev(
            mu([&](fz_context* c) { return fz_new_draw_device(c, fz_identity, pix.get()); }));
        try {
            mu([&](fz_context* c) { pdf_run_page(c, p.get(), dev.get(), ctm, nullptr); });
            mu([&](fz_context* c) { fz_close_device(c, dev.get()); });
        } catch (...) {
            dev.reset();
            pix.reset();
            throw;
        }
        dev.reset();
        pix.reset();
        return out;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot render page %d: %s", page + 1, e.what());
        return std::nullopt;
    }
}

// The rendering as one of the public bitmap types (they share their members).
template <class Bitmap>
std::optional<Bitmap> asBitmap(std::optional<Rendered> r) {
    if (!r) return std::nullopt;
    Bitmap bitmap;
    bitmap.width = r->width;
    bitmap.height = r->height;
    bitmap.dpi = r->dpi;
    bitmap.pixels = std::move(r->pixels);
    return bitmap;
}

}  // namespace

std::optional<PdfBitmap> renderPageImage(const PdfDocument& document, int page, double scale,
                                         PdfBox which) {
    return asBitmap<PdfBitmap>(
        renderPage(document, page, RenderRequest{scale, which, 3, false, false}));
}

std::optional<PdfGreyBitmap> renderPageGrey(const PdfDocument& document, int page, double scale,
                                            PdfBox which, const GreyRenderOptions& options) {
    return asBitmap<PdfGreyBitmap>(renderPage(
        document, page,
        RenderRequest{scale, which, 1, options.ignoreRotation, options.atLeastOnePixel}));
}

std::optional<std::string> encodePng(const PdfBitmap& bitmap) {
    if (bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.pixels.size() != size_t(bitmap.width) * size_t(bitmap.height) * 3)
        return std::nullopt;
    try {
        // MuPDF only reads the samples; the pixmap borrows them.
        auto* samples = const_cast<unsigned char*>(bitmap.pixels.data());
        PixmapPtr pix(mu([&](fz_context* c) {
            return fz_new_pixmap_with_data(c, fz_device_rgb(c), bitmap.width, bitmap.height,
                                           nullptr, 0, bitmap.width * 3, samples);
        }));
        mu([&](fz_context* c) { fz_set_pixmap_resolution(c, pix.get(), bitmap.dpi, bitmap.dpi); });
        BufferPtr png(mu([&](fz_context* c) {
            return fz_new_buffer_from_pixmap_as_png(c, pix.get(), fz_default_color_params);
        }));
        unsigned char* data = nullptr;
        size_t size = fz_buffer_storage(ctx(), png.get(), &data);
        return std::string(reinterpret_cast<const char*>(data), size);
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot encode a PNG: %s", e.what());
        return std::nullopt;
    }
}

namespace {

void appendBigEndian(std::string& out, std::uint32_t v) {
    out += char(v >> 24);
    out += char(v >> 16);
    out += char(v >> 8);
    out += char(v);
}

void appendChunk(std::string& out, const char* type, const std::string& data) {
    appendBigEndian(out, std::uint32_t(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(out.data() + start), uInt(out.size() - start));
    appendBigEndian(out, std::uint32_t(crc));
}

}  // namespace

std::optional<std::string> encodePngFast(const PdfBitmap& bitmap) {
    const int w = bitmap.width;
    const int h = bitmap.height;
    if (w <= 0 || h <= 0 || bitmap.pixels.size() != size_t(w) * size_t(h) * 3) return std::nullopt;
    const size_t stride = size_t(w) * 3;
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
    std::string idat;
    idat.resize(deflateBound(&z, uLong((stride + 1) * size_t(h))));
    z.next_out = reinterpret_cast<Bytef*>(idat.data());
    z.avail_out = uInt(idat.size());
    // Each row is filtered with "Up" (the difference to the row above), which turns the
    // long white runs and repeated rows of page images into zeros.
    std::vector<std::uint8_t> row(stride + 1);
    int status = Z_OK;
    for (int y = 0; y < h && (status == Z_OK || status == Z_BUF_ERROR); ++y) {
        const std::uint8_t* cur = bitmap.pixels.data() + size_t(y) * stride;
        row[0] = y == 0 ? 0 : 2;
        if (y == 0) {
            std::copy_n(cur, stride, row.data() + 1);
        } else {
            const std::uint8_t* prev = cur - stride;
            for (size_t i = 0; i < stride; ++i) row[i + 1] = std::uint8_t(cur[i] - prev[i]);
        }
        z.next_in = row.data();
        z.avail_in = uInt(row.size());
        status = deflate(&z, y + 1 == h ? Z_FINISH : Z_NO_FLUSH);
    }
    const bool ok = status == Z_STREAM_END;
    idat.resize(z.total_out);
    deflateEnd(&z);
    if (!ok) return std::nullopt;

    std::string header;
    appendBigEndian(header, std::uint32_t(w));
    appendBigEndian(header, std::uint32_t(h));
    header += char(8);               // bits per sample
    header += char(2);               // RGB
    header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace
    std::string phys;
    const std::uint32_t perMetre = std::uint32_t(std::lround(bitmap.dpi / 0.0254));
    appendBigEndian(phys, perMetre);
    appendBigEndian(phys, perMetre);
    phys += char(1);  // metres

    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "pHYs", phys);
    appendChunk(png, "IDAT", idat);
    appendChunk(png, "IEND", {});
    return png;
}

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// libjpeg reports errors with longjmp, so this function holds no C++ object with a destructor.
bool compressJpeg(const std::uint8_t* pixels, int width, int height, int components, int dpi,
                  int quality, unsigned char** out, unsigned long* outSize) {
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = jpegErrorExit;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.density_unit = 1;  // dots per inch
    info.X_density = UINT16(dpi);
    info.Y_density = UINT16(dpi);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = size_t(width) * size_t(components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + size_t(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::optional<std::string> encodeJpeg(const PdfBitmap& bitmap, int quality) {
    if (bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.pixels.size() != size_t(bitmap.width) * size_t(bitmap.height) * 3)
        return std::nullopt;
    unsigned char* data = nullptr;
    unsigned long size = 0;
    bool ok = compressJpeg(bitmap.pixels.data(), bitmap.width, bitmap.height, 3, bitmap.dpi,
                           std::clamp(quality, 1, 100), &data, &size);
    std::optional<std::string> result;
    if (ok && data) result = std::string(reinterpret_cast<const char*>(data), size);
    std::free(data);
    return result;
}

std::optional<std::string> encodeGreyJpeg(const std::vector<std::uint8_t>& samples, int width,
                                          int height, int quality) {
    if (width <= 0 || height <= 0 || samples.size() != size_t(width) * size_t(height))
        return std::nullopt;
    unsigned char* data = nullptr;
    unsigned long size = 0;
    bool ok = compressJpeg(samples.data(), width, height, 1, 72, std::clamp(quality, 1, 100), &data,
                           &size);
    std::optional<std::string> result;
    if (ok && data) result = std::string(reinterpret_cast<const char*>(data), size);
    std::free(data);
    return result;
}

}  // namespace cvl
