// Where the notice card sits: eight spots on the visible screen, a saved choice kept as a
// spot plus a unit point (so it survives a change of display), and the press that tells a
// click from a drag. Coordinates have their origin at the top left, y growing downwards.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace cvl::ZKNoticePlacement {

enum class Spot {
    topLeft,
    topCenter,
    topRight,
    midLeft,
    midRight,
    bottomLeft,
    bottomCenter,
    bottomRight
};

inline constexpr double kInset = 8;          // points from the visible screen edges
inline constexpr double kDragThreshold = 3;  // a press moving further is a drag
inline constexpr const char* kDefaultsKey = "ZKNotice.placement";
inline constexpr Spot kDefaultSpot = Spot::topRight;  // beside the top bar's status area

struct Point {
    double x = 0, y = 0;
};
struct Size {
    double width = 0, height = 0;
};
struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
};

struct Saved {
    Spot spot = kDefaultSpot;
    Point unit;  // the card's centre as a fraction of the visible frame, each 0 to 1
};

std::string spotName(Spot spot);
std::optional<Spot> spotFromName(std::string_view name);

// The card's origin at a spot: flush with that corner or edge centre, inset.
Point origin(Spot spot, Size card, Rect visible);
// The card's origin for a saved placement on this screen, kept fully visible.
Point restore(const Saved& saved, Size card, Rect visible);
// Where a card whose origin is `cardOrigin` settles when released, as the placement to save.
Saved settle(Point cardOrigin, Size card, Rect visible);
// The origin to use: the saved placement when there is one, else the default spot.
Point place(const std::optional<Saved>& saved, Size card, Rect visible);

// Stored form: {"spot": name, "x": unit x, "y": unit y}.
nlohmann::json encode(const Saved& saved);
// None for values that are not objects, hold no numbers or name an unknown spot.
std::optional<Saved> decode(const nlohmann::json& stored);

// The placement kept under `key` in a preferences object; an empty key keeps nothing.
std::optional<Saved> savedPlacement(const nlohmann::json& defaults, const std::string& key);
void storePlacement(nlohmann::json& defaults, const std::string& key, const Saved& saved);
void resetPlacement(nlohmann::json& defaults, const std::string& key);

// One press on the card: a click when it ends where it began, a drag once it has moved
// beyond the threshold.
class Press {
  public:
    enum class Outcome { click, drag };
    explicit Press(Point at) : start_(at), last_(at) {}
    void moveTo(Point at);
    bool isDrag() const { return dragged_; }
    // How far the card follows the pointer so far.
    Point offset() const { return {last_.x - start_.x, last_.y - start_.y}; }
    // The outcome, once: a second release reports nothing.
    std::optional<Outcome> release();

  private:
    Point start_, last_;
    bool dragged_ = false;
    bool released_ = false;
};

}  // namespace cvl::ZKNoticePlacement
