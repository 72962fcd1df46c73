// The questions a window asks the user: confirmation sheets, file and folder choosers, save
// dialogs and alerts. The desktop shows them attached to the asking window; tests answer them
// with a fake. Every answer arrives on the main queue, exactly once.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Dispatch.h"

namespace cvl {

struct ConfirmSheet {
    std::string title;
    std::string message;
    std::string verb;  // the default button
    // A second button that confirms too (e.g. "Delete and Don’t Ask Again"); none when empty.
    std::string alternate;
    bool destructive = false;  // the verb is drawn as a destructive action
    bool cancelIsDefault = false;  // Return answers Cancel (for sheets that guard data)
};

enum class ConfirmAnswer { Cancel, Verb, Alternate };

struct FileChoice {
    std::string title;
    std::string message;  // a line above the chooser
    std::string prompt;   // the accept button ("Open", "Merge", "Move Here")
    bool folders = false;
    bool multiple = false;
    // Lower-case extensions without the dot that may be chosen; empty means any file.
    std::vector<std::string> extensions;
    std::string startFolder;  // empty: the chooser's own choice
};

struct SaveChoice {
    std::string title;
    std::string prompt;  // the accept button ("Save")
    std::string suggestedName;
    std::string folder;  // where the dialog opens; empty: the chooser's own choice
    std::vector<std::string> extensions;
};

// A short menu of choices shown at the pointer (such as the earlier versions of a document).
struct MenuChoice {
    std::string title;  // shown above the items, not choosable
    std::vector<std::string> items;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual void confirm(const ConfirmSheet& sheet, std::function<void(ConfirmAnswer)> done) = 0;
    // The chosen paths; empty when the user cancelled.
    virtual void choose(const FileChoice& choice,
                        std::function<void(std::vector<std::string>)> done) = 0;
    // The path to save to (the user agreed to replace it when it exists); none when cancelled.
    virtual void save(const SaveChoice& choice,
                      std::function<void(std::optional<std::string>)> done) = 0;
    // An alert with one OK button; `done` runs when it is dismissed.
    virtual void alert(const std::string& title, const std::string& message,
                       std::function<void()> done = {}) = 0;
    // The index of the chosen item; none when the menu was dismissed. Without a menu of its
    // own a host answers none.
    virtual void menu(const MenuChoice& /*choice*/,
                      std::function<void(std::optional<size_t>)> done) {
        Dispatch::main().async([done = std::move(done)] { done(std::nullopt); });
    }
};

}  // namespace cvl
