#include "operations/OrganizeModule.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "app/Version.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "window/ConfirmChange.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace Organize {
namespace {

constexpr const char* kMiddleDot = "\u00B7 ";

const char* const kExtensions[] = {"pdf", "doc",      "docx", "rtf",  "txt",
                                   "md",  "markdown", "odt",  "html", "htm"};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool organizable(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    std::string ext = lower(pathExtension(name));
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&](const char* e) { return ext == e; });
}

std::optional<long long> integer(std::string_view text) {
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

std::string quoted(const std::string& folder) {
    return "\u201C" + lastPathComponent(folder) + "\u201D";
}

// The folder an operation works on: the "folder" item when present, else the window's first
// source path, else "".
std::string folderOf(const BridgeRequest& r) {
    if (auto given = urlQuery(r.url, "folder")) return *given;
    return r.window.original();
}

void sendProgress(const WindowHandle& page, const Progress& p) {
    page.call("cvlOrgProgress", PageScript::quote(p.line) + "," + std::to_string(p.done) + "," +
                                    std::to_string(p.total));
}

}  // namespace

std::vector<std::string> organizableDocuments(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return names;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (organizable(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string initPayload(const std::string& folder, const std::string& version) {
    nlohmann::json payload{{"folder", folder}, {"ver", version}};
    if (!folder.empty() && isDirectory(folder)) {
        payload["name"] = lastPathComponent(folder);
        payload["files"] = organizableDocuments(folder);
    } else {
        payload["err"] = kOpenError;
    }
    return payload.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Progress parseProgress(const std::string& text, long long count) {
    Progress p;
    p.line = text.rfind(kMiddleDot, 0) == 0 ? text.substr(std::string(kMiddleDot).size()) : text;
    p.done = 0;
    p.total = count;
    for (std::size_t i = 0; i < p.line.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(p.line[i]))) continue;
        std::size_t a = i;
        while (i < p.line.size() && std::isdigit(static_cast<unsigned char>(p.line[i]))) ++i;
        if (i + 1 >= p.line.size() || p.line[i] != '/' ||
            !std::isdigit(static_cast<unsigned char>(p.line[i + 1])))
            continue;
        std::size_t b = i + 1, e = b;
        while (e < p.line.size() && std::isdigit(static_cast<unsigned char>(p.line[e]))) ++e;
        auto done = integer(std::string_view(p.line).substr(a, i - a));
        auto total = integer(std::string_view(p.line).substr(b, e - b));
        if (done && total) {
            p.done = *done;
            p.total = *total;
        }
        break;
    }
    return p;
}

long long parseCount(const std::optional<std::string>& n) {
    if (!n || n->empty()) return 0;
    std::string_view s = *n;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s[0] == '+' || s[0] == '-') return 0;
    auto v = integer(s);
    if (!v) return 0;
    return negative ? -*v : *v;
}

ConfirmSheet applySheet(const std::string& folder, long long n) {
    ConfirmSheet sheet;
    sheet.title = "Organize " + quoted(folder) + "?";
    sheet.message = "Corvello will create folders and move or rename " + std::to_string(n) +
                    " file" + (n == 1 ? "" : "s") + " in " + quoted(folder) +
                    ". Every change is logged and can be undone in one click.";
    sheet.verb = "Organize";
    return sheet;
}

std::string pageURL(const std::string& folder, bool dark) {
    return ReaderAddress::fileURL(EngineLocator::organizeHTMLPath()) +
           "?folder=" + percentEncode(folder) + "&theme=" + (dark ? "dark" : "light");
}

void openOrganizeFolder(AppActions& app, const std::string& folder) {
    app.recordRecent(folder);
    cvlLog("usage: folder.organize");
    app.openToolPage(pageURL(folder, app.darkScheme()), "organize", {folder});
}

void openOrganize(Dialogs& dialogs, AppActions& app) {
    FileChoice choice;
    choice.title = "Organize";
    choice.message = "Choose a folder of documents to organize with AI (on-device)";
    choice.prompt = "Organize";
    choice.folders = true;
    AppActions* actions = &app;
    dialogs.choose(choice, [actions](std::vector<std::string> chosen) {
        if (!chosen.empty()) openOrganizeFolder(*actions, chosen.front());
    });
}

std::vector<std::string> LineSplitter::feed(const std::string& chunk) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ += chunk;
    std::vector<std::string> lines;
    std::size_t start = 0, nl;
    while ((nl = pending_.find('\n', start)) != std::string::npos) {
        std::string line = pending_.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
        start = nl + 1;
    }
    pending_.erase(0, start);
    return lines;
}

std::optional<std::string> LineSplitter::rest() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string line;
    line.swap(pending_);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return std::nullopt;
    return line;
}

}  // namespace Organize

std::vector<std::string> OrganizeModule::operations() const {
    return {"organize", "organizeready", "organizeplan", "organizeapply", "organizeundo"};
}

void OrganizeModule::handle(const BridgeRequest& r) {
    if (r.op == "organize") {
        if (auto dir = r.arg("dir"))
            Organize::openOrganizeFolder(r.app, *dir);
        else
            Organize::openOrganize(r.dialogs, r.app);
        return;
    }
    if (r.op == "organizeready") return ready(r);
    if (r.op == "organizeplan") return plan(r);
    if (r.op == "organizeapply") return apply(r);
    if (r.op == "organizeundo") return undo(r);
}

void OrganizeModule::ready(const BridgeRequest& r) {
    r.page.call("cvlOrgInit", Organize::initPayload(Organize::folderOf(r), kVersion()));
}

void OrganizeModule::plan(const BridgeRequest& r) {
    const std::string folder = Organize::folderOf(r);
    if (folder.empty()) return;
    const long long count = static_cast<long long>(Organize::organizableDocuments(folder).size());
    auto lines = std::make_shared<Organize::LineSplitter>();
    WindowHandle page = r.page;
    EngineRuns::runOrganize(
        {"plan", "--folder", folder}, Organize::kScript,
        [page, lines, count](std::string chunk) {
            for (const auto& line : lines->feed(chunk))
                Organize::sendProgress(page, Organize::parseProgress(line, count));
        },
        {},
        [page, lines, count](std::string answer) {
            if (auto last = lines->rest())
                Organize::sendProgress(page, Organize::parseProgress(*last, count));
            page.call("cvlOrgPlan", answer);
        });
}

void OrganizeModule::apply(const BridgeRequest& r) {
    const std::string folder = Organize::folderOf(r);
    if (folder.empty()) return;
    const long long n = Organize::parseCount(urlQuery(r.url, "n"));
    WindowHandle page = r.page;
    Dialogs* dialogs = &r.dialogs;
    AppActions* app = &r.app;
    page.read("window.__cvlOrgApprove || ''", [page, dialogs, app, folder,
                                               n](std::optional<std::string> approved) {
        if (!approved || approved->empty()) return;
        auto run = [page, text = *approved] {
            std::error_code ec;
            std::string tmp = (std::filesystem::temp_directory_path(ec) /
                               ("cvorg-approve-" + newUuid() + ".json"))
                                  .string();
            if (Status written = writeFileAtomic(tmp, text, 0600); !written) {
                cvlLog("organize: %s", written.error().c_str());
                page.call("cvlOrgApplied",
                          EngineRuns::errorObject("The approved plan could not be saved."));
                return;
            }
            auto lines = std::make_shared<Organize::LineSplitter>();
            auto relay = [page](const std::string& line) {
                Organize::Progress p = Organize::parseProgress(line, 0);
                p.done = p.total = 0;
                Organize::sendProgress(page, p);
            };
            EngineRuns::runOrganize(
                {"apply", "--plan", tmp}, Organize::kScript,
                [lines, relay](std::string chunk) {
                    for (const auto& line : lines->feed(chunk)) relay(line);
                },
                {},
                [page, lines, relay, tmp](std::string answer) {
                    if (auto last = lines->rest()) relay(*last);
                    ::unlink(tmp.c_str());
                    page.call("cvlOrgApplied", answer);
                });
        };
        ConfirmChange::ask(
            *dialogs, *app, "organize", Organize::applySheet(folder, n), run,
            [page] { page.call("cvlOrgApplied", EngineRuns::errorObject(Organize::kCancelled)); });
    });
}

void OrganizeModule::undo(const BridgeRequest& r) {
    auto manifest = r.arg("manifest");
    if (!manifest) return;
    WindowHandle page = r.page;
    EngineRuns::runOrganize({"undo", "--manifest", *manifest}, Organize::kScript, nullptr, {},
                            [page](std::string answer) { page.call("cvlOrgUndone", answer); });
}

}  // namespace cvl
