// The draft timeline: the documents of a set in date order, each compared word by word with the
// one before it by the engine's diff script ("--multi-diff"), and reordered by hand.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cvl::DraftTimeline {

// The date a draft is ordered by (seconds since 1970): the PDF's modification date, else its
// creation date, else the file's modification time; none for a file that cannot be read.
std::optional<long long> draftDate(const std::string& path);
// The readable files in date order (oldest first; equal dates by name); files that cannot be
// read are left out.
std::vector<std::string> orderByDate(const std::vector<std::string>& paths);
// Each draft with the one before it: (0,1), (1,2), ...
std::vector<std::pair<int, int>> neighbourPairs(size_t count);
// Whether `order` is the same documents as `paths` in another order.
bool isReordering(const std::vector<std::string>& paths, const std::vector<std::string>& order);

// The object for cvlTimeline / cvlTimelineDiffs: {"paths", "drafts", "diffs"} from the diff
// script's answer, or {"paths", "error"} without one.
nlohmann::json payload(const std::vector<std::string>& paths,
                       const std::optional<std::string>& draftsJSON,
                       const std::vector<std::pair<std::string, std::string>>& diffs);

inline constexpr const char* kNoAnswer =
    "The drafts could not be compared: the comparison engine gave no answer.";

}  // namespace cvl::DraftTimeline
