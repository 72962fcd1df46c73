#include "operations/BatesConfig.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

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
    char buf[400];
    if (std::fabs(value) >= 1e16 || (value != 0 && std::fabs(value) < 1e-4)) {
        for (int precision = 1; precision <= 17; ++precision) {
            std::snprintf(buf, sizeof buf, "%.*g", precision, value);
            if (std::strtod(buf, nullptr) == value) break;
        }
        return buf;
    }
    for (int decimals = 1; decimals <= 20; ++decimals) {
        std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
        if (std::strtod(buf, nullptr) == value) break;
    }
    return buf;
}

std::string BatesConfig::settingsHash() const {
    std::string joined = prefix + "|" + std::to_string(start) + "|" + std::to_string(pad) + "|" +
                         BatesPositions::raw(position) + "|" + batesRealText(fontSize) + "|" +
                         batesRealText(margin) + "|" + (nameByBates ? "true" : "false");
    return sha256Hex(joined).substr(0, 8);
}

namespace {

std::optional<double> numberIn(const nlohmann::json& value) {
    if (value.is_number()) return value.get<double>();
    if (!value.is_string()) return std::nullopt;
    const std::string text = value.get<std::string>();
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str()) return std::nullopt;
    while (*end == ' ') ++end;
    if (*end) return std::nullopt;
    return v;
}

}  // namespace

std::string batesTrimmedPrefix(std::string_view prefix) {
    const char* space = " \t\r\n\v\f";
    size_t a = prefix.find_first_not_of(space);
    if (a == std::string_view::npos) return "";
    return std::string(prefix.substr(a, prefix.find_last_not_of(space) - a + 1));
}

BatesConfig batesConfigFromPage(std::string_view text) {
    BatesConfig config;
    nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_string()) root = nlohmann::json::parse(root.get<std::string>(), nullptr, false);
    if (!root.is_object()) return config;
    if (auto it = root.find("prefix"); it != root.end()) {
        if (it->is_string())
            config.prefix = batesTrimmedPrefix(it->get<std::string>());
        else if (it->is_null())
            config.prefix = "";
    }
    if (auto it = root.find("start"); it != root.end())
        if (auto v = numberIn(*it); v && std::isfinite(*v))
            config.start = static_cast<long long>(std::clamp(std::floor(*v), 1.0, 1e15));
    if (auto it = root.find("pad"); it != root.end())
        if (auto v = numberIn(*it); v && std::isfinite(*v))
            config.pad = static_cast<int>(std::clamp(std::floor(*v), 0.0, 18.0));
    if (auto it = root.find("position"); it != root.end())
        config.position = BatesPositions::fromRaw(it->is_string() ? it->get<std::string>() : "")
                              .value_or(BatesPosition::bottomRight);
    if (auto it = root.find("fontSize"); it != root.end())
        if (auto v = numberIn(*it); v && std::isfinite(*v) && *v > 0)
            config.fontSize = std::clamp(*v, 1.0, 144.0);
    if (auto it = root.find("nameByBates"); it != root.end()) {
        if (it->is_boolean())
            config.nameByBates = it->get<bool>();
        else if (it->is_string())
            config.nameByBates = it->get<std::string>() == "true" || it->get<std::string>() == "1";
        else if (it->is_number())
            config.nameByBates = it->get<double>() != 0;
    }
    return config;
}

}  // namespace cvl
