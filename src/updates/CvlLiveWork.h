// Live work the updater must not end: editors with unsaved edits and running signed-copy
// runs. The updater asks through its must-not-install hook; the answer names the reason.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "updates/ZKUpdate.h"

namespace cvl {

namespace CvlLiveWorkPolicy {
// The reason to hold an install, signing runs first; none when nothing is live.
std::optional<std::string> holdReason(int unsavedEditors, int signingRuns);
}  // namespace CvlLiveWorkPolicy

class CvlLiveWork {
  public:
    // Objects are known by identity only; they are never dereferenced.
    void noteEditorDirty(const void* editor, bool dirty);
    void noteSigningRun(const void* run, bool running);
    void forget(const void* object);
    std::optional<std::string> holdReason() const;
    // The updater's must-not-install answer: true exactly when there is a reason; each answer
    // is logged as "[ZKUpdate] live work: ...".
    bool mustNotInstallNow() const;
    // The hook to install in the updater; it holds this record weakly by reference, so the
    // record must outlive the updater (the application's shared one does).
    std::function<bool()> updaterHook() const;
    // Installs that hook as the updater's must-not-install answer.
    void wireUpdater(ZKUpdateHooks& hooks) const { hooks.mustNotInstallNow = updaterHook(); }

    // The application's record.
    static CvlLiveWork& shared();

  private:
    mutable std::mutex lock_;
    std::set<const void*> dirtyEditors_;
    std::set<const void*> signingRuns_;
};

// Live work in the application's record for as long as the mark lives: unsaved edits on their
// way to disk, or a signing run writing its copies. Held by the work's callbacks, so that work
// dropped on the way (its window closed) is not counted for ever.
class LiveWorkMark {
  public:
    enum class Kind { UnsavedEdits, SigningRun };
    explicit LiveWorkMark(Kind kind);
    ~LiveWorkMark();
    LiveWorkMark(const LiveWorkMark&) = delete;
    LiveWorkMark& operator=(const LiveWorkMark&) = delete;

  private:
    Kind kind_;
};

// Checks the policy table and the record; prints each failure and returns 0 when all pass.
int liveWorkSelftest();

}  // namespace cvl
