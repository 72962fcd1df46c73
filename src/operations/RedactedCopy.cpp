#include "operations/RedactedCopy.h"

#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/Version.h"
#include "operations/OperationPaths.h"
#include "operations/SearchableLayer.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/pdf/PdfRedaction.h"

namespace cvl {

using nlohmann::json;

Result<std::vector<RedactRegion>> parseRedactRegions(std::string_view text) {
    json j = json::parse(text, nullptr, false);
    if (!j.is_array()) return Failure{"The marked boxes could not be read."};
    std::vector<RedactRegion> out;
    for (const auto& b : j) {
        auto number = [&](const char* key) {
            return b.is_object() && b.contains(key) && b[key].is_number() ? b[key].get<double>()
                                                                          : NAN;
        };
        RedactRegion r;
        double page = number("page");
        r.rect = PdfRect{number("x0"), number("y0"), number("x1"), number("y1")};
        if (!std::isfinite(page) || page < 1 || !std::isfinite(r.rect.x0) ||
            !std::isfinite(r.rect.y0) || !std::isfinite(r.rect.x1) || !std::isfinite(r.rect.y1))
            return Failure{"The marked boxes could not be read."};
        if (r.rect.x0 > r.rect.x1) std::swap(r.rect.x0, r.rect.x1);
        if (r.rect.y0 > r.rect.y1) std::swap(r.rect.y0, r.rect.y1);
        r.page = int(page);
        out.push_back(r);
    }
    return out;
}

std::string redactRegionsJson(const std::vector<RedactRegion>& regions) {
    json list = json::array();
    for (const auto& r : regions)
        list.push_back({{"page", r.page},
                        {"x0", r.rect.x0},
                        {"y0", r.rect.y0},
                        {"x1", r.rect.x1},
                        {"y1", r.rect.y1}});
    return list.dump();
}

Result<RedactedCopy> buildRedactedCopy(const std::string& sourcePath,
                                       const std::vector<RedactRegion>& regions,
                                       const RedactOptions& options) {
    PictureRecogniser recogniser;
    if (options.searchable) {
        recogniser = pictureRecogniser();
        if (!recogniser)
            return Failure{
                "Keep it searchable needs text recognition, and its English language data "
                "(tesseract-ocr-eng) is not installed. Turn the option off to save the "
                "flattened copy."};
    }
    auto source = readFile(sourcePath);
    if (!source)
        return Failure{"Corvello couldn\u2019t read \u201c" + lastPathComponent(sourcePath) +
                       "\u201d."};
    auto doc = PdfDocument::openBytes(*source);
    if (!doc) return Failure{doc.error()};
    if (doc->isLocked())
        return Failure{"\u201c" + lastPathComponent(sourcePath) +
                       "\u201d is locked with a password."};
    std::vector<PdfRedactionBox> boxes;
    for (const auto& r : regions) {
        if (!doc->validPage(r.page - 1))
            return Failure{"A box is on page " + std::to_string(r.page) + ", but \u201c" +
                           lastPathComponent(sourcePath) + "\u201d has " +
                           std::to_string(doc->pageCount()) + " pages."};
        boxes.push_back(PdfRedactionBox{r.page - 1, r.rect});
    }
    PdfFlattenOptions flatten;
    flatten.dpi = options.dpi;
    flatten.progress = options.progress;
    if (recogniser)
        flatten.textLayer = [&recogniser](const PdfBitmap& picture) {
            return textLayerFromLines(recogniser(picture), picture);
        };
    auto flat = pdfFlattenToPictures(*doc, boxes, flatten);
    if (!flat) return Failure{flat.error()};

    RedactedCopy copy;
    copy.bytes = std::move(flat->bytes);
    copy.pages = flat->pages;
    copy.regions = int(regions.size());
    copy.textLines = flat->textLines;
    json list = json::parse(redactRegionsJson(regions));
    json audit{{"source", lastPathComponent(sourcePath)},
               {"sourceSha256", sha256Hex(*source)},
               {"outputSha256", sha256Hex(copy.bytes)},
               {"pages", copy.pages},
               {"resolutionDpi", options.dpi},
               {"regions", list},
               {"searchable", options.searchable},
               {"textLines", copy.textLines},
               {"method",
                "Every page was drawn as a picture with the boxes filled black; only those "
                "pictures were written. The source's text, fonts, metadata, annotations, "
                "outline and form were not copied."}};
    copy.auditJson = audit.dump();
    return copy;
}

std::string redactedFileName(const std::string& sourcePath) {
    std::string stem = fileStem(sourcePath);
    return (stem.empty() ? std::string("Document") : stem) + " (redacted).pdf";
}

std::string redactAuditPath(const std::string& outputPath) {
    return parentPath(outputPath) + "/" + fileStem(outputPath) + ".redaction-audit.json";
}

Status writeRedactAudit(const std::string& outputPath, const std::string& sourcePath, int regions,
                        const std::string& pageAuditJson) {
    (void)sourcePath;  // the page's audit names the source already
    json audit = json::parse(pageAuditJson, nullptr, false);
    if (!audit.is_object()) audit = json::object();
    if (!audit.contains("tool")) audit["tool"] = "Corvello Redaction";
    audit["totalRegions"] = regions;
    audit["output"] = lastPathComponent(outputPath);
    audit["redacted"] = isoTimestampNow();
    audit["appVersion"] = kVersion();
    return writeFileAtomic(redactAuditPath(outputPath), audit.dump(2) + "\n");
}

}  // namespace cvl
