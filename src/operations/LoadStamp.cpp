#include "operations/LoadStamp.h"

#include <sys/stat.h>

#include <cstdlib>

#include "platform/FileIO.h"

namespace cvl {

std::string windowKey(const WindowSnapshot& window) {
    return !window.bridgeId.empty() ? window.bridgeId : "#" + std::to_string(window.number);
}

std::optional<LoadStamp> currentStamp(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    LoadStamp s;
    s.path = path;
    s.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.size = std::int64_t(st.st_size);
    return s;
}

bool diskChangedSinceLoad(const std::optional<LoadStamp>& stamp, const std::string& path) {
    if (!stamp || stamp->path != path) return false;
    auto now = currentStamp(path);
    if (!now) return true;
    return std::llabs(now->mtimeNs - stamp->mtimeNs) > 1000000000LL || now->size != stamp->size;
}

LoadStamps& LoadStamps::shared() {
    static LoadStamps stamps;
    return stamps;
}

void LoadStamps::stampLoadedFile(const std::string& window, const std::string& path,
                                 long long loadGen) {
    auto s = currentStamp(path);
    std::lock_guard guard(lock_);
    if (!s) {
        stamps_.erase(window);
        return;
    }
    s->loadGen = loadGen;
    stamps_[window] = *s;
}

void LoadStamps::stampIfNew(const std::string& window, const std::string& path, long long loadGen) {
    {
        std::lock_guard guard(lock_);
        auto it = stamps_.find(window);
        if (it != stamps_.end() && it->second.path == path && it->second.loadGen == loadGen) return;
    }
    stampLoadedFile(window, path, loadGen);
}

std::optional<LoadStamp> LoadStamps::stamp(const std::string& window) const {
    std::lock_guard guard(lock_);
    auto it = stamps_.find(window);
    if (it == stamps_.end()) return std::nullopt;
    return it->second;
}

void LoadStamps::forget(const std::string& window) {
    std::lock_guard guard(lock_);
    stamps_.erase(window);
}

void okToOverwriteInPlace(const std::string& window, const std::string& path, Dialogs& dialogs,
                          std::function<void(bool)> done) {
    auto stamp = LoadStamps::shared().stamp(window);
    if (!diskChangedSinceLoad(stamp, path)) {
        done(true);
        return;
    }
    const std::string name = lastPathComponent(path);
    ConfirmSheet sheet;
    sheet.title = "Saving would replace a newer \u201c" + name + "\u201d";
    sheet.message =
        "This file changed on disk after this window opened it, so what you see here is the "
        "older version. Close and reopen the document to work from the current one.";
    sheet.verb = "Overwrite \u201c" + name + "\u201d";
    sheet.destructive = true;
    sheet.cancelIsDefault = true;
    long long gen = stamp ? stamp->loadGen : 0;
    dialogs.confirm(sheet, [window, path, gen, done = std::move(done)](ConfirmAnswer answer) {
        if (answer == ConfirmAnswer::Cancel) {
            done(false);
            return;
        }
        LoadStamps::shared().stampLoadedFile(window, path, gen);
        done(true);
    });
}

}  // namespace cvl
