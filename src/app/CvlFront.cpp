// cvl as the user runs it: a small program that answers index-only searches (`cvl search
// --no-refresh`) itself, with SQLite and the search core alone, hands direct scans to cvl-scan
// (the PDF reader and the scan), and every other command to the full program beside it
// (cvl-full), which loads the document, recognition, speech and network libraries. Scripts
// that search often pay only for what a search needs.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "search/CvlSearchCommands.h"
#include "search/CvlSearchOptions.h"

namespace {

// A program in the folder of this executable.
std::string sibling(const char* name) {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    const auto slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + name;
}

// A common word's search allocates tens of megabytes that a new process faults in 4 KiB at a
// time (a fifth of its run). glibc backs its heap with transparent huge pages when its tunable
// asks, and reads tunables only at start, so the search runs in this program started again
// with the tunable added. The caller's value is kept aside and given back to cvl-full.
constexpr const char* kHugeHeap = "glibc.malloc.hugetlb=1";
constexpr const char* kCallerTunables = "CVL_CALLER_TUNABLES";

void restartWithHugeHeap(char** argv) {
    if (std::getenv(kCallerTunables)) return;  // already restarted
    const char* caller = std::getenv("GLIBC_TUNABLES");
    const std::string before = caller ? caller : "";
    if (before.find("glibc.malloc.hugetlb") != std::string::npos) return;  // the caller's choice
    ::setenv(kCallerTunables, caller ? ("=" + before).c_str() : "", 1);
    ::setenv("GLIBC_TUNABLES", (before.empty() ? kHugeHeap : before + ":" + kHugeHeap).c_str(), 1);
    ::execv("/proc/self/exe", argv);
    // Not restarted: go on as the caller started us.
    caller ? ::setenv("GLIBC_TUNABLES", before.c_str(), 1) : ::unsetenv("GLIBC_TUNABLES");
    ::unsetenv(kCallerTunables);
}

// Gives the caller's tunables back before another program starts ("=VALUE", or empty when the
// caller had none).
void restoreCallerTunables() {
    const char* kept = std::getenv(kCallerTunables);
    if (!kept) return;
    if (*kept == '=')
        ::setenv("GLIBC_TUNABLES", kept + 1, 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
    ::unsetenv(kCallerTunables);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "search") == 0) {
        const std::vector<std::string> rest(argv + 2, argv + argc);
        const std::string usage = std::string("cvl ") + cvl::kCvlSearchUsage;
        // Arguments the full program would refuse are left to it, with its message.
        auto o = cvl::parseCvlSearchOptions(
            rest, usage.c_str(), {.db = true, .mode = true, .query = true, .noRefresh = true},
            false);
        if (o && o->noRefresh) restartWithHugeHeap(argv);
        if (o)
            if (auto status = cvl::cvlIndexOnlySearch(*o)) return *status;
    }
    // Direct scans go to cvl-scan, which loads only the PDF reader's libraries; an install
    // without it (an older one being updated) leaves them to cvl-full.
    if (argc > 1 && std::strcmp(argv[1], "scan") == 0) ::execv(sibling("cvl-scan").c_str(), argv);
    restoreCallerTunables();
    const std::string full = sibling("cvl-full");
    ::execv(full.c_str(), argv);
    std::fprintf(stderr, "cvl: cannot run %s: %s\n", full.c_str(), std::strerror(errno));
    return 1;
}
