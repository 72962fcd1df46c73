#include "updates/ZKNoticePlacement.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

namespace cvl::ZKNoticePlacement {

namespace {

constexpr Spot kAllSpots[] = {Spot::topLeft,      Spot::topCenter,  Spot::topRight,
                              Spot::midLeft,      Spot::midRight,   Spot::bottomLeft,
                              Spot::bottomCenter, Spot::bottomRight};

double clampAxis(double origin, double frameStart, double frameSize, double cardSize) {
    const double lo = frameStart + kInset;
    const double hi = frameStart + frameSize - cardSize - kInset;
    if (hi < lo) return lo;  // a card larger than the screen keeps its top-left corner in view
    return std::clamp(origin, lo, hi);
}

Point unitOf(Point cardOrigin, Size card, Rect v) {
    auto unit = [](double centre, double start, double size) {
        return size > 0 ? std::clamp((centre - start) / size, 0.0, 1.0) : 0.5;
    };
    return {unit(cardOrigin.x + card.width / 2, v.x, v.width),
            unit(cardOrigin.y + card.height / 2, v.y, v.height)};
}

}  // namespace

std::string spotName(Spot spot) {
    switch (spot) {
        case Spot::topLeft:
            return "topLeft";
        case Spot::topCenter:
            return "topCenter";
        case Spot::topRight:
            return "topRight";
        case Spot::midLeft:
            return "midLeft";
        case Spot::midRight:
            return "midRight";
        case Spot::bottomLeft:
            return "bottomLeft";
        case Spot::bottomCenter:
            return "bottomCenter";
        case Spot::bottomRight:
            return "bottomRight";
    }
    return "topRight";
}

std::optional<Spot> spotFromName(std::string_view name) {
    for (Spot s : kAllSpots)
        if (spotName(s) == name) return s;
    return std::nullopt;
}

Point origin(Spot spot, Size card, Rect v) {
    double x = 0, y = 0;
    switch (spot) {
        case Spot::topLeft:
        case Spot::midLeft:
        case Spot::bottomLeft:
            x = v.x + kInset;
            break;
        case Spot::topCenter:
        case Spot::bottomCenter:
            x = v.x + (v.width - card.width) / 2;
            break;
        default:
            x = v.x + v.width - card.width - kInset;
            break;
    }
    switch (spot) {
        case Spot::topLeft:
        case Spot::topCenter:
        case Spot::topRight:
            y = v.y + kInset;
            break;
        case Spot::midLeft:
        case Spot::midRight:
            y = v.y + (v.height - card.height) / 2;
            break;
        default:
            y = v.y + v.height - card.height - kInset;
            break;
    }
    return {x, y};
}

Point restore(const Saved& saved, Size card, Rect v) {
    const double cx = v.x + std::clamp(saved.unit.x, 0.0, 1.0) * v.width;
    const double cy = v.y + std::clamp(saved.unit.y, 0.0, 1.0) * v.height;
    return {clampAxis(cx - card.width / 2, v.x, v.width, card.width),
            clampAxis(cy - card.height / 2, v.y, v.height, card.height)};
}

Saved settle(Point cardOrigin, Size card, Rect v) {
    Spot best = kDefaultSpot;
    double bestDistance = INFINITY;
    for (Spot s : kAllSpots) {
        Point o = origin(s, card, v);
        double d = std::hypot(o.x - cardOrigin.x, o.y - cardOrigin.y);
        if (d < bestDistance) bestDistance = d, best = s;
    }
    return {best, unitOf(origin(best, card, v), card, v)};
}

Point place(const std::optional<Saved>& saved, Size card, Rect visible) {
    if (saved) return restore(*saved, card, visible);
    return origin(kDefaultSpot, card, visible);
}

nlohmann::json encode(const Saved& saved) {
    return {{"spot", spotName(saved.spot)}, {"x", saved.unit.x}, {"y", saved.unit.y}};
}

std::optional<Saved> decode(const nlohmann::json& stored) {
    if (!stored.is_object()) return std::nullopt;
    auto spot = stored.find("spot");
    auto x = stored.find("x");
    auto y = stored.find("y");
    if (spot == stored.end() || !spot->is_string()) return std::nullopt;
    if (x == stored.end() || y == stored.end() || !x->is_number() || !y->is_number())
        return std::nullopt;
    auto known = spotFromName(spot->get<std::string>());
    if (!known) return std::nullopt;
    const double ux = x->get<double>(), uy = y->get<double>();
    if (!std::isfinite(ux) || !std::isfinite(uy)) return std::nullopt;
    return Saved{*known, {std::clamp(ux, 0.0, 1.0), std::clamp(uy, 0.0, 1.0)}};
}

std::optional<Saved> savedPlacement(const nlohmann::json& defaults, const std::string& key) {
    if (key.empty() || !defaults.is_object()) return std::nullopt;
    auto it = defaults.find(key);
    if (it == defaults.end()) return std::nullopt;
    return decode(*it);
}

void storePlacement(nlohmann::json& defaults, const std::string& key, const Saved& saved) {
    if (key.empty()) return;
    if (!defaults.is_object()) defaults = nlohmann::json::object();
    defaults[key] = encode(saved);
}

void resetPlacement(nlohmann::json& defaults, const std::string& key) {
    if (!key.empty() && defaults.is_object()) defaults.erase(key);
}

void Press::moveTo(Point at) {
    last_ = at;
    if (std::hypot(at.x - start_.x, at.y - start_.y) > kDragThreshold) dragged_ = true;
}

std::optional<Press::Outcome> Press::release() {
    if (released_) return std::nullopt;
    released_ = true;
    return dragged_ ? Outcome::drag : Outcome::click;
}

}  // namespace cvl::ZKNoticePlacement
