#include "operations/BatesConfig.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Hashing.h"

namespace cvl {

namespace BatesPositions {

std::string raw(BatesPosition position) {
    switch (position) {
        case BatesPosition::bottomRight:
            return "bottomRight";
        case BatesPosition::bottomCenter:
            return "bottomCenter";
        case BatesPosition::bottomLeft:
            return "bottomLeft";
        case BatesPosition::topRight:
            return "topRight";
        case BatesPosition::topCenter:
            return "topCenter";
        case BatesPosition::topLeft:
            return "topLeft";
    }
    return "bottomRight";
}

std::string label(BatesPosition position) {
    switch (position) {
        case BatesPosition::bottomRight:
            return "Bottom right";
        case BatesPosition::bottomCenter:
            return "Bottom center";
        case BatesPosition::bottomLeft:
            return "Bottom left";
        case BatesPosition::topRight:
            return "Top right";
        case BatesPosition::topCenter:
            return "Top center";
        case BatesPosition::topLeft:
            return "Top left";
    }
    return "Bottom right";
}

std::optional<BatesPosition> fromRaw(std::string_view text) {
    for (BatesPosition p : kAll)
        if (raw(p) == text) return p;
    return std::nullopt;
}

}  // namespace BatesPositions

std::string BatesConfig::label(long long n) const {
    // As "%0*lld" writes it: the sign counts towards the width.
    const size_t width = size_t(pad < 1 ? 1 : pad);
    std::string text = std::to_string(n);
    const bool negative = n < 0;
    std::string body = negative ? text.substr(1) : text;
    const size_t used = body.size() + (negative ? 1 : 0);
    if (used < width) body.insert(0, width - used, '0');
    return prefix + (negative ? "-" : "") + body;
}

std::string batesRealText(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
    char buf[64];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, value);
        if (std::strtod(buf, nullptr) == value) break;
    }
    std::string text = buf;
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::string BatesConfig::settingsHash() const {
    std::string joined = prefix + "|" + std::to_string(start) + "|" + std::to_string(pad) + "|" +
                         BatesPositions::raw(position) + "|" + batesRealText(fontSize) + "|" +
                         batesRealText(margin) + "|" + (nameByBates ? "true" : "false");
    return sha256Hex(joined).substr(0, 8);
}

}  // namespace cvl
