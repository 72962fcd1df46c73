// The desktop application's look: the appearance setting and the desktop's colour scheme, the
// night schedule's timer and its check after sleep, the application icon, and the focus
// hand-back when the application becomes active after a background restore.
#include <gtk/gtk.h>

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "app/Appearance.h"
#include "app/Config.h"
#include "app/SupportDirs.h"
#include "night/NightSettings.h"
#include "night/NightState.h"
#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/gtk/DesktopAppParts.h"
#include "platform/gtk/NoticeCardView.h"
#include "platform/gtk/WebViews.h"

namespace cvl {

namespace {

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The desktop's look before the application sets its own preference: GTK's dark preference,
// a dark theme name (also from GTK_THEME).
bool toolkitPrefersDark() {
    gboolean preferDark = FALSE;
    gchar* theme = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", &preferDark,
                 "gtk-theme-name", &theme, nullptr);
    bool dark = preferDark || (theme && Appearance::themeNameIsDark(theme));
    g_free(theme);
    if (const char* env = std::getenv("GTK_THEME"); env && Appearance::themeNameIsDark(env))
        dark = true;
    return dark;
}

// A bus address that can be reached without starting a bus: the session bus only when the
// desktop announced one (GLib would otherwise try to launch a private one).
bool sessionBusAnnounced() {
    if (const char* a = std::getenv("DBUS_SESSION_BUS_ADDRESS"); a && *a) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && pathExists(std::string(runtime) + "/bus");
}

// A portal setting arrives wrapped in variants; the unsigned number inside, if any.
std::optional<unsigned> portalNumber(GVariant* value) {
    GVariant* v = g_variant_ref(value);
    while (g_variant_is_of_type(v, G_VARIANT_TYPE_VARIANT)) {
        GVariant* inner = g_variant_get_variant(v);
        g_variant_unref(v);
        v = inner;
    }
    std::optional<unsigned> out;
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32)) out = g_variant_get_uint32(v);
    g_variant_unref(v);
    return out;
}

const char* const kPortalName = "org.freedesktop.portal.Desktop";
const char* const kPortalPath = "/org/freedesktop/portal/desktop";
const char* const kPortalSettings = "org.freedesktop.portal.Settings";

}  // namespace

// ---- appearance --------------------------------------------------------------------------------

Appearance::Look DesktopApp::currentLook() {
    return Appearance::resolve(loadConfig(), nowSeconds(), systemDark_);
}

void DesktopApp::applyAppearance() {
    const bool dark = currentLook().scheme == "dark";
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
    if (noticeView_) noticeView_->setDark(dark);
    syncWebSurfacesToSystem();
}

void DesktopApp::paintViewBackground(WebKitWebView* view, bool dark) {
    // The colour behind the page while it loads: the pages' own background, so that a dark
    // window does not flash white.
    GdkRGBA colour = dark ? GdkRGBA{0.118, 0.122, 0.129, 1} : GdkRGBA{0.965, 0.961, 0.949, 1};
    webkit_web_view_set_background_color(view, &colour);
}

void DesktopApp::syncWebSurfacesToSystem() {
    const Appearance::Look look = currentLook();
    const std::string script = Appearance::pageScript(look);
    for (auto& t : tabs_) {
        paintViewBackground(t->view, look.scheme == "dark");
        t->host->evaluateScript(script);
    }
    for (auto& [kind, panel] : panels_) panel->page().evaluateScript(script);
}

void DesktopApp::systemAppearanceChanged(bool dark) {
    if (dark == systemDark_) return;
    systemDark_ = dark;
    cvlLog("system appearance is now %s", dark ? "dark" : "light");
    // A timer may have been missed meanwhile: re-check the schedule as after sleep.
    applyNightNow();
    scheduleNightFlip();
}

void DesktopApp::observeSystemAppearance() {
    systemDark_ = toolkitPrefersDark();
    // Theme changes of the toolkit itself (also the fallback when there is no portal).
    g_signal_connect(gtk_settings_get_default(), "notify::gtk-theme-name",
                     G_CALLBACK(+[](GObject* settings, GParamSpec*, gpointer data) {
                         auto* self = static_cast<DesktopApp*>(data);
                         if (self->portalAnswered_) return;
                         gchar* theme = nullptr;
                         g_object_get(settings, "gtk-theme-name", &theme, nullptr);
                         const bool dark = theme && Appearance::themeNameIsDark(theme);
                         g_free(theme);
                         self->systemAppearanceChanged(dark);
                     }),
                     this);
    if (!sessionBusAnnounced()) return;
    GError* error = nullptr;
    sessionBus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!sessionBus_) {
        cvlLog("no session bus (%s): the appearance follows the toolkit theme",
               error ? error->message : "unknown error");
        g_clear_error(&error);
        return;
    }
    // The desktop's colour-scheme preference from the settings portal, and its changes.
    portalSubscription_ = g_dbus_connection_signal_subscribe(
        sessionBus_, kPortalName, kPortalSettings, "SettingChanged", kPortalPath,
        "org.freedesktop.appearance", G_DBUS_SIGNAL_FLAGS_MATCH_ARG0_NAMESPACE,
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
            GVariant* params, gpointer data) {
            auto* self = static_cast<DesktopApp*>(data);
            const gchar* ns = nullptr;
            const gchar* key = nullptr;
            GVariant* value = nullptr;
            g_variant_get(params, "(&s&sv)", &ns, &key, &value);
            if (std::string(key) == "color-scheme") {
                auto dark = Appearance::portalPrefersDark(portalNumber(value).value_or(0));
                self->portalAnswered_ = dark.has_value();
                self->systemAppearanceChanged(dark ? *dark : toolkitPrefersDark());
            }
            g_variant_unref(value);
        },
        this, nullptr);
    g_dbus_connection_call(
        sessionBus_, kPortalName, kPortalPath, kPortalSettings, "Read",
        g_variant_new("(ss)", "org.freedesktop.appearance", "color-scheme"), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            if (!reply) return;  // no portal: the toolkit theme stands
            auto* self = static_cast<DesktopApp*>(data);
            GVariant* value = g_variant_get_child_value(reply, 0);  // the reply is a tuple (v)
            const auto number = portalNumber(value);
            g_variant_unref(value);
            if (auto dark = Appearance::portalPrefersDark(number.value_or(0))) {
                self->portalAnswered_ = true;
                self->systemAppearanceChanged(*dark);
            }
            g_variant_unref(reply);
        },
        this);
}

// ---- night
// ---------------------------------------------------------------------------------------

void DesktopApp::setNightMode(const std::string& mode) {
    NightSettings::setNightMode(mode);
    applyAppearance();
    applyNightNow();
    scheduleNightFlip();
    for (auto& [kind, panel] : panels_)
        if (kind == "settings") panel->reload();
}

void DesktopApp::applyNightNow() {
    applyAppearance();
    const std::string scheme = currentLook().scheme;
    const std::string mode = NightSettings::load().mode;
    if (auto message = NightState::handOverMessage(mode, lastNightAnnouncedScheme_, scheme)) {
        const std::string script = NightState::toastScript(*message);
        for (auto& t : tabs_) t->host->evaluateScript(script);
    }
    lastNightAnnouncedScheme_ = scheme;
    applyAppIcon();
    updateMenuBar();
}

void DesktopApp::scheduleNightFlip() {
    if (nightTimer_) g_source_remove(nightTimer_);
    nightTimer_ = 0;
    const double now = nowSeconds();
    auto at = NightState::flipTimerMoment(now, NightSettings::load());
    if (!at) return;
    // A whole second past the flip, so that the schedule already reads the new side.
    const double delay = std::max(1.0, std::ceil(*at - now) + 1);
    nightTimer_ = g_timeout_add_seconds(
        static_cast<guint>(std::min(delay, 86400.0 * 2)),
        [](gpointer data) -> gboolean {
            auto* self = static_cast<DesktopApp*>(data);
            self->nightTimer_ = 0;
            self->applyNightNow();
            self->scheduleNightFlip();
            return G_SOURCE_REMOVE;
        },
        this);
}

void DesktopApp::nightWakeCheck() {
    syncWebSurfacesToSystem();
    applyNightNow();
    scheduleNightFlip();
}

void DesktopApp::observeSleep() {
    GError* error = nullptr;
    systemBus_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (!systemBus_) {
        cvlLog("no system bus (%s): the night schedule is not re-checked after sleep",
               error ? error->message : "unknown error");
        g_clear_error(&error);
        return;
    }
    // logind announces sleep with true and the wake-up with false.
    sleepSubscription_ = g_dbus_connection_signal_subscribe(
        systemBus_, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
        "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
            GVariant* params, gpointer data) {
            gboolean sleeping = TRUE;
            g_variant_get(params, "(b)", &sleeping);
            if (!sleeping) static_cast<DesktopApp*>(data)->nightWakeCheck();
        },
        this, nullptr);
}

void DesktopApp::stopObservingLook() {
    if (nightTimer_) g_source_remove(nightTimer_);
    nightTimer_ = 0;
    g_signal_handlers_disconnect_by_data(gtk_settings_get_default(), this);
    if (sessionBus_) {
        if (portalSubscription_)
            g_dbus_connection_signal_unsubscribe(sessionBus_, portalSubscription_);
        g_object_unref(sessionBus_);
    }
    if (systemBus_) {
        if (sleepSubscription_)
            g_dbus_connection_signal_unsubscribe(systemBus_, sleepSubscription_);
        g_object_unref(systemBus_);
    }
    sessionBus_ = systemBus_ = nullptr;
    portalSubscription_ = sleepSubscription_ = 0;
    if (appIcon_) g_object_unref(appIcon_);
    appIcon_ = nullptr;
}

// ---- the application icon
// ------------------------------------------------------------------------

void DesktopApp::applyAppIcon() {
    auto file = appIconFile();
    if (!file) {
        // The installed icon of the desktop's icon theme stays.
        if (!appIcon_) gtk_window_set_default_icon_name("corvello");
        return;
    }
    GError* error = nullptr;
    GdkPixbuf* icon = gdk_pixbuf_new_from_file(file->c_str(), &error);
    if (!icon) {
        cvlLog("app icon %s not loaded: %s", file->c_str(), error ? error->message : "?");
        g_clear_error(&error);
        return;
    }
    if (appIcon_) g_object_unref(appIcon_);
    appIcon_ = icon;
    gtk_window_set_default_icon(appIcon_);
    for (GList* w = gtk_application_get_windows(app_); w; w = w->next)
        gtk_window_set_icon(GTK_WINDOW(w->data), appIcon_);
}

// ---- activation and the focus hand-back
// ----------------------------------------------------------

void DesktopApp::watchActivation(Frame& frame) {
    if (appIcon_) gtk_window_set_icon(GTK_WINDOW(frame.window), appIcon_);
    g_signal_connect(frame.window, "notify::is-active",
                     G_CALLBACK(+[](GObject* window, GParamSpec*, gpointer data) {
                         auto* self = static_cast<DesktopApp*>(data);
                         if (gtk_window_is_active(GTK_WINDOW(window))) {
                             if (!self->appActive_) {
                                 self->appActive_ = true;
                                 self->appBecameActive();
                             }
                             self->updateMenuBar();
                             return;
                         }
                         // Moving between our own windows deactivates one before the other
                         // activates: decide once both have changed.
                         Dispatch::main().async([self] {
                             for (GList* w = gtk_application_get_windows(self->app_); w;
                                  w = w->next)
                                 if (gtk_window_is_active(GTK_WINDOW(w->data))) return;
                             self->appActive_ = false;
                         });
                     }),
                     this);
    // Every button press in the window counts as the user choosing this application; the
    // capture phase sees it before the page does and never claims it.
    GtkGesture* press = gtk_gesture_multi_press_new(frame.window);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press), 0);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press), GTK_PHASE_CAPTURE);
    g_signal_connect(press, "pressed",
                     G_CALLBACK(+[](GtkGestureMultiPress*, gint, gdouble, gdouble, gpointer data) {
                         FocusHandBack::noteChoice(static_cast<DesktopApp*>(data)->focus_,
                                                   nowSeconds());
                     }),
                     this);
    g_object_set_data_full(G_OBJECT(frame.window), "cvl-press", press, g_object_unref);
}

void DesktopApp::appBecameActive() {
    syncWebSurfacesToSystem();
    FocusHandBack::Activation activation =
        FocusHandBack::becameActive(focus_, nowSeconds(), envIs("CVL_NO_FOCUS_HANDBACK", "1"));
    if (activation.line) readerLog(*activation.line);
    if (!activation.tryHandBack) return;
    // Only reached where the front application can be known and re-activated; this desktop
    // offers neither, so the restore never records one.
    Dispatch::main().asyncAfter(
        std::chrono::milliseconds(static_cast<int>(FocusHandBack::kClickWindow * 1000)),
        [this, activation] {
            auto follow = FocusHandBack::afterClicks(activation, focus_, appActive_, false);
            if (follow.line) readerLog(*follow.line);
        });
}

}  // namespace cvl
