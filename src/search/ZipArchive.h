// Read-only access to the members of a ZIP container (libzip), without unpacking to disk.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

struct zip;

namespace cvl {

class ZipArchive {
  public:
    // Opens the container read-only; isOpen() is false when it is not a readable ZIP.
    explicit ZipArchive(const std::string& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool isOpen() const { return zip_ != nullptr; }
    // The member's bytes; none when it is missing, empty, damaged or larger than maxBytes.
    std::optional<std::string> member(const std::string& name,
                                      std::size_t maxBytes = 256u << 20) const;

  private:
    ::zip* zip_ = nullptr;
};

}  // namespace cvl
