// libFuzzer target: the agent bridge's request head, as the listener meets it: the head-end
// check on the bytes received, then parsing and the token check on a complete head. Any crash,
// sanitizer report or hang is a fault, and so is an answer that is neither a request nor a
// rejection, or a request let through without the token.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "agent/AgentHttp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cvl::AgentHttp;
    static const std::string token = "fuzz-token";
    const auto head = cvl::fuzz::bytesOf(data, size);
    if (headState(head) == HeadState::tooLong) return 0;
    const Parsed parsed = parseRequest(head, token);
    if (parsed.request.has_value() == parsed.rejection.has_value()) __builtin_trap();
    if (parsed.rejection) {
        const int status = parsed.rejection->status;
        if (status != 400 && status != 401) __builtin_trap();
        (void)formatResponse(status, "{}");
        return 0;
    }
    const Request& request = *parsed.request;
    if (!request.authorized || request.method != "GET") __builtin_trap();
    // The token arrives in the query or an Authorization header; either way its letters (or
    // their escapes) are in the head.
    if (head.find(token) == std::string_view::npos && head.find('%') == std::string_view::npos)
        __builtin_trap();
    return 0;
}
