// File operations of the browsing pages and `cvl files`: move, new folder, trash, rename and
// duplicate. Nothing is ever replaced: every new name is made free in its folder first
// (fmUniqueDest), and the rename that publishes it refuses to replace. Each operation goes
// on past a failed item and reports every item in its outcome object.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cvl::FileOps {

// The folder joined with the name when nothing is there; else "base 2.ext", "base 3.ext"…
// ("name 2", "name 3"… without an extension), the first that does not exist.
std::string fmUniqueDest(const std::string& folder, const std::string& name);

// Why `name` cannot name an item inside a folder (empty, ".", "..", a slash, a NUL
// character, too long); none when it can.
std::optional<std::string> nameProblem(const std::string& name);

struct Moved {
    std::string from;
    std::string to;
};

struct MoveOutcome {
    std::vector<Moved> moved;
    std::vector<std::string> failed;
    std::string dest;
    // The destination's name when it was created for this move, else ""; none when the
    // destination was not a folder.
    std::optional<std::string> folder;
    std::string error;  // the first failure's reason; empty when nothing failed
};

// Moves each item into `dest` under its free name. Items already in `dest` are skipped
// (neither moved nor failed); a `dest` that is not a folder fails every item.
MoveOutcome fmMove(const std::vector<std::string>& paths, const std::string& dest, bool newFolder);

struct NewFolderOutcome {
    std::string dest;                 // the new folder; empty when it could not be made
    std::string folder;               // its name
    std::optional<MoveOutcome> move;  // when there were items to move into it
    std::vector<std::string> failed;  // when the folder could not be made
    std::string error;
};

// Creates the folder at the free name for `name` ("untitled folder" when empty) in
// `parent`, creating `parent` when needed, then moves `paths` into it.
NewFolderOutcome newFolder(const std::string& parent, const std::string& name,
                           const std::vector<std::string>& paths);

struct TrashOutcome {
    std::vector<std::string> trashed;
    std::vector<std::string> failed;
    std::string error;
};

TrashOutcome trash(const std::vector<std::string>& paths);

struct RenameOutcome {
    std::string from;
    std::optional<std::string> to;  // none when it failed
    std::string error;
};

// Moves the item to the free name for `name` in its own folder.
RenameOutcome rename(const std::string& path, const std::string& name);

struct DuplicateOutcome {
    std::string from;
    std::optional<std::string> copy;  // none when it failed
    std::string error;
};

// Copies the item beside itself as "base copy.ext" (made free).
DuplicateOutcome duplicate(const std::string& path);

// The outcome objects sent to pages (fileOpDone) and printed by `cvl files`, as compact JSON:
// {"op":"move","moved":[{from,to}],"failed":[],"dest":D,"folder":F}, {"op":"newfolder",
// "dest","folder"} or the move that followed, {"op":"trash","trashed","failed"},
// {"op":"rename","renamed":{old:new}} or {"op":"rename","failed":[path]},
// {"op":"duplicate","copy":C}. Failures add "error" with the first reason.
std::string toJson(const MoveOutcome& outcome);
std::string toJson(const NewFolderOutcome& outcome);
std::string toJson(const TrashOutcome& outcome);
std::string toJson(const RenameOutcome& outcome);
std::string toJson(const DuplicateOutcome& outcome);

}  // namespace cvl::FileOps
