#include "memory/HistoryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_map>

#include "memory/FileStamp.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/UserDirs.h"

namespace cvl {

using nlohmann::json;

struct HistoryStore::State {
    std::string dir;
    std::function<double()> clock;
    std::function<void(std::chrono::milliseconds, Task)> scheduleAfter;
    Dispatch::Queue* queue = nullptr;

    // Everything below is touched only on the queue.
    std::unordered_map<std::string, HistoryRow> rows;
    bool loaded = false;
    bool dirty = false;
    bool flushScheduled = false;
    bool closed = false;
    std::int64_t trimmed = 0;
    bool setsLoaded = false;
    std::set<std::string> favs;
    std::set<std::string> pins;
};

namespace {

using State = HistoryStore::State;

// The store whose task is running on this thread, so that a synchronous call made from inside
// a store task runs in place instead of waiting for itself.
thread_local const State* tlsRunning = nullptr;

double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string dumpJson(const json& j) {
    return jsonText(j);
}

std::optional<json> readJsonFile(const std::string& path) {
    auto text = readFile(path);
    if (!text) return std::nullopt;
    json j = json::parse(*text, nullptr, false);
    if (j.is_discarded()) return std::nullopt;
    return j;
}

void load(State& s) {
    if (s.loaded) return;
    s.loaded = true;
    auto j = readJsonFile(s.dir + "/history.json");
    if (!j || !j->is_object()) return;
    auto rows = j->find("rows");
    if (rows == j->end() || !rows->is_array()) return;
    if (auto t = j->find("trimmed"); t != j->end() && t->is_number())
        s.trimmed = t->get<std::int64_t>();
    s.rows.reserve(rows->size());
    for (const auto& r : *rows) {
        if (!r.is_object()) continue;
        auto p = r.find("path");
        if (p == r.end() || !p->is_string()) continue;
        HistoryRow row;
        row.path = p->get<std::string>();
        auto str = [&](const char* key, std::string fallback) {
            auto it = r.find(key);
            return it != r.end() && it->is_string() ? it->get<std::string>() : fallback;
        };
        auto num = [&](const char* key, double fallback) {
            auto it = r.find(key);
            return it != r.end() && it->is_number() ? it->get<double>() : fallback;
        };
        row.name = str("name", lastPathComponent(row.path));
        row.ext = str("ext", lowerExtension(row.path));
        row.folder = str("folder", parentPath(row.path));
        row.mode = str("mode", "");
        auto dir = r.find("dir");
        row.isDir = dir != r.end() && dir->is_boolean() && dir->get<bool>();
        auto size = r.find("size");
        row.size = size != r.end() && size->is_number() ? size->get<std::int64_t>() : 0;
        row.first = num("first", 0);
        row.last = num("last", 0);
        auto n = r.find("n");
        row.count = n != r.end() && n->is_number() ? n->get<std::int64_t>() : 1;
        s.rows[row.path] = std::move(row);
    }
}

std::set<std::string> readPathSet(const std::string& path) {
    std::set<std::string> out;
    auto j = readJsonFile(path);
    if (!j || !j->is_array()) return out;
    for (const auto& v : *j) {
        if (!v.is_string()) return {};
        out.insert(v.get<std::string>());
    }
    return out;
}

void loadSets(State& s) {
    if (s.setsLoaded) return;
    s.setsLoaded = true;
    s.favs = readPathSet(s.dir + "/favorites.json");
    s.pins = readPathSet(s.dir + "/pins.json");
}

void savePathSet(const State& s, const std::set<std::string>& set, const char* name) {
    if (s.closed) return;
    makeDirs(s.dir);
    json arr = json::array();
    for (const auto& p : set) arr.push_back(p);
    (void)writeFileAtomic(s.dir + "/" + name, dumpJson(arr));
}

// The first `limit` rows, most recently opened first.
std::vector<const HistoryRow*> recentRows(const State& s, std::size_t limit) {
    std::vector<const HistoryRow*> out;
    out.reserve(s.rows.size());
    for (const auto& [_, row] : s.rows) out.push_back(&row);
    auto newer = [](const HistoryRow* a, const HistoryRow* b) {
        return a->last != b->last ? a->last > b->last : a->path < b->path;
    };
    if (limit < out.size()) {
        std::partial_sort(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(limit), out.end(),
                          newer);
        out.resize(limit);
    } else {
        std::sort(out.begin(), out.end(), newer);
    }
    return out;
}

std::vector<HistoryRow> sortedRows(const State& s) {
    std::vector<HistoryRow> out;
    auto ptrs = recentRows(s, s.rows.size());
    out.reserve(ptrs.size());
    for (const auto* r : ptrs) out.push_back(*r);
    return out;
}

json rowJson(const HistoryRow& r) {
    return json{{"path", r.path}, {"name", r.name},     {"ext", r.ext},   {"dir", r.isDir},
                {"size", r.size}, {"folder", r.folder}, {"mode", r.mode}, {"first", r.first},
                {"last", r.last}, {"n", r.count}};
}

// Writes the bytes to history.json.tmp and renames it over history.json, so that a crash
// leaves either the old or the new file, never a truncated one. If the rename fails the data
// is written in place.
void replaceHistoryFile(const std::string& dir, const std::string& data) {
    makeDirs(dir);
    std::string tmp = dir + "/history.json.tmp";
    std::string target = dir + "/history.json";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t w = ::write(fd, data.data() + done, data.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0)
            ok = false;
        else
            done += static_cast<size_t>(w);
    }
    if (ok) ok = ::fsync(fd) == 0;
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (ok && ::rename(tmp.c_str(), target.c_str()) == 0) return;
    ::unlink(tmp.c_str());
    (void)writeFileAtomic(target, data);
}

void flush(State& s) {
    if (!s.dirty || s.closed) return;
    s.dirty = false;
    auto rows = recentRows(s, s.rows.size());
    if (rows.size() > HistoryStore::kHardCap) {
        s.trimmed += static_cast<std::int64_t>(rows.size() - HistoryStore::kHardCap);
        std::vector<std::string> dropped;
        for (size_t i = HistoryStore::kHardCap; i < rows.size(); ++i)
            dropped.push_back(rows[i]->path);
        rows.resize(HistoryStore::kHardCap);
        for (const auto& p : dropped) s.rows.erase(p);
    }
    json arr = json::array();
    for (const HistoryRow* r : rows) arr.push_back(rowJson(*r));
    json doc{{"v", 1}, {"updated", s.clock()}, {"trimmed", s.trimmed}, {"rows", std::move(arr)}};
    replaceHistoryFile(s.dir, dumpJson(doc));
}

void scheduleFlush(const std::shared_ptr<State>& sp) {
    if (sp->flushScheduled || sp->closed) return;
    sp->flushScheduled = true;
    std::weak_ptr<State> weak = sp;
    sp->scheduleAfter(HistoryStore::kFlushInterval, [weak] {
        auto s = weak.lock();
        if (!s) return;
        s->queue->async([s] {
            tlsRunning = s.get();
            s->flushScheduled = false;
            flush(*s);
            tlsRunning = nullptr;
        });
    });
}

void runAsync(const std::shared_ptr<State>& sp, std::function<void(State&)> fn) {
    sp->queue->async([sp, fn = std::move(fn)] {
        tlsRunning = sp.get();
        fn(*sp);
        tlsRunning = nullptr;
    });
}

void runSync(const std::shared_ptr<State>& sp, const std::function<void(State&)>& fn) {
    if (tlsRunning == sp.get()) {
        fn(*sp);
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    sp->queue->async([&] {
        tlsRunning = sp.get();
        fn(*sp);
        tlsRunning = nullptr;
        done.set_value();
    });
    finished.wait();
}

}  // namespace

HistoryStore& HistoryStore::shared() {
    static HistoryStore store;
    return store;
}

HistoryStore::HistoryStore(Options options) : state_(std::make_shared<State>()) {
    state_->dir = options.dir.empty() ? UserDirs::supportDir() : options.dir;
    state_->clock = options.clock ? std::move(options.clock) : systemNow;
    state_->queue = &Dispatch::serial("history");
    if (options.scheduleAfter) {
        state_->scheduleAfter = std::move(options.scheduleAfter);
    } else {
        Dispatch::Queue* q = state_->queue;
        state_->scheduleAfter = [q](std::chrono::milliseconds d, Task t) {
            q->asyncAfter(d, std::move(t));
        };
    }
}

HistoryStore::~HistoryStore() {
    runSync(state_, [](State& s) {
        flush(s);
        s.closed = true;
    });
}

const std::string& HistoryStore::directory() const {
    return state_->dir;
}

void HistoryStore::record(const std::string& path, bool isDir, const std::string& mode,
                          std::optional<double> now) {
    std::string p = standardizePath(path);
    if (p.empty()) return;
    auto sp = state_;
    runAsync(sp, [sp, p, isDir, mode, now](State& s) {
        load(s);
        std::int64_t size = 0;
        if (!isDir) {
            struct stat st;
            if (::stat(p.c_str(), &st) == 0) size = static_cast<std::int64_t>(st.st_size);
        }
        double ts = now ? *now : s.clock();
        auto it = s.rows.find(p);
        HistoryRow row;
        row.path = p;
        row.name = lastPathComponent(p);
        row.ext = lowerExtension(p);
        row.isDir = isDir;
        row.size =
            (size < 1 && it != s.rows.end()) ? it->second.size : std::max<std::int64_t>(size, 0);
        row.folder = parentPath(p);
        row.mode = mode;
        row.first = it != s.rows.end() ? it->second.first : ts;
        row.last = ts;
        row.count = it != s.rows.end() ? it->second.count + 1 : 1;
        s.rows[p] = std::move(row);
        s.dirty = true;
        scheduleFlush(sp);
    });
}

void HistoryStore::forget(const std::string& path) {
    std::string p = standardizePath(path);
    auto sp = state_;
    runAsync(sp, [sp, p](State& s) {
        load(s);
        s.rows.erase(p);
        s.dirty = true;
        scheduleFlush(sp);
    });
}

void HistoryStore::clear() {
    auto sp = state_;
    runAsync(sp, [sp](State& s) {
        load(s);
        s.rows.clear();
        s.dirty = true;
        scheduleFlush(sp);
    });
}

void HistoryStore::migrateRecentsIfNeeded(std::vector<RecentEntry> entries) {
    auto sp = state_;
    runAsync(sp, [sp, entries = std::move(entries)](State& s) {
        load(s);
        if (!s.rows.empty() || entries.empty()) return;
        for (const auto& e : entries) {
            if (e.path.empty()) continue;
            HistoryRow row;
            row.path = e.path;
            row.name = lastPathComponent(e.path);
            row.ext = lowerExtension(e.path);
            row.isDir = e.isDir;
            row.folder = parentPath(e.path);
            row.mode = "recent";
            row.first = row.last = e.ts;
            row.count = 1;
            s.rows[e.path] = std::move(row);
        }
        s.dirty = true;
        scheduleFlush(sp);
    });
}

std::vector<HistoryRow> HistoryStore::all() {
    std::vector<HistoryRow> out;
    runSync(state_, [&](State& s) {
        load(s);
        out = sortedRows(s);
    });
    return out;
}

std::size_t HistoryStore::count() {
    std::size_t n = 0;
    runSync(state_, [&](State& s) {
        load(s);
        n = s.rows.size();
    });
    return n;
}

std::int64_t HistoryStore::trimmed() {
    std::int64_t n = 0;
    runSync(state_, [&](State& s) {
        load(s);
        n = s.trimmed;
    });
    return n;
}

std::string HistoryStore::json(std::size_t limit) {
    std::string out;
    runSync(state_, [&](State& s) {
        load(s);
        loadSets(s);
        std::size_t total = s.rows.size();
        auto rows = recentRows(s, limit);
        nlohmann::json list = nlohmann::json::array();
        std::set<std::string> listed;
        auto decorate = [&](nlohmann::json& obj, const std::string& path) {
            obj["gone"] = !pathExists(path);
            obj["fav"] = s.favs.count(path) > 0;
            obj["pin"] = s.pins.count(path) > 0;
        };
        for (const HistoryRow* r : rows) {
            auto obj = rowJson(*r);
            decorate(obj, r->path);
            list.push_back(std::move(obj));
            listed.insert(r->path);
        }
        std::set<std::string> extra = s.favs;
        extra.insert(s.pins.begin(), s.pins.end());
        for (const auto& p : extra) {
            if (listed.count(p)) continue;
            HistoryRow r;
            r.path = p;
            r.name = lastPathComponent(p);
            r.ext = lowerExtension(p);
            r.folder = parentPath(p);
            auto obj = rowJson(r);
            decorate(obj, p);
            list.push_back(std::move(obj));
        }
        nlohmann::json doc{{"v", 1},
                           {"total", total},
                           {"trimmed", s.trimmed},
                           {"favs", s.favs.size()},
                           {"pins", s.pins.size()},
                           {"rows", std::move(list)}};
        try {
            out = doc.dump();
        } catch (const std::exception&) {
            out = "{\"v\":1,\"rows\":[]}";
        }
    });
    return out;
}

std::vector<std::string> HistoryStore::favorites() {
    std::vector<std::string> out;
    runSync(state_, [&](State& s) {
        loadSets(s);
        out.assign(s.favs.begin(), s.favs.end());
    });
    return out;
}

std::vector<std::string> HistoryStore::pinnedPaths() {
    std::vector<std::string> out;
    runSync(state_, [&](State& s) {
        loadSets(s);
        out.assign(s.pins.begin(), s.pins.end());
    });
    return out;
}

namespace {

bool setMember(const std::shared_ptr<State>& sp, bool pins, const std::string& path,
               std::optional<bool> on) {
    bool now = false;
    runSync(sp, [&](State& s) {
        loadSets(s);
        auto& set = pins ? s.pins : s.favs;
        bool want = on ? *on : !set.count(path);
        if (want)
            set.insert(path);
        else
            set.erase(path);
        savePathSet(s, set, pins ? "pins.json" : "favorites.json");
        now = set.count(path) > 0;
    });
    return now;
}

bool hasMember(const std::shared_ptr<State>& sp, bool pins, const std::string& path) {
    bool in = false;
    runSync(sp, [&](State& s) {
        loadSets(s);
        in = (pins ? s.pins : s.favs).count(path) > 0;
    });
    return in;
}

}  // namespace

bool HistoryStore::setFavorite(const std::string& path, bool on) {
    return setMember(state_, false, path, on);
}
bool HistoryStore::setPinned(const std::string& path, bool on) {
    return setMember(state_, true, path, on);
}
bool HistoryStore::toggleFavorite(const std::string& path) {
    return setMember(state_, false, path, std::nullopt);
}
bool HistoryStore::togglePinned(const std::string& path) {
    return setMember(state_, true, path, std::nullopt);
}
bool HistoryStore::isFavorite(const std::string& path) {
    return hasMember(state_, false, path);
}
bool HistoryStore::isPinned(const std::string& path) {
    return hasMember(state_, true, path);
}

void HistoryStore::clearPins() {
    runSync(state_, [](State& s) {
        loadSets(s);
        s.pins.clear();
        savePathSet(s, s.pins, "pins.json");
    });
}

void HistoryStore::flushNow() {
    runSync(state_, [](State& s) { flush(s); });
}

}  // namespace cvl
