#include "memory/AnnotatedCopy.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "memory/AnnotationSidecars.h"
#include "memory/StableHash.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/SysLog.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl::AnnotatedCopy {

namespace {

long long modifiedAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : 0;
}

std::string sidecarFor(const std::string& doc, const std::string& signature) {
    return annotSidecarDir() + "/" + cvlStableHash(doc) + "__" + signature + ".pdf";
}

}  // namespace

Opening open(const std::string& doc) {
    Opening o;
    o.signature = annotSourceSig(doc).value_or("");
    if (annotSidecarExists(doc)) {
        o.copy = annotSidecarPath(doc);
        o.token = sha256HexOfFile(*o.copy).value_or("");
    }
    o.setAside = annotStaleSidecars(doc);
    std::stable_sort(
        o.setAside.begin(), o.setAside.end(),
        [](const std::string& a, const std::string& b) { return modifiedAt(a) > modifiedAt(b); });
    if (!o.copy && !o.setAside.empty())
        cvlLog("annotations: %d stale sidecar(s) for %s \u2014 serving the current document",
               static_cast<int>(o.setAside.size()), doc.c_str());
    return o;
}

Result<Saved> save(const std::string& doc, const std::string& pdfBytes, const std::string& token,
                   const std::string& signature) {
    auto parsed = PdfDocument::openBytes(pdfBytes);
    if (!parsed || parsed->isLocked() || parsed->pageCount() < 1)
        return Failure{"The annotated document could not be read back, so it was not saved."};
    const auto now = annotSourceSig(doc);
    if (!now)
        return Failure{"“" + lastPathComponent(doc) +
                       "” is not there any more; the annotations were not saved."};
    Saved saved;
    if (!signature.empty() && signature != *now) {
        // Annotations made on the earlier state belong to it: kept aside under its name.
        saved.path = sidecarFor(doc, signature);
        saved.setAside = true;
    } else {
        saved.path = annotSidecarPath(doc);
        if (isRegularFile(saved.path)) {
            if (sha256HexOfFile(saved.path).value_or("") != token) return Failure{kConflictMessage};
        }
    }
    if (auto written = writeFileAtomic(saved.path, pdfBytes); !written)
        return Failure{"The annotations could not be saved: " + written.error()};
    saved.token = sha256Hex(pdfBytes);
    return saved;
}

void follow(const std::string& oldPath, const std::string& newPath) {
    const std::string dir = annotSidecarDir();
    const std::string oldPrefix = cvlStableHash(oldPath) + "__";
    const std::string newPrefix = cvlStableHash(newPath) + "__";
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name).rfind(oldPrefix, 0) == 0) names.push_back(e->d_name);
        ::closedir(d);
    }
    // A rename keeps the file's time and size, so the current sidecar stays current.
    for (const auto& name : names) {
        const std::string to = dir + "/" + newPrefix + name.substr(oldPrefix.size());
        if (pathExists(to) || std::rename((dir + "/" + name).c_str(), to.c_str()) != 0)
            cvlLog("annotations: could not move %s to follow its document", name.c_str());
    }
}

}  // namespace cvl::AnnotatedCopy
