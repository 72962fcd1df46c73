// What the application's own modules ask of it beyond AppActions: its panels, its look, and
// its settings with their side effects. The application implements it.
#pragma once

#include <string>

namespace cvl {

class AppControl {
  public:
    virtual ~AppControl() = default;

    // Opens (or brings to front) the panel "settings", "help" or "about".
    virtual void openPanel(const std::string& kind) = 0;
    // Toggles light and dark; a hand-made choice holds until the night schedule's next flip.
    virtual void toggleAppearance() = 0;
    // The settings panel's typed setter with its side effects.
    virtual void applyConfig(const std::string& key, const std::string& value) = 0;
    // Stores a menu command's keyboard shortcut; a refused one is explained in a notice.
    virtual void setShortcut(const std::string& command, const std::string& combo) = 0;
};

}  // namespace cvl
