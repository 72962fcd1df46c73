// Registers the program's agent server in Claude Desktop's connector file and removes it
// again, without ever losing the user's other connectors: the file is read before every
// write (an unreadable file is never written), backed up, written atomically and re-read.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace cvl {

class MCPConnector {
  public:
    static constexpr const char* serverKey = "corvello";
    static constexpr const char* pythonPath = "/usr/bin/python3";

    // Everything that touches the world outside the connector file.
    struct Env {
        std::string configPath;
        std::optional<std::string> serverPath;
        std::function<bool()> claudeAppPresent;
        std::function<bool()> claudeRunning;
        std::function<bool(double seconds)> quitClaude;
        std::function<void()> relaunchClaude;

        // The live environment of this machine.
        static Env live();
    };

    struct Status {
        bool serverBundled = false;
        bool claudeAppPresent = false;
        bool registered = false;
        bool staleEntry = false;
        bool configUnreadable = false;
        std::optional<std::string> error;

        bool operator==(const Status&) const = default;
    };

    struct Outcome {
        bool ok = false;
        bool verified = false;
        std::string message;
    };

    explicit MCPConnector(Env env) : env_(std::move(env)) {}

    const Env& env() const { return env_; }

    Status status() const;
    // Both block (they may wait up to a minute for Claude Desktop to quit): call them off
    // the main thread.
    Outcome connect() const;
    Outcome disconnect() const;

  private:
    Env env_;
};

// The connector's status as the settings panel reads it: five boolean keys.
std::string mcpStatusJSON(const MCPConnector::Status& status);
std::string mcpStatusJSON();

// Where the live environment finds the server script: the user's bundled-engine override,
// then the resource folder's engine; none when neither holds one.
std::optional<std::string> mcpResolveServerPath();
// The connector file: CVL_MCP_CLAUDE_CFG when set, else Claude Desktop's file under HOME.
std::string mcpLiveConfigPath();

// What the panel shows after a failed connect or disconnect.
struct MCPNotice {
    std::string id;
    std::string title;
    std::string body;
};
std::optional<MCPNotice> mcpFailureNotice(bool connecting, const MCPConnector::Outcome& outcome);

// Runs connect or disconnect with the live environment on the global pool and hands the
// outcome to `done` on the main queue (where the panel is reloaded and any notice shown).
void mcpConnectAsync(std::function<void(const MCPConnector::Outcome&)> done);
void mcpDisconnectAsync(std::function<void(const MCPConnector::Outcome&)> done);

}  // namespace cvl
