// The live connector environment on Linux: Claude Desktop is found as an app folder, a
// `claude-desktop` executable or desktop entry; its processes are found under /proc, asked
// to quit with SIGTERM and relaunched through the desktop entry.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "agent/MCPConnector.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "platform/UserDirs.h"

namespace cvl {
namespace {

const char* kProgram = "claude-desktop";
const char* kMacApp = "/Applications/Claude.app";

std::vector<std::string> splitColon(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ':'))
        if (!item.empty()) out.push_back(item);
    return out;
}

std::optional<std::string> findExecutable() {
    for (const auto& dir :
         splitColon(envVariable("PATH").value_or("/usr/local/bin:/usr/bin:/bin"))) {
        std::string candidate = dir + "/" + kProgram;
        if (isRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

std::optional<std::string> findDesktopEntry() {
    std::vector<std::string> dirs;
    const std::string dataHome = envValue("XDG_DATA_HOME");
    dirs.push_back(!dataHome.empty() ? dataHome : UserDirs::home() + "/.local/share");
    const std::string dataDirs = envValue("XDG_DATA_DIRS");
    for (const auto& d : splitColon(!dataDirs.empty() ? dataDirs : "/usr/local/share:/usr/share"))
        dirs.push_back(d);
    for (const auto& d : dirs) {
        std::string entry = d + "/applications/" + kProgram + ".desktop";
        if (isRegularFile(entry)) return entry;
    }
    return std::nullopt;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

// Process ids of running Claude Desktop processes: the command name, the executable or the
// first argument names the program.
std::vector<pid_t> claudeProcesses() {
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    if (!proc) return found;
    pid_t self = ::getpid();
    while (dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (!end || *end != '\0' || pid <= 0 || pid == self) continue;
        std::string base = std::string("/proc/") + e->d_name;
        bool match = trimmed(readFile(base + "/comm").value_or("")) == kProgram;
        if (!match) {
            char buf[4096];
            ssize_t n = ::readlink((base + "/exe").c_str(), buf, sizeof buf - 1);
            if (n > 0)
                match = lastPathComponent(std::string(buf, static_cast<size_t>(n))) == kProgram;
        }
        if (!match) {
            std::string cmdline = readFile(base + "/cmdline").value_or("");
            std::string argv0 = cmdline.substr(0, cmdline.find('\0'));
            match = !argv0.empty() && lastPathComponent(argv0) == kProgram;
        }
        if (match) found.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(proc);
    return found;
}

bool quitClaudeLive(double seconds) {
    for (pid_t pid : claudeProcesses()) ::kill(pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    while (std::chrono::steady_clock::now() < deadline) {
        if (claudeProcesses().empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return claudeProcesses().empty();
}

void relaunchClaudeLive() {
    ProcessSpec spec;
    if (auto entry = findDesktopEntry()) {
        spec.program = "gio";
        spec.args = {"launch", *entry};
    } else if (auto exe = findExecutable()) {
        // Detached into its own session so that it outlives this call.
        spec.program = "setsid";
        spec.args = {"-f", *exe};
    } else {
        return;
    }
    spec.timeout = std::chrono::seconds(30);
    spawnProcess(std::move(spec));
}

}  // namespace

std::string mcpLiveConfigPath() {
    if (std::string cfg = envValue("CVL_MCP_CLAUDE_CFG"); !cfg.empty()) return cfg;
    return UserDirs::home() + "/Library/Application Support/Claude/claude_desktop_config.json";
}

std::optional<std::string> mcpResolveServerPath() {
    std::string bundled = UserDirs::engineOverrideDir() + "/app/mcp/server.py";
    if (isRegularFile(bundled)) return bundled;
    std::string shipped = UserDirs::resourceDir() + "/engine/mcp/server.py";
    if (isRegularFile(shipped)) return shipped;
    return std::nullopt;
}

MCPConnector::Env MCPConnector::Env::live() {
    Env env;
    env.configPath = mcpLiveConfigPath();
    env.serverPath = mcpResolveServerPath();
    env.claudeAppPresent = [] {
        return pathExists(kMacApp) || findExecutable().has_value() ||
               findDesktopEntry().has_value();
    };
    env.claudeRunning = [] { return !claudeProcesses().empty(); };
    env.quitClaude = quitClaudeLive;
    env.relaunchClaude = relaunchClaudeLive;
    return env;
}

}  // namespace cvl
