// Image re-encoding for smaller files: 8-bit grey and RGB images become JPEG where that is
// smaller, and images far above the target resolution for the pages that show them are
// downsampled. Text and vector content are not touched.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "platform/SysLog.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfInternal.h"
#include "platform/pdf/PdfNavigationInternal.h"
#include "platform/pdf/PdfRender.h"

namespace cvl {

using namespace pdf;

namespace {

struct ImageUse {
    pdf_obj* ref = nullptr;
    double pageInches = 0;  // the longest side of the largest page that shows it
};

void collectImages(pdf_obj* resources, double pageInches, std::map<int, ImageUse>& images,
                   std::set<int>& masks, std::set<int>& seenForms, int depth) {
    if (!resources || depth > 16) return;
    pdf_obj* xobjects =
        mu([&](fz_context* c) { return pdf_dict_get(c, resources, PDF_NAME(XObject)); });
    int n = mu([&](fz_context* c) { return pdf_dict_len(c, xobjects); });
    for (int i = 0; i < n; ++i) {
        pdf_obj* x = mu([&](fz_context* c) { return pdf_dict_get_val(c, xobjects, i); });
        int num = mu([&](fz_context* c) { return pdf_to_num(c, x); });
        if (num <= 0) continue;
        pdf_obj* subtype = mu([&](fz_context* c) { return pdf_dict_get(c, x, PDF_NAME(Subtype)); });
        if (mu([&](fz_context* c) { return pdf_name_eq(c, subtype, PDF_NAME(Image)); })) {
            auto& use = images[num];
            use.ref = x;
            use.pageInches = std::max(use.pageInches, pageInches);
            for (pdf_obj* key : {PDF_NAME(SMask), PDF_NAME(Mask)}) {
                int m = mu([&](fz_context* c) { return pdf_to_num(c, pdf_dict_get(c, x, key)); });
                if (m > 0) masks.insert(m);
            }
        } else if (mu([&](fz_context* c) { return pdf_name_eq(c, subtype, PDF_NAME(Form)); })) {
            if (!seenForms.insert(num).second) continue;
            collectImages(
                mu([&](fz_context* c) { return pdf_dict_get(c, x, PDF_NAME(Resources)); }),
                pageInches, images, masks, seenForms, depth + 1);
        }
    }
}

enum class Space { none, grey, rgb };

// Which 8-bit colour space the image uses, when it is one that JPEG can carry unchanged.
Space jpegSpace(pdf_obj* image) {
    return mu([&](fz_context* c) -> Space {
        if (pdf_dict_get_bool(c, image, PDF_NAME(ImageMask))) return Space::none;
        if (pdf_is_array(c, pdf_dict_get(c, image, PDF_NAME(Mask)))) return Space::none;
        if (pdf_dict_get(c, image, PDF_NAME(Decode))) return Space::none;
        if (pdf_dict_get_int(c, image, PDF_NAME(BitsPerComponent)) != 8) return Space::none;
        pdf_obj* cs = pdf_dict_get(c, image, PDF_NAME(ColorSpace));
        if (pdf_name_eq(c, cs, PDF_NAME(DeviceRGB))) return Space::rgb;
        if (pdf_name_eq(c, cs, PDF_NAME(DeviceGray))) return Space::grey;
        if (pdf_is_array(c, cs) && pdf_name_eq(c, pdf_array_get(c, cs, 0), PDF_NAME(ICCBased))) {
            int comps = pdf_dict_get_int(c, pdf_array_get(c, cs, 1), PDF_NAME(N));
            if (comps == 3) return Space::rgb;
            if (comps == 1) return Space::grey;
        }
        return Space::none;
    });
}

bool filteredWith(pdf_obj* image, pdf_obj* name) {
    return mu([&](fz_context* c) {
        pdf_obj* f = pdf_dict_get(c, image, PDF_NAME(Filter));
        if (pdf_is_array(c, f)) return pdf_array_contains(c, f, name);
        return pdf_name_eq(c, f, name);
    });
}

// Area-average downsampling of interleaved 8-bit samples.
std::vector<std::uint8_t> downsample(const std::vector<std::uint8_t>& src, int w, int h, int n,
                                     int nw, int nh) {
    std::vector<std::uint8_t> out(size_t(nw) * size_t(nh) * size_t(n));
    std::vector<double> acc(static_cast<size_t>(nw) * static_cast<size_t>(n));
    std::vector<double> weight(static_cast<size_t>(nw));
    double sx = double(w) / nw;
    double sy = double(h) / nh;
    for (int oy = 0; oy < nh; ++oy) {
        std::fill(acc.begin(), acc.end(), 0.0);
        std::fill(weight.begin(), weight.end(), 0.0);
        int y0 = int(oy * sy);
        int y1 = std::max(y0 + 1, std::min(h, int(std::ceil((oy + 1) * sy))));
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* row = &src[size_t(y) * size_t(w) * size_t(n)];
            for (int ox = 0; ox < nw; ++ox) {
                int x0 = int(ox * sx);
                int x1 = std::max(x0 + 1, std::min(w, int(std::ceil((ox + 1) * sx))));
                for (int x = x0; x < x1; ++x)
                    for (int k = 0; k < n; ++k)
                        acc[size_t(ox) * size_t(n) + size_t(k)] +=
                            row[size_t(x) * size_t(n) + size_t(k)];
                weight[size_t(ox)] += x1 - x0;
            }
        }
        for (int ox = 0; ox < nw; ++ox)
            for (int k = 0; k < n; ++k)
                out[(size_t(oy) * size_t(nw) + size_t(ox)) * size_t(n) + size_t(k)] = std::uint8_t(
                    std::lround(acc[size_t(ox) * size_t(n) + size_t(k)] / weight[size_t(ox)]));
    }
    return out;
}

// JPEG bytes of interleaved grey or RGB samples.
std::optional<std::string> encodeSamples(const std::vector<std::uint8_t>& samples, int w, int h,
                                         int n, int quality) {
    PdfBitmap bmp;
    bmp.width = w;
    bmp.height = h;
    if (n == 3) {
        bmp.pixels = samples;
        return encodeJpeg(bmp, quality);
    }
    return encodeGreyJpeg(samples, w, h, quality);
}

int recompress(pdf_document* doc, const PdfDocument::ImageOptions& options) {
    PageIndex index(doc);
    std::map<int, ImageUse> images;
    std::set<int> masks;
    std::set<int> seenForms;
    for (pdf_obj* page : index.pages) {
        fz_rect box = mu([&](fz_context* c) {
            return pdf_to_rect(c, pdf_dict_get_inheritable(c, page, PDF_NAME(MediaBox)));
        });
        double inches = std::max(box.x1 - box.x0, box.y1 - box.y0) / 72.0;
        if (!(inches > 0)) inches = 11;
        collectImages(mu([&](fz_context* c) {
                          return pdf_dict_get_inheritable(c, page, PDF_NAME(Resources));
                      }),
                      inches, images, masks, seenForms, 0);
    }
    int changed = 0;
    for (auto& entry : images) {
        // Named, not a structured binding: clang 14 cannot capture those in the lambdas below.
        const int num = entry.first;
        ImageUse& use = entry.second;
        if (masks.count(num)) continue;  // soft masks stay lossless
        Space space = jpegSpace(use.ref);
        if (space == Space::none || filteredWith(use.ref, PDF_NAME(JPXDecode))) continue;
        int w = mu([&](fz_context* c) { return pdf_dict_get_int(c, use.ref, PDF_NAME(Width)); });
        int h = mu([&](fz_context* c) { return pdf_dict_get_int(c, use.ref, PDF_NAME(Height)); });
        if (w < 8 || h < 8) continue;
        double dpi = std::max(w, h) / use.pageInches;
        bool shrink = dpi > options.downsampleAbove;
        bool isJpeg = filteredWith(use.ref, PDF_NAME(DCTDecode));
        if (isJpeg && !shrink) continue;  // re-encoding a JPEG at the same size only loses

        try {
            ImagePtr image(mu([&](fz_context* c) { return pdf_load_image(c, doc, use.ref); }));
            PixmapPtr pix(mu([&](fz_context* c) {
                return fz_get_pixmap_from_image(c, image.get(), nullptr, nullptr, nullptr, nullptr);
            }));
            int n = pix->n;
            if (pix->alpha || (n != 1 && n != 3) || pix->w != w || pix->h != h) continue;
            std::vector<std::uint8_t> samples(size_t(w) * size_t(h) * size_t(n));
            for (int y = 0; y < h; ++y)
                std::copy_n(pix->samples + size_t(y) * size_t(pix->stride), size_t(w) * size_t(n),
                            samples.begin() + long(size_t(y) * size_t(w) * size_t(n)));
            pix.reset();
            int nw = w;
            int nh = h;
            if (shrink) {
                double f = options.targetDpi / dpi;
                nw = std::max(1, int(std::lround(w * f)));
                nh = std::max(1, int(std::lround(h * f)));
                samples = downsample(samples, w, h, n, nw, nh);
            }
            auto jpeg = encodeSamples(samples, nw, nh, n, options.jpegQuality);
            if (!jpeg) continue;
            BufferPtr raw(mu([&](fz_context* c) { return pdf_load_raw_stream(c, use.ref); }));
            size_t before = fz_buffer_storage(ctx(), raw.get(), nullptr);
            if (jpeg->size() >= before) continue;
            BufferPtr buffer(mu([&](fz_context* c) {
                return fz_new_buffer_from_copied_data(
                    c, reinterpret_cast<const unsigned char*>(jpeg->data()), jpeg->size());
            }));
            pdf_obj* ref = use.ref;
            mu([&](fz_context* c) {
                pdf_update_stream(c, doc, ref, buffer.get(), 1);
                pdf_dict_put(c, ref, PDF_NAME(Filter), PDF_NAME(DCTDecode));
                pdf_dict_del(c, ref, PDF_NAME(DecodeParms));
                pdf_dict_put_int(c, ref, PDF_NAME(Width), nw);
                pdf_dict_put_int(c, ref, PDF_NAME(Height), nh);
                pdf_dict_put_int(c, ref, PDF_NAME(BitsPerComponent), 8);
            });
            ++changed;
        } catch (const std::exception& e) {
            cvlLog("pdf: image %d left as it was: %s", num, e.what());
        }
    }
    return changed;
}

}  // namespace

int PdfDocument::recompressImages(const ImageOptions& options) {
    if (!impl_->doc) return -1;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return -1;
    try {
        return recompress(impl_->doc.get(), options);
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot re-encode images: %s", e.what());
        return -1;
    }
}

}  // namespace cvl
