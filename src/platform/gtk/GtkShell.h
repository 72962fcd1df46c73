// The desktop shell drawn by GTK: application windows with a notebook of web-view tabs, panel
// windows, the pre-loaded reader view, the look (dark preference, the desktop portal's colour
// scheme, logind's sleep signal, the icon), the menu bar, the desktop's facilities (default
// handlers, the file manager over D-Bus, the clipboard, idle inhibit) and the notice card.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <vector>

#include "app/DesktopShell.h"

namespace cvl {

class NoticeCardView;
class WebPageHost;
struct WebViewHandlers;

class GtkShell : public DesktopShell {
  public:
    explicit GtkShell(GtkApplication* app);
    ~GtkShell() override;
    GtkShell(const GtkShell&) = delete;
    GtkShell& operator=(const GtkShell&) = delete;

    void listen(ShellEvents& events) override;

    int newFrame(const std::string& title, bool keepAbove) override;
    ShellPage newTab(int frame, bool warm, PageEvents events) override;
    void removeTab(int tab) override;
    std::optional<int> keyFrame() override;
    std::optional<int> currentTab(int frame) override;
    int frameOf(int tab) override;
    std::vector<std::vector<int>> frames() override;
    TabFacts tabFacts(int tab) override;
    void setTabTitle(int tab, const std::string& label, const std::string& tooltip) override;
    void setFrameTitle(int frame, const std::string& title,
                       const std::string& representedFile) override;
    void presentFrame(int frame) override;
    void setKeepAbove(bool above) override;
    void reloadTab(int tab) override;
    void callAsync(int tab, const std::string& body,
                   std::function<void(std::optional<std::string>)> reply) override;
    void snapshotTab(int tab, const std::string& pngPath, std::function<void(bool)> done) override;
    std::unique_ptr<Dialogs> dialogs(std::optional<int> frameOrPanel) override;

    bool hasWarmReader() override { return warmView_ != nullptr; }
    void primeWarmReader(const std::string& url) override;
    void dropWarmReader() override;

    ShellPage newPanel(const std::string& title, PageEvents events,
                       std::function<void()> destroyed) override;

    bool systemPrefersDark() override;
    void setDark(bool dark) override;
    void setAppIcon(const std::optional<std::string>& pngPath) override;

    void setMenus(const std::vector<AppMenu::Menu>& menus) override;
    void setMenuStates(const std::vector<AppMenu::Menu>& menus,
                       const std::string& nightMode) override;
    bool quitModifierHeld() override;
    void showAbout(const AboutInfo& about) override;
    void quit() override;

    void openURI(const std::string& uri) override;
    void revealItems(const std::vector<std::string>& paths) override;
    void printDocument(const PrintRequest& request,
                       std::function<void(PrintOutcome)> done) override;
    void setClipboardText(const std::string& text) override;
    void setClipboardFiles(const std::vector<std::string>& paths) override;
    std::unique_ptr<Holder> inhibitIdle(const std::string& reason) override;
    std::shared_ptr<ZKNoticeView> noticeView() override;
    void attachNotice(std::weak_ptr<ZKNotice> notice) override;

  private:
    struct Frame {
        int id = 0;
        GtkWidget* window = nullptr;
        GtkNotebook* notebook = nullptr;
        std::string represented;  // the file the window stands for; GTK has no place to show it
    };
    struct Tab {
        int id = 0;
        int frame = 0;
        WebKitWebView* view = nullptr;  // owned by the notebook (and the page host's reference)
        GtkWidget* label = nullptr;
        std::shared_ptr<WebViewHandlers> handlers;
    };
    struct Panel {
        int id = 0;
        GtkWidget* window = nullptr;
        WebKitWebView* view = nullptr;
        std::shared_ptr<WebViewHandlers> handlers;
    };

    Frame* frame(int id);
    Tab* tab(int id);
    Tab* tabOfView(GtkWidget* view);
    std::unique_ptr<PageHost> hostFor(int tab);
    WebKitWebView* takeWarmView(std::shared_ptr<WebViewHandlers>& handlers);
    // Test launches (CVL_TEST=1): pages may ask for the windows as drawn, select tabs, press
    // keys and picture their window (GtkShellProbe.cpp).
    void attachTestProbe(WebKitWebView* view);
    std::string probeAnswer(WebKitWebView* asking, const std::string& request);
    std::string windowsAsDrawn();
    void paintBackground(WebKitWebView* view) const;
    void watchFrame(Frame& frame);
    // Look observers (GtkShellLook.cpp).
    void observeSystemLook();
    void observeSleep();
    void stopObserving();
    void installMenuActions(const std::vector<AppMenu::Menu>& menus);

    GtkApplication* app_;
    ShellEvents* events_ = nullptr;
    int nextId_ = 1;
    std::vector<Frame> frames_;  // in opening order
    std::vector<Tab> tabs_;
    std::vector<Panel> panels_;
    bool dark_ = false;
    GdkPixbuf* icon_ = nullptr;
    bool appActive_ = false;
    WebKitWebView* warmView_ = nullptr;  // owned reference while it waits
    GtkWidget* warmWindow_ = nullptr;
    std::shared_ptr<WebViewHandlers> warmHandlers_;
    std::shared_ptr<NoticeCardView> noticeView_;
    GDBusConnection* sessionBus_ = nullptr;
    GDBusConnection* systemBus_ = nullptr;
    guint portalSubscription_ = 0;
    guint sleepSubscription_ = 0;
    bool portalAnswered_ = false;  // the desktop portal gave a dark or light preference
    // Callbacks of the toolkit check it: they do nothing once the shell is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace cvl
