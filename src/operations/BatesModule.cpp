#include "operations/BatesModule.h"

#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "app/EngineLocator.h"
#include "operations/BatesStamper.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/pdf/PdfStamping.h"
#include "window/ConfirmChange.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {

struct BatesModule::Running {
    std::mutex lock;
    std::set<std::string> folders;

    bool claim(const std::string& dir) {
        std::lock_guard guard(lock);
        return folders.insert(dir).second;
    }
    void release(const std::string& dir) {
        std::lock_guard guard(lock);
        folders.erase(dir);
    }
};

namespace {

using nlohmann::json;

std::string dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The folder a Bates window stands for: the first folder among the paths it shows.
std::optional<std::string> windowFolder(const WindowSnapshot& window) {
    for (const auto& p : window.sourcePaths)
        if (isDirectory(p)) return p;
    return std::nullopt;
}

std::string outputDirOf(const std::string& folder) {
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/" + BatesStamper::kOutputFolderName;
}

std::string plural(size_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void sendDone(const WindowHandle& page, const json& value) {
    page.call("cvlBatesDone", dump(value));
}

void sendError(const WindowHandle& page, const std::string& text) {
    sendDone(page, json{{"error", text}});
}

}  // namespace

BatesModule::BatesModule() : running_(std::make_shared<Running>()) {}

std::vector<std::string> BatesModule::operations() const {
    return {"bates", "batesready", "batesapply"};
}

void BatesModule::handle(const BridgeRequest& request) {
    if (request.op == "bates")
        open(request);
    else if (request.op == "batesready")
        ready(request);
    else if (request.op == "batesapply")
        apply(request);
}

void BatesModule::open(const BridgeRequest& request) {
    const std::string pagePath = EngineLocator::batesHTMLPath();
    if (!isRegularFile(pagePath)) {
        request.page.toast("The Bates page is missing from this build.");
        return;
    }
    const std::string url = ReaderAddress::withQueryItem(
        ReaderAddress::fileURL(pagePath), "theme", request.app.darkScheme() ? "dark" : "light");
    AppActions& app = request.app;
    auto show = [&app, url](const std::string& folder) {
        app.openToolPage(url, "bates", {folder});
    };
    if (auto folder = windowFolder(request.window)) return show(*folder);
    FileChoice choice;
    choice.title = "Bates Numbering";
    choice.message = "Choose the folder whose PDFs and images you want to stamp.";
    choice.prompt = "Choose";
    choice.folders = true;
    const std::string original = request.window.original();
    if (!original.empty()) choice.startFolder = parentPath(original);
    request.dialogs.choose(choice, [show](std::vector<std::string> chosen) {
        if (!chosen.empty()) show(chosen[0]);
    });
}

void BatesModule::ready(const BridgeRequest& request) {
    WindowHandle page = request.page;
    auto folder = windowFolder(request.window);
    if (!folder) {
        page.call("cvlBatesInit", dump(json{{"error", BatesStamper::kFolderUnreadable}}));
        return;
    }
    Dispatch::global().async([page, folder = *folder] {
        auto inputs = batesInputList(folder);
        if (!inputs) {
            page.call("cvlBatesInit", dump(json{{"error", BatesStamper::kFolderUnreadable}}));
            return;
        }
        const std::string outputDir = outputDirOf(folder);
        const BatesStamper::Manifest manifest = BatesStamper::loadManifest(outputDir);
        const long long existingMax = BatesStamper::maxAssigned(manifest);
        json init{{"folder", folder},
                  {"name", lastPathComponent(folder)},
                  {"outputDir", outputDir},
                  {"count", inputs->size()},
                  {"pages", batesPageCount(*inputs)},
                  {"existingMax", existingMax},
                  {"suggestedStart", existingMax + 1},
                  {"runs", manifest.runs.size()},
                  {"heic", heicDecodingAvailable()}};
        if (!manifest.runs.empty()) {
            const ManifestRun& last = manifest.runs.back();
            init["prefix"] = last.settings.prefix;
            init["lastRun"] = json{{"beginLabel", last.beginLabel},
                                   {"endLabel", last.endLabel},
                                   {"timestamp", last.timestamp}};
        }
        page.call("cvlBatesInit", dump(init));
    });
}

void BatesModule::apply(const BridgeRequest& request) {
    WindowHandle page = request.page;
    auto folder = windowFolder(request.window);
    if (!folder) return sendError(page, BatesStamper::kFolderUnreadable);
    Dialogs& dialogs = request.dialogs;
    AppActions& app = request.app;
    auto running = running_;
    page.read("window.__cvlBatesConfig || ''", [page, folder = *folder, &dialogs, &app,
                                                running](std::optional<std::string> text) {
        if (!page.alive()) return;  // the window and its dialogs are gone
        const BatesConfig config = batesConfigFromPage(text.value_or(""));
        if (config.prefix.empty()) return sendError(page, BatesStamper::kEmptyPrefix);
        if (!helveticaBoldCovers(config.prefix))
            return sendError(page, BatesStamper::kPrefixNotDrawable);
        auto inputs = batesInputList(folder);
        if (!inputs) return sendError(page, BatesStamper::kFolderUnreadable);
        if (inputs->empty()) return sendError(page, BatesStamper::kNoFolderInputs);

        const size_t n = inputs->size();
        ConfirmSheet sheet;
        sheet.title = "Stamp " + plural(n, "document") + " with Bates numbers?";
        sheet.message = "Corvello will write Bates-stamped copies of " + plural(n, "document") +
                        " into a \u201cBates-Stamped\u201d folder inside \u201c" +
                        lastPathComponent(folder) +
                        "\u201d. Your originals are not modified, and every assigned range is "
                        "recorded in an audit manifest.";
        sheet.verb = "Stamp " + plural(n, "document");
        sheet.alternate = "Stamp";
        auto run = [page, folder, config, inputs = *inputs, running] {
            const std::string outputDir = outputDirOf(folder);
            if (!running->claim(outputDir))
                return sendError(page, "This folder is being stamped already.");
            Dispatch::global().async([page, outputDir, config, inputs, running] {
                BatesRunResult result = BatesStamper::stamp(
                    inputs, outputDir, config, std::nullopt, [page](const std::string& line) {
                        page.call("cvlBatesProgress", PageScript::quote(line));
                    });
                running->release(outputDir);
                page.call("cvlBatesDone", BatesModule::doneJson(result));
            });
        };
        ConfirmChange::ask(dialogs, app, "bates", sheet, run,
                           [page] { sendError(page, BatesStamper::kNothingStamped); });
    });
}

std::string BatesModule::doneJson(const BatesRunResult& result) {
    if (result.collision) return dump(json{{"error", *result.collision}});
    if (result.error) return dump(json{{"error", *result.error}});
    int skipped = 0;
    json failures = json::array();
    for (const auto& d : result.documents) {
        if (d.skipped) ++skipped;
        if (d.error)
            failures.push_back(json{{"name", lastPathComponent(d.source)}, {"error", *d.error}});
    }
    return dump(json{{"stamped", result.stampedCount},
                     {"pages", result.pageCount},
                     {"skipped", skipped},
                     {"failed", failures.size()},
                     {"failures", failures},
                     {"beginLabel", result.beginLabel},
                     {"endLabel", result.endLabel},
                     {"outputDir", result.outputDir},
                     {"manifest", result.manifestPath},
                     {"loadFile", result.csvPath}});
}

}  // namespace cvl
