#include "operations/SignedFields.h"

#include <nlohmann/json.hpp>

#include "platform/pdf/PdfForms.h"

namespace cvl::SignedFields {

std::map<int, std::vector<PdfRect>> rects(const PdfDocument& doc) {
    std::map<int, std::vector<PdfRect>> out;
    for (const auto& w : pdfWidgets(doc))
        if (w.type == PdfFieldType::signature && w.isSigned) out[w.page + 1].push_back(w.rect);
    return out;
}

std::string toJson(const std::map<int, std::vector<PdfRect>>& rects) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& [page, list] : rects)
        for (const auto& r : list)
            out.push_back({{"page", page}, {"x0", r.x0}, {"y0", r.y0}, {"x1", r.x1}, {"y1", r.y1}});
    return out.dump();
}

}  // namespace cvl::SignedFields
