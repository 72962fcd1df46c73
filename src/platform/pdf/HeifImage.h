// HEIC decoding through libheif, in builds that have it. Internal to platform/pdf.
#pragma once

#include <optional>
#include <string_view>

#include "platform/pdf/PdfRender.h"

namespace cvl::pdf {

// Whether this build links libheif and libheif has an HEVC decoder.
bool heifAvailable();

// The primary image of an HEIC file as upright RGB (rotation and mirroring applied); none when
// it cannot be decoded.
std::optional<PdfBitmap> decodeHeif(std::string_view bytes);

}  // namespace cvl::pdf
