#include "platform/ExtendedAttributes.h"

#include <sys/xattr.h>

#include <cerrno>

namespace cvl {

std::optional<std::string> getExtendedAttribute(const std::string& path, const std::string& name) {
    // The value may change between the size query and the read; retry a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        ssize_t size = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
        if (size < 0) return std::nullopt;
        std::string value(static_cast<size_t>(size), '\0');
        ssize_t got = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<size_t>(got));
            return value;
        }
        if (errno != ERANGE) return std::nullopt;
    }
    return std::nullopt;
}

bool setExtendedAttribute(const std::string& path, const std::string& name,
                          const std::string& value) {
    return ::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
}

}  // namespace cvl
