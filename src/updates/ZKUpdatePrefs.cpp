#include "updates/ZKUpdatePrefs.h"

#include <nlohmann/json.hpp>

#include "app/UserPrefs.h"

namespace cvl::ZKUpdatePrefs {

bool flag(const char* key, bool fallback) {
    return UserPrefs::boolValue(key).value_or(fallback);
}
void setFlag(const char* key, bool value) {
    UserPrefs::setValue(key, value);
}

bool autoCheck() {
    return flag(kAutoCheck, true);
}
bool autoDownload() {
    return flag(kAutoDownload, true);
}
bool autoInstall() {
    return flag(kAutoInstall, true);
}
bool silentWhenActive() {
    return flag(kSilentWhenActive, false);
}
bool fullyAutomatic() {
    return autoCheck() && autoDownload() && autoInstall();
}

double lastCheck() {
    auto v = UserPrefs::value(kLastCheck);
    return v && v->is_number() ? v->get<double>() : 0;
}
void setLastCheck(double when) {
    UserPrefs::setValue(kLastCheck, when);
}

std::optional<std::string> text(const char* key) {
    return UserPrefs::stringValue(key);
}
void setText(const char* key, const std::optional<std::string>& value) {
    if (value)
        UserPrefs::setValue(key, *value);
    else
        UserPrefs::removeValue(key);
}

long long swapFailCount() {
    auto v = UserPrefs::value(kSwapFailCount);
    return v && v->is_number_integer() ? v->get<long long>() : 0;
}
void setSwapFailCount(std::optional<long long> count) {
    if (count)
        UserPrefs::setValue(kSwapFailCount, *count);
    else
        UserPrefs::removeValue(kSwapFailCount);
}

}  // namespace cvl::ZKUpdatePrefs
