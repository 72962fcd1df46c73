// The application's session: documents handed to it, the open-tab snapshot and its restore
// after a relaunch, the closed tabs, the pre-loaded reader, and the end-to-end tests' driver.
#include <fstream>

#include "app/AppConstants.h"
#include "app/AppDelegate.h"
#include "app/EngineLocator.h"
#include "app/OpenModule.h"
#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"
#include "platform/pdf/PdfDocument.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

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

}  // namespace

void AppDelegate::openFiles(const std::vector<std::string>& paths) {
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
        for (const auto& p : usable) openItem(*this, p);
    } else {
        openReview(usable, std::nullopt);
    }
    if (auto frame = shell_.keyFrame()) shell_.presentFrame(*frame);
}

void AppDelegate::reopen() {
    FocusHandBack::noteChoice(focus_, nowSeconds());
    if (auto frame = shell_.keyFrame()) {
        shell_.presentFrame(*frame);
        return;
    }
    openWelcome(nullptr);
}

void AppDelegate::reopenClosedTab() {
    auto tab = closedTabs_.pop();
    updateMenuBar();
    if (!tab || tab->paths.empty()) return;  // nothing to reopen
    if (tab->kind == "reader") {
        openReaderAt(tab->paths.front(), 0, tab->view);
    } else if (tab->kind == "grid") {
        pickWindow()->openGrid(tab->paths.front());
    } else {
        auto wc = pickWindow();
        wc->load(tab->paths, tab->mode);
        wc->startWatching();
    }
}

// ---- the open-tab snapshot ------------------------------------------------------------------

void AppDelegate::restoreOpenTabsIfRelaunch() {
    auto plan = openTabs_.decideRestore(cvl::buildNumber(), nowSeconds());
    if (!plan) {
        startOpenTabsSnapshots(++snapshotGeneration_);
        return;
    }
    didOpen_ = true;
    // A restore during a background relaunch may give the focus back when it steals it. No
    // portable way tells the front application on this desktop, so none is recorded.
    FocusHandBack::noteRestore(focus_, nowSeconds(), appActive_, envIs("ZK_BACKGROUND_LAUNCH", "1"),
                               std::nullopt);
    size_t reopened = 0;
    for (const auto& group : plan->windows) {
        std::optional<int> frame;
        std::shared_ptr<ReviewWC> selected;
        for (size_t i = 0; i < group.tabs.size(); ++i) {
            const ClosedTab& tab = group.tabs[i].tab;
            auto wc = newDocumentWindow(frame);
            frame = shell_.frameOf(*tabOf(*wc));
            if (tab.kind == "reader") {
                openReaderAt(tab.paths.front(), 0, tab.view, wc);
            } else if (tab.kind == "grid") {
                wc->openGrid(tab.paths.front());
            } else {
                wc->load(tab.paths, tab.mode);
                wc->startWatching();
            }
            if (group.selected && *group.selected == i) selected = wc;
            ++reopened;
        }
        if (selected) selected->present();
    }
    openTabs_.finishRestore(*plan, reopened, "");
    startOpenTabsSnapshots(++snapshotGeneration_);
}

// Every 15 s every reader is asked for its view; the snapshot is written when all answered.
void AppDelegate::startOpenTabsSnapshots(unsigned generation) {
    Dispatch::main().asyncAfter(std::chrono::seconds(15), [this, generation, alive = alive_] {
        if (!*alive || generation != snapshotGeneration_ || quitting_) return;
        auto remaining = std::make_shared<int>(0);
        for (const auto& t : tabs_)
            if (t.wc->isReader()) ++*remaining;
        for (const auto& t : tabs_) {
            if (!t.wc->isReader()) continue;
            std::weak_ptr<ReviewWC> weak = t.wc;
            t.wc->page().evaluateScript(
                ReviewWC::captureViewScript(),
                [this, weak, remaining, alive](std::optional<std::string> view) {
                    if (!*alive) return;
                    if (auto wc = weak.lock(); wc && view && *view != "null")
                        wc->setLastViewState(*view);
                    if (--*remaining == 0) writeOpenTabs(false, false);
                });
        }
        if (*remaining == 0) writeOpenTabs(false, false);
        startOpenTabsSnapshots(generation);
    });
}

void AppDelegate::scheduleOpenTabsWrite() {
    if (openTabsWritePending_ || quitting_) return;
    openTabsWritePending_ = true;
    Dispatch::main().asyncAfter(std::chrono::milliseconds(400), [this, alive = alive_] {
        if (!*alive) return;
        openTabsWritePending_ = false;
        writeOpenTabs(false, false);
    });
}

void AppDelegate::writeOpenTabs(bool cleanQuit, bool discard) {
    std::vector<OpenTabRow> rows;
    const auto frames = shell_.frames();
    for (size_t f = 0; f < frames.size(); ++f) {
        if (frames[f].empty()) continue;
        const auto current = shell_.currentTab(shell_.frameOf(frames[f].front()));
        for (int tab : frames[f]) {
            auto wc = windowOfTab(tab);
            auto record = wc ? wc->restorableTab() : std::nullopt;
            if (!record) continue;
            OpenTabRow row;
            row.tab =
                ClosedTab{record->kind, record->paths, record->view, record->mode, record->title};
            row.group = static_cast<long long>(f);
            row.selected = current == tab;
            rows.push_back(std::move(row));
        }
    }
    if (openTabs_.writeOpenTabs(cleanQuit, discard, rows, cvl::buildNumber(), nowSeconds()) ==
        OpenTabsKeeper::WriteOutcome::failed)
        cvlLog("open tabs: the snapshot could not be written");
}

// ---- the pre-loaded reader ------------------------------------------------------------------

void AppDelegate::scheduleWarmPrime(std::chrono::milliseconds after) {
    if (envIs("CVL_NO_WARM", "1")) return;
    const unsigned generation = ++warmGeneration_;  // replaces any pending prime
    Dispatch::main().asyncAfter(after, [this, generation, alive = alive_] {
        if (*alive && generation == warmGeneration_ && !quitting_) primeWarmReader();
    });
}

void AppDelegate::primeWarmReader() {
    if (shell_.hasWarmReader() || !memoryIsComfortable()) return;
    const std::string warm = UserDirs::supportDir() + "/warm.pdf";
    if (!isRegularFile(warm)) {
        makeDirs(UserDirs::supportDir());
        if (Status written = writeFileAtomic(warm, makeWarmPDF()); !written) {
            cvlLog("warm reader: %s", written.error().c_str());
            return;
        }
    }
    ReaderAddressInputs in;
    in.readerPage = EngineLocator::readerHTMLPath();
    in.pdf = warm;
    in.orig = warm;
    in.darkScheme = darkScheme();
    shell_.primeWarmReader(ReaderAddress::build(in));
}

// ---- the end-to-end tests' driver -------------------------------------------------------------

// CVL_TEST_DRIVE names a script (the body of an async function) that end-to-end tests run in
// the first page that qualifies: a reader once it shows its document (again after each
// reload); with CVL_TEST_DRIVE_ON=review, history or welcome, a review, grid, history or welcome
// page. Its result (JSON) is written to CVL_TEST_DRIVE_OUT and the application quits. A script that
// returns nothing (null or undefined) leaves the application running and runs again in the
// next page that qualifies, so one script can follow a reader through its reloads.
// CVL_TEST_SNAPSHOT also keeps a picture of the window as the script left it.
void AppDelegate::runTestDriver(ReviewWC& wc) {
    const std::string script = envValue("CVL_TEST_DRIVE");
    const std::string out = envValue("CVL_TEST_DRIVE_OUT");
    if (script.empty() || out.empty()) return;
    testDriverStarted_ = true;
    auto body = readFile(script);
    auto tab = tabOf(wc);
    if (!body || !tab) return;
    const int tabId = *tab;
    shell_.callAsync(
        tabId, *body, [this, out, tabId, alive = alive_](std::optional<std::string> result) {
            if (!*alive) return;
            if (!result || *result == "null") {
                testDriverStarted_ = false;  // not done yet: the next qualifying page runs it
                return;
            }
            if (Status written = writeFileAtomic(out, result.value_or("null")); !written)
                cvlLog("test driver: %s", written.error().c_str());
            const std::string shot = envValue("CVL_TEST_SNAPSHOT");
            if (shot.empty()) return shell_.quit();
            shell_.snapshotTab(tabId, shot, [this, alive](bool) {
                if (*alive) shell_.quit();
            });
        });
}

}  // namespace cvl
