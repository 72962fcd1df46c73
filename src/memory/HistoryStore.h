// The history store: every document and folder the user opened (when first and last, how
// often, size and kind) plus the favourite and pinned sets. An in-memory map behind one serial
// queue, backed by history.json, favorites.json and pins.json in the support folder; changes
// are written together a few seconds after the first of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

struct HistoryRow {
    std::string path;        // standardised absolute path; the key
    std::string name;        // last path component
    std::string ext;         // lower-cased extension
    bool isDir = false;      // "dir"
    std::int64_t size = 0;   // bytes when last opened; 0 for folders or when unreadable
    std::string folder;      // parent folder
    std::string mode;        // "open", or "recent" for rows migrated from the old recents list
    double first = 0;        // Unix seconds of the first record
    double last = 0;         // Unix seconds of the latest record
    std::int64_t count = 0;  // "n": times recorded
};

// One entry of the old recents list handed over at launch.
struct RecentEntry {
    std::string path;
    bool isDir = false;
    double ts = 0;
};

class HistoryStore {
  public:
    static constexpr std::size_t kHardCap = 50000;
    static constexpr std::chrono::milliseconds kFlushInterval{4000};
    static constexpr std::size_t kDefaultJsonLimit = 5000;

    using Task = std::function<void()>;
    struct Options {
        // Folder of the three files; empty: the support folder, fixed when the store is made.
        std::string dir;
        // Unix time in seconds; empty: the system clock.
        std::function<double()> clock;
        // Runs a task after a delay; empty: the store queue's own timer. The task may run on
        // any thread (it hops to the store queue itself).
        std::function<void(std::chrono::milliseconds, Task)> scheduleAfter;
    };

    // The process-wide store over the user's support folder.
    static HistoryStore& shared();

    explicit HistoryStore(Options options = {});
    // Writes pending changes and stops later timers from touching the files.
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Asynchronous. Standardises the path (an empty result is ignored) and updates its row.
    void record(const std::string& path, bool isDir, const std::string& mode = "open",
                std::optional<double> now = std::nullopt);
    void forget(const std::string& path);
    // Removes every row; the trimmed counter stays.
    void clear();
    // Adds the entries as "recent" rows, only while the history is empty.
    void migrateRecentsIfNeeded(std::vector<RecentEntry> entries);

    // Synchronous; must not be called from the store queue's own tasks.
    std::vector<HistoryRow> all();  // most recently opened first
    std::size_t count();
    std::int64_t trimmed();
    // The history page's document: rows cut to `limit` plus favourites and pins not among them.
    std::string json(std::size_t limit = kDefaultJsonLimit);
    std::vector<std::string> favorites();
    std::vector<std::string> pinnedPaths();
    bool setFavorite(const std::string& path, bool on);
    bool setPinned(const std::string& path, bool on);
    bool toggleFavorite(const std::string& path);
    bool togglePinned(const std::string& path);
    bool isFavorite(const std::string& path);
    bool isPinned(const std::string& path);
    void clearPins();
    // Writes at once when there are unwritten changes.
    void flushNow();

    const std::string& directory() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace cvl
