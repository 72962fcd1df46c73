// Page operations on working copies, and all-or-nothing publishing of new files.
#include "pagecmd/PageTools.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/SysLog.h"
#include "platform/pdf/PdfRender.h"

namespace cvl::PageTools {

namespace fs = std::filesystem;

Payload Payload::data(std::string bytes) {
    Payload p;
    p.kind = Kind::data;
    p.bytes = std::move(bytes);
    return p;
}

Payload Payload::pdf(PdfDocument document) {
    Payload p;
    p.kind = Kind::pdf;
    p.document = std::move(document);
    return p;
}

Payload Payload::lazyPDF(std::function<std::optional<PdfDocument>()> producer) {
    Payload p;
    p.kind = Kind::lazyPDF;
    p.makeDocument = std::move(producer);
    return p;
}

Payload Payload::lazyData(std::function<std::optional<std::string>()> producer) {
    Payload p;
    p.kind = Kind::lazyData;
    p.makeData = std::move(producer);
    return p;
}

NewItem NewItem::file(std::string path, Payload payload) {
    NewItem item;
    item.kind = Kind::file;
    item.path = std::move(path);
    item.payload = std::move(payload);
    return item;
}

NewItem NewItem::folder(std::string path, std::vector<NamedPayload> parts) {
    NewItem item;
    item.kind = Kind::folder;
    item.path = std::move(path);
    item.parts = std::move(parts);
    return item;
}

namespace {

bool allValid(const PdfDocument& doc, const std::vector<int>& pages) {
    int n = doc.pageCount();
    return std::all_of(pages.begin(), pages.end(), [n](int i) { return i >= 0 && i < n; });
}

std::vector<int> identity(int n) {
    std::vector<int> order(size_t(std::max(n, 0)));
    std::iota(order.begin(), order.end(), 0);
    return order;
}

}  // namespace

// ---- document operations ----

std::optional<PdfDocument> working(const PdfDocument& doc) {
    if (doc.isLocked()) return std::nullopt;
    auto copy = doc.workingCopy();
    if (!copy || copy->isLocked()) return std::nullopt;
    return copy;
}

bool arrange(PdfDocument& doc, const std::vector<int>& order) {
    if (order.empty() || !allValid(doc, order)) return false;
    return doc.arrangePages(order) && doc.pruneNavigation() >= 0;
}

bool prune(PdfDocument& doc) {
    return doc.pruneNavigation() >= 0;
}

std::optional<PdfDocument> rotate(const PdfDocument& doc, const std::set<int>& pages, int degrees) {
    if (pages.empty() || degrees % 90 != 0) return std::nullopt;
    auto copy = working(doc);
    if (!copy || !allValid(*copy, {pages.begin(), pages.end()})) return std::nullopt;
    for (int i : pages) {
        int turned = ((copy->rotation(i) + degrees) % 360 + 360) % 360;
        if (!copy->setRotation(i, turned)) return std::nullopt;
    }
    return copy;
}

std::optional<PdfDocument> deletePages(const PdfDocument& doc, const std::set<int>& pages) {
    int n = doc.pageCount();
    if (pages.empty() || !allValid(doc, {pages.begin(), pages.end()}) || int(pages.size()) >= n)
        return std::nullopt;
    std::vector<int> keep;
    for (int i = 0; i < n; ++i)
        if (!pages.count(i)) keep.push_back(i);
    return extract(doc, keep);
}

std::optional<PdfDocument> extract(const PdfDocument& doc, const std::vector<int>& order) {
    auto copy = working(doc);
    if (!copy || !arrange(*copy, order)) return std::nullopt;
    return copy;
}

std::optional<PdfDocument> reorder(const PdfDocument& doc, const std::vector<int>& order) {
    int n = doc.pageCount();
    if (int(order.size()) != n) return std::nullopt;
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    if (sorted != identity(n)) return std::nullopt;
    return extract(doc, order);
}

std::optional<PdfDocument> move(const PdfDocument& doc, int from, int to) {
    int n = doc.pageCount();
    if (from < 0 || from >= n || to < 0 || to >= n) return std::nullopt;
    std::vector<int> order = identity(n);
    order.erase(order.begin() + from);
    order.insert(order.begin() + to, from);
    return extract(doc, order);
}

std::optional<PdfDocument> duplicate(const PdfDocument& doc, int page) {
    int n = doc.pageCount();
    if (page < 0 || page >= n) return std::nullopt;
    std::vector<int> order = identity(n);
    order.insert(order.begin() + page + 1, page);
    return extract(doc, order);
}

std::optional<PdfDocument> insertBlank(const PdfDocument& doc, int at) {
    auto copy = working(doc);
    if (!copy) return std::nullopt;
    int n = copy->pageCount();
    int p = std::clamp(at, 0, n);
    PdfRect box{0, 0, 612, 792};
    if (n > 0) {
        int from = p < 2 ? 0 : std::min(n - 1, p - 1);
        box = copy->mediaBox(from).value_or(box);
    }
    if (!copy->insertBlankPage(p, box)) return std::nullopt;
    return copy;
}

std::optional<PdfDocument> insertDocument(const PdfDocument& doc, const PdfDocument& other,
                                          int at) {
    auto copy = working(doc);
    auto from = working(other);
    if (!copy || !from || from->pageCount() < 1) return std::nullopt;
    if (!copy->insertPagesFrom(*from, std::clamp(at, 0, copy->pageCount()))) return std::nullopt;
    if (!prune(*copy)) return std::nullopt;
    return copy;
}

std::optional<PdfDocument> merge(const std::vector<PdfDocument>& docs) {
    if (docs.empty()) return std::nullopt;
    auto result = working(docs.front());
    if (!result) return std::nullopt;
    for (size_t i = 1; i < docs.size(); ++i) {
        auto other = working(docs[i]);
        if (!other || other->pageCount() < 1) return std::nullopt;
        if (!result->insertPagesFrom(*other, result->pageCount())) return std::nullopt;
    }
    if (!prune(*result)) return std::nullopt;
    return result;
}

std::optional<PdfDocument> part(const std::string& bytes, const std::vector<int>& pages) {
    auto opened = PdfDocument::openBytes(bytes);
    if (!opened || opened->isLocked()) return std::nullopt;
    PdfDocument doc = opened.value();
    if (!arrange(doc, pages)) return std::nullopt;
    return doc;
}

std::optional<PdfDocument> part(const PdfDocument& source, const std::vector<int>& pages) {
    if (pages.empty() || source.isLocked() || !allValid(source, pages)) return std::nullopt;
    PdfDocument doc;
    if (!doc.insertPagesFrom(source, 0, pages) || !prune(doc)) return std::nullopt;
    return doc;
}

std::vector<PdfDocument> split(const PdfDocument& doc, const std::vector<int>& after) {
    int n = doc.pageCount();
    if (n < 2 || doc.isLocked()) return {};
    std::vector<int> points = after;
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    for (int a : points)
        if (a < 1 || a >= n) return {};
    std::vector<PdfDocument> parts;
    int start = 0;
    points.push_back(n);
    for (int end : points) {
        std::vector<int> range;
        for (int i = start; i < end; ++i) range.push_back(i);
        auto piece = part(doc, range);
        if (!piece) return {};
        parts.push_back(std::move(*piece));
        start = end;
    }
    return parts;
}

std::optional<CompressResult> compress(const std::string& bytes, double minSaving) {
    if (bytes.empty()) return std::nullopt;
    auto opened = PdfDocument::openBytes(bytes);
    if (!opened || opened->isLocked()) return std::nullopt;
    PdfDocument doc = opened.value();
    if (doc.recompressImages({}) < 0) return std::nullopt;
    auto smaller = doc.save(PdfSaveOptions{true, true, true, {}, {}});
    if (!smaller) return std::nullopt;
    if (double(smaller->size()) > (1.0 - minSaving) * double(bytes.size())) return std::nullopt;
    CompressResult result;
    result.before = bytes.size();
    result.after = smaller->size();
    result.bytes = std::move(*smaller);
    return result;
}

std::optional<std::string> compress(const PdfDocument& doc, double minSaving) {
    auto bytes = doc.save(PdfSaveOptions{false, false, false, {}, {}});
    if (!bytes) return std::nullopt;
    auto result = compress(*bytes, minSaving);
    if (!result) return std::nullopt;
    return std::move(result->bytes);
}

std::optional<std::string> compressFileAt(const std::string& path, double minSaving) {
    auto bytes = readFile(path);
    if (!bytes) return std::nullopt;
    auto result = compress(*bytes, minSaving);
    if (!result) return std::nullopt;
    return std::move(result->bytes);
}

std::optional<std::vector<std::string>> pageImages(const PdfDocument& doc,
                                                   const std::vector<int>& pages, double dpi,
                                                   bool jpeg) {
    if (!allValid(doc, pages) || !(dpi > 0)) return std::nullopt;
    std::vector<std::string> images;
    for (int i : pages) {
        auto bitmap = renderPageImage(doc, i, dpi / 72.0, PdfBox::crop);
        if (!bitmap) return std::nullopt;
        auto encoded = jpeg ? encodeJpeg(*bitmap, 90) : encodePng(*bitmap);
        if (!encoded) return std::nullopt;
        images.push_back(std::move(*encoded));
    }
    return images;
}

PdfDocument imagesToPDF(const std::vector<std::string>& imagePaths) {
    PdfDocument doc;
    for (const auto& path : imagePaths)
        if (auto bytes = readFile(path)) doc.insertImagePage(doc.pageCount(), *bytes);
    return doc;
}

// ---- file operations ----

std::string newFileBeside(const std::string& path, const std::string& suffix,
                          const std::string& ext) {
    fs::path source(path);
    fs::path folder = source.parent_path();
    std::string stem = source.stem().string();
    for (int n = 1;; ++n) {
        std::string name = stem + " " + suffix + (n >= 2 ? " " + std::to_string(n) : "");
        if (!ext.empty()) name += "." + ext;
        std::string candidate = (folder / name).string();
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0 && errno == ENOENT) return candidate;
    }
}

namespace {

// Writes a new file; with `sync` false the kernel is only asked to start writing it back, and
// the caller flushes it later (many parts are then flushed together instead of one by one).
bool writeNewFile(const std::string& data, const std::string& path, bool sync) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        ssize_t wrote = ::write(fd, data.data() + done, data.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0)
            ok = false;
        else
            done += size_t(wrote);
    }
    if (ok && sync && ::fsync(fd) != 0) ok = false;
    if (ok && !sync) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (::close(fd) != 0) ok = false;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

bool flushFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// Makes the parts durable: one file-system flush for many parts, file by file for a few.
bool flushParts(const std::string& folder, const std::vector<NamedPayload>& parts) {
    if (parts.size() > 8) {
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = ::syncfs(fd) == 0;
        return ::close(fd) == 0 && ok;
    }
    for (const auto& part : parts)
        if (!flushFile(folder + "/" + part.name)) return false;
    return true;
}

}  // namespace

bool writeNew(const std::string& data, const std::string& path) {
    return writeNewFile(data, path, true);
}

namespace {

// A written PDF is published only when it opens again, unlocked, with its pages.
bool readsBack(const std::string& bytes, int pages) {
    if (pages < 1) return false;
    auto again = PdfDocument::openBytes(bytes);
    if (!again || again->isLocked() || again->pageCount() != pages) {
        cvlLog("pagetools: a new PDF did not read back with its %d pages", pages);
        return false;
    }
    return true;
}

bool writePayload(const Payload& payload, const std::string& path, bool sync) {
    switch (payload.kind) {
        case Payload::Kind::data:
            return writeNewFile(payload.bytes, path, sync);
        case Payload::Kind::lazyData: {
            auto bytes = payload.makeData ? payload.makeData() : std::nullopt;
            return bytes && writeNewFile(*bytes, path, sync);
        }
        case Payload::Kind::pdf:
        case Payload::Kind::lazyPDF: {
            std::optional<PdfDocument> doc =
                payload.kind == Payload::Kind::pdf
                    ? payload.document
                    : (payload.makeDocument ? payload.makeDocument() : std::nullopt);
            if (!doc) return false;
            auto bytes = doc->save();
            return bytes && readsBack(*bytes, doc->pageCount()) &&
                   writeNewFile(*bytes, path, sync) && pathExists(path);
        }
    }
    return false;
}

bool safePartName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Moves `from` to `to` unless `to` exists; errno EEXIST when it does.
bool renameNoReplace(const std::string& from, const std::string& to, bool isFolder) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the exclusive rename: a hard link is exclusive for files.
    if (!isFolder) {
        if (::link(from.c_str(), to.c_str()) != 0) return false;
        ::unlink(from.c_str());
        return true;
    }
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A run's staging folder. The run holds an exclusive lock on it while it lives, so a sweep
// can tell a folder in use from one whose run was killed (the kernel drops the lock then).
struct StagingFolder {
    std::string path;
    int lockFd = -1;
    bool create(const std::string& at) {
        if (::mkdir(at.c_str(), 0700) != 0) return false;
        path = at;
        lockFd = ::open(at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lockFd >= 0) ::flock(lockFd, LOCK_EX | LOCK_NB);
        return true;
    }
    ~StagingFolder() {
        if (path.empty()) return;
        std::error_code ec;
        fs::remove_all(path, ec);
        if (lockFd >= 0) ::close(lockFd);
    }
};

// ".cvl-stage-" followed by a UUID, as publishNew names its staging folders.
bool isStagingName(const std::string& name) {
    static const std::string prefix = ".cvl-stage-";
    if (name.size() != prefix.size() + 36 || name.rfind(prefix, 0) != 0) return false;
    for (size_t i = 0; i < 36; ++i) {
        const char c = name[prefix.size() + i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// Whether no live run holds the staging folder: its lock can be taken, or, on a file system
// without locks, it has been left untouched for a day.
bool abandoned(const fs::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const int rc = ::flock(fd, LOCK_EX | LOCK_NB);
    const int err = errno;
    ::close(fd);
    if (rc == 0) return true;
    if (err == EWOULDBLOCK) return false;
    std::error_code ec;
    const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
    const auto touched = fs::last_write_time(dir, ec);
    return !ec && touched < dayAgo;
}

// Staging folders left by a run that was killed: ours by name and content (nothing but the
// "out" item a run writes) and held by no live run. Links are never followed.
void sweepStaleStaging(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!isStagingName(name) || it->is_symlink(ec) || !it->is_directory(ec)) continue;
        bool ours = true;
        std::error_code inner;
        for (const auto& entry : fs::directory_iterator(it->path(), inner))
            ours = ours && entry.path().filename() == "out" && !entry.is_symlink();
        if (ours && !inner && abandoned(it->path())) fs::remove_all(it->path(), inner);
    }
}

}  // namespace

Result<std::string> publishNew(const NewItem& item) {
    const std::string unchanged = " Your original is unchanged.";
    std::string folder = fs::path(item.path).parent_path().string();
    if (folder.empty()) folder = ".";
    sweepStaleStaging(folder);
    StagingFolder stage;
    std::string stagePath = folder + "/.cvl-stage-" + newUuid();
    if (!stage.create(stagePath))
        return Failure{"Corvello can\u2019t write in that folder." + unchanged};
    std::string out = stagePath + "/out";

    if (item.kind == NewItem::Kind::file) {
        if (!writePayload(item.payload, out, true))
            return Failure{"Corvello couldn\u2019t write the new file." + unchanged};
    } else {
        if (::mkdir(out.c_str(), 0755) != 0)
            return Failure{"Corvello couldn\u2019t make the new folder." + unchanged};
        for (const auto& part : item.parts) {
            if (!safePartName(part.name) ||
                !writePayload(part.payload, out + "/" + part.name, false))
                return Failure{"Corvello couldn\u2019t write every part, so nothing was kept." +
                               unchanged};
        }
        if (!flushParts(out, item.parts))
            return Failure{"Corvello couldn\u2019t write every part, so nothing was kept." +
                           unchanged};
    }

    if (!renameNoReplace(out, item.path, item.kind == NewItem::Kind::folder)) {
        int err = errno;
        if (err == EEXIST || err == ENOTEMPTY)
            return Failure{"A file with the planned name appeared, so nothing was done."};
        cvlLog("pagetools: cannot move the new item into place: %s", std::strerror(err));
        return Failure{"Corvello couldn\u2019t put the new file in place." + unchanged};
    }
    syncFolder(folder);
    return item.path;
}

}  // namespace cvl::PageTools
