#include "search/ZipArchive.h"

#include <zip.h>

namespace cvl {
namespace {

struct ZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

}  // namespace

ZipArchive::ZipArchive(const std::string& path) {
    int err = 0;
    zip_ = zip_open(path.c_str(), ZIP_RDONLY, &err);
}

ZipArchive::~ZipArchive() {
    if (zip_) zip_discard(zip_);
}

std::optional<std::string> ZipArchive::member(const std::string& name, std::size_t maxBytes) const {
    if (!zip_) return std::nullopt;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(zip_, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return std::nullopt;
    if (st.size == 0 || st.size > maxBytes) return std::nullopt;
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen(zip_, name.c_str(), 0));
    if (!file) return std::nullopt;
    std::string data(static_cast<std::size_t>(st.size), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        zip_int64_t n = zip_fread(file.get(), data.data() + got, data.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    // A damaged member (bad CRC, truncated data) yields what could be read, if anything.
    data.resize(got);
    if (data.empty()) return std::nullopt;
    return data;
}

}  // namespace cvl
