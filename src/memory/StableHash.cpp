#include "memory/StableHash.h"

#include <cstdint>
#include <cstdio>

namespace cvl {

std::string cvlStableHash(std::string_view s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char b : s) {
        h ^= b;
        h *= 1099511628211ULL;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

}  // namespace cvl
