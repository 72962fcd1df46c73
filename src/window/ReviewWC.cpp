#include "window/ReviewWC.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "window/HostPages.h"
#include "window/ReaderLinks.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

using json = nlohmann::json;
namespace BD = BridgeDispatch;

// Rule-gap reports stop growing past this size.
constexpr long long kRuleGapsLimit = 2LL * 1024 * 1024;

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string lowerExtension(const std::string& path) {
    std::string ext = pathExtension(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::string fileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";
    return std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
           std::to_string(st.st_size);
}

// A view state from the page or from a snapshot file: passed on as a script value when it is
// JSON, as a quoted text otherwise.
std::string viewArgument(const std::string& view) {
    if (json::accept(view)) return view;
    return jsQuote(view);
}

}  // namespace

ReviewWC::ReviewWC(int number, std::unique_ptr<PageHost> page, WindowServices& services)
    : number_(number), bridgeId_(newUuid()), page_(std::move(page)), services_(services) {}

ReviewWC::~ReviewWC() = default;

// ---- navigation -------------------------------------------------------------------------

NavigationPolicy ReviewWC::decidePolicy(const NavigationRequest& request) {
    switch (BD::route(request)) {
        case BD::Route::Download:
            return NavigationPolicy::Download;
        case BD::Route::NoAddress:
        case BD::Route::LocalPage:
        case BD::Route::Other:
            return NavigationPolicy::Allow;
        case BD::Route::Browser:
            services_.openInBrowser(request.url);
            return NavigationPolicy::Cancel;
        case BD::Route::DefaultApp:
            if (auto path = ReaderAddress::filePath(request.url))
                services_.openWithDefaultApp(*path);
            return NavigationPolicy::Cancel;
        case BD::Route::Bridge: {
            const std::string op = BD::operation(request.url);
            if (isReader_ && BD::isIdentitySensitive(op)) checkIdentityFor(op);
            perform(op, request.url);
            return NavigationPolicy::Cancel;
        }
    }
    return NavigationPolicy::Cancel;
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
        services_.readerLog("identity: " + op +
                            " would be held (observe only): " + verdict.summary());
}

void ReviewWC::perform(const std::string& op, const std::string& url) {
    if (performReview(op, url)) return;
    if (performOpening(op, url)) return;
    if (performReaderTool(op, url)) return;
    performHistory(op, url);
}

bool ReviewWC::performReview(const std::string& op, const std::string& url) {
    if (op == "review") {
        reshell(BD::arg(url, "folders"), BD::arg(url, "types"), BD::flagArg(url, "remember"));
    } else if (op == "cancel") {
        doCancel();
    } else if (op == "retry") {
        reshellChoose(false);
    } else if (op == "adjust") {
        reshellChoose(true);
    } else if (op == "open" || op == "histbrowse") {
        services_.pickAndReview(std::nullopt);
    } else if (op == "rank") {
        services_.pickAndReview(std::string("rank"));
    } else if (op == "recache") {
        reloadRecache(BD::flagArg(url, "fresh"));
    } else if (op == "prefs") {
        services_.openPanel("settings");
    } else if (op == "history") {
        services_.openHistory(BD::arg(url, "mode").value_or("recent"));
    } else if (op == "appearance") {
        services_.toggleTheme();
    } else if (op == "home") {
        services_.goHome(*this);
    } else {
        return false;
    }
    return true;
}

bool ReviewWC::performOpening(const std::string& op, const std::string& url) {
    if (op == "reader") {
        auto path = BD::pathArg(url);
        if (!path) return true;
        int page = std::atoi(BD::arg(url, "page").value_or("0").c_str());
        services_.openReader(*path, page);
    } else if (op == "read") {
        services_.pickAndRead();
    } else if (op == "browse" || op == "versions" || op == "sort" || op == "cull") {
        services_.pickAndReview(std::string(op == "browse"     ? "flip"
                                            : op == "versions" ? "doc"
                                                               : "single"));
    } else if (op == "openrecent") {
        if (auto path = BD::pathArg(url)) services_.openItem(*path);
    } else if (op == "openroot") {
        auto path = BD::pathArg(url);
        if (!path) return true;
        if (isDirectory(*path)) {
            services_.openReview({*path}, std::nullopt);
        } else {
            services_.showNotice(
                "update", "Can’t open this library",
                "The folder “" + lastPathComponent(*path) + "” no longer exists at:\n" + *path);
        }
    } else if (op == "pin" || op == "unpin") {
        if (auto path = BD::pathArg(url)) services_.setPinned(*path, op == "pin");
    } else if (op == "openurl") {
        auto target = BD::arg(url, "url");
        if (target && BD::scheme(*target) == "https") services_.openInBrowser(*target);
    } else if (op == "opendefault") {
        if (auto path = BD::pathArg(url)) services_.openWithDefaultApp(*path);
    } else if (op == "reveal") {
        if (auto path = BD::pathArg(url)) services_.revealInFileManager(*path);
    } else if (op == "openseparately") {
        for (const auto& p : BD::pathsArg(url)) services_.openReader(p, 0);
    } else if (op == "setview") {
        if (auto mode = BD::arg(url, "mode")) services_.setConfigString("folder_view", *mode);
    } else if (op == "paircode") {
        const char* test = std::getenv("CVL_TEST");
        auto code = BD::arg(url, "code");
        if (code && !(test && *test)) services_.setConfigString("pair_code", *code);
    } else if (op == "closenow") {
        readerClosing_ = true;
        page_->close();
    } else if (op == "viewready") {
        applyPendingViewRestore();
    } else if (op == "gridready") {
        if (gridJSON_) callPage("cvlGrid", *gridJSON_);
    } else if (op == "editstate") {
        callPage("cvlEditState", editStateJSON());
    } else if (op == "pages") {
        auto path = BD::pathArg(url);
        if (!path) return true;
        std::weak_ptr<ReviewWC> weak = weak_from_this();
        const std::string file = *path;
        services_.renderPages(file, [weak, file](std::string text) {
            Dispatch::main().async([weak, file, text] {
                auto self = weak.lock();
                if (!self) return;
                std::string arg = text;
                if (trim(arg).empty())
                    arg = json{{"path", file}, {"pages", json::array()}, {"needs_converter", false}}
                              .dump();
                self->page().evaluateScript("if(window.pagesReady){try{pagesReady(" + arg +
                                            ")}catch(e){}}");
            });
        });
    } else {
        return false;
    }
    return true;
}

bool ReviewWC::performReaderTool(const std::string& op, const std::string& url) {
    if (op == "search") {
        std::weak_ptr<ReviewWC> weak = weak_from_this();
        return services_.folderSearch(
            url, sourcePaths_, [weak](const std::string& function, const std::string& argument) {
                Dispatch::main().async([weak, function, argument] {
                    if (auto self = weak.lock()) self->callPage(function, argument);
                });
            });
    }
    if (op == "readersearch") {
        const std::string q = trim(BD::arg(url, "q").value_or(""));
        std::string path = BD::pathArg(url).value_or(shownFile());
        if (path.empty() || !isRegularFile(path)) {
            callPage(
                "cvlReaderSearchResults",
                "{q:" + jsQuote(q) + ",docs:[],docCount:0,hitCount:0,scannedNoText:[],ocrUsed:0}");
            return true;
        }
        return services_.readerSearch(q, path, replyTo("cvlReaderSearchResults"));
    }
    if (op == "pagecmd") {
        std::map<std::string, std::string> fields;
        for (const char* key : {"op", "seq", "id", "text", "n", "cur", "sel", "pdf"})
            if (auto v = urlQuery(url, key)) fields[key] = *v;
        fields["path"] = BD::pathArg(url).value_or(shownFile());
        return services_.pageCommand(fields, replyTo("cvlPageCmdReply"));
    }
    if (op == "outline") {
        const std::string path = shownFile();
        if (path.empty()) return true;
        return services_.outline(path, replyTo("cvlOutline"));
    }
    if (ReaderLinks::isLinkOperation(op)) return ReaderLinks::perform(*this, services_, op, url);
    if (op == "rmdiag") {
        std::string err = urlQuery(url, "err").value_or("");
        if (err.empty()) err = "too-little-text";
        cvlLog("Corvello ReadingMode declined: reason=%s words=%s pages=%s file=%s", err.c_str(),
               urlQuery(url, "words").value_or("").c_str(),
               urlQuery(url, "pages").value_or("").c_str(), lastPathComponent(shownFile()).c_str());
        return true;
    }
    if (op == "resettoolbar") {
        callPage("__cvlResetToolbar", "");
        return true;
    }
    return false;
}

bool ReviewWC::performHistory(const std::string& op, const std::string& url) {
    if (op == "histopen") {
        if (auto path = BD::pathArg(url)) services_.openItem(*path);
        return true;
    }
    if (op == "histreveal") {
        if (auto path = BD::pathArg(url)) services_.revealInFileManager(*path);
        return true;
    }
    if (op == "histclose") {
        page_->close();
        return true;
    }
    if (op == "histlib" || op == "histcovers") {
        std::vector<std::string> paths;
        std::string list = urlQuery(url, "p").value_or("");
        size_t start = 0;
        while (start <= list.size()) {
            size_t nl = list.find('\n', start);
            if (nl == std::string::npos) nl = list.size();
            std::string line = list.substr(start, nl - start);
            if (!line.empty()) paths.push_back(line);
            start = nl + 1;
        }
        if (op == "histlib") {
            if (!paths.empty()) load(paths, std::nullopt);
            return true;
        }
        return services_.history(op, paths, replyTo("__cvlCovers"));
    }
    if (op == "histforget" || op == "histfav" || op == "histpin") {
        auto path = BD::pathArg(url);
        if (!path) return true;
        const char* reply = op == "histfav"   ? "__cvlFavDone"
                            : op == "histpin" ? "__cvlPinDone"
                                              : "";
        return services_.history(op, {*path}, *reply ? replyTo(reply) : JsonReply{});
    }
    if (op == "histpinclear") return services_.history(op, {}, replyTo("__cvlPinsDone"));
    return false;
}

JsonReply ReviewWC::replyTo(const std::string& function) {
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    return [weak, function](std::string payload) {
        Dispatch::main().async([weak, function, payload = std::move(payload)] {
            if (auto self = weak.lock()) self->callPage(function, payload);
        });
    };
}

void ReviewWC::callPage(const std::string& function, const std::string& args) {
    page_->evaluateScript(BD::guardedCall(function, args));
}

void ReviewWC::toast(const std::string& text) {
    page_->evaluateScript("window.__cvlToast && __cvlToast(" + jsQuote(text) + ")");
}

std::string ReviewWC::shownFile() const {
    if (isReader_ && !expectedPdf_.empty()) return expectedPdf_;
    return sourcePaths_.empty() ? std::string() : sourcePaths_.front();
}

// ---- script messages --------------------------------------------------------------------

void ReviewWC::receiveScriptMessage(const std::string& body) {
    json msg = json::parse(body, nullptr, false);
    if (!msg.is_object() || !msg.contains("action") || !msg["action"].is_string()) return;
    const std::string action = msg["action"];
    auto text = [&](const char* key) -> std::string {
        auto it = msg.find(key);
        return it != msg.end() && it->is_string() ? it->get<std::string>() : std::string();
    };

    if (action == "viewready") {
        applyPendingViewRestore();
    } else if (action == "displayed") {
        const std::string pdf = text("pdf");
        if (!binding_) {
            services_.readerLog("identity: window " + std::to_string(number_) + " shows " +
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
            services_.readerLog(
                DocIdentity::logLine(number_, verdict, "page confirmation", identityNotes_));
        applyPendingViewRestore();
    } else if (action == "openExternal") {
        const std::string target = text("url");
        const std::string s = BD::scheme(target);
        if (s == "http" || s == "https") services_.openInBrowser(target);
    } else if (action == "clipboard") {
        const std::string value = text("text");
        const bool copied = BD::scheme(value) == "https";
        if (copied) services_.setClipboardText(value);
        page_->evaluateScript(
            "if(window.CorvelloShareOnline&&CorvelloShareOnline._copyDone){try{"
            "CorvelloShareOnline._copyDone(" +
            std::string(copied ? "true" : "false") + ")}catch(e){}}");
    } else if (action == "sagap") {
        auto gaps = msg.find("gaps");
        if (gaps == msg.end() || !gaps->is_array()) {
            services_.readerLog("sign-stops: dropped a malformed rule-gap report from the page");
            return;
        }
        const std::string file = UserDirs::supportDir() + "/rule-gaps.jsonl";
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && st.st_size > kRuleGapsLimit) {
            services_.readerLog("sign-stops: rule-gaps.jsonl is over 2 MB; " +
                                std::to_string(gaps->size()) + " candidate(s) not recorded");
            return;
        }
        std::string lines;
        for (const auto& gap : *gaps) {
            if (!gap.is_object()) continue;
            json line = gap;
            line["build"] = services_.buildNumber();
            if (msg.contains("detector")) line["detector"] = msg["detector"];
            if (msg.contains("fp")) line["fp"] = msg["fp"];
            lines += line.dump() + "\n";
        }
        if (lines.empty()) return;
        // Appending keeps earlier lines; the file is a log, not a document.
        makeDirs(UserDirs::supportDir());
        if (FILE* f = std::fopen(file.c_str(), "ab")) {
            std::fwrite(lines.data(), 1, lines.size(), f);
            std::fclose(f);
        }
    }
    // "stat", "ask", "aistatus" and the account actions belong to features that are not part
    // of this build; their messages are accepted and dropped.
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
    writeFileAtomic(path, HostPages::loadingHTML(services_.brandName()));
    return path;
}

void ReviewWC::load(const std::vector<std::string>& paths, const std::optional<std::string>& mode) {
    hasContent_ = true;
    isOpenSurface_ = false;
    isCompareIntake_ = false;
    isReader_ = false;
    isGrid_ = false;
    gridJSON_.reset();
    loadingFile_ = newLoadingFile();
    sourcePaths_ = paths;
    reviewMode_ = mode;
    if (!paths.empty()) page_->setTitle(lastPathComponent(paths.front()));
    page_->loadURL(ReaderAddress::fileURL(*loadingFile_), UserDirs::home());
    const auto args = EngineRuns::loadArgs(*loadingFile_, mode, paths);
    services_.shellEngine(args);
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
    if (isGrid_) ++loadGen_;  // the cells that arrive later are not shown
    makeDirs(UserDirs::archiveDir());
    const std::string path = UserDirs::archiveDir() + "/.cancelled-" + newUuid() + ".html";
    if (writeFileAtomic(path, HostPages::cancelledHTML(services_.brandName())))
        page_->loadURL(ReaderAddress::fileURL(path), UserDirs::archiveDir());
}

// Shows the spinner again (the engine overwrote the loading file with its last result) and
// starts the generator with `args`.
static void restartRun(ReviewWC& wc, PageHost& page, WindowServices& services,
                       const std::string& loadingFile, const std::vector<std::string>& args) {
    writeFileAtomic(loadingFile, HostPages::loadingHTML(services.brandName()));
    page.loadURL(ReaderAddress::fileURL(loadingFile), UserDirs::home());
    services.shellEngine(args);
    wc.armLoadingWatch();
}

void ReviewWC::reshell(const std::optional<std::string>& folders,
                       const std::optional<std::string>& types, bool remember) {
    if (isReader_ || sourcePaths_.empty()) return;
    if (!loadingFile_) loadingFile_ = newLoadingFile();
    const auto args =
        EngineRuns::reshellArgs(*loadingFile_, folders, types, remember, sourcePaths_);
    restartRun(*this, *page_, services_, *loadingFile_, args);
}

void ReviewWC::reshellChoose(bool reset) {
    if (isReader_ || sourcePaths_.empty()) return;
    if (isGrid_) {
        openGrid(sourcePaths_.front());  // "Try again" after a cancelled grid
        return;
    }
    if (!loadingFile_) loadingFile_ = newLoadingFile();
    const auto args = EngineRuns::reshellChooseArgs(*loadingFile_, reset, sourcePaths_);
    restartRun(*this, *page_, services_, *loadingFile_, args);
}

void ReviewWC::reloadRecache(bool fresh) {
    if (sourcePaths_.empty()) return;
    if (isReader_) {
        // A reader refreshes in place.
        if (!lastReaderURL_.empty()) refreshReaderPreservingView();
        return;
    }
    if (isGrid_) {
        // A grid reads its file again.
        openGrid(sourcePaths_.front());
        return;
    }
    if (!loadingFile_) loadingFile_ = newLoadingFile();
    const auto args = EngineRuns::reloadRecacheArgs(*loadingFile_, fresh, sourcePaths_);
    restartRun(*this, *page_, services_, *loadingFile_, args);
}

void ReviewWC::showPage(const std::string& url, bool openSurface) {
    isOpenSurface_ = openSurface;
    if (openSurface) {
        hasContent_ = false;
        isReader_ = false;
        isGrid_ = false;
        sourcePaths_.clear();
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
    isGrid_ = true;
    isReader_ = false;
    isOpenSurface_ = false;
    isCompareIntake_ = false;
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
    writeFileAtomic(*loadingFile_, HostPages::loadingHTML(services_.brandName(), false));
    page_->loadURL(ReaderAddress::fileURL(*loadingFile_), UserDirs::home());
    page_->present();

    std::weak_ptr<ReviewWC> weak = weak_from_this();
    auto done = [weak, generation, path](std::optional<std::string> answer) {
        auto self = weak.lock();
        if (!self || self->closed_ || !self->isGrid_ || self->loadGen_ != generation) return;
        self->showGrid(path, answer);
    };
    if (!services_.parseGrid(path, done)) done(std::nullopt);
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
    gridJSON_ = grid.dump(-1, ' ', false, json::error_handler_t::replace);
    // The spinner's file has done its job.
    if (loadingFile_) {
        ::unlink(loadingFile_->c_str());
        loadingFile_.reset();
    }
    std::string url = ReaderAddress::fileURL(EngineLocator::gridHTMLPath());
    url = ReaderAddress::withQueryItem(url, "theme", services_.darkScheme() ? "dark" : "light");
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
    auto done = [weak, path](std::optional<std::string> answer) {
        auto self = weak.lock();
        // Only for the document the window still shows.
        if (!self || self->closed_ || !self->isReader_ || self->sourcePaths_.empty() ||
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
        self->editState_ = state.dump(-1, ' ', false, json::error_handler_t::replace);
        self->callPage("cvlEditState", *self->editState_);
    };
    if (!services_.editProbe(path, done)) done(std::nullopt);
}

std::string ReviewWC::editStateJSON() const {
    if (editState_) return *editState_;
    return json{{"editable", false}, {"why", json::array()}}.dump();
}

// ---- reader session ---------------------------------------------------------------------

void ReviewWC::becomeReader(const std::string& sourcePath,
                            const std::vector<std::string>& setPaths) {
    hasContent_ = true;
    isReader_ = true;
    isGrid_ = false;
    isOpenSurface_ = false;
    gridJSON_.reset();
    editState_.reset();
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
    loadedStamp_ = fileStamp(pdf);
    binding_ = DocBinding{loadGen_, sourcePaths_.empty() ? orig : sourcePaths_.front(), pdf,
                          page_->title()};
    noteIdentity("load " + std::to_string(loadGen_) + ": " + lastPathComponent(pdf) + " for " +
                 lastPathComponent(orig));
    page_->loadURL(address, UserDirs::home());
    startReaderPoll();
}

void ReviewWC::startReaderPoll() {
    ++pollGen_;
    if (!isReader_ || sourcePaths_.empty()) return;
    if (services_.configBool("auto_refresh") == std::optional<bool>(false)) return;
    schedulePoll(pollGen_);
}

void ReviewWC::schedulePoll(long long generation) {
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    Dispatch::main().asyncAfter(std::chrono::milliseconds(2500), [weak, generation] {
        auto self = weak.lock();
        if (!self || self->closed_ || generation != self->pollGen_) return;
        if (self->diskChangedSinceLoad()) {
            self->refreshReaderPreservingView();
            return;  // the reload starts a new poll
        }
        self->schedulePoll(generation);
    });
}

bool ReviewWC::diskChangedSinceLoad() const {
    if (expectedPdf_.empty() || loadedStamp_.empty()) return false;
    const std::string now = fileStamp(expectedPdf_);
    return !now.empty() && now != loadedStamp_;
}

void ReviewWC::refreshReaderPreservingView() {
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    page_->evaluateScript(kCaptureViewScript, [weak](std::optional<std::string> view) {
        auto self = weak.lock();
        if (!self || self->closed_) return;
        if (view && *view != "null") self->pendingViewRestore_ = *view;
        self->loadReader(self->lastReaderURL_);
        self->page_->evaluateScript(
            "(function(){var n=document.getElementById('__upd');if(!n){n=document.createElement('"
            "div');n.id='__upd';n.style.cssText='position:fixed;top:10px;left:50%;transform:"
            "translateX(-50%);z-index:99999;padding:6px 14px;border-radius:8px;background:rgba("
            "0,0,0,.75);color:#fff;font:13px system-ui,sans-serif';document.body.appendChild(n)}"
            "n.textContent='Document changed on disk \u2014 refreshed';setTimeout(function(){"
            "n.remove()},2500)})()");
    });
}

// ---- closing ----------------------------------------------------------------------------

bool ReviewWC::shouldClose() {
    if (!isReader_ || readerClosing_) return true;
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    page_->evaluateScript(kCaptureViewScript, [weak](std::optional<std::string> view) {
        auto self = weak.lock();
        if (self && view && *view != "null") self->lastViewState_ = *view;
    });
    if (flushAsked_) return false;
    flushAsked_ = true;
    page_->evaluateScript(kFlushScript, [weak](std::optional<std::string>) {
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
    watcher_.reset();
    loadWatch_.reset();
}

std::optional<TabRecord> ReviewWC::restorableTab() const {
    if (!hasContent_ || isOpenSurface_ || sourcePaths_.empty()) return std::nullopt;
    TabRecord tab;
    tab.kind = isReader_ ? "reader" : isGrid_ ? "grid" : "review";
    tab.paths = sourcePaths_;
    tab.view = lastViewState_;
    tab.mode = reviewMode_;
    tab.title = page_->title();
    return tab;
}

// ---- folder watching --------------------------------------------------------------------

void ReviewWC::startWatching() {
    watcher_.reset();
    if (isReader_ || sourcePaths_.empty()) return;
    if (services_.configBool("auto_refresh") == std::optional<bool>(false)) return;
    std::weak_ptr<ReviewWC> weak = weak_from_this();
    watcher_ = services_.watchFolders(sourcePaths_, [weak] {
        if (auto self = weak.lock()) self->reloadRecache(false);
    });
}

void ReviewWC::stopWatching() {
    watcher_.reset();
}

}  // namespace cvl
