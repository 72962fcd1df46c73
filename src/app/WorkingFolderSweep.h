// The working folder collects the host's generated pages (welcome, loading, panels, history)
// and the engine's exchange files. Each is needed only while its window or run lives, so
// copies older than a day are removed at start-up; everything else in the folder is left alone.
#pragma once

#include <chrono>
#include <string>

namespace cvl::WorkingFolderSweep {

inline constexpr std::chrono::hours kMaxAge{24};

// True for the name of a page the host generates: hidden, of one of the host's kinds
// (".welcome-", ".loading-", ".ask-", ...), a unique part, then ".html".
bool isGeneratedPageName(const std::string& name);

// True for a name the host or an engine run generates: a generated page, or an engine exchange
// file (".topdf-", ".grid-", ...) with a unique part, ending in ".json".
bool isGeneratedName(const std::string& name);

// Removes generated regular files in `folder` last modified before `now - maxAge`; returns how
// many went. Unreadable folders and files that cannot be removed are skipped.
int sweep(const std::string& folder, std::chrono::system_clock::time_point now,
          std::chrono::seconds maxAge = kMaxAge);

}  // namespace cvl::WorkingFolderSweep
