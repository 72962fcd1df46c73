#include "app/OpenModule.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "app/UserPrefs.h"
#include "app/WelcomePage.h"
#include "memory/HistoryPage.h"
#include "memory/HistoryStore.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "window/BridgeDispatch.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

namespace BD = BridgeDispatch;

// The documents the reader opens (converted first when they are not PDFs).
const std::vector<std::string> kReadable = {"pdf", "docx", "doc",      "odt",  "rtf",
                                            "txt", "md",   "markdown", "xlsx", "xlsm",
                                            "xls", "ods",  "csv",      "tsv",  "tab"};

void pickFolder(const BridgeRequest& r, const std::optional<std::string>& mode) {
    chooseFolderToOpen(r.dialogs, r.app, mode);
}

void setPinned(const std::string& path, bool pinned) {
    auto pins = UserPrefs::pinnedFolders();
    std::erase(pins, path);
    if (pinned) pins.push_back(path);
    if (!UserPrefs::setPinnedFolders(pins))
        cvlLog("pins: %s could not be %s: the preferences cannot be written", path.c_str(),
               pinned ? "pinned" : "unpinned");
}

}  // namespace

void chooseFolderToOpen(Dialogs& dialogs, AppActions& app, const std::optional<std::string>& mode) {
    FileChoice choice;
    choice.title = "Open a Folder";
    choice.prompt = "Open";
    choice.folders = true;
    AppActions* target = &app;
    dialogs.choose(choice, [target, mode](std::vector<std::string> chosen) {
        if (!chosen.empty()) target->openReview({chosen.front()}, mode);
    });
}

void chooseDocumentToOpen(Dialogs& dialogs, AppActions& app) {
    FileChoice choice;
    choice.title = "Open a Document";
    choice.prompt = "Open";
    choice.extensions = kReadable;
    AppActions* target = &app;
    dialogs.choose(choice, [target](std::vector<std::string> chosen) {
        if (!chosen.empty()) target->openReader(chosen.front(), 0);
    });
}

void openItem(AppActions& app, const std::string& path) {
    if (isDirectory(path))
        app.openReview({path}, std::nullopt);
    else
        app.openReader(path, 0);
}

std::vector<std::string> OpenModule::operations() const {
    // Browsing a folder in a review mode, opening a set separately and revealing a window's
    // file belong to BrowseModule and ReaderFileModule.
    return {"open",     "histbrowse", "rank",    "read",        "reader",     "openrecent",
            "histopen", "openroot",   "openurl", "opendefault", "histreveal", "pin",
            "unpin",    "history",    "home",    "pages"};
}

void OpenModule::handle(const BridgeRequest& r) {
    const std::string& op = r.op;
    if (op == "open" || op == "histbrowse") {
        pickFolder(r, std::nullopt);
    } else if (op == "rank") {
        pickFolder(r, std::string("rank"));
    } else if (op == "read") {
        chooseDocumentToOpen(r.dialogs, r.app);
    } else if (op == "reader") {
        if (auto path = r.path())
            r.app.openReader(*path, std::atoi(r.arg("page").value_or("0").c_str()));
    } else if (op == "openrecent" || op == "histopen") {
        if (auto path = r.path()) openItem(r.app, *path);
    } else if (op == "openroot") {
        auto path = r.path();
        if (!path) return;
        if (isDirectory(*path))
            r.app.openReview({*path}, std::nullopt);
        else
            r.app.showNotice("update", "Can\u2019t open this library",
                             "The folder \u201c" + lastPathComponent(*path) +
                                 "\u201d no longer exists at:\n" + *path);
    } else if (op == "openurl") {
        auto target = r.arg("url");
        if (target && BD::scheme(*target) == "https") r.app.openInBrowser(*target);
    } else if (op == "opendefault") {
        if (auto path = r.path()) r.app.openWithDefaultApp(*path);
    } else if (op == "histreveal") {
        if (auto path = r.path()) r.app.revealInFileManager({*path});
    } else if (op == "pin" || op == "unpin") {
        if (auto path = r.path()) setPinned(*path, op == "pin");
    } else if (op == "history") {
        const HistoryPage::Values values = HistoryPage::openingValues(
            r.arg("mode").value_or("recent"), cfgString("folder_view", "list"), "default");
        auto page = HistoryPage::prepare(EngineLocator::historyHTMLPath(),
                                         history_.json(HistoryStore::kDefaultJsonLimit), values);
        if (auto* notice = std::get_if<HistoryPage::Notice>(&page))
            return r.app.showNotice("history", notice->title, notice->text);
        r.app.openToolPage(ReaderAddress::fileURL(std::get<std::string>(page)), "history", {});
    } else if (op == "home") {
        r.page.showToolPage(ReaderAddress::fileURL(writeWelcomeFile()), "welcome", {});
    } else if (op == "pages") {
        auto path = r.path();
        if (!path) return;
        EngineRuns::renderFilePages(
            *path, [page = r.page](std::string pagesJSON) { page.call("pagesReady", pagesJSON); });
    }
}

void OpenModule::handleMessage(const ScriptMessage& m) {
    const nlohmann::json msg = nlohmann::json::parse(m.body, nullptr, false);
    auto text = [&](const char* key) -> std::string {
        auto it = msg.find(key);
        return it != msg.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    if (m.action == "openExternal") {
        const std::string target = text("url");
        const std::string s = BD::scheme(target);
        if (s == "http" || s == "https") m.app.openInBrowser(target);
    } else if (m.action == "clipboard") {
        // Only share links reach the clipboard.
        const std::string value = text("text");
        const bool copied = BD::scheme(value) == "https";
        if (copied) m.app.setClipboardText(value);
        m.page.run(
            PageScript::callMember("CorvelloShareOnline", "_copyDone", copied ? "true" : "false"));
    }
}

}  // namespace cvl
