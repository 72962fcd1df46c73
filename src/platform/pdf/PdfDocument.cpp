// Opening, page geometry, serialising and simple page creation.
#include "platform/pdf/PdfDocument.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/Threads.h"
#include "platform/pdf/PdfInternal.h"

namespace cvl {

using namespace pdf;

PdfRect PdfRect::united(const PdfRect& o) const {
    if (isEmpty()) return o;
    if (o.isEmpty()) return *this;
    return PdfRect{std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
}

namespace {

std::string quoted(const std::string& name) {
    return "\u201c" + name + "\u201d";
}

std::shared_ptr<PdfDocument::Impl> newImpl(pdf_document* doc) {
    auto impl = std::make_shared<PdfDocument::Impl>();
    impl->doc.reset(doc);
    return impl;
}

Result<PdfDocument> openBytesNamed(std::string bytes, const std::string& name) {
    std::string label = name.empty() ? std::string("The document") : quoted(name);
    if (bytes.empty()) return Failure{label + " is empty."};
    try {
        BufferPtr buffer(mu([&](fz_context* c) {
            return fz_new_buffer_from_copied_data(
                c, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        }));
        fz_stream* stream = mu([&](fz_context* c) { return fz_open_buffer(c, buffer.get()); });
        pdf_document* doc = nullptr;
        try {
            doc = mu([&](fz_context* c) { return pdf_open_document_with_stream(c, stream); });
        } catch (...) {
            fz_drop_stream(ctx(), stream);
            throw;
        }
        fz_drop_stream(ctx(), stream);  // the document keeps its own reference
        auto impl = newImpl(doc);
        // Recursion over the object graph (marking on save, copying between documents) goes one
        // level per object; the work stack covers this many.
        if (mu([&](fz_context* c) { return pdf_xref_len(c, doc); }) >
            static_cast<int>(Threads::kMaxDocumentObjects))
            return Failure{label + " is too complex to work on safely: it has more than " +
                           std::to_string(Threads::kMaxDocumentObjects) + " objects."};
        impl->locked = mu([&](fz_context* c) { return pdf_needs_password(c, doc); }) != 0;
        return PdfDocument(std::move(impl));
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot open %s: %s", name.c_str(), e.what());
        return Failure{label + " isn\u2019t a PDF Corvello can open, or it is damaged."};
    }
}

// Normalises a /Rotate value into 0, 90, 180 or 270.
int normalRotation(int r) {
    r %= 360;
    if (r < 0) r += 360;
    return (r / 90) * 90;
}

fz_rect mediaBoxOf(pdf_obj* pageObj) {
    fz_rect box = mu([&](fz_context* c) {
        return pdf_to_rect(c, pdf_dict_get_inheritable(c, pageObj, PDF_NAME(MediaBox)));
    });
    if (fz_is_empty_rect(box)) box = fz_make_rect(0, 0, 612, 792);
    return box;
}

fz_rect cropBoxOf(pdf_obj* pageObj) {
    fz_rect media = mediaBoxOf(pageObj);
    pdf_obj* cropObj =
        mu([&](fz_context* c) { return pdf_dict_get_inheritable(c, pageObj, PDF_NAME(CropBox)); });
    if (!cropObj) return media;
    fz_rect crop = mu([&](fz_context* c) { return pdf_to_rect(c, cropObj); });
    crop = fz_intersect_rect(crop, media);
    return fz_is_empty_rect(crop) ? media : crop;
}

constexpr int kMaxDeduplicatedObjects = 8000;

void writeDocument(pdf_document* doc, const PdfSaveOptions& options, std::string& out) {
    pdf_write_options opts = pdf_default_write_options;
    // Merging identical objects compares every pair, so it is kept to documents of a size where
    // that takes a moment; a crafted file with hundreds of thousands of objects would take hours.
    const bool deduplicate = options.deduplicate && mu([&](fz_context* c) {
                                                        return pdf_xref_len(c, doc);
                                                    }) <= kMaxDeduplicatedObjects;
    opts.do_garbage = options.garbageCollect ? (deduplicate ? 3 : 2) : 0;
    opts.do_compress = options.compress ? 1 : 0;
    opts.do_compress_images = options.compress ? 1 : 0;
    opts.do_compress_fonts = options.compress ? 1 : 0;
    if (!options.userPassword.empty() || !options.ownerPassword.empty()) {
        opts.do_encrypt = PDF_ENCRYPT_AES_256;
        opts.permissions = -1;
        std::string owner =
            options.ownerPassword.empty() ? options.userPassword : options.ownerPassword;
        std::strncpy(opts.upwd_utf8, options.userPassword.c_str(), sizeof opts.upwd_utf8 - 1);
        std::strncpy(opts.opwd_utf8, owner.c_str(), sizeof opts.opwd_utf8 - 1);
    } else {
        // New files are written decrypted. Keeping the source's encryption would carry its
        // /Encrypt reference into a rewritten file whose objects no longer match it.
        opts.do_encrypt = PDF_ENCRYPT_NONE;
    }
    BufferPtr buffer(mu([](fz_context* c) { return fz_new_buffer(c, 64 * 1024); }));
    OutputPtr output(mu([&](fz_context* c) { return fz_new_output_with_buffer(c, buffer.get()); }));
    mu([&](fz_context* c) { pdf_write_document(c, doc, output.get(), &opts); });
    mu([&](fz_context* c) { fz_close_output(c, output.get()); });
    unsigned char* data = nullptr;
    size_t size = fz_buffer_storage(ctx(), buffer.get(), &data);
    out.assign(reinterpret_cast<const char*>(data), size);
}

// Appends a page object (made by pdf_add_page) at a clamped position.
void insertPageObject(pdf_document* doc, int at, pdf_obj* pageObj) {
    int count = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
    at = std::clamp(at, 0, count);
    mu([&](fz_context* c) { pdf_insert_page(c, doc, at == count ? -1 : at, pageObj); });
}

// Latin-1 bytes of UTF-8 text, as a PDF literal string (other characters become "?").
std::string pdfLiteral(const std::string& utf8) {
    std::string out = "(";
    for (size_t i = 0; i < utf8.size();) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        unsigned cp = '?';
        size_t len = 1;
        if (b < 0x80)
            cp = b;
        else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((b & 0xF0) == 0xE0)
            len = 3;
        else if ((b & 0xF8) == 0xF0)
            len = 4;
        i += len;
        if (cp > 0xFF) cp = '?';
        if (cp == '(' || cp == ')' || cp == '\\') out += '\\';
        out += static_cast<char>(cp);
    }
    return out + ")";
}

}  // namespace

PdfDocument::PdfDocument() {
    try {
        impl_ = newImpl(mu([](fz_context* c) { return pdf_create_document(c); }));
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot create a document: %s", e.what());
        impl_ = std::make_shared<Impl>();
    }
}

Result<PdfDocument> PdfDocument::openFile(const std::string& path) {
    std::string name = lastPathComponent(path);
    auto bytes = readFile(path);
    if (!bytes) return Failure{readFailureMessage(path)};
    return openBytesNamed(std::move(*bytes), name);
}

Result<PdfDocument> PdfDocument::openBytes(std::string bytes) {
    return openBytesNamed(std::move(bytes), "");
}

bool PdfDocument::wasRepaired() const {
    if (!impl_->doc) return false;
    std::lock_guard guard(impl_->lock);
    try {
        return mu([&](fz_context* c) { return pdf_was_repaired(c, impl_->doc.get()); }) != 0;
    } catch (const std::exception&) {
        return true;
    }
}

bool PdfDocument::isEncrypted() const {
    if (!impl_->doc) return false;
    std::lock_guard guard(impl_->lock);
    try {
        return mu([&](fz_context* c) { return pdf_crypt_version(c, impl_->doc->crypt); }) > 0;
    } catch (...) {
        return false;
    }
}

bool PdfDocument::isLocked() const {
    std::lock_guard guard(impl_->lock);
    return impl_->locked;
}

bool PdfDocument::unlock(const std::string& password) {
    if (!impl_->doc) return false;
    std::lock_guard guard(impl_->lock);
    if (!impl_->locked) return true;
    try {
        if (mu([&](fz_context* c) {
                return pdf_authenticate_password(c, impl_->doc.get(), password.c_str());
            }))
            impl_->locked = false;
    } catch (...) {
    }
    return !impl_->locked;
}

int PdfDocument::pageCount() const {
    if (!impl_->doc) return 0;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return 0;
    try {
        return mu([&](fz_context* c) { return pdf_count_pages(c, impl_->doc.get()); });
    } catch (...) {
        return 0;
    }
}

std::optional<PdfRect> PdfDocument::pageBox(int page, PdfBox box) const {
    if (!impl_->doc) return std::nullopt;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return std::nullopt;
    try {
        pdf_document* doc = impl_->doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return std::nullopt;
        pdf_obj* obj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, page); });
        return fromFz(box == PdfBox::media ? mediaBoxOf(obj) : cropBoxOf(obj));
    } catch (...) {
        return std::nullopt;
    }
}

int PdfDocument::rotation(int page) const {
    if (!impl_->doc) return 0;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return 0;
    try {
        pdf_document* doc = impl_->doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return 0;
        return normalRotation(mu([&](fz_context* c) {
            return pdf_to_int(c, pdf_dict_get_inheritable(c, pdf_lookup_page_obj(c, doc, page),
                                                          PDF_NAME(Rotate)));
        }));
    } catch (...) {
        return 0;
    }
}

std::optional<std::string> PdfDocument::save(const PdfSaveOptions& options) const {
    if (!impl_->doc) return std::nullopt;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return std::nullopt;
    try {
        std::string out;
        writeDocument(impl_->doc.get(), options, out);
        return out;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot write a document: %s", e.what());
        return std::nullopt;
    }
}

Status PdfDocument::saveToFile(const std::string& path, const PdfSaveOptions& options) const {
    auto bytes = save(options);
    if (!bytes) return Failure{"Corvello couldn\u2019t write the document."};
    return writeFileAtomic(path, *bytes);
}

std::optional<PdfDocument> PdfDocument::workingCopy() const {
    PdfSaveOptions options;
    options.garbageCollect = false;  // a plain rewrite is enough and keeps copying fast
    options.compress = false;
    auto bytes = save(options);
    if (!bytes) return std::nullopt;
    auto copy = openBytes(std::move(*bytes));
    if (!copy) return std::nullopt;
    return std::move(copy).value();
}

bool PdfDocument::setRotation(int page, int degrees) {
    if (!impl_->doc || degrees % 90 != 0) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return false;
        pdf_obj* obj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, page); });
        mu([&](fz_context* c) {
            pdf_dict_put_int(c, obj, PDF_NAME(Rotate), normalRotation(degrees));
        });
        return true;
    } catch (...) {
        return false;
    }
}

bool PdfDocument::setPageBox(int page, PdfBox box, const PdfRect& rect) {
    if (!impl_->doc || rect.isEmpty()) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        if (page < 0 || page >= mu([&](fz_context* c) { return pdf_count_pages(c, doc); }))
            return false;
        pdf_obj* obj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, page); });
        mu([&](fz_context* c) {
            pdf_dict_put_rect(c, obj, box == PdfBox::media ? PDF_NAME(MediaBox) : PDF_NAME(CropBox),
                              toFz(rect));
        });
        return true;
    } catch (...) {
        return false;
    }
}

bool PdfDocument::insertBlankPage(int at, const PdfRect& mediaBox) {
    if (!impl_->doc) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        ObjPtr resources(mu([&](fz_context* c) { return pdf_new_dict(c, doc, 0); }));
        ObjPtr page(mu([&](fz_context* c) {
            return pdf_add_page(c, doc, toFz(mediaBox), 0, resources.get(), nullptr);
        }));
        insertPageObject(doc, at, page.get());
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot add a blank page: %s", e.what());
        return false;
    }
}

bool PdfDocument::insertTextPage(int at, const PdfRect& mediaBox,
                                 const std::vector<std::string>& lines, double fontSize) {
    if (!impl_->doc) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        FontPtr font(mu([](fz_context* c) { return fz_new_base14_font(c, "Helvetica"); }));
        ObjPtr fontRef(mu([&](fz_context* c) {
            return pdf_add_simple_font(c, doc, font.get(), PDF_SIMPLE_ENCODING_LATIN);
        }));
        ObjPtr resources(mu([&](fz_context* c) { return pdf_new_dict(c, doc, 1); }));
        mu([&](fz_context* c) {
            pdf_obj* fonts = pdf_dict_put_dict(c, resources.get(), PDF_NAME(Font), 1);
            pdf_dict_puts(c, fonts, "F1", fontRef.get());
        });
        char head[160];
        std::snprintf(head, sizeof head, "BT /F1 %.2f Tf %.2f TL %.2f %.2f Td\n", fontSize,
                      fontSize * 1.3, mediaBox.x0 + 72, mediaBox.y1 - 72);
        std::string content = head;
        for (const auto& line : lines) content += pdfLiteral(line) + " Tj T*\n";
        content += "ET\n";
        BufferPtr contents(mu([&](fz_context* c) {
            return fz_new_buffer_from_copied_data(
                c, reinterpret_cast<const unsigned char*>(content.data()), content.size());
        }));
        ObjPtr page(mu([&](fz_context* c) {
            return pdf_add_page(c, doc, toFz(mediaBox), 0, resources.get(), contents.get());
        }));
        insertPageObject(doc, at, page.get());
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot add a text page: %s", e.what());
        return false;
    }
}

bool PdfDocument::insertImagePage(int at, std::string_view imageBytes) {
    if (!impl_->doc || imageBytes.empty()) return false;
    std::lock_guard guard(impl_->lock);
    if (impl_->locked) return false;
    try {
        pdf_document* doc = impl_->doc.get();
        BufferPtr buffer(mu([&](fz_context* c) {
            return fz_new_buffer_from_copied_data(
                c, reinterpret_cast<const unsigned char*>(imageBytes.data()), imageBytes.size());
        }));
        ImagePtr image(
            mu([&](fz_context* c) { return fz_new_image_from_buffer(c, buffer.get()); }));
        if (image->w <= 0 || image->h <= 0) return false;
        double xres = image->xres > 1 ? image->xres : 72;
        double yres = image->yres > 1 ? image->yres : 72;
        double w = image->w * 72.0 / xres;
        double h = image->h * 72.0 / yres;
        ObjPtr imageRef(mu([&](fz_context* c) { return pdf_add_image(c, doc, image.get()); }));
        ObjPtr resources(mu([&](fz_context* c) { return pdf_new_dict(c, doc, 1); }));
        mu([&](fz_context* c) {
            pdf_obj* xobjects = pdf_dict_put_dict(c, resources.get(), PDF_NAME(XObject), 1);
            pdf_dict_puts(c, xobjects, "Im0", imageRef.get());
        });
        char content[160];
        std::snprintf(content, sizeof content, "q %.4f 0 0 %.4f 0 0 cm /Im0 Do Q\n", w, h);
        BufferPtr contents(mu([&](fz_context* c) {
            return fz_new_buffer_from_copied_data(
                c, reinterpret_cast<const unsigned char*>(content), std::strlen(content));
        }));
        ObjPtr page(mu([&](fz_context* c) {
            return pdf_add_page(c, doc, fz_make_rect(0, 0, float(w), float(h)), 0, resources.get(),
                                contents.get());
        }));
        insertPageObject(doc, at, page.get());
        return true;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot add an image page: %s", e.what());
        return false;
    }
}

}  // namespace cvl
