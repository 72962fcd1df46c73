// The support folder's one-time move from its legacy name, and the application icon choice.
#pragma once

#include <optional>
#include <string>

namespace cvl {

// Moves "~/Library/Application Support/QRT Visualize" to ".../Corvello" when the legacy
// folder exists and the current one does not. True when the move happened; failures are
// ignored.
bool migrateLegacySupportDir();

// The icons folder: the override root's "app/icon/variants" when it exists, else the
// resource folder's "appicons".
std::string appIconsDir();

// The icon file that would be applied for the variant `name` (the "app_icon" setting when
// none is given): the variant's PNG, else "stack_slate_light.png"; none when neither exists,
// which leaves the built-in icon in place.
std::optional<std::string> appIconFile(const std::optional<std::string>& name = std::nullopt);

}  // namespace cvl
