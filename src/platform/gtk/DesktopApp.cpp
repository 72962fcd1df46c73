#include "platform/gtk/DesktopApp.h"

#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>

#include "agent/AgentBridge.h"
#include "agent/AgentBridgeHost.h"
#include "agent/AgentDocumentWork.h"
#include "agent/MCPConnector.h"
#include "app/AppConstants.h"
#include "app/AppMenu.h"
#include "app/Brand.h"
#include "app/ClosedTabs.h"
#include "app/Config.h"
#include "app/ConfigApply.h"
#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "app/OpenTabs.h"
#include "app/SupportDirs.h"
#include "app/UserPrefs.h"
#include "app/WelcomePage.h"
#include "app/WorkingFolderSweep.h"
#include "memory/AnnotationSidecars.h"
#include "memory/CoverThumbs.h"
#include "memory/DocIdentity.h"
#include "memory/HistoryOperations.h"
#include "memory/HistoryPage.h"
#include "memory/HistoryStore.h"
#include "night/NightSettings.h"
#include "pagecmd/PageCommandFlow.h"
#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/FileWatch.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "platform/gtk/DesktopAppParts.h"
#include "platform/gtk/NoticeCardView.h"
#include "platform/gtk/WebViews.h"
#include "platform/pdf/PdfDocument.h"
#include "search/CVSearchIndex.h"
#include "search/SearchFlows.h"
#include "updates/CorvelloNotice.h"
#include "updates/ZKNoticeStore.h"
#include "window/FolderWatcher.h"
#include "window/ReaderURL.h"

namespace cvl {

using json = nlohmann::json;

// The application as the agent bridge sees it: its document windows and their pages.
class DesktopApp::AgentHost : public AgentBridgeHost {
  public:
    explicit AgentHost(DesktopApp& app) : app_(app) {}

    std::string appName() override { return Brand::current().name; }
    std::string version() override { return appConstants().version; }
    std::string build() override { return cvl::buildNumber(); }

    std::vector<AgentWindowInfo> liveWindows() override {
        std::vector<AgentWindowInfo> out;
        for (auto& t : app_.tabs_) out.push_back(info(*t));
        return out;
    }
    std::optional<std::string> keyWindow() override {
        if (Tab* t = app_.currentTab(app_.keyFrame())) return t->wc->bridgeId();
        return std::nullopt;
    }
    std::optional<std::string> currentDocument() override {
        Tab* t = app_.currentTab(app_.keyFrame());
        if (!t || t->wc->sourcePaths().empty()) return std::nullopt;
        return t->wc->sourcePaths().front();
    }
    void evaluate(const std::string& windowId, const std::string& script,
                  AgentScriptDone done) override {
        Tab* t = find(windowId);
        if (!t) return done(AgentScriptAnswer{false, "", "no such window"});
        t->host->evaluateScript(script, [done](std::optional<std::string> value) {
            done(AgentScriptAnswer{true, value.value_or(""), ""});
        });
    }
    void callAsync(const std::string& windowId, const std::string& body,
                   AgentScriptDone done) override {
        Tab* t = find(windowId);
        if (!t) return done(AgentScriptAnswer{false, "", "no such window"});
        t->host->callAsync(body, [done](std::optional<std::string> value) {
            done(AgentScriptAnswer{true, value.value_or("null"), ""});
        });
    }
    void bringToFront(const std::string& windowId) override {
        if (Tab* t = find(windowId)) t->wc->page().present();
    }
    void activateApp() override {
        if (Frame* f = app_.keyFrame()) gtk_window_present(GTK_WINDOW(f->window));
    }
    std::optional<AgentWindowInfo> openFolder(const std::string& path) override {
        if (!isDirectory(path)) return std::nullopt;
        app_.openReview({path}, std::nullopt);
        return shown(path);
    }
    std::optional<AgentWindowInfo> openFile(const std::string& path,
                                            std::optional<int> page) override {
        if (!isRegularFile(path)) return std::nullopt;
        app_.openReader(path, page.value_or(0));
        return shown(path);
    }
    std::optional<std::string> annotationSidecar(const std::string& path) override {
        if (!annotSidecarExists(path)) return std::nullopt;
        return annotSidecarPath(path);
    }

  private:
    Tab* find(const std::string& id) {
        for (auto& t : app_.tabs_)
            if (t->wc->bridgeId() == id) return t.get();
        return nullptr;
    }
    std::optional<AgentWindowInfo> shown(const std::string& path) {
        for (auto it = app_.tabs_.rbegin(); it != app_.tabs_.rend(); ++it)
            if (!(*it)->wc->sourcePaths().empty() && (*it)->wc->sourcePaths().front() == path)
                return info(**it);
        return std::nullopt;
    }
    AgentWindowInfo info(Tab& t) {
        AgentWindowInfo w;
        ReviewWC& wc = *t.wc;
        w.bridgeId = wc.bridgeId();
        w.title = gtk_window_get_title(GTK_WINDOW(t.frame->window))
                      ? gtk_window_get_title(GTK_WINDOW(t.frame->window))
                      : "";
        w.paths = wc.sourcePaths();
        Tab* current = app_.currentTab(t.frame);
        w.tabSelected = current == &t;
        w.isKey = w.tabSelected && t.frame == app_.keyFrame();
        w.isVisible = gtk_widget_get_visible(t.frame->window);
        w.tabTitle = t.host->title();
        w.tabCount = gtk_notebook_get_n_pages(t.frame->notebook);
        w.tabIndex = gtk_notebook_page_num(t.frame->notebook, GTK_WIDGET(t.view));
        for (size_t i = 0; i < app_.frames_.size(); ++i)
            if (app_.frames_[i].get() == t.frame) w.tabGroup = std::to_string(i);
        w.tabLabelRendered = gtk_label_get_text(GTK_LABEL(t.label));
        if (const char* uri = webkit_web_view_get_uri(t.view)) {
            w.webPdf = urlQuery(uri, "pdf");
            w.webOrig = urlQuery(uri, "orig");
        }
        w.webUrlLoading = webkit_web_view_is_loading(t.view);
        if (wc.isReader()) {
            IdentityVerdict v = wc.identityVerdict();
            w.identityJSON =
                nlohmann::json{{"ready", v.isReady()}, {"summary", v.summary()}}.dump();
        }
        w.showsDocument = wc.hasContent();
        w.isReader = wc.isReader();
        w.isGrid = wc.isGrid();
        return w;
    }

    DesktopApp& app_;
};

// Signal data: the application and one of its windows, tabs or panels.
using FrameRef = std::pair<DesktopApp*, DesktopApp::Frame*>;
using TabRef = std::pair<DesktopApp*, DesktopApp::Tab*>;
using PanelRef = std::pair<DesktopApp*, PanelWC*>;

namespace {

// Enough free memory to keep a spare reader around (MemAvailable above 512 MB).
bool memoryIsComfortable() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long kb = 0;
    std::string unit;
    while (in >> key >> kb >> unit)
        if (key == "MemAvailable:") return kb > 512LL * 1024;
    return true;
}

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Watches handed to windows: destroying the handle stops the watch.
class FileWatchHandle : public WatchHandle {
  public:
    explicit FileWatchHandle(std::unique_ptr<FileWatch> watch) : watch_(std::move(watch)) {}

  private:
    std::unique_ptr<FileWatch> watch_;
};

class FolderWatchHandle : public WatchHandle {
  public:
    FolderWatchHandle(std::shared_ptr<FolderWatcher> timing, std::unique_ptr<FileWatch> stream)
        : timing_(std::move(timing)), stream_(std::move(stream)) {}
    ~FolderWatchHandle() override {
        stream_.reset();
        timing_->stop();
    }

  private:
    std::shared_ptr<FolderWatcher> timing_;
    std::unique_ptr<FileWatch> stream_;
};

}  // namespace

DesktopApp::DesktopApp(GtkApplication* app)
    : app_(app),
      closedTabs_(std::make_unique<ClosedTabStack>()),
      openTabs_(std::make_unique<OpenTabsKeeper>()) {
    openTabs_->log = [this](const std::string& line) { readerLog(line); };
}

DesktopApp::~DesktopApp() = default;

// ---- start-up and quitting ------------------------------------------------------------------

void DesktopApp::start() {
    migrateLegacySupportDir();
    closedTabs_->load();
    installNotices();
    // Appearance, the night schedule and the icon, each following the desktop and the clock.
    observeSystemAppearance();
    applyAppearance();
    scheduleNightFlip();
    observeSleep();
    applyAppIcon();
    // The old recent list seeds an empty history once.
    std::vector<RecentEntry> recents;
    for (const auto& r : UserPrefs::recentItems()) recents.push_back({r.path, r.dir, r.ts});
    HistoryStore::shared().migrateRecentsIfNeeded(std::move(recents));
    installMenuActions();
    rebuildMenu();
    restoreOpenTabsIfRelaunch();
    // Generated pages and exchange files of earlier runs, off the main thread.
    Dispatch::global().async([] {
        const int removed =
            WorkingFolderSweep::sweep(UserDirs::archiveDir(), std::chrono::system_clock::now());
        if (removed > 0)
            cvlLog("working folder: removed %d generated file(s) of earlier runs", removed);
    });
    // The welcome window, when nothing was opened meanwhile.
    Dispatch::main().asyncAfter(std::chrono::milliseconds(350), [this] {
        if (didOpen_ || !tabs_.empty()) return;
        // End-to-end tests of the history page start on it (CVL_TEST_DRIVE_ON=history).
        if (envIs("CVL_TEST_DRIVE_ON", "history") && std::getenv("CVL_TEST_DRIVE"))
            openHistory();
        else
            openWelcome(nullptr);
    });
    scheduleWarmPrime(std::chrono::milliseconds(2500));
    // The agent bridge, with the document work behind its page commands.
    agentHost_ = std::make_shared<AgentHost>(*this);
    AgentBridge::shared().start(agentHost_, makeAgentDocumentWork());
}

void DesktopApp::shutdown() {
    if (quitting_) return;
    quitting_ = true;
    if (snapshotTimer_) g_source_remove(snapshotTimer_);
    snapshotTimer_ = 0;
    stopObservingLook();
    ++warmGeneration_;
    if (warmWindow_) gtk_widget_destroy(warmWindow_);
    warmWindow_ = nullptr;
    if (warmView_) g_object_unref(warmView_);
    warmView_ = nullptr;
    writeOpenTabs(true, quitDiscardsWindows_);
    AgentBridge::shared().stop();
    CorvelloNotice::install(nullptr);
    notice_.reset();
    noticeView_.reset();
}

void DesktopApp::openFiles(const std::vector<std::string>& paths) {
    FocusHandBack::noteChoice(focus_, nowSeconds());
    std::vector<std::string> usable;
    bool anyFolder = false;
    for (const auto& p : paths) {
        const std::string scheme = BridgeDispatch::scheme(p);
        if (scheme == "qrtiz") {
            // File-manager extension requests have no handler on this desktop.
            if (BridgeDispatch::operation(p) == "finder")
                cvlLog("file manager request dropped: %s", p.c_str());
            continue;
        }
        if (!scheme.empty() && scheme != "file") {
            cvlLog("not a file, not opened: %s", p.c_str());
            continue;
        }
        usable.push_back(p);
        anyFolder = anyFolder || isDirectory(p);
    }
    if (usable.empty()) return;
    didOpen_ = true;
    if (usable.size() == 1 || anyFolder) {
        for (const auto& p : usable) openItem(p);
    } else {
        openReview(usable, std::nullopt);
    }
    if (Frame* frame = keyFrame()) gtk_window_present(GTK_WINDOW(frame->window));
}

void DesktopApp::reopen() {
    FocusHandBack::noteChoice(focus_, nowSeconds());
    for (auto& f : frames_)
        if (gtk_widget_get_visible(f->window)) {
            gtk_window_present(GTK_WINDOW(keyFrame()->window));
            return;
        }
    openWelcome(nullptr);
}

void DesktopApp::restoreOpenTabsIfRelaunch() {
    auto plan = openTabs_->decideRestore(cvl::buildNumber(), nowSeconds());
    if (!plan) return;
    didOpen_ = true;
    // A restore during a background relaunch may give the focus back when it steals it. No
    // portable way tells the front application on this desktop, so none is recorded.
    FocusHandBack::noteRestore(focus_, nowSeconds(), appActive_, envIs("ZK_BACKGROUND_LAUNCH", "1"),
                               std::nullopt);
    size_t reopened = 0;
    for (const auto& group : plan->windows) {
        Frame* frame = nullptr;
        std::shared_ptr<ReviewWC> selected;
        for (size_t i = 0; i < group.tabs.size(); ++i) {
            const ClosedTab& tab = group.tabs[i].tab;
            auto wc = newDocumentWindow(frame);
            frame = tabOf(wc.get())->frame;
            if (tab.kind == "reader") {
                Tab* t = tabOf(wc.get());
                (void)t;
                wc->setPendingViewRestore(tab.view);
                // Reuse the opener: the new empty window is the key window's current tab.
                gtk_notebook_set_current_page(frame->notebook, -1);
                openReaderAt(tab.paths.front(), 0, tab.view);
            } else if (tab.kind == "grid") {
                wc->openGrid(tab.paths.front());
            } else {
                wc->load(tab.paths, tab.mode);
            }
            if (group.selected && *group.selected == i) selected = wc;
            ++reopened;
        }
        if (selected) selected->page().present();
    }
    openTabs_->finishRestore(*plan, reopened, "");
    startOpenTabsSnapshots();
}

void DesktopApp::startOpenTabsSnapshots() {
    if (snapshotTimer_) g_source_remove(snapshotTimer_);
    snapshotTimer_ = g_timeout_add_seconds(
        15,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<DesktopApp*>(data);
            // Ask every reader for its view first; write when all have answered.
            auto remaining = std::make_shared<int>(0);
            for (auto& t : self->tabs_)
                if (t->wc->isReader()) ++*remaining;
            if (*remaining == 0) {
                self->writeOpenTabs(false, false);
                return G_SOURCE_CONTINUE;
            }
            for (auto& t : self->tabs_) {
                if (!t->wc->isReader()) continue;
                std::weak_ptr<ReviewWC> weak = t->wc;
                t->host->evaluateScript(ReviewWC::kCaptureViewScript,
                                        [self, weak, remaining](std::optional<std::string> view) {
                                            if (auto wc = weak.lock();
                                                wc && view && *view != "null")
                                                wc->setLastViewState(*view);
                                            if (--*remaining == 0)
                                                self->writeOpenTabs(false, false);
                                        });
            }
            return G_SOURCE_CONTINUE;
        },
        this);
}

void DesktopApp::scheduleOpenTabsWrite() {
    if (openTabsWritePending_ || quitting_) return;
    openTabsWritePending_ = true;
    Dispatch::main().asyncAfter(std::chrono::milliseconds(400), [this] {
        openTabsWritePending_ = false;
        writeOpenTabs(false, false);
    });
}

void DesktopApp::writeOpenTabs(bool cleanQuit, bool discard) {
    std::vector<OpenTabRow> rows;
    for (size_t f = 0; f < frames_.size(); ++f) {
        Frame* frame = frames_[f].get();
        Tab* current = currentTab(frame);
        const int pages = gtk_notebook_get_n_pages(frame->notebook);
        for (int i = 0; i < pages; ++i) {
            GtkWidget* child = gtk_notebook_get_nth_page(frame->notebook, i);
            for (auto& t : tabs_) {
                if (GTK_WIDGET(t->view) != child) continue;
                auto record = t->wc->restorableTab();
                if (!record) continue;
                OpenTabRow row;
                row.tab = ClosedTab{record->kind, record->paths, record->view, record->mode,
                                    record->title};
                row.group = static_cast<long long>(f);
                row.selected = current == t.get();
                rows.push_back(std::move(row));
            }
        }
    }
    openTabs_->writeOpenTabs(cleanQuit, discard, rows, cvl::buildNumber(), nowSeconds());
}

// ---- windows and tabs -----------------------------------------------------------------------

DesktopApp::Frame* DesktopApp::newFrame() {
    auto frame = std::make_unique<Frame>();
    frame->window = gtk_application_window_new(app_);
    gtk_window_set_default_size(GTK_WINDOW(frame->window), 1340, 900);
    gtk_window_set_title(GTK_WINDOW(frame->window), brandName().c_str());
    frame->notebook = GTK_NOTEBOOK(gtk_notebook_new());
    gtk_notebook_set_scrollable(frame->notebook, TRUE);
    gtk_notebook_set_show_border(frame->notebook, FALSE);
    gtk_container_add(GTK_CONTAINER(frame->window), GTK_WIDGET(frame->notebook));
    Frame* raw = frame.get();
    frames_.push_back(std::move(frame));

    if (configBool("always_on_top").value_or(false))
        gtk_window_set_keep_above(GTK_WINDOW(raw->window), TRUE);

    // Closing the window asks each of its tabs; tabs that must first flush stay for now.
    g_signal_connect(raw->window, "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) -> gboolean {
                         auto* pair = static_cast<FrameRef*>(data);
                         DesktopApp* self = pair->first;
                         std::vector<std::shared_ptr<ReviewWC>> mine;
                         for (auto& t : self->tabs_)
                             if (t->frame == pair->second) mine.push_back(t->wc);
                         for (auto& wc : mine) self->requestClose(*wc);
                         return TRUE;  // the last closed tab destroys the window
                     }),
                     (std::make_unique<FrameRef>(this, raw).release()));
    g_signal_connect(raw->notebook, "switch-page",
                     G_CALLBACK(+[](GtkNotebook*, GtkWidget*, guint, gpointer data) {
                         auto* self = static_cast<DesktopApp*>(data);
                         self->scheduleOpenTabsWrite();
                         // The page switch lands after this signal; update the menus then.
                         Dispatch::main().async([self] { self->updateMenuBar(); });
                     }),
                     this);

    watchActivation(*raw);
    gtk_widget_show_all(raw->window);
    return raw;
}

DesktopApp::Frame* DesktopApp::keyFrame() const {
    GtkWindow* active = gtk_application_get_active_window(app_);
    for (auto& f : frames_)
        if (GTK_WINDOW(f->window) == active) return f.get();
    return frames_.empty() ? nullptr : frames_.back().get();
}

DesktopApp::Tab* DesktopApp::tabOf(const ReviewWC* wc) const {
    for (auto& t : tabs_)
        if (t->wc.get() == wc) return t.get();
    return nullptr;
}

DesktopApp::Tab* DesktopApp::currentTab(Frame* frame) const {
    if (!frame) return nullptr;
    int index = gtk_notebook_get_current_page(frame->notebook);
    if (index < 0) return nullptr;
    GtkWidget* child = gtk_notebook_get_nth_page(frame->notebook, index);
    for (auto& t : tabs_)
        if (GTK_WIDGET(t->view) == child) return t.get();
    return nullptr;
}

void DesktopApp::updateFrameTitle(Frame& frame) {
    Tab* t = currentTab(&frame);
    std::string title = t && !t->host->title().empty() ? t->host->title() : brandName();
    gtk_window_set_title(GTK_WINDOW(frame.window), title.c_str());
}

std::shared_ptr<ReviewWC> DesktopApp::newDocumentWindow(Frame* frame, bool forReader) {
    if (!frame) frame = newFrame();
    std::shared_ptr<WebViewHandlers> handlers;
    WebKitWebView* view = forReader ? takeWarmReader(handlers) : nullptr;
    if (!view) {
        handlers = std::make_shared<WebViewHandlers>();
        view = makeDocumentWebView(handlers);
    }
    paintViewBackground(view, darkScheme());
    auto tab = std::make_unique<Tab>();
    Tab* raw = tab.get();
    raw->view = view;
    raw->frame = frame;
    raw->handlers = handlers;

    // Tab label: the title and a close button.
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    raw->label = gtk_label_new(brandName().c_str());
    gtk_label_set_ellipsize(GTK_LABEL(raw->label), PANGO_ELLIPSIZE_MIDDLE);
    gtk_label_set_max_width_chars(GTK_LABEL(raw->label), 28);
    GtkWidget* closeButton =
        gtk_button_new_from_icon_name("window-close-symbolic", GTK_ICON_SIZE_MENU);
    gtk_button_set_relief(GTK_BUTTON(closeButton), GTK_RELIEF_NONE);
    gtk_box_pack_start(GTK_BOX(box), raw->label, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), closeButton, FALSE, FALSE, 0);
    gtk_widget_show_all(box);

    PageHostShell shell;
    shell.setTitle = [this, raw](const std::string& title) {
        gtk_label_set_text(GTK_LABEL(raw->label), title.c_str());
        updateFrameTitle(*raw->frame);
        scheduleOpenTabsWrite();
    };
    shell.present = [this, raw] {
        int index = gtk_notebook_page_num(raw->frame->notebook, GTK_WIDGET(raw->view));
        if (index >= 0) gtk_notebook_set_current_page(raw->frame->notebook, index);
        gtk_window_present(GTK_WINDOW(raw->frame->window));
    };
    shell.close = [this, raw] {
        // The window may be closing from inside one of its own callbacks: finish on the next
        // turn of the main queue.
        std::weak_ptr<ReviewWC> weak = raw->wc;
        Dispatch::main().async([this, weak] {
            if (auto wc = weak.lock())
                if (Tab* t = tabOf(wc.get())) closeTab(*t);
        });
    };
    shell.drawnLabel = [raw]() -> std::optional<std::string> {
        if (gtk_notebook_get_n_pages(raw->frame->notebook) < 2) return std::nullopt;
        return std::string(gtk_label_get_text(GTK_LABEL(raw->label)));
    };
    auto host = std::make_unique<WebPageHost>(view, std::move(shell));
    raw->host = host.get();
    raw->wc = std::make_shared<ReviewWC>(nextWindowNumber_++, std::move(host), *this);

    std::weak_ptr<ReviewWC> weak = raw->wc;
    handlers->decide = [this, weak](const NavigationRequest& request) {
        auto wc = weak.lock();
        if (!wc) return NavigationPolicy::Cancel;
        const NavigationPolicy policy = wc->decidePolicy(request);
        // A grid page asking for its cells is live: the test script runs there (load events
        // cannot tell the spinner's end from the grid page's).
        if (wc->isGrid() && !testDriverStarted_ && envIs("CVL_TEST_DRIVE_ON", "review") &&
            request.url.rfind("qrtiz://gridready", 0) == 0)
            Dispatch::main().async([this, weak] {
                if (auto w = weak.lock(); w && !testDriverStarted_) runTestDriver(*w);
            });
        return policy;
    };
    WeakMessageProxy proxy(weak);
    handlers->message = [this, proxy, weak](const std::string& body) {
        proxy.deliver(body);
        if (auto wc = weak.lock(); wc && wc->isReader() && !testDriverStarted_ &&
                                   body.find("\"displayed\"") != std::string::npos)
            runTestDriver(*wc);
    };
    handlers->loadFinished = [this, weak, raw](bool failed, const std::string& loadedURI) {
        // With CVL_TEST_DRIVE_ON=review the test script runs in the first review page shown
        // (not in a loading page); with "history", in the first history page.
        auto wc = weak.lock();
        const char* on = std::getenv("CVL_TEST_DRIVE_ON");
        if (failed || !wc || testDriverStarted_ || !on) return;
        if (std::string(on) == "history") {
            if (loadedURI.find("/.history-") != std::string::npos) runTestDriver(*wc);
            return;
        }
        if (std::string(on) != "review") return;
        const char* title = webkit_web_view_get_title(raw->view);
        const std::string t = title ? title : "";
        // A grid runs it when its page asks for the cells (see the navigation handler).
        if (wc->hasContent() && !wc->isReader() && !wc->isGrid() &&
            t.find("preparing") == std::string::npos)
            runTestDriver(*wc);
    };
    handlers->titleChanged = [weak, raw](const std::string& pageTitle) {
        auto wc = weak.lock();
        // Readers and grids carry their file's name; other pages their own title.
        if (wc && !wc->isReader() && !wc->isGrid() && !pageTitle.empty())
            raw->host->setTitle(pageTitle);
    };

    g_signal_connect(closeButton, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                         auto* pair = static_cast<TabRef*>(data);
                         pair->first->requestClose(*pair->second->wc);
                     }),
                     (std::make_unique<TabRef>(this, raw).release()));

    gtk_widget_show(GTK_WIDGET(view));
    int index = gtk_notebook_append_page(frame->notebook, GTK_WIDGET(view), box);
    gtk_notebook_set_tab_reorderable(frame->notebook, GTK_WIDGET(view), TRUE);
    gtk_notebook_set_show_tabs(frame->notebook, gtk_notebook_get_n_pages(frame->notebook) > 1);
    gtk_notebook_set_current_page(frame->notebook, index);
    auto wc = raw->wc;
    tabs_.push_back(std::move(tab));
    scheduleOpenTabsWrite();
    updateMenuBar();
    return wc;
}

std::shared_ptr<ReviewWC> DesktopApp::pickWindow(bool forReader) {
    Frame* frame = keyFrame();
    if (Tab* current = currentTab(frame); current && !current->wc->hasContent()) return current->wc;
    const bool tabs = configString("open_in").value_or("tab") != "window";
    return newDocumentWindow(tabs ? frame : nullptr, forReader);
}

// ---- the pre-warmed reader ---------------------------------------------------------------------

void DesktopApp::scheduleWarmPrime(std::chrono::milliseconds after) {
    if (envIs("CVL_NO_WARM", "1")) return;
    const unsigned generation = ++warmGeneration_;  // replaces any pending prime
    Dispatch::main().asyncAfter(after, [this, generation] {
        if (generation == warmGeneration_ && !quitting_) primeWarmReader();
    });
}

void DesktopApp::primeWarmReader() {
    if (warmView_ || !memoryIsComfortable()) return;
    const std::string warm = UserDirs::supportDir() + "/warm.pdf";
    if (!isRegularFile(warm)) {
        makeDirs(UserDirs::supportDir());
        writeFileAtomic(warm, makeWarmPDF());
    }
    warmHandlers_ = std::make_shared<WebViewHandlers>();
    // Until a window adopts it, the spare view follows file addresses only.
    warmHandlers_->decide = [](const NavigationRequest& r) {
        return BridgeDispatch::scheme(r.url) == "file" || r.url.empty() ? NavigationPolicy::Allow
                                                                        : NavigationPolicy::Cancel;
    };
    warmView_ = makeDocumentWebView(warmHandlers_);
    g_object_ref_sink(warmView_);
    // A view draws only inside a window: an off-screen one that is never shown to the user.
    warmWindow_ = gtk_offscreen_window_new();
    gtk_widget_set_size_request(GTK_WIDGET(warmView_), 1340, 900);
    gtk_container_add(GTK_CONTAINER(warmWindow_), GTK_WIDGET(warmView_));
    gtk_widget_show_all(warmWindow_);
    ReaderAddressInputs in;
    in.readerPage = EngineLocator::readerHTMLPath();
    in.pdf = warm;
    in.orig = warm;
    in.darkScheme = darkScheme();
    webkit_web_view_load_uri(warmView_, ReaderAddress::build(in).c_str());
}

WebKitWebView* DesktopApp::takeWarmReader(std::shared_ptr<WebViewHandlers>& handlers) {
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
    readerLog("reader.warm_adopted");
    scheduleWarmPrime(std::chrono::milliseconds(1500));
    return view;
}

void DesktopApp::requestClose(ReviewWC& wc) {
    if (wc.shouldClose())
        if (Tab* t = tabOf(&wc)) closeTab(*t);
}

void DesktopApp::closeTab(Tab& tab) {
    auto wc = tab.wc;  // keeps the window alive until this turn ends
    wc->willClose();
    Frame* frame = tab.frame;
    int index = gtk_notebook_page_num(frame->notebook, GTK_WIDGET(tab.view));
    if (index >= 0) gtk_notebook_remove_page(frame->notebook, index);
    tab.handlers->decide = nullptr;
    tab.handlers->message = nullptr;
    for (auto it = tabs_.begin(); it != tabs_.end(); ++it) {
        if (it->get() == &tab) {
            // The window leaves the list on the next turn of the main queue.
            std::shared_ptr<Tab> gone(it->release());
            tabs_.erase(it);
            Dispatch::main().async([gone] {});
            break;
        }
    }
    const int left = gtk_notebook_get_n_pages(frame->notebook);
    gtk_notebook_set_show_tabs(frame->notebook, left > 1);
    if (left == 0) {
        for (auto it = frames_.begin(); it != frames_.end(); ++it) {
            if (it->get() == frame) {
                GtkWidget* window = frame->window;
                frames_.erase(it);
                gtk_widget_destroy(window);
                break;
            }
        }
    } else {
        updateFrameTitle(*frame);
    }
    scheduleOpenTabsWrite();
    updateMenuBar();
}

void DesktopApp::windowClosed(ReviewWC& window) {
    if (quitting_) return;
    if (auto record = window.restorableTab(); record && cfgBool("remember_closed_tabs", true)) {
        closedTabs_->push(
            ClosedTab{record->kind, record->paths, record->view, record->mode, record->title});
        updateMenuBar();
    }
}

void DesktopApp::reopenClosedTab() {
    auto tab = closedTabs_->pop();
    updateMenuBar();
    if (!tab) return;  // nothing to reopen
    if (tab->paths.empty()) return;
    if (tab->kind == "reader") {
        openReaderAt(tab->paths.front(), 0, tab->view);
    } else if (tab->kind == "grid") {
        pickWindow()->openGrid(tab->paths.front());
    } else {
        auto wc = pickWindow();
        wc->load(tab->paths, tab->mode);
    }
}

// ---- opening ---------------------------------------------------------------------------------

void DesktopApp::openItem(const std::string& path) {
    if (isDirectory(path))
        openReview({path}, std::nullopt);
    else
        openReader(path, 0);
}

void DesktopApp::openReader(const std::string& path, int page) {
    openReaderAt(path, page, std::nullopt);
}

void DesktopApp::openReaderAt(const std::string& path, int page,
                              const std::optional<std::string>& view, bool) {
    didOpen_ = true;
    UserPrefs::recordRecent(path, false, nowSeconds());
    HistoryStore::shared().record(path, false);
    if (ReviewWC::opensAsGrid(path)) {
        pickWindow()->openGrid(path);
        updateMenuBar();
        return;
    }
    auto wc = pickWindow(true);
    wc->becomeReader(path, {});
    if (view) wc->setPendingViewRestore(view);
    updateMenuBar();
    if (ReviewWC::probesForEditing(path)) wc->probeEditing(path);

    auto show = [this, page](std::shared_ptr<ReviewWC> wc, const std::string& pdf,
                             const std::string& orig) {
        ReaderAddressInputs in;
        in.readerPage = EngineLocator::readerHTMLPath();
        in.pdf = pdf;
        in.orig = orig;
        const Appearance::Look look = currentLook();
        in.darkScheme = look.scheme == "dark";
        in.nightActiveWithPages = look.nightNow && NightSettings::load().pages;
        in.docId = CvlDocIdentity::read(orig);
        const json cfg = loadConfig();
        auto boolKey = [&](const char* key) -> std::optional<bool> {
            if (!cfg.contains(key)) return std::nullopt;
            return cfgBoolValue(cfg[key], true);
        };
        in.statusBar = boolKey("reader_statusbar");
        in.zoomWithWindow = boolKey("reader_zoom_with_window");
        if (cfg.contains("reader_default_zoom") && cfg["reader_default_zoom"].is_string())
            in.zoom = cfg["reader_default_zoom"].get<std::string>();
        in.themeMode =
            cfgString("reading_theme_files", "system") == "perfile" ? "perfile" : "system";
        if (auto code = cfgString("pair_code", ""); !code.empty()) in.pairCode = code;
        const char* test = std::getenv("CVL_TEST");
        in.testLaunch = test && *test;
        in.page = page;
        wc->loadReader(ReaderAddress::build(in));
    };

    const std::string ext = lower(pathExtension(path));
    if (ext == "pdf") {
        show(wc, path, path);
        return;
    }
    // Other documents are converted first; without a PDF the window shows a review instead.
    std::weak_ptr<ReviewWC> weak = wc;
    EngineRuns::convertToPDF(path, [weak, path, show](std::optional<std::string> pdf) {
        auto wc = weak.lock();
        if (!wc) return;
        if (!pdf || pdf->empty()) {
            wc->load({path}, std::nullopt);
            return;
        }
        show(wc, *pdf, path);
    });
}

void DesktopApp::openReview(const std::vector<std::string>& paths,
                            const std::optional<std::string>& mode) {
    if (paths.empty()) return;
    didOpen_ = true;
    for (const auto& p : paths) {
        UserPrefs::recordRecent(p, isDirectory(p), nowSeconds());
        HistoryStore::shared().record(p, isDirectory(p));
    }
    auto wc = pickWindow();
    wc->load(paths, mode);
    wc->startWatching();
}

void DesktopApp::openWelcome(ReviewWC* into) {
    std::shared_ptr<ReviewWC> wc;
    if (into)
        wc = into->shared_from_this();
    else
        wc = newDocumentWindow(nullptr);
    const std::string file = writeWelcomeFile();
    wc->showPage(ReaderAddress::fileURL(file), true);
    wc->page().setTitle(brandName());
}

void DesktopApp::openHistory(const std::string& startMode) {
    // The layout follows the folder page's remembered view; there is no palette setting yet.
    const HistoryPage::Values values =
        HistoryPage::openingValues(startMode, cfgString("folder_view", "list"), "default");
    auto page =
        HistoryPage::prepare(EngineLocator::historyHTMLPath(),
                             HistoryStore::shared().json(HistoryStore::kDefaultJsonLimit), values);
    if (auto* notice = std::get_if<HistoryPage::Notice>(&page)) {
        showNotice("history", notice->title, notice->text);
        return;
    }
    // Like the welcome page, the history page is an open surface: what it opens replaces it.
    auto wc = pickWindow();
    wc->showPage(ReaderAddress::fileURL(std::get<std::string>(page)), true);
    wc->page().setTitle("File History");
}

void DesktopApp::goHome(ReviewWC& window) {
    openWelcome(&window);
}

void DesktopApp::pickAndReview(const std::optional<std::string>& mode) {
    Frame* frame = keyFrame();
    GtkFileChooserNative* chooser =
        gtk_file_chooser_native_new("Open a folder", frame ? GTK_WINDOW(frame->window) : nullptr,
                                    GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Open", "_Cancel");
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        char* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (folder) {
            openReview({folder}, mode);
            g_free(folder);
        }
    }
    g_object_unref(chooser);
}

void DesktopApp::pickAndRead() {
    Frame* frame = keyFrame();
    GtkFileChooserNative* chooser =
        gtk_file_chooser_native_new("Open a document", frame ? GTK_WINDOW(frame->window) : nullptr,
                                    GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Documents");
    for (const char* pattern :
         {"*.pdf", "*.PDF", "*.docx", "*.doc", "*.odt", "*.rtf", "*.txt", "*.md", "*.markdown",
          "*.xlsx", "*.xlsm", "*.xls", "*.ods", "*.csv", "*.tsv", "*.tab"})
        gtk_file_filter_add_pattern(filter, pattern);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (char* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            openReader(file, 0);
            g_free(file);
        }
    }
    g_object_unref(chooser);
}

// ---- panels ------------------------------------------------------------------------------------

void DesktopApp::openPanel(const std::string& kind) {
    for (auto& [k, panel] : panels_) {
        if (k == kind) {
            panel->page().present();
            return;
        }
    }
    EngineRuns::preparePanelRun(kind);
    EngineRuns::PanelRequest request;
    request.kind = kind;
    request.outputPath = EngineRuns::panelOutputPath(kind);
    request.version = appConstants().version;
    request.brandName = Brand::current().name;
    request.brandCategory = Brand::current().category;
    if (kind == "settings") {
        EngineRuns::SettingsPanelInfo info;
        info.configPath = UserDirs::configPath();
        info.iconsDir = appIconsDir();
        info.mcpStatusJSON = mcpStatusJSON();
        info.nightWindow = NightSettings::panelLabel(nowSeconds());
        request.settings = info;
        const json cfg = loadConfig();
        request.extraArgs = {
            "--shortcuts",
            AppMenu::shortcutList(cfg.contains("shortcuts") ? cfg["shortcuts"] : json()).dump()};
    }
    EngineRuns::runPanelScript(request, [this, kind](std::string output) {
        if (!isRegularFile(output)) return;  // the panel script failed; nothing to show
        GtkWidget* window = gtk_application_window_new(app_);
        gtk_window_set_default_size(GTK_WINDOW(window), 720, 640);
        gtk_window_set_title(GTK_WINDOW(window), (brandName() + " Settings").c_str());
        auto handlers = std::make_shared<WebViewHandlers>();
        WebKitWebView* view = makeDocumentWebView(handlers);
        gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
        PageHostShell shell;
        shell.present = [window] { gtk_window_present(GTK_WINDOW(window)); };
        shell.close = [window] { gtk_widget_destroy(window); };
        shell.setTitle = [window](const std::string& t) {
            gtk_window_set_title(GTK_WINDOW(window), t.c_str());
        };
        auto panel = std::make_unique<PanelWC>(
            kind, std::make_unique<WebPageHost>(view, std::move(shell)), *this);
        PanelWC* raw = panel.get();
        handlers->decide = [raw](const NavigationRequest& r) { return raw->decidePolicy(r); };
        panels_.emplace_back(kind, std::move(panel));
        g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                             auto* pair = static_cast<PanelRef*>(data);
                             auto& panels = pair->first->panels_;
                             for (auto it = panels.begin(); it != panels.end(); ++it)
                                 if (it->second.get() == pair->second) {
                                     std::shared_ptr<PanelWC> gone(it->second.release());
                                     panels.erase(it);
                                     Dispatch::main().async([gone] {});
                                     break;
                                 }
                         }),
                         (std::make_unique<PanelRef>(this, raw).release()));
        gtk_widget_show_all(window);
        raw->show(output);
    });
}

// ---- desktop ------------------------------------------------------------------------------------

void DesktopApp::openInBrowser(const std::string& url) {
    const std::string s = BridgeDispatch::scheme(url);
    if (s != "http" && s != "https") return;
    g_app_info_launch_default_for_uri(url.c_str(), nullptr, nullptr);
}

void DesktopApp::openWithDefaultApp(const std::string& path) {
    const std::string uri = ReaderAddress::fileURL(path);
    g_app_info_launch_default_for_uri(uri.c_str(), nullptr, nullptr);
}

void DesktopApp::revealInFileManager(const std::string& path) {
    // The file manager's ShowItems over D-Bus, else the folder itself.
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    bool shown = false;
    if (bus) {
        const std::string uri = ReaderAddress::fileURL(path);
        const char* uris[] = {uri.c_str(), nullptr};
        GVariant* result = g_dbus_connection_call_sync(
            bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
            "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
            G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
        if (result) {
            shown = true;
            g_variant_unref(result);
        }
        if (error) g_clear_error(&error);
        g_object_unref(bus);
    }
    if (!shown) {
        const std::string folder = isDirectory(path) ? path : parentPath(path);
        g_app_info_launch_default_for_uri(ReaderAddress::fileURL(folder).c_str(), nullptr, nullptr);
    }
}

void DesktopApp::setClipboardText(const std::string& text) {
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(),
                           static_cast<gint>(text.size()));
}

void DesktopApp::toggleTheme() {
    setConfigString("appearance", darkScheme() ? "light" : "dark");
    // A hand-made choice holds until the night schedule's next boundary.
    NightSettings::noteManualChoice(nowSeconds());
    applyAppearance();
    scheduleNightFlip();
}

void DesktopApp::setPinned(const std::string& path, bool pinned) {
    auto pins = UserPrefs::pinnedFolders();
    std::erase(pins, path);
    if (pinned) pins.push_back(path);
    UserPrefs::setPinnedFolders(pins);
}

void DesktopApp::showNotice(const std::string& id, const std::string& title,
                            const std::string& text) {
    CorvelloNotice::show(id.empty() ? std::nullopt : std::optional<std::string>(id), title, text);
}

void DesktopApp::installNotices() {
    auto now = [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
    NoticeCardView::Hooks card;
    card.anchor = [this]() -> GtkWindow* {
        Frame* frame = keyFrame();
        return frame ? GTK_WINDOW(frame->window) : nullptr;
    };
    card.now = now;
    noticeView_ = std::make_shared<NoticeCardView>(std::move(card));
    ZKNotice::Hooks hooks;
    hooks.loadPlacement = [] { return ZKNoticeStore::load(); };
    hooks.storePlacement = [](const std::optional<ZKNoticePlacement::Saved>& saved) {
        ZKNoticeStore::store(saved);
    };
    hooks.now = now;
    notice_ = ZKNotice::create(noticeView_, std::move(hooks));
    noticeView_->attach(notice_);
    CorvelloNotice::install(notice_);
}

void DesktopApp::setAgentConnected(bool connect) {
    auto done = [this, connect](const MCPConnector::Outcome& outcome) {
        // An open settings panel is generated again so that it shows the new state.
        bool reopen = false;
        for (auto& entry : panels_) {
            if (entry.first == "settings") {
                reopen = true;
                entry.second->page().close();  // removes the entry: stop iterating
                break;
            }
        }
        if (reopen) openPanel("settings");
        if (auto notice = mcpFailureNotice(connect, outcome))
            showNotice(notice->id, notice->title, notice->body);
    };
    if (connect)
        mcpConnectAsync(done);
    else
        mcpDisconnectAsync(done);
}

void DesktopApp::shellEngine(const std::vector<std::string>& args) {
    EngineRuns::shellEngine(args);
}

// ---- settings --------------------------------------------------------------------------------

std::optional<std::string> DesktopApp::configString(const std::string& key) {
    const json cfg = loadConfig();
    auto it = cfg.find(key);
    if (it == cfg.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<bool> DesktopApp::configBool(const std::string& key) {
    const json cfg = loadConfig();
    auto it = cfg.find(key);
    if (it == cfg.end()) return std::nullopt;
    if (!it->is_boolean() && !it->is_number() && !it->is_string()) return std::nullopt;
    return cfgBoolValue(*it, false);
}

void DesktopApp::setConfigString(const std::string& key, const std::string& value) {
    json cfg = loadConfig();
    cfg[key] = value;
    saveConfig(cfg);
}

void DesktopApp::applyConfig(const std::string& key, const std::string& value) {
    ConfigHooks hooks;
    hooks.rebuildMenu = [this] { rebuildMenu(); };
    hooks.applyAppearance = [this] { applyAppearance(); };
    hooks.setNightMode = [this](const std::string& mode) { setNightMode(mode); };
    hooks.applyNightNow = [this] { applyNightNow(); };
    hooks.rescheduleNightFlip = [this] { scheduleNightFlip(); };
    hooks.saveClosedTabs = [this] { closedTabs_->save(); };
    hooks.forgetLastSnapshotText = [this] { openTabs_->forgetLastWritten(); };
    hooks.writeOpenTabsSnapshot = [this] { writeOpenTabs(false, false); };
    hooks.runInReaderWindows = [this](const std::string& script) {
        for (auto& t : tabs_)
            if (t->wc->isReader()) t->host->evaluateScript(script);
    };
    hooks.reloadSettingsPanel = [this] {
        for (auto& [k, panel] : panels_)
            if (k == "settings") panel->reload();
    };
    cvl::applyConfig(key, value, hooks);
    if (key == "auto_refresh") {
        for (auto& t : tabs_) {
            if (value == "1" || value == "true")
                t->wc->startWatching();
            else
                t->wc->stopWatching();
        }
    }
    if (key == "app_icon") applyAppIcon();
    if (key == "always_on_top") {
        for (auto& f : frames_)
            gtk_window_set_keep_above(GTK_WINDOW(f->window), value == "1" || value == "true");
    }
}

void DesktopApp::removeConfigKeysWithPrefix(const std::string& prefix) {
    json cfg = loadConfig();
    for (auto it = cfg.begin(); it != cfg.end();) {
        if (it.key().rfind(prefix, 0) == 0)
            it = cfg.erase(it);
        else
            ++it;
    }
    saveConfig(cfg);
}

bool DesktopApp::darkScheme() {
    return currentLook().scheme == "dark";
}

std::string DesktopApp::brandName() {
    return Brand::current().name;
}
std::string DesktopApp::buildNumber() {
    return cvl::buildNumber();
}

// ---- watches and the reader log ------------------------------------------------------------

std::unique_ptr<WatchHandle> DesktopApp::watchFile(const std::string& path,
                                                   std::function<void(bool gone)> onEvent) {
    auto watch = FileWatch::watchFile(path, std::move(onEvent));
    if (!watch) return nullptr;
    return std::make_unique<FileWatchHandle>(std::move(watch));
}

std::unique_ptr<WatchHandle> DesktopApp::watchFolders(const std::vector<std::string>& paths,
                                                      std::function<void()> onChange) {
    auto timing = std::make_shared<FolderWatcher>(std::move(onChange), Dispatch::main(),
                                                  [] { return std::chrono::steady_clock::now(); });
    std::weak_ptr<FolderWatcher> weak = timing;
    auto stream = FileWatch::watchTrees(paths, [weak] {
        if (auto t = weak.lock()) t->fired();
    });
    if (!stream) return nullptr;
    return std::make_unique<FolderWatchHandle>(timing, std::move(stream));
}

void DesktopApp::readerLog(const std::string& line) {
    makeDirs(UserDirs::logDir());
    std::time_t t = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
    const std::string text = std::string(stamp) + " " + line + "\n";
    if (FILE* f = std::fopen((UserDirs::logDir() + "/reader.log").c_str(), "ab")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

// ---- features of other subsystems ------------------------------------------------------------

bool DesktopApp::pageCommand(const std::map<std::string, std::string>& fields, JsonReply reply) {
    auto field = [&](const char* key) {
        auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    };
    const std::string seq = field("seq");
    const std::string path = field("path");
    if (path.empty()) return true;
    if (field("op") == "run") {
        const std::string id = field("id");
        Dispatch::global().async([reply, seq, id, path] {
            json r = PageCommandFlow::run(id, path);
            r["seq"] = seq;
            reply(r.dump());
        });
        return true;
    }
    PageCommandFlow::AskRequest request;
    request.path = path;
    request.text = field("text");
    request.pageCount = std::atoi(field("n").c_str());
    request.current = std::max(1, std::atoi(field("cur").c_str()));
    const std::string sel = field("sel");
    for (size_t at = 0; at < sel.size();) {
        size_t comma = sel.find(',', at);
        if (comma == std::string::npos) comma = sel.size();
        if (int p = std::atoi(sel.substr(at, comma - at).c_str()); p > 0)
            request.selection.push_back(p);
        at = comma + 1;
    }
    Dispatch::global().async([reply, seq, request] {
        json r = PageCommandFlow::ask(request);
        r["seq"] = seq;
        reply(r.dump());
    });
    return true;
}

bool DesktopApp::readerSearch(const std::string& query, const std::string& path, JsonReply reply) {
    const std::string url =
        "qrtiz://readersearch?q=" + percentEncode(query) + "&path=" + percentEncode(path);
    SearchFlows::readerSearch(url, {path},
                              [reply](const std::string&, const std::string& arg) { reply(arg); });
    return true;
}

bool DesktopApp::folderSearch(const std::string& url, const std::vector<std::string>& sources,
                              PageCall post) {
    // The index lives for the whole process.
    std::shared_ptr<CVSearchIndex> index(&CVSearchIndex::shared(), [](CVSearchIndex*) {});
    SearchFlows::crossFolderSearchV2(url, sources, index, std::move(post));
    return true;
}

bool DesktopApp::outline(const std::string& path, JsonReply reply) {
    Dispatch::global().async([path, reply] {
        json items = json::array();
        if (auto doc = PdfDocument::openFile(path); doc && !doc->isLocked()) {
            std::function<json(const std::vector<PdfOutlineItem>&)> convert =
                [&](const std::vector<PdfOutlineItem>& list) {
                    json out = json::array();
                    for (const auto& item : list) {
                        json o = {{"title", item.title}};
                        if (item.destination && item.destination->page >= 0)
                            o["page"] = item.destination->page + 1;
                        o["children"] = convert(item.children);
                        out.push_back(std::move(o));
                    }
                    return out;
                };
            items = convert(doc->outline());
        }
        reply(items.dump());
    });
    return true;
}

std::vector<std::shared_ptr<ReviewWC>> DesktopApp::readerWindows() {
    std::vector<std::shared_ptr<ReviewWC>> out;
    for (auto& t : tabs_)
        if (t->wc->isReader()) out.push_back(t->wc);
    return out;
}

bool DesktopApp::parseGrid(const std::string& path, EngineAnswer done) {
    EngineRuns::parseGrid(path, std::move(done));
    return true;
}

bool DesktopApp::editProbe(const std::string& path, EngineAnswer done) {
    EngineRuns::editProbe(path, std::move(done));
    return true;
}

bool DesktopApp::renderPages(const std::string& path, JsonReply reply) {
    EngineRuns::renderFilePages(path, [reply](std::string pagesJSON) { reply(pagesJSON); });
    return true;
}

bool DesktopApp::history(const std::string& op, const std::vector<std::string>& paths,
                         JsonReply reply) {
    return runHistoryOperation(HistoryStore::shared(), op, paths, std::move(reply));
}

// ---- test driver -------------------------------------------------------------------------------

// CVL_TEST_DRIVE names a script that end-to-end tests run in the first reader once it shows
// its document; its result (JSON) is written to CVL_TEST_DRIVE_OUT and the application quits.
void DesktopApp::runTestDriver(ReviewWC& wc) {
    const char* script = std::getenv("CVL_TEST_DRIVE");
    const char* out = std::getenv("CVL_TEST_DRIVE_OUT");
    if (!script || !*script || !out || !*out) return;
    testDriverStarted_ = true;
    auto body = readFile(script);
    Tab* tab = tabOf(&wc);
    if (!body || !tab) return;
    const std::string outPath = out;
    WebKitWebView* view = tab->view;
    tab->host->callAsync(*body, [this, outPath, view](std::optional<std::string> result) {
        writeFileAtomic(outPath, result.value_or("null"));
        // CVL_TEST_SNAPSHOT: also keep a picture of the window as the script left it.
        const char* shot = std::getenv("CVL_TEST_SNAPSHOT");
        if (!shot || !*shot) {
            g_application_quit(G_APPLICATION(app_));
            return;
        }
        struct Shot {
            DesktopApp* app;
            std::string path;
        };
        auto data = std::make_unique<Shot>(Shot{this, shot});
        webkit_web_view_get_snapshot(
            view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
            [](GObject* source, GAsyncResult* res, gpointer p) {
                std::unique_ptr<Shot> shot(static_cast<Shot*>(p));
                if (cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(
                        WEBKIT_WEB_VIEW(source), res, nullptr)) {
                    cairo_surface_write_to_png(surface, shot->path.c_str());
                    cairo_surface_destroy(surface);
                }
                g_application_quit(G_APPLICATION(shot->app->app_));
            },
            data.release());
    });
}

}  // namespace cvl
