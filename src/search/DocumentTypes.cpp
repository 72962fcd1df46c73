#include "search/DocumentTypes.h"

#include <utility>

#include "platform/FileIO.h"

namespace cvl::TextExtraction {
namespace {

const std::pair<std::string_view, std::string_view> kTypes[] = {
    {"pdf", "pdf"},       {"docx", "docx"},       {"doc", "docx"}, {"xlsx", "xlsx"},
    {"txt", "text"},      {"text", "text"},       {"log", "text"}, {"csv", "text"},
    {"md", "md"},         {"markdown", "md"},     {"rtf", "rtf"},  {"gdoc", "gdoc"},
    {"gsheet", "gsheet"}, {"gslides", "gslides"},
};

}  // namespace

std::optional<std::string> typeForExt(std::string_view lowerExt) {
    for (const auto& [ext, type] : kTypes)
        if (ext == lowerExt) return std::string(type);
    return std::nullopt;
}

bool isIndexableExt(std::string_view lowerExt) {
    return typeForExt(lowerExt).has_value();
}

std::string typeForPath(const std::string& path) {
    return typeForExt(lowerExtension(path)).value_or("text");
}

}  // namespace cvl::TextExtraction
