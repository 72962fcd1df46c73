#include "operations/SignStops.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/Regex.h"
#include "platform/pdf/PdfForms.h"

namespace cvl {

namespace {

constexpr double kLineStopWidth = 200;

// A label that asks for a signature, and the blank that may follow it.
const Regex& cue() {
    static const Regex re(
        "\\b(?:authori[sz]ed\\s+signature|signature|signatory|signed|sign\\s+here|by)\\s*"
        "(?::\\s*(?:_{3,}|$)|_{3,})|\\bsign\\s+here\\b|^\\s*x\\s*_{3,}",
        Regex::kUnicode | Regex::kCaseless);
    return re;
}

const Regex& blank() {
    static const Regex re("_{3,}", Regex::kUnicode);
    return re;
}

void textStops(const PdfDocument& doc, int page, std::vector<SignStop>& out) {
    auto text = doc.pageTextWithBoxes(page);
    auto box = doc.cropBox(page);
    if (!text || !box) return;
    for (const auto& line : text->lines) {
        std::string_view s(text->text.data() + line.begin, line.end - line.begin);
        auto m = cue().find(s);
        if (!m) continue;
        SignStop stop;
        stop.page = page + 1;
        stop.kind = "line";
        stop.label = std::string(s);
        auto under = blank().find(s, m->begin);
        auto rects = under ? text->rectsForRange(line.begin + under->begin, line.begin + under->end)
                           : text->rectsForRange(line.begin + m->begin, line.begin + m->end);
        if (rects.empty()) continue;
        PdfRect r = rects.front();
        const double h = std::max(line.box.height(), 10.0);
        if (under) {
            stop.rect = PdfRect{r.x0, r.y0, r.x1, r.y0 + 2.5 * h};
        } else {
            // No blank line drawn as text: the signature goes right of the label.
            double x0 = r.x1 + 4;
            double x1 = std::min(box->x1 - 18, x0 + kLineStopWidth);
            if (x1 - x0 < 60) continue;
            stop.rect = PdfRect{x0, r.y0, x1, r.y0 + 2.5 * h};
        }
        out.push_back(stop);
    }
}

}  // namespace

std::vector<SignStop> findSignStops(const PdfDocument& doc, const std::vector<int>& pages) {
    std::vector<int> wanted;
    for (int p : pages)
        if (doc.validPage(p - 1)) wanted.push_back(p - 1);
    if (pages.empty())
        for (int i = 0; i < doc.pageCount(); ++i) wanted.push_back(i);
    std::vector<SignStop> stops;
    auto widgets = pdfWidgets(doc);
    for (int page : wanted) {
        for (const auto& w : widgets)
            if (w.page == page && w.type == PdfFieldType::signature && !w.isSigned)
                stops.push_back(SignStop{page + 1, w.rect, "field", w.name});
        textStops(doc, page, stops);
    }
    std::stable_sort(stops.begin(), stops.end(), [](const SignStop& a, const SignStop& b) {
        if (a.page != b.page) return a.page < b.page;
        return a.rect.y1 > b.rect.y1;
    });
    return stops;
}

std::string signStopsJson(const std::vector<SignStop>& stops) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& s : stops)
        out.push_back({{"page", s.page},
                       {"x0", s.rect.x0},
                       {"y0", s.rect.y0},
                       {"x1", s.rect.x1},
                       {"y1", s.rect.y1},
                       {"kind", s.kind},
                       {"label", s.label}});
    return out.dump();
}

}  // namespace cvl
