// The record of one restorable tab, and the stack of recently closed tabs (newest last),
// persisted in the support folder's closed-tabs.json.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl {

struct ClosedTab {
    std::string kind;  // "reader", "grid", or a review window (reopened with `mode`)
    std::vector<std::string> paths;
    std::optional<std::string> view;  // the reader's captured view state (opaque JSON text)
    std::optional<std::string> mode;
    std::string title;

    bool operator==(const ClosedTab&) const = default;
};

// "kind", "paths", "title" always; "view" and "mode" only when present.
nlohmann::json closedTabDictionary(const ClosedTab& tab);
// Fails (none) when "kind" or "paths" is missing or not of its type.
std::optional<ClosedTab> parseClosedTab(const nlohmann::json& dict);

class ClosedTabStack {
  public:
    static constexpr size_t kDepth = 20;

    // The stack file; the support folder's closed-tabs.json when not given.
    explicit ClosedTabStack(std::string path = {});

    // Replaces the entries with the file's; a missing or malformed file gives an empty stack.
    void load();
    // Pushes the tab (dropping the oldest beyond the depth) and saves.
    void push(ClosedTab tab);
    // Takes the newest entry and saves; none when the stack is empty.
    std::optional<ClosedTab> pop();
    Status save() const;

    const std::vector<ClosedTab>& entries() const { return entries_; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::vector<ClosedTab> entries_;
};

}  // namespace cvl
