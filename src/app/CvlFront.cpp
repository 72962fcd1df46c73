// cvl as the user runs it: a small program that answers index-only searches (`cvl search
// --no-refresh`) itself, with SQLite and the search core alone, and hands every other command
// to the full program beside it (cvl-full), which loads the document, recognition, speech and
// network libraries. Scripts that search often pay only for what a search needs.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "search/CvlSearchCommands.h"
#include "search/CvlSearchOptions.h"

namespace {

// The full program: cvl-full in the folder of this executable.
std::string fullProgram() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    const auto slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/cvl-full";
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
        if (o)
            if (auto status = cvl::cvlIndexOnlySearch(*o)) return *status;
    }
    const std::string full = fullProgram();
    ::execv(full.c_str(), argv);
    std::fprintf(stderr, "cvl: cannot run %s: %s\n", full.c_str(), std::strerror(errno));
    return 1;
}
