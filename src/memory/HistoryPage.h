// Hands the history to the File History page: fills the engine's page template and writes it
// to a hidden page file in the working folder for the window to load.
#pragma once

#include <string>
#include <variant>

namespace cvl::HistoryPage {

// Values for the template's other placeholders, as the window wants the page to open.
struct Values {
    std::string startMode;    // __START_MODE__
    std::string openLayout;   // __OPEN_LAYOUT__
    std::string openPalette;  // __OPEN_PALETTE__
};

// Values the page understands, so that nothing else reaches the template: a start view of
// "recent", "favourites", "pinned" or "folders" (else "recent"), a layout of "list" or "grid"
// (else "list"), and a palette name of letters, digits, "-" and "_" (else "default").
Values openingValues(const std::string& startMode, const std::string& layout,
                     const std::string& palette);

// The notice shown instead of the page when the template is missing.
struct Notice {
    std::string title;
    std::string text;
};
inline constexpr const char* kMissingTitle = "File History is unavailable";
inline constexpr const char* kMissingText = "The history page is missing from this build.";

// The history JSON made safe inside a <script> element: "<", ">", U+2028 and U+2029 become
// \u escapes.
std::string escapeForScript(const std::string& json);

// The template with every placeholder replaced.
std::string fill(const std::string& templateText, const std::string& historyJson,
                 const Values& values);

// Reads the template, fills it and writes it as ".history-<UUID>.html" in the working folder.
// Gives the page's path, or the notice when the template cannot be read (or the page cannot be
// written).
std::variant<std::string, Notice> prepare(const std::string& templatePath,
                                          const std::string& historyJson, const Values& values);

}  // namespace cvl::HistoryPage
