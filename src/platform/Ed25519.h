// Detached Ed25519 signatures (OpenSSL): the check that stands in for code signing.
#pragma once

#include <string_view>

namespace cvl {

// True when `signature` (64 bytes) is a valid signature of `message` by the raw 32-byte
// `publicKey`; false for any malformed input.
bool ed25519Verify(std::string_view publicKey, std::string_view message,
                   std::string_view signature);

}  // namespace cvl
