// The settings of a Bates stamping run: where the label goes, how a number becomes a label, and
// the short hash that identifies a run's settings in the audit manifest.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl {

enum class BatesPosition { bottomRight, bottomCenter, bottomLeft, topRight, topCenter, topLeft };

namespace BatesPositions {
// Every case, in order.
inline constexpr BatesPosition kAll[] = {BatesPosition::bottomRight, BatesPosition::bottomCenter,
                                         BatesPosition::bottomLeft,  BatesPosition::topRight,
                                         BatesPosition::topCenter,   BatesPosition::topLeft};
std::string raw(BatesPosition position);    // "bottomRight"
std::string label(BatesPosition position);  // "Bottom right"
std::optional<BatesPosition> fromRaw(std::string_view raw);
}  // namespace BatesPositions

struct BatesConfig {
    std::string prefix = "ABC";
    long long start = 1;  // first number when the folder has no earlier runs
    int pad = 6;          // digits; below 1 counts as 1
    BatesPosition position = BatesPosition::bottomRight;
    double fontSize = 10;  // points
    double margin = 24;    // points from the page edges
    bool nameByBates = true;
    bool halo = true;

    // prefix + n zero-padded to max(pad, 1) digits; wider numbers are written in full.
    std::string label(long long n) const;
    // The first 8 hex digits of the SHA-256 of prefix|start|pad|position|fontSize|margin|
    // nameByBates.
    std::string settingsHash() const;
};

// A prefix as runs take it: without surrounding white space.
std::string batesTrimmedPrefix(std::string_view prefix);

// The Bates page's settings (window.__cvlBatesConfig): a JSON object with `prefix` (taken without
// surrounding white space), `start`, `pad`, `position` (a raw value; anything else is
// bottomRight), `fontSize` and `nameByBates`, as JSON values or as texts. Missing or unusable
// keys keep their defaults; `margin` and `halo` always do. Text that is not a JSON object (or a
// JSON text holding one) gives the defaults.
BatesConfig batesConfigFromPage(std::string_view text);

// A real number as the settings hash writes it: the shortest form that reads back the same,
// always with a decimal point ("10.0", "10.5").
std::string batesRealText(double value);

}  // namespace cvl
