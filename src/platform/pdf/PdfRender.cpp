// Page rendering with MuPDF's draw device; PNG through MuPDF, JPEG through libjpeg.
#include "platform/pdf/PdfRender.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
}

#include "platform/SysLog.h"
#include "platform/pdf/PdfInternal.h"

namespace cvl {

using namespace pdf;

std::optional<PdfBitmap> renderPageImage(const PdfDocument& document, int page, double scale,
                                         PdfBox which) {
    auto& impl = *document.impl();
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
        if (which == PdfBox::crop) {
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
        if (!(w > 0) || !(h > 0) || w * h >= kMaxRenderPixels) return std::nullopt;

        fz_rect bounds;
        fz_matrix pageCtm;
        mu([&](fz_context* c) { pdf_page_transform(c, p.get(), &bounds, &pageCtm); });
        fz_rect shown = fz_transform_rect(box, pageCtm);  // the box as displayed, rotation applied
        bool quarter = std::fabs((shown.x1 - shown.x0) - (box.x1 - box.x0)) > 0.01 &&
                       std::fabs((shown.x1 - shown.x0) - (box.y1 - box.y0)) < 0.01;
        if (quarter) std::swap(w, h);

        PdfBitmap bitmap;
        bitmap.width = int(w);
        bitmap.height = int(h);
        bitmap.dpi = int(std::lround(72 * scale));
        bitmap.pixels.assign(size_t(bitmap.width) * size_t(bitmap.height) * 3, 255);
        PixmapPtr pix(mu([&](fz_context* c) {
            return fz_new_pixmap_with_data(c, fz_device_rgb(c), bitmap.width, bitmap.height,
                                           nullptr, 0, bitmap.width * 3, bitmap.pixels.data());
        }));
        fz_matrix ctm =
            fz_concat(fz_translate(-shown.x0, -shown.y0), fz_scale(float(scale), float(scale)));
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
        return bitmap;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot render page %d: %s", page + 1, e.what());
        return std::nullopt;
    }
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
