// Appearance streams for text and choice widgets, written from the field's value in embedded
// fonts: single-line, multi-line (wrapped at word boundaries), comb and password text fields,
// combo boxes and list boxes. Honours the field's default appearance (font size, automatic
// size, text colour), its quadding, and the widget's background, border and rotation.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "platform/pdf/PdfFormsInternal.h"

namespace cvl::pdf {

namespace {

constexpr double kAutoMaxSize = 12;
constexpr double kMinSize = 4;
constexpr double kLineGap = 1.15;

std::string fmt(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

// The parts of a default-appearance string that matter here: the font size and the text colour
// operator ("0 g", "1 0 0 rg", ...).
struct DefaultAppearance {
    double size = 0;
    std::string color = "0 g";
};

DefaultAppearance parseDA(const std::string& da) {
    DefaultAppearance out;
    std::istringstream in(da);
    std::vector<std::string> operands;
    std::string token;
    while (in >> token) {
        if (token == "Tf") {
            if (!operands.empty()) out.size = std::atof(operands.back().c_str());
            operands.clear();
        } else if (token == "g" || token == "rg" || token == "k") {
            size_t n = token == "g" ? 1 : token == "rg" ? 3 : 4;
            if (operands.size() >= n) {
                std::string c;
                for (size_t i = operands.size() - n; i < operands.size(); ++i)
                    c += operands[i] + " ";
                out.color = c + token;
            }
            operands.clear();
        } else {
            operands.push_back(token);
        }
    }
    if (!(out.size >= 0) || out.size > 1000) out.size = 0;
    return out;
}

// A colour array (/MK /BG or /BC) as a fill or stroke operator; empty when absent.
std::string colorOp(pdf_obj* array, bool stroke) {
    int n = mu([&](fz_context* c) { return pdf_array_len(c, array); });
    if (n != 1 && n != 3 && n != 4) return {};
    std::string out;
    for (int i = 0; i < n; ++i)
        out += fmt(mu([&](fz_context* c) { return pdf_array_get_real(c, array, i); })) + " ";
    if (n == 1) return out + (stroke ? "G" : "g");
    if (n == 3) return out + (stroke ? "RG" : "rg");
    return out + (stroke ? "K" : "k");
}

std::string inheritedText(pdf_document* doc, pdf_obj* widget, pdf_obj* key) {
    pdf_obj* v = mu([&](fz_context* c) {
        pdf_obj* o = pdf_dict_get_inheritable(c, widget, key);
        if (o) return o;
        return pdf_dict_get(c, pdf_dict_getp(c, pdf_trailer(c, doc), "Root/AcroForm"), key);
    });
    return pdfText(v);
}

int inheritedInt(pdf_document* doc, pdf_obj* widget, pdf_obj* key, int fallback) {
    return mu([&](fz_context* c) {
        pdf_obj* o = pdf_dict_get_inheritable(c, widget, key);
        if (!o) o = pdf_dict_get(c, pdf_dict_getp(c, pdf_trailer(c, doc), "Root/AcroForm"), key);
        return o ? pdf_to_int(c, o) : fallback;
    });
}

// Choice options: export values and the texts shown for them.
struct ChoiceOption {
    std::string exportValue;
    std::string shown;
};

std::vector<ChoiceOption> choiceOptions(pdf_obj* field) {
    std::vector<ChoiceOption> out;
    pdf_obj* opt =
        mu([&](fz_context* c) { return pdf_dict_get_inheritable(c, field, PDF_NAME(Opt)); });
    int n = mu([&](fz_context* c) { return pdf_array_len(c, opt); });
    for (int i = 0; i < n; ++i) {
        pdf_obj* item = mu([&](fz_context* c) { return pdf_array_get(c, opt, i); });
        if (mu([&](fz_context* c) { return pdf_is_array(c, item); })) {
            ChoiceOption o;
            o.exportValue = pdfText(mu([&](fz_context* c) { return pdf_array_get(c, item, 0); }));
            o.shown = pdfText(mu([&](fz_context* c) { return pdf_array_get(c, item, 1); }));
            out.push_back(o);
        } else {
            std::string t = pdfText(item);
            out.push_back(ChoiceOption{t, t});
        }
    }
    return out;
}

// Greedy word wrap of one paragraph into lines no wider than `width` (at size 1).
std::vector<std::string> wrapParagraph(FontShaper& shaper, const std::string& text, double width) {
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    auto fits = [&](const std::string& s) { return FontShaper::width(shaper.shape(s)) <= width; };
    while (i <= text.size()) {
        size_t space = text.find(' ', i);
        std::string word =
            text.substr(i, space == std::string::npos ? std::string::npos : space - i);
        std::string candidate = line.empty() ? word : line + " " + word;
        if (line.empty() || fits(candidate)) {
            line = candidate;
        } else {
            lines.push_back(line);
            line = word;
        }
        if (space == std::string::npos) break;
        i = space + 1;
    }
    lines.push_back(line);
    return lines;
}

std::vector<std::string> splitParagraphs(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        if (ch == '\r' || ch == '\n') {
            out.push_back(cur);
            cur.clear();
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += ch;
        }
    }
    out.push_back(cur);
    return out;
}

struct Box {
    double w = 0;
    double h = 0;
    double pad = 2;
};

// x of a line of `lineWidth` by quadding q (0 left, 1 centre, 2 right).
double alignX(const Box& box, double lineWidth, int q) {
    if (q == 1) return (box.w - lineWidth) / 2;
    if (q == 2) return box.w - box.pad - lineWidth;
    return box.pad;
}

std::string placeRuns(const std::vector<FontShaper::Run>& runs, double size, double x, double y) {
    if (runs.empty()) return {};
    return "1 0 0 1 " + fmt(x) + " " + fmt(y) + " Tm " + FontShaper::show(runs, size) + "\n";
}

}  // namespace

// The field's value as text: a text string, a name, or the first of an array.
std::string fieldValue(pdf_obj* field) {
    pdf_obj* v = mu([&](fz_context* c) {
        pdf_obj* o = pdf_dict_get_inheritable(c, field, PDF_NAME(V));
        if (pdf_is_array(c, o)) o = pdf_array_get(c, o, 0);
        return o;
    });
    if (mu([&](fz_context* c) { return pdf_is_name(c, v); }))
        return mu([&](fz_context* c) { return pdf_to_name(c, v); });
    return pdfText(v);
}

bool writeFieldAppearance(pdf_document* doc, FontShaper& shaper, const WidgetRef& ref) {
    pdf_obj* w = ref.widget;
    fz_rect rect = mu([&](fz_context* c) { return pdf_dict_get_rect(c, w, PDF_NAME(Rect)); });
    pdf_obj* mk = mu([&](fz_context* c) { return pdf_dict_get(c, w, PDF_NAME(MK)); });
    int rotate = mu([&](fz_context* c) { return pdf_dict_get_int(c, mk, PDF_NAME(R)); });
    rotate = ((rotate % 360) + 360) % 360 / 90 * 90;
    Box box;
    box.w = std::fabs(rect.x1 - rect.x0);
    box.h = std::fabs(rect.y1 - rect.y0);
    if (rotate == 90 || rotate == 270) std::swap(box.w, box.h);
    if (box.w <= 0 || box.h <= 0) return true;  // nothing to draw into

    std::string background =
        colorOp(mu([&](fz_context* c) { return pdf_dict_get(c, mk, PDF_NAME(BG)); }), false);
    std::string border =
        colorOp(mu([&](fz_context* c) { return pdf_dict_get(c, mk, PDF_NAME(BC)); }), true);
    double borderWidth = 0;
    if (!border.empty()) {
        pdf_obj* bs = mu([&](fz_context* c) { return pdf_dict_get(c, w, PDF_NAME(BS)); });
        pdf_obj* bw = mu([&](fz_context* c) { return pdf_dict_get(c, bs, PDF_NAME(W)); });
        borderWidth = bw ? mu([&](fz_context* c) { return pdf_to_real(c, bw); }) : 1.0;
        borderWidth = std::clamp(borderWidth, 0.0, std::min(box.w, box.h) / 4);
    }
    box.pad = std::max(borderWidth, 1.0) + 1;

    DefaultAppearance da = parseDA(inheritedText(doc, w, PDF_NAME(DA)));
    int q = inheritedInt(doc, w, PDF_NAME(Q), 0);
    const int flags = ref.flags;
    std::string value = fieldValue(ref.field);

    std::string body;  // text operators inside BT ... ET
    std::string highlight;
    std::vector<FontShaper::Run> allRuns;
    bool complete = true;
    const double asc = shaper.ascender();
    const double desc = shaper.descender();
    const double inner = box.w - 2 * box.pad;

    auto singleLine = [&](const std::string& text) {
        auto runs = shaper.shape(text, &complete);
        double natural = FontShaper::width(runs);
        double size = da.size;
        if (size <= 0) {
            size = std::min(kAutoMaxSize, (box.h - 2 * box.pad) / (asc - desc));
            if (natural > 0 && natural * size > inner) size = inner / natural;
            size = std::max(size, kMinSize);
        }
        double y = (box.h - size * (asc - desc)) / 2 - desc * size;
        body += placeRuns(runs, size, alignX(box, natural * size, q), y);
        allRuns.insert(allRuns.end(), runs.begin(), runs.end());
    };

    if (ref.type == PdfFieldType::text) {
        if (flags & PDF_TX_FIELD_IS_PASSWORD) value = std::string(decodeUtf8(value).size(), '*');
        int maxLen = inheritedInt(doc, w, PDF_NAME(MaxLen), 0);
        if ((flags & PDF_TX_FIELD_IS_COMB) && maxLen > 0 && !(flags & PDF_TX_FIELD_IS_MULTILINE)) {
            double cell = box.w / maxLen;
            double size = da.size > 0 ? da.size
                                      : std::max(kMinSize, std::min({kAutoMaxSize, cell * 1.2,
                                                                     (box.h - 2) / (asc - desc)}));
            double y = (box.h - size * (asc - desc)) / 2 - desc * size;
            std::u32string chars = decodeUtf8(value);
            for (size_t i = 0; i < chars.size() && i < size_t(maxLen); ++i) {
                std::string one;
                char32_t cp = chars[i];
                char buf[8];
                int n = fz_runetochar(buf, int(cp));
                one.assign(buf, size_t(n));
                auto runs = shaper.shape(one, &complete);
                double x = double(i) * cell + (cell - FontShaper::width(runs) * size) / 2;
                body += placeRuns(runs, size, x, y);
                allRuns.insert(allRuns.end(), runs.begin(), runs.end());
            }
        } else if (flags & PDF_TX_FIELD_IS_MULTILINE) {
            double size = da.size > 0 ? da.size : kAutoMaxSize;
            std::vector<std::string> lines;
            for (;;) {
                lines.clear();
                for (const auto& p : splitParagraphs(value)) {
                    auto wrapped = wrapParagraph(shaper, p, inner / size);
                    lines.insert(lines.end(), wrapped.begin(), wrapped.end());
                }
                double needed = double(lines.size()) * size * kLineGap;
                if (da.size > 0 || needed <= box.h - 2 * box.pad || size <= kMinSize) break;
                size = std::max(kMinSize, size - 0.5);
            }
            double y = box.h - box.pad - asc * size;
            for (const auto& line : lines) {
                auto runs = shaper.shape(line, &complete);
                body += placeRuns(runs, size, alignX(box, FontShaper::width(runs) * size, q), y);
                allRuns.insert(allRuns.end(), runs.begin(), runs.end());
                y -= size * kLineGap;
            }
        } else {
            singleLine(value);
        }
    } else if (ref.type == PdfFieldType::choice) {
        auto options = choiceOptions(ref.field);
        auto shownFor = [&](const std::string& v) {
            for (const auto& o : options)
                if (o.exportValue == v) return o.shown;
            return v;
        };
        if (flags & PDF_CH_FIELD_IS_COMBO) {
            singleLine(shownFor(value));
        } else {
            // A list box: the options from the top index, the selected one highlighted.
            double size = da.size > 0 ? da.size : kAutoMaxSize;
            int top = mu([&](fz_context* c) {
                return pdf_to_int(c, pdf_dict_get_inheritable(c, ref.field, PDF_NAME(TI)));
            });
            double y = box.h - box.pad - asc * size;
            for (size_t i = size_t(std::max(0, top)); i < options.size(); ++i) {
                if (y + desc * size < 0) break;
                auto runs = shaper.shape(options[i].shown, &complete);
                if (options[i].exportValue == value && !value.empty())
                    highlight += "0.6 0.75 0.85 rg " + fmt(box.pad / 2) + " " +
                                 fmt(y + desc * size) + " " + fmt(box.w - box.pad) + " " +
                                 fmt(size * kLineGap) + " re f\n";
                body += placeRuns(runs, size, alignX(box, FontShaper::width(runs) * size, q), y);
                allRuns.insert(allRuns.end(), runs.begin(), runs.end());
                y -= size * kLineGap;
            }
        }
    } else {
        return true;
    }
    if (!complete) return false;

    std::string content;
    if (!background.empty())
        content += background + " 0 0 " + fmt(box.w) + " " + fmt(box.h) + " re f\n";
    if (borderWidth > 0)
        content += border + " " + fmt(borderWidth) + " w " + fmt(borderWidth / 2) + " " +
                   fmt(borderWidth / 2) + " " + fmt(box.w - borderWidth) + " " +
                   fmt(box.h - borderWidth) + " re S\n";
    content += "/Tx BMC\nq\n" + fmt(box.pad / 2) + " " + fmt(box.pad / 2) + " " +
               fmt(box.w - box.pad) + " " + fmt(box.h - box.pad) + " re W n\n" + highlight;
    if (!body.empty()) content += "BT\n" + da.color + "\n" + body + "ET\n";
    content += "Q\nEMC\n";

    fz_matrix matrix = fz_identity;
    if (rotate == 90) matrix = fz_make_matrix(0, 1, -1, 0, float(box.h), 0);
    if (rotate == 180) matrix = fz_make_matrix(-1, 0, 0, -1, float(box.w), float(box.h));
    if (rotate == 270) matrix = fz_make_matrix(0, -1, 1, 0, 0, float(box.w));

    ObjPtr resources(mu([&](fz_context* c) { return pdf_new_dict(c, doc, 1); }));
    pdf_obj* fonts =
        mu([&](fz_context* c) { return pdf_dict_put_dict(c, resources.get(), PDF_NAME(Font), 2); });
    shaper.addFonts(fonts, allRuns);
    BufferPtr buffer(mu([&](fz_context* c) {
        return fz_new_buffer_from_copied_data(
            c, reinterpret_cast<const unsigned char*>(content.data()), content.size());
    }));
    ObjPtr xobject(mu([&](fz_context* c) {
        return pdf_new_xobject(c, doc, fz_make_rect(0, 0, float(box.w), float(box.h)), matrix,
                               resources.get(), buffer.get());
    }));
    mu([&](fz_context* c) {
        pdf_obj* ap = pdf_dict_put_dict(c, w, PDF_NAME(AP), 1);
        pdf_dict_put(c, ap, PDF_NAME(N), xobject.get());
    });
    return true;
}

}  // namespace cvl::pdf
