// The welcome page: a generated HTML file in the working folder that runs the engine's
// welcome script with a prologue describing the user's brand, pins and recent items.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cvl {

// The demo profile: `given` when non-empty; else CVL_DEMO when non-empty; else, when
// "--demo" is among `args`, the argument after it unless it begins with "--" (else "qa");
// else none.
std::optional<std::string> welcomeDemoProfile(const std::string& given,
                                              const std::vector<std::string>& args);

struct WelcomeInputs {
    std::optional<std::string> note;
    std::optional<std::string> demo;
    bool fullDiskAccessTip = false;
};

// The script that defines the page's window.CVL_* values.
std::string welcomePrologue(const WelcomeInputs& inputs);
// The whole page around the prologue and the welcome script ("</script>" made harmless).
std::string welcomePageHTML(const std::string& prologue, const std::string& welcomeJS);

// Writes kArchive/.welcome-UUID.html atomically and returns its path (also when the write
// failed). The demo profile follows welcomeDemoProfile over the process's arguments.
std::string writeWelcomeFile(const std::optional<std::string>& note = std::nullopt,
                             const std::string& demo = "", bool fullDiskAccessTip = false);

}  // namespace cvl
