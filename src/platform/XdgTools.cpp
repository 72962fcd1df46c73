#include "platform/XdgTools.h"

#include <unistd.h>

#include <chrono>

#include "platform/Env.h"
#include "platform/ProcessRunner.h"
#include "platform/TextEscape.h"

namespace cvl::XdgTools {

namespace {

ProcessResult runTool(const std::string& program, const std::vector<std::string>& args) {
    ProcessSpec spec;
    spec.program = program;
    spec.args = args;
    spec.timeout = std::chrono::seconds(20);
    return runProcess(spec);
}

std::optional<std::string> firstLine(const ProcessResult& r) {
    if (!r.succeeded()) return std::nullopt;
    std::string line = trimWhitespace(r.out.substr(0, r.out.find('\n')));
    if (line.empty()) return std::nullopt;
    return line;
}

}  // namespace

std::optional<std::string> findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? std::optional<std::string>(name) : std::nullopt;
    const std::string path = envValue("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string dir = path.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> fileMimeType(const std::string& path) {
    return firstLine(runTool("xdg-mime", {"query", "filetype", path}));
}

std::optional<std::string> defaultApp(const std::string& mimeType) {
    return firstLine(runTool("xdg-mime", {"query", "default", mimeType}));
}

Status setDefaultApp(const std::string& desktopId, const std::vector<std::string>& mimeTypes) {
    if (mimeTypes.empty()) return success();
    std::vector<std::string> args{"default", desktopId};
    args.insert(args.end(), mimeTypes.begin(), mimeTypes.end());
    ProcessResult r = runTool("xdg-mime", args);
    if (!r.launched) return Failure{"xdg-mime could not be started: " + r.launchError};
    if (!r.succeeded())
        return Failure{"xdg-mime refused the change" +
                       (trimWhitespace(r.err).empty() ? "." : ": " + trimWhitespace(r.err))};
    return success();
}

bool mailClientConfigured() {
    return findProgram("xdg-email") && defaultApp("x-scheme-handler/mailto").has_value();
}

Status composeMailWithAttachment(const std::string& subject, const std::string& attachment) {
    return launchDetached("xdg-email", {"--subject", subject, "--attach", attachment});
}

Status launchDetached(const std::string& program, const std::vector<std::string>& args) {
    auto found = findProgram(program);
    if (!found) return Failure{program + " is not installed."};
    ProcessSpec spec;
    spec.program = *found;
    spec.args = args;
    spawnProcess(std::move(spec));
    return success();
}

}  // namespace cvl::XdgTools
