// Helpers for search tests: files written at test time, ZIP containers built with libzip,
// and modification times set by hand.
#pragma once

#include <sys/stat.h>
#include <sys/time.h>
#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileIO.h"

namespace cvl::test {

inline void writeText(const std::string& path, const std::string& data) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    (void)writeFileAtomic(path, data);
}

// A ZIP file holding the members in order.
inline bool writeZip(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& members) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return false;
    for (const auto& [name, data] : members) {
        zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
        if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(src);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

inline void setMtime(const std::string& path, std::int64_t seconds) {
    struct timeval tv[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ::utimes(path.c_str(), tv);
}

// A minimal .docx whose body is the given w:body inner XML.
inline bool writeDocx(const std::string& path, const std::string& bodyXml) {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:body>" +
        bodyXml + "</w:body></w:document>";
    return writeZip(path, {{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", doc}});
}

inline std::string para(const std::string& text) {
    return text.empty() ? "<w:p/>"
                        : "<w:p><w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>";
}

}  // namespace cvl::test
