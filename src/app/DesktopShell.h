// The windowing toolkit as the application sees it: top-level windows ("frames") holding tabs
// of pages, panel windows, the look, the menu bar and the desktop's own facilities (browser,
// file manager, clipboard, idle inhibit, the notice card). The desktop implements it with GTK
// (src/platform/gtk); tests use a fake. Everything runs on the main thread. Frame and tab ids
// are positive and never reused.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppMenu.h"
#include "window/AppActions.h"
#include "window/Dialogs.h"
#include "window/PageHost.h"

namespace cvl {

class ZKNotice;
class ZKNoticeView;

// What the page of a tab or panel reports; set up before the page loads anything.
struct PageEvents {
    std::function<NavigationPolicy(const NavigationRequest&)> decide;
    // "corvello" messages: the JSON text, and the address of the page that sent it.
    std::function<void(const std::string& body, const std::string& pageURL)> message;
    // Whether the page may read the file at `path` through the PDF schemes.
    std::function<bool(const std::string& path)> mayRead;
    // A page finished loading: the address that loaded, or the error of a failed load.
    std::function<void(bool failed, const std::string& detail)> loadFinished;
    std::function<void(const std::string& title)> titleChanged;
};

// A new tab or panel and its page.
struct ShellPage {
    int id = 0;
    std::unique_ptr<PageHost> page;
};

// What the agent bridge is told about a tab.
struct TabFacts {
    std::string windowTitle;
    std::string label;  // the text drawn on the tab
    bool visible = false;
    int tabCount = 0;
    int tabIndex = -1;
    bool loading = false;
    std::string uri;  // the address its page shows
};

struct AboutInfo {
    std::string name;
    std::string version;
    std::string comments;
};

class ShellEvents;

class DesktopShell {
  public:
    virtual ~DesktopShell() = default;

    // Starts reporting to `events`: the menu, the windows' buttons, the desktop's look, sleep.
    virtual void listen(ShellEvents& events) = 0;

    // ---- frames and tabs
    virtual int newFrame(const std::string& title, bool keepAbove) = 0;
    // A new tab at the end of `frame`, selected. With `warm`, the pre-loaded reader view
    // becomes its page when there is one.
    virtual ShellPage newTab(int frame, bool warm, PageEvents events) = 0;
    // Removes the tab; a frame goes with its last tab.
    virtual void removeTab(int tab) = 0;
    // The active frame, else the last one opened.
    virtual std::optional<int> keyFrame() = 0;
    virtual std::optional<int> currentTab(int frame) = 0;
    virtual int frameOf(int tab) = 0;
    // Frames in opening order, each with its tabs in the order they are shown.
    virtual std::vector<std::vector<int>> frames() = 0;
    virtual TabFacts tabFacts(int tab) = 0;
    // What a tab's label reads and the tooltip over it.
    virtual void setTabTitle(int /*tab*/, const std::string& /*label*/,
                             const std::string& /*tooltip*/) {}
    // A frame's title and the file it stands for (empty: none).
    virtual void setFrameTitle(int /*frame*/, const std::string& /*title*/,
                               const std::string& /*representedFile*/) {}
    virtual void presentFrame(int frame) = 0;
    virtual void setKeepAbove(bool above) = 0;
    virtual void reloadTab(int tab) = 0;
    // Runs `body` as an async function in the tab's page; `reply` gets the JSON of its result.
    virtual void callAsync(int tab, const std::string& body,
                           std::function<void(std::optional<std::string>)> reply) = 0;
    // Writes what the tab shows as a PNG file; `done` tells whether it was written.
    virtual void snapshotTab(int tab, const std::string& pngPath,
                             std::function<void(bool)> done) = 0;
    // Dialogs attached to a frame (or to the panel with that id); none: to no window.
    virtual std::unique_ptr<Dialogs> dialogs(std::optional<int> frameOrPanel) = 0;

    // ---- the pre-loaded reader: a hidden view that has loaded the reader page
    virtual bool hasWarmReader() = 0;
    virtual void primeWarmReader(const std::string& url) = 0;
    virtual void dropWarmReader() = 0;

    // ---- panels (settings, help, about): a window of its own
    virtual ShellPage newPanel(const std::string& title, PageEvents events,
                               std::function<void()> destroyed) = 0;

    // ---- the look
    virtual bool systemPrefersDark() = 0;
    // The toolkit's dark preference, the colour behind every page, the notice card.
    virtual void setDark(bool dark) = 0;
    // A PNG for the windows' icon; none keeps the desktop theme's icon.
    virtual void setAppIcon(const std::optional<std::string>& pngPath) = 0;

    // ---- the menu bar
    virtual void setMenus(const std::vector<AppMenu::Menu>& menus) = 0;
    // Enabled states and the night-mode radio state.
    virtual void setMenuStates(const std::vector<AppMenu::Menu>& menus,
                               const std::string& nightMode) = 0;
    // The command was chosen with the quit modifier (Alt) held.
    virtual bool quitModifierHeld() = 0;
    virtual void showAbout(const AboutInfo& about) = 0;
    virtual void quit() = 0;

    // ---- the desktop
    virtual void openURI(const std::string& uri) = 0;
    virtual void revealItems(const std::vector<std::string>& paths) = 0;
    virtual void setClipboardText(const std::string& text) = 0;
    virtual void setClipboardFiles(const std::vector<std::string>& paths) = 0;
    virtual std::unique_ptr<Holder> inhibitIdle(const std::string& reason) = 0;
    // The print dialog over the key frame; `done` runs once on the main queue. Without one of
    // its own a host says printing is not available.
    virtual void printDocument(const PrintRequest& /*request*/,
                               std::function<void(PrintOutcome)> done) {
        PrintOutcome outcome;
        outcome.message = "Printing is not available in this build.";
        done(outcome);
    }
    // The notice card, drawn by the toolkit; its presenter is attached once made.
    virtual std::shared_ptr<ZKNoticeView> noticeView() = 0;
    virtual void attachNotice(std::weak_ptr<ZKNotice> notice) = 0;
};

// What the toolkit tells the application.
class ShellEvents {
  public:
    virtual ~ShellEvents() = default;
    virtual void menuCommand(const std::string& command, const std::string& target) = 0;
    // The tab's close button; the window's close button (every tab of the frame asked).
    virtual void tabCloseRequested(int tab) = 0;
    virtual void frameCloseRequested(int frame) = 0;
    // Another tab was selected, or a tab's title changed.
    virtual void tabsChanged() = 0;
    // The desktop's own light or dark look changed.
    virtual void systemLookChanged(bool dark) = 0;
    virtual void wokeFromSleep() = 0;
    virtual void activeChanged(bool active) = 0;
    // A click in one of the windows: the user chose this application.
    virtual void userChose() = 0;
};

}  // namespace cvl
