// The appcast: the small JSON manifest that names the newest release of a product.
#pragma once

#include <string>
#include <string_view>

#include "platform/Result.h"

namespace cvl {

struct ZKAppcast {
    std::string version;  // dot-separated numbers
    std::string url;      // the archive, always https
    std::string sha256;   // lower-case hex
    long long build = 0;
    std::string notes;
    std::string notesURL;   // empty unless it was an https address
    std::string minSystem;  // "min_macos": the lowest C library version that runs it
    bool critical = false;
    std::string signature;   // base64 Ed25519 signature of the archive
    std::string signingKey;  // base64 raw public key of the signer; empty: the pinned key
};

namespace ZKAppcastFeed {

// feedBase + "/" + appKey + "/appcast.json", without doubling a trailing slash of the base.
std::string appcastURL(const std::string& feedBase, const std::string& appKey);

// Reads the manifest. Fails when it is not a JSON object, a required key ("version", "url",
// "sha256") is missing or not a text, the url is not https, or the version holds characters
// that could not name a folder.
Result<ZKAppcast> parse(std::string_view json);

// True when the text parses as an address with the scheme "https" and a host.
bool isHttpsURL(std::string_view url);

}  // namespace ZKAppcastFeed
}  // namespace cvl
