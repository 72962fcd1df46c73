#include "agent/CvlNativeAI.h"

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/Env.h"
#include "platform/ProcessRunner.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "window/PageScript.h"

namespace cvl::CvlNativeAI {
namespace {

using nlohmann::json;

bool isExecutable(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

bool contains(const std::string& text, const char* word) {
    std::string lower = text;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(word) != std::string::npos;
}

}  // namespace

bool isLanguageCode(const std::string& code) {
    if (code == "auto") return true;
    auto letters = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            if (!std::isalpha(static_cast<unsigned char>(code[i])) ||
                static_cast<unsigned char>(code[i]) >= 0x80)
                return false;
        return true;
    };
    const auto dash = code.find('-');
    const std::size_t primary = dash == std::string::npos ? code.size() : dash;
    if (primary < 2 || primary > 3 || !letters(0, primary)) return false;
    if (dash == std::string::npos) return true;
    const std::size_t rest = code.size() - dash - 1;
    return rest >= 2 && rest <= 4 && letters(dash + 1, code.size());
}

Validation validRequest(const std::string& action, const std::string& bodyJSON) {
    Validation v;
    if (action != "translate" && action != "ask" && action != "aistatus") return v;
    json body = json::parse(bodyJSON, nullptr, false);
    if (!body.is_object()) return v;
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto it = body.find(key);
        if (it == body.end() || it->is_null()) return std::string();
        if (!it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    Request r;
    r.action = action;
    auto id = text("id");
    if (!id || id->empty() || id->size() > 20) return v;
    for (unsigned char c : *id)
        if (c >= 0x80) return v;
    r.id = *id;
    if (action == "translate") {
        auto t = text("text"), from = text("from"), to = text("to");
        if (!t || t->empty() || !from || !to) return v;
        r.from = from->empty() ? "auto" : *from;
        r.to = to->empty() ? "auto" : *to;
        if (!isLanguageCode(r.from) || !isLanguageCode(r.to) || r.to == "auto") return v;
        if (t->size() > kTranslateLimit) {
            v.oversized = true;
            v.id = r.id;
            return v;
        }
        r.text = *t;
    } else if (action == "ask") {
        auto prompt = text("prompt"), system = text("system");
        if (!prompt || prompt->empty() || !system) return v;
        if (auto it = body.find("maxTokens"); it != body.end() && !it->is_null()) {
            if (!it->is_number_integer()) return v;
            r.maxTokens = it->get<int>();
        }
        if (prompt->size() > kPromptLimit || system->size() > kSystemLimit) {
            v.oversized = true;
            v.id = r.id;
            return v;
        }
        r.prompt = *prompt;
        r.system = *system;
    }
    v.request = std::move(r);
    return v;
}

std::string sizeLimitMessage(const std::string& action) {
    return action == "translate"
               ? "That is more text than one translation takes. Translate a page or a selection "
                 "at a time."
               : "That question carries more text than the on-device model takes at once. Ask "
                 "about fewer pages.";
}

std::string fmBinary() {
    if (std::string env = envValue("CVL_FM_BIN"); !env.empty()) return env;
    const std::string packaged = UserDirs::resourceDir() + "/engine/cvl-fm";
    if (isExecutable(packaged)) return packaged;
    // A build tree: the helper is built beside the programs.
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::string beside = (self.parent_path() / "cvl-fm").string();
        if (isExecutable(beside)) return beside;
    }
    return packaged;
}

FMResult runFM(const std::vector<std::string>& args, const std::optional<std::string>& input,
               std::chrono::milliseconds timeout) {
    FMResult result;
    const std::string bin = fmBinary();
    if (!isExecutable(bin)) {
        result.err = "cvl-fm missing";
        return result;
    }
    ProcessSpec spec;
    spec.program = bin;
    spec.args = args;
    spec.input = input;
    spec.timeout = timeout;
    spec.killGrace = std::chrono::seconds(2);
    ProcessResult r = runProcess(spec);
    if (!r.launched) {
        result.err = "cvl-fm did not start: " + r.launchError;
        return result;
    }
    result.ran = true;
    result.out = std::move(r.out);
    result.err = std::move(r.err);
    if (r.timedOut) {
        result.err = "timed out";
        return result;
    }
    result.code = r.signal ? -1 : r.exitStatus;
    return result;
}

std::string statusPayload(const FMResult& r) {
    const std::string out = trimWhitespace(r.out);
    if (!out.empty() && out[0] == '{') return out;
    return r.ran ? R"({"available":false,"reason":"unavailable"})"
                 : R"({"available":false,"reason":"helperMissing"})";
}

std::vector<std::string> askArgs(const std::string& system, int maxTokens) {
    std::vector<std::string> args{"--ask", "--max-tokens", std::to_string(maxTokens)};
    if (!system.empty()) {
        args.push_back("--instructions");
        args.push_back(system);
    }
    return args;
}

std::variant<std::string, Failure> askOutcome(const FMResult& r) {
    switch (r.code) {
        case 0: {
            std::string answer = trimWhitespace(r.out);
            if (answer.empty())
                return Failure{"empty", "No answer came back. Try asking a different way."};
            return answer;
        }
        case 1:
            return Failure{"helperMissing",
                           "The local model could not run on this computer. Check the model file "
                           "named in the setting ai_model, or pick another source under AI "
                           "source."};
        case 2:
            return Failure{"unavailable",
                           "Answers on this computer need a local model: set ai_model in the "
                           "settings to a GGUF model file and install llama.cpp (llama-cli), or "
                           "pick another source under AI source."};
        case 4:
            return Failure{"context",
                           "That was more text than the on-device model reads at once. Ask about "
                           "a narrower part, or pick another source under AI source."};
        case 5:
            return Failure{"timeout",
                           "The on-device model took too long. Try again, or ask a shorter "
                           "question."};
        default:
            break;
    }
    if (contains(r.err, "guardrail") || contains(r.err, "unsafe"))
        return Failure{"guardrail",
                       "The local model declined this one. Try asking another way, or pick "
                       "another source under AI source."};
    return Failure{"error", "The on-device model stopped: " + trimWhitespace(r.err)};
}

std::string partialScript(const std::string& id, const std::string& text) {
    return PageScript::callMember("CorvelloMacAI", "_partial",
                                  PageScript::quote(id) + "," + PageScript::quote(text));
}

std::string replyScript(const std::string& id, bool ok, const std::string& payload,
                        const std::string& code) {
    return PageScript::callMember("CorvelloMacAI", "_reply",
                                  PageScript::quote(id) + "," + (ok ? "true" : "false") + "," +
                                      PageScript::quote(payload) + "," + PageScript::quote(code));
}

}  // namespace cvl::CvlNativeAI
