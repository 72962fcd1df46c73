#include "agent/AgentEndpoints.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "window/PageScript.h"

namespace cvl {

std::string agentWindowKind(const AgentWindowInfo& w) {
    if (!w.showsDocument) return "welcome";
    if (w.isReader) return "reader";
    if (w.isGrid) return "grid";
    if (w.isTimeline) return "timeline";
    if (w.isOrganize) return "organize";
    if (w.isRedact) return "redact";
    if (w.isBates) return "bates";
    return "review";
}

namespace AgentEndpoints {
namespace {

using json = nlohmann::json;
using Query = std::map<std::string, std::string>;

const char* kPageStateScript =
    "window.pdfViewer ? JSON.stringify({p:pdfViewer.currentPageNumber,n:pdfViewer.pagesCount,"
    "z:Math.round(pdfViewer.currentScale*100)}) : ''";

// Compact JSON with sorted keys; "{}" when the reply cannot be serialised.
std::string serialise(const json& reply) {
    try {
        return reply.dump();
    } catch (const std::exception&) {
        return "{}";
    }
}

void answer(const Respond& respond, const json& reply, int status = 200) {
    respond(status, serialise(reply));
}

void fail(const Respond& respond, const std::string& error) {
    answer(respond, json{{"ok", false}, {"error", error}});
}

std::optional<std::string> item(const Query& q, const char* key) {
    auto it = q.find(key);
    if (it == q.end()) return std::nullopt;
    return it->second;
}

// A whole decimal integer with an optional sign, as the query carries it.
std::optional<long long> parseInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || text[0] == ' ' || text[0] == '+')
        return std::nullopt;
    return v;
}

json nullable(const std::optional<std::string>& s) {
    return s ? json(*s) : json(nullptr);
}

json firstPath(const AgentWindowInfo& w) {
    return w.paths.empty() ? json(nullptr) : json(w.paths.front());
}

json windowRecord(const AgentWindowInfo& w) {
    json r{{"id", w.bridgeId},
           {"kind", agentWindowKind(w)},
           {"title", w.title},
           {"paths", w.paths},
           {"document", firstPath(w)},
           {"is_key", w.isKey},
           {"tab_title", w.tabTitle},
           {"tab_selected", w.tabSelected},
           {"tab_count", w.tabCount},
           {"tab_index", w.tabIndex},
           {"tab_label_rendered", w.tabLabelRendered},
           {"is_visible", w.isVisible},
           {"web_pdf", nullable(w.webPdf)},
           {"web_orig", nullable(w.webOrig)}};
    if (w.tabGroup) r["tab_group"] = *w.tabGroup;
    if (w.webUrlLoading) r["web_url_loading"] = true;
    if (w.isReader && w.identityJSON) {
        json identity = json::parse(*w.identityJSON, nullptr, false);
        if (!identity.is_discarded()) r["identity"] = identity;
    }
    return r;
}

// Adds the page's own state to a window record, or marks it as still loading.
void addPageState(json& record, const AgentScriptAnswer& a) {
    json state = a.ok ? json::parse(a.value, nullptr, false) : json();
    if (state.is_object() && state.contains("n") && state["n"].is_number_integer() &&
        state["n"].get<long long>() >= 1) {
        record["page"] = state.value("p", json(nullptr));
        record["page_count"] = state["n"];
        record["zoom"] = state.value("z", json(nullptr));
    } else {
        record["loading"] = true;
    }
}

std::optional<AgentWindowInfo> findWindow(AgentBridgeHost& host, const Query& q) {
    auto windows = host.liveWindows();
    if (auto id = item(q, "window"); id && !id->empty()) {
        for (auto& w : windows)
            if (w.bridgeId == *id) return w;
        return std::nullopt;
    }
    if (auto path = item(q, "path"); path && !path->empty()) {
        std::string p = UserDirs::expandTilde(*path);
        for (auto& w : windows)
            if (std::find(w.paths.begin(), w.paths.end(), p) != w.paths.end()) return w;
        return std::nullopt;
    }
    if (auto key = host.keyWindow()) {
        for (auto& w : windows)
            if (w.bridgeId == *key) return w;
    }
    return std::nullopt;
}

std::string lowered(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::optional<std::string> base64Decode(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=' || c == '\n' || c == '\r' || c == ' ') continue;
        size_t v = alphabet.find(c);
        if (v == std::string::npos) return std::nullopt;
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xff);
        }
    }
    return out;
}

// ---- endpoints on the main queue ----

void status(const Context& c, AgentBridgeHost& host, const Respond& respond) {
    answer(respond, json{{"ok", true},
                         {"app", c.app},
                         {"version", c.version},
                         {"build", c.build},
                         {"pid", static_cast<long long>(::getpid())},
                         {"windows", host.liveWindows().size()},
                         {"current_document", nullable(host.currentDocument())}});
}

void windows(AgentBridgeHost& host, const Respond& respond) {
    auto live = host.liveWindows();
    struct Join {
        std::mutex lock;
        std::vector<json> records;
        size_t pending = 0;
        bool sent = false;
    };
    auto join = std::make_shared<Join>();
    for (const auto& w : live) join->records.push_back(windowRecord(w));
    join->pending = live.size();
    auto finish = [join, respond](bool timedOut) {
        std::vector<json> records;
        {
            std::lock_guard guard(join->lock);
            if (join->sent || (!timedOut && join->pending > 0)) return;
            join->sent = true;
            records = join->records;
        }
        for (auto& r : records)
            if (!r.contains("page_count") && !r.contains("loading")) r["loading"] = true;
        answer(respond, json{{"ok", true}, {"count", records.size()}, {"windows", records}});
    };
    if (live.empty()) return finish(false);
    for (size_t i = 0; i < live.size(); ++i) {
        host.evaluate(live[i].bridgeId, kPageStateScript, [join, i, finish](AgentScriptAnswer a) {
            {
                std::lock_guard guard(join->lock);
                if (join->sent) return;
                addPageState(join->records[i], a);
                --join->pending;
            }
            finish(false);
        });
    }
    // A page that never answers must not hold the agent forever.
    Dispatch::main().asyncAfter(std::chrono::seconds(5), [finish] { finish(true); });
}

void open(AgentBridgeHost& host, const Query& q, const Respond& respond) {
    auto raw = item(q, "path");
    if (!raw || raw->empty()) return fail(respond, "path is required");
    std::string path = UserDirs::expandTilde(*raw);
    if (!pathExists(path)) return fail(respond, "no such file: " + path);
    std::optional<long long> page;
    if (auto p = item(q, "page")) page = parseInteger(*p);
    std::optional<AgentWindowInfo> shown;
    if (isDirectory(path)) {
        shown = host.openFolder(path);
    } else {
        std::optional<int> at;
        if (page) at = static_cast<int>(std::clamp<long long>(*page, 1, 1000000000));
        shown = host.openFile(path, at);
    }
    host.activateApp();
    answer(respond, json{{"ok", true},
                         {"opened", path},
                         {"window", shown ? json(shown->bridgeId) : json(nullptr)},
                         {"kind", shown ? json(agentWindowKind(*shown)) : json(nullptr)},
                         {"page", page ? json(*page) : json(nullptr)},
                         {"verified", shown && !shown->paths.empty() && shown->paths[0] == path}});
}

void gotoPage(AgentBridgeHost& host, const Query& q, const Respond& respond) {
    auto page = parseInteger(item(q, "page").value_or(""));
    if (!page) return fail(respond, "page (1-based integer) is required");
    auto target = findWindow(host, q);
    if (!target)
        return fail(respond,
                    "no matching open reader window — use /windows to see what is open, or /open "
                    "first");
    std::string id = target->bridgeId;
    json document = firstPath(*target);
    host.evaluate(id, gotoScript(*page), [respond, id, document](AgentScriptAnswer a) {
        if (!a.ok) return fail(respond, "javascript failed: " + a.error);
        if (a.value.empty())
            return fail(respond, "the document is still opening — try again in a moment");
        json turned = json::parse(a.value, nullptr, false);
        json pageNow = turned.is_object() ? turned.value("page", json(nullptr)) : json(nullptr);
        json pages = turned.is_object() ? turned.value("pages", json(nullptr)) : json(nullptr);
        answer(respond,
               json{{"ok", true},
                    {"window", id},
                    {"document", document},
                    {"page", pageNow},
                    {"page_count", pages},
                    {"verified", pageNow.is_number_integer() && pages.is_number_integer()}});
    });
    host.bringToFront(id);
}

void exportAndAnswer(const Context& c, const std::string& path, const std::string& source,
                     std::optional<std::string> bytes, const Respond& respond) {
    auto work = c.work;
    Dispatch::global().async([work, path, source, bytes = std::move(bytes), respond] {
        std::optional<AgentAnnotationExport> exported;
        if (bytes && work) exported = work->exportAnnotations(*bytes, path);
        if (!exported)
            return fail(respond, "could not read a PDF for " + path + " (source: " + source + ")");
        json list = json::array();
        for (const auto& a : exported->annotations)
            list.push_back(json{{"page", a.page},
                                {"kind", a.kind},
                                {"text", a.text},
                                {"note", a.note},
                                {"author", a.author}});
        answer(respond, json{{"ok", true},
                             {"path", path},
                             {"source", source},
                             {"count", list.size()},
                             {"annotations", list},
                             {"markdown", exported->markdown}});
    });
}

void annotations(const Context& c, AgentBridgeHost& host, const Query& q, const Respond& respond) {
    std::string path;
    if (auto raw = item(q, "path"); raw && !raw->empty())
        path = UserDirs::expandTilde(*raw);
    else if (auto current = host.currentDocument())
        path = *current;
    if (path.empty()) return fail(respond, "path is required (no document is currently open)");

    for (const auto& w : host.liveWindows()) {
        if (!w.isReader || std::find(w.paths.begin(), w.paths.end(), path) == w.paths.end())
            continue;
        host.callAsync(w.bridgeId, "return await serializeB64();",
                       [c, path, respond](AgentScriptAnswer a) {
                           std::optional<std::string> bytes;
                           if (a.ok && !a.value.empty()) bytes = base64Decode(a.value);
                           exportAndAnswer(c, path, "live", std::move(bytes), respond);
                       });
        return;
    }
    auto sidecar = host.annotationSidecar(path);
    std::string source = sidecar ? "sidecar" : "file";
    if (!sidecar && lowered(pathExtension(path)) != "pdf")
        return fail(respond, path +
                                 " is not a PDF and has no Corvello markup sidecar — annotations "
                                 "are a PDF feature");
    std::string file = sidecar ? *sidecar : path;
    Dispatch::global().async([c, path, source, file, respond] {
        exportAndAnswer(c, path, source, readFile(file), respond);
    });
}

void signAssist(AgentBridgeHost& host, const Query& q, const Respond& respond) {
    int wait = signAssistWait(item(q, "wait").value_or(""));
    auto target = findWindow(host, q);
    if (!target) {
        auto path = item(q, "path");
        if (path && !path->empty() && !host.liveWindows().empty())
            return fail(respond, "no reader window is showing " + UserDirs::expandTilde(*path));
        return fail(respond, "no reader window is open");
    }
    json document = firstPath(*target);
    host.callAsync(target->bridgeId, signAssistScript(wait),
                   [respond, document](AgentScriptAnswer a) {
                       if (!a.ok) return fail(respond, "javascript failed: " + a.error);
                       json state = json::parse(a.value, nullptr, false);
                       // The script returns a JSON string; a page that hands back the object itself
                       // is accepted as well.
                       if (state.is_string())
                           state = json::parse(state.get<std::string>(), nullptr, false);
                       if (!state.is_object())
                           return fail(respond, "the assistant returned nothing readable");
                       if (state.contains("error")) {
                           const json& e = state["error"];
                           return fail(respond, e.is_string() ? e.get<std::string>() : e.dump());
                       }
                       answer(respond, json{{"ok", true}, {"path", document}, {"state", state}});
                   });
}

// ---- endpoints on the global pool ----

std::vector<int> parseSelection(const std::string& text) {
    std::vector<int> pages;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string piece =
            text.substr(start, comma == std::string::npos ? text.npos : comma - start);
        while (!piece.empty() && piece.front() == ' ') piece.erase(piece.begin());
        while (!piece.empty() && piece.back() == ' ') piece.pop_back();
        if (auto n = parseInteger(piece); n && *n >= 1 && *n <= 1000000000)
            pages.push_back(static_cast<int>(*n));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return pages;
}

void answerPlan(AgentPageWork& work, const std::string& cmd, const std::string& path,
                const Respond& respond) {
    auto preview = work.plan(cmd, path);
    if (!preview) return fail(respond, "cmd is not a valid page command");
    if (preview->refused)
        return answer(respond,
                      json{{"ok", true}, {"kind", "refuse"}, {"message", preview->message}});
    answer(respond, json{{"ok", true},
                         {"kind", "preview"},
                         {"id", preview->id},
                         {"summary", preview->summary},
                         {"detail", preview->detail},
                         {"outputs", preview->outputs}});
}

void pageCommand(const Context& c, const Query& q, const Respond& respond) {
    std::string path = UserDirs::expandTilde(item(q, "path").value_or(""));
    if (path.empty() || !isRegularFile(path) || lowered(pathExtension(path)) != "pdf")
        return fail(respond, "path must be an existing .pdf");
    if (!c.work || !c.work->hasPageCommands())
        return fail(respond, "page commands are not available in this build");
    AgentPageWork& work = *c.work;
    auto pages = work.pageCount(path);
    if (!pages) return fail(respond, "Corvello couldn’t read this PDF");

    if (auto id = item(q, "id"); id && !id->empty()) {
        auto done = work.execute(*id, path);
        if (!done) return fail(respond, done.error());
        return answer(respond, json{{"ok", true}, {"kind", "done"}, {"outputs", done.value()}});
    }
    if (auto cmd = item(q, "cmd"); cmd && !cmd->empty())
        return answerPlan(work, *cmd, path, respond);

    auto text = item(q, "text");
    if (!text || text->empty())
        return fail(respond, "send text (a page command), or id to run a preview");
    std::optional<int> current;
    if (auto cur = parseInteger(item(q, "current").value_or(""));
        cur && *cur >= 1 && *cur <= *pages)
        current = static_cast<int>(*cur);
    auto selection = parseSelection(item(q, "selection").value_or(""));
    auto read = work.interpret(*text, *pages, current, selection);
    using Kind = AgentPageWork::Interpretation::Kind;
    switch (read.kind) {
        case Kind::clarify:
            return answer(respond, json{{"ok", true},
                                        {"kind", "clarify"},
                                        {"question", read.question},
                                        {"options", read.options}});
        case Kind::refuse:
            return answer(respond,
                          json{{"ok", true}, {"kind", "refuse"}, {"message", read.message}});
        case Kind::notCommand:
            return answer(respond, json{{"ok", true},
                                        {"kind", "clarify"},
                                        {"question",
                                         "Not a page command. Send one of the canonical phrases."},
                                        {"options", work.canonicalPhrases()}});
        case Kind::command:
            return answerPlan(work, read.commandJSON, path, respond);
    }
}

bool isImagePath(const std::string& path) {
    static const char* kinds[] = {"png",  "jpg", "jpeg", "gif",  "tif",
                                  "tiff", "bmp", "webp", "heic", "heif"};
    std::string ext = lowered(pathExtension(path));
    for (const char* k : kinds)
        if (ext == k) return isRegularFile(path);
    return false;
}

void combineImages(const Context& c, const Query& q, const Respond& respond) {
    std::vector<std::string> paths;
    std::string all = item(q, "paths").value_or("");
    size_t start = 0;
    while (!all.empty() && start <= all.size()) {
        size_t bar = all.find('|', start);
        std::string piece = all.substr(start, bar == std::string::npos ? all.npos : bar - start);
        if (!piece.empty()) paths.push_back(UserDirs::expandTilde(piece));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    if (paths.empty() || !std::all_of(paths.begin(), paths.end(), isImagePath))
        return fail(respond, "paths must be existing images, separated by |");
    if (!c.work) return fail(respond, "combining images is not available in this build");
    auto made = c.work->combineImages(paths);
    if (!made) return fail(respond, made.error());
    answer(respond, json{{"ok", true},
                         {"kind", "done"},
                         {"outputs", json::array({made->path})},
                         {"pages", made->pages}});
}

}  // namespace

int signAssistWait(const std::string& wait) {
    if (wait.empty()) return 30;
    auto v = parseInteger(wait);
    if (!v) return 30;
    return static_cast<int>(std::clamp<long long>(*v, 1, 120));
}

std::string gotoScript(long long page) {
    return "(function(p){if(!window.pdfViewer||!pdfViewer.pagesCount)return '';var v=pdfViewer;"
           "v.currentPageNumber=Math.max(1,Math.min(v.pagesCount,p));"
           "return JSON.stringify({page:v.currentPageNumber,pages:v.pagesCount})})(" +
           std::to_string(page) + ")";
}

std::string signAssistScript(int waitSeconds) {
    return "const budget = " + std::to_string(waitSeconds) +
           " * 1000, t0 = Date.now();"
           "if (!window.CorvelloSignAssist) return JSON.stringify({ error: \"assistant not loaded "
           "in this window\" });"
           "window.CorvelloSignAssist.open();"
           "let state = {};"
           "for (;;) {"
           "  await new Promise(r => setTimeout(r, 300));"
           "  state = " +
           PageScript::valueOfCall("__cvlSaState", "") +
           " || {};"
           "  if (!state.detecting && !state.modelPending && !state.ocrPending) break;"
           "  if (Date.now() - t0 >= budget) break;"
           "}"
           "return JSON.stringify(state);";
}

void handle(const Context& c, const AgentHttp::Request& request, Respond respond) {
    static const char* known[] = {"/status",      "/windows",    "/open",    "/goto",
                                  "/annotations", "/signassist", "/pagecmd", "/combineimages"};
    const std::string& path = request.path;
    if (std::none_of(std::begin(known), std::end(known), [&](const char* k) { return path == k; }))
        return answer(respond, json{{"ok", false}, {"error", "unknown endpoint " + path}}, 404);

    Query q = request.query;
    if (path == "/pagecmd" || path == "/combineimages") {
        // Only the check that the application is still there needs the main queue.
        Dispatch::main().async([c, q, path, respond] {
            if (c.host.expired()) return fail(respond, "app is shutting down");
            Dispatch::global().async([c, q, path, respond] {
                if (path == "/pagecmd")
                    pageCommand(c, q, respond);
                else
                    combineImages(c, q, respond);
            });
        });
        return;
    }
    Dispatch::main().async([c, q, path, respond] {
        auto host = c.host.lock();
        if (!host) return fail(respond, "app is shutting down");
        if (path == "/status")
            status(c, *host, respond);
        else if (path == "/windows")
            windows(*host, respond);
        else if (path == "/open")
            open(*host, q, respond);
        else if (path == "/goto")
            gotoPage(*host, q, respond);
        else if (path == "/annotations")
            annotations(c, *host, q, respond);
        else
            signAssist(*host, q, respond);
    });
}

}  // namespace AgentEndpoints
}  // namespace cvl
