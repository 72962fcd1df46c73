// The settings panel's "checkupdates" operation.
#include <gtest/gtest.h>

#include "support/ModuleFakes.h"
#include "support/TempHome.h"
#include "updates/UpdateModule.h"
#include "updates/ZKUpdate.h"

namespace cvl::test {
namespace {

TEST(UpdateModule, RunsAnInteractiveCheckOrSaysWhyUpdatesAreOff) {
    TempHome home;
    ModuleHarness h;
    UpdateModule offForThisLaunch([] { return std::shared_ptr<ZKUpdate>(); });
    offForThisLaunch.handle(h.request("qrtiz://checkupdates"));
    h.drain();
    ASSERT_EQ(h.dialogs.alerts.size(), 1u);
    EXPECT_EQ(h.dialogs.alerts[0].rfind("Updates are off: ", 0), 0u);

    std::vector<std::string> notices;
    ZKUpdateHooks hooks;
    hooks.presentNotice = [&](const std::string& t, const std::string&) { notices.push_back(t); };
    ZKUpdateConfig config;
    config.appKey = "corvello";
    config.feedBase = "https://127.0.0.1:1";
    config.logPath = home / "updater.log";
    config.runningVersion = "1.0";
    auto updater = ZKUpdate::create(config, hooks);
    UpdateModule module([&] { return updater; });
    module.handle(h.request("qrtiz://checkupdates"));
    ASSERT_TRUE(h.runUntil([&] { return !notices.empty(); }, 30000));
    EXPECT_EQ(notices[0], "Couldn't reach the update feed");
}

}  // namespace
}  // namespace cvl::test
