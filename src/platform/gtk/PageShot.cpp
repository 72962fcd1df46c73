// A page rendered headless into a picture (corvello --welcome-shot): loaded at a size in a
// window far off-screen, scripted, pictured, and the frame handed to the caller's judge.
#include <cairo.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

#include "app/DesktopEntry.h"
#include "platform/gtk/WebViews.h"

namespace cvl {
namespace {

struct ShotDelegate {
    std::string script;
    const PageShotJudge* judge = nullptr;
    WebKitWebView* view = nullptr;
    int status = -1;  // set when done
    bool scripted = false;
};

void finish(ShotDelegate& d, int status) {
    if (d.status >= 0) return;
    d.status = status;
    gtk_main_quit();
}

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

void onSnapshot(GObject* source, GAsyncResult* result, gpointer data) {
    auto& d = *static_cast<ShotDelegate*>(data);
    GError* error = nullptr;
    cairo_surface_t* surface =
        webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (!surface) {
        std::fprintf(stderr, "page-shot: snapshot failed: %s\n",
                     error ? error->message : "no image");
        if (error) g_error_free(error);
        finish(d, 1);
        return;
    }
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* pixels = cairo_image_surface_get_data(surface);
    // Cairo's ARGB32 pixels are native-endian 32-bit words: B, G, R, A in memory here.
    auto pixel = [&](int x, int y) -> std::optional<Rgb> {
        if (!pixels || x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
        const unsigned char* p = pixels + y * stride + x * 4;
        return Rgb{p[2] / 255.0, p[1] / 255.0, p[0] / 255.0};
    };
    PageShotFrame frame;
    frame.width = width;
    frame.height = height;
    frame.pixel = pixel;
    cairo_surface_write_to_png_stream(surface, appendPng, &frame.png);
    cairo_surface_destroy(surface);
    finish(d, (*d.judge)(frame));
}

void onScriptDone(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (value) g_object_unref(value);
    if (error) g_error_free(error);
    g_timeout_add(
        900,
        [](gpointer p) -> gboolean {
            auto& d = *static_cast<ShotDelegate*>(p);
            webkit_web_view_get_snapshot(d.view, WEBKIT_SNAPSHOT_REGION_VISIBLE,
                                         WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr, onSnapshot, p);
            return G_SOURCE_REMOVE;
        },
        data);
}

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto& d = *static_cast<ShotDelegate*>(data);
    if (event != WEBKIT_LOAD_FINISHED || d.scripted || d.status >= 0) return;
    d.scripted = true;
    webkit_web_view_evaluate_javascript(view, d.script.c_str(), -1, nullptr, nullptr, nullptr,
                                        onScriptDone, data);
}

gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer data) {
    auto& d = *static_cast<ShotDelegate*>(data);
    std::fprintf(stderr, "page-shot: load failed: %s\n", error ? error->message : "unknown");
    finish(d, 1);
    return TRUE;
}

}  // namespace

int renderPageShot(const PageShotRequest& options, const PageShotJudge& judge) {
    gtk_init(nullptr, nullptr);
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", options.dark,
                 nullptr);
    ShotDelegate d;
    d.script = options.script;
    d.judge = &judge;

    // A borderless window far off-screen, behind everything, holding a view of the asked size.
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), TRUE);
    gtk_window_set_default_size(GTK_WINDOW(window), options.width, options.height);
    gtk_window_move(GTK_WINDOW(window), -30000, -30000);
    auto handlers = std::make_shared<WebViewHandlers>();
    d.view = makeDocumentWebView(handlers);
    gtk_widget_set_size_request(GTK_WIDGET(d.view), options.width, options.height);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(d.view));
    g_signal_connect(d.view, "load-changed", G_CALLBACK(onLoadChanged), &d);
    g_signal_connect(d.view, "load-failed", G_CALLBACK(onLoadFailed), &d);
    gtk_widget_show_all(window);
    gdk_window_lower(gtk_widget_get_window(window));

    g_timeout_add_seconds(
        30,
        [](gpointer p) -> gboolean {
            std::fprintf(stderr, "page-shot: timed out after 30s\n");
            finish(*static_cast<ShotDelegate*>(p), 1);
            return G_SOURCE_REMOVE;
        },
        &d);

    webkit_web_view_load_uri(d.view, options.url.c_str());
    gtk_main();
    return d.status < 0 ? 1 : d.status;
}

}  // namespace cvl
