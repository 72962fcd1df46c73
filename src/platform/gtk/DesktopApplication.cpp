// Placeholder entry points until the desktop host is built.
#include <cstdio>

#include "app/DesktopEntry.h"

namespace cvl {

int runDesktopApplication(int, char**) {
    std::fprintf(stderr, "corvello: the desktop application is not available in this build\n");
    return 1;
}

int runWelcomeShot(const WelcomeShotOptions&) {
    std::fprintf(stderr, "corvello: the desktop application is not available in this build\n");
    return 1;
}

}  // namespace cvl
