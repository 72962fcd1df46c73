#include "app/AppMenu.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

namespace cvl::AppMenu {

namespace {

// Key names a shortcut may use besides single letters and digits.
std::optional<std::string> keyName(const std::string& key) {
    static const std::pair<const char*, const char*> names[] = {
        {"plus", "plus"},     {"+", "plus"},
        {"minus", "minus"},   {"-", "minus"},
        {"=", "equal"},       {"equal", "equal"},
        {",", "comma"},       {"comma", "comma"},
        {".", "period"},      {"period", "period"},
        {"/", "slash"},       {"slash", "slash"},
        {"[", "bracketleft"}, {"]", "bracketright"},
        {"space", "space"},   {"tab", "Tab"},
        {"enter", "Return"},  {"return", "Return"},
        {"delete", "Delete"}, {"backspace", "BackSpace"},
        {"escape", "Escape"}, {"esc", "Escape"},
        {"left", "Left"},     {"right", "Right"},
        {"up", "Up"},         {"down", "Down"},
        {"home", "Home"},     {"end", "End"}};
    const std::string k = asciiLower(key);
    if (k.size() == 1 && std::isalnum(static_cast<unsigned char>(k[0]))) return k;
    if (k.size() >= 2 && k.size() <= 3 && k[0] == 'f') {
        int n = 0;
        for (size_t i = 1; i < k.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(k[i]))) return std::nullopt;
            n = n * 10 + (k[i] - '0');
        }
        if (n >= 1 && n <= 12) return "F" + std::to_string(n);
        return std::nullopt;
    }
    for (const auto& [from, to] : names)
        if (k == from) return std::string(to);
    return std::nullopt;
}

Item item(const char* command, const char* label, std::vector<std::string> accels = {},
          bool enabled = true) {
    return Item{command, label, std::move(accels), enabled, std::nullopt};
}

}  // namespace

std::optional<std::string> parseShortcut(const std::string& raw) {
    const std::string text = trimmed(raw);
    if (text.empty()) return std::nullopt;
    if (asciiLower(text) == "none") return std::string();
    if (text[0] == '<') {
        // The toolkit's own form: modifiers in angle brackets, then one key.
        std::string mods;
        size_t at = 0;
        while (at < text.size() && text[at] == '<') {
            size_t close = text.find('>', at);
            if (close == std::string::npos) return std::nullopt;
            const std::string mod = asciiLower(text.substr(at + 1, close - at - 1));
            if (mod == "control" || mod == "ctrl" || mod == "primary")
                mods += "<Control>";
            else if (mod == "shift")
                mods += "<Shift>";
            else if (mod == "alt")
                mods += "<Alt>";
            else if (mod == "super")
                mods += "<Super>";
            else
                return std::nullopt;
            at = close + 1;
        }
        auto key = keyName(text.substr(at));
        if (!key || mods.empty()) return std::nullopt;
        return mods + *key;
    }
    // "Ctrl+Shift+K": the last piece is the key ("Ctrl++" names the plus key).
    std::vector<std::string> parts;
    std::string piece;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+' && !piece.empty()) {
            parts.push_back(trimmed(piece));
            piece.clear();
        } else {
            piece += text[i];
        }
    }
    parts.push_back(trimmed(piece));
    if (parts.size() < 2) return std::nullopt;
    bool ctrl = false, shift = false, alt = false, super = false;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string mod = asciiLower(parts[i]);
        if (mod == "ctrl" || mod == "control" || mod == "cmd" || mod == "command")
            ctrl = true;
        else if (mod == "shift")
            shift = true;
        else if (mod == "alt" || mod == "option" || mod == "opt")
            alt = true;
        else if (mod == "super" || mod == "meta")
            super = true;
        else
            return std::nullopt;
    }
    auto key = keyName(parts.back());
    // A shortcut needs a modifier other than Shift, so that typing in pages is not taken.
    if (!key || !(ctrl || alt || super)) return std::nullopt;
    std::string accel;
    if (ctrl) accel += "<Control>";
    if (shift) accel += "<Shift>";
    if (alt) accel += "<Alt>";
    if (super) accel += "<Super>";
    return accel + *key;
}

std::vector<Menu> build(const State& state, const nlohmann::json& shortcuts) {
    const bool zoom = state.readerShown;
    std::vector<Menu> menus;

    Menu app{state.appName, {}, {}};
    std::vector<Item> settings = {item("settings", "Settings…", {"<Control>comma"}),
                                  item("check-updates", "Check for Updates…")};
    if (state.heldUpdateTitle)
        settings.push_back(item("install-update", state.heldUpdateTitle->c_str()));
    app.sections.push_back(std::move(settings));
    app.sections.push_back({item("about", ("About " + state.appName).c_str())});
    app.sections.push_back({item("quit", "Quit", {"<Control>q", "<Control><Alt>q"})});
    menus.push_back(std::move(app));

    Menu file{"File", {}, {}};
    file.sections.push_back({item("new-window", "New Window", {"<Control>n"}),
                             item("open", "Open…", {"<Control><Shift>o"}),
                             item("open-folder", "Open Folder…", {"<Control>o"}),
                             item("organize-folder", "Organize Folder…"),
                             item("compare-documents", "Compare Documents…")});
    file.sections.push_back({item("reopen-closed-tab", "Reopen Closed Tab", {"<Control><Shift>t"},
                                  state.closedTabs > 0),
                             item("file-history", "File History", {"<Control>y"})});
    file.sections.push_back(
        {item("close-tab", "Close Tab", {"<Control>w"}, state.hasWindow),
         item("close-window", "Close Window", {"<Control><Shift>w"}, state.hasWindow)});
    menus.push_back(std::move(file));

    Menu view{"View", {}, {}};
    view.sections.push_back({item("toggle-theme", "Toggle Light/Dark", {"<Control>t"}),
                             item("reload", "Reload Page", {"<Control>r"}, state.hasWindow)});
    view.sections.push_back({item("zoom-in", "Zoom In", {"<Control>plus", "<Control>equal"}, zoom),
                             item("zoom-out", "Zoom Out", {"<Control>minus"}, zoom),
                             item("zoom-width", "Fit Width", {"<Control>0"}, zoom)});
    Menu night{"Night Mode", {}, {}};
    std::vector<Item> modes;
    for (auto [target, label] : {std::pair{"off", "Off"}, std::pair{"on", "On"},
                                 std::pair{"auto", "Automatically at Night"}}) {
        Item i = item("night-mode", label);
        i.target = target;
        modes.push_back(std::move(i));
    }
    night.sections.push_back(std::move(modes));
    view.submenus.push_back(std::move(night));
    menus.push_back(std::move(view));

    // The user's shortcuts replace the built-in ones; "none" removes them. A user's shortcut
    // that a built-in one of another command already uses is taken from that command.
    if (!shortcuts.is_object()) return menus;
    std::vector<Item*> items;
    for (auto& menu : menus)
        for (auto& section : menu.sections)
            for (auto& it : section) items.push_back(&it);
    std::vector<std::pair<Item*, std::string>> chosen;
    for (Item* it : items) {
        auto found = shortcuts.find(it->command);
        if (found == shortcuts.end() || !found->is_string()) continue;
        auto accel = parseShortcut(found->get<std::string>());
        if (!accel) continue;
        it->accels.clear();
        if (!accel->empty()) chosen.emplace_back(it, *accel);
    }
    for (const auto& [owner, accel] : chosen) {
        for (Item* other : items) std::erase(other->accels, accel);
        owner->accels.push_back(accel);
    }
    return menus;
}

std::vector<std::string> commandIds() {
    std::vector<std::string> ids;
    auto add = [&](const std::vector<Menu>& menus, auto& self) -> void {
        for (const auto& m : menus) {
            for (const auto& s : m.sections)
                for (const auto& i : s)
                    if (ids.empty() || ids.back() != i.command) ids.push_back(i.command);
            self(m.submenus, self);
        }
    };
    add(build(State{}, nlohmann::json()), add);
    return ids;
}

std::string displayShortcut(const std::string& accel) {
    static const std::pair<const char*, const char*> mods[] = {
        {"<Control>", "Ctrl+"}, {"<Shift>", "Shift+"}, {"<Alt>", "Alt+"}, {"<Super>", "Super+"}};
    static const std::pair<const char*, const char*> keys[] = {
        {"plus", "+"},   {"minus", "-"}, {"equal", "="},       {"comma", ","},
        {"period", "."}, {"slash", "/"}, {"bracketleft", "["}, {"bracketright", "]"}};
    std::string rest = accel, out;
    for (bool found = true; found;) {
        found = false;
        for (const auto& [tag, text] : mods)
            if (rest.rfind(tag, 0) == 0) {
                out += text;
                rest = rest.substr(std::string(tag).size());
                found = true;
            }
    }
    for (const auto& [name, text] : keys)
        if (rest == name) return out + text;
    if (rest.size() == 1)
        rest[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    return out + rest;
}

Status storeShortcut(nlohmann::json& settings, const std::string& command,
                     const std::string& combo) {
    const auto ids = commandIds();
    if (command == "night-mode" || std::find(ids.begin(), ids.end(), command) == ids.end())
        return Failure{"There is no menu command called \"" + command + "\"."};
    if (!settings.is_object()) settings = nlohmann::json::object();
    nlohmann::json& shortcuts = settings["shortcuts"];
    if (!shortcuts.is_object()) shortcuts = nlohmann::json::object();
    if (trimmed(combo).empty()) {
        shortcuts.erase(command);
        return success();
    }
    if (!parseShortcut(combo))
        return Failure{"\"" + combo +
                       "\" is not a shortcut Corvello can use. Write it like Ctrl+Shift+K: Ctrl, "
                       "Alt or Super, optionally Shift, then a letter, digit, F1-F12 or a sign."};
    shortcuts[command] = trimmed(combo);
    return success();
}

nlohmann::json shortcutList(const nlohmann::json& shortcuts) {
    const auto menus = build(State{}, shortcuts);
    nlohmann::json out = nlohmann::json::array();
    for (const auto& id : commandIds()) {
        const Item* item = find(menus, id);
        if (!item || item->target) continue;
        std::string keys;
        for (const auto& a : item->accels) keys += (keys.empty() ? "" : ", ") + displayShortcut(a);
        const bool custom = shortcuts.is_object() && shortcuts.contains(id) &&
                            shortcuts[id].is_string() &&
                            parseShortcut(shortcuts[id].get<std::string>()).has_value();
        out.push_back(
            {{"command", id}, {"label", item->label}, {"keys", keys}, {"custom", custom}});
    }
    return out;
}

const Item* find(const std::vector<Menu>& menus, const std::string& command) {
    for (const auto& m : menus) {
        for (const auto& s : m.sections)
            for (const auto& i : s)
                if (i.command == command) return &i;
        if (const Item* sub = find(m.submenus, command)) return sub;
    }
    return nullptr;
}

}  // namespace cvl::AppMenu
