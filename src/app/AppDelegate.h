// The desktop application: its document windows (tabs of frames) and panels, start-up, the tab
// snapshot and the closed tabs, the look and the night schedule, the menu commands, the agent
// bridge's view of the windows, and everything the features ask of the application. It knows
// the toolkit only through DesktopShell, so it runs and is tested without a display.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppControl.h"
#include "app/Appearance.h"
#include "app/ClosedTabs.h"
#include "app/DesktopEntry.h"
#include "app/DesktopShell.h"
#include "app/FocusHandBack.h"
#include "app/OpenTabs.h"
#include "memory/DocLinks.h"
#include "window/BridgeModules.h"
#include "window/PanelWC.h"
#include "window/ReviewWC.h"
#include "window/WindowServices.h"

namespace cvl {

class AppAgentHost;
class CVSearchIndex;
class HistoryStore;
class ZKNotice;

// The stores the application shares with its features.
struct AppStores {
    HistoryStore& history;
    std::shared_ptr<CVSearchIndex> searchIndex;
};

class AppDelegate : public DesktopRunner,
                    public AppActions,
                    public AppControl,
                    public WindowServices,
                    public ShellEvents {
  public:
    AppDelegate(DesktopShell& shell, AppStores stores);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // DesktopRunner: start-up work once the toolkit runs; documents handed over; the desktop
    // asking for the application again (the user chose it; with no window a fresh welcome
    // window opens); quitting.
    void start() override;
    void openFiles(const std::vector<std::string>& paths) override;
    void reopen() override;
    void shutdown() override;

    // A reader of `path` at `page` (1-based; 0 for none), restoring `view` when given, in
    // `into` or else the window pickWindow gives.
    void openReaderAt(const std::string& path, int page, const std::optional<std::string>& view,
                      std::shared_ptr<ReviewWC> into = nullptr);
    // The welcome page in `into`, or in a new window.
    void openWelcome(ReviewWC* into);
    void openHistory(const std::string& startMode);
    void reopenClosedTab();

    // The document windows in opening order.
    std::vector<std::shared_ptr<ReviewWC>> documentWindows() const;
    std::shared_ptr<ReviewWC> windowOfTab(int tab) const;
    std::optional<int> tabOf(const ReviewWC& window) const;
    const BridgeModuleSet& modules() const { return modules_; }
    DesktopShell& shell() { return shell_; }
    // The key window's current document window.
    std::shared_ptr<ReviewWC> keyWindow() const;

    // AppActions.
    void openReader(const std::string& path, int page) override;
    void openReview(const std::vector<std::string>& paths,
                    const std::optional<std::string>& mode) override;
    void openToolPage(const std::string& url, const std::string& pageKind,
                      const std::vector<std::string>& sourcePaths) override;
    void recordRecent(const std::string& path) override;
    void openInBrowser(const std::string& url) override;
    void openWithDefaultApp(const std::string& path) override;
    void revealInFileManager(const std::vector<std::string>& paths) override;
    void setClipboardText(const std::string& text) override;
    void setClipboardFiles(const std::vector<std::string>& paths) override;
    std::unique_ptr<Holder> inhibitIdle(const std::string& reason) override;
    void printDocument(const PrintRequest& request,
                       std::function<void(PrintOutcome)> done) override;
    void showNotice(const std::string& id, const std::string& title,
                    const std::string& text) override;
    void readerLog(const std::string& line) override;
    void settingsChanged() override;
    std::string brandName() override;
    bool darkScheme() override;
    std::vector<WindowSnapshot> windows() override;
    std::optional<WindowHandle> window(const std::string& bridgeId) override;

    // AppControl.
    void openPanel(const std::string& kind) override;
    void toggleAppearance() override;
    void applyConfig(const std::string& key, const std::string& value) override;
    void setShortcut(const std::string& command, const std::string& combo) override;

    // WindowServices.
    void shellEngine(const std::vector<std::string>& args) override;
    std::unique_ptr<WatchHandle> watchFile(const std::string& path,
                                           std::function<void(bool gone)> onEvent) override;
    std::unique_ptr<WatchHandle> watchFolders(const std::vector<std::string>& paths,
                                              std::function<void()> onChange) override;
    void parseGrid(const std::string& path, EngineAnswer done) override;
    void editProbe(const std::string& path, EngineAnswer done) override;
    void windowClosed(ReviewWC& window) override;

    // ShellEvents.
    void menuCommand(const std::string& command, const std::string& target) override;
    void tabCloseRequested(int tab) override;
    void frameCloseRequested(int frame) override;
    void tabsChanged() override;
    void systemLookChanged(bool dark) override;
    void wokeFromSleep() override;
    void activeChanged(bool active) override;
    void userChose() override;

  private:
    struct Tab {
        int id = 0;
        std::shared_ptr<ReviewWC> wc;
    };
    struct Panel {
        int id = 0;
        std::string kind;
        std::shared_ptr<PanelWC> wc;
    };

    // ---- windows and tabs (AppDelegate.cpp)
    // A new document window as a tab of `frame` (a new frame when none).
    std::shared_ptr<ReviewWC> newDocumentWindow(std::optional<int> frame, bool forReader = false);
    // The window for the next open: the key window's tab when it is empty, else a new tab
    // (or window, with "open_in" = "window").
    std::shared_ptr<ReviewWC> pickWindow(bool forReader = false);
    std::unique_ptr<Dialogs> makeDialogs(std::optional<int> frameOrPanel);
    void requestClose(ReviewWC& wc);
    void closeTab(int tab);
    void pageLoaded(const std::shared_ptr<ReviewWC>& wc, bool failed, const std::string& uri);
    void pageMessage(const std::shared_ptr<ReviewWC>& wc, const std::string& body);
    void pickFolder(const std::optional<std::string>& mode);
    void pickDocument();

    // ---- the tab snapshot, closed tabs and restore (AppSession.cpp)
    void restoreOpenTabsIfRelaunch();
    void startOpenTabsSnapshots(unsigned generation);
    void scheduleOpenTabsWrite();
    // Labels, tooltips and frame titles from the windows' titles and files.
    void showTitles();
    void writeOpenTabs(bool cleanQuit, bool discard);
    // CVL_TEST_DRIVE: the end-to-end tests' script, run once in the first page that qualifies.
    void runTestDriver(ReviewWC& wc);
    void scheduleWarmPrime(std::chrono::milliseconds after);
    void primeWarmReader();

    // ---- look, night, icon and the focus hand-back (AppLook.cpp)
    Appearance::Look currentLook();
    void applyAppearance();
    void syncPagesToLook();
    void setNightMode(const std::string& mode);
    void applyNightNow();
    void scheduleNightFlip();
    void applyAppIcon();
    void installNotices();

    // ---- updates (AppUpdates.cpp)
    void startUpdates();
    void checkForUpdates();

    // ---- menus, panels and settings (AppCommands.cpp)
    void rebuildMenu();
    void updateMenuBar();
    void showPanel(const std::string& kind, const std::string& html, std::shared_ptr<PanelWC> into);
    void runPanel(const std::string& kind, std::shared_ptr<PanelWC> into);

    DesktopShell& shell_;
    HistoryStore& history_;
    std::shared_ptr<CVSearchIndex> searchIndex_;
    LinkSession links_;  // the pending link end and followed-link focus
    BridgeModuleSet modules_;
    std::vector<Tab> tabs_;  // document windows in opening order
    std::vector<Panel> panels_;
    ClosedTabStack closedTabs_;
    OpenTabsKeeper openTabs_;
    std::shared_ptr<AppAgentHost> agentHost_;
    std::shared_ptr<ZKNotice> notice_;
    FocusHandBack::State focus_;
    int nextWindowNumber_ = 1;
    bool started_ = false;
    bool didOpen_ = false;
    bool quitting_ = false;
    bool quitDiscardsWindows_ = false;  // quit with Alt held: the windows are not to come back
    bool openTabsWritePending_ = false;
    bool testDriverStarted_ = false;
    bool systemDark_ = false;
    bool appActive_ = false;
    unsigned snapshotGeneration_ = 0;
    unsigned warmGeneration_ = 0;
    unsigned nightGeneration_ = 0;
    std::optional<std::string> lastNightAnnouncedScheme_;
    std::optional<std::string> heldUpdateShown_;  // the held update's menu title, when shown
    // Shared with callbacks that may outlive the application: they do nothing once it is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    friend class AppAgentHost;
};

}  // namespace cvl
