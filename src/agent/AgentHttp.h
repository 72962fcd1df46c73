// The agent bridge's wire protocol: one GET request per connection, authenticated by a
// token, answered with compact JSON.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace cvl::AgentHttp {

// Longest request head the bridge reads; a longer one is dropped without an answer.
constexpr size_t kMaxHead = 65536;
// Largest read from a connection at a time.
constexpr size_t kReadChunk = 16384;

struct Request {
    std::string method;
    std::string target;                        // as sent
    std::string path;                          // the target's path, percent-decoded
    std::map<std::string, std::string> query;  // later duplicates win; a missing value is ""
    bool authorized = false;
};

enum class HeadState { incomplete, complete, tooLong };
// Whether `buffer` holds a whole head yet. The size cap is checked first, so a head that
// ends only after 65,536 bytes is too long even when its end has arrived.
HeadState headState(std::string_view buffer);

struct Rejection {
    int status;
    std::string error;
};

// Parses the head (up to "\r\n\r\n") and checks the token. A rejection carries the status and
// error of the answer: 400 "bad request" or 401 "bad or missing token".
struct Parsed {
    std::optional<Request> request;
    std::optional<Rejection> rejection;
};
Parsed parseRequest(std::string_view head, std::string_view token);

// Clients may send "+" for a space, which query parsing does not decode. Each "|"-separated
// piece that does not name an existing file as written (tilde expanded) but does once every
// "+" is a space is replaced by the spaced form.
std::string repairSpaces(const std::string& value);

// "OK", "Not Found", "Unauthorized" or "Bad Request".
const char* reasonPhrase(int status);
// The whole response: status line, JSON headers with the body's length, and the body.
std::string formatResponse(int status, const std::string& body);

}  // namespace cvl::AgentHttp
