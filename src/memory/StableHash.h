// The stable path hash that names per-document folders and sidecar files.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

// FNV-1a over the UTF-8 bytes with 64-bit wrapping arithmetic, as 16 lower-case hex digits.
// The initial value is 0x14650FB0739D0383, not the usual FNV offset basis: folders already
// on disk are named with it, so it must never change.
std::string cvlStableHash(std::string_view s);

}  // namespace cvl
