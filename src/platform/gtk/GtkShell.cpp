#include "platform/gtk/GtkShell.h"

#include <algorithm>

#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/gtk/GtkDialogs.h"
#include "platform/gtk/NoticeCardView.h"
#include "platform/gtk/WebViews.h"

namespace cvl {

GtkShell::GtkShell(GtkApplication* app) : app_(app) {}

GtkShell::~GtkShell() {
    *alive_ = false;
    stopObserving();
    dropWarmReader();
    for (auto& p : panels_) {
        g_signal_handlers_disconnect_by_data(p.window, this);
        gtk_widget_destroy(p.window);
    }
    for (auto& f : frames_) {
        g_signal_handlers_disconnect_by_data(f.window, this);
        g_signal_handlers_disconnect_by_data(f.notebook, this);
        gtk_widget_destroy(f.window);
    }
    noticeView_.reset();
}

void GtkShell::listen(ShellEvents& events) {
    events_ = &events;
    observeSystemLook();
    observeSleep();
}

GtkShell::Frame* GtkShell::frame(int id) {
    for (auto& f : frames_)
        if (f.id == id) return &f;
    return nullptr;
}

GtkShell::Tab* GtkShell::tab(int id) {
    for (auto& t : tabs_)
        if (t.id == id) return &t;
    return nullptr;
}

GtkShell::Tab* GtkShell::tabOfView(GtkWidget* view) {
    for (auto& t : tabs_)
        if (GTK_WIDGET(t.view) == view) return &t;
    return nullptr;
}

// ---- frames ---------------------------------------------------------------------------------

int GtkShell::newFrame(const std::string& title, bool keepAbove) {
    Frame f;
    f.id = nextId_++;
    f.window = gtk_application_window_new(app_);
    gtk_window_set_default_size(GTK_WINDOW(f.window), 1340, 900);
    gtk_window_set_title(GTK_WINDOW(f.window), title.c_str());
    if (icon_) gtk_window_set_icon(GTK_WINDOW(f.window), icon_);
    f.notebook = GTK_NOTEBOOK(gtk_notebook_new());
    gtk_notebook_set_scrollable(f.notebook, TRUE);
    gtk_notebook_set_show_border(f.notebook, FALSE);
    gtk_container_add(GTK_CONTAINER(f.window), GTK_WIDGET(f.notebook));
    if (keepAbove) gtk_window_set_keep_above(GTK_WINDOW(f.window), TRUE);
    g_object_set_data(G_OBJECT(f.window), "cvl-frame", GINT_TO_POINTER(f.id));

    // Closing the window asks each of its tabs; tabs that must first flush stay for now.
    g_signal_connect(f.window, "delete-event",
                     G_CALLBACK(+[](GtkWidget* w, GdkEvent*, gpointer data) -> gboolean {
                         auto* self = static_cast<GtkShell*>(data);
                         const int id =
                             GPOINTER_TO_INT(g_object_get_data(G_OBJECT(w), "cvl-frame"));
                         if (self->events_) self->events_->frameCloseRequested(id);
                         return TRUE;  // the last closed tab destroys the window
                     }),
                     this);
    g_signal_connect(f.notebook, "switch-page",
                     G_CALLBACK(+[](GtkNotebook*, GtkWidget*, guint, gpointer data) {
                         auto* self = static_cast<GtkShell*>(data);
                         // The page switch lands after this signal.
                         Dispatch::main().async([self, alive = self->alive_] {
                             if (*alive && self->events_) self->events_->tabsChanged();
                         });
                     }),
                     this);
    watchFrame(f);
    gtk_widget_show_all(f.window);
    frames_.push_back(f);
    return f.id;
}

std::optional<int> GtkShell::keyFrame() {
    GtkWindow* active = gtk_application_get_active_window(app_);
    for (auto& f : frames_)
        if (GTK_WINDOW(f.window) == active) return f.id;
    if (frames_.empty()) return std::nullopt;
    return frames_.back().id;
}

std::optional<int> GtkShell::currentTab(int frameId) {
    Frame* f = frame(frameId);
    if (!f) return std::nullopt;
    const int index = gtk_notebook_get_current_page(f->notebook);
    if (index < 0) return std::nullopt;
    if (Tab* t = tabOfView(gtk_notebook_get_nth_page(f->notebook, index))) return t->id;
    return std::nullopt;
}

int GtkShell::frameOf(int tabId) {
    Tab* t = tab(tabId);
    return t ? t->frame : 0;
}

std::vector<std::vector<int>> GtkShell::frames() {
    std::vector<std::vector<int>> out;
    for (auto& f : frames_) {
        std::vector<int> ids;
        const int pages = gtk_notebook_get_n_pages(f.notebook);
        for (int i = 0; i < pages; ++i)
            if (Tab* t = tabOfView(gtk_notebook_get_nth_page(f.notebook, i))) ids.push_back(t->id);
        out.push_back(std::move(ids));
    }
    return out;
}

TabFacts GtkShell::tabFacts(int tabId) {
    TabFacts facts;
    Tab* t = tab(tabId);
    Frame* f = t ? frame(t->frame) : nullptr;
    if (!f) return facts;
    const char* title = gtk_window_get_title(GTK_WINDOW(f->window));
    facts.windowTitle = title ? title : "";
    facts.label = gtk_label_get_text(GTK_LABEL(t->label));
    facts.visible = gtk_widget_get_visible(f->window);
    facts.tabCount = gtk_notebook_get_n_pages(f->notebook);
    facts.tabIndex = gtk_notebook_page_num(f->notebook, GTK_WIDGET(t->view));
    facts.loading = webkit_web_view_is_loading(t->view);
    if (const char* uri = webkit_web_view_get_uri(t->view)) facts.uri = uri;
    return facts;
}

void GtkShell::presentFrame(int frameId) {
    if (Frame* f = frame(frameId)) gtk_window_present(GTK_WINDOW(f->window));
}

void GtkShell::setKeepAbove(bool above) {
    for (auto& f : frames_) gtk_window_set_keep_above(GTK_WINDOW(f.window), above);
}

void GtkShell::setTabTitle(int id, const std::string& label, const std::string& tooltip) {
    Tab* t = tab(id);
    if (!t) return;
    GtkLabel* text = GTK_LABEL(t->label);
    if (label != gtk_label_get_text(text)) {
        gtk_label_set_text(text, label.c_str());
        // The notebook gives a tab label only its smallest width, which for a label shortened
        // in the middle is a lone "…": ask for the whole name, up to the label's widest.
        gtk_widget_set_size_request(t->label, -1, -1);
        int natural = 0;
        gtk_widget_get_preferred_width(t->label, nullptr, &natural);
        gtk_widget_set_size_request(t->label, natural, -1);
    }
    gtk_widget_set_tooltip_text(t->label, tooltip.c_str());
}

void GtkShell::setFrameTitle(int id, const std::string& title, const std::string& represented) {
    Frame* f = frame(id);
    if (!f) return;
    gtk_window_set_title(GTK_WINDOW(f->window), title.c_str());
    f->represented = represented;
}

// ---- tabs -----------------------------------------------------------------------------------

void GtkShell::paintBackground(WebKitWebView* view) const {
    // The colour behind the page while it loads: the pages' own background, so that a dark
    // window does not flash white.
    GdkRGBA colour = dark_ ? GdkRGBA{0.118, 0.122, 0.129, 1} : GdkRGBA{0.965, 0.961, 0.949, 1};
    webkit_web_view_set_background_color(view, &colour);
}

ShellPage GtkShell::newTab(int frameId, bool warm, PageEvents events) {
    Frame* f = frame(frameId);
    if (!f) f = frame(newFrame("", false));
    Tab t;
    t.id = nextId_++;
    t.frame = f->id;
    t.view = warm ? takeWarmView(t.handlers) : nullptr;
    if (!t.view) {
        t.handlers = std::make_shared<WebViewHandlers>();
        t.view = makeDocumentWebView(t.handlers);
    }
    t.handlers->decide = std::move(events.decide);
    t.handlers->message = std::move(events.message);
    t.handlers->mayRead = std::move(events.mayRead);
    t.handlers->loadFinished = std::move(events.loadFinished);
    t.handlers->titleChanged = std::move(events.titleChanged);
    paintBackground(t.view);

    // The tab's label: the title and a close button.
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    t.label = gtk_label_new("");
    gtk_label_set_ellipsize(GTK_LABEL(t.label), PANGO_ELLIPSIZE_MIDDLE);
    gtk_label_set_max_width_chars(GTK_LABEL(t.label), 28);
    GtkWidget* close = gtk_button_new_from_icon_name("window-close-symbolic", GTK_ICON_SIZE_MENU);
    gtk_button_set_relief(GTK_BUTTON(close), GTK_RELIEF_NONE);
    g_object_set_data(G_OBJECT(close), "cvl-tab", GINT_TO_POINTER(t.id));
    g_signal_connect(close, "clicked", G_CALLBACK(+[](GtkButton* b, gpointer data) {
                         auto* self = static_cast<GtkShell*>(data);
                         const int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(b), "cvl-tab"));
                         if (self->events_) self->events_->tabCloseRequested(id);
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(box), t.label, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), close, FALSE, FALSE, 0);
    gtk_widget_show_all(box);

    gtk_widget_show(GTK_WIDGET(t.view));
    const int index = gtk_notebook_append_page(f->notebook, GTK_WIDGET(t.view), box);
    gtk_notebook_set_tab_reorderable(f->notebook, GTK_WIDGET(t.view), TRUE);
    gtk_notebook_set_show_tabs(f->notebook, gtk_notebook_get_n_pages(f->notebook) > 1);
    gtk_notebook_set_current_page(f->notebook, index);
    tabs_.push_back(t);
    if (!envValue("CVL_TEST").empty()) attachTestProbe(t.view);
    return ShellPage{t.id, hostFor(t.id)};
}

std::unique_ptr<PageHost> GtkShell::hostFor(int id) {
    Tab* t = tab(id);
    PageHostShell shell;
    auto alive = alive_;
    // The application labels the tab and titles the window from the page's title and file.
    shell.setTitle = [this, id, alive](const std::string&) {
        if (*alive && tab(id) && events_) events_->tabsChanged();
    };
    shell.representedChanged = [this, id, alive] {
        if (*alive && tab(id) && events_) events_->tabsChanged();
    };
    shell.present = [this, id, alive] {
        Tab* t = *alive ? tab(id) : nullptr;
        Frame* f = t ? frame(t->frame) : nullptr;
        if (!f) return;
        const int index = gtk_notebook_page_num(f->notebook, GTK_WIDGET(t->view));
        if (index >= 0) gtk_notebook_set_current_page(f->notebook, index);
        gtk_window_present(GTK_WINDOW(f->window));
    };
    shell.close = [this, id, alive] {
        // The page may be closing from inside one of its own callbacks: the application hears
        // of it on the next turn of the main queue.
        Dispatch::main().async([this, id, alive] {
            if (*alive && events_ && tab(id)) events_->tabCloseRequested(id);
        });
    };
    shell.drawnLabel = [this, id, alive]() -> std::optional<std::string> {
        Tab* t = *alive ? tab(id) : nullptr;
        Frame* f = t ? frame(t->frame) : nullptr;
        if (!f || gtk_notebook_get_n_pages(f->notebook) < 2) return std::nullopt;
        return std::string(gtk_label_get_text(GTK_LABEL(t->label)));
    };
    return std::make_unique<WebPageHost>(t->view, std::move(shell));
}

void GtkShell::removeTab(int id) {
    auto it = std::find_if(tabs_.begin(), tabs_.end(), [&](const Tab& t) { return t.id == id; });
    if (it == tabs_.end()) return;
    Tab t = *it;
    tabs_.erase(it);
    // The page's late events reach nobody.
    *t.handlers = WebViewHandlers{};
    Frame* f = frame(t.frame);
    if (!f) return;
    const int index = gtk_notebook_page_num(f->notebook, GTK_WIDGET(t.view));
    if (index >= 0) gtk_notebook_remove_page(f->notebook, index);
    const int left = gtk_notebook_get_n_pages(f->notebook);
    gtk_notebook_set_show_tabs(f->notebook, left > 1);
    if (left > 0) return;
    GtkWidget* window = f->window;
    std::erase_if(frames_, [&](const Frame& x) { return x.id == t.frame; });
    g_signal_handlers_disconnect_by_data(window, this);
    gtk_widget_destroy(window);
}

void GtkShell::reloadTab(int id) {
    if (Tab* t = tab(id)) webkit_web_view_reload(t->view);
}

void GtkShell::callAsync(int id, const std::string& body,
                         std::function<void(std::optional<std::string>)> reply) {
    Tab* t = tab(id);
    if (!t) return reply(std::nullopt);
    callAsyncFunction(t->view, body, std::move(reply));
}

void GtkShell::snapshotTab(int id, const std::string& pngPath, std::function<void(bool)> done) {
    Tab* t = tab(id);
    if (!t) return done(false);
    struct Shot {
        std::string path;
        std::function<void(bool)> done;
    };
    webkit_web_view_get_snapshot(
        t->view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        [](GObject* source, GAsyncResult* res, gpointer p) {
            std::unique_ptr<Shot> shot(static_cast<Shot*>(p));
            bool written = false;
            if (cairo_surface_t* surface =
                    webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), res, nullptr)) {
                written =
                    cairo_surface_write_to_png(surface, shot->path.c_str()) == CAIRO_STATUS_SUCCESS;
                cairo_surface_destroy(surface);
            }
            shot->done(written);
        },
        new Shot{pngPath, std::move(done)});
}

std::unique_ptr<Dialogs> GtkShell::dialogs(std::optional<int> frameOrPanel) {
    auto alive = alive_;
    return std::make_unique<GtkDialogs>([this, frameOrPanel, alive]() -> GtkWindow* {
        if (!*alive || !frameOrPanel) return nullptr;
        if (Frame* f = frame(*frameOrPanel)) return GTK_WINDOW(f->window);
        for (auto& p : panels_)
            if (p.id == *frameOrPanel) return GTK_WINDOW(p.window);
        return nullptr;
    });
}

// ---- the pre-loaded reader --------------------------------------------------------------------

void GtkShell::primeWarmReader(const std::string& url) {
    if (warmView_) return;
    warmHandlers_ = std::make_shared<WebViewHandlers>();
    // Until a window adopts it, the spare view follows file addresses only.
    warmHandlers_->decide = [](const NavigationRequest& r) {
        return r.url.empty() || r.url.rfind("file:", 0) == 0 ? NavigationPolicy::Allow
                                                             : NavigationPolicy::Cancel;
    };
    warmView_ = makeDocumentWebView(warmHandlers_);
    g_object_ref_sink(warmView_);
    paintBackground(warmView_);
    // A view draws only inside a window: an off-screen one that is never shown to the user.
    warmWindow_ = gtk_offscreen_window_new();
    gtk_widget_set_size_request(GTK_WIDGET(warmView_), 1340, 900);
    gtk_container_add(GTK_CONTAINER(warmWindow_), GTK_WIDGET(warmView_));
    gtk_widget_show_all(warmWindow_);
    webkit_web_view_load_uri(warmView_, url.c_str());
}

void GtkShell::dropWarmReader() {
    if (warmWindow_) gtk_widget_destroy(warmWindow_);
    warmWindow_ = nullptr;
    if (warmView_) g_object_unref(warmView_);
    warmView_ = nullptr;
    warmHandlers_.reset();
}

WebKitWebView* GtkShell::takeWarmView(std::shared_ptr<WebViewHandlers>& handlers) {
    if (!warmView_) return nullptr;
    WebKitWebView* view = warmView_;
    warmView_ = nullptr;
    gtk_container_remove(GTK_CONTAINER(warmWindow_), GTK_WIDGET(view));
    gtk_widget_destroy(warmWindow_);
    warmWindow_ = nullptr;
    gtk_widget_set_size_request(GTK_WIDGET(view), -1, -1);
    handlers = std::move(warmHandlers_);
    *handlers = WebViewHandlers{};            // the adopting window fills them in
    g_object_force_floating(G_OBJECT(view));  // our reference becomes the notebook's
    return view;
}

// ---- panels ---------------------------------------------------------------------------------

ShellPage GtkShell::newPanel(const std::string& title, PageEvents events,
                             std::function<void()> destroyed) {
    Panel p;
    p.id = nextId_++;
    p.window = gtk_application_window_new(app_);
    gtk_window_set_default_size(GTK_WINDOW(p.window), 720, 640);
    gtk_window_set_title(GTK_WINDOW(p.window), title.c_str());
    if (icon_) gtk_window_set_icon(GTK_WINDOW(p.window), icon_);
    p.handlers = std::make_shared<WebViewHandlers>();
    p.handlers->decide = std::move(events.decide);
    p.handlers->message = std::move(events.message);
    p.handlers->mayRead = std::move(events.mayRead);
    p.handlers->loadFinished = std::move(events.loadFinished);
    p.handlers->titleChanged = std::move(events.titleChanged);
    p.view = makeDocumentWebView(p.handlers);
    paintBackground(p.view);
    gtk_container_add(GTK_CONTAINER(p.window), GTK_WIDGET(p.view));

    GtkWidget* window = p.window;
    PageHostShell shell;
    shell.present = [window] { gtk_window_present(GTK_WINDOW(window)); };
    shell.close = [window] { gtk_widget_destroy(window); };
    shell.setTitle = [window](const std::string& t) {
        gtk_window_set_title(GTK_WINDOW(window), t.c_str());
    };
    auto host = std::make_unique<WebPageHost>(p.view, std::move(shell));

    struct Gone {
        GtkShell* shell;
        int id;
        std::shared_ptr<bool> alive;
        std::function<void()> destroyed;
    };
    g_signal_connect_data(
        window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
            auto* gone = static_cast<Gone*>(data);
            if (!*gone->alive) return;
            for (auto& panel : gone->shell->panels_)
                if (panel.id == gone->id) *panel.handlers = WebViewHandlers{};
            std::erase_if(gone->shell->panels_,
                          [&](const Panel& panel) { return panel.id == gone->id; });
            if (gone->destroyed) gone->destroyed();
        }),
        new Gone{this, p.id, alive_, std::move(destroyed)},
        +[](gpointer data, GClosure*) { delete static_cast<Gone*>(data); }, GConnectFlags(0));
    gtk_widget_show_all(window);
    panels_.push_back(p);
    return ShellPage{p.id, std::move(host)};
}

}  // namespace cvl
