// The application's menu bar as data: menus of command sections, each command with its
// keyboard shortcuts (the built-in ones, or the user's from the "shortcuts" setting) and
// whether it can run now. The desktop host turns it into its toolkit's menus and actions.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl::AppMenu {

struct Item {
    std::string command;  // command identifier, also the key in "shortcuts"
    std::string label;
    // Shortcuts in the toolkit's accelerator form ("<Control><Shift>t"); the first is shown.
    std::vector<std::string> accels;
    bool enabled = true;
    // Radio items of one command share `command` and differ by `target`.
    std::optional<std::string> target;
};

struct Menu {
    std::string label;
    std::vector<std::vector<Item>> sections;
    std::vector<Menu> submenus;  // shown after the sections
};

// What the menus depend on.
struct State {
    std::string appName = "Corvello";
    size_t closedTabs = 0;     // entries on the closed-tab stack
    bool hasWindow = false;    // a document window is open
    bool readerShown = false;  // the key window shows the reader (zoom commands)
    // The title of the item that installs an update the updater holds; none: no such item.
    std::optional<std::string> heldUpdateTitle;
};

// Every command identifier, in menu order (the identifiers "shortcuts" accepts).
std::vector<std::string> commandIds();

// A user's shortcut text as an accelerator: "Ctrl+Shift+K" (modifiers Ctrl/Control/Cmd,
// Shift, Alt/Option, Super, any order, case-insensitive) or an accelerator already in the
// toolkit's form ("<Control>k"). "none" gives an empty text (no shortcut); anything
// unreadable gives none, which keeps the built-in shortcut.
std::optional<std::string> parseShortcut(const std::string& text);

// The menu bar for `state`, with the overrides of the "shortcuts" setting (an object of
// command identifier to shortcut text; other values are ignored).
std::vector<Menu> build(const State& state, const nlohmann::json& shortcuts);

// An accelerator as people write it: "<Control><Shift>t" gives "Ctrl+Shift+T".
std::string displayShortcut(const std::string& accel);

// The settings panel's shortcut setter: stores `combo` for `command` in the settings'
// "shortcuts" object ("none" removes the command's shortcut, an empty text brings the
// built-in one back). Fails with a message for an unknown command or an unreadable key.
Status storeShortcut(nlohmann::json& settings, const std::string& command,
                     const std::string& combo);

// The list the settings panel shows: [{"command", "label", "keys" (as shown), "custom"}].
nlohmann::json shortcutList(const nlohmann::json& shortcuts);

// Finds a command's item (the first, for radio items) in a built menu bar.
const Item* find(const std::vector<Menu>& menus, const std::string& command);

}  // namespace cvl::AppMenu
