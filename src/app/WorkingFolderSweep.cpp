#include "app/WorkingFolderSweep.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace cvl::WorkingFolderSweep {
namespace {

bool hasPrefixAndSuffix(const std::string& name, std::string_view prefix, std::string_view suffix) {
    return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
           name.ends_with(suffix);
}

}  // namespace

bool isGeneratedPageName(const std::string& name) {
    for (std::string_view page : {".welcome-", ".loading-", ".cancelled-", ".panel-", ".history-",
                                  ".vdiff-", ".compare-", ".info-", ".xcompare-", ".ask-"})
        if (hasPrefixAndSuffix(name, page, ".html")) return true;
    return false;
}

bool isGeneratedName(const std::string& name) {
    if (isGeneratedPageName(name)) return true;
    for (std::string_view exchange :
         {".topdf-", ".editprobe-", ".grid-", ".pages-", ".tl-", ".tlo-"})
        if (hasPrefixAndSuffix(name, exchange, ".json")) return true;
    return false;
}

int sweep(const std::string& folder, std::chrono::system_clock::time_point now,
          std::chrono::seconds maxAge) {
    namespace fs = std::filesystem;
    const auto cutoff = std::chrono::system_clock::to_time_t(now - maxAge);
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return 0;
    int removed = 0;
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        if (!isGeneratedName(name)) continue;
        struct stat st {};
        // lstat: a link is never followed out of the folder, and only plain files go.
        if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (st.st_mtime >= cutoff) continue;
        if (::unlink(entry.path().c_str()) == 0) ++removed;
    }
    return removed;
}

}  // namespace cvl::WorkingFolderSweep
