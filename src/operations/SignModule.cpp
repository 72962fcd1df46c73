#include "operations/SignModule.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/AppConstants.h"
#include "app/EngineLocator.h"
#include "operations/CvlSignedName.h"
#include "operations/FormFields.h"
#include "operations/LoadStamp.h"
#include "operations/OperationPaths.h"
#include "operations/SignStops.h"
#include "operations/SigningLedger.h"
#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"
#include "updates/CvlLiveWork.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {

using nlohmann::json;

namespace {

constexpr int kSignatureMaxWidth = 1200;
constexpr std::uintmax_t kRuleGapsLimit = 2 * 1024 * 1024;

// The PDFs of a folder, by name: the candidates for copies of a form when there is no run.
std::vector<std::string> pdfsIn(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (out.size() >= 2000) break;
        if (entry.is_regular_file(ec) && isPdfPath(entry.path().string()))
            out.push_back(entry.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<int> pageList(const json& value) {
    std::vector<int> pages;
    if (value.is_array())
        for (const auto& p : value)
            if (p.is_number_integer()) pages.push_back(p.get<int>());
    return pages;
}

void saveDone(const WindowHandle& page, const std::string& text) {
    page.call("cvlSignSaveDone", PageScript::quote(text));
}

std::string copiesText(int n) {
    return n == 1 ? std::string("1 signed copy") : std::to_string(n) + " signed copies";
}

}  // namespace

std::optional<SignModule::Run> SignModule::run(const std::string& id) {
    std::lock_guard guard(lock_);
    auto it = runs_.find(id);
    if (it == runs_.end()) return std::nullopt;
    return it->second;
}

SignModule::ApplyState SignModule::applyState(const std::string& windowKey) {
    std::lock_guard guard(lock_);
    return apply_[windowKey];
}

void SignModule::handle(const BridgeRequest& request) {
    if (request.op == "signrun") startRun(request);
    if (request.op == "signrunnext") stepRun(request, 1);
    if (request.op == "signrunprev") stepRun(request, -1);
    if (request.op == "signreplayready") replayReady(request);
    if (request.op == "signimport") importImage(request);
    if (request.op == "signsave") save(request);
    if (request.op == "printsaved") {
        std::string path;
        {
            std::lock_guard guard(lock_);
            path = lastSaved_[windowKey(request.window)];
        }
        std::optional<std::string> bytes;
        if (!path.empty() && isRegularFile(path)) bytes = readFile(path);
        if (!bytes) {
            request.page.toast("Save the signed copy first, then print it.");
        } else {
            PrintRequest job;
            job.title = std::filesystem::path(path).filename().string();
            job.pdfBytes = std::move(*bytes);
            WindowHandle page = request.page;
            request.app.printDocument(job, [page](PrintOutcome outcome) {
                if (!outcome.printed && !outcome.cancelled && !outcome.message.empty())
                    page.toast(outcome.message);
            });
        }
    }
    if (request.op == "signstops") {
        json pages = json::parse(request.arg("pages").value_or("[]"), nullptr, false);
        std::string token = request.arg("token").value_or("");
        signStops(request.window, request.page, pageList(pages), PageScript::quote(token));
    }
}

void SignModule::handleMessage(const ScriptMessage& message) {
    if (message.action == "sagap") {
        ruleGaps(message);
        return;
    }
    json body = json::parse(message.body, nullptr, false);
    if (!body.is_object()) return;
    json token = body.contains("token") ? body["token"] : json("");
    signStops(message.window, message.page, pageList(body.value("pages", json::array())),
              token.dump());
}

// ---- runs ----

void SignModule::startRun(const BridgeRequest& request) {
    std::vector<std::string> paths;
    std::vector<std::string> asked = request.paths();
    if (asked.empty()) asked.push_back(request.window.original());
    for (const auto& p : asked)
        if (isPdfPath(p) && isRegularFile(p)) paths.push_back(p);
    if (paths.empty()) {
        request.page.toast("Signing works on PDF documents.");
        return;
    }
    std::string id;
    {
        std::lock_guard guard(lock_);
        id = "r" + std::to_string(++nextRun_);
        Run run;
        run.paths = paths;
        run.name = request.arg("name").value_or(
            paths.size() > 1 ? "Signing " + std::to_string(paths.size()) + " documents" : "");
        runs_[id] = run;
    }
    openInRun(id, 1, nullptr, request.app);
}

void SignModule::stepRun(const BridgeRequest& request, int delta) {
    const std::string id = request.arg("runid").value_or("");
    auto r = run(id);
    if (!r) return;
    int position = 1;
    auto here = std::find(r->paths.begin(), r->paths.end(), request.window.original());
    if (here != r->paths.end()) position = int(here - r->paths.begin()) + 1;
    int next = position + delta;
    if (next < 1 || next > int(r->paths.size())) return;
    openInRun(id, next, &request.page, request.app);
}

void SignModule::openInRun(const std::string& runId, int position, const WindowHandle* inWindow,
                           AppActions& app) {
    auto r = run(runId);
    if (!r || position < 1 || position > int(r->paths.size())) return;
    std::optional<WindowHandle> window;
    if (inWindow) window = *inWindow;
    AppActions* actions = &app;
    const bool dark = app.darkScheme();
    Dispatch::global().async([=] {
        const std::string path = r->paths[size_t(position - 1)];
        ReaderAddressInputs in;
        in.readerPage = EngineLocator::signHTMLPath();
        in.pdf = path;
        in.orig = path;
        in.darkScheme = dark;
        in.verb = "sign";
        if (r->paths.size() > 1) {
            ReaderRun info;
            info.position = position;
            info.total = int(r->paths.size());
            info.name = r->name;
            info.sameCopies = int(sameFormCopies(path, r->paths).size());
            info.replay =
                r->plan && r->planSource != path && !sameFormCopies(r->planSource, {path}).empty();
            in.run = info;
        }
        const std::string url =
            ReaderAddress::withQueryItem(ReaderAddress::build(in), "runid", runId);
        Dispatch::main().async([=] {
            if (window)
                window->showToolPage(url, "sign", {path});
            else
                actions->openToolPage(url, "sign", {path});
        });
    });
}

void SignModule::replayReady(const BridgeRequest& request) {
    auto r = run(request.arg("runid").value_or(""));
    if (!r || !r->plan) return;
    request.page.call("__cvlSignReplay", signPlanJson(*r->plan));
}

void SignModule::rememberPlan(const std::string& runId, const SignPlan& plan,
                              const std::string& source) {
    std::lock_guard guard(lock_);
    auto it = runs_.find(runId);
    if (it == runs_.end()) return;
    it->second.plan = plan;
    it->second.planSource = source;
}

// ---- pictures ----

void SignModule::importImage(const BridgeRequest& request) {
    FileChoice choice;
    choice.title = "Choose a picture of your signature";
    choice.prompt = "Import";
    choice.extensions = {"png", "jpg", "jpeg", "gif", "bmp", "tif", "tiff"};
    int maxWidth = kSignatureMaxWidth;
    if (auto m = request.arg("max")) maxWidth = std::clamp(std::atoi(m->c_str()), 64, 4000);
    WindowHandle page = request.page;
    request.dialogs.choose(choice, [page, maxWidth](std::vector<std::string> paths) {
        if (paths.empty()) return;
        const std::string path = paths[0];
        Dispatch::global().async([page, path, maxWidth] {
            auto png = signPngBase64(path, maxWidth);
            json reply{{"name", lastPathComponent(path)}};
            if (png)
                reply["png"] = *png;
            else
                reply["error"] = png.error();
            page.call("cvlSignImportNative", reply.dump());
        });
    });
}

// ---- signing stops ----

void SignModule::signStops(const WindowSnapshot& window, const WindowHandle& page,
                           const std::vector<int>& pages, const std::string& tokenJson) {
    const std::string path = window.shownFile();
    if (path.empty()) return;
    Dispatch::global().async([page, path, pages, tokenJson] {
        json token = json::parse(tokenJson, nullptr, false);
        if (token.is_discarded()) token = "";
        auto doc = PdfDocument::openFile(path);
        std::vector<int> route = pages;
        if (doc && !doc->isLocked() && route.empty())
            for (int i = 1; i <= doc->pageCount(); ++i) route.push_back(i);
        page.call("cvlSignStopsRoute", json{{"token", token}, {"pages", route}}.dump());
        std::vector<SignStop> stops;
        if (doc && !doc->isLocked()) stops = findSignStops(*doc, pages);
        page.call("cvlSignStopsResult",
                  json{{"token", token}, {"stops", json::parse(signStopsJson(stops))}}.dump());
    });
}

void SignModule::ruleGaps(const ScriptMessage& message) {
    json body = json::parse(message.body, nullptr, false);
    if (!body.is_object() || !body.contains("gaps") || !body["gaps"].is_array()) {
        message.app.readerLog("sign-stops: dropped a malformed rule-gap report from the page");
        return;
    }
    std::vector<json> gaps;
    for (const auto& gap : body["gaps"])
        if (gap.is_object()) gaps.push_back(gap);
    if (gaps.empty()) return;
    const std::string file = UserDirs::supportDir() + "/rule-gaps.jsonl";
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    if (!ec && size > kRuleGapsLimit) {
        message.app.readerLog("sign-stops: rule-gaps.jsonl is over 2 MB; " +
                              std::to_string(gaps.size()) + " candidate(s) not recorded");
        return;
    }
    std::string lines;
    for (auto& gap : gaps) {
        gap["detector"] = body.value("detector", json());
        gap["fp"] = body.value("fp", json());
        gap["CFBundleVersion"] = buildNumber();
        lines += (lines.empty() ? "" : "\n") + gap.dump();
    }
    Status written = SigningLedger::appendJsonLine(file, lines);
    if (!written) cvlLog("sign-stops: cannot record rule gaps: %s", written.error().c_str());
}

// ---- saving ----

void SignModule::save(const BridgeRequest& request) {
    const std::string source = request.window.original();
    if (source.empty() || !isRegularFile(source)) {
        request.page.toast("The document is no longer where it was opened from.");
        return;
    }
    const std::string runId = request.arg("runid").value_or("");
    const bool applyAll = request.flag("applyall");
    WindowHandle page = request.page;
    BridgeRequest later = request;
    page.read("JSON.stringify(window.__cvlSignPlan||null)", [=, this](
                                                                std::optional<std::string> text) {
        auto plan = parseSignPlan(text.value_or(""));
        if (!plan) {
            page.toast(plan.error());
            return;
        }
        Dispatch::global().async([=, this, plan = std::move(plan.value())] {
            auto copy = buildSignedCopy(source, plan);
            Dispatch::main().async([=, this] {
                if (!copy) {
                    saveDone(page, copy.error());
                    return;
                }
                SignedCopy stats = copy.value();
                stats.bytes.clear();
                page.call("cvlSignBuilt", json{{"out", base64Encode(copy->bytes)},
                                               {"placements", copy->placements},
                                               {"hadFields", copy->hadFields},
                                               {"flattenFailed", copy->flattenFailed}}
                                              .dump());
                // The page hands back what it now holds, as every signing page does.
                page.read("window.__cvlSignExport ? __cvlSignExport() : ''",
                          [=, this](std::optional<std::string> out) {
                              if (!out || out->empty()) {
                                  page.toast("Could not read the signed document.");
                                  return;
                              }
                              auto bytes = base64Decode(*out);
                              if (!bytes || !PdfDocument::openBytes(*bytes)) {
                                  later.app.showNotice(
                                      "signsave", "The signed copy could not be saved",
                                      "Corvello built the signed document but could not hand it "
                                      "back for saving, so nothing was written and your original "
                                      "is untouched. Your signature is still placed on the "
                                      "page.\n\nOpening this document in its own window and "
                                      "signing there will work. Please report this if it happens "
                                      "again.");
                                  return;
                              }
                              if (applyAll)
                                  applyToAll(later, runId, plan, stats, std::move(*bytes));
                              else
                                  saveOne(later, runId, plan, stats, std::move(*bytes));
                          });
            });
        });
    });
}

void SignModule::saveOne(const BridgeRequest& request, const std::string& runId,
                         const SignPlan& plan, const SignedCopy& copy, std::string bytes) {
    const std::string source = request.window.original();
    std::string suggest = request.arg("suggest").value_or("");
    SaveChoice choice;
    choice.title = "Save the signed copy";
    choice.prompt = "Save";
    choice.suggestedName = CvlSignedName::fileName(suggest);
    choice.folder = parentPath(source);
    choice.extensions = {"pdf"};
    WindowHandle page = request.page;
    AppActions* app = &request.app;
    const std::string key = windowKey(request.window);
    request.dialogs.save(choice, [=, this](std::optional<std::string> target) {
        if (!target) {
            page.toast("Save canceled: your signature is still placed.");
            return;
        }
        if (*target == source) {
            page.toast("Corvello never saves over the original: choose another name.");
            return;
        }
        Status written = writeFileAtomic(*target, bytes);
        if (!written) {
            saveDone(page, "Could not save " + lastPathComponent(*target) + ": " + written.error());
            return;
        }
        Status recorded = SigningLedger::record(source, *target, copy.placements);
        if (!recorded) cvlLog("signsave: the ledger was not written: %s", recorded.error().c_str());
        rememberPlan(runId, plan, source);
        {
            std::lock_guard guard(lock_);
            lastSaved_[key] = *target;
        }
        app->revealInFileManager({*target});
        page.call("__cvlSignDone", "");
        saveDone(page, signSaveReport(copy));
    });
}

void SignModule::applyToAll(const BridgeRequest& request, const std::string& runId,
                            const SignPlan& plan, const SignedCopy& copy, std::string bytes) {
    const std::string source = request.window.original();
    const std::string key = windowKey(request.window);
    std::vector<std::string> candidates;
    if (auto r = run(runId)) candidates = r->paths;
    if (candidates.empty()) candidates = request.window.setPaths;
    FileChoice choice;
    choice.title = "Choose where to save the signed copies";
    choice.prompt = "Save Here";
    choice.folders = true;
    choice.startFolder = parentPath(source);
    WindowHandle page = request.page;
    AppActions* app = &request.app;
    request.dialogs.choose(choice, [=, this](std::vector<std::string> chosen) {
        if (chosen.empty()) {
            page.toast("Save canceled: your signature is still placed.");
            return;
        }
        const std::string dest = chosen[0];
        long long gen = 0;
        {
            std::lock_guard guard(lock_);
            ApplyState& state = apply_[key];
            gen = ++state.gen;
            state.queue.clear();
            state.done.clear();
            state.dest = dest;
            state.spec = signPlanJson(plan);
            state.pending = true;
        }
        rememberPlan(runId, plan, source);
        // An update waits while the signed copies are written.
        auto running = std::make_shared<LiveWorkMark>(LiveWorkMark::Kind::SigningRun);
        Dispatch::global().async([=, this, running = std::move(running)] {
            auto stillCurrent = [&] {
                std::lock_guard guard(lock_);
                return apply_[key].gen == gen;
            };
            const auto others = sameFormCopies(
                source, candidates.empty() ? pdfsIn(parentPath(source)) : candidates);
            {
                std::lock_guard guard(lock_);
                if (apply_[key].gen == gen) apply_[key].queue = others;
            }
            std::vector<std::string> written;
            std::vector<std::string> failed;
            const int total = int(others.size()) + 1;
            auto writeCopy = [&](const std::string& from, const std::string& data, int placements) {
                const std::string target = CvlSignedName::freePathIn(dest, lastPathComponent(from));
                if (!writeFileAtomic(target, data)) return false;
                Status recorded = SigningLedger::record(from, target, placements);
                if (!recorded)
                    cvlLog("signsave: the ledger was not written: %s", recorded.error().c_str());
                written.push_back(target);
                return true;
            };
            if (!writeCopy(source, bytes, copy.placements))
                failed.push_back(lastPathComponent(source));
            for (size_t i = 0; i < others.size(); ++i) {
                if (!stillCurrent()) return;  // a newer run took over
                const std::string& path = others[i];
                page.call(
                    "cvlSignApplyProgress",
                    json{{"done", int(i) + 1}, {"total", total}, {"name", lastPathComponent(path)}}
                        .dump());
                auto signedCopy = buildSignedCopy(path, plan);
                if (!signedCopy || !writeCopy(path, signedCopy->bytes, signedCopy->placements)) {
                    failed.push_back(lastPathComponent(path));
                    page.toast("Could not save " + lastPathComponent(path));
                }
                std::lock_guard guard(lock_);
                auto& state = apply_[key];
                if (!state.queue.empty()) state.queue.erase(state.queue.begin());
                state.done.push_back(path);
            }
            {
                std::lock_guard guard(lock_);
                if (apply_[key].gen != gen) return;
                apply_[key].pending = false;
            }
            std::string text =
                "Saved " + copiesText(int(written.size())) + ". The originals are untouched.";
            for (const auto& name : failed) text += " Could not save " + name + ".";
            Dispatch::main().async([=] {
                if (!written.empty()) {
                    app->revealInFileManager(written);
                    page.call("__cvlSignDone", "");
                }
                saveDone(page, text);
            });
        });
    });
}

}  // namespace cvl
