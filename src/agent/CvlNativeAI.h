// The reader's on-device AI requests: validation of what the page sends, the model helper
// `cvl-fm` (status and asks, with time-outs), the mapping of its exit statuses to replies, and
// the reply scripts. Translation is in PageTranslation.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace cvl::CvlNativeAI {

struct Request {
    std::string action;  // "translate", "ask" or "aistatus"
    std::string id;      // echoed in every reply
    std::string text;
    std::string from = "auto";
    std::string to = "auto";
    std::string system;
    std::string prompt;
    int maxTokens = 700;
};

struct Failure {
    std::string code;
    std::string message;
};

struct FMResult {
    std::int32_t code = -1;  // exit status; -1 when the helper did not run to an exit
    std::string out;
    std::string err;
    bool ran = false;  // the helper started
};

inline constexpr std::size_t kTranslateLimit = 200000;
inline constexpr std::size_t kPromptLimit = 400000;
inline constexpr std::size_t kSystemLimit = 16000;

// "auto", or two or three letters optionally followed by "-" and two to four letters.
bool isLanguageCode(const std::string& code);

// What the page's message amounts to: a request, a refusal for its size only (answered at
// once with "size_limit"), or nothing (malformed: no reply).
struct Validation {
    std::optional<Request> request;
    bool oversized = false;
    std::string id;  // the request id, for the size refusal
};
Validation validRequest(const std::string& action, const std::string& bodyJSON);
std::string sizeLimitMessage(const std::string& action);

// CVL_FM_BIN, else the engine's cvl-fm, else the cvl-fm built beside the running program.
std::string fmBinary();
// Runs the helper: terminated at the time-out, killed 2 s later. "cvl-fm missing" when it is
// not an executable file; "cvl-fm did not start: ..." when it could not start; "timed out".
FMResult runFM(const std::vector<std::string>& args, const std::optional<std::string>& input,
               std::chrono::milliseconds timeout);

inline constexpr std::chrono::seconds kStatusTimeout{10};
inline constexpr std::chrono::seconds kAskTimeout{150};

// The status JSON text from a "--status" run.
std::string statusPayload(const FMResult& result);
// "--ask", "--max-tokens", N, then "--instructions" and the system text when not empty.
std::vector<std::string> askArgs(const std::string& system, int maxTokens);
// The answer, or the failure its exit status stands for.
std::variant<std::string, Failure> askOutcome(const FMResult& result);

// Page scripts: a partial result, and the final reply (payload is the result on success, the
// failure's message otherwise).
std::string partialScript(const std::string& id, const std::string& text);
std::string replyScript(const std::string& id, bool ok, const std::string& payload,
                        const std::string& code);

}  // namespace cvl::CvlNativeAI
