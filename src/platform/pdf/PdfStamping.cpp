// Stamped copies with MuPDF: source pages become form objects of a new document (their content
// streams copied without decoding, their resources grafted once per document), annotation
// appearances are placed over them, and the stamp text is drawn last.
#include "platform/pdf/PdfStamping.h"

#include <unistr.h>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/pdf/HeifImage.h"
#include "platform/pdf/PdfInternal.h"
#include "platform/pdf/PdfRender.h"

namespace cvl {

using namespace pdf;

namespace {

// ---- the font ----

struct Face {
    fz_font* font = nullptr;
    double ascent = 0;  // in em
    double descent = 0;
};

// Helvetica-Bold as MuPDF ships it, made once and kept for the process. The face has no
// typographic table of its own (its ascender and descender are the font's bounding box), so
// ascent and descent are measured on the letters that define them: "d" and "p".
const Face& boldFace() {
    static const Face face = [] {
        Face f;
        try {
            f.font = mu([](fz_context* c) { return fz_new_base14_font(c, "Helvetica-Bold"); });
            auto bounds = [&](int ch) {
                return mu([&](fz_context* c) {
                    return fz_bound_glyph(c, f.font, fz_encode_character(c, f.font, ch),
                                          fz_identity);
                });
            };
            f.ascent = bounds('d').y1;
            f.descent = -bounds('p').y0;
        } catch (const std::exception& e) {
            cvlLog("pdf: Helvetica-Bold is not available: %s", e.what());
            f.font = nullptr;
        }
        return f;
    }();
    return face;
}

struct EncodedText {
    std::vector<int> codes;  // Windows-1252 codes
    std::vector<int> glyphs;
    std::vector<double> advances;  // in em
    double width = 0;              // in em
};

EncodedText encode(const Face& face, std::string_view utf8) {
    EncodedText out;
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        ucs4_t cp = 0;
        int len = u8_mbtouc(&cp, s + i, n - i);
        i += size_t(len > 0 ? len : 1);
        int code = cp >= 0x20 ? fz_windows_1252_from_unicode(int(cp)) : -1;
        if (code <= 0) code = '?';
        int gid = mu([&](fz_context* c) {
            return fz_encode_character(c, face.font, fz_unicode_from_windows_1252[code]);
        });
        double advance = mu([&](fz_context* c) { return fz_advance_glyph(c, face.font, gid, 0); });
        out.codes.push_back(code);
        out.glyphs.push_back(gid);
        out.advances.push_back(advance);
        out.width += advance;
    }
    return out;
}

// ---- content stream text ----

void number(std::string& out, double v) {
    if (!std::isfinite(v) || std::fabs(v) < 0.00005) v = 0;
    char buf[40];
    int n = std::snprintf(buf, sizeof buf, "%.4f", v);
    while (n > 0 && buf[n - 1] == '0') --n;
    if (n > 0 && buf[n - 1] == '.') --n;
    out.append(buf, size_t(n));
    out += ' ';
}

void matrix(std::string& out, double a, double b, double c, double d, double e, double f) {
    for (double v : {a, b, c, d, e, f}) number(out, v);
    out += "cm\n";
}

struct PathWriter {
    std::string ops;
    void point(float x, float y) {
        number(ops, x);
        number(ops, y);
    }
};

const fz_path_walker kPathWalker = {
    [](fz_context*, void* arg, float x, float y) {
        auto* w = static_cast<PathWriter*>(arg);
        w->point(x, y);
        w->ops += "m\n";
    },
    [](fz_context*, void* arg, float x, float y) {
        auto* w = static_cast<PathWriter*>(arg);
        w->point(x, y);
        w->ops += "l\n";
    },
    [](fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
        auto* w = static_cast<PathWriter*>(arg);
        w->point(x1, y1);
        w->point(x2, y2);
        w->point(x3, y3);
        w->ops += "c\n";
    },
    [](fz_context*, void* arg) { static_cast<PathWriter*>(arg)->ops += "h\n"; },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

BufferPtr bufferOf(const std::string& text) {
    return BufferPtr(mu([&](fz_context* c) {
        return fz_new_buffer_from_copied_data(
            c, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }));
}

// ---- the output document ----

// A new document and the resources its stamps share: the font, the halo's transparency, and
// one outline form per character that the halo draws.
class StampedDocument {
  public:
    StampedDocument() : impl_(std::make_shared<PdfDocument::Impl>()) {
        impl_->doc.reset(mu([](fz_context* c) { return pdf_create_document(c); }));
    }
    pdf_document* doc() const { return impl_->doc.get(); }

    // Appends a page of `width` x `height` points: `content` first, with `xobjects` (name ->
    // object) as its forms and images, then the stamp.
    void addPage(double width, double height, const std::string& content,
                 const std::vector<std::pair<std::string, pdf_obj*>>& xobjects,
                 const PdfStampText& stamp) {
        pdf_document* d = doc();
        ObjPtr resources(mu([&](fz_context* c) { return pdf_new_dict(c, d, 3); }));
        pdf_obj* xobjectDict = mu([&](fz_context* c) {
            return pdf_dict_put_dict(c, resources.get(), PDF_NAME(XObject), 8);
        });
        for (const auto& xobject : xobjects)
            mu([&](fz_context* c) {
                pdf_dict_puts(c, xobjectDict, xobject.first.c_str(), xobject.second);
            });
        std::string ops = content;
        ops += stampOps(stamp, resources.get(), xobjectDict);
        BufferPtr contents = bufferOf(ops);
        fz_rect box = fz_make_rect(0, 0, float(width), float(height));
        ObjPtr page(mu([&](fz_context* c) {
            return pdf_add_page(c, d, box, 0, resources.get(), contents.get());
        }));
        mu([&](fz_context* c) { pdf_insert_page(c, d, -1, page.get()); });
        ++pages_;
    }

    int pages() const { return pages_; }

    std::optional<std::string> bytes() const {
        PdfSaveOptions options;
        options.garbageCollect = false;  // everything in it was added for a page
        return PdfDocument(impl_).save(options);
    }

  private:
    pdf_obj* font() {
        if (!font_) {
            pdf_document* d = doc();
            ObjPtr dict(mu([&](fz_context* c) { return pdf_new_dict(c, d, 4); }));
            mu([&](fz_context* c) {
                pdf_dict_put(c, dict.get(), PDF_NAME(Type), PDF_NAME(Font));
                pdf_dict_put(c, dict.get(), PDF_NAME(Subtype), PDF_NAME(Type1));
                pdf_dict_put_name(c, dict.get(), PDF_NAME(BaseFont), "Helvetica-Bold");
                pdf_dict_put(c, dict.get(), PDF_NAME(Encoding), PDF_NAME(WinAnsiEncoding));
            });
            font_.reset(mu([&](fz_context* c) { return pdf_add_object(c, d, dict.get()); }));
        }
        return font_.get();
    }

    pdf_obj* haloState(double alpha) {
        auto& slot = haloStates_[alpha];
        if (!slot) {
            pdf_document* d = doc();
            ObjPtr dict(mu([&](fz_context* c) { return pdf_new_dict(c, d, 2); }));
            mu([&](fz_context* c) {
                pdf_dict_put(c, dict.get(), PDF_NAME(Type), PDF_NAME(ExtGState));
                pdf_dict_put_real(c, dict.get(), PDF_NAME(ca), alpha);
            });
            slot.reset(mu([&](fz_context* c) { return pdf_add_object(c, d, dict.get()); }));
        }
        return slot.get();
    }

    // The outline of one character as a form in thousandths of an em.
    pdf_obj* glyphForm(int code, int gid) {
        auto& slot = glyphs_[code];
        if (!slot) {
            const Face& face = boldFace();
            fz_matrix scale = fz_scale(1000, 1000);
            PathWriter writer;
            fz_path* path =
                mu([&](fz_context* c) { return fz_outline_glyph(c, face.font, gid, scale); });
            if (path) {
                try {
                    mu([&](fz_context* c) { fz_walk_path(c, path, &kPathWalker, &writer); });
                } catch (...) {
                    fz_drop_path(ctx(), path);
                    throw;
                }
                fz_drop_path(ctx(), path);
                writer.ops += "f\n";
            }
            fz_rect bbox =
                mu([&](fz_context* c) { return fz_bound_glyph(c, face.font, gid, scale); });
            if (fz_is_empty_rect(bbox)) bbox = fz_make_rect(0, 0, 1, 1);
            pdf_document* d = doc();
            ObjPtr dict(mu([&](fz_context* c) { return pdf_new_dict(c, d, 3); }));
            mu([&](fz_context* c) {
                pdf_dict_put(c, dict.get(), PDF_NAME(Type), PDF_NAME(XObject));
                pdf_dict_put(c, dict.get(), PDF_NAME(Subtype), PDF_NAME(Form));
                pdf_dict_put_rect(c, dict.get(), PDF_NAME(BBox), bbox);
            });
            BufferPtr data = bufferOf(writer.ops);
            slot.reset(
                mu([&](fz_context* c) { return pdf_add_stream(c, d, data.get(), dict.get(), 0); }));
        }
        return slot.get();
    }

    std::string stampOps(const PdfStampText& s, pdf_obj* resources, pdf_obj* xobjects) {
        const Face& face = boldFace();
        if (!face.font) throw MuError("no font for the stamp");
        EncodedText text = encode(face, s.text);
        std::string ops = "q\n";
        if (s.haloOffset > 0 && !text.codes.empty()) {
            pdf_obj* states = mu([&](fz_context* c) {
                return pdf_dict_put_dict(c, resources, PDF_NAME(ExtGState), 1);
            });
            pdf_obj* state = haloState(s.haloAlpha);
            mu([&](fz_context* c) { pdf_dict_puts(c, states, "Gh", state); });
            std::string draw;
            for (size_t i = 0; i < text.codes.size(); ++i) {
                std::string name = "C" + std::to_string(text.codes[i]);
                pdf_obj* form = glyphForm(text.codes[i], text.glyphs[i]);
                mu([&](fz_context* c) { pdf_dict_puts(c, xobjects, name.c_str(), form); });
                if (i > 0) matrix(draw, 1, 0, 0, 1, text.advances[i - 1] * 1000, 0);
                draw += "/" + name + " Do\n";
            }
            const double o = s.haloOffset;
            const double offsets[8][2] = {{o, 0}, {-o, 0}, {0, o},  {0, -o},
                                          {o, o}, {o, -o}, {-o, o}, {-o, -o}};
            ops += "/Gh gs 1 g\n";
            double k = s.fontSize / 1000;
            for (const auto& off : offsets) {
                ops += "q\n";
                matrix(ops, k, 0, 0, k, s.x + off[0], s.y + off[1]);
                ops += draw;
                ops += "Q\n";
            }
        }
        pdf_obj* fonts =
            mu([&](fz_context* c) { return pdf_dict_put_dict(c, resources, PDF_NAME(Font), 1); });
        pdf_obj* f = font();
        mu([&](fz_context* c) { pdf_dict_puts(c, fonts, "Fb", f); });
        number(ops, s.red);
        number(ops, s.green);
        number(ops, s.blue);
        ops += "rg\nBT\n/Fb ";
        number(ops, s.fontSize);
        ops += "Tf\n";
        number(ops, s.x);
        number(ops, s.y);
        ops += "Td\n<";
        static const char* hex = "0123456789ABCDEF";
        for (int code : text.codes) {
            ops += hex[(code >> 4) & 15];
            ops += hex[code & 15];
        }
        ops += "> Tj\nET\nQ\n";
        return ops;
    }

    std::shared_ptr<PdfDocument::Impl> impl_;
    ObjPtr font_;
    std::map<double, ObjPtr> haloStates_;
    std::map<int, ObjPtr> glyphs_;
    int pages_ = 0;
};

// ---- PDF pages as forms ----

int normalRotation(int r) {
    r %= 360;
    if (r < 0) r += 360;
    return (r / 90) * 90;
}

bool filteredWithCrypt(pdf_obj* stream) {
    return mu([&](fz_context* c) {
               pdf_obj* filter = pdf_dict_geta(c, stream, PDF_NAME(Filter), PDF_NAME(F));
               if (pdf_name_eq(c, filter, PDF_NAME(Crypt))) return 1;
               int n = pdf_array_len(c, filter);
               for (int i = 0; i < n; ++i)
                   if (pdf_name_eq(c, pdf_array_get(c, filter, i), PDF_NAME(Crypt))) return 1;
               return 0;
           }) != 0;
}

// The page's content as a form object of the output: a single content stream is copied as it
// is stored (still compressed); several are decoded and joined.
ObjPtr pageForm(pdf_document* dst, pdf_graft_map* map, pdf_obj* pageObj, fz_rect media) {
    ObjPtr dict(mu([&](fz_context* c) { return pdf_new_dict(c, dst, 6); }));
    mu([&](fz_context* c) {
        pdf_dict_put(c, dict.get(), PDF_NAME(Type), PDF_NAME(XObject));
        pdf_dict_put(c, dict.get(), PDF_NAME(Subtype), PDF_NAME(Form));
        pdf_dict_put_rect(c, dict.get(), PDF_NAME(BBox), media);
    });
    auto graftInto = [&](pdf_obj* value, pdf_obj* key) {
        if (!value) return;
        ObjPtr copy(mu([&](fz_context* c) { return pdf_graft_mapped_object(c, map, value); }));
        mu([&](fz_context* c) { pdf_dict_put(c, dict.get(), key, copy.get()); });
    };
    graftInto(mu([&](fz_context* c) {
                  return pdf_dict_get_inheritable(c, pageObj, PDF_NAME(Resources));
              }),
              PDF_NAME(Resources));
    graftInto(mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Group)); }),
              PDF_NAME(Group));

    pdf_obj* contents =
        mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Contents)); });
    BufferPtr data;
    bool raw = false;
    if (mu([&](fz_context* c) { return pdf_is_stream(c, contents); }) &&
        !filteredWithCrypt(contents)) {
        data.reset(mu([&](fz_context* c) { return pdf_load_raw_stream(c, contents); }));
        graftInto(mu([&](fz_context* c) {
                      return pdf_dict_geta(c, contents, PDF_NAME(Filter), PDF_NAME(F));
                  }),
                  PDF_NAME(Filter));
        graftInto(mu([&](fz_context* c) {
                      return pdf_dict_geta(c, contents, PDF_NAME(DecodeParms), PDF_NAME(DP));
                  }),
                  PDF_NAME(DecodeParms));
        raw = true;
    } else {
        data.reset(mu([](fz_context* c) { return fz_new_buffer(c, 4096); }));
        std::vector<pdf_obj*> parts;
        int n = mu([&](fz_context* c) { return pdf_array_len(c, contents); });
        if (n == 0 && mu([&](fz_context* c) { return pdf_is_stream(c, contents); }))
            parts.push_back(contents);
        for (int i = 0; i < n; ++i)
            parts.push_back(mu([&](fz_context* c) { return pdf_array_get(c, contents, i); }));
        for (pdf_obj* part : parts) {
            if (!mu([&](fz_context* c) { return pdf_is_stream(c, part); })) continue;
            BufferPtr piece(mu([&](fz_context* c) { return pdf_load_stream(c, part); }));
            mu([&](fz_context* c) {
                fz_append_buffer(c, data.get(), piece.get());
                fz_append_byte(c, data.get(), '\n');
            });
        }
    }
    return ObjPtr(mu([&](fz_context* c) {
        return pdf_add_stream(c, dst, data.get(), dict.get(), raw ? 1 : 0);
    }));
}

// The printable appearances of the page's annotations, each placed on its rectangle. Adds the
// appearance forms to `xobjects` as A0, A1, ... and returns the drawing operators.
std::string annotationAppearances(pdf_graft_map* map, pdf_obj* pageObj,
                                  std::vector<std::pair<std::string, pdf_obj*>>& xobjects,
                                  std::vector<ObjPtr>& keep) {
    std::string ops;
    pdf_obj* annots = mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Annots)); });
    int n = mu([&](fz_context* c) { return pdf_array_len(c, annots); });
    int used = 0;
    for (int i = 0; i < n; ++i) {
        pdf_obj* annot = mu([&](fz_context* c) { return pdf_array_get(c, annots, i); });
        pdf_obj* appearance = mu([&](fz_context* c) -> pdf_obj* {
            if (!pdf_is_dict(c, annot)) return nullptr;
            pdf_obj* subtype = pdf_dict_get(c, annot, PDF_NAME(Subtype));
            if (pdf_name_eq(c, subtype, PDF_NAME(Popup)) || pdf_name_eq(c, subtype, PDF_NAME(Link)))
                return nullptr;
            int flags = pdf_dict_get_int(c, annot, PDF_NAME(F));
            const int hidden = 2, print = 4, noView = 32;
            if ((flags & hidden) || (flags & noView) || !(flags & print)) return nullptr;
            pdf_obj* ap = pdf_dict_getp(c, annot, "AP/N");
            if (!pdf_is_stream(c, ap) && pdf_is_dict(c, ap))
                ap = pdf_dict_get(c, ap, pdf_dict_get(c, annot, PDF_NAME(AS)));
            return pdf_is_stream(c, ap) ? ap : nullptr;
        });
        if (!appearance) continue;
        fz_rect rect =
            mu([&](fz_context* c) { return pdf_dict_get_rect(c, annot, PDF_NAME(Rect)); });
        fz_rect bbox = mu([&](fz_context* c) {
            return fz_transform_rect(pdf_dict_get_rect(c, appearance, PDF_NAME(BBox)),
                                     pdf_dict_get_matrix(c, appearance, PDF_NAME(Matrix)));
        });
        if (fz_is_empty_rect(rect) || fz_is_empty_rect(bbox)) continue;
        ObjPtr form(mu([&](fz_context* c) { return pdf_graft_mapped_object(c, map, appearance); }));
        mu([&](fz_context* c) {
            pdf_dict_put(c, form.get(), PDF_NAME(Type), PDF_NAME(XObject));
            pdf_dict_put(c, form.get(), PDF_NAME(Subtype), PDF_NAME(Form));
        });
        std::string name = "A" + std::to_string(used++);
        xobjects.emplace_back(name, form.get());
        keep.push_back(std::move(form));
        double a = (rect.x1 - rect.x0) / (bbox.x1 - bbox.x0);
        double d = (rect.y1 - rect.y0) / (bbox.y1 - bbox.y0);
        ops += "q\n";
        matrix(ops, a, 0, 0, d, rect.x0 - bbox.x0 * a, rect.y0 - bbox.y0 * d);
        ops += "/" + name + " Do\nQ\n";
    }
    return ops;
}

// The matrix that shows the media box turned by `rotation` (clockwise, as viewers turn it) with
// its visual bottom-left corner at the origin.
void placement(std::string& ops, fz_rect media, int rotation) {
    const double x0 = media.x0, y0 = media.y0;
    const double w = media.x1 - media.x0, h = media.y1 - media.y0;
    switch (rotation) {
        case 90:
            matrix(ops, 0, -1, 1, 0, -y0, x0 + w);
            break;
        case 180:
            matrix(ops, -1, 0, 0, -1, x0 + w, y0 + h);
            break;
        case 270:
            matrix(ops, 0, 1, -1, 0, y0 + h, -x0);
            break;
        default:
            matrix(ops, 1, 0, 0, 1, -x0, -y0);
            break;
    }
}

Failure unreadable(const std::string& path, const std::string& why) {
    cvlLog("stamp: %s: %s", path.c_str(), why.c_str());
    return Failure{"\u201c" + lastPathComponent(path) + "\u201d could not be stamped: " + why};
}

Result<PdfStampedCopy> finish(const StampedDocument& out, const std::string& path) {
    auto bytes = out.bytes();
    if (!bytes) return unreadable(path, "the stamped copy could not be written.");
    return PdfStampedCopy{std::move(*bytes), out.pages()};
}

// Turns an image's unit square upright for MuPDF's orientation code (1-4: quarter turns
// counter-clockwise, 5-8: the same after a horizontal flip) and scales it to the page.
fz_matrix orientedImage(int orientation, double width, double height) {
    fz_matrix m = fz_translate(-0.5f, -0.5f);
    if (orientation >= 5 && orientation <= 8) m = fz_concat(m, fz_scale(-1, 1));
    int turns = orientation >= 5 ? orientation - 5 : orientation >= 1 ? orientation - 1 : 0;
    m = fz_concat(m, fz_rotate(float(90 * turns)));
    m = fz_concat(m, fz_translate(0.5f, 0.5f));
    return fz_concat(m, fz_scale(float(width), float(height)));
}

}  // namespace

PdfTextMetrics helveticaBoldMetrics(std::string_view text, double fontSize) {
    const Face& face = boldFace();
    if (!face.font) return {};
    try {
        EncodedText encoded = encode(face, text);
        return PdfTextMetrics{encoded.width * fontSize, face.ascent * fontSize,
                              face.descent * fontSize};
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot measure a label: %s", e.what());
        return {};
    }
}

bool helveticaBoldCovers(std::string_view text) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        ucs4_t cp = 0;
        int len = u8_mbtouc(&cp, s + i, text.size() - i);
        if (len <= 0 || cp == 0xFFFD || cp < 0x20 || cp == 0x7F) return false;
        if (fz_windows_1252_from_unicode(int(cp)) <= 0) return false;
        i += size_t(len);
    }
    return true;
}

Result<PdfStampedCopy> stampedPdfCopy(const std::string& path, const PdfStampPlacer& placer) {
    auto opened = PdfDocument::openFile(path);
    if (!opened) return unreadable(path, opened.error());
    PdfDocument source = std::move(opened).value();
    if (source.isLocked()) return unreadable(path, "it needs a password.");
    auto& impl = *source.impl();
    std::lock_guard guard(impl.lock);
    try {
        pdf_document* src = impl.doc.get();
        int count = mu([&](fz_context* c) { return pdf_count_pages(c, src); });
        if (count <= 0) return unreadable(path, "it has no pages.");
        StampedDocument out;
        GraftPtr map(mu([&](fz_context* c) { return pdf_new_graft_map(c, out.doc()); }));
        for (int i = 0; i < count; ++i) {
            pdf_obj* pageObj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, src, i); });
            pdf_obj* mediaObj = mu([&](fz_context* c) {
                return pdf_dict_get_inheritable(c, pageObj, PDF_NAME(MediaBox));
            });
            fz_rect media = mediaObj ? mu([&](fz_context* c) { return pdf_to_rect(c, mediaObj); })
                                     : fz_make_rect(0, 0, 612, 792);
            int rotation = normalRotation(mu([&](fz_context* c) {
                return pdf_to_int(c, pdf_dict_get_inheritable(c, pageObj, PDF_NAME(Rotate)));
            }));
            double w = media.x1 - media.x0, h = media.y1 - media.y0;
            if (!(w > 0) || !(h > 0)) continue;
            if (rotation == 90 || rotation == 270) std::swap(w, h);

            ObjPtr form = pageForm(out.doc(), map.get(), pageObj, media);
            std::vector<std::pair<std::string, pdf_obj*>> xobjects{{"P0", form.get()}};
            std::vector<ObjPtr> keep;
            std::string content = "q\n";
            placement(content, media, rotation);
            content += "/P0 Do\n";
            content += annotationAppearances(map.get(), pageObj, xobjects, keep);
            content += "Q\n";
            out.addPage(w, h, content, xobjects, placer(out.pages(), w, h));
        }
        if (out.pages() == 0) return unreadable(path, "it has no pages.");
        return finish(out, path);
    } catch (const std::exception& e) {
        return unreadable(path, std::string("the PDF could not be redrawn (") + e.what() + ").");
    }
}

Result<PdfStampedCopy> stampedImageCopy(const std::string& path, const PdfStampPlacer& placer) {
    auto bytes = readFile(path);
    if (!bytes) return unreadable(path, "the file could not be read.");
    std::string ext = pathExtension(path);
    for (auto& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    if (ext == "heic" || ext == "heif") {
        if (!heifAvailable()) return unreadable(path, "HEIC images cannot be decoded here.");
        auto bitmap = decodeHeif(*bytes);
        if (!bitmap) return unreadable(path, "the image could not be decoded.");
        auto jpeg = encodeJpeg(*bitmap, 92);
        if (!jpeg) return unreadable(path, "the image could not be decoded.");
        *bytes = std::move(*jpeg);
    }
    try {
        BufferPtr buffer = bufferOf(*bytes);
        ImagePtr image(
            mu([&](fz_context* c) { return fz_new_image_from_buffer(c, buffer.get()); }));
        if (image->w <= 0 || image->h <= 0) return unreadable(path, "the image is empty.");
        // Damaged headers claim sizes that would take minutes to decode.
        if (double(image->w) * double(image->h) >= kMaxRenderPixels)
            return unreadable(path, "the image is too large.");
        // Decoding at a reduced size proves the data is whole without the cost of every pixel.
        int dw = std::max(1, image->w / 8), dh = std::max(1, image->h / 8);
        PixmapPtr check(mu([&](fz_context* c) {
            return fz_get_pixmap_from_image(c, image.get(), nullptr, nullptr, &dw, &dh);
        }));
        int orientation = mu([&](fz_context* c) { return fz_image_orientation(c, image.get()); });
        double w = image->w, h = image->h;
        bool quarter = orientation == 2 || orientation == 4 || orientation == 6 || orientation == 8;
        if (quarter) std::swap(w, h);

        StampedDocument out;
        ObjPtr imageRef(
            mu([&](fz_context* c) { return pdf_add_image(c, out.doc(), image.get()); }));
        fz_matrix m = orientedImage(orientation, w, h);
        std::string content = "q\n";
        matrix(content, m.a, m.b, m.c, m.d, m.e, m.f);
        content += "/I0 Do\nQ\n";
        out.addPage(w, h, content, {{"I0", imageRef.get()}}, placer(0, w, h));
        return finish(out, path);
    } catch (const std::exception& e) {
        return unreadable(path, std::string("the image could not be decoded (") + e.what() + ").");
    }
}

bool heicDecodingAvailable() {
    return heifAvailable();
}

}  // namespace cvl
