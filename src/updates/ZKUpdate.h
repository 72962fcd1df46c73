// The self-updater: reads the appcast from the update feed, compares versions, downloads and
// verifies the archive, stages the new install directory and swaps it in with a shell script
// that waits for this process to exit. Installs are held while the host reports live work,
// and a swap that does not take is counted and no longer retried automatically after three
// attempts. Checks run on the updater's serial queue; hooks and dialogs on the main queue.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "updates/ZKAppcast.h"
#include "updates/ZKSwap.h"

namespace cvl {

struct ZKUpdateConfig {
    std::string feedBase;    // where appcasts live; empty turns the updater off
    std::string appKey;      // "corvello"; empty disables the updater
    std::string signingKey;  // the pinned raw Ed25519 public key (32 bytes)
    std::chrono::seconds checkInterval{21600};
    std::chrono::milliseconds firstCheckDelay{20000};
    std::string logPath;                              // the trace file
    std::optional<std::string> targetBundlePath;      // the install directory to replace
    std::optional<int> targetPID;                     // the process to wait for; none: this one
    std::optional<std::string> headlessRestartLabel;  // a systemd user unit to restart
    std::string runningVersion;
    std::string runningBuild;
    std::string systemVersion;  // compared with the appcast's minimum
    std::string caBundle;       // trusted roots for the feed; empty: the system's
    int swapWaitSeconds = 180;
    std::string tempDir = "/tmp";
    std::string copyTool = "/bin/cp";
    // The Debian package the program belongs to: nothing is ever swapped, the package manager
    // updates it. `packageProbe` (optional) finds it on the updater queue at start.
    std::optional<std::string> managedByPackage;
    std::function<std::optional<std::string>()> packageProbe;
};

struct ZKUpdateHooks {
    std::function<bool()> autoEnabled;  // background checks may run (default: ZKUpdateAutoCheck)
    std::function<void(const std::string&)> onStatus;
    std::function<void()> onPendingUpdate;
    std::function<void(const std::string& version)> onJustUpdated;
    std::function<void()> onPolicyChanged;
    std::function<bool()> shouldDeferInstall;
    std::function<bool()> mustNotInstallNow;  // live work
    std::function<bool()> isActive;           // the application is in front
    std::function<void(const std::string& title, const std::string& text)> presentNotice;
    // A question with two buttons; the answer is true for `yes`.
    std::function<void(const std::string& title, const std::string& text, const std::string& yes,
                       const std::string& no, std::function<void(bool)> answer)>
        presentConfirm;
    // Asks the application to quit; false when the quit was refused.
    std::function<bool()> requestQuit;
    std::function<void()> exitNow;                    // default: exit the process
    std::function<void(const std::string&)> onTrace;  // each trace message, as it is written
};

// How one check ended, for callers that wait for it (the command line, tests).
struct ZKCheckOutcome {
    // "off", "busy", "unreachable", "up-to-date", "newer-on-disk", "paused",
    // "needs-newer-system", "available", "failed", "held", "declined", "swapping",
    // "installed", "not-installed", "package-managed"
    std::string kind;
    std::string status;   // the status line it set (may be empty)
    std::string version;  // the appcast's version, when one was read
    long long build = 0;
    std::string error;
};

enum class ZKCheckKind {
    Background,   // the timers: policy preferences apply, installs relaunch in the background
    Interactive,  // the menu: asks before installing, alerts for every outcome
    ReportOnly,   // stops before downloading and reports what is available
    InstallNow,   // installs a newer version at once, in this process, without relaunch
};

class ZKUpdate : public std::enable_shared_from_this<ZKUpdate> {
  public:
    static std::shared_ptr<ZKUpdate> create(ZKUpdateConfig config, ZKUpdateHooks hooks);
    ~ZKUpdate();

    // Once at launch: the post-swap check, then a background check after the first delay
    // and every check interval.
    void start();
    void checkNow(bool interactive);
    // Any kind of check; `done` (optional) gets its outcome on the main queue.
    void check(ZKCheckKind kind, std::function<void(const ZKCheckOutcome&)> done = {});
    void checkIfStale(std::chrono::seconds olderThan);
    // Installs a held update now, relaunching in front; with none held, checks interactively.
    void installPendingNow();
    // While the application terminates: installs a held update without relaunch.
    void installPendingOnQuitIfAny();

    std::string currentVersionString() const;
    bool isChecking() const;
    std::string status() const;
    const ZKUpdateConfig& config() const { return config_; }
    // Why the updater does nothing; none when it is on.
    std::optional<std::string> offReason() const;

    bool hasPendingUpdate() const;
    std::string pendingUpdateVersion() const;
    std::string pendingUpdateNotes() const;
    std::string pendingUpdateNotesURL() const;
    bool pendingUpdateIsCritical() const;
    // The menu item for a held update ("Install v2.0 and Relaunch"); none when none is held.
    std::optional<std::string> pendingMenuTitle() const;

    // The policy preferences; setters fire the policy hook.
    bool autoCheck() const;
    bool autoDownload() const;
    bool autoInstall() const;
    bool silentWhenActive() const;
    bool fullyAutomatic() const;
    void setAutoCheck(bool on);
    void setAutoDownload(bool on);
    void setAutoInstall(bool on);
    void setSilentWhenActive(bool on);

    // Waits until every trace line so far is in the trace file.
    void flushTrace() const;

    // The status-line time: "checked " + local time as "h:mma" + " · ".
    static std::string checkedPrefix();

  private:
    struct State;
    ZKUpdate(ZKUpdateConfig config, ZKUpdateHooks hooks);

    ZKUpdateConfig config_;
    ZKUpdateHooks hooks_;
    std::unique_ptr<State> state_;
    std::string feedURL() const;
    std::optional<std::string> managedBy() const;
    void continueStart();
    // The answer for a program that the package manager updates.
    void packageManaged(bool interactive, const std::string& package,
                        const std::function<void(const ZKCheckOutcome&)>& done);
    void trace(const std::string& message) const;
    void setStatus(const std::string& text);
    void finish(const ZKCheckOutcome& outcome,
                const std::function<void(const ZKCheckOutcome&)>& done);
    void scheduleBackgroundCheck(std::chrono::milliseconds delay);
    void runCheck(ZKCheckKind kind, std::function<void(const ZKCheckOutcome&)> done);
    void decide(ZKCheckKind kind, const ZKAppcast& cast, const std::string& workFolder,
                const std::string& candidate, std::function<void(const ZKCheckOutcome&)> done);
    void hold(const ZKAppcast& cast, const std::string& workFolder, const std::string& candidate,
              const std::optional<std::string>& status);
    // Starts the swap; a failure's message says why nothing was started.
    struct SwapResult {
        bool ok = false;
        std::string error;
        std::optional<ZKSwapEnd> end;  // for a swap run in this process
    };
    SwapResult swap(const std::string& version, const std::string& workFolder,
                    const std::string& candidate, ZKRelaunch relaunch, bool waitHere);
    void alert(bool interactive, const std::string& title, const std::string& text);
    void onMain(std::function<void()> task) const;
};

}  // namespace cvl
