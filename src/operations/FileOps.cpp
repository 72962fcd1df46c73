#include "operations/FileOps.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/FileTransfer.h"
#include "platform/SysLog.h"
#include "platform/Trash.h"

namespace cvl::FileOps {
namespace {

using nlohmann::json;

constexpr const char* kUntitledFolder = "untitled folder";
constexpr std::size_t kMaxNameBytes = 255;

// An entry exists even when it is a link to nothing.
bool entryExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string join(const std::string& folder, const std::string& name) {
    std::string f = withoutTrailingSlashes(folder);
    return f == "/" ? "/" + name : f + "/" + name;
}

// "“a.pdf” could not be moved: no such file or directory"
std::string reason(const std::string& path, const std::string& verb, const std::string& why) {
    std::string detail = why;
    if (!detail.empty()) detail[0] = char(std::tolower(static_cast<unsigned char>(detail[0])));
    return "\u201C" + lastPathComponent(path) + "\u201D could not be " + verb +
           (detail.empty() ? "." : ": " + detail);
}

std::optional<std::string> pathProblem(const std::string& path) {
    if (path.empty() || path[0] != '/') return "\u201C" + path + "\u201D is not a full path.";
    return std::nullopt;
}

std::string dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

json pathList(const std::vector<std::string>& paths) {
    json list = json::array();
    for (const auto& p : paths) list.push_back(p);
    return list;
}

// Moves `item` to the free name for `name` in `folder`. A name taken between the check and
// the move is passed over for the next free one.
Result<std::string> moveToFreeName(const std::string& item, const std::string& folder,
                                   const std::string& name) {
    Status moved = Failure{""};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string to = fmUniqueDest(folder, name);
        moved = FileTransfer::moveNoReplace(item, to);
        if (moved) return to;
        if (!entryExists(to)) break;  // failed for another reason than a taken name
    }
    return Failure{moved.error()};
}

}  // namespace

std::string fmUniqueDest(const std::string& folder, const std::string& name) {
    std::string first = join(folder, name);
    if (!entryExists(first)) return first;
    std::string ext = pathExtension(name);
    std::string base = ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1);
    for (long n = 2;; ++n) {
        std::string candidate = base + " " + std::to_string(n) + (ext.empty() ? "" : "." + ext);
        std::string path = join(folder, candidate);
        if (!entryExists(path)) return path;
    }
}

std::optional<std::string> nameProblem(const std::string& name) {
    if (name.empty()) return "A name can\u2019t be empty.";
    if (name == "." || name == "..")
        return "\u201C" + name + "\u201D can\u2019t be used as a name.";
    if (name.find('/') != std::string::npos) return "A name can\u2019t contain \u201C/\u201D.";
    if (name.find('\0') != std::string::npos) return "A name can\u2019t contain a NUL character.";
    if (name.size() > kMaxNameBytes) return "That name is too long.";
    return std::nullopt;
}

MoveOutcome fmMove(const std::vector<std::string>& paths, const std::string& destIn,
                   bool newFolder) {
    MoveOutcome out;
    out.dest = destIn;
    const std::string dest = withoutTrailingSlashes(destIn);
    if (dest.empty() || !isDirectory(dest)) {
        out.failed = paths;
        out.error = dest.empty() || !entryExists(dest)
                        ? "The folder \u201C" + destIn + "\u201D does not exist."
                        : "\u201C" + lastPathComponent(dest) + "\u201D is not a folder.";
        return out;
    }
    out.folder = newFolder ? lastPathComponent(dest) : std::string();
    for (const auto& path : paths) {
        if (auto problem = pathProblem(path)) {
            out.failed.push_back(path);
            if (out.error.empty()) out.error = *problem;
            continue;
        }
        std::string item = withoutTrailingSlashes(path);
        if (parentPath(item) == dest) continue;
        auto moved = moveToFreeName(item, dest, lastPathComponent(item));
        if (moved) {
            out.moved.push_back({path, *moved});
        } else {
            out.failed.push_back(path);
            if (out.error.empty()) out.error = reason(item, "moved", moved.error());
            cvlLog("move: %s -> %s: %s", item.c_str(), dest.c_str(), moved.error().c_str());
        }
    }
    return out;
}

NewFolderOutcome newFolder(const std::string& parentIn, const std::string& nameIn,
                           const std::vector<std::string>& paths) {
    NewFolderOutcome out;
    const std::string name = nameIn.empty() ? kUntitledFolder : nameIn;
    const std::string parent = withoutTrailingSlashes(parentIn);
    auto fail = [&](const std::string& why) {
        out.failed = paths.empty() ? std::vector<std::string>{parentIn} : paths;
        out.error = why;
        return out;
    };
    if (auto problem = nameProblem(name)) return fail(*problem);
    if (auto problem = pathProblem(parent)) return fail(*problem);
    if (!makeDirs(parent))
        return fail("The folder \u201C" + parentIn + "\u201D could not be created.");
    if (!isDirectory(parent))
        return fail("\u201C" + lastPathComponent(parent) + "\u201D is not a folder.");
    std::string made;
    int err = 0;
    for (int attempt = 0; attempt < 3 && made.empty(); ++attempt) {
        std::string path = fmUniqueDest(parent, name);
        if (::mkdir(path.c_str(), 0777) == 0)
            made = path;
        else if ((err = errno) != EEXIST)
            break;
    }
    if (made.empty()) return fail(reason(join(parent, name), "created", std::strerror(err)));
    out.dest = made;
    out.folder = lastPathComponent(made);
    if (!paths.empty()) out.move = fmMove(paths, made, true);
    return out;
}

TrashOutcome trash(const std::vector<std::string>& paths) {
    TrashOutcome out;
    for (const auto& path : paths) {
        std::string why;
        if (auto problem = pathProblem(path)) {
            why = *problem;
        } else if (!entryExists(path)) {
            why = reason(path, "moved to the Trash", "it no longer exists");
        } else if (Status done = Trash::moveToTrash(withoutTrailingSlashes(path)); !done) {
            why = reason(path, "moved to the Trash", done.error());
        }
        if (why.empty()) {
            out.trashed.push_back(path);
            continue;
        }
        out.failed.push_back(path);
        if (out.error.empty()) out.error = why;
        cvlLog("trash: %s", why.c_str());
    }
    return out;
}

RenameOutcome rename(const std::string& path, const std::string& name) {
    RenameOutcome out;
    out.from = path;
    if (auto problem = nameProblem(name)) {
        out.error = *problem;
        return out;
    }
    if (auto problem = pathProblem(path)) {
        out.error = *problem;
        return out;
    }
    std::string item = withoutTrailingSlashes(path);
    if (!entryExists(item)) {
        out.error = reason(item, "renamed", "it no longer exists");
        return out;
    }
    auto moved = moveToFreeName(item, parentPath(item), name);
    if (moved)
        out.to = *moved;
    else
        out.error = reason(item, "renamed", moved.error());
    return out;
}

DuplicateOutcome duplicate(const std::string& path) {
    DuplicateOutcome out;
    out.from = path;
    if (auto problem = pathProblem(path)) {
        out.error = *problem;
        return out;
    }
    std::string item = withoutTrailingSlashes(path);
    std::string name = lastPathComponent(item);
    std::string ext = pathExtension(name);
    std::string base = ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1);
    std::string copyName = base + " copy" + (ext.empty() ? "" : "." + ext);
    Status copied = Failure{"it no longer exists"};
    for (int attempt = 0; attempt < 3 && entryExists(item); ++attempt) {
        std::string to = fmUniqueDest(parentPath(item), copyName);
        copied = FileTransfer::copyNoReplace(item, to);
        if (copied) {
            out.copy = to;
            return out;
        }
        if (!entryExists(to)) break;
    }
    out.error = reason(item, "duplicated", copied.error());
    return out;
}

std::string toJson(const MoveOutcome& o) {
    json moved = json::array();
    for (const auto& m : o.moved) moved.push_back({{"from", m.from}, {"to", m.to}});
    json j{{"op", "move"}, {"moved", moved}, {"failed", pathList(o.failed)}, {"dest", o.dest}};
    if (o.folder) j["folder"] = *o.folder;
    if (!o.error.empty()) j["error"] = o.error;
    return dump(j);
}

std::string toJson(const NewFolderOutcome& o) {
    if (o.move) return toJson(*o.move);
    json j{{"op", "newfolder"}};
    if (o.dest.empty()) {
        j["failed"] = pathList(o.failed);
        j["error"] = o.error;
    } else {
        j["dest"] = o.dest;
        j["folder"] = o.folder;
    }
    return dump(j);
}

std::string toJson(const TrashOutcome& o) {
    json j{{"op", "trash"}, {"trashed", pathList(o.trashed)}, {"failed", pathList(o.failed)}};
    if (!o.error.empty()) j["error"] = o.error;
    return dump(j);
}

std::string toJson(const RenameOutcome& o) {
    json j{{"op", "rename"}};
    if (o.to) {
        j["renamed"] = json::object();
        j["renamed"][o.from] = *o.to;
    } else {
        j["failed"] = pathList({o.from});
        j["error"] = o.error;
    }
    return dump(j);
}

std::string toJson(const DuplicateOutcome& o) {
    json j{{"op", "duplicate"}};
    if (o.copy) {
        j["copy"] = *o.copy;
    } else {
        j["failed"] = pathList({o.from});
        j["error"] = o.error;
    }
    return dump(j);
}

}  // namespace cvl::FileOps
