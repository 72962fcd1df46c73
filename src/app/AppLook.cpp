// The application's look: the appearance setting and the desktop's colour scheme, the night
// schedule's one-shot timer and its check after sleep, the application icon, the notice card,
// and the focus hand-back when the application becomes active after a background restore.
#include <cmath>
#include <nlohmann/json.hpp>

#include "app/AppDelegate.h"
#include "app/Config.h"
#include "app/SupportDirs.h"
#include "night/NightSettings.h"
#include "night/NightState.h"
#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/SysLog.h"
#include "updates/CorvelloNotice.h"
#include "updates/ZKNotice.h"
#include "updates/ZKNoticeStore.h"

namespace cvl {
namespace {

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Appearance::Look AppDelegate::currentLook() {
    return Appearance::resolve(loadConfig(), nowSeconds(), systemDark_);
}

void AppDelegate::applyAppearance() {
    shell_.setDark(currentLook().scheme == "dark");
    syncPagesToLook();
}

// Every open page (document windows and panels) follows the look.
void AppDelegate::syncPagesToLook() {
    const std::string script = Appearance::pageScript(currentLook());
    for (const auto& t : tabs_) t.wc->page().evaluateScript(script);
    for (const auto& p : panels_) p.wc->page().evaluateScript(script);
}

void AppDelegate::systemLookChanged(bool dark) {
    if (dark == systemDark_) return;
    systemDark_ = dark;
    cvlLog("system appearance is now %s", dark ? "dark" : "light");
    // A timer may have been missed meanwhile: re-check the schedule as after sleep.
    applyNightNow();
    scheduleNightFlip();
}

void AppDelegate::toggleAppearance() {
    nlohmann::json cfg = loadConfig();
    cfg["appearance"] = darkScheme() ? "light" : "dark";
    if (Status saved = saveConfig(cfg); !saved)
        showNotice("settings", "Appearance not saved", saved.error());
    // A hand-made choice holds until the night schedule's next boundary.
    if (Status saved = NightSettings::noteManualChoice(nowSeconds()); !saved)
        showNotice("settings", "Appearance not saved", saved.error());
    applyAppearance();
    scheduleNightFlip();
}

void AppDelegate::setNightMode(const std::string& mode) {
    if (Status saved = NightSettings::setNightMode(mode); !saved)
        showNotice("settings", "Night mode not saved", saved.error());
    applyAppearance();
    applyNightNow();
    scheduleNightFlip();
    settingsChanged();
}

void AppDelegate::applyNightNow() {
    applyAppearance();
    const std::string scheme = currentLook().scheme;
    const std::string mode = NightSettings::load().mode;
    if (auto message = NightState::handOverMessage(mode, lastNightAnnouncedScheme_, scheme))
        for (const auto& t : tabs_) t.wc->toast(*message);
    lastNightAnnouncedScheme_ = scheme;
    applyAppIcon();
    updateMenuBar();
}

// A one-shot timer at the schedule's next flip, re-armed after each flip.
void AppDelegate::scheduleNightFlip() {
    const unsigned generation = ++nightGeneration_;
    const double now = nowSeconds();
    auto at = NightState::flipTimerMoment(now, NightSettings::load());
    if (!at) return;
    // A whole second past the flip, so that the schedule already reads the new side.
    const double delay = std::min(std::max(1.0, std::ceil(*at - now) + 1), 86400.0 * 2);
    Dispatch::main().asyncAfter(std::chrono::seconds(static_cast<long long>(delay)),
                                [this, generation, alive = alive_] {
                                    if (!*alive || generation != nightGeneration_ || quitting_)
                                        return;
                                    applyNightNow();
                                    scheduleNightFlip();
                                });
}

// After sleep a timer may have been missed.
void AppDelegate::wokeFromSleep() {
    syncPagesToLook();
    applyNightNow();
    scheduleNightFlip();
}

void AppDelegate::applyAppIcon() {
    shell_.setAppIcon(appIconFile());
}

void AppDelegate::installNotices() {
    auto view = shell_.noticeView();
    if (!view) return;
    ZKNotice::Hooks hooks;
    hooks.loadPlacement = [] { return ZKNoticeStore::load(); };
    hooks.storePlacement = [](const std::optional<ZKNoticePlacement::Saved>& saved) {
        ZKNoticeStore::store(saved);
    };
    notice_ = ZKNotice::create(view, std::move(hooks));
    shell_.attachNotice(notice_);
    CorvelloNotice::install(notice_);
}

// ---- activation and the focus hand-back ---------------------------------------------------

void AppDelegate::userChose() {
    FocusHandBack::noteChoice(focus_, nowSeconds());
}

void AppDelegate::activeChanged(bool active) {
    updateMenuBar();
    if (active == appActive_) return;
    appActive_ = active;
    if (!active) return;
    // Pages are themed again when the application comes back.
    syncPagesToLook();
    FocusHandBack::Activation activation =
        FocusHandBack::becameActive(focus_, nowSeconds(), envIs("CVL_NO_FOCUS_HANDBACK", "1"));
    if (activation.line) readerLog(*activation.line);
    if (!activation.tryHandBack) return;
    // Only reached where the front application can be known and re-activated; this desktop
    // offers neither, so the restore never records one.
    Dispatch::main().asyncAfter(
        std::chrono::milliseconds(static_cast<int>(FocusHandBack::kClickWindow * 1000)),
        [this, activation, alive = alive_] {
            if (!*alive) return;
            auto follow = FocusHandBack::afterClicks(activation, focus_, appActive_, false);
            if (follow.line) readerLog(*follow.line);
        });
}

}  // namespace cvl
