#include "app/UserPrefs.h"

#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/UserDirs.h"

namespace cvl::UserPrefs {
namespace {

std::mutex& storeLock() {
    static std::mutex m;
    return m;
}

nlohmann::json readStore() {
    auto text = readFile(path());
    if (!text) return nlohmann::json::object();
    nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
    return doc.is_object() ? doc : nlohmann::json::object();
}

bool writeStore(const nlohmann::json& doc) {
    if (!makeDirs(UserDirs::supportDir())) return false;
    std::string text = jsonText(doc, 2);
    return writeFileAtomic(path(), text + "\n").ok();
}

double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string path() {
    return UserDirs::supportDir() + "/preferences.json";
}

std::optional<nlohmann::json> value(const std::string& key) {
    std::lock_guard lock(storeLock());
    nlohmann::json doc = readStore();
    auto it = doc.find(key);
    if (it == doc.end()) return std::nullopt;
    return *it;
}

bool setValue(const std::string& key, const nlohmann::json& v) {
    std::lock_guard lock(storeLock());
    nlohmann::json doc = readStore();
    if (v.is_null())
        doc.erase(key);
    else
        doc[key] = v;
    return writeStore(doc);
}

bool removeValue(const std::string& key) {
    return setValue(key, nullptr);
}

std::optional<bool> boolValue(const std::string& key) {
    auto v = value(key);
    if (v && v->is_boolean()) return v->get<bool>();
    return std::nullopt;
}

std::optional<std::string> stringValue(const std::string& key) {
    auto v = value(key);
    if (v && v->is_string()) return v->get<std::string>();
    return std::nullopt;
}

std::vector<std::string> stringList(const std::string& key) {
    std::vector<std::string> out;
    auto v = value(key);
    if (!v || !v->is_array()) return out;
    for (const auto& e : *v)
        if (e.is_string()) out.push_back(e.get<std::string>());
    return out;
}

std::vector<RecentItem> recentItems() {
    std::vector<RecentItem> items;
    if (auto v = value("recentItems")) {
        if (!v->is_array()) return items;
        for (const auto& e : *v) {
            if (!e.is_object()) continue;
            auto p = e.find("path");
            if (p == e.end() || !p->is_string()) continue;
            RecentItem item{p->get<std::string>()};
            if (auto d = e.find("dir"); d != e.end() && d->is_boolean()) item.dir = d->get<bool>();
            if (auto t = e.find("ts"); t != e.end() && t->is_number()) item.ts = t->get<double>();
            items.push_back(std::move(item));
        }
        return items;
    }
    double now = systemNow();
    for (const std::string& folder : stringList("recentFolders"))
        items.push_back(RecentItem{folder, true, now});
    return items;
}

bool setRecentItems(const std::vector<RecentItem>& items) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& item : items)
        list.push_back({{"path", item.path}, {"dir", item.dir}, {"ts", item.ts}});
    return setValue("recentItems", list);
}

bool recordRecent(const std::string& p, bool isDir, double now, size_t limit) {
    std::vector<RecentItem> items = recentItems();
    std::erase_if(items, [&](const RecentItem& i) { return i.path == p; });
    items.insert(items.begin(), RecentItem{p, isDir, now});
    if (items.size() > limit) items.resize(limit);
    return setRecentItems(items);
}

std::vector<std::string> pinnedFolders() {
    return stringList("pinnedFolders");
}

bool setPinnedFolders(const std::vector<std::string>& folders) {
    return setValue("pinnedFolders", nlohmann::json(folders));
}

bool quitAlwaysKeepsWindows() {
    // This desktop has no system setting behind it, so windows come back unless the user
    // stored false; quitting with Alt held still forgets them.
    return boolValue("NSQuitAlwaysKeepsWindows").value_or(true);
}

}  // namespace cvl::UserPrefs
