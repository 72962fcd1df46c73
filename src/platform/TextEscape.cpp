#include "platform/TextEscape.h"

#include <cctype>

#include <nlohmann/json.hpp>

namespace cvl {

std::string jsQuote(std::string_view text) {
    try {
        std::string arr = nlohmann::json::array({std::string(text)}).dump();
        return arr.substr(1, arr.size() - 2);
    } catch (const nlohmann::json::exception&) {
        return "\"\"";  // invalid UTF-8 cannot be encoded
    }
}

std::string jsEsc(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\'':
                out += "\\'";
                break;
            case '\n':
            case '\r':
                out += ' ';
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string percentEncode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string percentEncodePath(std::string_view path) {
    std::string out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        out += percentEncode(path.substr(start, slash - start));
        if (slash < path.size()) out += '/';
        start = slash + 1;
    }
    return out;
}

std::optional<std::string> urlQuery(std::string_view url, std::string_view name) {
    auto q = url.find('?');
    if (q == std::string_view::npos) return std::nullopt;
    std::string_view query = url.substr(q + 1);
    auto hash = query.find('#');
    if (hash != std::string_view::npos) query = query.substr(0, hash);
    while (!query.empty()) {
        auto amp = query.find('&');
        std::string_view item = query.substr(0, amp);
        auto eq = item.find('=');
        std::string key = percentDecode(item.substr(0, eq));
        if (key == name)
            return eq == std::string_view::npos ? std::string()
                                                : percentDecode(item.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

std::string trimWhitespace(std::string_view text) {
    const auto b = text.find_first_not_of(" \t\r\n\f\v");
    if (b == std::string_view::npos) return "";
    return std::string(text.substr(b, text.find_last_not_of(" \t\r\n\f\v") - b + 1));
}

}  // namespace cvl
