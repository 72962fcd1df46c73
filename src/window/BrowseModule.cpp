#include "window/BrowseModule.h"

#include "platform/FileIO.h"

namespace cvl {

namespace Browse {

std::optional<std::string> modeFor(const std::string& op) {
    if (op == "browse") return "flip";
    if (op == "versions") return "doc";
    if (op == "sort" || op == "cull") return "single";
    return std::nullopt;
}

std::vector<std::string> documentSet(const WindowSnapshot& window) {
    if (!window.setPaths.empty()) return window.setPaths;
    std::vector<std::string> files;
    for (const auto& p : window.sourcePaths)
        if (isRegularFile(p)) files.push_back(p);
    return files.size() > 1 ? files : std::vector<std::string>{};
}

}  // namespace Browse

std::vector<std::string> BrowseModule::operations() const {
    return {"browse", "versions", "sort", "cull", "multidoc", "openseparately"};
}

void BrowseModule::handle(const BridgeRequest& request) {
    AppActions& app = request.app;
    if (auto mode = Browse::modeFor(request.op)) {
        FileChoice choice;
        choice.title = request.op == "browse"     ? "Browse a Folder"
                       : request.op == "versions" ? "Find Versions in a Folder"
                       : request.op == "sort"     ? "Sort a Folder"
                                                  : "Cull a Folder";
        choice.message = request.op == "browse" ? "Flip through the documents of a folder."
                         : request.op == "versions"
                             ? "Documents with several versions are shown together."
                             : "Go through the documents one at a time.";
        choice.prompt = "Open";
        choice.folders = true;
        const std::string original = request.window.original();
        if (!original.empty())
            choice.startFolder = isDirectory(original) ? original : parentPath(original);
        request.dialogs.choose(choice, [&app, mode](std::vector<std::string> chosen) {
            if (!chosen.empty()) app.openReview({chosen[0]}, mode);
        });
        return;
    }
    if (request.op == "openseparately") {
        for (const auto& p : request.paths())
            if (request.window.holds(p) && isRegularFile(p)) app.openReader(p, 0);
        return;
    }
    // multidoc
    const std::string how = request.arg("mode").value_or("");
    const auto set = Browse::documentSet(request.window);
    if (set.empty()) return;
    if (how == "together") {
        if (request.window.isReader())
            request.page.showReview(set, std::nullopt);
        else
            app.openReview(set, std::nullopt);
    } else if (how == "separately") {
        // A reader already shows its own document: the others join it.
        for (const auto& p : set)
            if (isRegularFile(p) && !(request.window.isReader() && p == request.window.original()))
                app.openReader(p, 0);
        if (!request.window.isReader()) request.page.close();
    }
}

}  // namespace cvl
