#include "app/AppDelegate.h"

#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>

#include "agent/AgentBridge.h"
#include "agent/AgentDocumentWork.h"
#include "app/AppAgentHost.h"
#include "app/AppConstants.h"
#include "app/Brand.h"
#include "app/Config.h"
#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "app/OpenModule.h"
#include "app/SupportDirs.h"
#include "app/UserPrefs.h"
#include "app/WelcomePage.h"
#include "app/WorkingFolderSweep.h"
#include "memory/DocIdentity.h"
#include "memory/HistoryPage.h"
#include "memory/HistoryStore.h"
#include "night/NightSettings.h"
#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/FileWatch.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"
#include "updates/CorvelloNotice.h"
#include "updates/UpdaterSetup.h"
#include "window/FeatureModules.h"
#include "window/FolderWatcher.h"
#include "window/PageTrust.h"
#include "window/ReaderURL.h"
#include "window/ScriptedDialogs.h"
#include "window/WebLinks.h"

namespace cvl {
namespace {

using json = nlohmann::json;

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
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

AppDelegate::AppDelegate(DesktopShell& shell, AppStores stores)
    : shell_(shell), history_(stores.history), searchIndex_(std::move(stores.searchIndex)) {
    openTabs_.log = [this](const std::string& line) { readerLog(line); };
    addFeatureModules(modules_, FeatureServices{*this, history_, links_, searchIndex_});
    // The desktop's own look now; its changes (and the portal's answer) arrive as events.
    systemDark_ = shell_.systemPrefersDark();
    shell_.listen(*this);
}

AppDelegate::~AppDelegate() {
    *alive_ = false;
}

// ---- start-up and quitting ------------------------------------------------------------------

void AppDelegate::start() {
    if (started_) return;
    started_ = true;
    migrateLegacySupportDir();
    closedTabs_.load();
    installNotices();
    // Appearance, the night schedule and the icon, each following the desktop and the clock.
    applyAppearance();
    scheduleNightFlip();
    applyAppIcon();
    // The old recent list seeds an empty history once.
    std::vector<RecentEntry> recents;
    for (const auto& r : UserPrefs::recentItems()) recents.push_back({r.path, r.dir, r.ts});
    history_.migrateRecentsIfNeeded(std::move(recents));
    rebuildMenu();
    restoreOpenTabsIfRelaunch();
    startUpdates();
    // Generated pages and exchange files of earlier runs, off the main thread.
    Dispatch::global().async([] {
        const int removed =
            WorkingFolderSweep::sweep(UserDirs::archiveDir(), std::chrono::system_clock::now());
        if (removed > 0)
            cvlLog("working folder: removed %d generated file(s) of earlier runs", removed);
    });
    // The welcome window, when nothing was opened meanwhile. Test launches can put it off
    // (CVL_TEST_FIRST_WINDOW_DELAY_MS) to stand in for a slow machine.
    int delayMs = 350;
    if (!envValue("CVL_TEST").empty())
        delayMs += std::atoi(envValue("CVL_TEST_FIRST_WINDOW_DELAY_MS").c_str());
    Dispatch::main().asyncAfter(std::chrono::milliseconds(delayMs), [this, alive = alive_] {
        if (!*alive || didOpen_ || !tabs_.empty()) return;
        // End-to-end tests of the history page start on it (CVL_TEST_DRIVE_ON=history).
        if (envIs("CVL_TEST_DRIVE_ON", "history") && !envValue("CVL_TEST_DRIVE").empty())
            openHistory("recent");
        else
            openWelcome(nullptr);
    });
    scheduleWarmPrime(std::chrono::milliseconds(2500));
    // The agent bridge, with the document work behind its page commands.
    agentHost_ = std::make_shared<AppAgentHost>(*this);
    AgentBridge::shared().start(agentHost_, makeAgentDocumentWork());
}

void AppDelegate::shutdown() {
    if (quitting_) return;
    quitting_ = true;
    ++snapshotGeneration_;
    ++nightGeneration_;
    ++warmGeneration_;
    shell_.dropWarmReader();
    writeOpenTabs(true, quitDiscardsWindows_);
    UpdaterSetup::installOnQuit();
    if (agentHost_) AgentBridge::shared().stop();
    CorvelloNotice::install(nullptr);
    notice_.reset();
}

// ---- windows and tabs -----------------------------------------------------------------------

std::unique_ptr<Dialogs> AppDelegate::makeDialogs(std::optional<int> frameOrPanel) {
    if (auto scripted = ScriptedDialogs::fromEnvironment()) return scripted;
    return shell_.dialogs(frameOrPanel);
}

std::shared_ptr<ReviewWC> AppDelegate::newDocumentWindow(std::optional<int> frame, bool forReader) {
    if (!frame) frame = shell_.newFrame(brandName(), cfgBool("always_on_top", false));
    // The window exists before its page can report anything; the events reach it weakly.
    auto slot = std::make_shared<std::weak_ptr<ReviewWC>>();
    PageEvents events;
    events.decide = [slot](const NavigationRequest& request) {
        auto wc = slot->lock();
        return wc ? wc->decidePolicy(request) : NavigationPolicy::Cancel;
    };
    events.message = [this, slot, alive = alive_](const std::string& body,
                                                  const std::string& pageURL) {
        // Messages count only from the program's own pages.
        if (!PageTrust::isOwnPage(pageURL)) {
            cvlLog("a message from a page that is not ours was dropped (%s)", pageURL.c_str());
            return;
        }
        if (auto wc = slot->lock(); wc && *alive) pageMessage(wc, body);
    };
    events.mayRead = [slot](const std::string& path) {
        auto wc = slot->lock();
        return wc && wc->mayServe(path);
    };
    events.loadFinished = [this, slot, alive = alive_](bool failed, const std::string& uri) {
        if (auto wc = slot->lock(); wc && *alive) pageLoaded(wc, failed, uri);
    };
    events.titleChanged = [slot](const std::string& title) {
        auto wc = slot->lock();
        // Readers and grids carry their file's name; other pages their own title.
        if (wc && !wc->isReader() && !wc->isGrid() && !title.empty()) wc->page().setTitle(title);
    };
    // A new reader adopts the pre-loaded reader view when there is one; the next is primed.
    const bool adopts = forReader && shell_.hasWarmReader();
    ShellPage page = shell_.newTab(*frame, forReader, std::move(events));
    if (adopts) {
        readerLog("reader.warm_adopted");
        scheduleWarmPrime(std::chrono::milliseconds(1500));
    }
    auto wc =
        std::make_shared<ReviewWC>(nextWindowNumber_++, std::move(page.page),
                                   WindowContext{*this, *this, modules_, makeDialogs(*frame)});
    *slot = wc;
    tabs_.push_back(Tab{page.id, wc});
    wc->page().setTitle(brandName());
    scheduleOpenTabsWrite();
    updateMenuBar();
    return wc;
}

std::shared_ptr<ReviewWC> AppDelegate::pickWindow(bool forReader) {
    auto frame = shell_.keyFrame();
    if (frame)
        if (auto current = shell_.currentTab(*frame))
            if (auto wc = windowOfTab(*current); wc && !wc->hasContent()) return wc;
    const bool tabs = cfgString("open_in", "tab") != "window";
    return newDocumentWindow(tabs ? frame : std::nullopt, forReader);
}

std::vector<std::shared_ptr<ReviewWC>> AppDelegate::documentWindows() const {
    std::vector<std::shared_ptr<ReviewWC>> out;
    for (const auto& t : tabs_) out.push_back(t.wc);
    return out;
}

std::shared_ptr<ReviewWC> AppDelegate::windowOfTab(int tab) const {
    for (const auto& t : tabs_)
        if (t.id == tab) return t.wc;
    return nullptr;
}

std::optional<int> AppDelegate::tabOf(const ReviewWC& window) const {
    for (const auto& t : tabs_)
        if (t.wc.get() == &window) return t.id;
    return std::nullopt;
}

std::shared_ptr<ReviewWC> AppDelegate::keyWindow() const {
    auto frame = shell_.keyFrame();
    auto tab = frame ? shell_.currentTab(*frame) : std::nullopt;
    return tab ? windowOfTab(*tab) : nullptr;
}

void AppDelegate::requestClose(ReviewWC& wc) {
    if (!wc.shouldClose()) return;  // it closes itself once the page has flushed
    if (auto tab = tabOf(wc)) closeTab(*tab);
}

void AppDelegate::tabCloseRequested(int tab) {
    if (auto wc = windowOfTab(tab)) requestClose(*wc);
}

void AppDelegate::frameCloseRequested(int frame) {
    for (const auto& group : shell_.frames()) {
        if (group.empty() || shell_.frameOf(group.front()) != frame) continue;
        for (int tab : group) tabCloseRequested(tab);
    }
}

void AppDelegate::closeTab(int tab) {
    auto it = std::find_if(tabs_.begin(), tabs_.end(), [&](const Tab& t) { return t.id == tab; });
    if (it == tabs_.end()) return;
    auto wc = it->wc;  // keeps the window alive until this turn ends
    tabs_.erase(it);
    wc->willClose();
    shell_.removeTab(tab);
    showTitles();
    // The window itself goes on the next turn of the main queue: it may be closing from inside
    // one of its own callbacks.
    Dispatch::main().async([wc] {});
    scheduleOpenTabsWrite();
    updateMenuBar();
}

void AppDelegate::windowClosed(ReviewWC& window) {
    if (quitting_) return;
    if (auto record = window.restorableTab(); record && cfgBool("remember_closed_tabs", true)) {
        closedTabs_.push(
            ClosedTab{record->kind, record->paths, record->view, record->mode, record->title});
        updateMenuBar();
    }
}

void AppDelegate::tabsChanged() {
    showTitles();
    scheduleOpenTabsWrite();
    updateMenuBar();
}

// A tab is labelled with its window's title and names its files in full on hover; a frame
// carries the title and file of its selected tab.
void AppDelegate::showTitles() {
    for (const auto& t : tabs_) {
        const PageHost& page = t.wc->page();
        std::string paths;
        for (const auto& p : t.wc->sourcePaths()) paths += (paths.empty() ? "" : "\n") + p;
        shell_.setTabTitle(t.id, page.title(), paths.empty() ? page.title() : paths);
    }
    for (const auto& group : shell_.frames()) {
        if (group.empty()) continue;
        const int frame = shell_.frameOf(group.front());
        const auto current = shell_.currentTab(frame);
        if (auto wc = current ? windowOfTab(*current) : nullptr)
            shell_.setFrameTitle(frame, wc->page().title(), wc->page().representedFile());
    }
}

void AppDelegate::pageMessage(const std::shared_ptr<ReviewWC>& wc, const std::string& body) {
    wc->receiveScriptMessage(body);
    // The test script of a reader runs once the reader shows its document, asks for its
    // password or says why it cannot open it.
    if (wc->isReader() && !testDriverStarted_ &&
        (body.find("\"displayed\"") != std::string::npos ||
         body.find("\"openstate\"") != std::string::npos))
        runTestDriver(*wc);
}

void AppDelegate::pageLoaded(const std::shared_ptr<ReviewWC>& wc, bool failed,
                             const std::string& uri) {
    // With CVL_TEST_DRIVE_ON=review the test script runs in the first review page shown (not a
    // loading page) or grid page; with "history", in the first history page; with "welcome", in
    // the first welcome page (a reader that shows its document first still runs it).
    const std::string on = envValue("CVL_TEST_DRIVE_ON");
    if (failed || testDriverStarted_ || on.empty()) return;
    if (on == "history") {
        if (uri.find("/.history-") != std::string::npos) runTestDriver(*wc);
        return;
    }
    if (on == "welcome") {
        if (wc->pageKind() == "welcome") runTestDriver(*wc);
        return;
    }
    if (on != "review" || !wc->hasContent() || wc->isReader()) return;
    // Not while the spinner shows: the engine writes a review's result over the spinner's own
    // file, so a review tells them apart by the page's title.
    if (wc->isGrid() ? uri.find("/.loading-") != std::string::npos
                     : wc->page().title().find("preparing") != std::string::npos)
        return;
    runTestDriver(*wc);
}

// ---- opening ---------------------------------------------------------------------------------

void AppDelegate::openReader(const std::string& path, int page) {
    openReaderAt(path, page, std::nullopt);
}

void AppDelegate::openReaderAt(const std::string& path, int page,
                               const std::optional<std::string>& view,
                               std::shared_ptr<ReviewWC> into) {
    didOpen_ = true;
    recordRecent(path);
    if (ReviewWC::opensAsGrid(path)) {
        (into ? into : pickWindow())->openGrid(path);
        updateMenuBar();
        return;
    }
    auto wc = into ? into : pickWindow(true);
    wc->becomeReader(path, {});
    if (view) wc->setPendingViewRestore(view);
    updateMenuBar();
    if (ReviewWC::probesForEditing(path)) wc->probeEditing(path);

    auto show = [this, page, alive = alive_](const std::shared_ptr<ReviewWC>& wc,
                                             const std::string& pdf, const std::string& orig) {
        if (!*alive) return;
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
        in.testLaunch = !envValue("CVL_TEST").empty();
        in.page = page;
        wc->loadReader(ReaderAddress::build(in));
    };

    if (lowerExtension(path) == "pdf") {
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

void AppDelegate::openReview(const std::vector<std::string>& paths,
                             const std::optional<std::string>& mode) {
    if (paths.empty()) return;
    didOpen_ = true;
    for (const auto& p : paths) recordRecent(p);
    auto wc = pickWindow();
    wc->load(paths, mode);
    wc->startWatching();
}

void AppDelegate::openToolPage(const std::string& url, const std::string& pageKind,
                               const std::vector<std::string>& sourcePaths) {
    if (pageKind != "welcome" && pageKind != "history") didOpen_ = true;
    pickWindow()->showToolPage(url, pageKind, sourcePaths);
    updateMenuBar();
}

void AppDelegate::openWelcome(ReviewWC* into) {
    std::shared_ptr<ReviewWC> wc =
        into ? into->shared_from_this() : newDocumentWindow(std::nullopt);
    wc->showToolPage(ReaderAddress::fileURL(writeWelcomeFile()), "welcome", {});
    wc->page().setTitle(brandName());
}

void AppDelegate::openHistory(const std::string& startMode) {
    // The layout follows the folder page's remembered view; there is no palette setting yet.
    const HistoryPage::Values values =
        HistoryPage::openingValues(startMode, cfgString("folder_view", "list"), "default");
    auto page = HistoryPage::prepare(EngineLocator::historyHTMLPath(),
                                     history_.json(HistoryStore::kDefaultJsonLimit), values);
    if (auto* notice = std::get_if<HistoryPage::Notice>(&page)) {
        showNotice("history", notice->title, notice->text);
        return;
    }
    openToolPage(ReaderAddress::fileURL(std::get<std::string>(page)), "history", {});
}

// The menu's choosers belong to the key window (the menu bar is part of it).
void AppDelegate::pickFolder(const std::optional<std::string>& mode) {
    if (auto key = keyWindow()) chooseFolderToOpen(key->dialogs(), *this, mode);
}

void AppDelegate::pickDocument() {
    if (auto key = keyWindow()) chooseDocumentToOpen(key->dialogs(), *this);
}

// ---- AppActions -----------------------------------------------------------------------------

void AppDelegate::recordRecent(const std::string& path) {
    const bool dir = isDirectory(path);
    if (!UserPrefs::recordRecent(path, dir, nowSeconds()))
        cvlLog("recent items: %s not recorded: the preferences cannot be written", path.c_str());
    history_.record(path, dir);
}

void AppDelegate::openInBrowser(const std::string& url) {
    // Web, mail and other outside addresses go to the desktop's handler for their scheme;
    // never a local file or one of the program's own schemes.
    if (WebLinks::kindOf(url) != WebLinks::Kind::Page) shell_.openURI(url);
}

void AppDelegate::openWithDefaultApp(const std::string& path) {
    shell_.openURI(ReaderAddress::fileURL(path));
}

void AppDelegate::revealInFileManager(const std::vector<std::string>& paths) {
    if (!paths.empty()) shell_.revealItems(paths);
}

void AppDelegate::setClipboardText(const std::string& text) {
    shell_.setClipboardText(text);
}

void AppDelegate::setClipboardFiles(const std::vector<std::string>& paths) {
    shell_.setClipboardFiles(paths);
}

std::unique_ptr<Holder> AppDelegate::inhibitIdle(const std::string& reason) {
    return shell_.inhibitIdle(reason);
}

void AppDelegate::printDocument(const PrintRequest& request,
                                std::function<void(PrintOutcome)> done) {
    shell_.printDocument(request, std::move(done));
}

void AppDelegate::showNotice(const std::string& id, const std::string& title,
                             const std::string& text) {
    CorvelloNotice::show(id.empty() ? std::nullopt : std::optional<std::string>(id), title, text);
}

void AppDelegate::readerLog(const std::string& line) {
    makeDirs(UserDirs::logDir());
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    const std::string text = std::string(stamp) + " " + line + "\n";
    // Appending keeps the earlier lines: the file is a log, not a document.
    FILE* f = std::fopen((UserDirs::logDir() + "/reader.log").c_str(), "ab");
    bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0) written = false;
    if (!written) cvlLog("reader log not written: %s", line.c_str());
}

std::string AppDelegate::brandName() {
    return Brand::current().name;
}

bool AppDelegate::darkScheme() {
    return currentLook().scheme == "dark";
}

std::vector<WindowSnapshot> AppDelegate::windows() {
    std::vector<WindowSnapshot> out;
    for (const auto& t : tabs_) out.push_back(t.wc->snapshot());
    return out;
}

std::optional<WindowHandle> AppDelegate::window(const std::string& bridgeId) {
    for (const auto& t : tabs_)
        if (t.wc->bridgeId() == bridgeId) return t.wc->handle();
    return std::nullopt;
}

// ---- WindowServices ---------------------------------------------------------------------------

void AppDelegate::shellEngine(const std::vector<std::string>& args) {
    EngineRuns::shellEngine(args);
}

std::unique_ptr<WatchHandle> AppDelegate::watchFile(const std::string& path,
                                                    std::function<void(bool gone)> onEvent) {
    auto watch = FileWatch::watchFile(path, std::move(onEvent));
    if (!watch) return nullptr;
    return std::make_unique<FileWatchHandle>(std::move(watch));
}

std::unique_ptr<WatchHandle> AppDelegate::watchFolders(const std::vector<std::string>& paths,
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

void AppDelegate::parseGrid(const std::string& path, EngineAnswer done) {
    EngineRuns::parseGrid(path, std::move(done));
}

void AppDelegate::editProbe(const std::string& path, EngineAnswer done) {
    EngineRuns::editProbe(path, std::move(done));
}

}  // namespace cvl
