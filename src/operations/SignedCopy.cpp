#include "operations/SignedCopy.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfForms.h"
#include "platform/pdf/PdfPageDrawing.h"

namespace cvl {

using nlohmann::json;

Result<SignPlan> parseSignPlan(std::string_view text) {
    json j = json::parse(text, nullptr, false);
    if (!j.is_object() || !j.contains("placements") || !j["placements"].is_array() ||
        !j.contains("images") || !j["images"].is_object())
        return Failure{"The signing page sent no placements."};
    SignPlan plan;
    for (auto& [id, value] : j["images"].items()) {
        if (!value.is_string()) return Failure{"A signature picture could not be read."};
        std::string b64 = value.get<std::string>();
        auto comma = b64.find(',');
        if (b64.rfind("data:", 0) == 0 && comma != std::string::npos) b64 = b64.substr(comma + 1);
        auto bytes = base64Decode(b64);
        if (!bytes || bytes->empty()) return Failure{"A signature picture could not be read."};
        plan.images[id] = std::move(*bytes);
    }
    for (const auto& p : j["placements"]) {
        if (!p.is_object()) return Failure{"A placement could not be read."};
        SignPlacement s;
        auto number = [&](const char* key) {
            return p.contains(key) && p[key].is_number() ? p[key].get<double>() : NAN;
        };
        double page = number("page");
        s.rect = PdfRect{number("x0"), number("y0"), number("x1"), number("y1")};
        s.image = p.value("image", std::string());
        if (!std::isfinite(page) || page < 1 || !std::isfinite(s.rect.x0) ||
            !std::isfinite(s.rect.y0) || !std::isfinite(s.rect.x1) || !std::isfinite(s.rect.y1))
            return Failure{"A placement could not be read."};
        if (s.rect.x0 > s.rect.x1) std::swap(s.rect.x0, s.rect.x1);
        if (s.rect.y0 > s.rect.y1) std::swap(s.rect.y0, s.rect.y1);
        if (s.rect.isEmpty()) return Failure{"A placement has no size."};
        if (!plan.images.count(s.image)) return Failure{"A placement names a missing picture."};
        s.page = int(page);
        plan.placements.push_back(s);
    }
    if (plan.placements.empty()) return Failure{"Place a signature on the page first."};
    return plan;
}

std::string signPlanJson(const SignPlan& plan) {
    json placements = json::array();
    for (const auto& p : plan.placements)
        placements.push_back({{"page", p.page},
                              {"x0", p.rect.x0},
                              {"y0", p.rect.y0},
                              {"x1", p.rect.x1},
                              {"y1", p.rect.y1},
                              {"image", p.image}});
    json images = json::object();
    for (const auto& [id, bytes] : plan.images) images[id] = base64Encode(bytes);
    return json{{"placements", placements}, {"images", images}}.dump();
}

Result<SignedCopy> buildSignedCopy(const std::string& sourcePath, const SignPlan& plan) {
    auto opened = PdfDocument::openFile(sourcePath);
    if (!opened) return Failure{opened.error()};
    PdfDocument doc = std::move(opened.value());
    if (doc.isLocked())
        return Failure{"\u201c" + lastPathComponent(sourcePath) +
                       "\u201d is locked with a password."};
    for (const auto& p : plan.placements)
        if (!doc.validPage(p.page - 1))
            return Failure{"\u201c" + lastPathComponent(sourcePath) + "\u201d has no page " +
                           std::to_string(p.page) + "."};
    SignedCopy copy;
    copy.hadFields = !pdfWidgets(doc).empty();
    if (copy.hadFields) {
        // Flatten a copy, so that a failure part-way leaves the document as it was.
        auto flat = doc.workingCopy();
        if (flat && pdfFlattenForm(*flat)) {
            doc = std::move(*flat);
        } else {
            copy.flattenFailed = true;
        }
    }
    for (const auto& p : plan.placements) {
        if (!pdfDrawImage(doc, p.page - 1, plan.images.at(p.image), p.rect))
            return Failure{"The signature could not be placed on page " + std::to_string(p.page) +
                           "."};
        ++copy.placements;
    }
    auto bytes = doc.save();
    if (!bytes) return Failure{"Corvello could not write the signed copy."};
    copy.bytes = std::move(*bytes);
    return copy;
}

std::string signSaveReport(const SignedCopy& copy) {
    if (copy.flattenFailed)
        return "Saved, but this document's form fields could not be flattened and are still "
               "editable. Do not send this as a final copy.";
    std::string text = "Saved. ";
    text += copy.placements == 1
                ? std::string("The signature is part of the page now")
                : std::to_string(copy.placements) + " placements are part of the pages now";
    if (copy.hadFields) text += ", and the form fields are gone";
    return text + " \u2014 your original is untouched.";
}

Result<std::string> signPngBase64(const std::string& path, int maxWidth) {
    auto bytes = readFile(path);
    if (!bytes)
        return Failure{"Corvello couldn\u2019t read \u201c" + lastPathComponent(path) + "\u201d."};
    auto png = pictureToPng(*bytes, maxWidth, true);
    if (!png) return Failure{png.error()};
    return base64Encode(png->png);
}

}  // namespace cvl
