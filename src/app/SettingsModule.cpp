#include "app/SettingsModule.h"

#include <nlohmann/json.hpp>

#include "app/AppControl.h"
#include "app/Config.h"
#include "platform/Env.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"

namespace cvl {
namespace {

// Removes every key that starts with `prefix`; false when the settings could not be saved.
bool removeKeysWithPrefix(const std::string& prefix) {
    nlohmann::json cfg = loadConfig();
    for (auto it = cfg.begin(); it != cfg.end();) {
        if (it.key().rfind(prefix, 0) == 0)
            it = cfg.erase(it);
        else
            ++it;
    }
    return saveConfig(cfg).ok();
}

void storeText(const std::string& key, const std::string& value) {
    nlohmann::json cfg = loadConfig();
    cfg[key] = value;
    if (Status saved = saveConfig(cfg); !saved)
        cvlLog("settings: %s not stored: %s", key.c_str(), saved.error().c_str());
}

}  // namespace

std::vector<std::string> SettingsModule::operations() const {
    return {"setcfg", "seticon",    "setshortcut",    "settings",        "help",    "about",
            "prefs",  "appearance", "reveal-archive", "resetpageopskip", "setview", "paircode"};
}

void SettingsModule::handle(const BridgeRequest& r) {
    const std::string& op = r.op;
    if (op == "setcfg") {
        auto key = urlQuery(r.url, "key");
        if (key && !key->empty()) control_.applyConfig(*key, urlQuery(r.url, "value").value_or(""));
    } else if (op == "seticon") {
        // The icon variant goes through the setter, which stores it and applies it at once.
        auto id = urlQuery(r.url, "id");
        if (id && !id->empty()) control_.applyConfig("app_icon", *id);
    } else if (op == "setshortcut") {
        auto action = urlQuery(r.url, "action");
        if (action && !action->empty())
            control_.setShortcut(*action, urlQuery(r.url, "combo").value_or(""));
    } else if (op == "settings" || op == "help" || op == "about") {
        control_.openPanel(op);
    } else if (op == "prefs") {
        control_.openPanel("settings");
    } else if (op == "appearance") {
        control_.toggleAppearance();
    } else if (op == "reveal-archive") {
        r.app.revealInFileManager({UserDirs::archiveDir()});
    } else if (op == "resetpageopskip") {
        if (!removeKeysWithPrefix("pageops_skip_"))
            r.app.showNotice("settings", "Settings not saved",
                             "The confirmations could not be turned back on: the settings file "
                             "cannot be written.");
        r.app.settingsChanged();
    } else if (op == "setview") {
        if (auto mode = r.arg("mode")) storeText("folder_view", *mode);
    } else if (op == "paircode") {
        // A test launch never stores a pairing code.
        auto code = r.arg("code");
        if (code && envValue("CVL_TEST").empty()) storeText("pair_code", *code);
    }
}

}  // namespace cvl
