#include "platform/Text.h"

#include <unistr.h>

#include <cstdint>

namespace cvl {

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string trimmed(std::string_view text) {
    constexpr std::string_view kSpace = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kSpace);
    return std::string(text.substr(first, last - first + 1));
}

std::string repairUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    std::size_t n = text.size();
    while (n > 0) {
        const uint8_t* bad = u8_check(s, n);
        if (!bad) {
            out.append(reinterpret_cast<const char*>(s), n);
            break;
        }
        out.append(reinterpret_cast<const char*>(s), static_cast<std::size_t>(bad - s));
        out += "\xEF\xBF\xBD";
        n -= static_cast<std::size_t>(bad - s) + 1;
        s = bad + 1;
    }
    return out;
}

}  // namespace cvl
