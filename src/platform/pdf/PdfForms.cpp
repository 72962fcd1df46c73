// Form fields: reading widgets, filling values, refreshing appearances and flattening.
#include "platform/pdf/PdfForms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "platform/SysLog.h"
#include "platform/pdf/PdfFormsInternal.h"

namespace cvl {

using namespace pdf;

namespace pdf {

namespace {

PdfFieldType typeOf(int widgetType) {
    switch (widgetType) {
        case PDF_WIDGET_TYPE_TEXT:
            return PdfFieldType::text;
        case PDF_WIDGET_TYPE_COMBOBOX:
        case PDF_WIDGET_TYPE_LISTBOX:
            return PdfFieldType::choice;
        case PDF_WIDGET_TYPE_SIGNATURE:
            return PdfFieldType::signature;
        case PDF_WIDGET_TYPE_CHECKBOX:
            return PdfFieldType::checkBox;
        case PDF_WIDGET_TYPE_RADIOBUTTON:
            return PdfFieldType::radio;
        case PDF_WIDGET_TYPE_BUTTON:
            return PdfFieldType::pushButton;
        default:
            return PdfFieldType::unknown;
    }
}

bool isWidget(pdf_obj* annot) {
    return mu([&](fz_context* c) {
        return pdf_is_dict(c, annot) &&
               pdf_name_eq(c, pdf_dict_get(c, annot, PDF_NAME(Subtype)), PDF_NAME(Widget));
    });
}

}  // namespace

std::vector<WidgetRef> collectWidgets(pdf_document* doc) {
    std::vector<WidgetRef> out;
    int pages = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
    for (int p = 0; p < pages; ++p) {
        pdf_obj* pageObj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, p); });
        pdf_obj* annots =
            mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Annots)); });
        int n = mu([&](fz_context* c) { return pdf_array_len(c, annots); });
        for (int i = 0; i < n; ++i) {
            pdf_obj* annot = mu([&](fz_context* c) { return pdf_array_get(c, annots, i); });
            if (!isWidget(annot)) continue;
            WidgetRef ref;
            ref.widget = annot;
            ref.pageObj = pageObj;
            ref.page = p;
            ref.field = mu([&](fz_context* c) {
                pdf_obj* f = annot;
                for (int depth = 0; f && depth < 32; ++depth) {
                    if (pdf_dict_get(c, f, PDF_NAME(T))) return f;
                    f = pdf_dict_get(c, f, PDF_NAME(Parent));
                }
                return annot;
            });
            char* name = mu([&](fz_context* c) { return pdf_field_name(c, annot); });
            if (name) {
                ref.name = name;
                fz_free(ctx(), name);
            }
            ref.type = typeOf(mu([&](fz_context* c) { return pdf_field_type(c, annot); }));
            ref.flags = mu([&](fz_context* c) { return pdf_field_flags(c, annot); });
            out.push_back(ref);
        }
    }
    return out;
}

std::string onStateOf(pdf_obj* widget) {
    for (pdf_obj* key : {PDF_NAME(N), PDF_NAME(D)}) {
        pdf_obj* states = mu([&](fz_context* c) {
            return pdf_dict_get(c, pdf_dict_get(c, widget, PDF_NAME(AP)), key);
        });
        if (!mu([&](fz_context* c) { return pdf_is_dict(c, states); })) continue;
        int n = mu([&](fz_context* c) { return pdf_dict_len(c, states); });
        for (int i = 0; i < n; ++i) {
            const char* name =
                mu([&](fz_context* c) { return pdf_to_name(c, pdf_dict_get_key(c, states, i)); });
            if (name && *name && std::string(name) != "Off") return name;
        }
    }
    return "Yes";
}

}  // namespace pdf

namespace {

std::string quotedName(const std::string& s) {
    return "\u201c" + s + "\u201d";
}

std::string text(const char* s) {
    return s ? std::string(s) : std::string();
}

std::string lower(std::string s) {
    for (auto& ch : s) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

bool isOnWord(const std::string& v) {
    static const std::set<std::string> words{"yes", "true", "on", "checked", "x", "1"};
    return words.count(lower(v)) > 0;
}

bool isOffWord(const std::string& v) {
    static const std::set<std::string> words{"", "no", "false", "off", "0"};
    return words.count(lower(v)) > 0;
}

std::string stateOf(pdf_obj* widget) {
    return text(
        mu([&](fz_context* c) { return pdf_to_name(c, pdf_dict_get(c, widget, PDF_NAME(AS))); }));
}

bool hasNormalAppearance(pdf_obj* widget) {
    return mu([&](fz_context* c) {
        return pdf_dict_get(c, pdf_dict_get(c, widget, PDF_NAME(AP)), PDF_NAME(N)) != nullptr;
    });
}

pdf_obj* acroForm(pdf_document* doc) {
    return mu(
        [&](fz_context* c) { return pdf_dict_getp(c, pdf_trailer(c, doc), "Root/AcroForm"); });
}

bool needsAppearances(pdf_document* doc) {
    pdf_obj* form = acroForm(doc);
    return mu(
        [&](fz_context* c) { return pdf_to_bool(c, pdf_dict_gets(c, form, "NeedAppearances")); });
}

void clearNeedAppearances(pdf_document* doc) {
    pdf_obj* form = acroForm(doc);
    if (form) mu([&](fz_context* c) { pdf_dict_dels(c, form, "NeedAppearances"); });
}

// Lets MuPDF draw the widget's appearance (buttons without one, text it cannot embed a font for).
void mupdfRedraw(pdf_document* doc, const WidgetRef& ref) {
    PagePtr page(mu([&](fz_context* c) { return pdf_load_page(c, doc, ref.page); }));
    for (pdf_annot* a = mu([&](fz_context* c) { return pdf_first_widget(c, page.get()); }); a;
         a = mu([&](fz_context* c) { return pdf_next_widget(c, a); })) {
        if (mu([&](fz_context* c) { return pdf_annot_obj(c, a); }) != ref.widget) continue;
        mu([&](fz_context* c) {
            pdf_annot_request_resynthesis(c, a);
            pdf_update_annot(c, a);
        });
        break;
    }
}

// Draws the widget's appearance when it is one this program draws; false for other widgets.
bool redraw(pdf_document* doc, FontShaper& shaper, const WidgetRef& ref) {
    if (ref.type == PdfFieldType::text || ref.type == PdfFieldType::choice) {
        if (!writeFieldAppearance(doc, shaper, ref)) mupdfRedraw(doc, ref);
        return true;
    }
    if ((ref.type == PdfFieldType::checkBox || ref.type == PdfFieldType::radio ||
         ref.type == PdfFieldType::pushButton) &&
        !hasNormalAppearance(ref.widget)) {
        mupdfRedraw(doc, ref);
        return true;
    }
    return false;
}

int refreshAll(pdf_document* doc, bool onlyMissing) {
    clearNeedAppearances(doc);
    FontShaper shaper(doc);
    int drawn = 0;
    for (const auto& ref : collectWidgets(doc)) {
        if (onlyMissing) {
            if (hasNormalAppearance(ref.widget)) continue;
            const bool text = ref.type == PdfFieldType::text || ref.type == PdfFieldType::choice;
            if (text && fieldValue(ref.field).empty()) continue;  // nothing to show
        }
        if (redraw(doc, shaper, ref)) ++drawn;
    }
    return drawn;
}

// What one requested value resolves to, checked before anything is changed.
struct PlannedValue {
    std::vector<const WidgetRef*> widgets;
    std::string value;  // text for text and choice fields; the state name for buttons
};

Result<PlannedValue> plan(const std::vector<WidgetRef>& all, const PdfFieldValue& request) {
    PlannedValue out;
    for (const auto& w : all)
        if (w.name == request.name) out.widgets.push_back(&w);
    const std::string field = quotedName(request.name);
    if (out.widgets.empty()) return Failure{"This form has no field named " + field + "."};
    const WidgetRef& first = *out.widgets.front();
    if (first.flags & PDF_FIELD_IS_READ_ONLY)
        return Failure{"The field " + field + " is read-only."};
    const std::string& v = request.value;
    switch (first.type) {
        case PdfFieldType::text: {
            int maxLen = mu([&](fz_context* c) {
                return pdf_to_int(c, pdf_dict_get_inheritable(c, first.widget, PDF_NAME(MaxLen)));
            });
            if (maxLen > 0 && decodeUtf8(v).size() > size_t(maxLen))
                return Failure{"The field " + field + " takes at most " + std::to_string(maxLen) +
                               " characters."};
            out.value = v;
            return out;
        }
        case PdfFieldType::choice: {
            std::vector<std::pair<std::string, std::string>> options;  // export, shown
            int n =
                mu([&](fz_context* c) { return pdf_choice_field_option_count(c, first.field); });
            for (int i = 0; i < n; ++i) {
                std::string exportValue = text(mu(
                    [&](fz_context* c) { return pdf_choice_field_option(c, first.field, 1, i); }));
                std::string shown = text(mu(
                    [&](fz_context* c) { return pdf_choice_field_option(c, first.field, 0, i); }));
                options.emplace_back(exportValue, shown);
            }
            for (const auto& [exportValue, shown] : options)
                if (v == exportValue || v == shown) {
                    out.value = exportValue;
                    return out;
                }
            bool editable =
                (first.flags & PDF_CH_FIELD_IS_COMBO) && (first.flags & PDF_CH_FIELD_IS_EDIT);
            if (editable || v.empty()) {
                out.value = v;
                return out;
            }
            std::string list;
            for (const auto& o : options) list += (list.empty() ? "" : ", ") + quotedName(o.second);
            return Failure{"The field " + field + " takes one of its choices: " + list + "."};
        }
        case PdfFieldType::checkBox:
        case PdfFieldType::radio: {
            std::vector<std::string> states;
            for (const auto* w : out.widgets) {
                std::string s = onStateOf(w->widget);
                if (std::find(states.begin(), states.end(), s) == states.end()) states.push_back(s);
            }
            if (std::find(states.begin(), states.end(), v) != states.end()) {
                out.value = v;
                return out;
            }
            if (v == "Off" || isOffWord(v)) {
                out.value = "Off";
                return out;
            }
            if (first.type == PdfFieldType::checkBox && states.size() == 1 && isOnWord(v)) {
                out.value = states.front();
                return out;
            }
            std::string list;
            for (const auto& s : states) list += (list.empty() ? "" : ", ") + quotedName(s);
            if (first.type == PdfFieldType::radio)
                return Failure{"The field " + field +
                               " is a group of radio buttons: choose one of " + list + ", or Off."};
            return Failure{"The field " + field + " is a check box: use its on state " + list +
                           " (or yes), or Off."};
        }
        case PdfFieldType::pushButton:
            return Failure{"The field " + field + " is a push button and holds no value."};
        case PdfFieldType::signature:
            return Failure{"The field " + field + " is a signature field; sign it instead."};
        default:
            return Failure{"The field " + field + " cannot be filled."};
    }
}

void apply(pdf_document* doc, FontShaper& shaper, const PlannedValue& planned) {
    const WidgetRef& first = *planned.widgets.front();
    if (first.type == PdfFieldType::checkBox || first.type == PdfFieldType::radio) {
        std::set<pdf_obj*> fields;
        for (const auto* w : planned.widgets) fields.insert(w->field);
        for (pdf_obj* f : fields)
            mu([&](fz_context* c) { pdf_dict_put_name(c, f, PDF_NAME(V), planned.value.c_str()); });
        for (const auto* w : planned.widgets) {
            std::string state = onStateOf(w->widget) == planned.value ? planned.value : "Off";
            mu([&](fz_context* c) {
                pdf_dict_put_name(c, w->widget, PDF_NAME(AS), state.c_str());
            });
            if (!hasNormalAppearance(w->widget)) mupdfRedraw(doc, *w);
        }
        return;
    }
    std::set<pdf_obj*> fields;
    for (const auto* w : planned.widgets) fields.insert(w->field);
    for (pdf_obj* f : fields) {
        ObjPtr text(newTextString(doc, planned.value));
        mu([&](fz_context* c) {
            pdf_dict_put(c, f, PDF_NAME(V), text.get());
            pdf_dict_dels(c, f, "RV");
            pdf_dict_del(c, f, PDF_NAME(I));
        });
    }
    for (const auto* w : planned.widgets) redraw(doc, shaper, *w);
}

// ---- flattening ----

std::string uniqueXObjectName(pdf_obj* xobjects, int& counter) {
    for (;;) {
        std::string name = "CvlFld" + std::to_string(counter++);
        if (!mu([&](fz_context* c) { return pdf_dict_gets(c, xobjects, name.c_str()); }))
            return name;
    }
}

// The appearance stream a widget shows now: /AP /N, or its state /AS when /N holds states.
pdf_obj* shownAppearance(pdf_obj* widget) {
    return mu([&](fz_context* c) -> pdf_obj* {
        pdf_obj* n = pdf_dict_get(c, pdf_dict_get(c, widget, PDF_NAME(AP)), PDF_NAME(N));
        if (pdf_is_stream(c, n)) return n;
        if (pdf_is_dict(c, n)) {
            pdf_obj* as = pdf_dict_get(c, widget, PDF_NAME(AS));
            pdf_obj* s = as ? pdf_dict_get(c, n, as) : nullptr;
            return pdf_is_stream(c, s) ? s : nullptr;
        }
        return nullptr;
    });
}

std::string matrixText(const fz_matrix& m) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.5f %.5f %.5f %.5f %.4f %.4f", m.a, m.b, m.c, m.d, m.e, m.f);
    return buf;
}

// Draws the page's visible widgets into its content and drops every widget from /Annots.
int flattenPage(pdf_document* doc, pdf_obj* pageObj, int& nameCounter) {
    pdf_obj* annots = mu([&](fz_context* c) { return pdf_dict_get(c, pageObj, PDF_NAME(Annots)); });
    int n = mu([&](fz_context* c) { return pdf_array_len(c, annots); });
    if (n == 0) return 0;
    pdf_obj* xobjects = pageResources(doc, pageObj, PDF_NAME(XObject));
    ObjPtr kept(mu([&](fz_context* c) { return pdf_new_array(c, doc, n); }));
    std::string drawing;
    int drawn = 0;
    bool removed = false;
    for (int i = 0; i < n; ++i) {
        pdf_obj* annot = mu([&](fz_context* c) { return pdf_array_get(c, annots, i); });
        if (!isWidget(annot)) {
            mu([&](fz_context* c) { pdf_array_push(c, kept.get(), annot); });
            continue;
        }
        removed = true;
        int flags = mu([&](fz_context* c) { return pdf_dict_get_int(c, annot, PDF_NAME(F)); });
        if (flags & (PDF_ANNOT_IS_HIDDEN | PDF_ANNOT_IS_NO_VIEW)) continue;
        pdf_obj* ap = shownAppearance(annot);
        if (!ap) continue;
        fz_rect rect =
            mu([&](fz_context* c) { return pdf_dict_get_rect(c, annot, PDF_NAME(Rect)); });
        fz_rect bbox = mu([&](fz_context* c) { return pdf_dict_get_rect(c, ap, PDF_NAME(BBox)); });
        fz_matrix m =
            mu([&](fz_context* c) { return pdf_dict_get_matrix(c, ap, PDF_NAME(Matrix)); });
        fz_rect shown = fz_transform_rect(bbox, m);
        if (fz_is_empty_rect(rect) || fz_is_empty_rect(shown)) continue;
        float sx = (rect.x1 - rect.x0) / (shown.x1 - shown.x0);
        float sy = (rect.y1 - rect.y0) / (shown.y1 - shown.y0);
        fz_matrix fit =
            fz_make_matrix(sx, 0, 0, sy, rect.x0 - shown.x0 * sx, rect.y0 - shown.y0 * sy);
        std::string name = uniqueXObjectName(xobjects, nameCounter);
        mu([&](fz_context* c) { pdf_dict_puts(c, xobjects, name.c_str(), ap); });
        drawing += "q " + matrixText(fit) + " cm /" + name + " Do Q\n";
        ++drawn;
    }
    if (!removed) return 0;
    mu([&](fz_context* c) {
        if (pdf_array_len(c, kept.get()) > 0)
            pdf_dict_put(c, pageObj, PDF_NAME(Annots), kept.get());
        else
            pdf_dict_del(c, pageObj, PDF_NAME(Annots));
    });
    if (!drawing.empty()) appendPageContent(doc, pageObj, drawing);
    return drawn;
}

}  // namespace

std::vector<PdfWidget> pdfWidgets(const PdfDocument& document) {
    std::vector<PdfWidget> out;
    auto& impl = *document.impl();
    if (!impl.doc) return out;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return out;
    try {
        pdf_document* doc = impl.doc.get();
        for (const auto& ref : collectWidgets(doc)) {
            PdfWidget w;
            w.name = ref.name;
            w.type = ref.type;
            w.page = ref.page;
            w.rect = fromFz(mu(
                [&](fz_context* c) { return pdf_dict_get_rect(c, ref.widget, PDF_NAME(Rect)); }));
            w.readOnly = (ref.flags & PDF_FIELD_IS_READ_ONLY) != 0;
            pdf_obj* v = mu([&](fz_context* c) {
                pdf_obj* o = pdf_dict_get_inheritable(c, ref.field, PDF_NAME(V));
                if (pdf_is_array(c, o)) o = pdf_array_get(c, o, 0);
                return o;
            });
            switch (ref.type) {
                case PdfFieldType::text:
                case PdfFieldType::choice:
                    w.value =
                        mu([&](fz_context* c) { return pdf_is_name(c, v); })
                            ? std::string(mu([&](fz_context* c) { return pdf_to_name(c, v); }))
                            : pdfText(v);
                    break;
                case PdfFieldType::checkBox:
                case PdfFieldType::radio: {
                    w.onState = onStateOf(ref.widget);
                    std::string as = stateOf(ref.widget);
                    w.on = !as.empty() && as != "Off";
                    break;
                }
                case PdfFieldType::signature:
                    w.isSigned = mu([&](fz_context* c) { return pdf_is_dict(c, v); }) != 0;
                    break;
                default:
                    break;
            }
            if (ref.type == PdfFieldType::choice) {
                int n =
                    mu([&](fz_context* c) { return pdf_choice_field_option_count(c, ref.field); });
                for (int i = 0; i < n; ++i)
                    w.options.emplace_back(text(mu([&](fz_context* c) {
                        return pdf_choice_field_option(c, ref.field, 0, i);
                    })));
            }
            out.push_back(std::move(w));
        }
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot read the form fields: %s", e.what());
        out.clear();
    }
    return out;
}

bool pdfFormNeedsAppearances(const PdfDocument& document) {
    auto& impl = *document.impl();
    if (!impl.doc) return false;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return false;
    try {
        return needsAppearances(impl.doc.get());
    } catch (...) {
        return false;
    }
}

Result<int> pdfFillForm(PdfDocument& document, const std::vector<PdfFieldValue>& values) {
    auto& impl = *document.impl();
    if (!impl.doc) return Failure{"The document is empty."};
    std::lock_guard guard(impl.lock);
    if (impl.locked) return Failure{"The document is locked with a password."};
    try {
        pdf_document* doc = impl.doc.get();
        auto widgets = collectWidgets(doc);
        // The last value given for a name wins; fields are set in the order first named.
        std::vector<std::string> order;
        std::map<std::string, std::string> wanted;
        for (const auto& v : values) {
            if (!wanted.count(v.name)) order.push_back(v.name);
            wanted[v.name] = v.value;
        }
        std::vector<PlannedValue> planned;
        for (const auto& name : order) {
            auto p = plan(widgets, PdfFieldValue{name, wanted[name]});
            if (!p) return Failure{p.error()};
            planned.push_back(std::move(p.value()));
        }
        bool redrawOthers = needsAppearances(doc);
        clearNeedAppearances(doc);
        FontShaper shaper(doc);
        for (const auto& p : planned) apply(doc, shaper, p);
        if (redrawOthers) {
            // The form relied on viewers drawing its fields: draw the ones not set here too.
            std::set<std::string> done(order.begin(), order.end());
            for (const auto& ref : widgets)
                if (!done.count(ref.name)) redraw(doc, shaper, ref);
        }
        return int(planned.size());
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot fill the form: %s", e.what());
        return Failure{"The form could not be filled: the document may be damaged."};
    }
}

namespace {

int refreshDocument(PdfDocument& document, bool onlyMissing) {
    auto& impl = *document.impl();
    if (!impl.doc) return -1;
    std::lock_guard guard(impl.lock);
    if (impl.locked) return -1;
    try {
        return refreshAll(impl.doc.get(), onlyMissing);
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot draw the form fields: %s", e.what());
        return -1;
    }
}

}  // namespace

int pdfDrawMissingAppearances(PdfDocument& document) {
    return refreshDocument(document, true);
}

int pdfRefreshFormAppearances(PdfDocument& document) {
    return refreshDocument(document, false);
}

Result<int> pdfFlattenForm(PdfDocument& document) {
    auto& impl = *document.impl();
    if (!impl.doc) return Failure{"The document is empty."};
    std::lock_guard guard(impl.lock);
    if (impl.locked) return Failure{"The document is locked with a password."};
    try {
        pdf_document* doc = impl.doc.get();
        refreshAll(doc, !needsAppearances(doc));
        int drawn = 0;
        int counter = 0;
        int pages = mu([&](fz_context* c) { return pdf_count_pages(c, doc); });
        for (int p = 0; p < pages; ++p) {
            pdf_obj* pageObj = mu([&](fz_context* c) { return pdf_lookup_page_obj(c, doc, p); });
            drawn += flattenPage(doc, pageObj, counter);
        }
        mu([&](fz_context* c) {
            pdf_dict_del(c, pdf_dict_get(c, pdf_trailer(c, doc), PDF_NAME(Root)),
                         PDF_NAME(AcroForm));
        });
        return drawn;
    } catch (const std::exception& e) {
        cvlLog("pdf: cannot flatten the form: %s", e.what());
        return Failure{"The form fields could not be flattened."};
    }
}

}  // namespace cvl
