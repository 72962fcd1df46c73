#include "platform/pdf/PdfAnnotations.h"

#include "platform/SysLog.h"
#include "platform/pdf/PdfInternal.h"

namespace cvl {

using namespace pdf;

std::vector<PdfAnnotation> pdfAnnotations(const PdfDocument& document, int page) {
    std::vector<PdfAnnotation> out;
    auto& impl = *document.impl();
    if (!impl.doc) return out;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return out;
    try {
        pdf_document* doc = impl.doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return out;
        pdf_obj* pageObj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, page); });
        pdf_obj* annots =
            mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Annots)); });
        int n = mu([&](fz_context* c) { return pdf_array_len(c, annots); });
        for (int i = 0; i < n; ++i) {
            pdf_obj* annot = mu([&](fz_context* c) { return pdf_array_get(c, annots, i); });
            if (!mu([&](fz_context* c) { return pdf_is_dict(c, annot); })) continue;
            PdfAnnotation a;
            a.kind = mu([&](fz_context* c) {
                return pdf_to_name(c, pdf_dict_get(c, annot, PDF_NAME(Subtype)));
            });
            a.rect = fromFz(mu([&](fz_context* c) {
                return pdf_to_rect(c, pdf_dict_get(c, annot, PDF_NAME(Rect)));
            }));
            a.contents = pdfText(
                mu([&](fz_context* c) { return pdf_dict_get(c, annot, PDF_NAME(Contents)); }));
            a.author =
                pdfText(mu([&](fz_context* c) { return pdf_dict_get(c, annot, PDF_NAME(T)); }));
            pdf_obj* qp =
                mu([&](fz_context* c) { return pdf_dict_get(c, annot, PDF_NAME(QuadPoints)); });
            int len = mu([&](fz_context* c) { return pdf_array_len(c, qp); });
            for (int q = 0; q + 8 <= len; q += 8) {
                std::array<PdfPoint, 4> quad;
                for (int k = 0; k < 4; ++k) {
                    quad[size_t(k)].x =
                        mu([&](fz_context* c) { return pdf_array_get_real(c, qp, q + 2 * k); });
                    quad[size_t(k)].y =
                        mu([&](fz_context* c) { return pdf_array_get_real(c, qp, q + 2 * k + 1); });
                }
                a.quads.push_back(quad);
            }
            out.push_back(std::move(a));
        }
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read the annotations of page %d: %s", page + 1, e.what());
        out.clear();
    }
    return out;
}

namespace pdf {

bool addPageAnnotation(
    PdfDocument::Impl& impl, int page, const std::string& subtype, const PdfRect& rect,
    const char* what,
    const std::function<void(pdf_document* doc, pdf_obj* pageObj, pdf_obj* annot)>& fill) {
    if (!impl.doc) return false;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return false;
    try {
        pdf_document* doc = impl.doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return false;
        pdf_obj* pageObj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, page); });
        ObjPtr annot(mu([&](fz_context* c) { return pdf_add_new_dict(c, doc, 8); }));
        mu([&](fz_context* c) {
            pdf_dict_put(c, annot.get(), PDF_NAME(Type), PDF_NAME(Annot));
            pdf_dict_put_name(c, annot.get(), PDF_NAME(Subtype), subtype.c_str());
            pdf_dict_put_rect(c, annot.get(), PDF_NAME(Rect), toFz(rect));
        });
        fill(doc, pageObj, annot.get());
        mu([&](fz_context* c) {
            pdf_obj* annots = pdf_dict_get(c, pageObj, PDF_NAME(Annots));
            if (!pdf_is_array(c, annots))
                annots = pdf_dict_put_array(c, pageObj, PDF_NAME(Annots), 1);
            pdf_array_push(c, annots, annot.get());
        });
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot add %s: %s", what, e.what());
        return false;
    }
}

}  // namespace pdf

bool pdfAddAnnotation(PdfDocument& document, int page, const PdfAnnotation& a) {
    if (a.kind.empty()) return false;
    return addPageAnnotation(
        *document.impl(), page, a.kind, a.rect, "an annotation",
        [&](pdf_document* doc, pdf_obj* pageObj, pdf_obj* annot) {
            mu([&](fz_context* c) { pdf_dict_put(c, annot, PDF_NAME(P), pageObj); });
            if (!a.contents.empty()) {
                ObjPtr text(newTextString(doc, a.contents));
                mu([&](fz_context* c) { pdf_dict_put(c, annot, PDF_NAME(Contents), text.get()); });
            }
            if (!a.author.empty()) {
                ObjPtr text(newTextString(doc, a.author));
                mu([&](fz_context* c) { pdf_dict_put(c, annot, PDF_NAME(T), text.get()); });
            }
            if (a.quads.empty()) return;
            mu([&](fz_context* c) {
                pdf_obj* qp =
                    pdf_dict_put_array(c, annot, PDF_NAME(QuadPoints), int(a.quads.size() * 8));
                for (const auto& quad : a.quads)
                    for (const auto& p : quad) {
                        pdf_array_push_real(c, qp, p.x);
                        pdf_array_push_real(c, qp, p.y);
                    }
            });
        });
}

}  // namespace cvl
