// corvello: the desktop application and its command-line modes.
#include <string>
#include <vector>

#include "app/AppConstants.h"
#include "app/AppDelegate.h"
#include "app/DesktopEntry.h"
#include "app/FlagDispatch.h"
#include "app/WelcomePage.h"
#include "memory/HistoryStore.h"
#include "search/CVSearchIndex.h"
#include "window/PageSchemes.h"

int main(int argc, char** argv) {
    cvl::setProcessArguments(argc, argv);
    cvl::appConstants();

    cvl::DesktopModes desktop;
    desktop.welcomeShot = [](const cvl::WelcomeShotOptions& options) {
        return cvl::runWelcomeShot(options, &cvl::renderPageShot);
    };
    desktop.noticeShot = [](const std::string& dir) {
        return cvl::runNoticeShot(dir, &cvl::drawNoticeCard);
    };
    if (auto status = cvl::runFlagMode(cvl::processArguments(), desktop)) return *status;
    const std::string demo = cvl::welcomeDemoProfile("", cvl::processArguments()).value_or("");
    return cvl::runDesktopApplication(
        argc, argv, demo, cvl::makePageSchemes(), [](cvl::DesktopShell& shell) {
            return std::make_unique<cvl::AppDelegate>(
                shell,
                cvl::AppStores{cvl::HistoryStore::shared(), cvl::CVSearchIndex::sharedIndex()});
        });
}
