// The settings file config.json: one JSON object, read whole on every call and written back
// whole, pretty-printed with sorted keys. Keys no code knows survive every write.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "platform/Result.h"

namespace cvl {

// The four built-in defaults present in every loaded configuration.
nlohmann::json configDefaults();

// The defaults overlaid with every key of the file; a missing, unreadable or non-object file
// gives the defaults alone. No cache: the file is read at every call.
nlohmann::json loadConfig();

// Writes the object over config.json (creating the support folder), atomically; a failure
// leaves the file as it was and says why.
Status saveConfig(const nlohmann::json& config);

// Boolean coercion: a boolean gives itself, a number is true when not zero, a text is true
// exactly when it is "1" or "true"; anything else (or an absent key) gives `fallback`.
bool cfgBoolValue(const nlohmann::json& value, bool fallback);
bool cfgBool(const std::string& key, bool fallback);
Status cfgSetBool(const std::string& key, bool value);

// The text value of a key, or `fallback` when it is absent or not a text.
std::string cfgString(const std::string& key, const std::string& fallback);

}  // namespace cvl
