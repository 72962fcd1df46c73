#include "app/FlagDispatch.h"

#include <algorithm>
#include <cstdio>

#include "app/AppConstants.h"
#include "app/OpenTabs.h"
#include "memory/DocIdentity.h"
#include "night/CvlNight.h"
#include "updates/CvlLiveWork.h"
#include "updates/NoticeSelftest.h"

namespace cvl {
namespace {

// Modes whose subsystem is not part of this build answer honestly and fail.
int notAvailable(const FlagCall& call) {
    std::fprintf(stderr, "corvello: %s is not available in this build\n", call.flag.c_str());
    return 1;
}

int tabRestoreSelftest(const FlagCall&) {
    return runTabRestoreSelftest();
}

int identitySelftest(const FlagCall&) {
    return DocIdentity::selftest(stdout);
}

int nightSelftest(const FlagCall&) {
    return CvlNight::selftest();
}

int liveWorkSelftest(const FlagCall&) {
    return cvl::liveWorkSelftest();
}

int noticeSelftest(const FlagCall&) {
    return cvl::noticeSelftest();
}

int welcomeShot(const FlagCall& call) {
    auto options = parseWelcomeShotArgs(call.args);
    if (!options) {
        std::fprintf(stderr, "%s\n", options.error().c_str());
        return 2;
    }
    if (!call.desktop.welcomeShot) return notAvailable(call);
    return call.desktop.welcomeShot(*options);
}

int noticeShot(const FlagCall& call) {
    if (!call.desktop.noticeShot) return notAvailable(call);
    return call.desktop.noticeShot(call.next.value_or(""));
}

int printVersion(const FlagCall&) {
    std::printf("Corvello %s (build %s)\n", appConstants().version.c_str(),
                buildNumber().c_str());
    return 0;
}

const FlagRow kFlagTable[] = {
    {"--permission-lint", false, notAvailable},
    {"--night-selftest", false, nightSelftest},
    {"--finder-url-selftest", false, notAvailable},
    {"--selftest-live-work", false, liveWorkSelftest},
    {"--selftest-menu-kit", false, notAvailable},
    {"--shot-menu-kit", true, notAvailable},
    {"--selftest-notice", false, noticeSelftest},
    {"--notice-shot", true, noticeShot},
    {"--selftest-vault", false, notAvailable},
    {"--selftest-identity", false, identitySelftest},
    {"--selftest-signed-name", false, notAvailable},
    {"--selftest-tab-restore", false, tabRestoreSelftest},
    {"--permission-shot", false, notAvailable},
    {"--welcome-shot", false, welcomeShot},
    // Not a mode of the desktop application's own: what every Linux program answers.
    {"--version", false, printVersion},
};

// Index of `flag` among the arguments, or none.
std::optional<size_t> findArg(const std::vector<std::string>& args, const std::string& flag) {
    auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end()) return std::nullopt;
    return static_cast<size_t>(it - args.begin());
}

std::optional<std::string> nextArg(const std::vector<std::string>& args, const std::string& flag) {
    auto at = findArg(args, flag);
    if (!at || *at + 1 >= args.size()) return std::nullopt;
    return args[*at + 1];
}

bool startsWithDashes(const std::string& s) {
    return s.rfind("--", 0) == 0;
}

bool allDigits(const std::string& s) {
    return !s.empty() && s.size() <= 6 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::span<const FlagRow> flagTable() {
    return kFlagTable;
}

const FlagRow* matchFlag(const std::vector<std::string>& args) {
    for (const FlagRow& row : kFlagTable) {
        if (!findArg(args, row.flag)) continue;
        if (row.needsNext && !nextArg(args, row.flag)) continue;
        return &row;
    }
    return nullptr;
}

std::optional<int> runFlagMode(const std::vector<std::string>& args, const DesktopModes& desktop) {
    const FlagRow* row = matchFlag(args);
    if (!row) return std::nullopt;
    FlagCall call{args, row->flag, nextArg(args, row->flag), desktop};
    return row->run(call);
}

Result<WelcomeShotOptions> parseWelcomeShotArgs(const std::vector<std::string>& args) {
    WelcomeShotOptions o;
    auto out = nextArg(args, "--welcome-shot");
    if (!out || out->empty() || startsWithDashes(*out))
        return Failure{"--welcome-shot needs an output path"};
    o.out = *out;
    o.dark = findArg(args, "--dark").has_value();
    if (auto size = nextArg(args, "--size")) {
        std::vector<std::string> pieces;
        size_t start = 0;
        while (start <= size->size()) {
            size_t x = size->find('x', start);
            if (x == std::string::npos) x = size->size();
            if (x > start) pieces.push_back(size->substr(start, x - start));
            start = x + 1;
        }
        if (pieces.size() == 2 && allDigits(pieces[0]) && allDigits(pieces[1])) {
            o.width = std::stoi(pieces[0]);
            o.height = std::stoi(pieces[1]);
        }
    }
    if (auto demo = nextArg(args, "--demo"); demo && !startsWithDashes(*demo)) o.demo = *demo;
    o.wantTools = findArg(args, "--tab") && findArg(args, "tools");
    return o;
}

int runTabRestoreSelftest() {
    struct Case {
        const char* name;
        const char* savedBuild;
        const char* build;
        bool cleanQuit;
        std::optional<double> quitAge;
        bool discard;
        bool keepWindows;
        const char* expected;  // null: no restore
    };
    const Case cases[] = {
        {"installer killed the old build", "195", "196", false, std::nullopt, false, false,
         "update"},
        {"in-app updater quit then relaunched", "195", "196", true, 12, false, false, "update"},
        {"an old quit is not an update relaunch", "195", "196", true, 9000, false, false, nullptr},
        {"old quit, but macOS keeps windows", "195", "196", true, 9000, false, true, "relaunch"},
        {"clean quit, keep-windows on", "196", "196", true, 30, false, true, "relaunch"},
        {"clean quit, keep-windows off", "196", "196", true, 30, false, false, nullptr},
        {"same-build crash never reopens", "196", "196", false, std::nullopt, false, true, nullptr},
        {"Option-Quit discards, even on update", "195", "196", false, std::nullopt, true, true,
         nullptr},
        {"Option-Quit discards", "196", "196", true, 30, true, true, nullptr},
    };
    int failures = 0;
    for (const Case& c : cases) {
        auto got = openTabsRestoreReason(std::string(c.savedBuild), c.build, c.cleanQuit, c.quitAge,
                                         c.discard, c.keepWindows);
        std::string outcome = got ? *got : "no restore";
        std::string expected = c.expected ? c.expected : "no restore";
        if (outcome == expected) {
            std::printf("PASS  %s: %s\n", c.name, outcome.c_str());
        } else {
            ++failures;
            std::printf("FAIL  %s: %s  (want %s)\n", c.name, outcome.c_str(), expected.c_str());
        }
    }
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}

}  // namespace cvl
