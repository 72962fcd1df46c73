// Reading the process environment: a variable's text, and whether it holds a given value.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace cvl {

// The variable's text; empty when it is unset.
inline std::string envValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The variable's text, or none when it is unset (an empty text is set).
inline std::optional<std::string> envVariable(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

// True when the variable is set to exactly `value`.
inline bool envIs(const char* name, const char* value) {
    const char* v = std::getenv(name);
    return v && std::string(v) == value;
}

}  // namespace cvl
