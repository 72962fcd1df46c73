// The menu bar and its commands, the panels (settings, help, about), and the settings setter
// with its side effects.
#include <nlohmann/json.hpp>

#include "agent/MCPConnector.h"
#include "app/AppConstants.h"
#include "app/AppDelegate.h"
#include "app/Brand.h"
#include "app/Config.h"
#include "app/ConfigApply.h"
#include "app/EngineRuns.h"
#include "app/SupportDirs.h"
#include "night/NightSettings.h"
#include "operations/CompareModule.h"
#include "operations/OrganizeModule.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"
#include "updates/UpdaterSetup.h"
#include "window/PageScript.h"

namespace cvl {
namespace {

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

nlohmann::json shortcutsSetting() {
    const nlohmann::json cfg = loadConfig();
    return cfg.contains("shortcuts") ? cfg["shortcuts"] : nlohmann::json();
}

}  // namespace

// ---- the menu bar ----------------------------------------------------------------------------

void AppDelegate::rebuildMenu() {
    AppMenu::State state;
    state.appName = brandName();
    state.heldUpdateTitle = UpdaterSetup::heldUpdateMenuTitle();
    shell_.setMenus(AppMenu::build(state, shortcutsSetting()));
    updateMenuBar();
}

void AppDelegate::updateMenuBar() {
    if (!started_ || quitting_) return;
    AppMenu::State state;
    state.appName = brandName();
    state.closedTabs = closedTabs_.entries().size();
    state.hasWindow = !tabs_.empty();
    auto key = keyWindow();
    state.readerShown = key && key->isReader();
    std::string mode = NightSettings::load().mode;
    if (mode != "on" && mode != "auto") mode = "off";
    shell_.setMenuStates(AppMenu::build(state, nlohmann::json()), mode);
}

void AppDelegate::menuCommand(const std::string& command, const std::string& target) {
    auto key = keyWindow();
    auto zoom = [&](const char* how) {
        if (key && key->isReader()) key->callPage("cvlZoom", PageScript::single(how));
    };
    if (command == "new-window") {
        openWelcome(nullptr);
    } else if (command == "open") {
        pickDocument();
    } else if (command == "open-folder") {
        pickFolder(std::nullopt);
    } else if (command == "reopen-closed-tab") {
        reopenClosedTab();
    } else if (command == "file-history") {
        openHistory("recent");
    } else if (command == "close-tab") {
        if (key) requestClose(*key);
    } else if (command == "close-window") {
        if (auto frame = shell_.keyFrame()) frameCloseRequested(*frame);
    } else if (command == "toggle-theme") {
        toggleAppearance();
    } else if (command == "reload") {
        if (auto frame = shell_.keyFrame())
            if (auto tab = shell_.currentTab(*frame)) shell_.reloadTab(*tab);
    } else if (command == "zoom-in") {
        zoom("in");
    } else if (command == "zoom-out") {
        zoom("out");
    } else if (command == "zoom-width") {
        zoom("width");
    } else if (command == "night-mode") {
        if (target == "off" || target == "on" || target == "auto") setNightMode(target);
    } else if (command == "settings") {
        openPanel("settings");
    } else if (command == "about") {
        const Brand& brand = Brand::current();
        shell_.showAbout(AboutInfo{brand.name, appConstants().version,
                                   brand.tagline + "\n" + brand.endorsement});
    } else if (command == "check-updates") {
        checkForUpdates();
    } else if (command == "install-update") {
        UpdaterSetup::installHeldUpdate();
    } else if (command == "organize-folder") {
        if (key) Organize::openOrganize(key->dialogs(), *this);
    } else if (command == "compare-documents") {
        if (key) CompareFlows::pickVisualCompare(key->dialogs(), *this);
    } else if (command == "quit") {
        // Quitting with Alt held (Ctrl+Alt+Q, or the menu item Alt-clicked) forgets the
        // windows instead of bringing them back next time.
        quitDiscardsWindows_ = shell_.quitModifierHeld();
        shell_.quit();
    }
}

void AppDelegate::setShortcut(const std::string& command, const std::string& combo) {
    nlohmann::json cfg = loadConfig();
    if (Status stored = AppMenu::storeShortcut(cfg, command, combo); !stored) {
        showNotice("shortcut-refused", "Shortcut not changed", stored.error());
        return;
    }
    if (Status saved = saveConfig(cfg); !saved) {
        showNotice("shortcut-refused", "Shortcut not changed", saved.error());
        return;
    }
    rebuildMenu();
}

// ---- panels ----------------------------------------------------------------------------------

void AppDelegate::openPanel(const std::string& kind) {
    for (const auto& p : panels_) {
        if (p.kind == kind) {
            p.wc->present();
            return;
        }
    }
    runPanel(kind, nullptr);
}

// Generates the panel's page with the engine; shows it in `into`, or in a new panel window.
void AppDelegate::runPanel(const std::string& kind, std::shared_ptr<PanelWC> into) {
    EngineRuns::preparePanelRun(kind);
    EngineRuns::PanelRequest request;
    request.kind = kind;
    request.outputPath = EngineRuns::panelOutputPath(kind);
    request.version = appConstants().version;
    request.brandName = Brand::current().name;
    request.brandCategory = Brand::current().category;
    if (kind == "settings") {
        EngineRuns::SettingsPanelInfo info;
        info.configPath = UserDirs::configPath();
        info.iconsDir = appIconsDir();
        info.mcpStatusJSON = mcpStatusJSON();
        info.nightWindow = NightSettings::panelLabel(nowSeconds());
        request.settings = info;
        request.extraArgs = {"--shortcuts", AppMenu::shortcutList(shortcutsSetting()).dump()};
    }
    std::weak_ptr<PanelWC> target = into;
    const bool reuse = into != nullptr;
    EngineRuns::runPanelScript(request,
                               [this, kind, target, reuse, alive = alive_](std::string output) {
                                   if (!*alive || !isRegularFile(output))
                                       return;  // the panel script failed: nothing new
                                   auto panel = target.lock();
                                   if (reuse && !panel) return;  // the panel closed meanwhile
                                   showPanel(kind, output, panel);
                               });
}

void AppDelegate::showPanel(const std::string& kind, const std::string& html,
                            std::shared_ptr<PanelWC> into) {
    if (into) {
        into->show(html);
        return;
    }
    auto slot = std::make_shared<std::weak_ptr<PanelWC>>();
    PageEvents events;
    events.decide = [slot](const NavigationRequest& request) {
        auto panel = slot->lock();
        return panel ? panel->decidePolicy(request) : NavigationPolicy::Cancel;
    };
    auto idSlot = std::make_shared<int>(0);  // set once the shell has named the panel
    ShellPage page = shell_.newPanel(
        brandName() + " Settings", std::move(events), [this, idSlot, alive = alive_] {
            if (!*alive) return;
            std::erase_if(panels_, [&](const Panel& p) { return p.id == *idSlot; });
        });
    *idSlot = page.id;
    auto panel = std::make_shared<PanelWC>(kind, std::move(page.page), *this, modules_,
                                           makeDialogs(page.id));
    *slot = panel;
    panels_.push_back(Panel{page.id, kind, panel});
    panel->show(html);
}

// A setting changed behind the settings panel's back: its page is generated again.
void AppDelegate::settingsChanged() {
    for (const auto& p : panels_)
        if (p.kind == "settings") runPanel(p.kind, p.wc);
}

// ---- settings --------------------------------------------------------------------------------

void AppDelegate::applyConfig(const std::string& key, const std::string& value) {
    ConfigHooks hooks;
    hooks.rebuildMenu = [this] { rebuildMenu(); };
    hooks.applyAppearance = [this] { applyAppearance(); };
    hooks.setNightMode = [this](const std::string& mode) { setNightMode(mode); };
    hooks.applyNightNow = [this] { applyNightNow(); };
    hooks.rescheduleNightFlip = [this] { scheduleNightFlip(); };
    hooks.saveClosedTabs = [this] {
        if (Status saved = closedTabs_.save(); !saved)
            cvlLog("closed tabs not saved: %s", saved.error().c_str());
    };
    hooks.forgetLastSnapshotText = [this] { openTabs_.forgetLastWritten(); };
    hooks.writeOpenTabsSnapshot = [this] { writeOpenTabs(false, false); };
    hooks.runInReaderWindows = [this](const std::string& script) {
        for (const auto& t : tabs_)
            if (t.wc->isReader()) t.wc->page().evaluateScript(script);
    };
    hooks.reloadSettingsPanel = [this] { settingsChanged(); };
    hooks.saveFailed = [this](const std::string& why) {
        showNotice("settings", "Settings not saved", why);
    };
    cvl::applyConfig(key, value, hooks);
    const bool on = value == "1" || value == "true";
    if (key == "auto_refresh")
        for (const auto& t : tabs_) {
            if (on)
                t.wc->startWatching();
            else
                t.wc->stopWatching();
        }
    if (key == "app_icon") applyAppIcon();
    if (key == "always_on_top") shell_.setKeepAbove(on);
}

}  // namespace cvl
