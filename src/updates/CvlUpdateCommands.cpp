#include "updates/CvlUpdateCommands.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/Dispatch.h"
#include "updates/UpdaterSetup.h"
#include "updates/ZKAppcast.h"

namespace cvl {

int cvlUpdateMain(const std::vector<std::string>& args) {
    auto usage = [](const std::string& why) {
        std::fprintf(stderr, "cvl: %s\nusage: cvl %s\n", why.c_str(), kCvlUpdateUsage);
        return 2;
    };
    std::optional<std::string> command;
    std::string feed;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--feed") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return usage("--feed needs a URL");
            feed = args[++i];
        } else if (!command && (args[i] == "check" || args[i] == "install")) {
            command = args[i];
        } else {
            return usage("unexpected argument '" + args[i] + "'");
        }
    }
    if (!command) return usage("missing check or install");

    ZKUpdateConfig config = UpdaterSetup::configForThisProcess(feed);
    if (config.packageProbe) {
        config.managedByPackage = config.packageProbe();
        config.packageProbe = nullptr;
    }
    const bool install = *command == "install";
    ZKUpdateHooks hooks;
    hooks.onTrace = [](const std::string& m) { std::fprintf(stderr, "update: %s\n", m.c_str()); };
    auto updater = ZKUpdate::create(config, hooks);

    std::optional<ZKCheckOutcome> result;
    updater->check(install ? ZKCheckKind::InstallNow : ZKCheckKind::ReportOnly,
                   [&](const ZKCheckOutcome& o) { result = o; });
    Dispatch::manualMain()->runUntil([&] { return result.has_value(); }, std::chrono::hours(2));
    updater->flushTrace();
    if (!result) result = ZKCheckOutcome{"failed", "", "", 0, "the check did not finish"};
    if (result->kind == "off" && result->error.empty())
        result->error = updater->offReason().value_or("the updater is off");

    nlohmann::json out = {
        {"command", *command},
        {"outcome", result->kind},
        {"status", result->status},
        {"running", config.runningVersion + " (" + config.runningBuild + ")"},
        {"feed", config.feedBase.empty()
                     ? std::string()
                     : ZKAppcastFeed::appcastURL(config.feedBase, config.appKey)},
    };
    if (!result->version.empty()) {
        out["version"] = result->version;
        out["build"] = result->build;
    }
    if (!result->error.empty()) out["error"] = result->error;
    std::printf("%s\n", out.dump().c_str());
    static const char* const kSucceeded[] = {"up-to-date",    "available",       "installed",
                                             "newer-on-disk", "package-managed", "paused"};
    for (const char* k : kSucceeded)
        if (result->kind == k) return 0;
    return 1;
}

}  // namespace cvl
