// What the agent bridge asks of the application: its windows and their pages (on the main
// queue), and the document work behind page commands and image combining (on the global
// pool). The desktop host implements AgentBridgeHost; the command runner and page tools
// implement AgentPageWork.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl {

// One live document window as the bridge reports it.
struct AgentWindowInfo {
    std::string bridgeId;
    std::string title;
    std::vector<std::string> paths;
    bool isKey = false;
    bool isVisible = false;
    std::string tabTitle;
    bool tabSelected = false;
    std::optional<std::string> tabGroup;
    int tabCount = 1;
    int tabIndex = 0;
    std::string tabLabelRendered;
    // What the page's current address says it shows.
    std::optional<std::string> webPdf;
    std::optional<std::string> webOrig;
    bool webUrlLoading = false;
    // Summary of the document identity verdict as a JSON value (reader windows only).
    std::optional<std::string> identityJSON;
    // Page kind flags, first match wins: no document shown is "welcome".
    bool showsDocument = false;
    bool isReader = false;
    bool isGrid = false;
    bool isTimeline = false;
    bool isOrganize = false;
    bool isRedact = false;
    bool isBates = false;
};

// "welcome", "reader", "grid", "timeline", "organize", "redact", "bates" or "review".
std::string agentWindowKind(const AgentWindowInfo& window);

// The answer of a script run in a page: its string value, or the exception the page
// reported (message, line number and source address already joined).
struct AgentScriptAnswer {
    bool ok = false;
    std::string value;
    std::string error;
};
using AgentScriptDone = std::function<void(AgentScriptAnswer)>;

struct AgentAnnotation {
    int page = 0;
    std::string kind;
    std::string text;
    std::string note;
    std::string author;
};

struct AgentAnnotationExport {
    std::vector<AgentAnnotation> annotations;
    std::string markdown;
};

// Everything here is called on the main queue.
class AgentBridgeHost {
  public:
    virtual ~AgentBridgeHost() = default;

    virtual std::string appName() = 0;
    virtual std::string version() = 0;
    virtual std::string build() = 0;

    // The live document windows, in the application's order.
    virtual std::vector<AgentWindowInfo> liveWindows() = 0;
    // The key document window's bridge id, when there is one.
    virtual std::optional<std::string> keyWindow() = 0;
    virtual std::optional<std::string> currentDocument() = 0;

    // Evaluates a script expression in the window's page; `done` gets its value as text.
    virtual void evaluate(const std::string& windowId, const std::string& script,
                          AgentScriptDone done) = 0;
    // Runs the body of an async function in the page's own script world.
    virtual void callAsync(const std::string& windowId, const std::string& body,
                           AgentScriptDone done) = 0;
    virtual void bringToFront(const std::string& windowId) = 0;
    virtual void activateApp() = 0;

    // Opens a folder as a folder review, or a file in a reader window at a page; answers
    // the window that shows it, when there is one.
    virtual std::optional<AgentWindowInfo> openFolder(const std::string& path) = 0;
    virtual std::optional<AgentWindowInfo> openFile(const std::string& path,
                                                    std::optional<int> page) = 0;

    // The current annotation sidecar of a document, when one exists.
    virtual std::optional<std::string> annotationSidecar(const std::string& path) = 0;
};

// The page-command side of the bridge. Called on the global pool.
class AgentPageWork {
  public:
    virtual ~AgentPageWork() = default;

    // False while this build has no command runner: /pagecmd then says so.
    virtual bool hasPageCommands() { return true; }

    // The document's page count; none when it cannot be opened.
    virtual std::optional<int> pageCount(const std::string& path) = 0;

    struct Interpretation {
        enum class Kind { command, clarify, refuse, notCommand } kind = Kind::notCommand;
        std::string commandJSON;  // command: the parsed command record
        std::string question;     // clarify
        std::vector<std::string> options;
        std::string message;  // refuse
    };
    virtual Interpretation interpret(const std::string& text, int pageCount,
                                     std::optional<int> current,
                                     const std::vector<int>& selection) = 0;
    // The phrases offered when a text is no page command.
    virtual std::vector<std::string> canonicalPhrases() = 0;

    struct Preview {
        bool refused = false;
        std::string message;  // refused
        std::string id;
        std::string summary;
        std::string detail;
        std::vector<std::string> outputs;
    };
    // Plans a command record and stores the preview; none when the record does not decode.
    virtual std::optional<Preview> plan(const std::string& commandJSON,
                                        const std::string& path) = 0;
    // Executes a stored preview; the runner's message on failure.
    virtual Result<std::vector<std::string>> execute(const std::string& id,
                                                     const std::string& path) = 0;

    struct Combined {
        std::string path;
        int pages = 0;
    };
    // Converts the images, in order, to one new PDF beside the first image. The failure
    // message is for the agent.
    virtual Result<Combined> combineImages(const std::vector<std::string>& paths) = 0;

    // Annotations of a document's PDF bytes (the live page's, its sidecar's or the file's);
    // none when the bytes are no readable PDF.
    virtual std::optional<AgentAnnotationExport> exportAnnotations(const std::string& pdfBytes,
                                                                   const std::string& docPath) = 0;
};

}  // namespace cvl
