#include "updates/ZKAppcast.h"

#include <cctype>
#include <nlohmann/json.hpp>

namespace cvl::ZKAppcastFeed {
namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The version becomes part of a folder name: letters, digits, ".", "-", "+" and "_" only.
bool safeVersion(const std::string& v) {
    if (v.empty() || v.size() > 64 || v.front() == '.' || v.find("..") != std::string::npos)
        return false;
    for (char c : v)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' &&
            c != '_')
            return false;
    return true;
}

std::string text(const nlohmann::json& doc, const char* key) {
    auto it = doc.find(key);
    return it != doc.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

std::string appcastURL(const std::string& feedBase, const std::string& appKey) {
    std::string base = feedBase;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + "/" + appKey + "/appcast.json";
}

bool isHttpsURL(std::string_view url) {
    auto sep = url.find("://");
    if (sep == std::string_view::npos) return false;
    if (lower(std::string(url.substr(0, sep))) != "https") return false;
    std::string_view rest = url.substr(sep + 3);
    auto hostEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, hostEnd);
    if (auto at = authority.rfind('@'); at != std::string_view::npos)
        authority = authority.substr(at + 1);
    if (authority.empty() || authority.front() == ':') return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= ' ') return false;
    return true;
}

Result<ZKAppcast> parse(std::string_view json) {
    nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
    if (!doc.is_object()) return Failure{"the appcast is not a JSON object"};
    for (const char* key : {"version", "url", "sha256"}) {
        auto it = doc.find(key);
        if (it == doc.end() || !it->is_string())
            return Failure{std::string("the appcast has no text \"") + key + "\""};
    }
    ZKAppcast cast;
    cast.version = text(doc, "version");
    cast.url = text(doc, "url");
    cast.sha256 = lower(text(doc, "sha256"));
    if (!isHttpsURL(cast.url)) return Failure{"the appcast's url is not an https address"};
    if (!safeVersion(cast.version))
        return Failure{"the appcast's version \"" + cast.version + "\" is not a version"};
    if (auto b = doc.find("build"); b != doc.end()) {
        if (b->is_number_integer())
            cast.build = b->get<long long>();
        else if (b->is_string()) {
            try {
                size_t used = 0;
                std::string s = b->get<std::string>();
                long long v = std::stoll(s, &used);
                if (used == s.size()) cast.build = v;
            } catch (...) {
            }
        }
    }
    cast.notes = text(doc, "notes");
    if (std::string n = text(doc, "notes_url"); isHttpsURL(n)) cast.notesURL = n;
    cast.minSystem = text(doc, "min_macos");
    if (auto c = doc.find("critical"); c != doc.end() && c->is_boolean())
        cast.critical = c->get<bool>();
    cast.signature = text(doc, "signature");
    cast.signingKey = text(doc, "signing_key");
    return cast;
}

}  // namespace cvl::ZKAppcastFeed
