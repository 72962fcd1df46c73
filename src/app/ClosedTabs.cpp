#include "app/ClosedTabs.h"

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/UserDirs.h"

namespace cvl {

nlohmann::json closedTabDictionary(const ClosedTab& tab) {
    nlohmann::json d{{"kind", tab.kind}, {"paths", tab.paths}, {"title", tab.title}};
    if (tab.view) d["view"] = *tab.view;
    if (tab.mode) d["mode"] = *tab.mode;
    return d;
}

std::optional<ClosedTab> parseClosedTab(const nlohmann::json& dict) {
    if (!dict.is_object()) return std::nullopt;
    auto kind = dict.find("kind");
    auto paths = dict.find("paths");
    if (kind == dict.end() || !kind->is_string() || paths == dict.end() || !paths->is_array())
        return std::nullopt;
    ClosedTab tab;
    tab.kind = kind->get<std::string>();
    for (const auto& p : *paths)
        if (p.is_string()) tab.paths.push_back(p.get<std::string>());
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto it = dict.find(key);
        if (it == dict.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    tab.view = text("view");
    tab.mode = text("mode");
    tab.title = text("title").value_or("");
    return tab;
}

ClosedTabStack::ClosedTabStack(std::string path)
    : path_(path.empty() ? UserDirs::supportDir() + "/closed-tabs.json" : std::move(path)) {}

void ClosedTabStack::load() {
    entries_.clear();
    auto text = readFile(path_);
    if (!text) return;
    nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
    if (!doc.is_array()) return;
    for (const auto& item : doc)
        if (auto tab = parseClosedTab(item)) entries_.push_back(std::move(*tab));
    if (entries_.size() > kDepth)
        entries_.erase(entries_.begin(), entries_.end() - static_cast<long>(kDepth));
}

void ClosedTabStack::push(ClosedTab tab) {
    entries_.push_back(std::move(tab));
    if (entries_.size() > kDepth)
        entries_.erase(entries_.begin(), entries_.end() - static_cast<long>(kDepth));
    (void)save();
}

std::optional<ClosedTab> ClosedTabStack::pop() {
    if (entries_.empty()) return std::nullopt;
    ClosedTab tab = std::move(entries_.back());
    entries_.pop_back();
    (void)save();
    return tab;
}

Status ClosedTabStack::save() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& tab : entries_) list.push_back(closedTabDictionary(tab));
    makeDirs(parentPath(path_));
    return writeFileAtomic(path_, jsonText(list, 2));
}

}  // namespace cvl
