#include "operations/FileOpsModule.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "operations/FileOps.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"

namespace cvl {
namespace {

constexpr const char* kReply = "fileOpDone";

std::string normal(const std::string& path) {
    std::string p = std::filesystem::path(path).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

struct Sorted {
    std::vector<std::string> owned;
    std::vector<std::string> foreign;
};

Sorted sortPaths(const WindowSnapshot& window, const std::vector<std::string>& paths) {
    Sorted s;
    for (const auto& p : paths)
        (FileOpsModule::ownedBy(window, p) ? s.owned : s.foreign).push_back(p);
    return s;
}

std::string foreignError(const std::string& path) {
    return "\u201C" + lastPathComponent(path) +
           "\u201D is not one of this window\u2019s documents.";
}

// Adds the paths the window does not own to an outcome's failures.
template <class Outcome>
void addForeign(Outcome& outcome, const std::vector<std::string>& foreign) {
    if (foreign.empty()) return;
    outcome.failed.insert(outcome.failed.end(), foreign.begin(), foreign.end());
    if (outcome.error.empty()) outcome.error = foreignError(foreign.front());
}

}  // namespace

namespace FileOpsText {
std::string movePickMessage(std::size_t count) {
    return "Choose a folder to move " + std::to_string(count) + " item" + (count == 1 ? "" : "s") +
           " into";
}
}  // namespace FileOpsText

std::vector<std::string> FileOpsModule::operations() const {
    return {"move", "movepick", "newfolder", "trash", "rename", "duplicate", "trashfile"};
}

bool FileOpsModule::ownedBy(const WindowSnapshot& window, const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    const std::string p = normal(path);
    auto covers = [&](const std::string& root) {
        if (root.empty() || root[0] != '/') return false;
        std::string r = normal(root);
        if (p == r) return true;
        if (r == "/") return true;
        return p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/';
    };
    for (const auto& root : window.sourcePaths)
        if (covers(root)) return true;
    for (const auto& root : window.setPaths)
        if (covers(root)) return true;
    return covers(window.shownPdf);
}

void FileOpsModule::handle(const BridgeRequest& r) {
    if (r.op == "move") return move(r);
    if (r.op == "movepick") return movePick(r);
    if (r.op == "newfolder") return newFolder(r);
    if (r.op == "trash") return trash(r);
    if (r.op == "rename") return rename(r);
    if (r.op == "duplicate") return duplicate(r);
    if (r.op == "trashfile") return trashFile(r);
}

void FileOpsModule::move(const BridgeRequest& r) {
    auto dest = r.arg("dest");
    if (!dest) return;
    Sorted paths = sortPaths(r.window, r.paths());
    Dispatch::global().async([page = r.page, paths, dest = *dest] {
        FileOps::MoveOutcome outcome = FileOps::fmMove(paths.owned, dest, false);
        addForeign(outcome, paths.foreign);
        page.call(kReply, FileOps::toJson(outcome));
    });
}

void FileOpsModule::movePick(const BridgeRequest& r) {
    Sorted paths = sortPaths(r.window, r.paths());
    std::size_t count = paths.owned.size() + paths.foreign.size();
    if (count == 0) return;
    FileChoice choice;
    choice.title = "Move";
    choice.message = FileOpsText::movePickMessage(count);
    choice.prompt = "Move Here";
    choice.folders = true;
    choice.multiple = false;
    const auto& first = paths.owned.empty() ? paths.foreign.front() : paths.owned.front();
    choice.startFolder = parentPath(first);
    r.dialogs.choose(choice, [page = r.page, paths](std::vector<std::string> chosen) {
        if (chosen.empty()) return;
        Dispatch::global().async([page, paths, dest = chosen.front()] {
            FileOps::MoveOutcome outcome = FileOps::fmMove(paths.owned, dest, false);
            addForeign(outcome, paths.foreign);
            page.call(kReply, FileOps::toJson(outcome));
        });
    });
}

void FileOpsModule::newFolder(const BridgeRequest& r) {
    std::string parent = r.arg("parent").value_or(UserDirs::home());
    std::string name = r.arg("name").value_or("");
    Sorted paths = sortPaths(r.window, r.paths());
    Dispatch::global().async([page = r.page, parent, name, paths] {
        // Nothing is made when none of the items may be moved.
        if (paths.owned.empty() && !paths.foreign.empty()) {
            FileOps::NewFolderOutcome refused;
            addForeign(refused, paths.foreign);
            return page.call(kReply, FileOps::toJson(refused));
        }
        FileOps::NewFolderOutcome outcome = FileOps::newFolder(parent, name, paths.owned);
        if (outcome.move)
            addForeign(*outcome.move, paths.foreign);
        else
            addForeign(outcome, paths.foreign);
        page.call(kReply, FileOps::toJson(outcome));
    });
}

void FileOpsModule::trash(const BridgeRequest& r) {
    Sorted paths = sortPaths(r.window, r.paths());
    Dispatch::global().async([page = r.page, paths] {
        FileOps::TrashOutcome outcome = FileOps::trash(paths.owned);
        addForeign(outcome, paths.foreign);
        page.call(kReply, FileOps::toJson(outcome));
    });
}

void FileOpsModule::rename(const BridgeRequest& r) {
    auto path = r.path();
    if (!path) return;
    std::string name = r.arg("name").value_or("");
    bool owned = ownedBy(r.window, *path);
    Dispatch::global().async([page = r.page, path = *path, name, owned] {
        FileOps::RenameOutcome outcome;
        if (owned) {
            outcome = FileOps::rename(path, name);
        } else {
            outcome.from = path;
            outcome.error = foreignError(path);
        }
        page.call(kReply, FileOps::toJson(outcome));
    });
}

void FileOpsModule::duplicate(const BridgeRequest& r) {
    auto path = r.path();
    if (!path) return;
    bool owned = ownedBy(r.window, *path);
    AppActions* app = &r.app;
    Dispatch::global().async([page = r.page, path = *path, owned, app] {
        FileOps::DuplicateOutcome outcome;
        if (owned) {
            outcome = FileOps::duplicate(path);
        } else {
            outcome.from = path;
            outcome.error = foreignError(path);
        }
        if (outcome.copy)
            Dispatch::main().async(
                [app, copy = *outcome.copy] { app->revealInFileManager({copy}); });
        page.call(kReply, FileOps::toJson(outcome));
    });
}

void FileOpsModule::trashFile(const BridgeRequest& r) {
    std::string path = r.path().value_or(r.window.original());
    if (path.empty()) return;
    if (!ownedBy(r.window, path)) {
        cvlLog("trashfile: %s is not this window's document", path.c_str());
        return;
    }
    ConfirmSheet sheet;
    sheet.title = "Move \u201C" + lastPathComponent(path) + "\u201D to the Trash?";
    sheet.message = "It goes to the desktop\u2019s Trash and can be restored from there.";
    sheet.verb = "Move to Trash";
    sheet.destructive = true;
    r.dialogs.confirm(sheet, [page = r.page, path](ConfirmAnswer answer) {
        if (answer == ConfirmAnswer::Cancel) return;
        Dispatch::global().async([page, path] {
            FileOps::TrashOutcome outcome = FileOps::trash({path});
            if (outcome.trashed.empty()) {
                page.toast("Couldn\u2019t move to Trash");
                return;
            }
            page.toast("Moved to Trash");
            page.close();
        });
    });
}

}  // namespace cvl
