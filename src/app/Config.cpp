#include "app/Config.h"

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/UserDirs.h"

namespace cvl {

nlohmann::json configDefaults() {
    return nlohmann::json{{"max_depth", 2},
                          {"ignore_archive_folders", true},
                          {"output_copy_dir", ""},
                          {"viewer", "app"}};
}

nlohmann::json loadConfig() {
    nlohmann::json config = configDefaults();
    auto text = readFile(UserDirs::configPath());
    if (!text) return config;
    nlohmann::json file = nlohmann::json::parse(*text, nullptr, false);
    if (!file.is_object()) return config;
    for (auto it = file.begin(); it != file.end(); ++it) config[it.key()] = it.value();
    return config;
}

Status saveConfig(const nlohmann::json& config) {
    if (!makeDirs(UserDirs::supportDir()))
        return Failure{"The settings folder " + UserDirs::supportDir() + " cannot be made."};
    // Invalid UTF-8 in a value is replaced rather than failing the whole write.
    return writeFileAtomic(UserDirs::configPath(), jsonText(config, 2) + "\n");
}

bool cfgBoolValue(const nlohmann::json& value, bool fallback) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>() != 0;
    if (value.is_string()) {
        const auto& s = value.get_ref<const std::string&>();
        return s == "1" || s == "true";
    }
    return fallback;
}

bool cfgBool(const std::string& key, bool fallback) {
    nlohmann::json config = loadConfig();
    auto it = config.find(key);
    return it == config.end() ? fallback : cfgBoolValue(*it, fallback);
}

Status cfgSetBool(const std::string& key, bool value) {
    nlohmann::json config = loadConfig();
    config[key] = value;
    return saveConfig(config);
}

std::string cfgString(const std::string& key, const std::string& fallback) {
    nlohmann::json config = loadConfig();
    auto it = config.find(key);
    return it != config.end() && it->is_string() ? it->get<std::string>() : fallback;
}

}  // namespace cvl
