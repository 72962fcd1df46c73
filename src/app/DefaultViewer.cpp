#include "app/DefaultViewer.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "app/UserPrefs.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "platform/XdgTools.h"

namespace cvl::DefaultViewer {

using nlohmann::json;

const std::vector<Group>& groups() {
    static const std::vector<Group> all = {
        {"pdf", "PDF documents", {"application/pdf"}},
        {"word",
         "Word and RTF documents",
         {"application/vnd.openxmlformats-officedocument.wordprocessingml.document",
          "application/msword", "application/rtf", "text/rtf"}},
        {"text", "Text and Markdown", {"text/plain", "text/markdown"}},
        {"sheets",
         "Spreadsheets",
         {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
          "application/vnd.ms-excel", "text/csv"}},
    };
    return all;
}

std::vector<std::string> allTypes() {
    std::vector<std::string> out;
    for (const auto& g : groups()) out.insert(out.end(), g.types.begin(), g.types.end());
    return out;
}

const Group* group(const std::string& name) {
    for (const auto& g : groups())
        if (g.name == name) return &g;
    return nullptr;
}

DefaultLookup desktopLookup() {
    return [](const std::string& type) { return XdgTools::defaultApp(type); };
}

Claims claims(const DefaultLookup& lookup) {
    Claims c;
    for (const auto& g : groups()) {
        GroupClaim gc{g.name, g.label, 0, static_cast<int>(g.types.size())};
        for (const auto& type : g.types) {
            const bool ours = lookup(type) == std::optional<std::string>(kDesktopId);
            if (ours) ++gc.claimed;
            if (type == "application/pdf") c.pdf = ours;
        }
        c.claimed += gc.claimed;
        c.total += gc.total;
        c.groups.push_back(gc);
    }
    return c;
}

std::string groupsJSON(const Claims& claims) {
    json out = json::array();
    for (const auto& g : claims.groups)
        out.push_back(
            {{"name", g.name}, {"label", g.label}, {"claimed", g.claimed}, {"total", g.total}});
    return out.dump();
}

Prompt loadPrompt() {
    Prompt p;
    p.never = UserPrefs::boolValue(kNeverKey).value_or(false);
    if (auto v = UserPrefs::value(kNextAskKey); v && v->is_number()) p.nextAskAt = v->get<double>();
    if (auto v = UserPrefs::value(kSnoozesKey); v && v->is_number_integer())
        p.snoozes = v->get<int>();
    return p;
}

bool due(const Prompt& prompt, double now, bool alreadyDefaultForPdf) {
    if (prompt.never || alreadyDefaultForPdf) return false;
    return !prompt.nextAskAt || now >= *prompt.nextAskAt;
}

double snoozedUntil(int snoozes, double now) {
    const double days = snoozes <= 0 ? 3 : snoozes == 1 ? 14 : 60;
    return now + days * 86400;
}

void snooze(double now) {
    const Prompt p = loadPrompt();
    UserPrefs::setValue(kNextAskKey, snoozedUntil(p.snoozes, now));
    UserPrefs::setValue(kSnoozesKey, p.snoozes + 1);
}

void setNever(bool never) {
    UserPrefs::setValue(kNeverKey, never);
    UserPrefs::removeValue(kNextAskKey);
}

namespace {

std::vector<std::string> dataDirs() {
    std::vector<std::string> dirs;
    std::string home = envValue("XDG_DATA_HOME");
    dirs.push_back(home.empty() ? UserDirs::home() + "/.local/share" : home);
    std::string rest = envValue("XDG_DATA_DIRS");
    if (rest.empty()) rest = "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(':', start);
        if (end == std::string::npos) end = rest.size();
        if (end > start) dirs.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    return dirs;
}

std::string runningCorvello() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "corvello";
    const std::string self(buf, static_cast<size_t>(n));
    if (lastPathComponent(self) == "corvello") return self;
    const std::string sibling = parentPath(self) + "/corvello";
    return isRegularFile(sibling) ? sibling : "corvello";
}

// Quotes an Exec argument as the desktop entry specification asks.
std::string execQuote(const std::string& arg) {
    if (arg.find_first_of(" \t\"'\\$`") == std::string::npos) return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

Result<std::string> ensureDesktopEntry(const std::string& program) {
    const auto dirs = dataDirs();
    for (const auto& dir : dirs) {
        const std::string candidate = dir + "/applications/" + kDesktopId;
        if (isRegularFile(candidate)) return candidate;
    }
    auto text = readFile(UserDirs::resourceDir() + "/applications/" + kDesktopId);
    if (!text) return Failure{"Corvello’s desktop entry is missing from this build."};
    const std::string exec = execQuote(program.empty() ? runningCorvello() : program);
    std::string entry;
    size_t start = 0;
    while (start < text->size()) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        std::string line = text->substr(start, end - start);
        if (line.rfind("Exec=", 0) == 0) line = "Exec=" + exec + " %F";
        entry += line + "\n";
        start = end + 1;
    }
    const std::string folder = dirs.front() + "/applications";
    if (!makeDirs(folder)) return Failure{"The folder " + folder + " could not be made."};
    const std::string path = folder + "/" + kDesktopId;
    if (auto written = writeFileAtomic(path, entry); !written) return Failure{written.error()};
    return path;
}

Status becomeDefault(const std::vector<std::string>& mimeTypes) {
    if (auto entry = ensureDesktopEntry(); !entry) return Failure{entry.error()};
    return XdgTools::setDefaultApp(kDesktopId, mimeTypes);
}

}  // namespace cvl::DefaultViewer
