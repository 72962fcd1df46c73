// The load stamp: which file a window loaded, with its modification time and size then, so that
// saving in place never replaces a file that changed on disk behind the window's back.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "window/Dialogs.h"
#include "window/WindowHandle.h"

namespace cvl {

// The key under which per-window state is kept: the window's bridge identity, else its number.
std::string windowKey(const WindowSnapshot& window);

struct LoadStamp {
    std::string path;
    std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the epoch
    std::int64_t size = 0;
    long long loadGen = 0;  // the reader load it belongs to
};

// The file's current attributes as a stamp; none when they cannot be read.
std::optional<LoadStamp> currentStamp(const std::string& path);

// Has the file changed since `stamp` was taken? False without a stamp or for a stamp of another
// path. Changed means: the modification time moved by more than one second, or the size differs.
// A file whose attributes cannot be read counts as changed.
bool diskChangedSinceLoad(const std::optional<LoadStamp>& stamp, const std::string& path);

// The stamps of the open windows, by window key (its bridge identity).
class LoadStamps {
  public:
    static LoadStamps& shared();
    // Stamps the file for the window now (a load, or a save through this program).
    void stampLoadedFile(const std::string& window, const std::string& path, long long loadGen = 0);
    // Stamps only when the window has no stamp for this load generation and path yet.
    void stampIfNew(const std::string& window, const std::string& path, long long loadGen);
    std::optional<LoadStamp> stamp(const std::string& window) const;
    void forget(const std::string& window);

  private:
    mutable std::mutex lock_;
    std::unordered_map<std::string, LoadStamp> stamps_;
};

// The overwrite guard: `done(true)` at once when the file has not changed since the window's
// stamp. Otherwise a destructive sheet asks; confirming re-stamps the file and answers true.
void okToOverwriteInPlace(const std::string& window, const std::string& path, Dialogs& dialogs,
                          std::function<void(bool)> done);

}  // namespace cvl
