#include "memory/AnnotationSidecars.h"

#include <dirent.h>

#include <algorithm>

#include "memory/FileStamp.h"
#include "memory/StableHash.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"

namespace cvl {

std::string annotSidecarDir() {
    std::string dir = UserDirs::expandTilde("~/Library/Application Support/Corvello/annotations");
    makeDirs(dir);
    return dir;
}

std::optional<std::string> annotSourceSig(const std::string& docPath) {
    auto stamp = fileStamp(docPath);
    if (!stamp) return std::nullopt;
    return stamp->text();
}

std::string annotSidecarPath(const std::string& docPath) {
    return annotSidecarDir() + "/" + cvlStableHash(docPath) + "__" +
           annotSourceSig(docPath).value_or("nosrc") + ".pdf";
}

bool annotSidecarExists(const std::string& docPath) {
    return annotSourceSig(docPath) && isRegularFile(annotSidecarPath(docPath));
}

std::vector<std::string> annotStaleSidecars(const std::string& docPath) {
    std::string dir = annotSidecarDir();
    std::string prefix = cvlStableHash(docPath) + "__";
    std::string current = prefix + annotSourceSig(docPath).value_or("nosrc") + ".pdf";
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name.rfind(prefix, 0) == 0 && name != current) out.push_back(dir + "/" + name);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

std::string annotFileToServe(const std::string& docPath) {
    if (annotSidecarExists(docPath)) return annotSidecarPath(docPath);
    auto stale = annotStaleSidecars(docPath);
    if (!stale.empty())
        cvlLog("annotations: %d stale sidecar(s) for %s \u2014 serving the current document",
               static_cast<int>(stale.size()), docPath.c_str());
    return docPath;
}

}  // namespace cvl
