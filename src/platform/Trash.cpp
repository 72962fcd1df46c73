#include "platform/Trash.h"

#include <gio/gio.h>

#include <memory>

namespace cvl::Trash {
namespace {

struct GObjectFree {
    void operator()(void* p) const { g_object_unref(p); }
};
struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};

}  // namespace

Status moveToTrash(const std::string& path) {
    std::unique_ptr<GFile, GObjectFree> file(g_file_new_for_path(path.c_str()));
    GError* raw = nullptr;
    // g_file_trash never falls back to deleting: without a usable trash it fails with
    // G_IO_ERROR_NOT_SUPPORTED and leaves the item alone.
    if (g_file_trash(file.get(), nullptr, &raw)) return success();
    std::unique_ptr<GError, GErrorFree> error(raw);
    std::string why = error ? error->message : "unknown error";
    return Failure{why};
}

}  // namespace cvl::Trash
