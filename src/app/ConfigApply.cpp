#include "app/ConfigApply.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/Config.h"
#include "window/PageScript.h"

namespace cvl {
namespace {

template <class F, class... A>
void call(const F& hook, A&&... args) {
    if (hook) hook(std::forward<A>(args)...);
}

std::optional<long long> parseDecimal(const std::string& s) {
    size_t i = 0;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) i = 1;
    if (i == s.size() || s.size() - i > 18) return std::nullopt;
    long long v = 0;
    for (size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
        v = v * 10 + (s[k] - '0');
    }
    return s[0] == '-' ? -v : v;
}

bool truthyText(const std::string& v) {
    return v == "1" || v == "true";
}

double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

bool isBooleanSettingKey(const std::string& key) {
    static const char* const keys[] = {
        "ignore_archive_folders", "menu_bar_icon",    "auto_refresh",
        "pageops_confirm",        "reader_statusbar", "reader_zoom_with_window",
        "edit_fidelity_warn",     "night_pages",      "remember_closed_tabs"};
    for (const char* k : keys)
        if (key == k) return true;
    return false;
}

std::string readingThemeModeScript(const std::string& value) {
    return PageScript::call("__cvlPTMode",
                            PageScript::single(value == "perfile" ? "perfile" : "system"));
}

std::string statusBarScript(bool on) {
    return PageScript::call("cvlStatusBar", on ? "true" : "false");
}

std::string zoomWithWindowScript(bool on) {
    return PageScript::call("cvlZoomWithWin", on ? "true" : "false");
}

void applyConfig(const std::string& key, const std::string& value, const ConfigHooks& hooks) {
    nlohmann::json config = loadConfig();
    if (key == "max_depth") {
        if (auto depth = parseDecimal(value)) {
            if (*depth == -1)
                config[key] = nullptr;
            else
                config[key] = *depth;
        }
    } else if (isBooleanSettingKey(key)) {
        config[key] = truthyText(value);
    } else {
        config[key] = value;
    }
    if (Status saved = saveConfig(config); !saved) {
        call(hooks.saveFailed, saved.error());
        return;
    }
    call(hooks.rebuildMenu);

    if (key == "menu_bar_icon") {
        call(hooks.setStatusItem, truthyText(value));
    } else if (key == "remember_closed_tabs") {
        call(hooks.saveClosedTabs);
        call(hooks.forgetLastSnapshotText);
        call(hooks.writeOpenTabsSnapshot);
    } else if (key == "appearance") {
        call(hooks.applyAppearance);
    } else if (key == "night_mode") {
        call(hooks.setNightMode, value);
    } else if (key.rfind("night_", 0) == 0) {
        if (key != "night_set_at") {
            nlohmann::json stamped = loadConfig();
            stamped["night_set_at"] = hooks.now ? hooks.now() : systemNow();
            if (Status saved = saveConfig(stamped); !saved) call(hooks.saveFailed, saved.error());
        }
        call(hooks.applyNightNow);
        call(hooks.rescheduleNightFlip);
        call(hooks.reloadSettingsPanel);
    } else if (key == "reading_theme_files") {
        call(hooks.runInReaderWindows, readingThemeModeScript(value));
        call(hooks.applyNightNow);
    } else if (key == "reader_statusbar") {
        call(hooks.runInReaderWindows, statusBarScript(truthyText(value)));
    } else if (key == "reader_zoom_with_window") {
        call(hooks.runInReaderWindows, zoomWithWindowScript(truthyText(value)));
    } else if (key == "tts_voice") {
        call(hooks.resetReadAloudVoices);
    }
}

}  // namespace cvl
