// The per-user preferences store: a JSON object in the support folder ("preferences.json"),
// written atomically. Holds a few lists and flags besides the settings file: recent items,
// pinned folders, and keys that other subsystems keep (updater, prompts).
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

struct RecentItem {
    std::string path;
    bool dir = false;
    double ts = 0;  // seconds since 1970
};

namespace UserPrefs {

std::string path();

// The raw value of a key; none when absent or when the store is unreadable.
std::optional<nlohmann::json> value(const std::string& key);
// Sets (or, with a null value, removes) a key; false when the store could not be written.
bool setValue(const std::string& key, const nlohmann::json& value);
bool removeValue(const std::string& key);

std::optional<bool> boolValue(const std::string& key);
std::optional<std::string> stringValue(const std::string& key);
// The text elements of an array value (other elements are skipped); empty when absent.
std::vector<std::string> stringList(const std::string& key);

// Newest first. When "recentItems" is absent, the older "recentFolders" list is read as
// folders stamped with the current time.
std::vector<RecentItem> recentItems();
bool setRecentItems(const std::vector<RecentItem>& items);
// Moves (or adds) `path` to the front of the recent list, keeping at most `limit` entries.
bool recordRecent(const std::string& path, bool isDir, double now, size_t limit = 40);

std::vector<std::string> pinnedFolders();
bool setPinnedFolders(const std::vector<std::string>& folders);

// Whether windows reopen after a quit ("NSQuitAlwaysKeepsWindows"); true unless stored false.
bool quitAlwaysKeepsWindows();

}  // namespace UserPrefs
}  // namespace cvl
