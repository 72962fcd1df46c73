// The settings panel's setter: converts the text value for its key, saves it and runs the
// key's side effects through hooks that the desktop application connects.
#pragma once

#include <functional>
#include <string>

namespace cvl {

struct ConfigHooks {
    std::function<void()> rebuildMenu;
    std::function<void(bool shown)> setStatusItem;  // "menu_bar_icon"
    // "remember_closed_tabs": save the closed-tab stack, forget the last written snapshot
    // text, then write the open-tab snapshot (not a clean quit, not discarding).
    std::function<void()> saveClosedTabs;
    std::function<void()> forgetLastSnapshotText;
    std::function<void()> writeOpenTabsSnapshot;
    std::function<void()> applyAppearance;
    std::function<void(const std::string& value)> setNightMode;
    std::function<void()> applyNightNow;
    std::function<void()> rescheduleNightFlip;
    std::function<void()> reloadSettingsPanel;
    // Runs a script in every open reader window.
    std::function<void(const std::string& script)> runInReaderWindows;
    // Every document window forgets its chosen read-aloud voice.
    std::function<void()> resetReadAloudVoices;
    // Seconds since 1970; the system clock when not set.
    std::function<double()> now;
    // The settings file could not be written: why (nothing else runs then).
    std::function<void(const std::string& why)> saveFailed;
};

// Keys stored as JSON booleans (true exactly for "1" or "true").
bool isBooleanSettingKey(const std::string& key);

// Script texts run in reader windows when their setting changes.
std::string readingThemeModeScript(const std::string& value);
std::string statusBarScript(bool on);
std::string zoomWithWindowScript(bool on);

// Loads the configuration, stores `value` converted for `key`, saves, rebuilds the menu and
// runs the key's side effects. "max_depth" stores nothing unless the text is a decimal
// integer; "-1" stores null (no limit).
void applyConfig(const std::string& key, const std::string& value, const ConfigHooks& hooks);

}  // namespace cvl
