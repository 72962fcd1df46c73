#include "platform/gtk/NoticeCardView.h"

#include <algorithm>
#include <cmath>

#include "platform/gtk/NoticeCard.h"

namespace cvl {
namespace {

constexpr guint kRailTickMs = 100;
constexpr guint kFadeTickMs = 16;
constexpr double kFadeMs = 200;

int px(double points) {
    return static_cast<int>(std::lround(points));
}

// The card can fade only when a compositor blends windows.
bool composited(GtkWidget* widget) {
    return gdk_screen_is_composited(gtk_widget_get_screen(widget));
}

}  // namespace

NoticeCardView::NoticeCardView(Hooks hooks) : hooks_(std::move(hooks)) {}

NoticeCardView::~NoticeCardView() {
    stopTimers();
    if (window_) gtk_widget_destroy(window_);
}

void NoticeCardView::stopTimers() {
    if (railTimer_) g_source_remove(railTimer_);
    if (fadeTimer_) g_source_remove(fadeTimer_);
    railTimer_ = fadeTimer_ = 0;
}

void NoticeCardView::makeWindow() {
    // On X11 a popup is placed exactly where it is moved and is never given the keyboard
    // focus. Wayland maps popups only beside a parent, so there the card is an undecorated
    // window that the compositor places.
    GdkDisplay* display = gdk_display_get_default();
    const bool x11 = display && g_strcmp0(G_OBJECT_TYPE_NAME(display), "GdkX11Display") == 0;
    window_ = gtk_window_new(x11 ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
    GtkWindow* w = GTK_WINDOW(window_);
    gtk_window_set_decorated(w, FALSE);
    gtk_window_set_resizable(w, FALSE);
    gtk_window_set_type_hint(w, GDK_WINDOW_TYPE_HINT_NOTIFICATION);
    gtk_window_set_accept_focus(w, FALSE);
    gtk_window_set_focus_on_map(w, FALSE);
    gtk_window_set_keep_above(w, TRUE);
    gtk_window_set_skip_taskbar_hint(w, TRUE);
    gtk_window_set_skip_pager_hint(w, TRUE);
    gtk_widget_set_app_paintable(window_, TRUE);
    GdkScreen* screen = gtk_widget_get_screen(window_);
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen)) gtk_widget_set_visual(window_, rgba);
    gtk_widget_add_events(window_, GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                                       GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_POINTER_MOTION_MASK);
    g_signal_connect(window_, "draw", G_CALLBACK(onDraw), this);
    g_signal_connect(window_, "enter-notify-event", G_CALLBACK(onEnter), this);
    g_signal_connect(window_, "leave-notify-event", G_CALLBACK(onLeave), this);
    g_signal_connect(window_, "button-press-event", G_CALLBACK(onPress), this);
    g_signal_connect(window_, "motion-notify-event", G_CALLBACK(onMotion), this);
    g_signal_connect(window_, "button-release-event", G_CALLBACK(onRelease), this);
}

ZKNoticePlacement::Size NoticeCardView::cardSize(const ZKNoticeContent& content) {
    return NoticeCard::measure(content);
}

ZKNoticePlacement::Rect NoticeCardView::visibleFrame() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return {0, 0, 1280, 800};
    GdkMonitor* monitor = nullptr;
    GtkWindow* anchor = hooks_.anchor ? hooks_.anchor() : nullptr;
    if (anchor && gtk_widget_get_window(GTK_WIDGET(anchor)))
        monitor =
            gdk_display_get_monitor_at_window(display, gtk_widget_get_window(GTK_WIDGET(anchor)));
    if (!monitor) monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return {0, 0, 1280, 800};
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return {double(area.x), double(area.y), double(area.width), double(area.height)};
}

void NoticeCardView::present(const ZKNoticeContent& content, ZKNoticePlacement::Point origin) {
    if (!window_) makeWindow();
    stopTimers();
    content_ = content;
    size_ = NoticeCard::measure(content);
    gtk_widget_set_size_request(window_, px(size_.width), px(size_.height));
    gtk_window_resize(GTK_WINDOW(window_), px(size_.width), px(size_.height));
    gtk_window_move(GTK_WINDOW(window_), px(origin.x), px(origin.y));
    gtk_widget_set_opacity(window_, 1);
    // Screen readers hear the notice as it appears.
    AtkObject* accessible = gtk_widget_get_accessible(window_);
    atk_object_set_role(accessible, ATK_ROLE_NOTIFICATION);
    atk_object_set_name(accessible, content.title.c_str());
    atk_object_set_description(accessible, content.body.c_str());
    gtk_widget_show(window_);
    gtk_widget_queue_draw(window_);
    // The rail moves while the dwell runs; a card that stays has none.
    if (!content.isSticky()) railTimer_ = g_timeout_add(kRailTickMs, onRailTick, this);
}

void NoticeCardView::moveCard(ZKNoticePlacement::Point origin) {
    if (window_) gtk_window_move(GTK_WINDOW(window_), px(origin.x), px(origin.y));
}

void NoticeCardView::fadeOut() {
    if (!window_ || !gtk_widget_get_visible(window_)) return;
    stopTimers();
    if (!composited(window_)) {
        gtk_widget_hide(window_);
        return;
    }
    fadeStart_ = g_get_monotonic_time();
    fadeTimer_ = g_timeout_add(kFadeTickMs, onFadeTick, this);
}

void NoticeCardView::setDark(bool dark) {
    dark_ = dark;
    if (window_ && gtk_widget_get_visible(window_)) gtk_widget_queue_draw(window_);
}

double NoticeCardView::progress() const {
    auto notice = notice_.lock();
    if (content_.isSticky() || !notice || !notice->clock() || !hooks_.now) return -1;
    return notice->clock()->fraction(hooks_.now());
}

gboolean NoticeCardView::onDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
    auto& self = *static_cast<NoticeCardView*>(data);
    NoticeCard::Style style;
    style.dark = self.dark_;
    style.transparent = composited(widget);
    style.progress = self.progress();
    const ZKNoticePlacement::Size size{double(gtk_widget_get_allocated_width(widget)),
                                       double(gtk_widget_get_allocated_height(widget))};
    NoticeCard::draw(cr, self.content_, size, style);
    return TRUE;
}

gboolean NoticeCardView::onEnter(GtkWidget*, GdkEventCrossing*, gpointer data) {
    if (auto notice = static_cast<NoticeCardView*>(data)->notice_.lock()) notice->pointerEntered();
    return FALSE;
}

gboolean NoticeCardView::onLeave(GtkWidget*, GdkEventCrossing* event, gpointer data) {
    if (event->detail == GDK_NOTIFY_INFERIOR) return FALSE;
    if (auto notice = static_cast<NoticeCardView*>(data)->notice_.lock()) notice->pointerLeft();
    return FALSE;
}

// Presses are followed in screen coordinates, since the card moves under the pointer.
gboolean NoticeCardView::onPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    if (event->button != GDK_BUTTON_PRIMARY || event->type != GDK_BUTTON_PRESS) return FALSE;
    if (auto notice = static_cast<NoticeCardView*>(data)->notice_.lock())
        notice->pressBegan({event->x_root, event->y_root});
    return TRUE;
}

gboolean NoticeCardView::onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    if (!(event->state & GDK_BUTTON1_MASK)) return FALSE;
    if (auto notice = static_cast<NoticeCardView*>(data)->notice_.lock())
        notice->pressMoved({event->x_root, event->y_root});
    return TRUE;
}

gboolean NoticeCardView::onRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
    if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
    if (auto notice = static_cast<NoticeCardView*>(data)->notice_.lock()) notice->pressEnded();
    return TRUE;
}

gboolean NoticeCardView::onRailTick(gpointer data) {
    auto& self = *static_cast<NoticeCardView*>(data);
    if (self.window_) gtk_widget_queue_draw(self.window_);
    return G_SOURCE_CONTINUE;
}

gboolean NoticeCardView::onFadeTick(gpointer data) {
    auto& self = *static_cast<NoticeCardView*>(data);
    const double t = double(g_get_monotonic_time() - self.fadeStart_) / 1000.0 / kFadeMs;
    if (t >= 1) {
        self.fadeTimer_ = 0;
        gtk_widget_hide(self.window_);
        gtk_widget_set_opacity(self.window_, 1);
        return G_SOURCE_REMOVE;
    }
    gtk_widget_set_opacity(self.window_, std::clamp(1 - t, 0.0, 1.0));
    return G_SOURCE_CONTINUE;
}

}  // namespace cvl
