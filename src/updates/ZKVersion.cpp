#include "updates/ZKVersion.h"

#include <vector>

namespace cvl::ZKVersion {
namespace {

long long pieceValue(std::string_view piece) {
    long long value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') return 0;
        if (value > 100000000000LL) return value;  // absurdly long: keep the order, avoid overflow
        value = value * 10 + (c - '0');
    }
    return value;
}

std::vector<long long> pieces(std::string_view v) {
    std::vector<long long> out;
    size_t start = 0;
    while (start <= v.size()) {
        size_t dot = v.find('.', start);
        if (dot == std::string_view::npos) dot = v.size();
        if (dot > start) out.push_back(pieceValue(v.substr(start, dot - start)));
        start = dot + 1;
    }
    return out;
}

}  // namespace

int compare(std::string_view a, std::string_view b) {
    auto pa = pieces(a), pb = pieces(b);
    size_t n = std::max(pa.size(), pb.size());
    for (size_t i = 0; i < n; ++i) {
        long long x = i < pa.size() ? pa[i] : 0;
        long long y = i < pb.size() ? pb[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::optional<long long> parseBuild(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace cvl::ZKVersion
