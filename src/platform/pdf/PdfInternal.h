// Internal to src/platform/pdf: the MuPDF context per thread, the bridge from MuPDF's
// setjmp-based errors to C++ exceptions, and owning handles. Only .cpp files of this folder
// include it; every public function catches at its boundary, so nothing escapes the folder.
#pragma once

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "platform/pdf/PdfDocument.h"

namespace cvl::pdf {

// The calling thread's MuPDF context, cloned from one shared base context with locks.
fz_context* ctx();

struct MuError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void throwCaught(fz_context* c);

// Runs one MuPDF call inside fz_try and turns a MuPDF error into MuError. The callable must only
// call MuPDF: no C++ object with a destructor may live inside it, since a MuPDF error unwinds with
// longjmp.
template <class F>
auto mu(F&& f) {
    fz_context* c = ctx();
    using R = decltype(f(c));
    if constexpr (std::is_void_v<R>) {
        fz_try(c) {
            f(c);
        }
        fz_catch(c) {
            throwCaught(c);
        }
    } else {
        R r{};
        fz_try(c) {
            r = f(c);
        }
        fz_catch(c) {
            throwCaught(c);
        }
        return r;
    }
}

// Owning handles; dropping never fails in MuPDF.
struct ObjDrop {
    void operator()(pdf_obj* o) const { pdf_drop_obj(ctx(), o); }
};
struct BufferDrop {
    void operator()(fz_buffer* b) const { fz_drop_buffer(ctx(), b); }
};
struct PixmapDrop {
    void operator()(fz_pixmap* p) const { fz_drop_pixmap(ctx(), p); }
};
struct PageDrop {
    void operator()(pdf_page* p) const { fz_drop_page(ctx(), &p->super); }
};
struct ImageDrop {
    void operator()(fz_image* i) const { fz_drop_image(ctx(), i); }
};
struct DeviceDrop {
    void operator()(fz_device* d) const { fz_drop_device(ctx(), d); }
};
struct StextDrop {
    void operator()(fz_stext_page* s) const { fz_drop_stext_page(ctx(), s); }
};
struct FontDrop {
    void operator()(fz_font* f) const { fz_drop_font(ctx(), f); }
};
struct OutputDrop {
    void operator()(fz_output* o) const { fz_drop_output(ctx(), o); }
};
struct GraftDrop {
    void operator()(pdf_graft_map* g) const { pdf_drop_graft_map(ctx(), g); }
};
struct DocDrop {
    void operator()(pdf_document* d) const { pdf_drop_document(ctx(), d); }
};
using ObjPtr = std::unique_ptr<pdf_obj, ObjDrop>;
using BufferPtr = std::unique_ptr<fz_buffer, BufferDrop>;
using PixmapPtr = std::unique_ptr<fz_pixmap, PixmapDrop>;
using PagePtr = std::unique_ptr<pdf_page, PageDrop>;
using ImagePtr = std::unique_ptr<fz_image, ImageDrop>;
using DevicePtr = std::unique_ptr<fz_device, DeviceDrop>;
using StextPtr = std::unique_ptr<fz_stext_page, StextDrop>;
using FontPtr = std::unique_ptr<fz_font, FontDrop>;
using OutputPtr = std::unique_ptr<fz_output, OutputDrop>;
using GraftPtr = std::unique_ptr<pdf_graft_map, GraftDrop>;
using DocPtr = std::unique_ptr<pdf_document, DocDrop>;

// Conversions between our rectangles and MuPDF's.
inline fz_rect toFz(const PdfRect& r) {
    return fz_make_rect(float(r.x0), float(r.y0), float(r.x1), float(r.y1));
}
inline PdfRect fromFz(const fz_rect& r) {
    return PdfRect{r.x0, r.y0, r.x1, r.y1};
}

// Shared pieces used by several files of this folder (all throw MuError on MuPDF errors; callers
// hold the document's lock).
std::string pdfText(pdf_obj* textObj);                               // a PDF text string as UTF-8
pdf_obj* newTextString(pdf_document* doc, const std::string& utf8);  // caller drops
// The page targeted by a destination value (array, name or string), resolving names; null when
// none.
pdf_obj* destinationPage(pdf_document* doc, pdf_obj* dest);
// The destination of an outline item or link dictionary: /Dest, else /A with /S /GoTo's /D.
pdf_obj* targetOf(pdf_obj* dict);

// Wraps the page's content in "q ... Q" and appends `tail` after it, so the tail starts from the
// page's initial graphics state whatever the content leaves behind.
void appendPageContent(pdf_document* doc, pdf_obj* pageObj, const std::string& tail);
// The page's own resource dictionary of one kind (/Font, /XObject, ...), created when missing;
// inherited resources are copied into the page first.
pdf_obj* pageResources(pdf_document* doc, pdf_obj* pageObj, pdf_obj* kind);

// A new explicit destination array [page /XYZ left top zoom] (or /Fit without a point).
ObjPtr newDestinationArray(pdf_document* doc, pdf_obj* pageObj,
                           const std::optional<PdfPoint>& point, double zoom);

}  // namespace cvl::pdf

namespace cvl {

struct PdfDocument::Impl {
    std::mutex lock;
    pdf::DocPtr doc;
    bool locked = false;
    // Pictures already added to this document, by the SHA-256 of their bytes: object numbers,
    // so that one picture placed many times is stored once.
    std::map<std::string, int> pictures;
};

namespace pdf {

// Adds a new annotation dictionary (/Type /Annot, the given /Subtype and /Rect) to the end of the
// page's /Annots; `fill` puts the rest of its entries and may throw MuError to refuse. Takes the
// document's lock; false (logged with `what`) when the page or the document cannot take it.
bool addPageAnnotation(
    PdfDocument::Impl& impl, int page, const std::string& subtype, const PdfRect& rect,
    const char* what,
    const std::function<void(pdf_document* doc, pdf_obj* pageObj, pdf_obj* annot)>& fill);

}  // namespace pdf
}  // namespace cvl
