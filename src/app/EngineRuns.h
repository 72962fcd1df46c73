// Starting the engine's scripts: the review-page launcher, the conversion runs that exchange
// JSON files in the working folder, the organizer/campaign and AI runs, and the panel pages.
// Argument lists are built by pure functions so that what crosses to the engine is fixed.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ProcessRunner.h"

namespace cvl::EngineRuns {

// ---- the review-page launcher (started through "/bin/bash" with the launcher path first)

// Open a set of documents or folders.
std::vector<std::string> loadArgs(const std::string& loadingFile,
                                  const std::optional<std::string>& mode,
                                  const std::vector<std::string>& paths);
// Re-run with a folder or type filter (each list as the page gave it).
std::vector<std::string> reshellArgs(const std::string& loadingFile,
                                     const std::optional<std::string>& folders,
                                     const std::optional<std::string>& types, bool remember,
                                     const std::vector<std::string>& sourcePaths);
std::vector<std::string> reshellChooseArgs(const std::string& loadingFile, bool reset,
                                           const std::vector<std::string>& sourcePaths);
std::vector<std::string> reloadRecacheArgs(const std::string& loadingFile, bool fresh,
                                           const std::vector<std::string>& sourcePaths);

ProcessSpec shellEngineSpec(const std::vector<std::string>& args);
// Starts the launcher and returns at once; a launch failure is ignored.
void shellEngine(const std::vector<std::string>& args);

// ---- conversion runs: /bin/bash -c SCRIPT ENGINE_SCRIPT INPUT OUTPUT

// exec /usr/bin/python3 "$0" FLAG "$1" "$2", with the PATH prefix when asked.
std::string conversionScriptText(const std::string& flag, bool pathPrefix);
ProcessSpec conversionSpec(const std::string& engineScript, const std::string& flag,
                           bool pathPrefix, const std::string& input, const std::string& output);
// kArchive + "/" + prefix + UUID + ".json" (prefix such as ".topdf-").
std::string exchangeFilePath(const std::string& prefix);

// Each run hands its answer to the completion on the main queue, after reading and removing
// the exchange file(s). A missing or malformed output is "no result".
void convertToPDF(const std::string& source,
                  std::function<void(std::optional<std::string> pdfPath)> completion);
// The probe's JSON object as text; none when unreadable or not an object.
void editProbe(const std::string& path,
               std::function<void(std::optional<std::string> probeJSON)> completion);
// The grid data text; none when the file was missing or empty.
void parseGrid(const std::string& path,
               std::function<void(std::optional<std::string> gridJSON)> completion);
// The argument for the page's pagesReady: the output text, or the empty-page-list object.
void renderFilePages(const std::string& path,
                     std::function<void(std::string pagesJSON)> completion);
std::string emptyPagesAnswer(const std::string& path);

struct TimelineResult {
    std::string draftsJSON;                    // the "drafts" value as JSON text
    std::map<std::string, std::string> diffs;  // the "diffs" object, each value as JSON text
};
void computeTimeline(const std::vector<std::string>& paths, bool meta,
                     const std::optional<std::vector<std::pair<int, int>>>& pairs,
                     std::function<void(std::optional<TimelineResult>)> completion);

// ---- organizer, campaign and AI runs (whole run on a background queue)

inline constexpr const char* kEnginePATH =
    "/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
inline constexpr const char* kOrganizerStartError = "Could not start the organizer engine.";

// The answer of a run from its standard output: the trimmed output when it is one JSON
// document, else its last line when that is JSON, else the organizer error object.
std::string reduceOrganizerOutput(const std::string& out);
// {"error": message}
std::string errorObject(const std::string& message);

ProcessSpec organizeSpec(const std::vector<std::string>& args, const std::string& script,
                         const std::map<std::string, std::string>& extraEnv);
void runOrganize(const std::vector<std::string>& args, const std::string& script,
                 std::function<void(std::string chunk)> progress,
                 const std::map<std::string, std::string>& extraEnv,
                 std::function<void(std::string json)> completion);

ProcessSpec aiSpec(const std::vector<std::string>& args);
// The AI helper's standard output, handed over on the main queue.
void runAI(const std::vector<std::string>& args, std::function<void(std::string out)> completion);

// ---- panel pages (python3 panels.py KIND OUT ...)

struct SettingsPanelInfo {
    std::string configPath;
    bool fullDiskAccess = false;
    bool finderExtension = false;
    std::string iconsDir;
    bool defaultPdfViewer = false;
    std::string defaultGroupsJSON = "[]";
    bool defaultNeverAsk = false;
    // The read-aloud voice options; none: the installed voices (filled in by runPanelScript).
    std::optional<std::string> voicesJSON;
    std::string mcpStatusJSON = "{}";
    std::string bondwickStatusJSON = "{}";
    std::string accountStatusJSON = "{}";
    std::string feedbackJSON = "{}";
    std::string syncStatusJSON = "{}";
    std::string openPalette;
    std::string nightWindow;  // the night window label, with the base note when present
};

struct PanelRequest {
    std::string kind;
    std::string outputPath;
    std::string version;
    std::string brandName;
    std::string brandCategory;
    std::optional<SettingsPanelInfo> settings;  // only for the "settings" kind
    std::vector<std::string> extraArgs;
};

// kArchive + "/.panel-" + kind + "-" + UUID + ".html"
std::string panelOutputPath(const std::string& kind);
// The arguments after "/usr/bin/python3".
std::vector<std::string> panelArgs(const PanelRequest& request);
// Creates kArchive and, for "settings", writes the defaults to config.json once when it does
// not exist yet.
void preparePanelRun(const std::string& kind);
// Starts panels.py; `finished` gets the output path on the main queue when it ends.
void runPanelScript(const PanelRequest& request,
                    std::function<void(std::string outputPath)> finished);

}  // namespace cvl::EngineRuns
