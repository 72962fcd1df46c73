// The desktop application: GTK windows holding tabs of document windows, the application's
// side of every window request, start-up, tab restore, closed tabs and quitting.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Appearance.h"
#include "app/FocusHandBack.h"
#include "memory/DocLinks.h"
#include "window/PanelWC.h"
#include "window/ReviewWC.h"
#include "window/WindowServices.h"

namespace cvl {

class ClosedTabStack;
class NoticeCardView;
class OpenTabsKeeper;
class WebPageHost;
struct WebViewHandlers;
class ZKNotice;

class DesktopApp : public WindowServices {
  public:
    explicit DesktopApp(GtkApplication* app);
    ~DesktopApp() override;

    // Start-up work once the application runs; `files` were given on the command line.
    void start();
    void openFiles(const std::vector<std::string>& paths);
    void shutdown();

    // A reader of `path`, at `page` (1-based; 0 for none), restoring `view` when given.
    void openReaderAt(const std::string& path, int page, const std::optional<std::string>& view,
                      bool newGroup = false);
    void openWelcome(ReviewWC* into);
    void reopenClosedTab();
    // The desktop asked for the application again (a second launch, a click on its icon): the
    // user chose it; with no window shown a fresh welcome window opens.
    void reopen();

    // WindowServices.
    void openInBrowser(const std::string& url) override;
    void openWithDefaultApp(const std::string& path) override;
    void revealInFileManager(const std::string& path) override;
    void setClipboardText(const std::string& text) override;
    void openReader(const std::string& path, int page) override;
    void openItem(const std::string& path) override;
    void openReview(const std::vector<std::string>& paths,
                    const std::optional<std::string>& mode) override;
    void pickAndReview(const std::optional<std::string>& mode) override;
    void pickAndRead() override;
    void openPanel(const std::string& kind) override;
    // The File History page in the key window's empty tab or a new one; a notice when the
    // page is missing from this build.
    void openHistory(const std::string& startMode = "recent") override;
    void toggleTheme() override;
    void goHome(ReviewWC& window) override;
    void setPinned(const std::string& path, bool pinned) override;
    void showNotice(const std::string& id, const std::string& title,
                    const std::string& text) override;
    void setAgentConnected(bool connect) override;
    void shellEngine(const std::vector<std::string>& args) override;
    void windowClosed(ReviewWC& window) override;
    std::optional<std::string> configString(const std::string& key) override;
    std::optional<bool> configBool(const std::string& key) override;
    void setConfigString(const std::string& key, const std::string& value) override;
    void applyConfig(const std::string& key, const std::string& value) override;
    void removeConfigKeysWithPrefix(const std::string& prefix) override;
    void setShortcut(const std::string& command, const std::string& combo) override;
    bool darkScheme() override;
    std::string brandName() override;
    std::string buildNumber() override;
    std::unique_ptr<WatchHandle> watchFile(const std::string& path,
                                           std::function<void(bool gone)> onEvent) override;
    std::unique_ptr<WatchHandle> watchFolders(const std::vector<std::string>& paths,
                                              std::function<void()> onChange) override;
    void readerLog(const std::string& line) override;
    bool pageCommand(const std::map<std::string, std::string>& fields, JsonReply reply) override;
    bool readerSearch(const std::string& query, const std::string& path, JsonReply reply) override;
    bool folderSearch(const std::string& url, const std::vector<std::string>& sources,
                      PageCall post) override;
    bool outline(const std::string& path, JsonReply reply) override;
    LinkSession* linkSession() override { return &linkSession_; }
    std::vector<std::shared_ptr<ReviewWC>> readerWindows() override;
    bool renderPages(const std::string& path, JsonReply reply) override;
    bool parseGrid(const std::string& path, EngineAnswer done) override;
    bool editProbe(const std::string& path, EngineAnswer done) override;
    bool history(const std::string& op, const std::vector<std::string>& paths,
                 JsonReply reply) override;

    struct Frame;
    struct Tab;
    class AgentHost;
    friend class AgentHost;

  private:
    Frame* newFrame();
    Frame* keyFrame() const;
    Tab* tabOf(const ReviewWC* wc) const;
    Tab* currentTab(Frame* frame) const;
    // A new document window as a tab of `frame` (a new GTK window when null).
    std::shared_ptr<ReviewWC> newDocumentWindow(Frame* frame, bool forReader = false);
    // The window for the next open: the key window's tab when it is empty, else a new tab
    // (or window, with "open_in" = "window").
    std::shared_ptr<ReviewWC> pickWindow(bool forReader = false);
    void requestClose(ReviewWC& wc);
    void closeTab(Tab& tab);
    // Appearance and night: the resolved look, applied to the toolkit and to every page.
    Appearance::Look currentLook();
    void applyAppearance();
    void syncWebSurfacesToSystem();
    static void paintViewBackground(WebKitWebView* view, bool dark);
    void observeSystemAppearance();
    void systemAppearanceChanged(bool dark);
    void setNightMode(const std::string& mode);
    void applyNightNow();
    void scheduleNightFlip();
    void nightWakeCheck();
    void observeSleep();
    // Stops the observers and the timer above and releases the buses and the icon.
    void stopObservingLook();
    void applyAppIcon();
    // The menu bar: built from the core's description, its enabled states kept current.
    void installMenuActions();
    void rebuildMenu();
    void updateMenuBar();
    void runMenuCommand(const std::string& command, const std::string& target);
    void showAbout();
    // Focus hand-back after a background restore.
    void watchActivation(Frame& frame);
    void appBecameActive();
    void scheduleOpenTabsWrite();
    void writeOpenTabs(bool cleanQuit, bool discard);
    void startOpenTabsSnapshots();
    void restoreOpenTabsIfRelaunch();
    void runTestDriver(ReviewWC& wc);
    // The pre-warmed reader: a hidden view that has loaded the reader page, handed to the
    // next new reader window.
    void scheduleWarmPrime(std::chrono::milliseconds after);
    void primeWarmReader();
    WebKitWebView* takeWarmReader(std::shared_ptr<WebViewHandlers>& handlers);
    void updateFrameTitle(Frame& frame);
    // The notice card and its presenter, installed as the application's notice facade.
    void installNotices();

    GtkApplication* app_;
    std::vector<std::unique_ptr<Frame>> frames_;
    std::vector<std::unique_ptr<Tab>> tabs_;  // document windows in opening order
    std::vector<std::pair<std::string, std::unique_ptr<PanelWC>>> panels_;
    std::unique_ptr<ClosedTabStack> closedTabs_;
    std::unique_ptr<OpenTabsKeeper> openTabs_;
    int nextWindowNumber_ = 1;
    bool didOpen_ = false;
    bool quitting_ = false;
    bool quitDiscardsWindows_ = false;  // quit with Alt held: the windows are not to come back
    bool openTabsWritePending_ = false;
    bool testDriverStarted_ = false;
    guint snapshotTimer_ = 0;
    WebKitWebView* warmView_ = nullptr;  // owned reference while it waits
    GtkWidget* warmWindow_ = nullptr;
    std::shared_ptr<WebViewHandlers> warmHandlers_;
    unsigned warmGeneration_ = 0;
    std::shared_ptr<AgentHost> agentHost_;
    LinkSession linkSession_;  // the pending link end and followed-link focus
    bool systemDark_ = false;
    guint nightTimer_ = 0;
    std::optional<std::string> lastNightAnnouncedScheme_;
    GDBusConnection* sessionBus_ = nullptr;
    GDBusConnection* systemBus_ = nullptr;
    guint portalSubscription_ = 0;
    guint sleepSubscription_ = 0;
    bool portalAnswered_ = false;  // the desktop portal gave a dark or light preference
    GdkPixbuf* appIcon_ = nullptr;
    bool menusInstalled_ = false;
    bool appActive_ = false;
    FocusHandBack::State focus_;
    std::shared_ptr<NoticeCardView> noticeView_;
    std::shared_ptr<ZKNotice> notice_;
};

}  // namespace cvl
