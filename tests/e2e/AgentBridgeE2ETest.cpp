// The real corvello started in the background, driven by an agent over the loopback bridge and
// through the engine's MCP server: open a PDF, read its window, turn pages, and preview then
// run a page command.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "agent/AgentBridge.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/ProcessRunner.h"
#include "platform/TextEscape.h"
#include "platform/pdf/PdfDocument.h"
#include "support/TempHome.h"

extern char** environ;

namespace cvl {
namespace {

using json = nlohmann::json;
using namespace std::chrono_literals;

bool haveDisplay() {
    const char* d = std::getenv("DISPLAY");
    return d && *d;
}

// corvello running in the background for the life of this object; killed on every exit path.
class RunningApp {
  public:
    explicit RunningApp(const std::string& home) {
        std::vector<std::string> env = {"HOME=" + home, "CVL_TEST=1", "CVL_NO_WARM=1",
                                        "WEBKIT_DISABLE_COMPOSITING_MODE=1",
                                        std::string("CVL_RESOURCES=") + CVL_SOURCE_RESOURCES};
        for (char** e = environ; *e; ++e) {
            std::string s = *e;
            if (s.rfind("HOME=", 0) != 0 && s.rfind("CVL_", 0) != 0) env.push_back(s);
        }
        std::vector<char*> envp;
        for (auto& s : env) envp.push_back(s.data());
        envp.push_back(nullptr);
        std::string program = std::string(CVL_BINARY_DIR) + "/corvello";
        char* argv[] = {program.data(), nullptr};
        // Its output goes to a log beside the test's files, shown when a step fails.
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        const std::string log = home + "/corvello.log";
        posix_spawn_file_actions_addopen(&io, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&io, 1, 2);
        if (posix_spawn(&pid_, program.c_str(), &io, nullptr, argv, envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&io);
    }
    ~RunningApp() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;
    bool started() const { return pid_ > 0; }
    // Asks it to end with SIGTERM; true when it exited normally within `limit`.
    bool terminate(std::chrono::seconds limit) {
        if (pid_ <= 0 || ::kill(pid_, SIGTERM) != 0) return false;
        for (auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status);
            }
        }
        return false;
    }

  private:
    pid_t pid_ = -1;
};

// One GET on 127.0.0.1:port; gives the parsed JSON body (null when there was no answer).
json httpGet(int port, const std::string& target) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return nullptr;
    timeval tv{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string req =
            "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (::send(fd, req.data(), req.size(), 0) == static_cast<ssize_t>(req.size())) {
            char buf[4096];
            for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) reply.append(buf, n);
        }
    }
    ::close(fd);
    size_t body = reply.find("\r\n\r\n");
    if (body == std::string::npos) return nullptr;
    return json::parse(reply.substr(body + 4), nullptr, false);
}

TEST(AgentBridgeApp, OpensTurnsAndRunsAPreviewedPageCommandExactlyOnce) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    test::TempHome home;
    const std::string pdf = home / "Ten pages.pdf";
    {
        PdfDocument doc;
        for (int i = 0; i < 10; ++i)
            doc.insertTextPage(i, PdfRect{0, 0, 612, 792}, {"Page " + std::to_string(i + 1)}, 20);
        ASSERT_TRUE(doc.saveToFile(pdf).ok());
    }
    const auto before = sha256HexOfFile(pdf);
    ASSERT_TRUE(before);

    RunningApp app(home.path());
    ASSERT_TRUE(app.started());
    const std::string discovery = AgentBridge::discoveryPath();
    ASSERT_EQ(discovery.rfind(home.path(), 0), 0u) << discovery;
    json found;
    for (auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(200ms)) {
        if (auto text = readFile(discovery)) {
            found = json::parse(*text, nullptr, false);
            if (found.is_object() && found.contains("port")) break;
        }
    }
    ASSERT_TRUE(found.is_object() && found.contains("port")) << "no discovery file " << discovery;
    const int port = found["port"].get<int>();
    const std::string token = found["token"].get<std::string>();
    ASSERT_FALSE(token.empty());
    auto get = [&](const std::string& endpoint, const std::string& query) {
        return httpGet(port, endpoint + "?token=" + percentEncode(token) + query);
    };
    const std::string pathArg = "&path=" + percentEncode(pdf);

    // Without the token nothing is answered.
    json refused = httpGet(port, "/windows");
    ASSERT_TRUE(refused.is_object());
    EXPECT_EQ(refused["ok"], false);

    json opened = get("/open", pathArg);
    ASSERT_TRUE(opened.is_object());
    EXPECT_EQ(opened["ok"], true) << opened.dump();

    json record, seen;
    for (auto end = std::chrono::steady_clock::now() + 20s;
         record.is_null() && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(300ms)) {
        json w = get("/windows", "");
        seen = w;
        if (!w.is_object() || !w["windows"].is_array()) continue;
        for (auto& r : w["windows"])
            if (r.contains("page_count") && r.dump().find("Ten pages.pdf") != std::string::npos)
                record = r;
    }
    ASSERT_TRUE(record.is_object()) << "the document never showed in /windows: " << seen.dump()
                                    << "\nopen answered " << opened.dump() << "\n"
                                    << readFile(home / "corvello.log").value_or("");
    EXPECT_EQ(record["page_count"], 10) << record.dump();

    json turned = get("/goto", "&page=500" + pathArg);
    ASSERT_TRUE(turned.is_object());
    EXPECT_EQ(turned["ok"], true) << turned.dump();
    EXPECT_EQ(turned["page"], 10) << turned.dump();
    EXPECT_EQ(turned["page_count"], 10);

    json preview = get("/pagecmd", "&text=" + percentEncode("delete pages 2-3") + pathArg);
    ASSERT_TRUE(preview.is_object());
    ASSERT_EQ(preview["kind"], "preview") << preview.dump();
    ASSERT_EQ(preview["outputs"].size(), 1u) << preview.dump();
    const std::string output = preview["outputs"][0].get<std::string>();
    EXPECT_EQ(parentPath(output), parentPath(pdf));
    EXPECT_FALSE(pathExists(output)) << "a preview must write nothing";
    EXPECT_EQ(sha256HexOfFile(pdf), before);

    const std::string idArg = "&id=" + percentEncode(preview["id"].get<std::string>()) + pathArg;
    json done = get("/pagecmd", idArg);
    ASSERT_TRUE(done.is_object());
    ASSERT_EQ(done["kind"], "done") << done.dump();
    EXPECT_EQ(done["outputs"], json::array({output}));
    auto written = PdfDocument::openFile(output);
    ASSERT_TRUE(written.ok()) << written.error();
    EXPECT_EQ(written->pageCount(), 8);
    EXPECT_EQ(written->pageText(1).value_or("").find("Page 4"), 0u);
    EXPECT_EQ(sha256HexOfFile(pdf), before);
    const auto writtenHash = sha256HexOfFile(output);

    json again = get("/pagecmd", idArg);
    ASSERT_TRUE(again.is_object());
    EXPECT_EQ(again["ok"], false) << again.dump();
    EXPECT_EQ(sha256HexOfFile(output), writtenHash);

    json unclear = get("/pagecmd", "&text=" + percentEncode("what a lovely afternoon") + pathArg);
    ASSERT_TRUE(unclear.is_object());
    EXPECT_EQ(unclear["kind"], "clarify") << unclear.dump();
    EXPECT_FALSE(unclear["options"].empty());

    // The same preview-then-run through the engine's MCP server on its standard input.
    auto mcp = [&](const std::string& name, const json& args) {
        ProcessSpec spec;
        spec.program = "/usr/bin/python3";
        spec.args = {std::string(CVL_SOURCE_RESOURCES) + "/engine/mcp/server.py"};
        spec.env["HOME"] = home.path();
        spec.input = json{{"jsonrpc", "2.0"},
                          {"id", 1},
                          {"method", "tools/call"},
                          {"params", {{"name", name}, {"arguments", args}}}}
                         .dump() +
                     "\n";
        spec.timeout = std::chrono::seconds(60);
        ProcessResult r = runProcess(spec);
        EXPECT_TRUE(r.succeeded()) << r.err;
        json reply = json::parse(r.out.substr(0, r.out.find('\n')), nullptr, false);
        if (!reply.is_object() || !reply.contains("result")) return json(reply.dump());
        std::string text = reply["result"]["content"][0].value("text", "");
        return json::parse(text.substr(std::min(text.find('{'), text.size())), nullptr, false);
    };
    json viaMcp = mcp("corvello_preview_page_change", {{"path", pdf}, {"text", "delete page 10"}});
    ASSERT_TRUE(viaMcp.is_object()) << viaMcp.dump();
    ASSERT_EQ(viaMcp["kind"], "preview") << viaMcp.dump();
    const std::string mcpOutput = viaMcp["outputs"][0].get<std::string>();
    EXPECT_NE(mcpOutput, output);
    EXPECT_FALSE(pathExists(mcpOutput));
    json ranMcp = mcp("corvello_run_page_change", {{"path", pdf}, {"id", viaMcp["id"]}});
    ASSERT_TRUE(ranMcp.is_object()) << ranMcp.dump();
    EXPECT_EQ(ranMcp["kind"], "done") << ranMcp.dump();
    auto nine = PdfDocument::openFile(mcpOutput);
    ASSERT_TRUE(nine.ok()) << nine.error();
    EXPECT_EQ(nine->pageCount(), 9);
    EXPECT_EQ(sha256HexOfFile(pdf), before);

    // Ended from outside, it quits properly and leaves no discovery file pointing nowhere.
    EXPECT_TRUE(app.terminate(20s));
    EXPECT_FALSE(pathExists(discovery));
}

}  // namespace
}  // namespace cvl
