#include "updates/CvlLiveWork.h"

#include <cstdio>
#include <vector>

#include "platform/SysLog.h"

namespace cvl {

std::optional<std::string> CvlLiveWorkPolicy::holdReason(int unsavedEditors, int signingRuns) {
    if (signingRuns == 1) return std::string("signed copies are being written");
    if (signingRuns > 1) return std::to_string(signingRuns) + " signed-copy runs are being written";
    if (unsavedEditors == 1) return std::string("a document has unsaved edits");
    if (unsavedEditors > 1) return std::to_string(unsavedEditors) + " documents have unsaved edits";
    return std::nullopt;
}

void CvlLiveWork::noteEditorDirty(const void* editor, bool dirty) {
    std::lock_guard<std::mutex> hold(lock_);
    if (dirty)
        dirtyEditors_.insert(editor);
    else
        dirtyEditors_.erase(editor);
}

void CvlLiveWork::noteSigningRun(const void* run, bool running) {
    std::lock_guard<std::mutex> hold(lock_);
    if (running)
        signingRuns_.insert(run);
    else
        signingRuns_.erase(run);
}

void CvlLiveWork::forget(const void* object) {
    std::lock_guard<std::mutex> hold(lock_);
    dirtyEditors_.erase(object);
    signingRuns_.erase(object);
}

std::optional<std::string> CvlLiveWork::holdReason() const {
    std::lock_guard<std::mutex> hold(lock_);
    return CvlLiveWorkPolicy::holdReason(static_cast<int>(dirtyEditors_.size()),
                                         static_cast<int>(signingRuns_.size()));
}

bool CvlLiveWork::mustNotInstallNow() const {
    auto reason = holdReason();
    cvlLogWithPrefix("[ZKUpdate] ", "live work: %s", reason ? reason->c_str() : "none");
    return reason.has_value();
}

std::function<bool()> CvlLiveWork::updaterHook() const {
    return [this] { return mustNotInstallNow(); };
}

LiveWorkMark::LiveWorkMark(Kind kind) : kind_(kind) {
    if (kind_ == Kind::UnsavedEdits)
        CvlLiveWork::shared().noteEditorDirty(this, true);
    else
        CvlLiveWork::shared().noteSigningRun(this, true);
}

LiveWorkMark::~LiveWorkMark() {
    CvlLiveWork::shared().forget(this);
}

CvlLiveWork& CvlLiveWork::shared() {
    static CvlLiveWork record;
    return record;
}

int liveWorkSelftest() {
    std::vector<std::string> failures;
    auto expect = [&](const std::optional<std::string>& got, const char* want,
                      const std::string& what) {
        std::string shown = got ? "\"" + *got + "\"" : "none";
        std::string wanted = want ? "\"" + std::string(want) + "\"" : "none";
        if (shown != wanted) failures.push_back(what + ": " + shown + ", want " + wanted);
    };
    using CvlLiveWorkPolicy::holdReason;
    expect(holdReason(0, 0), nullptr, "nothing live");
    expect(holdReason(1, 0), "a document has unsaved edits", "one unsaved editor");
    expect(holdReason(3, 0), "3 documents have unsaved edits", "three unsaved editors");
    expect(holdReason(0, 1), "signed copies are being written", "one signing run");
    expect(holdReason(5, 1), "signed copies are being written", "a signing run beats editors");
    expect(holdReason(2, 2), "2 signed-copy runs are being written", "two signing runs");

    CvlLiveWork work;
    int editorA = 0, editorB = 0, run = 0;
    work.noteEditorDirty(&editorA, true);
    work.noteEditorDirty(&editorA, true);  // the same editor counts once
    expect(work.holdReason(), "a document has unsaved edits", "one editor marked twice");
    work.noteEditorDirty(&editorB, true);
    expect(work.holdReason(), "2 documents have unsaved edits", "two dirty editors");
    work.noteSigningRun(&run, true);
    expect(work.holdReason(), "signed copies are being written", "a run with dirty editors");
    work.noteSigningRun(&run, false);
    work.noteEditorDirty(&editorB, false);
    expect(work.holdReason(), "a document has unsaved edits", "after a save and a finished run");
    work.forget(&editorA);
    expect(work.holdReason(), nullptr, "after the last editor is forgotten");
    if (work.mustNotInstallNow()) failures.push_back("install held with nothing live");
    work.noteSigningRun(&run, true);
    if (!work.updaterHook()()) failures.push_back("install allowed during a signing run");

    for (const auto& f : failures) std::printf("FAIL %s\n", f.c_str());
    std::printf("CvlLiveWork selftest: %s\n", failures.empty() ? "PASS" : "FAIL");
    return failures.empty() ? 0 : 1;
}

}  // namespace cvl
