#include "app/OpenTabs.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "app/UserPrefs.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"

namespace cvl {
namespace {

std::string dumpJSON(const nlohmann::json& j, int indent = -1) {
    return jsonText(j, indent);
}

}  // namespace

std::optional<std::string> openTabsRestoreReason(const std::optional<std::string>& savedBuild,
                                                 const std::string& build, bool cleanQuit,
                                                 std::optional<double> quitAge, bool discard,
                                                 bool keepWindows) {
    if (discard) return std::nullopt;
    bool oldQuit = !quitAge || *quitAge < 0 || *quitAge >= 600;
    if (savedBuild == build || (cleanQuit && oldQuit)) {
        if (cleanQuit && keepWindows) return "relaunch";
        return std::nullopt;
    }
    return "update";
}

std::string openTabsPath() {
    std::string over = envValue("CVL_OPEN_TABS_PATH");
    return over.empty() ? UserDirs::supportDir() + "/open-tabs.json" : over;
}

nlohmann::json openTabDictionary(const OpenTabRow& row) {
    nlohmann::json d = closedTabDictionary(row.tab);
    if (row.group) d["group"] = *row.group;
    d["selected"] = row.selected;
    return d;
}

std::vector<OpenTabRow> restorableRows(const nlohmann::json& tabs) {
    std::vector<OpenTabRow> rows;
    if (!tabs.is_array()) return rows;
    for (const auto& item : tabs) {
        auto tab = parseClosedTab(item);
        if (!tab || tab->paths.empty() || !pathExists(tab->paths.front())) continue;
        OpenTabRow row;
        row.tab = std::move(*tab);
        if (auto g = item.find("group"); g != item.end() && g->is_number_integer())
            row.group = g->get<long long>();
        if (auto s = item.find("selected"); s != item.end() && s->is_boolean())
            row.selected = s->get<bool>();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<RestoreWindow> groupRows(const std::vector<OpenTabRow>& rows) {
    std::vector<RestoreWindow> windows;
    std::map<long long, size_t> windowOfGroup;
    for (const OpenTabRow& row : rows) {
        size_t index;
        if (row.group && windowOfGroup.count(*row.group)) {
            index = windowOfGroup[*row.group];
        } else {
            index = windows.size();
            windows.emplace_back();
            if (row.group) windowOfGroup[*row.group] = index;
        }
        RestoreWindow& w = windows[index];
        if (row.selected) w.selected = w.tabs.size();
        w.tabs.push_back(row);
    }
    return windows;
}

void OpenTabsKeeper::say(const std::string& line) const {
    if (log)
        log(line);
    else
        cvlLog("%s", line.c_str());
}

std::optional<OpenTabsRestorePlan> OpenTabsKeeper::decideRestore(const std::string& build,
                                                                 double now) {
    auto stop = [this]() -> std::optional<OpenTabsRestorePlan> {
        launchRead_ = true;
        return std::nullopt;
    };
    if (!envValue("CVL_TEST").empty() && envValue("CVL_TEST_RESTORE") != "1") return stop();
    if (!cfgBool("remember_closed_tabs", true)) return stop();

    const std::string path = openTabsPath();
    auto text = readFile(path);
    if (!text) return stop();
    nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
    if (!doc.is_object()) return stop();
    auto savedBuild = doc.find("build");
    auto tabs = doc.find("tabs");
    if (savedBuild == doc.end() || !savedBuild->is_string() || tabs == doc.end() ||
        !tabs->is_array())
        return stop();

    auto boolKey = [&](const char* key) {
        auto it = doc.find(key);
        return it != doc.end() && it->is_boolean() && it->get<bool>();
    };
    const std::string saved = savedBuild->get<std::string>();
    const bool cleanQuit = boolKey("clean_quit");
    const bool discard = boolKey("discard");
    std::optional<double> quitAge;
    if (auto w = doc.find("written"); w != doc.end() && w->is_number())
        quitAge = now - w->get<double>();
    const bool keepWindows = UserPrefs::quitAlwaysKeepsWindows();

    auto reason = openTabsRestoreReason(saved, build, cleanQuit, quitAge, discard, keepWindows);
    if (discard || !reason) {
        say("open tabs: not restored (saved build " + saved + ", clean quit " +
            (cleanQuit ? "true" : "false") + ", keep windows " + (keepWindows ? "true" : "false") +
            ")");
        return stop();
    }

    std::vector<OpenTabRow> rows = restorableRows(*tabs);
    if (rows.empty()) return stop();

    // Stamp the list before anything reopens, so that a restore that crashes is seen as a
    // same-build unclean quit next time and never repeats.
    doc["build"] = build;
    doc["clean_quit"] = false;
    doc.erase("discard");
    if (!writeFileAtomic(path, dumpJSON(doc, 2))) {
        say("open tabs: not restored (could not stamp the list first)");
        return stop();
    }

    restoring_ = true;
    OpenTabsRestorePlan plan;
    plan.reason = *reason;
    plan.savedRows = tabs->size();
    plan.windows = groupRows(rows);
    return plan;
}

void OpenTabsKeeper::finishRestore(const OpenTabsRestorePlan& plan, size_t reopened,
                                   const std::string& frontApp) {
    say("open tabs: restored " + std::to_string(reopened) + " of " +
        std::to_string(plan.savedRows) + " saved (" + plan.reason + ")" +
        (frontApp.empty() ? "" : "; " + frontApp));
    restoring_ = false;
    launchRead_ = true;
}

OpenTabsKeeper::WriteOutcome OpenTabsKeeper::writeOpenTabs(bool cleanQuit, bool discard,
                                                           const std::vector<OpenTabRow>& tabs,
                                                           const std::string& build, double now) {
    const std::string path = openTabsPath();
    if (!cfgBool("remember_closed_tabs", true)) {
        ::unlink(path.c_str());
        lastWritten_.clear();
        return WriteOutcome::removed;
    }
    if (!launchRead_ || restoring_) return WriteOutcome::refused;

    nlohmann::json doc{{"build", build}, {"clean_quit", cleanQuit}, {"discard", discard}};
    nlohmann::json list = nlohmann::json::array();
    if (!discard)
        for (const auto& row : tabs) list.push_back(openTabDictionary(row));
    doc["tabs"] = list;
    std::string identity = dumpJSON(doc);
    if (identity == lastWritten_ && pathExists(path)) return WriteOutcome::unchanged;
    doc["written"] = now;

    makeDirs(parentPath(path));
    errno = 0;
    if (!writeFileAtomic(path, dumpJSON(doc, 2))) {
        say("open tabs: write failed (" + std::to_string(errno ? errno : -1) + "); will retry");
        return WriteOutcome::failed;
    }
    lastWritten_ = identity;
    return WriteOutcome::written;
}

}  // namespace cvl
