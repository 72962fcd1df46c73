#include "updates/ZKUpdate.h"

#include <unistd.h>

#include <signal.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/HttpClient.h"
#include "platform/ProcessRunner.h"
#include "platform/SysLog.h"
#include "updates/ZKInstallDir.h"
#include "updates/ZKStage.h"
#include "updates/ZKTrace.h"
#include "updates/ZKUpdatePrefs.h"
#include "updates/ZKVersion.h"

namespace cvl {
namespace {

constexpr int kMaxSwapAttempts = 3;

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

const char* yesNo(bool b) {
    return b ? "true" : "false";
}

std::string versionWithBuild(const std::string& version, long long build) {
    return "v" + version + " (" + std::to_string(build) + ")";
}

Dispatch::Queue& updaterQueue() {
    return Dispatch::serial("updater");
}

ZKCheckOutcome outcome(const std::string& kind, const std::string& status) {
    ZKCheckOutcome o;
    o.kind = kind;
    o.status = status;
    return o;
}

}  // namespace

struct ZKUpdate::State {
    struct Pending {
        ZKAppcast cast;
        std::string workFolder;
        std::string candidate;
    };
    mutable std::mutex lock;
    bool checking = false;
    bool swapStarted = false;
    std::string status;
    std::optional<Pending> pending;
    std::optional<std::string> managedBy;
    std::unique_ptr<ZKTrace> trace;
};

std::shared_ptr<ZKUpdate> ZKUpdate::create(ZKUpdateConfig config, ZKUpdateHooks hooks) {
    return std::shared_ptr<ZKUpdate>(new ZKUpdate(std::move(config), std::move(hooks)));
}

ZKUpdate::ZKUpdate(ZKUpdateConfig config, ZKUpdateHooks hooks)
    : config_(std::move(config)), hooks_(std::move(hooks)), state_(std::make_unique<State>()) {
    state_->trace = std::make_unique<ZKTrace>(config_.logPath, hooks_.onTrace);
    state_->managedBy = config_.managedByPackage;
    if (config_.swapWaitSeconds < 1 || config_.swapWaitSeconds > 180) config_.swapWaitSeconds = 180;
}

ZKUpdate::~ZKUpdate() = default;

std::string ZKUpdate::checkedPrefix() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d%s", hour, local.tm_min,
                  local.tm_hour < 12 ? "AM" : "PM");
    return std::string("checked ") + buf + " · ";
}

std::string ZKUpdate::feedURL() const {
    return ZKAppcastFeed::appcastURL(config_.feedBase, config_.appKey);
}

void ZKUpdate::trace(const std::string& message) const {
    (*state_->trace)(message);
}

void ZKUpdate::flushTrace() const {
    state_->trace->flush();
}

void ZKUpdate::onMain(std::function<void()> task) const {
    Dispatch::main().async([self = shared_from_this(), task = std::move(task)] { task(); });
}

void ZKUpdate::setStatus(const std::string& text) {
    {
        std::lock_guard hold(state_->lock);
        state_->status = text;
    }
    if (hooks_.onStatus) onMain([this, text] { hooks_.onStatus(text); });
}

void ZKUpdate::alert(bool interactive, const std::string& title, const std::string& text) {
    if (interactive && hooks_.presentNotice)
        onMain([this, title, text] { hooks_.presentNotice(title, text); });
}

void ZKUpdate::finish(const ZKCheckOutcome& outcome,
                      const std::function<void(const ZKCheckOutcome&)>& done) {
    {
        std::lock_guard hold(state_->lock);
        state_->checking = false;
    }
    if (done) onMain([done, outcome] { done(outcome); });
}

std::optional<std::string> ZKUpdate::managedBy() const {
    std::lock_guard hold(state_->lock);
    return state_->managedBy;
}

std::optional<std::string> ZKUpdate::offReason() const {
    if (config_.appKey.empty()) return "the updater has no app key";
    if (auto package = managedBy())
        return "updates come from the package manager (package " + *package + ")";
    if (config_.feedBase.empty()) return "no update feed is set (\"update_feed\" is empty)";
    return std::nullopt;
}

// ---- start-up

void ZKUpdate::start() {
    if (config_.appKey.empty()) {
        cvlLogWithPrefix("[ZKUpdate] ", "appKey not set; updater disabled");
        return;
    }
    const std::string& running = config_.runningVersion;
    if (auto expected = ZKUpdatePrefs::text(ZKUpdatePrefs::kJustUpdatedTo)) {
        ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, std::nullopt);
        if (ZKVersion::compare(*expected, running) == 0) {
            ZKUpdatePrefs::setText(ZKUpdatePrefs::kSwapFailVersion, std::nullopt);
            ZKUpdatePrefs::setSwapFailCount(std::nullopt);
            trace("running v" + running + " after a swap; update took");
            if (hooks_.onJustUpdated) onMain([this, running] { hooks_.onJustUpdated(running); });
        } else {
            long long n = ZKUpdatePrefs::text(ZKUpdatePrefs::kSwapFailVersion) == *expected
                              ? ZKUpdatePrefs::swapFailCount() + 1
                              : 1;
            ZKUpdatePrefs::setText(ZKUpdatePrefs::kSwapFailVersion, *expected);
            ZKUpdatePrefs::setSwapFailCount(n);
            trace("swap to v" + *expected + " did not take (attempt " + std::to_string(n) + " of " +
                  std::to_string(kMaxSwapAttempts) + "); still running v" + running);
            if (n >= kMaxSwapAttempts)
                setStatus("v" + *expected + " could not be installed after " + std::to_string(n) +
                          " attempts — automatic retries paused");
        }
    }
    if (config_.packageProbe) {
        // Asking dpkg takes a second: it runs on the updater queue, before any check.
        updaterQueue().async([self = shared_from_this()] {
            auto package = self->config_.packageProbe();
            {
                std::lock_guard hold(self->state_->lock);
                self->state_->managedBy = package;
            }
            self->onMain([self] { self->continueStart(); });
        });
        return;
    }
    continueStart();
}

void ZKUpdate::continueStart() {
    if (auto package = managedBy()) {
        trace("installed by the package " + *package + "; updates come from the package manager");
        setStatus("updates come from the package manager");
        return;
    }
    if (config_.feedBase.empty()) {
        trace("update_feed is empty; updater off");
        return;
    }
    scheduleBackgroundCheck(config_.firstCheckDelay);
}

void ZKUpdate::packageManaged(bool interactive, const std::string& package,
                              const std::function<void(const ZKCheckOutcome&)>& done) {
    trace("check requested, but the package " + package +
          " installed this program; updates come from the package manager");
    std::string status = "updates come from the package manager";
    setStatus(status);
    alert(interactive, "Updates come from the package manager",
          "Corvello was installed by the package “" + package +
              "”; your system's software updates keep it current.");
    if (done) onMain([done, status] { done(outcome("package-managed", status)); });
}

void ZKUpdate::scheduleBackgroundCheck(std::chrono::milliseconds delay) {
    std::weak_ptr<ZKUpdate> weak = weak_from_this();
    Dispatch::main().asyncAfter(delay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        bool enabled =
            self->hooks_.autoEnabled ? self->hooks_.autoEnabled() : ZKUpdatePrefs::autoCheck();
        if (enabled) self->checkNow(false);
        self->scheduleBackgroundCheck(
            std::chrono::duration_cast<std::chrono::milliseconds>(self->config_.checkInterval));
    });
}

// ---- checking

void ZKUpdate::checkNow(bool interactive) {
    check(interactive ? ZKCheckKind::Interactive : ZKCheckKind::Background);
}

void ZKUpdate::checkIfStale(std::chrono::seconds olderThan) {
    if (nowSeconds() - ZKUpdatePrefs::lastCheck() >= static_cast<double>(olderThan.count()))
        checkNow(false);
}

void ZKUpdate::check(ZKCheckKind kind, std::function<void(const ZKCheckOutcome&)> done) {
    bool interactive = kind != ZKCheckKind::Background;
    auto finishOff = [&](const std::string& kindName, const std::string& status) {
        if (done) onMain([done, kindName, status] { done(outcome(kindName, status)); });
    };
    if (config_.appKey.empty()) {
        trace("check requested but appKey is empty; updater disabled");
        return finishOff("off", "");
    }
    if (auto package = managedBy()) return packageManaged(interactive, *package, done);
    if (config_.feedBase.empty()) {
        trace("check requested but update_feed is empty; updater off");
        alert(interactive, "Updates are off",
              "No update feed is set. To check for updates, set \"update_feed\" in config.json "
              "to the address of the update feed.");
        return finishOff("off", "");
    }
    {
        std::lock_guard hold(state_->lock);
        if (state_->checking) {
            trace(std::string("check requested (interactive=") + yesNo(interactive) +
                  ") while a check is already in flight; not started");
            alert(interactive, "Already checking for updates",
                  "A check started a moment ago is still running. If it finds a newer build, "
                  "it will offer to install it.");
            if (done) onMain([done] { done(outcome("busy", "")); });
            return;
        }
        state_->checking = true;
    }
    trace(std::string("check started (interactive=") + yesNo(interactive) + ", feed " + feedURL() +
          ")");
    updaterQueue().async([self = shared_from_this(), kind, done = std::move(done)]() mutable {
        self->runCheck(kind, std::move(done));
    });
}

void ZKUpdate::runCheck(ZKCheckKind kind, std::function<void(const ZKCheckOutcome&)> done) {
    const bool interactive = kind != ZKCheckKind::Background;
    if (auto package = managedBy()) {  // learnt after the check was asked for
        {
            std::lock_guard hold(state_->lock);
            state_->checking = false;
        }
        return packageManaged(interactive, *package, done);
    }
    ZKUpdatePrefs::setLastCheck(nowSeconds());
    ZKCheckOutcome out;
    auto end = [&](const std::string& kindName, const std::string& status) {
        out.kind = kindName;
        out.status = status;
        if (!status.empty()) setStatus(status);
        finish(out, done);
    };

    // 1. The appcast.
    auto body = httpsGet({feedURL(), std::chrono::seconds(20), config_.caBundle, 1u << 20});
    Result<ZKAppcast> parsed =
        body ? ZKAppcastFeed::parse(*body) : Result<ZKAppcast>(Failure{body.error()});
    if (!parsed) {
        trace("feed " + feedURL() + " unreachable: " + parsed.error());
        out.error = parsed.error();
        alert(interactive, "Couldn't reach the update feed",
              "No update was applied. " + config_.feedBase +
                  " may be unreachable from this network; the app keeps working as-is.");
        return end("unreachable", checkedPrefix() + "feed unreachable");
    }
    const ZKAppcast cast = std::move(parsed.value());
    out.version = cast.version;
    out.build = cast.build;

    // 2. Newer than what runs?
    const std::string& running = config_.runningVersion;
    auto runningBuild = ZKVersion::parseBuild(config_.runningBuild);
    if (!runningBuild)
        trace("warning: BUILD is '" + config_.runningBuild +
              "' (not an integer); comparing as build 0");
    long long runBuild = runningBuild.value_or(0);
    int cmp = ZKVersion::compare(cast.version, running);
    if (cmp < 0 || (cmp == 0 && cast.build <= runBuild)) {
        alert(interactive, "You're up to date",
              versionWithBuild(running, runBuild) + " is the latest build.");
        return end("up-to-date", checkedPrefix() + "up to date (v" + running + ")");
    }

    // 3. A newer build already on disk waits for a relaunch.
    if (config_.targetBundlePath) {
        if (auto disk = ZKInstallDir::versionOf(*config_.targetBundlePath)) {
            long long diskBuild = ZKVersion::parseBuild(disk->build).value_or(0);
            int diskVsRunning = ZKVersion::compare(disk->version, running);
            int feedVsDisk = ZKVersion::compare(cast.version, disk->version);
            bool diskNewer = diskVsRunning > 0 || (diskVsRunning == 0 && diskBuild > runBuild);
            bool feedNotNewer = feedVsDisk < 0 || (feedVsDisk == 0 && cast.build <= diskBuild);
            if (diskNewer && feedNotNewer) {
                trace("feed " + versionWithBuild(cast.version, cast.build) +
                      " is not newer than the build on disk " +
                      versionWithBuild(disk->version, diskBuild) + "; leaving it");
                return end("newer-on-disk", checkedPrefix() + "a newer build is installed (v" +
                                                disk->version + "); relaunch to use it");
            }
        }
    }

    // 4. Three failed swaps pause automatic retries of this version.
    if (ZKUpdatePrefs::text(ZKUpdatePrefs::kSwapFailVersion) == cast.version &&
        ZKUpdatePrefs::swapFailCount() >= kMaxSwapAttempts) {
        std::string status = checkedPrefix() + "v" + cast.version +
                             " could not be installed — automatic retries paused";
        if (!interactive) return end("paused", status);
        setStatus(status);
    }

    // 5. The system must be new enough.
    if (!cast.minSystem.empty() && ZKVersion::compare(cast.minSystem, config_.systemVersion) > 0) {
        alert(interactive, "Update needs a newer system",
              "v" + cast.version + " requires glibc " + cast.minSystem + ".");
        return end("needs-newer-system",
                   checkedPrefix() + "v" + cast.version + " needs glibc " + cast.minSystem);
    }

    // 6. Only report what is available.
    if (kind == ZKCheckKind::ReportOnly ||
        (kind == ZKCheckKind::Background && !ZKUpdatePrefs::autoDownload())) {
        if (kind == ZKCheckKind::Background && hooks_.onPendingUpdate)
            onMain([this] { hooks_.onPendingUpdate(); });
        return end("available", "v" + cast.version + " available");
    }

    // 7. Download and verify.
    ZKStageSettings settings{config_.appKey, config_.signingKey, config_.tempDir, config_.caBundle};
    auto staged =
        ZKStage::downloadAndVerify(cast, settings, [this](const std::string& m) { trace(m); });
    if (!staged) {
        out.error = staged.error();
        trace("update failed: " + staged.error());
        alert(interactive, "Update failed", staged.error());
        return end("failed", checkedPrefix() + "failed: " + staged.error());
    }

    if (kind == ZKCheckKind::InstallNow) {
        ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, cast.version);
        SwapResult r =
            swap(cast.version, staged->folder, staged->candidate, ZKRelaunch::None, true);
        if (!r.ok) {
            ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, std::nullopt);
            out.error = r.error;
            return end("failed", checkedPrefix() + "failed: " + r.error);
        }
        if (r.end == ZKSwapEnd::Installed)
            return end("installed", "v" + cast.version + " installed");
        out.error = r.end == ZKSwapEnd::CopyRestored
                        ? "copying the new install failed; the previous install was restored"
                        : "the install directory could not be moved aside; nothing changed";
        return end("not-installed", checkedPrefix() + "failed: " + out.error);
    }

    // 8. and 9. Decide on the main queue, where the hooks and dialogs live.
    onMain([this, kind, cast, staged = staged.value(), done = std::move(done)] {
        decide(kind, cast, staged.folder, staged.candidate, done);
    });
}

void ZKUpdate::hold(const ZKAppcast& cast, const std::string& workFolder,
                    const std::string& candidate, const std::optional<std::string>& status) {
    {
        std::lock_guard lock(state_->lock);
        state_->pending = State::Pending{cast, workFolder, candidate};
    }
    if (hooks_.onPendingUpdate) onMain([this] { hooks_.onPendingUpdate(); });
    setStatus(status.value_or("v" + cast.version + " ready to install"));
}

void ZKUpdate::decide(ZKCheckKind kind, const ZKAppcast& cast, const std::string& workFolder,
                      const std::string& candidate,
                      std::function<void(const ZKCheckOutcome&)> done) {
    ZKCheckOutcome out{"held", "", cast.version, cast.build, ""};
    auto held = [&](const std::optional<std::string>& status) {
        hold(cast, workFolder, candidate, status);
        out.status = this->status();
        finish(out, done);
    };
    const bool background = kind == ZKCheckKind::Background;
    if (background && !ZKUpdatePrefs::autoInstall()) return held(std::nullopt);
    bool active = hooks_.isActive && hooks_.isActive();
    bool defer = hooks_.shouldDeferInstall && hooks_.shouldDeferInstall();
    if (background && ((ZKUpdatePrefs::silentWhenActive() && active) || defer))
        return held(std::nullopt);
    if (hooks_.mustNotInstallNow && hooks_.mustNotInstallNow()) {
        cvlLogWithPrefix("[ZKUpdate] ", "holding v%s: installing now would end live work",
                         cast.version.c_str());
        return held("v" + cast.version + " ready — holding while this computer is in use");
    }

    auto install = [self = shared_from_this(), cast, workFolder, candidate,
                    done](ZKRelaunch relaunch) {
        ZKCheckOutcome out{"swapping", "", cast.version, cast.build, ""};
        ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, cast.version);
        if (self->config_.targetPID && ::kill(*self->config_.targetPID, 0) != 0 && errno == ESRCH) {
            cvlLogWithPrefix("[ZKUpdate] ", "target was not running; installing without relaunch");
            relaunch = ZKRelaunch::None;
        }
        SwapResult r = self->swap(cast.version, workFolder, candidate, relaunch, false);
        if (!r.ok) {
            ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, std::nullopt);
            self->trace("update failed: " + r.error);
            self->alert(relaunch == ZKRelaunch::Front, "Update failed", r.error);
            out.kind = "failed";
            out.error = r.error;
            out.status = checkedPrefix() + "failed: " + r.error;
            self->setStatus(out.status);
            return self->finish(out, done);
        }
        self->finish(out, done);
        if (!self->config_.targetPID) {
            self->trace("quit requested so the staged update can install");
            bool quitting = self->hooks_.requestQuit && self->hooks_.requestQuit();
            if (!quitting) {
                self->trace(
                    "quit was refused (an unsaved document or a delegate said no); exiting so "
                    "the staged update can install");
                self->flushTrace();
                if (self->hooks_.exitNow)
                    self->hooks_.exitNow();
                else
                    std::exit(0);
            }
        }
    };

    if (kind == ZKCheckKind::Interactive) {
        if (!hooks_.presentConfirm) return held(std::nullopt);
        hooks_.presentConfirm(
            "A new version is available",
            versionWithBuild(cast.version, cast.build) +
                " is ready. Install it now? The app will relaunch.",
            "Install and Relaunch", "Later",
            [self = shared_from_this(), cast, workFolder, candidate, done, install](bool yes) {
                if (yes) return install(ZKRelaunch::Front);
                self->hold(cast, workFolder, candidate, std::nullopt);
                self->finish(ZKCheckOutcome{"held", self->status(), cast.version, cast.build, ""},
                             done);
            });
        return;
    }
    install(ZKRelaunch::Background);
}

// ---- swapping

ZKUpdate::SwapResult ZKUpdate::swap(const std::string& version, const std::string& workFolder,
                                    const std::string& candidate, ZKRelaunch relaunch,
                                    bool waitHere) {
    SwapResult result;
    {
        std::lock_guard lock(state_->lock);
        if (state_->swapStarted && !waitHere) {
            trace(
                "a swap is already staged for this process; re-asking to quit rather than "
                "spawning a second swapper");
            result.ok = true;
            return result;
        }
    }
    const auto& root = config_.targetBundlePath;
    if (!root || !ZKInstallDir::isSelfContained(*root)) {
        result.error = "not running from a self-contained install directory";
        return result;
    }
    if (::access(parentPath(*root).c_str(), W_OK) != 0) {
        result.error = "cannot replace " + *root + ": its folder is not writable";
        return result;
    }
    if (waitHere) {
        if (auto pid = ZKInstallDir::corvelloRunningFrom(*root)) {
            result.error = "Corvello is running from " + *root + " (pid " + std::to_string(*pid) +
                           "); quit it first";
            return result;
        }
    }
    if (!isDirectory(candidate)) {
        result.error = "the staged copy at " + candidate + " is gone";
        return result;
    }
    ZKSwapPlan plan;
    plan.pid = waitHere ? 0 : config_.targetPID.value_or(static_cast<int>(::getpid()));
    plan.waitSeconds = config_.swapWaitSeconds;
    plan.staged = candidate;
    plan.workFolder = workFolder;
    plan.destination = *root;
    plan.version = version;
    plan.logPath = config_.logPath;
    plan.relaunch = relaunch;
    if (relaunch != ZKRelaunch::None) plan.restartUnit = config_.headlessRestartLabel;
    plan.copyTool = config_.copyTool;
    ProcessSpec sh;
    sh.program = "/bin/sh";
    sh.args = {"-c", ZKSwap::script(plan)};
    flushTrace();  // the script appends to the same file

    if (waitHere) {
        trace("swapping " + *root + " now");
        flushTrace();
        ProcessResult r = runProcess(sh);
        if (!r.launched) {
            result.error = "the swap shell could not start: " + r.launchError;
            return result;
        }
        result.ok = true;
        result.end = static_cast<ZKSwapEnd>(r.exitStatus);
        return result;
    }
    auto pid = spawnDetached(sh);
    if (!pid) {
        result.error = "the swap shell could not start: " + pid.error();
        return result;
    }
    {
        std::lock_guard lock(state_->lock);
        state_->swapStarted = true;
        state_->pending.reset();
    }
    const char* how = relaunch == ZKRelaunch::Front        ? ", relaunch in front"
                      : relaunch == ZKRelaunch::Background ? ", relaunch in background"
                                                           : ", no relaunch";
    trace("swap shell spawned: waits for pid " + std::to_string(plan.pid) + ", then " + *root +
          how);
    result.ok = true;
    return result;
}

// ---- held updates

void ZKUpdate::installPendingNow() {
    std::optional<State::Pending> pending;
    {
        std::lock_guard lock(state_->lock);
        pending = state_->pending;
    }
    if (!pending) return checkNow(true);
    ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, pending->cast.version);
    SwapResult r = swap(pending->cast.version, pending->workFolder, pending->candidate,
                        ZKRelaunch::Front, false);
    if (!r.ok) {
        ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, std::nullopt);
        cvlLogWithPrefix("[ZKUpdate] ", "pending install failed: %s", r.error.c_str());
        return;
    }
    if (config_.targetPID) return;  // another process is updated; this one keeps running
    trace("quit requested so the staged update can install");
    if (!(hooks_.requestQuit && hooks_.requestQuit())) {
        trace(
            "quit was refused (an unsaved document or a delegate said no); exiting so the "
            "staged update can install");
        flushTrace();
        if (hooks_.exitNow)
            hooks_.exitNow();
        else
            std::exit(0);
    }
}

void ZKUpdate::installPendingOnQuitIfAny() {
    std::optional<State::Pending> pending;
    {
        std::lock_guard lock(state_->lock);
        pending = state_->pending;
    }
    if (!pending) return;
    ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, pending->cast.version);
    SwapResult r = swap(pending->cast.version, pending->workFolder, pending->candidate,
                        ZKRelaunch::None, false);
    if (!r.ok) {
        ZKUpdatePrefs::setText(ZKUpdatePrefs::kJustUpdatedTo, std::nullopt);
        cvlLogWithPrefix("[ZKUpdate] ", "on-quit install failed: %s", r.error.c_str());
    }
    flushTrace();
}

// ---- properties

std::string ZKUpdate::currentVersionString() const {
    return config_.runningVersion;
}

bool ZKUpdate::isChecking() const {
    std::lock_guard lock(state_->lock);
    return state_->checking;
}

std::string ZKUpdate::status() const {
    std::lock_guard lock(state_->lock);
    return state_->status;
}

bool ZKUpdate::hasPendingUpdate() const {
    std::lock_guard lock(state_->lock);
    return state_->pending.has_value();
}

std::string ZKUpdate::pendingUpdateVersion() const {
    std::lock_guard lock(state_->lock);
    return state_->pending ? state_->pending->cast.version : std::string();
}

std::string ZKUpdate::pendingUpdateNotes() const {
    std::lock_guard lock(state_->lock);
    return state_->pending ? state_->pending->cast.notes : std::string();
}

std::string ZKUpdate::pendingUpdateNotesURL() const {
    std::lock_guard lock(state_->lock);
    return state_->pending ? state_->pending->cast.notesURL : std::string();
}

bool ZKUpdate::pendingUpdateIsCritical() const {
    std::lock_guard lock(state_->lock);
    return state_->pending && state_->pending->cast.critical;
}

std::optional<std::string> ZKUpdate::pendingMenuTitle() const {
    std::string v = pendingUpdateVersion();
    if (v.empty()) return std::nullopt;
    return "Install v" + v + " and Relaunch";
}

bool ZKUpdate::autoCheck() const {
    return ZKUpdatePrefs::autoCheck();
}
bool ZKUpdate::autoDownload() const {
    return ZKUpdatePrefs::autoDownload();
}
bool ZKUpdate::autoInstall() const {
    return ZKUpdatePrefs::autoInstall();
}
bool ZKUpdate::silentWhenActive() const {
    return ZKUpdatePrefs::silentWhenActive();
}
bool ZKUpdate::fullyAutomatic() const {
    return ZKUpdatePrefs::fullyAutomatic();
}

static void setPolicy(const char* key, bool on, const std::function<void()>& changed) {
    ZKUpdatePrefs::setFlag(key, on);
    if (changed) Dispatch::main().async(changed);
}

void ZKUpdate::setAutoCheck(bool on) {
    setPolicy(ZKUpdatePrefs::kAutoCheck, on, hooks_.onPolicyChanged);
}
void ZKUpdate::setAutoDownload(bool on) {
    setPolicy(ZKUpdatePrefs::kAutoDownload, on, hooks_.onPolicyChanged);
}
void ZKUpdate::setAutoInstall(bool on) {
    setPolicy(ZKUpdatePrefs::kAutoInstall, on, hooks_.onPolicyChanged);
}
void ZKUpdate::setSilentWhenActive(bool on) {
    setPolicy(ZKUpdatePrefs::kSilentWhenActive, on, hooks_.onPolicyChanged);
}

}  // namespace cvl
