#include "window/ReviewWC.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "memory/AnnotationSidecars.h"
#include "memory/VersionStore.h"
#include "operations/LoadStamp.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/JsonText.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "window/HostPages.h"
#include "window/PageScript.h"
#include "window/PageTrust.h"
#include "window/ReaderURL.h"
#include "window/WebLinks.h"

namespace cvl {
namespace {

using json = nlohmann::json;
namespace BD = BridgeDispatch;

// A view state from the page or from a snapshot file: passed on as a script value when it is
// JSON, as a quoted text otherwise.
std::string viewArgument(const std::string& view) {
    if (json::accept(view)) return view;
    return PageScript::quote(view);
}

// Modification time (to the nanosecond) and size: a change within the same second counts.
std::string stampText(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";
    return std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
           std::to_string(st.st_size);
}

// Open surfaces are pages that stand for no document: the next open replaces them.
bool isOpenSurfaceKind(const std::string& kind) {
    return kind == "welcome" || kind == "history";
}

}  // namespace

ReviewWC::ReviewWC(int number, std::unique_ptr<PageHost> page, WindowContext context)
    : number_(number),
      bridgeId_(newUuid()),
      page_(std::move(page)),
      services_(context.services),
      app_(context.app),
      modules_(context.modules),
      dialogs_(std::move(context.dialogs)) {}

ReviewWC::~ReviewWC() = default;

std::string ReviewWC::captureViewScript() {
    return PageScript::resultOf("__cvlCaptureView", "");
}

std::string ReviewWC::flushScript() {
    return PageScript::resultOf("__cvlFlush", "");
}

void ReviewWC::setKind(const std::string& kind) {
    pageKind_ = kind;
    isOpenSurface_ = isOpenSurfaceKind(kind);
}

// ---- navigation -------------------------------------------------------------------------

NavigationPolicy ReviewWC::decidePolicy(const NavigationRequest& request) {
    switch (BD::route(request)) {
        case BD::Route::Download:
            return NavigationPolicy::Download;
        case BD::Route::NoAddress:
            return NavigationPolicy::Allow;
        case BD::Route::LocalPage:
            // Only the program's own pages load in its windows; any other web page on disk is a
            // document, opened like one.
            if (PageTrust::isOwnPage(request.url)) return NavigationPolicy::Allow;
            openLocalFile(request.url);
            return NavigationPolicy::Cancel;
        case BD::Route::Other:
            // mailto:, ftp: and the like go to the desktop; the page stays where it is.
            if (WebLinks::kindOf(request.url) == WebLinks::Kind::Page)
                return NavigationPolicy::Allow;
            WebLinks::follow(request.url, *dialogs_, app_);
            return NavigationPolicy::Cancel;
        case BD::Route::Browser:
            // A link in a document may lead anywhere: the reader shows where before it opens.
            if (isReader())
                WebLinks::follow(request.url, *dialogs_, app_);
            else
                app_.openInBrowser(request.url);
            return NavigationPolicy::Cancel;
        case BD::Route::DefaultApp:
            openLocalFile(request.url);
            return NavigationPolicy::Cancel;
        case BD::Route::Bridge: {
            const std::string op = BD::operation(request.url);
            // Work is taken only from the program's own pages, never from a page a document
            // or a link brought into the view.
            if (!PageTrust::isOwnPage(request.pageURL)) {
                cvlLog("window %d: \"%s\" refused: the page is not one of ours (%s)", number_,
                       op.c_str(), request.pageURL.c_str());
                return NavigationPolicy::Cancel;
            }
            if (isReader() && BD::isIdentitySensitive(op)) checkIdentityFor(op);
            // Operations on documents act on this window's own documents only.
            if (BD::isIdentitySensitive(op) && !holdsNamedPaths(request.url)) {
                cvlLog("window %d: \"%s\" refused: it names a file the window does not show",
                       number_, op.c_str());
                page_->evaluateScript(
                    PageScript::toast("That file is not one of this window’s documents."));
                return NavigationPolicy::Cancel;
            }
            if (performOwn(op, request.url)) return NavigationPolicy::Cancel;
            // Operations no module answers are cancelled without effect.
            if (BridgeModule* module = modules_.forOperation(op))
                module->handle(
                    BridgeRequest{op, request.url, snapshot(), handle(), *dialogs_, app_});
            return NavigationPolicy::Cancel;
        }
    }
    return NavigationPolicy::Cancel;
}

void ReviewWC::openLocalFile(const std::string& url) {
    auto path = ReaderAddress::filePath(url);
    if (!path) return;
    // A link inside a document names any file on disk: the reader says which before it opens.
    if (isReader())
        WebLinks::followFile(*path, *dialogs_, app_);
    else
        app_.openWithDefaultApp(*path);
}

bool ReviewWC::holdsNamedPaths(const std::string& url) const {
    const WindowSnapshot s = snapshot();
    std::vector<std::string> named = BD::pathsArg(url);
    if (auto one = BD::arg(url, "path")) named.push_back(*one);
    return std::all_of(named.begin(), named.end(),
                       [&](const std::string& p) { return s.holds(p); });
}

bool ReviewWC::mayServe(const std::string& path) const {
    const WindowSnapshot s = snapshot();
    if (s.holds(path)) return true;
    // A reader also shows the annotated copy of its document.
    return s.isReader() && ((!s.shownPdf.empty() && path == annotSidecarPath(s.shownPdf)) ||
                            (!s.original().empty() && path == annotSidecarPath(s.original())));
}

IdentityVerdict ReviewWC::identityVerdict() const {
    std::optional<std::string> selected;
    if (!sourcePaths_.empty()) selected = sourcePaths_.front();
    const std::string represented = page_->representedFile();
    return DocIdentity::verdict(
        selected, binding_, displayed_, page_->title(), page_->drawnLabel(),
        represented.empty() ? std::nullopt : std::optional<std::string>(represented));
}

void ReviewWC::checkIdentityFor(const std::string& op) {
    IdentityVerdict verdict = identityVerdict();
    if (!verdict.isReady())
        app_.readerLog("identity: " + op + " would be held (observe only): " + verdict.summary());
}

bool ReviewWC::performOwn(const std::string& op, const std::string& url) {
    if (op == "review") {
        reshell(BD::arg(url, "folders"), BD::arg(url, "types"), BD::flagArg(url, "remember"));
    } else if (op == "cancel") {
        doCancel();
    } else if (op == "retry") {
        reshellChoose(false);
    } else if (op == "adjust") {
        reshellChoose(true);
    } else if (op == "recache") {
        reloadRecache(BD::flagArg(url, "fresh"));
    } else if (op == "closenow" || op == "histclose") {
        closeWindow();
    } else if (op == "viewready") {
        applyPendingViewRestore();
    } else if (op == "gridready") {
        if (gridJSON_) callPage("cvlGrid", *gridJSON_);
    } else if (op == "editstate") {
        callPage("cvlEditState", editStateJSON());
    } else if (op == "histlib") {
        // The history page's folders, opened together as a review here.
        auto paths = BD::linesArg(url, "p");
        if (!paths.empty()) load(paths, std::nullopt);
    } else {
        return false;
    }
    return true;
}

// ---- what the window offers the features ----------------------------------------------------

WindowSnapshot ReviewWC::snapshot() const {
    WindowSnapshot s;
    s.number = number_;
    s.bridgeId = bridgeId_;
    s.pageKind = pageKind_;
    s.sourcePaths = sourcePaths_;
    if (isReader()) s.shownPdf = expectedPdf_;
    s.setPaths = setPaths_;
    s.loadGen = loadGen_;
    s.reviewMode = reviewMode_;
    return s;
}

void ReviewWC::evaluateScript(const std::string& script) {
    page_->evaluateScript(script);
}

void ReviewWC::evaluateScript(const std::string& script,
                              std::function<void(std::optional<std::string>)> reply) {
    page_->evaluateScript(script, std::move(reply));
}

void ReviewWC::showToolPage(const std::string& url, const std::string& kind,
                            const std::vector<std::string>& paths) {
    if (isOpenSurfaceKind(kind)) {
        showPage(url, true);
        setKind(kind);
        return;
    }
    loadWatch_.reset();
    gridJSON_.reset();
    hasContent_ = true;
    setKind(kind);
    sourcePaths_ = paths;
    reviewMode_.reset();
    expectedPdf_.clear();
    if (!paths.empty()) page_->setRepresentedFile(paths.front());
    page_->loadURL(url, UserDirs::home());
    page_->present();
}

void ReviewWC::showReview(const std::vector<std::string>& paths,
                          const std::optional<std::string>& mode) {
    load(paths, mode);
}

void ReviewWC::reloadReader() {
    if (isReader() && !lastReaderURL_.empty()) refreshReaderPreservingView("");
}

void ReviewWC::closeWindow() {
    readerClosing_ = true;
    page_->close();
}

void ReviewWC::callPage(const std::string& function, const std::string& args) {
    page_->evaluateScript(PageScript::call(function, args));
}

void ReviewWC::toast(const std::string& text) {
    page_->evaluateScript(PageScript::toast(text));
}

std::string ReviewWC::shownFile() const {
    if (isReader() && !expectedPdf_.empty()) return expectedPdf_;
    return sourcePaths_.empty() ? std::string() : sourcePaths_.front();
}

// ---- script messages --------------------------------------------------------------------

void ReviewWC::receiveScriptMessage(const std::string& body) {
    json msg = json::parse(body, nullptr, false);
    if (!msg.is_object() || !msg.contains("action") || !msg["action"].is_string()) return;
    const std::string action = msg["action"];
    if (action == "viewready") {
        applyPendingViewRestore();
    } else if (action == "displayed") {
        displayedMessage(body);
    } else if (BridgeModule* module = modules_.forMessage(action)) {
        // Messages no module answers are dropped.
        module->handleMessage(ScriptMessage{action, body, snapshot(), handle(), *dialogs_, app_});
    }
}

void ReviewWC::displayedMessage(const std::string& body) {
    const json msg = json::parse(body, nullptr, false);
    auto text = [&](const char* key) -> std::string {
        auto it = msg.find(key);
        return it != msg.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    const std::string pdf = text("pdf");
    if (!binding_) {
        app_.readerLog("identity: window " + std::to_string(number_) + " shows " +
                       lastPathComponent(pdf) +
                       " but never bound a load (a reader load outside loadReader)");
        return;
    }
    DocDisplayed shown;
    if (auto it = msg.find("gen"); it != msg.end() && it->is_number())
        shown.gen = it->get<std::int64_t>();
    shown.pdf = pdf;
    shown.orig = text("orig");
    displayed_ = shown;
    noteIdentity("displayed " + std::to_string(shown.gen) + ": " + lastPathComponent(pdf) +
                 " page confirmed");
    IdentityVerdict verdict = identityVerdict();
    if (!verdict.isReady())
        app_.readerLog(DocIdentity::logLine(number_, verdict, "page confirmation", identityNotes_));
    applyPendingViewRestore();
}

void ReviewWC::applyPendingViewRestore() {
    if (!pendingViewRestore_) return;
    std::string view = std::move(*pendingViewRestore_);
    pendingViewRestore_.reset();
    callPage("__cvlRestoreView", viewArgument(view));
}

void ReviewWC::noteIdentity(const std::string& note) {
    identityNotes_.push_back(note);
    if (identityNotes_.size() > 8) identityNotes_.erase(identityNotes_.begin());
}

// ---- review runs ------------------------------------------------------------------------

std::string ReviewWC::newLoadingFile() {
    makeDirs(UserDirs::archiveDir());
    std::string path = UserDirs::archiveDir() + "/.loading-" + newUuid() + ".html";
    if (Status written = writeFileAtomic(path, HostPages::loadingHTML(app_.brandName())); !written)
        cvlLog("review: the loading page could not be written: %s", written.error().c_str());
    return path;
}

void ReviewWC::load(const std::vector<std::string>& paths, const std::optional<std::string>& mode) {
    hasContent_ = true;
    setKind("review");
    gridJSON_.reset();
    expectedPdf_.clear();
    loadingFile_ = newLoadingFile();
    sourcePaths_ = paths;
    reviewMode_ = mode;
    // One folder or file stands for the window; a set of them, none.
    page_->setRepresentedFile(paths.size() == 1 ? paths.front() : "");
    if (!paths.empty()) page_->setTitle(lastPathComponent(paths.front()));
    page_->loadURL(ReaderAddress::fileURL(*loadingFile_), UserDirs::home());
    services_.shellEngine(EngineRuns::loadArgs(*loadingFile_, mode, paths));
    armLoadingWatch();
    page_->present();
}

void ReviewWC::armLoadingWatch() {
    loadWatch_.reset();
    if (!loadingFile_) return;
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    const std::string file = *loadingFile_;
    loadWatch_ = services_.watchFile(file, [weak, file](bool gone) {
        auto self = weak.lock();
        if (!self) return;
        // The engine has written its result page (in place or by replacing the file).
        self->page_->loadURL(ReaderAddress::fileURL(file), UserDirs::home());
        if (gone) self->loadWatch_.reset();
    });
}

void ReviewWC::doCancel() {
    loadWatch_.reset();
    if (isGrid()) ++loadGen_;  // the cells that arrive later are not shown
    makeDirs(UserDirs::archiveDir());
    const std::string path = UserDirs::archiveDir() + "/.cancelled-" + newUuid() + ".html";
    if (Status written = writeFileAtomic(path, HostPages::cancelledHTML(app_.brandName())))
        page_->loadURL(ReaderAddress::fileURL(path), UserDirs::archiveDir());
    else
        cvlLog("review: the cancelled page could not be written: %s", written.error().c_str());
}

// Shows the spinner again (the engine overwrote the loading file with its last result) and
// starts the generator with `args`.
void ReviewWC::restartRun(const std::vector<std::string>& args) {
    if (Status written = writeFileAtomic(*loadingFile_, HostPages::loadingHTML(app_.brandName()));
        !written)
        cvlLog("review: the loading page could not be written: %s", written.error().c_str());
    page_->loadURL(ReaderAddress::fileURL(*loadingFile_), UserDirs::home());
    services_.shellEngine(args);
    armLoadingWatch();
}

void ReviewWC::reshell(const std::optional<std::string>& folders,
                       const std::optional<std::string>& types, bool remember) {
    if (pageKind_ != "review" || sourcePaths_.empty()) return;
    if (!loadingFile_) loadingFile_ = newLoadingFile();
    restartRun(EngineRuns::reshellArgs(*loadingFile_, folders, types, remember, sourcePaths_));
}

void ReviewWC::reshellChoose(bool reset) {
    if (sourcePaths_.empty()) return;
    if (isGrid()) {
        openGrid(sourcePaths_.front());  // "Try again" after a cancelled grid
        return;
    }
    if (pageKind_ != "review") return;
    if (!loadingFile_) loadingFile_ = newLoadingFile();
    restartRun(EngineRuns::reshellChooseArgs(*loadingFile_, reset, sourcePaths_));
}

void ReviewWC::reloadRecache(bool fresh) {
    if (sourcePaths_.empty()) return;
    if (isReader()) {
        // A reader refreshes in place.
        if (!lastReaderURL_.empty()) refreshReaderPreservingView("");
        return;
    }
    if (isGrid()) {
        // A grid reads its file again.
        openGrid(sourcePaths_.front());
        return;
    }
    if (pageKind_ != "review") return;
    if (!loadingFile_) loadingFile_ = newLoadingFile();
    restartRun(EngineRuns::reloadRecacheArgs(*loadingFile_, fresh, sourcePaths_));
}

void ReviewWC::showPage(const std::string& url, bool openSurface) {
    if (openSurface) {
        hasContent_ = false;
        setKind("welcome");
        sourcePaths_.clear();
        reviewMode_.reset();
        expectedPdf_.clear();
        loadWatch_.reset();
        gridJSON_.reset();
    }
    page_->loadURL(url, UserDirs::home());
}

// ---- page grid --------------------------------------------------------------------------

bool ReviewWC::opensAsGrid(const std::string& path) {
    static const char* const kGridTypes[] = {"xls",     "xlsx", "xlsm", "ods",
                                             "numbers", "csv",  "tsv",  "tab"};
    const std::string ext = lowerExtension(path);
    return std::any_of(std::begin(kGridTypes), std::end(kGridTypes),
                       [&](const char* t) { return ext == t; });
}

void ReviewWC::openGrid(const std::string& path) {
    hasContent_ = true;
    setKind("grid");
    sourcePaths_ = {path};
    setPaths_.clear();
    reviewMode_.reset();
    expectedPdf_.clear();
    loadWatch_.reset();
    gridJSON_.reset();
    editState_.reset();
    // A new generation: an answer for an earlier content of this window is dropped.
    const long long generation = ++loadGen_;
    page_->setRepresentedFile(path);
    page_->setTitle(lastPathComponent(path));
    // A spinner that does not reload itself: a reload could win over the grid page's load.
    makeDirs(UserDirs::archiveDir());
    loadingFile_ = UserDirs::archiveDir() + "/.loading-" + newUuid() + ".html";
    if (Status written =
            writeFileAtomic(*loadingFile_, HostPages::loadingHTML(app_.brandName(), false));
        !written)
        cvlLog("grid: the loading page could not be written: %s", written.error().c_str());
    page_->loadURL(ReaderAddress::fileURL(*loadingFile_), UserDirs::home());
    page_->present();

    std::weak_ptr<ReviewWC> weak = weak_from_this();
    services_.parseGrid(path, [weak, generation, path](std::optional<std::string> answer) {
        auto self = weak.lock();
        if (!self || self->closed_ || !self->isGrid() || self->loadGen_ != generation) return;
        self->showGrid(path, answer);
    });
}

void ReviewWC::showGrid(const std::string& path, const std::optional<std::string>& answer) {
    json grid = answer ? json::parse(*answer, nullptr, false) : json();
    if (!grid.is_object()) {
        cvlLog("grid: no cells for %s", path.c_str());
        grid = json{{"path", path},
                    {"error",
                     "This file could not be read as a table. It may be damaged, or "
                     "the document engine could not run."}};
    }
    gridJSON_ = jsonText(grid);
    // The spinner's file has done its job.
    if (loadingFile_) {
        ::unlink(loadingFile_->c_str());
        loadingFile_.reset();
    }
    std::string url = ReaderAddress::fileURL(EngineLocator::gridHTMLPath());
    url = ReaderAddress::withQueryItem(url, "theme", app_.darkScheme() ? "dark" : "light");
    url = ReaderAddress::withQueryItem(url, "path", path);
    page_->loadURL(url, UserDirs::home());
}

// ---- edit state of converted documents ------------------------------------------------------

bool ReviewWC::probesForEditing(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == "docx" || ext == "rtf" || ext == "txt" || ext == "md";
}

void ReviewWC::probeEditing(const std::string& path) {
    editState_.reset();
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    services_.editProbe(path, [weak, path](std::optional<std::string> answer) {
        auto self = weak.lock();
        // Only for the document the window still shows.
        if (!self || self->closed_ || !self->isReader() || self->sourcePaths_.empty() ||
            self->sourcePaths_.front() != path)
            return;
        json probe = answer ? json::parse(*answer, nullptr, false) : json();
        json state{{"editable", false}, {"why", json::array()}};
        if (probe.is_object()) {
            if (auto it = probe.find("editable"); it != probe.end() && it->is_boolean())
                state["editable"] = *it;
            if (auto it = probe.find("why"); it != probe.end() && it->is_array())
                for (const auto& reason : *it)
                    if (reason.is_string()) state["why"].push_back(reason);
        } else {
            state["why"].push_back("The document could not be checked for editing.");
        }
        self->editState_ = jsonText(state);
        self->callPage("cvlEditState", *self->editState_);
    });
}

std::string ReviewWC::editStateJSON() const {
    if (editState_) return *editState_;
    return json{{"editable", false}, {"why", json::array()}}.dump();
}

// ---- reader session ---------------------------------------------------------------------

void ReviewWC::becomeReader(const std::string& sourcePath,
                            const std::vector<std::string>& setPaths) {
    hasContent_ = true;
    setKind("reader");
    gridJSON_.reset();
    editState_.reset();
    loadWatch_.reset();
    sourcePaths_ = {sourcePath};
    setPaths_ = setPaths;
    reviewMode_.reset();
    page_->setRepresentedFile(sourcePath);
    page_->setTitle(lastPathComponent(sourcePath));
    page_->present();
}

void ReviewWC::loadReader(const std::string& url) {
    ++loadGen_;
    const std::string address = ReaderAddress::withQueryItem(url, "gen", std::to_string(loadGen_));
    lastReaderURL_ = address;
    const std::string pdf = urlQuery(address, "pdf").value_or("");
    const std::string orig = urlQuery(address, "orig").value_or(pdf);
    expectedPdf_ = pdf;
    loadedStamp_ = stampText(pdf);
    const std::string original = sourcePaths_.empty() ? orig : sourcePaths_.front();
    binding_ = DocBinding{loadGen_, original, pdf, page_->title()};
    noteIdentity("load " + std::to_string(loadGen_) + ": " + lastPathComponent(pdf) + " for " +
                 lastPathComponent(orig));
    page_->loadURL(address, UserDirs::home());
    // What the window loaded, so that saving in place can tell a change made behind its back.
    LoadStamps::shared().stampLoadedFile(bridgeId_, original, loadGen_);
    // Each state of an open PDF is kept in the version store: the one it was opened in, and
    // every later one the reader refreshes to.
    if (lowerExtension(original) == "pdf" && isRegularFile(original))
        Dispatch::global().async([original] { (void)snapshotVersionFile(original); });
    startReaderPoll();
}

void ReviewWC::startReaderPoll() {
    ++pollGen_;
    if (!isReader() || sourcePaths_.empty()) return;
    if (!cfgBool("auto_refresh", true)) return;
    schedulePoll(pollGen_);
}

void ReviewWC::schedulePoll(long long generation) {
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    Dispatch::main().asyncAfter(std::chrono::milliseconds(2500), [weak, generation] {
        auto self = weak.lock();
        if (!self || self->closed_ || generation != self->pollGen_) return;
        if (self->diskChangedSinceLoad()) {
            self->refreshReaderPreservingView("Document changed on disk \u2014 refreshed");
            return;  // the reload starts a new poll
        }
        self->schedulePoll(generation);
    });
}

bool ReviewWC::diskChangedSinceLoad() const {
    if (expectedPdf_.empty() || loadedStamp_.empty()) return false;
    const std::string now = stampText(expectedPdf_);
    return !now.empty() && now != loadedStamp_;
}

void ReviewWC::refreshReaderPreservingView(const std::string& note) {
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    page_->evaluateScript(captureViewScript(), [weak, note](std::optional<std::string> view) {
        auto self = weak.lock();
        if (!self || self->closed_) return;
        if (view && *view != "null") self->pendingViewRestore_ = *view;
        self->loadReader(self->lastReaderURL_);
        if (!note.empty()) self->page_->evaluateScript(PageScript::banner(note));
    });
}

// ---- closing ----------------------------------------------------------------------------

bool ReviewWC::shouldClose() {
    if (!isReader() || readerClosing_) return true;
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    page_->evaluateScript(captureViewScript(), [weak](std::optional<std::string> view) {
        auto self = weak.lock();
        if (self && view && *view != "null") self->lastViewState_ = *view;
    });
    if (flushAsked_) return false;
    flushAsked_ = true;
    page_->evaluateScript(flushScript(), [weak](std::optional<std::string>) {
        auto self = weak.lock();
        if (!self) return;
        self->readerClosing_ = true;
        self->page_->close();
    });
    return false;
}

void ReviewWC::willClose() {
    if (closed_) return;
    closed_ = true;
    ++pollGen_;
    services_.windowClosed(*this);
    LoadStamps::shared().forget(bridgeId_);
    watcher_.reset();
    loadWatch_.reset();
}

std::optional<TabRecord> ReviewWC::restorableTab() const {
    if (!hasContent_ || sourcePaths_.empty()) return std::nullopt;
    if (pageKind_ != "reader" && pageKind_ != "grid" && pageKind_ != "review") return std::nullopt;
    TabRecord tab;
    tab.kind = pageKind_;
    tab.paths = sourcePaths_;
    tab.view = lastViewState_;
    tab.mode = reviewMode_;
    tab.title = page_->title();
    return tab;
}

// ---- folder watching --------------------------------------------------------------------

void ReviewWC::startWatching() {
    watcher_.reset();
    if (pageKind_ != "review" || sourcePaths_.empty()) return;
    if (!cfgBool("auto_refresh", true)) return;
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    watcher_ = services_.watchFolders(sourcePaths_, [weak] {
        if (auto self = weak.lock()) self->reloadRecache(false);
    });
}

void ReviewWC::stopWatching() {
    watcher_.reset();
}

}  // namespace cvl
