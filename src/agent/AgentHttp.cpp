#include "agent/AgentHttp.h"

#include <vector>

#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"

namespace cvl::AgentHttp {
namespace {

const std::string_view kHeadEnd = "\r\n\r\n";

std::vector<std::string_view> split(std::string_view text, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        out.push_back(text.substr(start, at == std::string_view::npos ? text.npos : at - start));
        if (at == std::string_view::npos) return out;
        start = at + 1;
    }
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A target parses as a URL reference when it has no spaces, controls or characters that are
// never allowed in one, and every "%" starts a valid escape.
bool validTarget(std::string_view target) {
    if (target.empty()) return false;
    for (size_t i = 0; i < target.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(target[i]);
        if (c <= 0x20 || c == 0x7f) return false;
        if (c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' || c == '{' ||
            c == '}')
            return false;
        if (c == '%' && (i + 2 >= target.size() || !isHex(target[i + 1]) || !isHex(target[i + 2])))
            return false;
    }
    return true;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool headerCarriesToken(std::string_view line, std::string_view token) {
    if (lower(line.substr(0, 14)) != "authorization:") return false;
    std::string_view value = trimSpaces(line.substr(14));
    size_t lastSpace = value.find_last_of(' ');
    std::string_view last =
        lastSpace == std::string_view::npos ? value : value.substr(lastSpace + 1);
    return !token.empty() && last == token;
}

}  // namespace

HeadState headState(std::string_view buffer) {
    if (buffer.size() > kMaxHead) return HeadState::tooLong;
    return buffer.find(kHeadEnd) == std::string_view::npos ? HeadState::incomplete
                                                           : HeadState::complete;
}

Parsed parseRequest(std::string_view head, std::string_view token) {
    Parsed out;
    auto bad = [&](int status, const char* error) {
        out.rejection = Rejection{status, error};
        return out;
    };
    if (size_t end = head.find(kHeadEnd); end != std::string_view::npos) head = head.substr(0, end);
    auto lines = split(head, '\n');
    std::string_view requestLine = trimSpaces(lines[0]);
    std::vector<std::string_view> parts;
    for (auto p : split(requestLine, ' '))
        if (!p.empty()) parts.push_back(p);
    if (parts.size() < 2 || parts[0] != "GET" || !validTarget(parts[1]))
        return bad(400, "bad request");

    Request req;
    req.method = std::string(parts[0]);
    req.target = std::string(parts[1]);
    std::string_view target = parts[1];
    if (size_t hash = target.find('#'); hash != std::string_view::npos)
        target = target.substr(0, hash);
    size_t q = target.find('?');
    std::string_view rawPath = target.substr(0, q);
    // An absolute-form target ("http://127.0.0.1:port/status") keeps only its path.
    if (size_t scheme = rawPath.find("://"); scheme != std::string_view::npos) {
        size_t slash = rawPath.find('/', scheme + 3);
        rawPath = slash == std::string_view::npos ? std::string_view("/") : rawPath.substr(slash);
    }
    req.path = percentDecode(rawPath);
    if (q != std::string_view::npos) {
        for (auto item : split(target.substr(q + 1), '&')) {
            if (item.empty()) continue;
            size_t eq = item.find('=');
            std::string name = percentDecode(item.substr(0, eq));
            std::string value =
                eq == std::string_view::npos ? "" : percentDecode(item.substr(eq + 1));
            req.query[name] = value;
        }
    }

    auto tokenItem = req.query.find("token");
    bool ok = !token.empty() && tokenItem != req.query.end() && tokenItem->second == token;
    for (size_t i = 1; !ok && i < lines.size(); ++i)
        ok = headerCarriesToken(trimSpaces(lines[i]), token);
    if (!ok) return bad(401, "bad or missing token");
    req.authorized = true;

    for (const char* key : {"path", "paths"}) {
        auto it = req.query.find(key);
        if (it != req.query.end()) it->second = repairSpaces(it->second);
    }
    out.request = std::move(req);
    return out;
}

std::string repairSpaces(const std::string& value) {
    if (value.find('+') == std::string::npos) return value;
    std::string joined;
    bool first = true;
    for (auto piece : split(value, '|')) {
        std::string p(piece);
        if (!pathExists(UserDirs::expandTilde(p))) {
            std::string spaced = p;
            for (auto& c : spaced)
                if (c == '+') c = ' ';
            if (pathExists(UserDirs::expandTilde(spaced))) p = spaced;
        }
        if (!first) joined += '|';
        joined += p;
        first = false;
    }
    return joined;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        case 401:
            return "Unauthorized";
        default:
            return "Bad Request";
    }
}

std::string formatResponse(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace cvl::AgentHttp
