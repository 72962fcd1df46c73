// Version snapshots: whole-file copies of an open PDF, kept per document so that the user can
// go back to an earlier state. A copy is named "<mtime>-<size>__<file name>"; at most one copy
// per (mtime, size) is kept, at most 8 per document, none older than 7 days.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl {

struct VersionSnapshot {
    std::string path;      // full path of the copy
    std::int64_t mtime{};  // the document's modification time when copied (the date)
    std::int64_t size{};   // bytes
};

inline constexpr int kMaxVersionSnapshots = 8;
inline constexpr std::int64_t kVersionMaxAgeSeconds = 604800;

// ~/Library/Application Support/Corvello/versions
std::string versionStoreRoot();
// The document's folder (root + "/" + cvlStableHash(path)), created when asked for.
std::string versionStoreDir(const std::string& docPath);

// Copies the PDF into its folder unless this (mtime, size) is already kept; prunes after a new
// copy. True when a new copy was made. Non-PDFs, empty and unreadable files are refused.
[[nodiscard]] bool snapshotVersionFile(const std::string& docPath);

// Keeps the 8 newest stamps and deletes copies made more than 7 days before `now`. Copies are
// aged by their own modification time, which is set when the copy is made (Linux file systems
// offer no settable creation date). Errors are ignored.
void pruneVersionStore(const std::string& dir, std::time_t now = std::time(nullptr));

// The document's copies, newest first; an unreadable folder gives none.
std::vector<VersionSnapshot> listVersionSnapshots(const std::string& docPath);

// A notice for the desktop host to show.
struct VersionNotice {
    std::string id;
    std::string title;
    std::string text;
};

// Shown by "Restore previous version" when the document has no copies.
VersionNotice noVersionsNotice(const std::string& docPath);

// The menu shown when copies exist.
inline constexpr const char* kRestoreMenuTitle = "Restore previous version";
// One menu item: the snapshot's date and time, and its size ("5 Dec 2026, 14:03 · 1.2 MB").
std::string versionMenuItemTitle(const VersionSnapshot& snapshot);

// The confirmation asked before a restore.
struct VersionConfirm {
    std::string title;
    std::string text;
    std::string verb;
};
VersionConfirm restoreConfirmation(const std::string& docPath);

// Restores a copy over the document: banks the current version, copies the snapshot to
// "<doc>.cvlrestore.tmp" beside it and renames that over the document, so the document is
// only ever replaced by a complete copy. On failure the notice to show is returned.
std::optional<VersionNotice> restoreVersion(const std::string& docPath,
                                            const std::string& snapshotPath);

}  // namespace cvl
