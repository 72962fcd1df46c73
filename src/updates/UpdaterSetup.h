// The updater as the application runs it. The desktop calls:
//   start-up:  UpdaterSetup::setupAutoUpdate(hooks)   (once, after the windows are restored)
//   the menu:  UpdaterSetup::checkForUpdates()        ("Check for Updates…")
//              UpdaterSetup::heldUpdateMenuTitle()     (show an item when it is not none)
//              UpdaterSetup::installHeldUpdate()       (that item)
//   quitting:  UpdaterSetup::installOnQuit()          (from the will-terminate step)
// and reads UpdaterSetup::status() for menus and settings (the onStatus hook tells when it
// changes).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "updates/ZKUpdate.h"

namespace cvl::UpdaterSetup {

// Settings that configure the updater (config.json).
inline constexpr const char* kFeedSetting = "update_feed";       // feed base; empty: off
inline constexpr const char* kCASetting = "update_ca_file";      // trusted roots (PEM)
inline constexpr const char* kWaitSetting = "update_swap_wait";  // seconds, 1-180

// The raw Ed25519 public key pinned in this build; empty when the build pins none.
std::string pinnedSigningKey();

// The configuration for this process: app key "corvello", the feed (`feedOverride` when not
// empty, else the "update_feed" setting), the trusted roots and the swap wait from the
// settings, the install directory this program runs from, its version and build, the pinned
// key, the trace file ~/Library/Logs/Corvello/updater.log and the system's temporary folder.
ZKUpdateConfig configForThisProcess(const std::string& feedOverride = "");

// Start-up: a test launch (CVL_TEST) leaves updates off with a log line; otherwise the shared
// updater is made with `hooks` (live work wired to the application's CvlLiveWork unless the
// hooks bring their own) and started. The package manager is asked in the background whether
// it owns the program.
void setupAutoUpdate(ZKUpdateHooks hooks);

// The shared updater; null before setupAutoUpdate and in test launches.
std::shared_ptr<ZKUpdate> shared();

void checkForUpdates();
std::optional<std::string> heldUpdateMenuTitle();
void installHeldUpdate();
void installOnQuit();
std::string status();

}  // namespace cvl::UpdaterSetup
