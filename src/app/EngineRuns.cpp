#include "app/EngineRuns.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "app/EngineLocator.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/JsonText.h"
#include "platform/SysLog.h"
#include "platform/Text.h"
#include "platform/UserDirs.h"
#include "platform/speech/Speech.h"
#include "window/ReadAloudVoices.h"

namespace cvl::EngineRuns {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kPathPrefix = "export PATH=/opt/homebrew/bin:/usr/local/bin:$PATH; ";

void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// A JSON document as the pages take it: an object or an array.
bool isJSONDocument(const std::string& text) {
    nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    return doc.is_object() || doc.is_array();
}

std::optional<nlohmann::json> readJSONObject(const std::string& path) {
    auto text = readFile(path);
    if (!text) return std::nullopt;
    nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    return doc;
}

void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}

// Runs a conversion and, once the process has ended whatever its status, hands the output
// path to `onMain` on the main queue. The caller reads and removes the files there.
void startConversion(const std::string& engineScript, const std::string& flag, bool pathPrefix,
                     const std::string& input, const std::string& output,
                     std::function<void()> onMain) {
    makeDirs(UserDirs::archiveDir());
    spawnProcess(conversionSpec(engineScript, flag, pathPrefix, input, output),
                 [onMain = std::move(onMain)](ProcessResult) { Dispatch::main().async(onMain); });
}

}  // namespace

// ---- launcher

std::vector<std::string> loadArgs(const std::string& loadingFile,
                                  const std::optional<std::string>& mode,
                                  const std::vector<std::string>& paths) {
    std::vector<std::string> args{"--choose", "--loading-file", loadingFile};
    if (mode) append(args, {"--mode", *mode});
    append(args, paths);
    return args;
}

std::vector<std::string> reshellArgs(const std::string& loadingFile,
                                     const std::optional<std::string>& folders,
                                     const std::optional<std::string>& types, bool remember,
                                     const std::vector<std::string>& sourcePaths) {
    std::vector<std::string> args{"--loading-file", loadingFile};
    if (folders) append(args, {"--include-folders", *folders});
    if (types) append(args, {"--include-types", *types});
    if (remember) args.push_back("--remember");
    append(args, sourcePaths);
    return args;
}

std::vector<std::string> reshellChooseArgs(const std::string& loadingFile, bool reset,
                                           const std::vector<std::string>& sourcePaths) {
    std::vector<std::string> args{"--choose", "--loading-file", loadingFile};
    if (reset) args.push_back("--reset-pref");
    append(args, sourcePaths);
    return args;
}

std::vector<std::string> reloadRecacheArgs(const std::string& loadingFile, bool fresh,
                                           const std::vector<std::string>& sourcePaths) {
    std::vector<std::string> args{"--choose", "--loading-file", loadingFile};
    if (fresh) args.push_back("--fresh");
    append(args, sourcePaths);
    return args;
}

ProcessSpec shellEngineSpec(const std::vector<std::string>& args) {
    ProcessSpec spec;
    spec.program = "/bin/bash";
    spec.args.push_back(EngineLocator::engineLauncher());
    append(spec.args, args);
    // The review page's text comparison reads documents through the companion.
    spec.env["CVL_CLI"] = EngineLocator::cvlCompanion();
    return spec;
}

void shellEngine(const std::vector<std::string>& args) {
    spawnProcess(shellEngineSpec(args));
}

// ---- conversions

std::string conversionScriptText(const std::string& flag, bool pathPrefix) {
    return std::string(pathPrefix ? kPathPrefix : "") + "exec /usr/bin/python3 \"$0\" " + flag +
           " \"$1\" \"$2\"";
}

ProcessSpec conversionSpec(const std::string& engineScript, const std::string& flag,
                           bool pathPrefix, const std::string& input, const std::string& output) {
    ProcessSpec spec;
    spec.program = "/bin/bash";
    spec.args = {"-c", conversionScriptText(flag, pathPrefix), engineScript, input, output};
    spec.env["CVL_CLI"] = EngineLocator::cvlCompanion();  // the diff script reads text through it
    return spec;
}

std::string exchangeFilePath(const std::string& prefix) {
    return UserDirs::archiveDir() + "/" + prefix + newUuid() + ".json";
}

void convertToPDF(const std::string& source,
                  std::function<void(std::optional<std::string>)> completion) {
    std::string out = exchangeFilePath(".topdf-");
    startConversion(EngineLocator::triageGenPy(), "--to-pdf", true, source, out,
                    [out, completion = std::move(completion)] {
                        std::optional<std::string> pdf;
                        if (auto doc = readJSONObject(out)) {
                            auto it = doc->find("pdf");
                            if (it != doc->end() && it->is_string() &&
                                !it->get_ref<const std::string&>().empty())
                                pdf = it->get<std::string>();
                            auto error = doc->find("error");
                            if (!pdf && error != doc->end() && error->is_string())
                                cvlLog("convert: %s", error->get<std::string>().c_str());
                        }
                        removeFile(out);
                        if (completion) completion(pdf);
                    });
}

void editProbe(const std::string& path,
               std::function<void(std::optional<std::string>)> completion) {
    std::string out = exchangeFilePath(".editprobe-");
    startConversion(EngineLocator::triageGenPy(), "--edit-probe", false, path, out,
                    [out, completion = std::move(completion)] {
                        std::optional<std::string> probe;
                        if (auto doc = readJSONObject(out)) probe = jsonText(*doc);
                        removeFile(out);
                        if (completion) completion(probe);
                    });
}

void parseGrid(const std::string& path,
               std::function<void(std::optional<std::string>)> completion) {
    std::string out = exchangeFilePath(".grid-");
    startConversion(EngineLocator::triageGenPy(), "--grid-json", false, path, out,
                    [out, completion = std::move(completion)] {
                        std::optional<std::string> grid = readFile(out);
                        if (grid && grid->empty()) grid.reset();
                        removeFile(out);
                        if (completion) completion(grid);
                    });
}

std::string emptyPagesAnswer(const std::string& path) {
    nlohmann::json answer{
        {"path", path}, {"pages", nlohmann::json::array()}, {"needs_converter", false}};
    return jsonText(answer);
}

void renderFilePages(const std::string& path, std::function<void(std::string)> completion) {
    std::string out = exchangeFilePath(".pages-");
    startConversion(EngineLocator::triageGenPy(), "--render-pages", true, path, out,
                    [out, path, completion = std::move(completion)] {
                        std::optional<std::string> text = readFile(out);
                        removeFile(out);
                        std::string answer =
                            text && !trimmed(*text).empty() ? *text : emptyPagesAnswer(path);
                        if (completion) completion(answer);
                    });
}

void computeTimeline(const std::vector<std::string>& paths, bool meta,
                     const std::optional<std::vector<std::pair<int, int>>>& pairs,
                     std::function<void(std::optional<TimelineResult>)> completion) {
    makeDirs(UserDirs::archiveDir());
    std::string in = exchangeFilePath(".tl-");
    std::string out = exchangeFilePath(".tlo-");
    nlohmann::json request{{"paths", paths}, {"meta", meta}};
    if (pairs) {
        nlohmann::json list = nlohmann::json::array();
        for (auto [a, b] : *pairs) list.push_back({a, b});
        request["pairs"] = list;
    }
    if (!writeFileAtomic(in, jsonText(request))) {
        Dispatch::main().async([completion = std::move(completion)] {
            if (completion) completion(std::nullopt);
        });
        return;
    }
    startConversion(EngineLocator::corvelloDiffPy(), "--multi-diff", false, in, out,
                    [in, out, completion = std::move(completion)] {
                        std::optional<TimelineResult> result;
                        if (auto doc = readJSONObject(out)) {
                            auto dump = [](const nlohmann::json& v) {
                                return v.dump(-1, ' ', false,
                                              nlohmann::json::error_handler_t::replace);
                            };
                            TimelineResult r;
                            auto drafts = doc->find("drafts");
                            r.draftsJSON = drafts != doc->end() ? dump(*drafts) : "[]";
                            auto diffs = doc->find("diffs");
                            if (diffs != doc->end() && diffs->is_object())
                                for (auto it = diffs->begin(); it != diffs->end(); ++it)
                                    r.diffs[it.key()] = dump(it.value());
                            result = std::move(r);
                        }
                        removeFile(in);
                        removeFile(out);
                        if (completion) completion(std::move(result));
                    });
}

// ---- organizer, campaign and AI runs

std::string errorObject(const std::string& message) {
    return jsonText(nlohmann::json{{"error", message}});
}

std::string reduceOrganizerOutput(const std::string& out) {
    const std::string whole = trimmed(out);
    if (!whole.empty()) {
        if (isJSONDocument(whole)) return whole;
        auto nl = whole.find_last_of('\n');
        std::string last = trimmed(nl == std::string::npos ? whole : whole.substr(nl + 1));
        if (!last.empty() && isJSONDocument(last)) return last;
    }
    return errorObject(kOrganizerStartError);
}

ProcessSpec organizeSpec(const std::vector<std::string>& args, const std::string& script,
                         const std::map<std::string, std::string>& extraEnv) {
    ProcessSpec spec;
    spec.program = EngineLocator::engineInterpreter();
    spec.args.push_back(EngineLocator::launcherSibling(script));
    append(spec.args, args);
    spec.env["PATH"] = kEnginePATH;
    spec.env["CVL_CLI"] = EngineLocator::cvlCompanion();
    for (const auto& [k, v] : extraEnv) spec.env[k] = v;
    spec.env["CVL_ENGINE_PARENT_PID"] = std::to_string(::getpid());
    return spec;
}

void runOrganize(const std::vector<std::string>& args, const std::string& script,
                 std::function<void(std::string)> progress,
                 const std::map<std::string, std::string>& extraEnv,
                 std::function<void(std::string)> completion) {
    ProcessSpec spec = organizeSpec(args, script, extraEnv);
    if (progress)
        spec.onStderr = [progress = std::move(progress)](std::string_view chunk) {
            progress(std::string(chunk));
        };
    spawnProcess(std::move(spec), [completion = std::move(completion)](ProcessResult r) {
        std::string answer = r.launched ? reduceOrganizerOutput(r.out) : errorObject(r.launchError);
        Dispatch::main().async([answer = std::move(answer), completion] {
            if (completion) completion(answer);
        });
    });
}

ProcessSpec aiSpec(const std::vector<std::string>& args) {
    ProcessSpec spec;
    spec.program = EngineLocator::engineInterpreter();
    spec.args.push_back(EngineLocator::launcherSibling("corvello_ai.py"));
    append(spec.args, args);
    spec.env["PATH"] = kEnginePATH;
    spec.env["CVL_CLI"] = EngineLocator::cvlCompanion();
    return spec;
}

void runAI(const std::vector<std::string>& args, std::function<void(std::string)> completion) {
    spawnProcess(aiSpec(args), [completion = std::move(completion)](ProcessResult r) {
        Dispatch::main().async([out = std::move(r.out), completion] {
            if (completion) completion(out);
        });
    });
}

// ---- panels

std::string panelOutputPath(const std::string& kind) {
    return UserDirs::archiveDir() + "/.panel-" + kind + "-" + newUuid() + ".html";
}

std::vector<std::string> panelArgs(const PanelRequest& r) {
    std::vector<std::string> args{EngineLocator::panelPy(),
                                  r.kind,
                                  r.outputPath,
                                  "--version",
                                  r.version,
                                  "--app",
                                  r.brandName,
                                  "--category",
                                  r.brandCategory};
    if (r.kind == "settings" && r.settings) {
        const SettingsPanelInfo& s = *r.settings;
        auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
        append(args, {"--config",
                      s.configPath,
                      "--fda",
                      flag(s.fullDiskAccess),
                      "--finderext",
                      flag(s.finderExtension),
                      "--iconsdir",
                      s.iconsDir,
                      "--defaultpdf",
                      flag(s.defaultPdfViewer),
                      "--defaultgroups",
                      s.defaultGroupsJSON,
                      "--defaultnever",
                      flag(s.defaultNeverAsk),
                      "--voices",
                      s.voicesJSON.value_or("[]"),
                      "--mcpstatus",
                      s.mcpStatusJSON,
                      "--bondwickstatus",
                      s.bondwickStatusJSON,
                      "--accountstatus",
                      s.accountStatusJSON,
                      "--feedback",
                      s.feedbackJSON,
                      "--syncstatus",
                      s.syncStatusJSON,
                      "--openpalette",
                      s.openPalette,
                      "--nightwindow",
                      s.nightWindow});
    }
    append(args, r.extraArgs);
    return args;
}

void preparePanelRun(const std::string& kind) {
    makeDirs(UserDirs::archiveDir());
    if (kind == "settings" && !pathExists(UserDirs::configPath()))
        if (Status saved = saveConfig(configDefaults()); !saved)
            cvlLog("settings panel: the default settings were not written: %s",
                   saved.error().c_str());
}

void runPanelScript(const PanelRequest& request, std::function<void(std::string)> finished) {
    preparePanelRun(request.kind);
    ProcessSpec spec;
    spec.program = kPython;
    if (request.settings && !request.settings->voicesJSON) {
        PanelRequest withVoices = request;
        withVoices.settings->voicesJSON = ReadAloudVoices::optionsJSON(speech::installedVoices());
        spec.args = panelArgs(withVoices);
    } else {
        spec.args = panelArgs(request);
    }
    spawnProcess(std::move(spec),
                 [out = request.outputPath, finished = std::move(finished)](ProcessResult r) {
                     if (!r.launched) return;  // a launch failure leaves the caller as it was
                     Dispatch::main().async([out, finished] {
                         if (finished) finished(out);
                     });
                 });
}

}  // namespace cvl::EngineRuns
