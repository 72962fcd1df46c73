// The desktop application's entry: a GtkApplication whose windows the GTK shell draws and
// whose logic is the toolkit-free AppDelegate.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/DesktopEntry.h"
#include "platform/Env.h"
#include "platform/gtk/GlibMainQueue.h"
#include "platform/gtk/GtkShell.h"
#include "platform/gtk/WebViews.h"

namespace cvl {
namespace {

struct AppState {
    DesktopFactory make;
    std::unique_ptr<GtkShell> shell;
    std::unique_ptr<DesktopRunner> desktop;
    std::vector<std::string> pendingFiles;
    bool started = false;
    // The start-up hold (see onStartup).
    GApplication* app = nullptr;
    bool startHeld = false;
    bool settled = false;     // the first second has passed
    bool windowSeen = false;  // a window has joined the application
    guint settleTimer = 0;
    guint giveUpTimer = 0;
};

void stopStartTimers(AppState& state) {
    for (guint* timer : {&state.settleTimer, &state.giveUpTimer})
        if (*timer) g_source_remove(std::exchange(*timer, 0u));
}

void endStartHold(AppState& state) {
    if (!state.startHeld) return;
    state.startHeld = false;
    stopStartTimers(state);
    g_application_release(state.app);
}

void onStartup(GApplication* app, gpointer data) {
    auto& state = *static_cast<AppState*>(data);
    state.shell = std::make_unique<GtkShell>(GTK_APPLICATION(app));
    state.desktop = state.make(*state.shell);
    // An application without windows ends, so start-up holds it while windows come and go,
    // for a second and until the first window has joined: on a slow or busy machine the
    // first window can take longer than that second. Without any window in a minute,
    // start-up has failed and the application ends.
    state.app = app;
    state.startHeld = true;
    g_application_hold(app);
    g_signal_connect(app, "window-added", G_CALLBACK(+[](GtkApplication*, GtkWindow*, gpointer d) {
                         auto& s = *static_cast<AppState*>(d);
                         s.windowSeen = true;
                         if (s.settled) endStartHold(s);
                     }),
                     &state);
    state.settleTimer = g_timeout_add(
        1000,
        [](gpointer d) -> gboolean {
            auto& s = *static_cast<AppState*>(d);
            s.settleTimer = 0;
            s.settled = true;
            if (s.windowSeen) endStartHold(s);
            return G_SOURCE_REMOVE;
        },
        &state);
    state.giveUpTimer = g_timeout_add_seconds(
        60,
        [](gpointer d) -> gboolean {
            auto& s = *static_cast<AppState*>(d);
            s.giveUpTimer = 0;
            endStartHold(s);
            return G_SOURCE_REMOVE;
        },
        &state);
}

void startOnce(AppState& state) {
    if (state.started) return;
    state.started = true;
    prepareWebViews();
    state.desktop->start();
}

// The first activation starts the application; a later one is the desktop asking for the
// running application again.
void onActivate(GApplication*, gpointer data) {
    auto& state = *static_cast<AppState*>(data);
    if (state.started)
        state.desktop->reopen();
    else
        startOnce(state);
}

void onOpen(GApplication*, GFile** files, gint count, gchar*, gpointer data) {
    auto& state = *static_cast<AppState*>(data);
    startOnce(state);
    std::vector<std::string> paths;
    for (gint i = 0; i < count; ++i) {
        if (char* path = g_file_get_path(files[i])) {
            paths.emplace_back(path);
            g_free(path);
        } else if (char* uri = g_file_get_uri(files[i])) {
            paths.emplace_back(uri);
            g_free(uri);
        }
    }
    state.desktop->openFiles(paths);
}

void onShutdown(GApplication*, gpointer data) {
    auto& state = *static_cast<AppState*>(data);
    if (state.desktop) state.desktop->shutdown();
}

}  // namespace

int runDesktopApplication(int argc, char** argv, const std::string& demoProfile,
                          std::shared_ptr<PageSchemes> schemes, DesktopFactory make) {
    installGlibMainQueue();
    setPageSchemes(std::move(schemes));
    if (!demoProfile.empty()) setPageDemoProfile(demoProfile);
    AppState state;
    state.make = std::move(make);
    // In a desktop session one instance owns the windows, the tab snapshot and the agent
    // bridge: a second launch hands its files to it over the session bus and exits. Test
    // launches and runs without a session bus are instances of their own.
    const bool separate = envValue("DBUS_SESSION_BUS_ADDRESS").empty() ||
                          !envValue("CVL_TEST").empty() || envIs("CVL_SEPARATE_INSTANCE", "1");
    unsigned flags = G_APPLICATION_HANDLES_OPEN;
    if (separate) flags |= G_APPLICATION_NON_UNIQUE;
    GtkApplication* app =
        gtk_application_new("app.orrindel.corvello", static_cast<GApplicationFlags>(flags));
    g_signal_connect(app, "startup", G_CALLBACK(onStartup), &state);
    g_signal_connect(app, "activate", G_CALLBACK(onActivate), &state);
    g_signal_connect(app, "open", G_CALLBACK(onOpen), &state);
    g_signal_connect(app, "shutdown", G_CALLBACK(onShutdown), &state);
    // A polite end from outside (logout, kill, Ctrl+C) quits as the menu does: the open tabs
    // are remembered and the agent bridge's discovery file is removed.
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        g_unix_signal_add(
            sig,
            [](gpointer data) -> gboolean {
                g_application_quit(G_APPLICATION(data));
                return G_SOURCE_CONTINUE;
            },
            app);
    // Only file arguments reach GApplication; the flag modes were handled before.
    std::vector<char*> args = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--demo") {
            ++i;  // its profile name is not a file
            continue;
        }
        if (a.rfind("--", 0) != 0) args.push_back(argv[i]);
    }
    int status = g_application_run(G_APPLICATION(app), static_cast<int>(args.size()), args.data());
    state.desktop.reset();
    state.shell.reset();
    stopStartTimers(state);  // they point at this function's state
    g_signal_handlers_disconnect_by_data(app, &state);
    g_object_unref(app);
    return status;
}

}  // namespace cvl
