// JSON documents as text: invalid UTF-8 inside strings is replaced rather than failing.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace cvl {

// The document as text, indented by `indent` spaces per level (-1: on one line).
std::string jsonText(const nlohmann::json& document, int indent = -1);
// The same for a document that keeps its keys in insertion order.
std::string jsonText(const nlohmann::ordered_json& document, int indent = -1);

}  // namespace cvl
