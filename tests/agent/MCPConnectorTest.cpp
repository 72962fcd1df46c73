#include "agent/MCPConnector.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

// A stand-in for Claude Desktop that records what the connector asked of it.
struct FakeClaude {
    bool present = true;
    bool running = false;
    bool quits = true;
    int quitCalls = 0;
    double quitTimeout = 0;
    int relaunches = 0;
    std::function<void()> onRelaunch;
};

class ConnectorTest : public ::testing::Test {
  protected:
    test::TempHome home;
    FakeClaude claude;
    std::string cfg = home / "Library/Application Support/Claude/claude_desktop_config.json";
    std::string server = home / "engine/mcp/server.py";

    MCPConnector connector(std::optional<std::string> serverPath = std::nullopt,
                           bool useDefaultServer = true) {
        MCPConnector::Env env;
        env.configPath = cfg;
        env.serverPath = useDefaultServer ? std::optional<std::string>(server) : serverPath;
        env.claudeAppPresent = [this] { return claude.present; };
        env.claudeRunning = [this] { return claude.running; };
        env.quitClaude = [this](double t) {
            ++claude.quitCalls;
            claude.quitTimeout = t;
            if (claude.quits) claude.running = false;
            return claude.quits;
        };
        env.relaunchClaude = [this] {
            ++claude.relaunches;
            if (claude.onRelaunch) claude.onRelaunch();
        };
        return MCPConnector(env);
    }

    void writeCfg(const std::string& text) {
        ASSERT_TRUE(makeDirs(parentPath(cfg)));
        ASSERT_TRUE(writeFileAtomic(cfg, text).ok());
    }
    json readCfg() { return json::parse(readFile(cfg).value_or("null")); }
    std::vector<std::string> backups() {
        std::vector<std::string> out;
        if (!isDirectory(parentPath(cfg))) return out;
        for (const auto& e : fs::directory_iterator(parentPath(cfg)))
            if (e.path().filename().string().find(".bak-") != std::string::npos)
                out.push_back(e.path().string());
        return out;
    }
    json currentEntry() { return json{{"command", "/usr/bin/python3"}, {"args", {server}}}; }
};

TEST_F(ConnectorTest, MissingFileIsEmptyAndConnectCreatesOnlyTheEntry) {
    auto c = connector();
    EXPECT_EQ(c.status(), (MCPConnector::Status{true, true, false, false, false, std::nullopt}));

    auto out = c.connect();
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(out.verified);
    EXPECT_EQ(out.message,
              "Connected. Open a new chat in Claude Desktop — Corvello's document tools (search, "
              "read pages, open and turn pages, preview and run page changes) are available.");
    EXPECT_EQ(readCfg(), (json{{"mcpServers", {{"corvello", currentEntry()}}}}));
    EXPECT_TRUE(backups().empty());
    EXPECT_EQ(claude.quitCalls, 0);
    EXPECT_EQ(claude.relaunches, 1);  // opened for the next chat even if it was not running
    EXPECT_TRUE(c.status().registered);
}

TEST_F(ConnectorTest, UnreadableFilesAreReportedAndNeverWritten) {
    for (const std::string bad : {"[1, 2, 3]", "", "{\"mcpServers\": {", "\"text\""}) {
        SCOPED_TRACE(bad);
        writeCfg(bad);
        claude = FakeClaude{};
        claude.running = true;
        auto c = connector();
        auto s = c.status();
        EXPECT_TRUE(s.configUnreadable && !s.registered && !s.staleEntry);
        ASSERT_TRUE(s.error.has_value());
        EXPECT_EQ(s.error->rfind("Claude Desktop's connector file is unreadable: ", 0), 0u);
        if (bad == "[1, 2, 3]") {
            EXPECT_NE(s.error->find("top level is not a JSON object"), std::string::npos);
        }

        auto out = c.connect();
        EXPECT_FALSE(out.ok);
        EXPECT_FALSE(out.verified);
        EXPECT_EQ(out.message,
                  "Claude Desktop's connector file could not be read, so every other connector in "
                  "it is invisible right now. Writing would delete them. Fix or remove " +
                      cfg + ", then try again.");
        EXPECT_EQ(readFile(cfg), bad);
        EXPECT_TRUE(backups().empty());
        // It was quit to edit the file, so it is reopened after the refusal.
        EXPECT_EQ(claude.relaunches, 1);

        auto off = c.disconnect();
        EXPECT_FALSE(off.ok);
        EXPECT_EQ(off.message,
                  "Claude Desktop's connector file could not be read, so we cannot safely edit it "
                  "without risking your other connectors. Check " +
                      cfg + " by hand.");
        EXPECT_EQ(readFile(cfg), bad);
    }
}

TEST_F(ConnectorTest, OtherConnectorsAndKeysSurviveConnectAndDisconnect) {
    json original = {
        {"globalShortcut", "Ctrl+Space"},
        {"mcpServers",
         {{"files", {{"command", "npx"}, {"args", {"-y", "fs-server"}}, {"env", {{"A", "1"}}}}},
          {"zeta", {{"command", "node"}}}}},
        {"theme", {{"dark", true}, {"size", 3}}}};
    writeCfg(original.dump());

    auto c = connector();
    ASSERT_TRUE(c.connect().ok);
    json connected = original;
    connected["mcpServers"]["corvello"] = currentEntry();
    EXPECT_EQ(readCfg(), connected);

    auto out = c.disconnect();
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(out.verified);
    EXPECT_EQ(out.message, "Disconnected.");
    EXPECT_EQ(readCfg(), original);
    EXPECT_FALSE(c.status().registered);
}

TEST_F(ConnectorTest, DisconnectLeavesAnEmptyServerTableWhenItWasTheOnlyEntry) {
    writeCfg(json{{"mcpServers", "not an object"}, {"corvello", 1}}.dump());
    auto c = connector();
    ASSERT_TRUE(c.connect().ok);
    EXPECT_EQ(readCfg()["mcpServers"], (json{{"corvello", currentEntry()}}));
    ASSERT_TRUE(c.disconnect().ok);
    EXPECT_EQ(readCfg(), (json{{"mcpServers", json::object()}, {"corvello", 1}}));
}

TEST_F(ConnectorTest, EntriesThatAreNotCurrentAreStaleAndConnectReplacesThem) {
    std::vector<json> stale = {
        {{"command", "/usr/bin/python3"}, {"args", {"/old/place/server.py"}}},
        {{"command", "python3"}, {"args", {server}}},
        {{"command", "/usr/bin/python3"}, {"args", {server, "--debug"}}},
        {{"command", "/usr/bin/python3"}, {"args", server}},
        {{"command", "/usr/bin/python3"}},
    };
    for (const auto& entry : stale) {
        SCOPED_TRACE(entry.dump());
        writeCfg(json{{"mcpServers", {{"corvello", entry}}}}.dump());
        auto c = connector();
        EXPECT_TRUE(c.status().staleEntry && !c.status().registered);
        ASSERT_TRUE(c.connect().ok);
        EXPECT_EQ(readCfg()["mcpServers"]["corvello"], currentEntry());
        EXPECT_TRUE(c.status().registered && !c.status().staleEntry);
    }
    // Without a server script no entry can be current.
    writeCfg(json{{"mcpServers", {{"corvello", currentEntry()}}}}.dump());
    auto bare = connector(std::nullopt, false);
    EXPECT_TRUE(bare.status().staleEntry);
    EXPECT_FALSE(bare.status().serverBundled);
}

TEST_F(ConnectorTest, DisconnectWithoutAnEntryTouchesNothing) {
    std::string text = "{\"mcpServers\": {\"other\": {\"command\": \"x\"}}}";
    writeCfg(text);
    claude.running = true;
    auto out = connector().disconnect();
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(out.verified);
    EXPECT_EQ(out.message, "Already disconnected.");
    EXPECT_EQ(claude.quitCalls, 0);
    EXPECT_EQ(claude.relaunches, 0);
    EXPECT_EQ(readFile(cfg), text);
    EXPECT_TRUE(backups().empty());
}

TEST_F(ConnectorTest, ARunningClaudeThatWillNotQuitStopsEveryWrite) {
    std::string text = json{{"mcpServers", {{"corvello", currentEntry()}}}}.dump();
    writeCfg(text);
    claude.running = true;
    claude.quits = false;
    auto c = connector();

    auto on = c.connect();
    EXPECT_FALSE(on.ok);
    EXPECT_EQ(on.message,
              "Could not quit Claude Desktop. It owns its connector file and would overwrite this "
              "change on its next quit. Quit it yourself and try again.");
    EXPECT_DOUBLE_EQ(claude.quitTimeout, 60.0);

    auto off = c.disconnect();
    EXPECT_FALSE(off.ok);
    EXPECT_EQ(off.message,
              "Could not quit Claude Desktop to remove the connector. Quit it yourself and try "
              "again.");
    EXPECT_EQ(claude.quitCalls, 2);
    EXPECT_EQ(claude.relaunches, 0);
    EXPECT_EQ(readFile(cfg), text);
    EXPECT_TRUE(backups().empty());
}

TEST_F(ConnectorTest, ARunningClaudeIsQuitAndEachWriteKeepsOneBackupOfThePreviousBytes) {
    std::string original = "{\"keep\": [1,2,3]}";
    writeCfg(original);
    claude.running = true;
    bool runningAtRelaunch = true;
    claude.onRelaunch = [&] { runningAtRelaunch = claude.running; };
    ASSERT_TRUE(connector().connect().ok);
    EXPECT_EQ(claude.quitCalls, 1);
    EXPECT_FALSE(runningAtRelaunch);
    EXPECT_EQ(claude.relaunches, 1);
    auto made = backups();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(readFile(made[0]), original);
    EXPECT_EQ(made[0].rfind(cfg + ".bak-", 0), 0u);
    EXPECT_EQ(made[0].size(), (cfg + ".bak-yyyy-MM-dd-HHmmss").size());
}

TEST_F(ConnectorTest, PreconditionsAreCheckedBeforeAnythingElse) {
    auto noServer = connector(std::nullopt, false).connect();
    EXPECT_FALSE(noServer.ok);
    EXPECT_EQ(noServer.message,
              "This build is missing the connector. Update Corvello and try again.");

    claude.present = false;
    claude.running = true;
    auto noApp = connector().connect();
    EXPECT_FALSE(noApp.ok);
    EXPECT_EQ(noApp.message, "Claude Desktop is not installed at /Applications/Claude.app.");
    EXPECT_EQ(claude.quitCalls, 0);
    EXPECT_FALSE(pathExists(cfg));
}

TEST_F(ConnectorTest, VerificationNoticesAFileRewrittenBehindOurBack) {
    // Claude Desktop rewriting its file on launch would undo the change.
    auto c = connector();
    claude.onRelaunch = [&] { ASSERT_TRUE(writeFileAtomic(cfg, "{}").ok()); };
    auto out = c.connect();
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(out.verified);
    EXPECT_EQ(out.message,
              "Wrote the entry but re-reading the file did not show it as expected. Check " + cfg +
                  " by hand.");

    claude.onRelaunch = {};
    ASSERT_TRUE(c.connect().ok);
    std::string again = json{{"mcpServers", {{"corvello", currentEntry()}}}}.dump();
    claude.onRelaunch = [&] { ASSERT_TRUE(writeFileAtomic(cfg, again).ok()); };
    auto off = c.disconnect();
    EXPECT_FALSE(off.ok);
    EXPECT_EQ(off.message, "Removed the entry but re-reading the file still shows one. Check " +
                               cfg + " by hand.");
}

TEST_F(ConnectorTest, AWriteFailureIsReportedAndLeavesNothingBehind) {
    // The folder that should hold the file is a plain file, so nothing can be written.
    std::string blocker = home / "blocker";
    ASSERT_TRUE(writeFileAtomic(blocker, "keep").ok());
    cfg = blocker + "/claude_desktop_config.json";
    claude.running = true;
    auto out = connector().connect();
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(out.verified);
    EXPECT_EQ(out.message.rfind("Could not write " + cfg + ": ", 0), 0u) << out.message;
    EXPECT_EQ(readFile(blocker), "keep");
    EXPECT_EQ(claude.relaunches, 1);  // reopened because it was quit for the edit
}

TEST_F(ConnectorTest, StatusJsonHasExactlyTheFiveFlags) {
    writeCfg(json{{"mcpServers", {{"corvello", {{"command", "/bin/sh"}}}}}}.dump());
    claude.present = false;
    auto j = json::parse(mcpStatusJSON(connector().status()));
    EXPECT_EQ(j, (json{{"server_bundled", true},
                       {"claude_app_present", false},
                       {"registered", false},
                       {"stale_entry", true},
                       {"config_unreadable", false}}));
    auto notice = mcpFailureNotice(true, {false, false, "why"});
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->id, "mcp");
    EXPECT_EQ(notice->title, "Couldn't connect to Claude Desktop");
    EXPECT_EQ(notice->body, "why");
    EXPECT_EQ(mcpFailureNotice(false, {false, false, "x"})->title, "Couldn't disconnect");
    EXPECT_FALSE(mcpFailureNotice(false, {true, true, "Disconnected."}).has_value());
}

TEST(ConnectorLiveEnv, ConfigPathAndServerScriptFollowTheUsersFolders) {
    test::TempHome home;
    ::unsetenv("CVL_MCP_CLAUDE_CFG");
    EXPECT_EQ(MCPConnector::Env::live().configPath,
              home.path() + "/Library/Application Support/Claude/claude_desktop_config.json");
    ::setenv("CVL_MCP_CLAUDE_CFG", (home / "elsewhere.json").c_str(), 1);
    EXPECT_EQ(MCPConnector::Env::live().configPath, home / "elsewhere.json");
    ::unsetenv("CVL_MCP_CLAUDE_CFG");

    std::string oldRes = std::getenv("CVL_RESOURCES") ? std::getenv("CVL_RESOURCES") : "";
    ::setenv("CVL_RESOURCES", (home / "res").c_str(), 1);
    EXPECT_FALSE(mcpResolveServerPath().has_value());
    ASSERT_TRUE(makeDirs(home / "res/engine/mcp"));
    ASSERT_TRUE(writeFileAtomic(home / "res/engine/mcp/server.py", "#").ok());
    EXPECT_EQ(mcpResolveServerPath(), home / "res/engine/mcp/server.py");
    std::string override = home / ".claude/skills/_corvello_use_bundled_engine/app/mcp";
    ASSERT_TRUE(makeDirs(override));
    ASSERT_TRUE(writeFileAtomic(override + "/server.py", "#").ok());
    EXPECT_EQ(mcpResolveServerPath(), override + "/server.py");
    if (oldRes.empty())
        ::unsetenv("CVL_RESOURCES");
    else
        ::setenv("CVL_RESOURCES", oldRes.c_str(), 1);
}

}  // namespace
}  // namespace cvl
