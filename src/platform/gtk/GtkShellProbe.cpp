// What end-to-end tests may ask of the shell from a page, in test launches only (CVL_TEST=1):
// the windows as the widgets draw them (titles, tab labels, tooltips, whether a label is
// shortened), selecting a tab, pressing a key combination in the page's window as the keyboard
// would, and a picture of that window. A page asks with
//   await window.webkit.messageHandlers.cvlShell.postMessage({do: "windows"})
// and gets the answer as the promise's value.
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/gtk/GtkShell.h"

namespace cvl {
namespace {

using json = nlohmann::json;

std::string text(const char* s) {
    return s ? s : "";
}

// The window as the display shows it, as a PNG file.
Status pictureWindow(GtkWidget* window, const std::string& path) {
    GdkWindow* shown = gtk_widget_get_window(window);
    const int width = gtk_widget_get_allocated_width(window);
    const int height = gtk_widget_get_allocated_height(window);
    if (!shown || width <= 1 || height <= 1) return Failure{"the window is not shown yet"};
    GdkPixbuf* pixels = gdk_pixbuf_get_from_window(shown, 0, 0, width, height);
    if (!pixels) return Failure{"the window could not be read"};
    gchar* png = nullptr;
    gsize size = 0;
    const bool encoded = gdk_pixbuf_save_to_buffer(pixels, &png, &size, "png", nullptr, nullptr);
    g_object_unref(pixels);
    if (!encoded) return Failure{"the picture was not encoded"};
    Status written = writeFileAtomic(path, std::string(png, size));
    g_free(png);
    return written;
}

// One key press and release of `accel` ("<Control><Alt>q"), delivered to the window as the
// display would: the shortcuts and the current-event state see it as a real key.
bool pressKeys(GtkWidget* window, const std::string& accel) {
    guint keyval = 0;
    GdkModifierType mods = GdkModifierType(0);
    gtk_accelerator_parse(accel.c_str(), &keyval, &mods);
    GdkWindow* target = gtk_widget_get_window(window);
    if (!keyval || !target) return false;
    GdkDisplay* display = gdk_window_get_display(target);
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(target));
        event->key.send_event = TRUE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.state = mods;
        event->key.keyval = keyval;
        if (count > 0) {
            event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
            event->key.group = static_cast<guint8>(keys[0].group);
        }
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
    g_free(keys);
    return true;
}

}  // namespace

void GtkShell::attachTestProbe(WebKitWebView* view) {
    // A view handed on from the pre-loaded reader may already have the handler.
    if (g_object_get_data(G_OBJECT(view), "cvl-probe")) return;
    g_object_set_data(G_OBJECT(view), "cvl-probe", view);
    WebKitUserContentManager* ucm = webkit_web_view_get_user_content_manager(view);
    struct Asker {
        GtkShell* shell;
        WebKitWebView* view;
        std::shared_ptr<bool> alive;
    };
    g_signal_connect_data(
        ucm, "script-message-with-reply-received::cvlShell",
        G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                       gpointer data) -> gboolean {
            auto* asker = static_cast<Asker*>(data);
            gchar* request = jsc_value_to_json(value, 0);
            const std::string answer = *asker->alive
                                           ? asker->shell->probeAnswer(asker->view, text(request))
                                           : std::string("null");
            g_free(request);
            JSCValue* result =
                jsc_value_new_from_json(jsc_value_get_context(value), answer.c_str());
            webkit_script_message_reply_return_value(reply, result);
            g_object_unref(result);
            return TRUE;
        }),
        new Asker{this, view, alive_},
        +[](gpointer data, GClosure*) { delete static_cast<Asker*>(data); }, GConnectFlags(0));
    webkit_user_content_manager_register_script_message_handler_with_reply(ucm, "cvlShell",
                                                                           nullptr);
}

std::string GtkShell::probeAnswer(WebKitWebView* asking, const std::string& requestText) {
    const json request = json::parse(requestText, nullptr, false);
    const std::string what = request.is_object() ? request.value("do", "") : "";
    Tab* own = tabOfView(GTK_WIDGET(asking));
    Frame* home = own ? frame(own->frame) : nullptr;
    if (what == "windows") return windowsAsDrawn();
    if (what == "select") {
        const size_t index = request.value("window", 0);
        if (index >= frames_.size()) return json{{"error", "no such window"}}.dump();
        gtk_notebook_set_current_page(frames_[index].notebook, request.value("tab", 0));
        return json{{"selected", gtk_notebook_get_current_page(frames_[index].notebook)}}.dump();
    }
    if (what == "keys") {
        if (!home) return json{{"error", "the page has no window"}}.dump();
        // Pressed on the next turn: the answer reaches the page before a quit ends it.
        struct Press {
            GtkWidget* window;
            std::string accel;
        };
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* press = static_cast<Press*>(data);
                pressKeys(press->window, press->accel);
                return G_SOURCE_REMOVE;
            },
            new Press{GTK_WIDGET(g_object_ref(home->window)), request.value("accel", "")},
            [](gpointer data) {
                std::unique_ptr<Press> press(static_cast<Press*>(data));
                g_object_unref(press->window);
            });
        return json{{"pressed", true}}.dump();
    }
    if (what == "picture") {
        if (!home) return json{{"error", "the page has no window"}}.dump();
        Status written = pictureWindow(home->window, request.value("path", ""));
        return written ? json{{"written", true}}.dump() : json{{"error", written.error()}}.dump();
    }
    return json{{"error", "unknown request"}}.dump();
}

std::string GtkShell::windowsAsDrawn() {
    json windows = json::array();
    for (auto& f : frames_) {
        json tabs = json::array();
        const int current = gtk_notebook_get_current_page(f.notebook);
        const int pages = gtk_notebook_get_n_pages(f.notebook);
        for (int i = 0; i < pages; ++i) {
            Tab* t = tabOfView(gtk_notebook_get_nth_page(f.notebook, i));
            if (!t) continue;
            gchar* tooltip = gtk_widget_get_tooltip_text(t->label);
            PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(t->label));
            tabs.push_back({{"label", text(gtk_label_get_text(GTK_LABEL(t->label)))},
                            {"tooltip", text(tooltip)},
                            {"selected", i == current},
                            {"drawn", static_cast<bool>(gtk_widget_get_mapped(t->label))},
                            {"width", gtk_widget_get_allocated_width(t->label)},
                            {"shortened", static_cast<bool>(pango_layout_is_ellipsized(layout))}});
            g_free(tooltip);
        }
        windows.push_back({{"title", text(gtk_window_get_title(GTK_WINDOW(f.window)))},
                           {"represented", f.represented},
                           {"tabBar", static_cast<bool>(gtk_notebook_get_show_tabs(f.notebook))},
                           {"tabs", tabs}});
    }
    return json{{"windows", windows}}.dump();
}

}  // namespace cvl
