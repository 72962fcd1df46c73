#include "platform/pdf/PdfFacts.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "platform/SysLog.h"
#include "platform/pdf/PdfInternal.h"

namespace cvl {

using namespace pdf;

namespace {

pdf_obj* get(pdf_obj* dict, pdf_obj* key) {
    return mu([&](fz_context* c) { return pdf_dict_get(c, dict, key); });
}
pdf_obj* gets(pdf_obj* dict, const char* key) {
    return mu([&](fz_context* c) { return pdf_dict_gets(c, dict, key); });
}
std::string nameOf(pdf_obj* obj) {
    const char* n = mu([&](fz_context* c) { return pdf_to_name(c, obj); });
    return n ? n : "";
}
bool isDict(pdf_obj* o) {
    return mu([&](fz_context* c) { return pdf_is_dict(c, o); }) != 0;
}
int arrayLen(pdf_obj* a) {
    return mu([&](fz_context* c) { return pdf_array_len(c, a); });
}
pdf_obj* arrayGet(pdf_obj* a, int i) {
    return mu([&](fz_context* c) { return pdf_array_get(c, a, i); });
}
int objNum(pdf_obj* o) {
    return mu([&](fz_context* c) { return pdf_to_num(c, o); });
}

// Fonts of resource dictionaries, following form XObjects; each object once.
class FontScan {
  public:
    std::vector<PdfFontFact> fonts;

    void resources(pdf_obj* res, int depth) {
        if (!isDict(res) || depth > 12 || !firstVisit(res)) return;
        pdf_obj* fontDict = get(res, PDF_NAME(Font));
        const int nf = mu([&](fz_context* c) { return pdf_dict_len(c, fontDict); });
        for (int i = 0; i < nf; ++i)
            font(mu([&](fz_context* c) { return pdf_dict_get_val(c, fontDict, i); }));
        pdf_obj* xobjects = get(res, PDF_NAME(XObject));
        const int nx = mu([&](fz_context* c) { return pdf_dict_len(c, xobjects); });
        for (int i = 0; i < nx; ++i) {
            pdf_obj* x = mu([&](fz_context* c) { return pdf_dict_get_val(c, xobjects, i); });
            if (nameOf(get(x, PDF_NAME(Subtype))) == "Form" && firstVisit(x))
                resources(get(x, PDF_NAME(Resources)), depth + 1);
        }
    }

    // The normal appearance of an annotation: one stream, or a dictionary of states.
    void appearance(pdf_obj* annot) {
        pdf_obj* n = get(get(annot, PDF_NAME(AP)), PDF_NAME(N));
        if (mu([&](fz_context* c) { return pdf_is_stream(c, n); })) {
            resources(get(n, PDF_NAME(Resources)), 1);
            return;
        }
        const int len = mu([&](fz_context* c) { return pdf_dict_len(c, n); });
        for (int i = 0; i < len; ++i) {
            pdf_obj* s = mu([&](fz_context* c) { return pdf_dict_get_val(c, n, i); });
            resources(get(s, PDF_NAME(Resources)), 1);
        }
    }

  private:
    bool firstVisit(pdf_obj* o) {
        const int num = objNum(o);
        if (num <= 0) return true;  // a direct object cannot be reached twice by reference
        return seen_.insert(num).second;
    }

    static bool hasFontFile(pdf_obj* descriptor, std::string* file3Subtype) {
        if (!isDict(descriptor)) return false;
        if (get(descriptor, PDF_NAME(FontFile)) || get(descriptor, PDF_NAME(FontFile2)))
            return true;
        pdf_obj* f3 = get(descriptor, PDF_NAME(FontFile3));
        if (!f3) return false;
        if (file3Subtype) *file3Subtype = nameOf(get(f3, PDF_NAME(Subtype)));
        return true;
    }

    void font(pdf_obj* f) {
        if (!isDict(f) || !firstVisit(f)) return;
        PdfFontFact fact;
        std::string base = nameOf(get(f, PDF_NAME(BaseFont)));
        if (base.size() > 7 && base[6] == '+' &&
            std::all_of(base.begin(), base.begin() + 6,
                        [](char ch) { return ch >= 'A' && ch <= 'Z'; })) {
            fact.subset = true;
            base = base.substr(7);
        }
        fact.name = base;
        const std::string subtype = nameOf(get(f, PDF_NAME(Subtype)));
        std::string file3;
        if (subtype == "Type0") {
            pdf_obj* desc = arrayGet(get(f, PDF_NAME(DescendantFonts)), 0);
            const std::string cid = nameOf(get(desc, PDF_NAME(Subtype)));
            fact.embedded = hasFontFile(get(desc, PDF_NAME(FontDescriptor)), &file3);
            if (cid == "CIDFontType2")
                fact.type = "CID TrueType";
            else
                fact.type = file3 == "CIDFontType0C" ? "CID Type 0C" : "CID Type 0";
        } else if (subtype == "Type3") {
            fact.type = "Type 3";
            fact.embedded = true;  // its glyphs are drawn by the document itself
        } else if (subtype == "TrueType") {
            fact.embedded = hasFontFile(get(f, PDF_NAME(FontDescriptor)), &file3);
            fact.type = file3 == "OpenType" ? "TrueType (OT)" : "TrueType";
        } else {
            fact.embedded = hasFontFile(get(f, PDF_NAME(FontDescriptor)), &file3);
            fact.type = file3 == "Type1C"     ? "Type 1C"
                        : file3 == "OpenType" ? "Type 1 (OT)"
                                              : "Type 1";
        }
        fonts.push_back(std::move(fact));
    }

    std::set<int> seen_;
};

// Terminal fields of a form: fields whose kids are only widgets (or that have none).
int countFields(pdf_obj* fields, int depth, std::set<int>& seen) {
    if (depth > 32) return 0;
    int count = 0;
    const int n = arrayLen(fields);
    for (int i = 0; i < n; ++i) {
        pdf_obj* field = arrayGet(fields, i);
        if (!isDict(field)) continue;
        const int num = objNum(field);
        if (num > 0 && !seen.insert(num).second) continue;
        pdf_obj* kids = get(field, PDF_NAME(Kids));
        bool hasFieldKids = false;
        for (int k = 0; k < arrayLen(kids); ++k)
            if (get(arrayGet(kids, k), PDF_NAME(T))) hasFieldKids = true;
        count += hasFieldKids ? countFields(kids, depth + 1, seen) : 1;
    }
    return count;
}

std::string twoDigits(const std::string& s, size_t at) {
    return at + 2 <= s.size() ? s.substr(at, 2) : std::string();
}

bool allDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string pdfDateToIso(const std::string& pdfDate) {
    std::string s = pdfDate;
    if (s.rfind("D:", 0) == 0) s = s.substr(2);
    if (s.size() < 4 || !allDigits(s.substr(0, 4))) return pdfDate;
    std::string out = s.substr(0, 4);
    size_t at = 4;
    const char* seps[] = {"-", "-", "T", ":", ":"};
    const char* defaults[] = {"01", "01", "00", "00", "00"};
    bool any = true;
    for (int k = 0; k < 5; ++k) {
        std::string part = any ? twoDigits(s, at) : "";
        if (!allDigits(part)) {
            any = false;
            part = defaults[k];
        } else {
            at += 2;
        }
        out += seps[k] + part;
    }
    if (at < s.size()) {
        const char z = s[at];
        if (z == 'Z') {
            out += "Z";
        } else if (z == '+' || z == '-') {
            std::string rest = s.substr(at + 1);
            rest.erase(std::remove(rest.begin(), rest.end(), '\''), rest.end());
            const std::string hh = twoDigits(rest, 0), mm = twoDigits(rest, 2);
            if (allDigits(hh)) out += std::string(1, z) + hh + ":" + (allDigits(mm) ? mm : "00");
        }
    }
    return out;
}

std::string pageRangesText(const std::vector<int>& pages) {
    std::string out;
    for (size_t i = 0; i < pages.size();) {
        size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
        if (!out.empty()) out += ", ";
        out += std::to_string(pages[i]);
        if (j > i) out += "-" + std::to_string(pages[j]);
        i = j + 1;
    }
    return out;
}

std::string paperName(double width, double height) {
    struct Paper {
        const char* name;
        double w, h;
    };
    static const Paper papers[] = {
        {"A3", 841.89, 1190.55}, {"A4", 595.28, 841.89}, {"A5", 419.53, 595.28},
        {"A6", 297.64, 419.53},  {"B5", 498.9, 708.66},  {"Letter", 612, 792},
        {"Legal", 612, 1008},    {"Tabloid", 792, 1224}, {"Executive", 522, 756},
    };
    const double a = std::min(width, height), b = std::max(width, height);
    for (const auto& p : papers)
        if (std::fabs(a - p.w) <= 2 && std::fabs(b - p.h) <= 2) return p.name;
    return "";
}

bool pdfAllowsPrinting(const PdfDocument& document) {
    auto& impl = *document.impl();
    if (!impl.doc) return false;
    std::lock_guard guard(impl.lock);
    try {
        pdf_document* doc = impl.doc.get();
        return mu([&](fz_context* c) {
                   return fz_has_permission(c, &doc->super, FZ_PERMISSION_PRINT);
               }) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<PdfFacts> pdfFacts(const PdfDocument& document) {
    auto& impl = *document.impl();
    if (!impl.doc) return std::nullopt;
    std::lock_guard guard(impl.lock);
    PdfFacts facts;
    try {
        pdf_document* doc = impl.doc.get();
        const int v = mu([&](fz_context* c) { return pdf_version(c, doc); });
        facts.version = std::to_string(v / 10) + "." + std::to_string(v % 10);
        facts.locked = impl.locked;
        if (doc->crypt) {
            facts.encrypted = true;
            const char* method = mu([&](fz_context* c) { return pdf_crypt_method(c, doc->crypt); });
            const int bits = mu([&](fz_context* c) { return pdf_crypt_length(c, doc->crypt); });
            facts.encryption = std::string(method ? method : "Unknown") +
                               (bits > 0 ? " " + std::to_string(bits) + "-bit" : "");
            auto may = [&](fz_permission p) {
                return mu([&](fz_context* c) { return fz_has_permission(c, &doc->super, p); }) != 0;
            };
            facts.mayPrint = may(FZ_PERMISSION_PRINT);
            facts.mayCopy = may(FZ_PERMISSION_COPY);
            facts.mayEdit = may(FZ_PERMISSION_EDIT);
            facts.mayAnnotate = may(FZ_PERMISSION_ANNOTATE);
        }
        if (impl.locked) return facts;  // everything else is encrypted with the password

        pdf_obj* trailer = mu([&](fz_context* c) { return pdf_trailer(c, doc); });
        pdf_obj* info = get(trailer, PDF_NAME(Info));
        for (const char* key : {"Title", "Author", "Subject", "Keywords", "Creator", "Producer",
                                "CreationDate", "ModDate"}) {
            std::string value = pdfText(gets(info, key));
            if (value.empty()) continue;
            if (std::string(key).find("Date") != std::string::npos) value = pdfDateToIso(value);
            facts.info.emplace_back(key, value);
        }

        pdf_obj* root = get(trailer, PDF_NAME(Root));
        facts.tagged = mu([&](fz_context* c) {
                           return pdf_to_bool(
                               c, pdf_dict_gets(c, pdf_dict_gets(c, root, "MarkInfo"), "Marked"));
                       }) != 0;
        facts.structure = isDict(gets(root, "StructTreeRoot"));
        pdf_obj* acro = get(root, PDF_NAME(AcroForm));
        std::set<int> seenFields;
        facts.fieldCount = countFields(get(acro, PDF_NAME(Fields)), 0, seenFields);
        facts.forms = get(acro, PDF_NAME(XFA)) ? "XFA" : facts.fieldCount > 0 ? "AcroForm" : "none";

        facts.pageCount = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
        std::map<std::pair<long, long>, std::vector<int>> bySize;  // size in 1/100 points
        std::vector<std::pair<long, long>> order;
        FontScan fonts;
        for (int i = 0; i < facts.pageCount; ++i) {
            pdf_obj* page = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, i); });
            fz_rect box = mu([&](fz_context* c) {
                pdf_obj* crop = pdf_dict_get_inheritable(c, page, PDF_NAME(CropBox));
                pdf_obj* media = pdf_dict_get_inheritable(c, page, PDF_NAME(MediaBox));
                fz_rect m = pdf_to_rect(c, media);
                return crop ? fz_intersect_rect(pdf_to_rect(c, crop), m) : m;
            });
            int rotate = mu([&](fz_context* c) {
                return pdf_to_int(c, pdf_dict_get_inheritable(c, page, PDF_NAME(Rotate)));
            });
            rotate = ((rotate % 360) + 360) % 360;
            double w = box.x1 - box.x0, h = box.y1 - box.y0;
            if (rotate == 90 || rotate == 270) std::swap(w, h);
            const std::pair<long, long> key{std::lround(w * 100), std::lround(h * 100)};
            auto& list = bySize[key];
            if (list.empty()) order.push_back(key);
            list.push_back(i + 1);

            if (i < kFactsFontPageLimit) {
                fonts.resources(mu([&](fz_context* c) {
                                    return pdf_dict_get_inheritable(c, page, PDF_NAME(Resources));
                                }),
                                0);
                pdf_obj* annots = get(page, PDF_NAME(Annots));
                for (int k = 0; k < arrayLen(annots); ++k) fonts.appearance(arrayGet(annots, k));
            } else {
                facts.fontsTruncated = true;
            }
        }
        for (const auto& key : order) {
            PdfPageSizeGroup g;
            g.width = key.first / 100.0;
            g.height = key.second / 100.0;
            g.paper = paperName(g.width, g.height);
            g.count = static_cast<int>(bySize[key].size());
            g.pages = pageRangesText(bySize[key]);
            facts.pageSizes.push_back(std::move(g));
        }
        facts.fonts = std::move(fonts.fonts);
        std::stable_sort(
            facts.fonts.begin(), facts.fonts.end(),
            [](const PdfFontFact& a, const PdfFontFact& b) { return a.name < b.name; });
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read the document's facts: %s", e.what());
        return std::nullopt;
    }
    return facts;
}

}  // namespace cvl
