// The notice card on the desktop: a small popup window that never takes focus, drawn by
// NoticeCard, placed on the work area of the application's monitor. Pointer and press events go
// to the presenter, which decides everything else.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>

#include "updates/ZKNotice.h"

namespace cvl {

class NoticeCardView : public ZKNoticeView {
  public:
    struct Hooks {
        std::function<GtkWindow*()> anchor;  // a window on the monitor to use; null: primary
        std::function<double()> now;         // the presenter's clock, for the progress rail
    };

    explicit NoticeCardView(Hooks hooks);
    ~NoticeCardView() override;
    NoticeCardView(const NoticeCardView&) = delete;
    NoticeCardView& operator=(const NoticeCardView&) = delete;

    // The presenter that receives the card's pointer and press events.
    void attach(std::weak_ptr<ZKNotice> notice) { notice_ = std::move(notice); }
    // The application's look; the shown card is drawn again in it.
    void setDark(bool dark);

    ZKNoticePlacement::Size cardSize(const ZKNoticeContent& content) override;
    ZKNoticePlacement::Rect visibleFrame() override;
    void present(const ZKNoticeContent& content, ZKNoticePlacement::Point origin) override;
    void moveCard(ZKNoticePlacement::Point origin) override;
    void fadeOut() override;

  private:
    void makeWindow();
    void stopTimers();
    double progress() const;
    static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer self);
    static gboolean onEnter(GtkWidget*, GdkEventCrossing*, gpointer self);
    static gboolean onLeave(GtkWidget*, GdkEventCrossing*, gpointer self);
    static gboolean onPress(GtkWidget*, GdkEventButton*, gpointer self);
    static gboolean onMotion(GtkWidget*, GdkEventMotion*, gpointer self);
    static gboolean onRelease(GtkWidget*, GdkEventButton*, gpointer self);
    static gboolean onRailTick(gpointer self);
    static gboolean onFadeTick(gpointer self);

    Hooks hooks_;
    std::weak_ptr<ZKNotice> notice_;
    GtkWidget* window_ = nullptr;
    ZKNoticeContent content_;
    bool dark_ = false;
    ZKNoticePlacement::Size size_;
    guint railTimer_ = 0;
    guint fadeTimer_ = 0;
    gint64 fadeStart_ = 0;  // monotonic microseconds
};

}  // namespace cvl
