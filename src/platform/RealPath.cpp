#include "platform/RealPath.h"

#include <cstdlib>
#include <memory>

namespace cvl {

std::optional<std::string> resolvedPath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    // realpath allocates the answer when given no buffer, so no PATH_MAX limit applies.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

}  // namespace cvl
