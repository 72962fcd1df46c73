// Corvello as the desktop's default application for documents: the types of its desktop entry
// in groups, how many of them it opens by default (through xdg-mime), making it the default,
// and when the reader may offer that (never again after "Never", not before a snooze ends).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl::DefaultViewer {

inline constexpr const char* kDesktopId = "corvello.desktop";
// Keys of the preferences store.
inline constexpr const char* kNeverKey = "cvlDefaultNeverAsk";
inline constexpr const char* kNextAskKey = "cvlDefaultNextAskAt";  // seconds since 1970
inline constexpr const char* kSnoozesKey = "cvlDefaultSnoozes";

struct Group {
    std::string name;   // "pdf", "word", "text", "sheets"
    std::string label;  // "PDF documents", ...
    std::vector<std::string> types;
};
// The document types of the desktop entry by group (folders are never claimed).
const std::vector<Group>& groups();
std::vector<std::string> allTypes();
const Group* group(const std::string& name);

// The default application of a type; none when the desktop names none.
using DefaultLookup = std::function<std::optional<std::string>(const std::string& mimeType)>;
DefaultLookup desktopLookup();  // xdg-mime query default

struct GroupClaim {
    std::string name;
    std::string label;
    int claimed = 0;
    int total = 0;
};
struct Claims {
    int claimed = 0;
    int total = 0;
    bool pdf = false;  // the default for application/pdf
    std::vector<GroupClaim> groups;
};
Claims claims(const DefaultLookup& lookup);
// [{name, label, claimed, total}] for the settings panel.
std::string groupsJSON(const Claims& claims);

// The prompt's state in the preferences store.
struct Prompt {
    bool never = false;
    std::optional<double> nextAskAt;
    int snoozes = 0;
};
Prompt loadPrompt();
// Whether the reader may offer to become the default now.
bool due(const Prompt& prompt, double now, bool alreadyDefaultForPdf);
// When a snooze of the `snoozes`-th time (0 for the first) ends: 3, then 14, then 60 days.
double snoozedUntil(int snoozes, double now);
void snooze(double now);
void setNever(bool never);

// The desktop entry the desktop finds for Corvello; when there is none in the data folders,
// one is written to ~/.local/share/applications that starts the running program (`program`,
// empty: the corvello beside this executable). Gives its path.
Result<std::string> ensureDesktopEntry(const std::string& program = "");
// Makes Corvello the default for the types (writing its desktop entry first when needed).
Status becomeDefault(const std::vector<std::string>& mimeTypes);

}  // namespace cvl::DefaultViewer
