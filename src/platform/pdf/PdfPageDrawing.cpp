// Pictures and invisible text drawn into page content; picture files turned into PNG.
#include "platform/pdf/PdfPageDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/Hashing.h"
#include "platform/SysLog.h"
#include "platform/pdf/PdfInternal.h"
#include "platform/pdf/PdfTextRuns.h"

namespace cvl {

using namespace pdf;

namespace pdf {

namespace {

pdf_obj* addContentStream(pdf_document* doc, const std::string& text) {
    BufferPtr buffer(mu([&](fz_context* c) {
        return fz_new_buffer_from_copied_data(
            c, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }));
    return mu([&](fz_context* c) { return pdf_add_stream(c, doc, buffer.get(), nullptr, 0); });
}

}  // namespace

void appendPageContent(pdf_document* doc, pdf_obj* pageObj, const std::string& tail) {
    ObjPtr head(addContentStream(doc, "q\n"));
    ObjPtr end(addContentStream(doc, "\nQ\n" + tail));
    pdf_obj* old = mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Contents)); });
    ObjPtr list(mu([&](fz_context* c) { return pdf_new_array(c, doc, 4); }));
    mu([&](fz_context* c) {
        pdf_array_push(c, list.get(), head.get());
        if (pdf_is_array(c, old)) {
            int n = pdf_array_len(c, old);
            for (int i = 0; i < n; ++i) pdf_array_push(c, list.get(), pdf_array_get(c, old, i));
        } else if (old) {
            pdf_array_push(c, list.get(), old);
        }
        pdf_array_push(c, list.get(), end.get());
        pdf_dict_put(c, pageObj, PDF_NAME(Contents), list.get());
    });
}

pdf_obj* pageResources(pdf_document* doc, pdf_obj* pageObj, pdf_obj* kind) {
    (void)doc;
    return mu([&](fz_context* c) {
        pdf_flatten_inheritable_page_items(c, pageObj);
        pdf_obj* res = pdf_dict_get(c, pageObj, PDF_NAME(Resources));
        if (!res) res = pdf_dict_put_dict(c, pageObj, PDF_NAME(Resources), 2);
        pdf_obj* dict = pdf_dict_get(c, res, kind);
        if (!dict) dict = pdf_dict_put_dict(c, res, kind, 4);
        return dict;
    });
}

}  // namespace pdf

namespace {

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

// A resource name not yet used in the dictionary: prefix + number.
std::string freshName(pdf_obj* dict, const std::string& prefix) {
    for (int i = 0;; ++i) {
        std::string name = prefix + std::to_string(i);
        if (!mu([&](fz_context* c) { return pdf_dict_gets(c, dict, name.c_str()); })) return name;
    }
}

pdf_obj* pageObject(PdfDocument::Impl& impl, int page) {
    pdf_document* doc = impl.doc.get();
    if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
        return nullptr;
    return mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, page); });
}

}  // namespace

bool pdfDrawImage(PdfDocument& document, int page, std::string_view imageBytes,
                  const PdfRect& rect) {
    auto& impl = *document.impl();
    if (!impl.doc || imageBytes.empty() || rect.isEmpty()) return false;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return false;
    try {
        pdf_document* doc = impl.doc.get();
        pdf_obj* pageObj = pageObject(impl, page);
        if (!pageObj) return false;
        const std::string digest = sha256Hex(imageBytes);
        ObjPtr imageRef;
        if (auto known = impl.pictures.find(digest); known != impl.pictures.end()) {
            imageRef.reset(
                mu([&](fz_context* c) { return pdf_new_indirect(c, doc, known->second, 0); }));
        } else {
            BufferPtr buffer(mu([&](fz_context* c) {
                return fz_new_buffer_from_copied_data(
                    c, reinterpret_cast<const unsigned char*>(imageBytes.data()),
                    imageBytes.size());
            }));
            ImagePtr image(
                mu([&](fz_context* c) { return fz_new_image_from_buffer(c, buffer.get()); }));
            imageRef.reset(mu([&](fz_context* c) { return pdf_add_image(c, doc, image.get()); }));
            impl.pictures[digest] =
                mu([&](fz_context* c) { return pdf_to_num(c, imageRef.get()); });
        }

        // The corners of the rectangle as the page is shown (y down), taken back into user space:
        // the picture's top edge is the shown top edge whatever the page's rotation.
        PagePtr p(mu([&](fz_context* c) { return pdf_load_page(c, doc, page); }));
        fz_rect bounds;
        fz_matrix toShown;
        mu([&](fz_context* c) { pdf_page_transform(c, p.get(), &bounds, &toShown); });
        fz_matrix toUser = fz_invert_matrix(toShown);
        fz_rect shown = fz_transform_rect(toFz(rect), toShown);
        fz_point topLeft = fz_transform_point(fz_make_point(shown.x0, shown.y0), toUser);
        fz_point topRight = fz_transform_point(fz_make_point(shown.x1, shown.y0), toUser);
        fz_point bottomLeft = fz_transform_point(fz_make_point(shown.x0, shown.y1), toUser);
        double a = topRight.x - topLeft.x, b = topRight.y - topLeft.y;
        double cc = topLeft.x - bottomLeft.x, d = topLeft.y - bottomLeft.y;

        pdf_obj* xobjects = pageResources(doc, p->obj, PDF_NAME(XObject));
        std::string name = freshName(xobjects, "CvlImg");
        mu([&](fz_context* c) { pdf_dict_puts(c, xobjects, name.c_str(), imageRef.get()); });
        std::string content = "q " + num(a) + " " + num(b) + " " + num(cc) + " " + num(d) + " " +
                              num(bottomLeft.x) + " " + num(bottomLeft.y) + " cm /" + name +
                              " Do Q\n";
        appendPageContent(doc, p->obj, content);
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot draw a picture on page %d: %s", page + 1, e.what());
        return false;
    }
}

bool pdfAddInvisibleText(PdfDocument& document, int page,
                         const std::vector<PdfTextLayerLine>& lines) {
    auto& impl = *document.impl();
    if (!impl.doc) return false;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return false;
    try {
        pdf_document* doc = impl.doc.get();
        pdf_obj* pageObj = pageObject(impl, page);
        if (!pageObj) return false;
        FontShaper shaper(doc);
        std::vector<FontShaper::Run> used;
        std::string content = "BT\n3 Tr\n";
        int written = 0;
        for (const auto& line : lines) {
            if (line.box.isEmpty()) continue;
            auto runs = shaper.shape(line.text);
            double natural = FontShaper::width(runs);
            if (runs.empty() || natural <= 0) continue;
            double size = line.box.height() / (shaper.ascender() - shaper.descender());
            double stretch = line.box.width() / (natural * size);
            double baseline = line.box.y0 - shaper.descender() * size;
            content += num(stretch) + " 0 0 1 " + num(line.box.x0) + " " + num(baseline) + " Tm " +
                       FontShaper::show(runs, size) + "\n";
            used.insert(used.end(), runs.begin(), runs.end());
            ++written;
        }
        content += "ET\n";
        if (written == 0) return true;
        shaper.addFonts(pageResources(doc, pageObj, PDF_NAME(Font)), used);
        appendPageContent(doc, pageObj, content);
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot add a text layer to page %d: %s", page + 1, e.what());
        return false;
    }
}

namespace {

// RGBA samples, rows top to bottom.
struct Rgba {
    int w = 0;
    int h = 0;
    std::vector<unsigned char> px;
};

// Area-average downscale to `w` pixels wide.
Rgba shrink(const Rgba& in, int w) {
    Rgba out;
    out.w = w;
    out.h = std::max(1, int(std::lround(double(in.h) * w / in.w)));
    out.px.assign(size_t(out.w) * size_t(out.h) * 4, 0);
    double fx = double(in.w) / out.w, fy = double(in.h) / out.h;
    for (int y = 0; y < out.h; ++y) {
        int y0 = int(y * fy), y1 = std::max(y0 + 1, std::min(in.h, int((y + 1) * fy)));
        for (int x = 0; x < out.w; ++x) {
            int x0 = int(x * fx), x1 = std::max(x0 + 1, std::min(in.w, int((x + 1) * fx)));
            double sum[4] = {0, 0, 0, 0};
            int n = 0;
            for (int yy = y0; yy < y1; ++yy)
                for (int xx = x0; xx < x1; ++xx) {
                    const unsigned char* s = &in.px[(size_t(yy) * size_t(in.w) + size_t(xx)) * 4];
                    double a = s[3];
                    for (int k = 0; k < 3; ++k) sum[k] += s[k] * a;  // premultiplied
                    sum[3] += a;
                    ++n;
                }
            unsigned char* d = &out.px[(size_t(y) * size_t(out.w) + size_t(x)) * 4];
            double alpha = sum[3] / n;
            for (int k = 0; k < 3; ++k)
                d[k] = sum[3] > 0 ? (unsigned char)std::clamp(sum[k] / sum[3], 0.0, 255.0) : 255;
            d[3] = (unsigned char)std::clamp(alpha, 0.0, 255.0);
        }
    }
    return out;
}

void clearPaper(Rgba& img) {
    for (size_t i = 0; i < img.px.size(); i += 4) {
        double lum = 0.2126 * img.px[i] + 0.7152 * img.px[i + 1] + 0.0722 * img.px[i + 2];
        double a = lum >= 235 ? 0 : lum <= 190 ? 255 : (235 - lum) * 255 / 45;
        img.px[i + 3] = (unsigned char)std::min<double>(img.px[i + 3], a);
    }
}

}  // namespace

Result<PngPicture> pictureToPng(std::string_view bytes, int maxWidth, bool clearBackground) {
    if (bytes.empty()) return Failure{"The picture is empty."};
    try {
        BufferPtr buffer(mu([&](fz_context* c) {
            return fz_new_buffer_from_copied_data(
                c, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        }));
        ImagePtr image(
            mu([&](fz_context* c) { return fz_new_image_from_buffer(c, buffer.get()); }));
        PixmapPtr pix(mu([&](fz_context* c) {
            return fz_get_pixmap_from_image(c, image.get(), nullptr, nullptr, nullptr, nullptr);
        }));
        PixmapPtr rgb(mu([&](fz_context* c) {
            return fz_convert_pixmap(c, pix.get(), fz_device_rgb(c), nullptr, nullptr,
                                     fz_default_color_params, 1);
        }));
        Rgba img;
        img.w = rgb->w;
        img.h = rgb->h;
        if (img.w <= 0 || img.h <= 0 || double(img.w) * img.h > 100e6)
            return Failure{"The picture is too large."};
        const bool hadAlpha = rgb->alpha != 0;
        const int n = rgb->n;
        img.px.resize(size_t(img.w) * size_t(img.h) * 4);
        for (int y = 0; y < img.h; ++y) {
            const unsigned char* row = rgb->samples + size_t(y) * size_t(rgb->stride);
            for (int x = 0; x < img.w; ++x) {
                const unsigned char* s = row + size_t(x) * size_t(n);
                unsigned char* d = &img.px[(size_t(y) * size_t(img.w) + size_t(x)) * 4];
                unsigned char a = hadAlpha ? s[3] : 255;
                for (int k = 0; k < 3; ++k)  // MuPDF's samples are premultiplied by alpha
                    d[k] =
                        hadAlpha ? (a ? (unsigned char)std::min(255, s[k] * 255 / a) : 255) : s[k];
                d[3] = a;
            }
        }
        rgb.reset();
        pix.reset();
        if (maxWidth > 0 && img.w > maxWidth) img = shrink(img, maxWidth);
        if (clearBackground && !hadAlpha) clearPaper(img);
        PixmapPtr out(mu([&](fz_context* c) {
            return fz_new_pixmap(c, fz_device_rgb(c), img.w, img.h, nullptr, 1);
        }));
        for (int y = 0; y < img.h; ++y) {
            unsigned char* row = out->samples + size_t(y) * size_t(out->stride);
            for (int x = 0; x < img.w; ++x) {
                const unsigned char* s = &img.px[(size_t(y) * size_t(img.w) + size_t(x)) * 4];
                unsigned char* d = row + size_t(x) * 4;
                for (int k = 0; k < 3; ++k) d[k] = (unsigned char)(s[k] * s[3] / 255);
                d[3] = s[3];
            }
        }
        BufferPtr png(mu([&](fz_context* c) {
            return fz_new_buffer_from_pixmap_as_png(c, out.get(), fz_default_color_params);
        }));
        unsigned char* data = nullptr;
        size_t size = fz_buffer_storage(ctx(), png.get(), &data);
        return PngPicture{std::string(reinterpret_cast<const char*>(data), size), img.w, img.h};
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read a picture: %s", e.what());
        return Failure{"This file is not a picture Corvello can read."};
    }
}

}  // namespace cvl
