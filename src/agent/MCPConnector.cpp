#include "agent/MCPConnector.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Result.h"

namespace cvl {
namespace {

using json = nlohmann::json;

const char* kUnreadablePrefix = "Claude Desktop's connector file is unreadable: ";

// Reads the connector file. A missing file is an empty object; a file that exists but is
// not a readable JSON object is a failure carrying the reason.
Result<json> readConfig(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return json::object();
        return Failure{std::strerror(errno)};
    }
    auto bytes = readFile(path);
    if (!bytes) return Failure{"The file couldn't be opened."};
    json doc;
    try {
        doc = json::parse(*bytes);
    } catch (const std::exception& e) {
        return Failure{std::string("The data isn't valid JSON (") + e.what() + ")"};
    }
    if (!doc.is_object()) return Failure{"top level is not a JSON object"};
    return doc;
}

// The program's entry, when the file holds one as an object.
Result<std::optional<json>> registeredEntry(const std::string& path) {
    auto doc = readConfig(path);
    if (!doc) return Failure{doc.error()};
    auto servers = doc->find("mcpServers");
    if (servers == doc->end() || !servers->is_object()) return std::optional<json>();
    auto entry = servers->find(MCPConnector::serverKey);
    if (entry == servers->end() || !entry->is_object()) return std::optional<json>();
    return std::optional<json>(*entry);
}

bool isCurrent(const json& entry, const std::optional<std::string>& serverPath) {
    if (!serverPath || !entry.is_object()) return false;
    auto command = entry.find("command");
    if (command == entry.end() || !command->is_string() ||
        command->get<std::string>() != MCPConnector::pythonPath)
        return false;
    auto args = entry.find("args");
    return args != entry.end() && args->is_array() && args->size() == 1 && (*args)[0].is_string() &&
           (*args)[0].get<std::string>() == *serverPath;
}

std::string localStamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d-%H%M%S", &tm);
    return buf;
}

// Copies an existing connector file aside before it is replaced; a failed copy is ignored.
void backupConfig(const std::string& path) {
    if (!pathExists(path)) return;
    std::error_code ec;
    std::filesystem::copy_file(path, path + ".bak-" + localStamp(),
                               std::filesystem::copy_options::none, ec);
}

// Writes the object pretty-printed with sorted keys, atomically, keeping the file's mode.
Status writeConfig(const std::string& path, const json& doc) {
    std::string dir = parentPath(path);
    if (!dir.empty() && !makeDirs(dir)) return Failure{"could not create the folder " + dir};
    std::string text;
    try {
        text = doc.dump(2) + "\n";
    } catch (const std::exception& e) {
        return Failure{e.what()};
    }
    unsigned mode = 0644;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    auto written = writeFileAtomic(path, text, mode);
    if (!written) {
        // writeFileAtomic words its failure for users; keep only the reason after the path.
        std::string why = written.error();
        std::string prefix = "Could not write " + path + ": ";
        if (why.rfind(prefix, 0) == 0) why = why.substr(prefix.size());
        return Failure{why};
    }
    return success();
}

json entryFor(const std::string& serverPath) {
    return json{{"command", MCPConnector::pythonPath}, {"args", json::array({serverPath})}};
}

bool call(const std::function<bool()>& f) {
    return f ? f() : false;
}

}  // namespace

MCPConnector::Status MCPConnector::status() const {
    Status s;
    s.serverBundled = env_.serverPath.has_value();
    s.claudeAppPresent = call(env_.claudeAppPresent);
    auto entry = registeredEntry(env_.configPath);
    if (!entry) {
        s.configUnreadable = true;
        s.error = kUnreadablePrefix + entry.error();
        return s;
    }
    if (entry->has_value()) {
        s.registered = isCurrent(**entry, env_.serverPath);
        s.staleEntry = !s.registered;
    }
    return s;
}

MCPConnector::Outcome MCPConnector::connect() const {
    const std::string& path = env_.configPath;
    auto relaunch = [&] {
        if (env_.relaunchClaude) env_.relaunchClaude();
    };
    if (!env_.serverPath)
        return {false, false,
                "This build is missing the connector. Update Corvello and try again."};
    if (!call(env_.claudeAppPresent))
        return {false, false, "Claude Desktop is not installed at /Applications/Claude.app."};

    bool wasRunning = call(env_.claudeRunning);
    if (wasRunning && !(env_.quitClaude && env_.quitClaude(60.0)))
        return {false, false,
                "Could not quit Claude Desktop. It owns its connector file and would overwrite "
                "this change on its next quit. Quit it yourself and try again."};

    auto doc = readConfig(path);
    if (!doc) {
        if (wasRunning) relaunch();
        return {false, false,
                "Claude Desktop's connector file could not be read, so every other connector in "
                "it is invisible right now. Writing would delete them. Fix or remove " +
                    path + ", then try again."};
    }

    backupConfig(path);
    json servers = json::object();
    if (auto it = doc->find("mcpServers"); it != doc->end() && it->is_object()) servers = *it;
    servers[serverKey] = entryFor(*env_.serverPath);
    (*doc)["mcpServers"] = servers;
    auto written = writeConfig(path, *doc);
    if (!written) {
        if (wasRunning) relaunch();
        return {false, false, "Could not write " + path + ": " + written.error()};
    }
    relaunch();

    auto entry = registeredEntry(path);
    if (entry && entry->has_value() && isCurrent(**entry, env_.serverPath))
        return {true, true,
                "Connected. Open a new chat in Claude Desktop — Corvello's document tools "
                "(search, read pages, open and turn pages, preview and run page changes) are "
                "available."};
    return {false, false,
            "Wrote the entry but re-reading the file did not show it as expected. Check " + path +
                " by hand."};
}

MCPConnector::Outcome MCPConnector::disconnect() const {
    const std::string& path = env_.configPath;
    auto relaunch = [&] {
        if (env_.relaunchClaude) env_.relaunchClaude();
    };
    auto existing = registeredEntry(path);
    if (!existing)
        return {false, false,
                "Claude Desktop's connector file could not be read, so we cannot safely edit it "
                "without risking your other connectors. Check " +
                    path + " by hand."};
    if (!existing->has_value()) return {true, true, "Already disconnected."};

    bool wasRunning = call(env_.claudeRunning);
    if (wasRunning && !(env_.quitClaude && env_.quitClaude(60.0)))
        return {false, false,
                "Could not quit Claude Desktop to remove the connector. Quit it yourself and try "
                "again."};

    auto doc = readConfig(path);
    if (!doc) {
        if (wasRunning) relaunch();
        return {false, false,
                "Claude Desktop's connector file could not be read. Writing would delete your "
                "other connectors. Check " +
                    path + " by hand."};
    }

    backupConfig(path);
    json servers = json::object();
    if (auto it = doc->find("mcpServers"); it != doc->end() && it->is_object()) servers = *it;
    servers.erase(serverKey);
    (*doc)["mcpServers"] = servers;
    auto written = writeConfig(path, *doc);
    if (!written) {
        if (wasRunning) relaunch();
        return {false, false, "Could not write " + path + ": " + written.error()};
    }
    relaunch();

    auto entry = registeredEntry(path);
    if (entry && entry->has_value())
        return {false, false,
                "Removed the entry but re-reading the file still shows one. Check " + path +
                    " by hand."};
    return {true, true, "Disconnected."};
}

std::string mcpStatusJSON(const MCPConnector::Status& s) {
    json j{{"server_bundled", s.serverBundled},
           {"claude_app_present", s.claudeAppPresent},
           {"registered", s.registered},
           {"stale_entry", s.staleEntry},
           {"config_unreadable", s.configUnreadable}};
    return j.dump();
}

std::string mcpStatusJSON() {
    return mcpStatusJSON(MCPConnector(MCPConnector::Env::live()).status());
}

std::optional<MCPNotice> mcpFailureNotice(bool connecting, const MCPConnector::Outcome& outcome) {
    if (outcome.ok) return std::nullopt;
    return MCPNotice{"mcp",
                     connecting ? "Couldn't connect to Claude Desktop" : "Couldn't disconnect",
                     outcome.message};
}

namespace {

void runAsync(bool connecting, std::function<void(const MCPConnector::Outcome&)> done) {
    Dispatch::global().async([connecting, done = std::move(done)] {
        MCPConnector connector(MCPConnector::Env::live());
        auto outcome = connecting ? connector.connect() : connector.disconnect();
        Dispatch::main().async([outcome, done] {
            if (done) done(outcome);
        });
    });
}

}  // namespace

void mcpConnectAsync(std::function<void(const MCPConnector::Outcome&)> done) {
    runAsync(true, std::move(done));
}

void mcpDisconnectAsync(std::function<void(const MCPConnector::Outcome&)> done) {
    runAsync(false, std::move(done));
}

}  // namespace cvl
