// cvl-fm: the engine's on-device model helper. It answers with a local GGUF model through
// llama.cpp's llama-cli when the setting "ai_model" names the model file and the program is on
// PATH; otherwise it reports itself unavailable.
//
//   cvl-fm --status                 prints a JSON object: {"available": true, "model", "runner",
//                                   "context"} or {"available": false, "reason", "detail"}
//   cvl-fm --ask --max-tokens N [--instructions TEXT]
//                                   reads the prompt on standard input, prints the answer
//
// Exit statuses of --ask: 0 answered; 1 the model cannot run here (it failed to load);
// 2 unavailable (no model named, model file missing or not GGUF, no llama.cpp program);
// 3 any other error (described on standard error); 4 the input exceeds the model's context;
// 5 the model timed out; 64 bad arguments.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ProcessRunner.h"

namespace {

using nlohmann::json;

constexpr int kDefaultContext = 4096;
constexpr auto kModelTimeout = std::chrono::seconds(140);  // inside the host's 150 s

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string configPath() {
    return env("HOME") + "/Library/Application Support/Corvello/config.json";
}

json loadConfig() {
    std::ifstream in(configPath());
    if (!in) return json::object();
    json j = json::parse(in, nullptr, false);
    return j.is_object() ? j : json::object();
}

bool isExecutable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> onPath(const std::string& name) {
    std::stringstream dirs(env("PATH"));
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && isExecutable(dir + "/" + name)) return dir + "/" + name;
    return std::nullopt;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Setup {
    bool available = false;
    std::string reason;  // when unavailable
    std::string detail;
    std::string model;
    std::string runner;
    int context = kDefaultContext;
};

Setup setup() {
    Setup s;
    const json cfg = loadConfig();
    if (auto it = cfg.find("ai_context");
        it != cfg.end() && it->is_number_integer() && it->get<int>() >= 512)
        s.context = it->get<int>();
    auto model = cfg.find("ai_model");
    if (model == cfg.end() || !model->is_string() || model->get<std::string>().empty()) {
        s.reason = "noModel";
        s.detail =
            "No local model is set: put the path of a GGUF model file in the setting "
            "ai_model.";
        return s;
    }
    s.model = model->get<std::string>();
    std::ifstream in(s.model, std::ios::binary);
    char magic[4] = {};
    if (!in) {
        s.reason = "modelMissing";
        s.detail = "The model file named in ai_model is not there: " + s.model;
        return s;
    }
    if (!in.read(magic, 4) || std::string(magic, 4) != "GGUF") {
        s.reason = "notGGUF";
        s.detail = "The file named in ai_model is not a GGUF model: " + s.model;
        return s;
    }
    auto runner = onPath("llama-cli");
    if (!runner) {
        s.reason = "noRunner";
        s.detail = "llama.cpp's llama-cli is not on PATH.";
        return s;
    }
    s.runner = *runner;
    s.available = true;
    return s;
}

int status() {
    const Setup s = setup();
    json out = {{"available", s.available}};
    if (s.available) {
        out["model"] = s.model;
        out["runner"] = s.runner;
        out["context"] = s.context;
    } else {
        out["reason"] = s.reason;
        out["detail"] = s.detail;
    }
    std::cout << out.dump() << "\n";
    return 0;
}

int ask(int maxTokens, const std::string& instructions) {
    std::string prompt((std::istreambuf_iterator<char>(std::cin)),
                       std::istreambuf_iterator<char>());
    const Setup s = setup();
    if (!s.available) {
        std::cerr << s.detail << "\n";
        return 2;
    }
    std::string full = instructions.empty() ? prompt : instructions + "\n\n" + prompt;
    // About four bytes a token in the languages these documents are written in.
    if (static_cast<long>(full.size() / 4) + maxTokens > s.context) {
        std::cerr << "The input needs more than the model's context of " << s.context
                  << " tokens.\n";
        return 4;
    }
    // The prompt goes through a file: one argument may not hold more than 128 KB.
    char tmpl[] = "/tmp/cvl-fm-XXXXXX";
    const int fd = ::mkstemp(tmpl);
    if (fd < 0) {
        std::cerr << "cvl-fm: no temporary file for the prompt\n";
        return 3;
    }
    const std::string promptFile = tmpl;
    if (::write(fd, full.data(), full.size()) != static_cast<ssize_t>(full.size())) {
        ::close(fd);
        ::unlink(promptFile.c_str());
        std::cerr << "cvl-fm: the prompt could not be written\n";
        return 3;
    }
    ::close(fd);
    auto run = [&](bool noConversation) {
        cvl::ProcessSpec spec;
        spec.program = s.runner;
        spec.args = {"-m",
                     s.model,
                     "-f",
                     promptFile,
                     "-n",
                     std::to_string(maxTokens),
                     "-c",
                     std::to_string(s.context),
                     "--temp",
                     "0.2",
                     "--no-display-prompt"};
        if (noConversation) spec.args.push_back("-no-cnv");
        spec.timeout = kModelTimeout;
        return cvl::runProcess(spec);
    };
    cvl::ProcessResult r = run(true);
    // Builds without the conversation switch refuse it: ask again without.
    const std::string firstErr = lower(r.err);
    if (r.exitStatus != 0 && !r.timedOut &&
        (firstErr.find("invalid argument") != std::string::npos ||
         firstErr.find("unknown argument") != std::string::npos))
        r = run(false);
    ::unlink(promptFile.c_str());
    if (!r.launched) {
        std::cerr << "llama-cli did not start: " << r.launchError << "\n";
        return 1;
    }
    if (r.timedOut) return 5;
    const std::string err = lower(r.err);
    if (r.exitStatus != 0 || r.signal != 0) {
        if (err.find("failed to load model") != std::string::npos ||
            err.find("error loading model") != std::string::npos) {
            std::cerr << "The model could not be loaded on this computer.\n";
            return 1;
        }
        if (err.find("context") != std::string::npos &&
            (err.find("too long") != std::string::npos || err.find("exceed") != std::string::npos))
            return 4;
        std::string tail = trim(r.err);
        if (tail.size() > 600) tail = tail.substr(tail.size() - 600);
        std::cerr << (tail.empty() ? "llama-cli stopped with status " + std::to_string(r.exitStatus)
                                   : tail)
                  << "\n";
        return 3;
    }
    std::string answer = r.out;
    for (const char* end : {"[end of text]", "> EOF by user"})
        if (auto at = answer.rfind(end); at != std::string::npos) answer.erase(at);
    std::cout << trim(answer) << "\n";
    return 0;
}

int usage() {
    std::cerr << "usage: cvl-fm --status\n"
                 "       cvl-fm --ask --max-tokens N [--instructions TEXT]  (prompt on stdin)\n";
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--status") return status();
    if (args.empty() || args[0] != "--ask") return usage();
    int maxTokens = 700;
    std::string instructions;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (i + 1 >= args.size()) return usage();
        if (args[i] == "--max-tokens") {
            char* end = nullptr;
            long n = std::strtol(args[++i].c_str(), &end, 10);
            if (*end || n < 1 || n > 100000) return usage();
            maxTokens = static_cast<int>(n);
        } else if (args[i] == "--instructions") {
            instructions = args[++i];
        } else {
            return usage();
        }
    }
    return ask(maxTokens, instructions);
}
