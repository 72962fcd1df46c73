// The updater's keys in the per-user preferences store (preferences.json).
#pragma once

#include <optional>
#include <string>

namespace cvl::ZKUpdatePrefs {

inline constexpr const char* kAutoCheck = "ZKUpdateAutoCheck";
inline constexpr const char* kAutoDownload = "ZKUpdateAutoDownload";
inline constexpr const char* kAutoInstall = "ZKUpdateAutoInstall";
inline constexpr const char* kSilentWhenActive = "ZKUpdateSilentWhenActive";
inline constexpr const char* kLastCheck = "ZKUpdateLastCheck";
inline constexpr const char* kJustUpdatedTo = "ZKUpdateJustUpdatedTo";
inline constexpr const char* kSwapFailVersion = "ZKUpdateSwapFailVersion";
inline constexpr const char* kSwapFailCount = "ZKUpdateSwapFailCount";

// A boolean key; `fallback` when unset or not a boolean.
bool flag(const char* key, bool fallback);
void setFlag(const char* key, bool value);

bool autoCheck();         // default true
bool autoDownload();      // default true
bool autoInstall();       // default true
bool silentWhenActive();  // default false
// Automatic check, download and install all on.
bool fullyAutomatic();

double lastCheck();  // seconds since 1970; 0 when never
void setLastCheck(double when);

std::optional<std::string> text(const char* key);
void setText(const char* key, const std::optional<std::string>& value);  // none removes it
long long swapFailCount();
void setSwapFailCount(std::optional<long long> count);

}  // namespace cvl::ZKUpdatePrefs
