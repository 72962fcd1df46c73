// The shell's look and the desktop's signals about it: the dark preference and the colour
// behind pages, the desktop portal's colour scheme (and the toolkit theme without a portal),
// logind's sleep signal, the windows' icon, and activation and clicks of the windows.
#include <cstdlib>

#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/Text.h"
#include "platform/gtk/GtkShell.h"
#include "platform/gtk/NoticeCardView.h"

namespace cvl {
namespace {

// The desktop portal's "color-scheme": 1 prefers dark, 2 prefers light, anything else (0, no
// preference) says nothing.
std::optional<bool> portalPrefersDark(unsigned value) {
    if (value == 1) return true;
    if (value == 2) return false;
    return std::nullopt;
}

// A toolkit theme name of a dark variant ("Adwaita-dark", "Yaru-Dark").
bool themeNameIsDark(const std::string& name) {
    return asciiLower(name).find("dark") != std::string::npos;
}

// The desktop's look before the application sets its own preference: GTK's dark preference,
// a dark theme name (also from GTK_THEME).
bool toolkitPrefersDark() {
    gboolean preferDark = FALSE;
    gchar* theme = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", &preferDark,
                 "gtk-theme-name", &theme, nullptr);
    bool dark = preferDark || (theme && themeNameIsDark(theme));
    g_free(theme);
    if (themeNameIsDark(envValue("GTK_THEME"))) dark = true;
    return dark;
}

// A bus address that can be reached without starting a bus: the session bus only when the
// desktop announced one (GLib would otherwise try to launch a private one).
bool sessionBusAnnounced() {
    if (!envValue("DBUS_SESSION_BUS_ADDRESS").empty()) return true;
    const std::string runtime = envValue("XDG_RUNTIME_DIR");
    return !runtime.empty() && pathExists(runtime + "/bus");
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

bool GtkShell::systemPrefersDark() {
    return toolkitPrefersDark();
}

void GtkShell::setDark(bool dark) {
    dark_ = dark;
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
    for (auto& t : tabs_) paintBackground(t.view);
    for (auto& p : panels_) paintBackground(p.view);
    if (noticeView_) noticeView_->setDark(dark);
}

void GtkShell::setAppIcon(const std::optional<std::string>& pngPath) {
    if (!pngPath) {
        // The installed icon of the desktop's icon theme stays.
        if (!icon_) gtk_window_set_default_icon_name("corvello");
        return;
    }
    GError* error = nullptr;
    GdkPixbuf* icon = gdk_pixbuf_new_from_file(pngPath->c_str(), &error);
    if (!icon) {
        cvlLog("app icon %s not loaded: %s", pngPath->c_str(), error ? error->message : "?");
        g_clear_error(&error);
        return;
    }
    if (icon_) g_object_unref(icon_);
    icon_ = icon;
    gtk_window_set_default_icon(icon_);
    for (GList* w = gtk_application_get_windows(app_); w; w = w->next)
        gtk_window_set_icon(GTK_WINDOW(w->data), icon_);
}

void GtkShell::observeSystemLook() {
    // Theme changes of the toolkit itself (also the fallback when there is no portal).
    g_signal_connect(gtk_settings_get_default(), "notify::gtk-theme-name",
                     G_CALLBACK(+[](GObject* settings, GParamSpec*, gpointer data) {
                         auto* self = static_cast<GtkShell*>(data);
                         if (self->portalAnswered_ || !self->events_) return;
                         gchar* theme = nullptr;
                         g_object_get(settings, "gtk-theme-name", &theme, nullptr);
                         const bool dark = theme && themeNameIsDark(theme);
                         g_free(theme);
                         self->events_->systemLookChanged(dark);
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
            auto* self = static_cast<GtkShell*>(data);
            const gchar* ns = nullptr;
            const gchar* key = nullptr;
            GVariant* value = nullptr;
            g_variant_get(params, "(&s&sv)", &ns, &key, &value);
            if (std::string(key) == "color-scheme" && self->events_) {
                auto dark = portalPrefersDark(portalNumber(value).value_or(0));
                self->portalAnswered_ = dark.has_value();
                self->events_->systemLookChanged(dark ? *dark : toolkitPrefersDark());
            }
            g_variant_unref(value);
        },
        this, nullptr);
    struct Asked {
        GtkShell* shell;
        std::shared_ptr<bool> alive;
    };
    g_dbus_connection_call(
        sessionBus_, kPortalName, kPortalPath, kPortalSettings, "Read",
        g_variant_new("(ss)", "org.freedesktop.appearance", "color-scheme"), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Asked> asked(static_cast<Asked*>(data));
            GVariant* reply =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            if (!reply) return;  // no portal: the toolkit theme stands
            GVariant* value = g_variant_get_child_value(reply, 0);  // the reply is a tuple (v)
            const auto number = portalNumber(value);
            g_variant_unref(value);
            g_variant_unref(reply);
            auto dark = portalPrefersDark(number.value_or(0));
            if (!dark || !*asked->alive || !asked->shell->events_) return;
            asked->shell->portalAnswered_ = true;
            asked->shell->events_->systemLookChanged(*dark);
        },
        new Asked{this, alive_});
}

void GtkShell::observeSleep() {
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
            auto* self = static_cast<GtkShell*>(data);
            if (!sleeping && self->events_) self->events_->wokeFromSleep();
        },
        this, nullptr);
}

void GtkShell::stopObserving() {
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
    if (icon_) g_object_unref(icon_);
    icon_ = nullptr;
}

// Activation of the application's windows, and clicks in them.
void GtkShell::watchFrame(Frame& f) {
    g_signal_connect(
        f.window, "notify::is-active", G_CALLBACK(+[](GObject* window, GParamSpec*, gpointer data) {
            auto* self = static_cast<GtkShell*>(data);
            if (gtk_window_is_active(GTK_WINDOW(window))) {
                self->appActive_ = true;
                if (self->events_) self->events_->activeChanged(true);
                return;
            }
            // Moving between our own windows deactivates one before the other
            // activates: decide once both have changed.
            Dispatch::main().async([self, alive = self->alive_] {
                if (!*alive) return;
                for (GList* w = gtk_application_get_windows(self->app_); w; w = w->next)
                    if (gtk_window_is_active(GTK_WINDOW(w->data))) return;
                self->appActive_ = false;
                if (self->events_) self->events_->activeChanged(false);
            });
        }),
        this);
    // Every button press in the window counts as the user choosing this application; the
    // capture phase sees it before the page does and never claims it.
    GtkGesture* press = gtk_gesture_multi_press_new(f.window);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press), 0);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press), GTK_PHASE_CAPTURE);
    g_signal_connect(press, "pressed",
                     G_CALLBACK(+[](GtkGestureMultiPress*, gint, gdouble, gdouble, gpointer data) {
                         auto* self = static_cast<GtkShell*>(data);
                         if (self->events_) self->events_->userChose();
                     }),
                     this);
    g_object_set_data_full(G_OBJECT(f.window), "cvl-press", press, g_object_unref);
}

}  // namespace cvl
