#include "app/SupportDirs.h"

#include <cstdio>

#include "app/Config.h"
#include "app/EngineLocator.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"

namespace cvl {

bool migrateLegacySupportDir() {
    std::string base = UserDirs::home() + "/Library/Application Support";
    std::string legacy = base + "/QRT Visualize";
    std::string current = base + "/Corvello";
    if (!pathExists(legacy) || pathExists(current)) return false;
    return std::rename(legacy.c_str(), current.c_str()) == 0;
}

std::string appIconsDir() {
    return EngineLocator::iconVariantsDir();
}

std::optional<std::string> appIconFile(const std::optional<std::string>& name) {
    std::string variant = name ? *name : cfgString("app_icon", "stack_slate_light");
    std::string dir = appIconsDir();
    // A variant name is a file name, never a path into another folder.
    if (!variant.empty() && variant.find('/') == std::string::npos) {
        std::string file = dir + "/" + variant + ".png";
        if (isRegularFile(file)) return file;
    }
    std::string fallback = dir + "/stack_slate_light.png";
    if (isRegularFile(fallback)) return fallback;
    return std::nullopt;
}

}  // namespace cvl
