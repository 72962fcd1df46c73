#include "app/WelcomePage.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/AppConstants.h"
#include "app/Brand.h"
#include "app/Config.h"
#include "app/EngineLocator.h"
#include "app/UserPrefs.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"

namespace cvl {
namespace {

std::string fragment(const nlohmann::json& value) {
    try {
        return value.dump();
    } catch (const nlohmann::json::exception&) {
        return "null";
    }
}

std::string decimalTime(double ts) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f", ts);
    return buf;
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

}  // namespace

std::optional<std::string> welcomeDemoProfile(const std::string& given,
                                              const std::vector<std::string>& args) {
    if (!given.empty()) return given;
    if (std::string env = envValue("CVL_DEMO"); !env.empty()) return env;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--demo") continue;
        if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) return args[i + 1];
        return std::string("qa");
    }
    return std::nullopt;
}

std::string welcomePrologue(const WelcomeInputs& in) {
    const Brand& brand = Brand::current();
    nlohmann::json brandJSON{
        {"name", brand.name}, {"tagline", brand.tagline}, {"modules", brand.modules}};

    nlohmann::json pins = nlohmann::json::array();
    for (const std::string& p : UserPrefs::pinnedFolders())
        pins.push_back({{"name", lastPathComponent(p)}, {"path", p}});

    nlohmann::json recents = nlohmann::json::array();
    for (const RecentItem& item : UserPrefs::recentItems()) {
        if (recents.size() == 12) break;
        recents.push_back({{"name", lastPathComponent(item.path)},
                           {"path", item.path},
                           {"kind", item.dir ? "folder" : "file"},
                           {"ts", decimalTime(item.ts)},
                           {"missing", pathExists(item.path) ? "" : "1"}});
    }

    nlohmann::json shape = cfgString("welcome_shape", "folded");
    nlohmann::json note = in.note ? nlohmann::json(*in.note) : nlohmann::json(nullptr);
    nlohmann::json demo = in.demo ? nlohmann::json(*in.demo) : nlohmann::json(nullptr);

    return "window.CVL_SHELL='mac';window.CVL_DESKTOP=true;\nwindow.CVL_BRAND=" +
           fragment(brandJSON) + ";\nwindow.CVL_PINS=" + fragment(pins) +
           ";\nwindow.CVL_RECENTS=" + fragment(recents) +
           ";\nwindow.CVL_FDA_TIP=" + (in.fullDiskAccessTip ? "true" : "false") +
           ";\nwindow.CVL_ACCEL_OPEN='Ctrl+O';\nwindow.CVL_WELCOME_SHAPE=" + fragment(shape) +
           ";\nwindow.CVL_NOTE=" + fragment(note) + ";\nwindow.CVL_DEMO=" + fragment(demo) + ";";
}

std::string welcomePageHTML(const std::string& prologue, const std::string& welcomeJS) {
    std::string script = welcomeJS;
    replaceAll(script, "</script>", "<\\/script>");
    const std::string fonts = "file://" + UserDirs::resourceDir() + "/engine/fonts/fonts.css";
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
           "<meta name=\"color-scheme\" content=\"light dark\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" +
           htmlEscape(Brand::current().name) +
           "</title>\n"
           "<link rel=\"stylesheet\" href=\"" +
           htmlEscape(fonts) +
           "\">\n"
           "<style>html,body{margin:0;min-height:100%;background:#f6f5f2;color:#1d1d1f}"
           "@media (prefers-color-scheme: dark){html,body{background:#1e1f21;color:#eee8de}}"
           "</style>\n</head><body>\n<script>" +
           prologue + "</script>\n<script>" + script + "</script>\n</body></html>";
}

std::string writeWelcomeFile(const std::optional<std::string>& note, const std::string& demo,
                             bool fullDiskAccessTip) {
    WelcomeInputs in{note, welcomeDemoProfile(demo, processArguments()), fullDiskAccessTip};
    const std::string archive = UserDirs::archiveDir();
    makeDirs(archive);
    std::string welcomeJS = readFile(EngineLocator::welcomeJSPath()).value_or("");
    std::string html = welcomePageHTML(welcomePrologue(in), welcomeJS);
    std::string path = archive + "/.welcome-" + newUuid() + ".html";
    (void)writeFileAtomic(path, html);
    return path;
}

}  // namespace cvl
