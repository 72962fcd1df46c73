// A running bridge over a fake application: windows whose pages are simulated, and page work
// that records what it was asked. Requests go over a real loopback socket from a helper
// thread while the test thread runs the main queue.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "agent/AgentBridge.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "support/TempHome.h"

namespace cvl::test {

using json = nlohmann::json;

// The record of a reader window showing `path`.
inline AgentWindowInfo readerInfo(const std::string& id, const std::string& path) {
    AgentWindowInfo info;
    info.bridgeId = id;
    info.paths = {path};
    info.showsDocument = true;
    info.isReader = true;
    return info;
}

// A document window whose page behaves like the reader's viewer.
struct FakeBridgeWindow {
    AgentWindowInfo info;
    int pageCount = 0;  // 0: the viewer has no pages yet
    int page = 1;
    int zoom = 100;
    bool answers = true;                     // false: the page never answers a script
    std::string serialized;                  // what serializeB64 hands back (base64)
    std::optional<std::string> signState;    // the assistant's answer, as the page returns it
    std::optional<std::string> scriptError;  // a script exception to report
};

class FakeHost : public AgentBridgeHost {
  public:
    std::vector<FakeBridgeWindow> windows;
    std::optional<std::string> key;
    std::optional<std::string> current;
    std::map<std::string, std::string> sidecars;
    std::vector<std::string> calls;  // everything the bridge asked for, in order
    std::vector<std::string> scripts;
    int nextWindow = 100;

    std::string appName() override { return "Corvello"; }
    std::string version() override { return "1.2.3"; }
    std::string build() override { return "45"; }
    std::vector<AgentWindowInfo> liveWindows() override {
        std::vector<AgentWindowInfo> out;
        for (auto& w : windows) out.push_back(w.info);
        return out;
    }
    std::optional<std::string> keyWindow() override { return key; }
    std::optional<std::string> currentDocument() override { return current; }

    FakeBridgeWindow* find(const std::string& id) {
        for (auto& w : windows)
            if (w.info.bridgeId == id) return &w;
        return nullptr;
    }

    void evaluate(const std::string& id, const std::string& script, AgentScriptDone done) override {
        calls.push_back("evaluate " + id);
        scripts.push_back(script);
        FakeBridgeWindow* w = find(id);
        if (!w || !w->answers) return;
        AgentScriptAnswer a{true, "", ""};
        if (w->scriptError) {
            a = {false, "", *w->scriptError};
        } else if (script.rfind("window.pdfViewer ?", 0) == 0) {
            if (w->pageCount > 0)
                a.value = json{{"p", w->page}, {"n", w->pageCount}, {"z", w->zoom}}.dump();
        } else if (script.rfind("(function(p)", 0) == 0 && w->pageCount > 0) {
            // The page-turn script ends with the requested page in parentheses.
            std::smatch m;
            std::regex_search(script, m, std::regex(R"(\((-?\d+)\)$)"));
            long long want = std::stoll(m[1]);
            w->page = static_cast<int>(std::max(1LL, std::min<long long>(w->pageCount, want)));
            a.value = json{{"page", w->page}, {"pages", w->pageCount}}.dump();
        }
        // Pages answer later, as a web view does.
        Dispatch::main().async([done, a] { done(a); });
    }
    void callAsync(const std::string& id, const std::string& body, AgentScriptDone done) override {
        calls.push_back("callAsync " + id);
        scripts.push_back(body);
        FakeBridgeWindow* w = find(id);
        if (!w || !w->answers) return;
        AgentScriptAnswer a{true, "", ""};
        if (w->scriptError)
            a = {false, "", *w->scriptError};
        else if (body == "return await serializeB64();")
            a.value = w->serialized;
        else if (w->signState)
            a.value = *w->signState;
        Dispatch::main().async([done, a] { done(a); });
    }
    void bringToFront(const std::string& id) override { calls.push_back("front " + id); }
    void activateApp() override { calls.push_back("activate"); }
    std::optional<AgentWindowInfo> openFolder(const std::string& path) override {
        calls.push_back("openFolder " + path);
        AgentWindowInfo w;
        w.bridgeId = "w" + std::to_string(nextWindow++);
        w.paths = {path};
        w.showsDocument = true;
        return w;
    }
    std::optional<AgentWindowInfo> openFile(const std::string& path,
                                            std::optional<int> page) override {
        calls.push_back("openFile " + path + (page ? " @" + std::to_string(*page) : ""));
        windows.emplace_back().info = readerInfo("w" + std::to_string(nextWindow++), path);
        return windows.back().info;
    }
    std::optional<std::string> annotationSidecar(const std::string& path) override {
        auto it = sidecars.find(path);
        if (it == sidecars.end()) return std::nullopt;
        return it->second;
    }
};

// Page work over documents described by their bytes: "PDF:<pages>" is a readable PDF.
class FakeWork : public AgentPageWork {
  public:
    std::mutex lock;
    std::vector<std::string> calls;
    std::map<std::string, std::string> plans;  // id -> path
    std::vector<std::string> exported;         // bytes handed to the annotation export

    void note(const std::string& s) {
        std::lock_guard g(lock);
        calls.push_back(s);
    }
    std::optional<int> pageCount(const std::string& path) override {
        auto bytes = readFile(path).value_or("");
        if (bytes.rfind("PDF:", 0) != 0) return std::nullopt;
        return std::stoi(bytes.substr(4));
    }
    Interpretation interpret(const std::string& text, int pages, std::optional<int> current,
                             const std::vector<int>& selection) override {
        std::string sel;
        for (int s : selection) sel += std::to_string(s) + ";";
        note("interpret " + text + " n=" + std::to_string(pages) +
             " cur=" + (current ? std::to_string(*current) : "-") + " sel=" + sel);
        Interpretation r;
        if (text == "delete pages 2-3") {
            r.kind = Interpretation::Kind::command;
            r.commandJSON = R"({"op":"delete","pages":[2,3]})";
        } else if (text == "rotate") {
            r.kind = Interpretation::Kind::clarify;
            r.question = "Rotate which pages?";
            r.options = {"rotate page 1", "rotate every page"};
        } else if (text == "delete everything") {
            r.kind = Interpretation::Kind::refuse;
            r.message = "That would delete every page.";
        }
        return r;
    }
    std::vector<std::string> canonicalPhrases() override {
        return {"delete pages 2-3", "rotate page 1 right", "extract pages 1-2"};
    }
    std::optional<Preview> plan(const std::string& cmd, const std::string& path) override {
        note("plan " + cmd);
        json c = json::parse(cmd, nullptr, false);
        if (!c.is_object() || !c.contains("op")) return std::nullopt;
        Preview p;
        if (c["op"] == "delete" && c.contains("pages") && c["pages"].size() >= 10) {
            p.refused = true;
            p.message = "This document has 10 pages; the command names a page it doesn't have.";
            return p;
        }
        std::lock_guard g(lock);
        p.id = "plan-" + std::to_string(plans.size() + 1);
        p.summary = "Delete pages 2–3 of this document.";
        p.outputs = {path.substr(0, path.size() - 4) + " (edited).pdf"};
        plans[p.id] = path;
        return p;
    }
    Result<std::vector<std::string>> execute(const std::string& id,
                                             const std::string& path) override {
        std::lock_guard g(lock);
        calls.push_back("execute " + id);
        auto it = plans.find(id);
        if (it == plans.end() || it->second != path)
            return Failure{"That preview has expired or was already used. Ask again."};
        plans.erase(it);
        std::string out = path.substr(0, path.size() - 4) + " (edited).pdf";
        (void)writeFileAtomic(out, "PDF:8");
        return std::vector<std::string>{out};
    }
    Result<Combined> combineImages(const std::vector<std::string>& paths) override {
        std::string all;
        for (auto& p : paths) all += p + ";";
        note("combine " + all);
        return Combined{parentPath(paths[0]) + "/combined.pdf", static_cast<int>(paths.size())};
    }
    std::optional<AgentAnnotationExport> exportAnnotations(const std::string& bytes,
                                                           const std::string&) override {
        {
            std::lock_guard g(lock);
            exported.push_back(bytes);
        }
        if (bytes.rfind("PDF:", 0) != 0) return std::nullopt;
        return AgentAnnotationExport{{{2, "Highlight", "the term", "check this", "Ana"}},
                                     "# Annotations — doc\n"};
    }
};

struct HttpReply {
    int status = 0;
    std::string statusLine;
    std::string headers;
    std::string body;
    std::string raw;
    nlohmann::json parsed() const { return nlohmann::json::parse(body, nullptr, false); }
};

// Sends raw bytes to the port (in pieces when asked) and reads until the server closes.
inline HttpReply rawExchange(int port, const std::vector<std::string>& pieces) {
    HttpReply r;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return r;
    }
    for (const auto& p : pieces) {
        size_t done = 0;
        while (done < p.size()) {
            ssize_t n = ::send(fd, p.data() + done, p.size() - done, MSG_NOSIGNAL);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        if (pieces.size() > 1) ::usleep(20000);
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        r.raw.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    size_t lineEnd = r.raw.find("\r\n");
    size_t headEnd = r.raw.find("\r\n\r\n");
    if (lineEnd == std::string::npos || headEnd == std::string::npos) return r;
    r.statusLine = r.raw.substr(0, lineEnd);
    r.headers = r.raw.substr(lineEnd + 2, headEnd - lineEnd - 2);
    r.body = r.raw.substr(headEnd + 4);
    if (r.statusLine.size() > 12) r.status = std::stoi(r.statusLine.substr(9, 3));
    return r;
}

class BridgeTest : public ::testing::Test {
  protected:
    TempHome home;
    std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
    std::shared_ptr<FakeWork> work = std::make_shared<FakeWork>();
    AgentBridge bridge;

    void SetUp() override { ASSERT_TRUE(bridge.start(host, work)); }
    void TearDown() override { bridge.stop(); }

    // Runs the exchange on a helper thread while this thread serves the main queue.
    HttpReply exchange(const std::vector<std::string>& pieces) {
        int port = bridge.port();
        auto reply =
            std::async(std::launch::async, [port, pieces] { return rawExchange(port, pieces); });
        Dispatch::manualMain()->runUntil(
            [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            std::chrono::seconds(15));
        return reply.get();
    }
    HttpReply get(const std::string& target, const std::string& extraHeaders = "") {
        return exchange(
            {"GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n"});
    }
    // GET with the token in the query; the reply's JSON.
    json call(const std::string& endpoint, const std::string& query = "") {
        std::string target =
            endpoint + "?token=" + bridge.token() + (query.empty() ? "" : "&" + query);
        auto r = get(target);
        EXPECT_EQ(r.status, 200) << r.raw;
        return r.parsed();
    }

    FakeBridgeWindow& addReader(const std::string& id, const std::string& path, int pages) {
        FakeBridgeWindow& w = host->windows.emplace_back();
        w.info = readerInfo(id, path);
        w.pageCount = pages;
        return w;
    }
    std::string makePdf(const std::string& name, int pages) {
        std::string path = home / name;
        makeDirs(parentPath(path));
        EXPECT_TRUE(writeFileAtomic(path, "PDF:" + std::to_string(pages)).ok());
        return path;
    }
};

}  // namespace cvl::test
