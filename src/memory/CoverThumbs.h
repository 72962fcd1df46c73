// Cover images for the history page: cached PNG covers of history entries, and first-page
// previews as inline JPEG.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/pdf/PdfRender.h"

namespace cvl {

namespace CoverThumbs {

inline constexpr double kTargetWidth = 240;
inline constexpr std::size_t kMaxBytes = 524288;
inline constexpr int kBackfillCap = 60;

// A page that is entirely (near-)uniform: sampled on a 40 x 40 grid, the means of red, green
// and blue of the darkest and lightest samples differ by no more than 0.05.
bool isBlank(const PdfBitmap& bitmap);

// Page 1 of the PDF at most 240 pixels wide on white, as Base64 JPEG (quality 0.72); none for
// unreadable or blank pages, degenerate boxes, or images over 512 KiB.
std::optional<std::string> pageOneJPEGBase64(const std::string& path);

}  // namespace CoverThumbs

namespace HistoryCovers {

// The working folder + "/.covers", created when asked for.
std::string coversDir();
// First 24 hex digits of SHA-256 of "<path>|<mtime>|<size>"; none when the file has no stamp.
std::optional<std::string> coverKey(const std::string& path);
// file:// URL of a path, each component percent-encoded.
std::string fileUrl(const std::string& path);

// Draws a cover as PNG bytes; none when the file has no cover. The default draws the first
// page of a PDF to fit 330 x 427 points at scale 2; other documents get none.
using Renderer = std::function<std::optional<std::string>(const std::string& path)>;
std::optional<std::string> renderPdfCover(const std::string& path);

struct Options {
    Renderer renderer;  // empty: renderPdfCover
    std::chrono::milliseconds wait{20000};
    int maxInFlight = 4;
};

// Renders the missing covers (at most 4 at once), reusing cover files that exist, then after
// at most `wait` calls `completion` on the main queue with path -> cover file URL; paths whose
// cover failed or came too late are missing. Late covers are still written for next time.
void render(const std::vector<std::string>& paths,
            std::function<void(std::map<std::string, std::string>)> completion,
            Options options = {});

// The page's argument: {"path":"url",...}
std::string coversObject(const std::map<std::string, std::string>& covers);

}  // namespace HistoryCovers

}  // namespace cvl
