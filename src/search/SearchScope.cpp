#include "search/SearchScope.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "platform/FileIO.h"
#include "platform/Text.h"

namespace cvl::SearchScope {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// Folders that the desktop treats as single documents.
bool isPackage(const std::string& name) {
    static const char* const kExts[] = {"app",   "bundle",  "framework", "plugin",       "rtfd",
                                        "pages", "numbers", "key",       "photoslibrary"};
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    const std::string ext = asciiLower(name.substr(dot + 1));
    return std::find(std::begin(kExts), std::end(kExts), ext) != std::end(kExts);
}

bool walk(const std::string& dir, const std::function<bool(const std::string&)>& visit, int depth) {
    std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
    if (!d || depth > 64) return true;
    std::vector<std::pair<std::string, bool>> entries;  // (name, is a folder to enter)
    while (dirent* e = readdir(d.get())) {
        std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        // Only folders and regular files (also through links) are walked: a pipe waits for a
        // writer forever and a link to a device never ends.
        bool folder = e->d_type == DT_DIR;
        bool file = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            const std::string path = dir + "/" + name;
            if (e->d_type == DT_UNKNOWN && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                folder = true;
            else
                file = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (!folder && !file) continue;
        entries.emplace_back(std::move(name), folder);
    }
    d.reset();
    std::sort(entries.begin(), entries.end());
    std::string prefix = dir.empty() || dir.back() != '/' ? dir + "/" : dir;
    for (const auto& [name, folder] : entries) {
        std::string path = prefix + name;
        if (!visit(path)) return false;
        if (folder && !isPackage(name) && !walk(path, visit, depth + 1)) return false;
    }
    return true;
}

}  // namespace

bool enumerate(const std::string& dir, const std::function<bool(const std::string&)>& visit) {
    return walk(dir, visit, 0);
}

std::vector<std::string> collect(const std::vector<std::string>& dirs,
                                 const std::vector<std::string>& explicitFiles,
                                 std::int64_t maxFiles,
                                 const std::function<bool(const std::string&)>& acceptFile,
                                 const std::function<bool(const std::string&)>& acceptEntry,
                                 const std::function<bool(const std::string&)>& onCollected) {
    std::vector<std::string> list;
    std::unordered_set<std::string> seen;
    bool stopped = false;
    auto add = [&](const std::string& path) {
        seen.insert(path);
        list.push_back(path);
        if (onCollected && !onCollected(path)) stopped = true;
    };
    for (const auto& f : explicitFiles) {
        if (stopped) return list;
        if (pathExists(f) && !seen.count(f) && acceptFile(f)) add(f);
    }
    for (const auto& dir : dirs) {
        if (stopped || static_cast<std::int64_t>(list.size()) >= maxFiles) break;
        bool full = false;
        enumerate(dir, [&](const std::string& path) {
            if (static_cast<std::int64_t>(list.size()) >= maxFiles) {
                full = true;
                return false;
            }
            if (!seen.count(path) && acceptEntry(path)) add(path);
            return !stopped;
        });
        if (full || stopped) break;
    }
    return list;
}

}  // namespace cvl::SearchScope
