#include "updates/UpdaterSetup.h"

#include <mutex>
#include <nlohmann/json.hpp>

#include "app/AppConstants.h"
#include "app/Config.h"
#include "platform/Base64.h"
#include "platform/Env.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"
#include "updates/CvlLiveWork.h"
#include "updates/ZKInstallDir.h"

#ifndef CVL_UPDATE_SIGNING_KEY
#define CVL_UPDATE_SIGNING_KEY ""
#endif

namespace cvl::UpdaterSetup {
namespace {

std::mutex gLock;
std::shared_ptr<ZKUpdate> gShared;

}  // namespace

std::string pinnedSigningKey() {
    auto raw = base64Decode(CVL_UPDATE_SIGNING_KEY);
    return raw && raw->size() == 32 ? *raw : std::string();
}

ZKUpdateConfig configForThisProcess(const std::string& feedOverride) {
    nlohmann::json cfg = loadConfig();
    auto text = [&](const char* key) {
        auto it = cfg.find(key);
        return it != cfg.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    ZKUpdateConfig c;
    c.appKey = "corvello";
    c.feedBase = feedOverride.empty() ? text(kFeedSetting) : feedOverride;
    c.caBundle = UserDirs::expandTilde(text(kCASetting));
    if (auto w = cfg.find(kWaitSetting); w != cfg.end() && w->is_number())
        c.swapWaitSeconds = w->get<int>();
    c.signingKey = pinnedSigningKey();
    c.logPath = UserDirs::logDir() + "/updater.log";
    std::string exe = ZKInstallDir::runningExecutable();
    c.targetBundlePath = ZKInstallDir::rootOf(exe);
    c.runningVersion = appConstants().version;
    c.runningBuild = buildNumber();
    c.systemVersion = ZKInstallDir::systemVersion();
    std::string tmp = envValue("TMPDIR");
    c.tempDir = tmp.empty() ? "/tmp" : tmp;
    if (!exe.empty()) c.packageProbe = [exe] { return ZKInstallDir::owningPackage(exe); };
    return c;
}

void setupAutoUpdate(ZKUpdateHooks hooks) {
    if (!envValue("CVL_TEST").empty()) {
        cvlLog("updates: off for this test launch (CVL_TEST)");
        return;
    }
    if (!hooks.mustNotInstallNow) CvlLiveWork::shared().wireUpdater(hooks);
    auto updater = ZKUpdate::create(configForThisProcess(), std::move(hooks));
    {
        std::lock_guard hold(gLock);
        gShared = updater;
    }
    updater->start();
}

std::shared_ptr<ZKUpdate> shared() {
    std::lock_guard hold(gLock);
    return gShared;
}

void checkForUpdates() {
    if (auto u = shared()) u->checkNow(true);
}

std::optional<std::string> heldUpdateMenuTitle() {
    auto u = shared();
    return u ? u->pendingMenuTitle() : std::nullopt;
}

void installHeldUpdate() {
    if (auto u = shared()) u->installPendingNow();
}

void installOnQuit() {
    if (auto u = shared()) u->installPendingOnQuitIfAny();
}

std::string status() {
    auto u = shared();
    return u ? u->status() : std::string();
}

}  // namespace cvl::UpdaterSetup
