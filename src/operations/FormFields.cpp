#include "operations/FormFields.h"

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

namespace cvl {

using nlohmann::json;

std::string formKind(const PdfWidget& widget) {
    switch (widget.type) {
        case PdfFieldType::text:
            return "text";
        case PdfFieldType::choice:
            return "choice";
        case PdfFieldType::signature:
            return "sig";
        case PdfFieldType::radio:
            return "radio";
        case PdfFieldType::pushButton:
            return "button";
        case PdfFieldType::checkBox:
            return "check";
        default:
            return "text";
    }
}

bool isFillableKind(const std::string& kind) {
    return kind == "text" || kind == "choice" || kind == "check" || kind == "radio";
}

namespace {

std::string widgetValue(const PdfWidget& w, const std::string& kind) {
    if (kind == "text" || kind == "choice") return w.value;
    if (kind == "check" || kind == "radio") return w.on ? w.onState : std::string();
    return {};
}

}  // namespace

std::vector<FormFieldRecord> formFields(const PdfDocument& doc) {
    std::vector<FormFieldRecord> records;
    std::map<std::string, size_t> byName;
    for (const auto& w : pdfWidgets(doc)) {
        if (w.name.empty()) continue;
        const std::string kind = formKind(w);
        auto found = byName.find(w.name);
        if (found != byName.end()) {
            FormFieldRecord& r = records[found->second];
            if (kind == "radio" && r.kind == "radio" && w.on) r.value = w.onState;
            continue;
        }
        FormFieldRecord r;
        r.name = w.name;
        r.kind = kind;
        r.page = w.page + 1;
        r.value = widgetValue(w, kind);
        if (kind == "choice") r.options = w.options;
        byName[w.name] = records.size();
        records.push_back(std::move(r));
    }
    return records;
}

int filledCount(const PdfDocument& doc) {
    int n = 0;
    for (const auto& r : formFields(doc))
        if (isFillableKind(r.kind) && !r.value.empty()) ++n;
    return n;
}

FormSummary summarise(const std::vector<FormFieldRecord>& records) {
    FormSummary s;
    s.ok = true;
    for (const auto& r : records) {
        ++s.total;
        ++s.byKind[r.kind];
        if (isFillableKind(r.kind)) ++s.count;
    }
    s.isForm = s.count > 0;
    return s;
}

FormSummary formSummary(const std::string& path) {
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked()) return FormSummary{};
    return summarise(formFields(*doc));
}

std::string formSummaryJson(const FormSummary& s) {
    if (!s.ok) return json{{"ok", false}}.dump();
    json byKind = json::object();
    for (const auto& [kind, n] : s.byKind) byKind[kind] = n;
    return json{{"ok", true},
                {"isForm", s.isForm},
                {"count", s.count},
                {"total", s.total},
                {"byKind", byKind}}
        .dump();
}

std::string formFieldsJson(const std::vector<FormFieldRecord>& records) {
    json out = json::array();
    for (const auto& r : records) {
        json item{{"name", r.name}, {"kind", r.kind}, {"page", r.page}, {"value", r.value}};
        if (r.kind == "choice") item["options"] = r.options;
        out.push_back(std::move(item));
    }
    return out.dump();
}

std::optional<std::vector<std::string>> pageShapeSignature(const std::string& path) {
    auto doc = PdfDocument::openFile(path);
    if (!doc) return std::nullopt;
    const int pages = doc->isLocked() ? 0 : doc->pageCount();
    if (pages <= 0) return std::nullopt;
    std::vector<std::string> shape;
    for (int i = 0; i < pages; ++i) {
        auto box = doc->mediaBox(i);
        if (!box) {
            shape.push_back("?");
            continue;
        }
        shape.push_back(std::to_string(static_cast<long long>(std::trunc(box->width() * 2))) + "x" +
                        std::to_string(static_cast<long long>(std::trunc(box->height() * 2))));
    }
    return shape;
}

namespace {

std::string normalised(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

}  // namespace

std::vector<std::string> sameFormCopies(const std::string& path,
                                        const std::vector<std::string>& among) {
    std::vector<std::string> out;
    auto mine = pageShapeSignature(path);
    if (!mine) return out;
    const std::string self = normalised(path);
    for (const auto& other : among) {
        if (normalised(other) == self) continue;
        auto theirs = pageShapeSignature(other);
        if (theirs && *theirs == *mine) out.push_back(other);
    }
    return out;
}

}  // namespace cvl
