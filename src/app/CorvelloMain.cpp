// corvello: the desktop application and its command-line modes.
#include <string>
#include <vector>

#include "app/AppConstants.h"
#include "app/DesktopEntry.h"
#include "app/FlagDispatch.h"

int main(int argc, char** argv) {
    cvl::setProcessArguments(argc, argv);
    cvl::appConstants();

    cvl::DesktopModes desktop;
    desktop.welcomeShot = &cvl::runWelcomeShot;
    desktop.noticeShot = &cvl::runNoticeShot;
    if (auto status = cvl::runFlagMode(cvl::processArguments(), desktop)) return *status;
    return cvl::runDesktopApplication(argc, argv);
}
