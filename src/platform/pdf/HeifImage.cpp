#include "platform/pdf/HeifImage.h"

#include <cstring>
#include <memory>

#include "platform/SysLog.h"

#ifdef CVL_HAVE_HEIF
#include <libheif/heif.h>
#endif

namespace cvl::pdf {

#ifdef CVL_HAVE_HEIF

namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(const heif_image* i) const { heif_image_release(i); }
};

}  // namespace

bool heifAvailable() {
    return heif_have_decoder_for_format(heif_compression_HEVC) != 0;
}

std::optional<PdfBitmap> decodeHeif(std::string_view bytes) {
    if (!heifAvailable() || bytes.empty()) return std::nullopt;
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) return std::nullopt;
    heif_error err = heif_context_read_from_memory_without_copy(context.get(), bytes.data(),
                                                                bytes.size(), nullptr);
    if (err.code != heif_error_Ok) {
        cvlLog("heif: cannot read: %s", err.message);
        return std::nullopt;
    }
    heif_image_handle* rawHandle = nullptr;
    err = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    std::unique_ptr<const heif_image_handle, HandleRelease> handle(rawHandle);
    if (err.code != heif_error_Ok || !handle) return std::nullopt;
    heif_image* rawImage = nullptr;
    err = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                            heif_chroma_interleaved_RGB, nullptr);
    std::unique_ptr<const heif_image, ImageRelease> image(rawImage);
    if (err.code != heif_error_Ok || !image) {
        cvlLog("heif: cannot decode: %s", err.message);
        return std::nullopt;
    }
    int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (w <= 0 || h <= 0 || !plane || stride < w * 3) return std::nullopt;
    if (double(w) * double(h) >= kMaxRenderPixels) return std::nullopt;
    PdfBitmap bitmap;
    bitmap.width = w;
    bitmap.height = h;
    bitmap.pixels.resize(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        std::memcpy(bitmap.pixels.data() + size_t(y) * size_t(w) * 3,
                    plane + size_t(y) * size_t(stride), size_t(w) * 3);
    return bitmap;
}

#else

bool heifAvailable() {
    return false;
}

std::optional<PdfBitmap> decodeHeif(std::string_view) {
    return std::nullopt;
}

#endif

}  // namespace cvl::pdf
