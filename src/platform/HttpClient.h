// HTTPS GET over libcurl: HTTPS only (redirects too), caches bypassed, a time-out, a size
// limit and an optional file of trusted certificates in place of the system's.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/Result.h"

namespace cvl {

struct HttpsGet {
    std::string url;
    std::chrono::seconds timeout{20};  // the whole transfer
    std::string caBundle;              // PEM file of trusted roots; empty: the system's store
    std::size_t maxBytes = 1u << 20;   // a longer body fails
};

// The body of a 2xx answer; a failure names what went wrong (address, network, TLS, status).
Result<std::string> httpsGet(const HttpsGet& request);

}  // namespace cvl
