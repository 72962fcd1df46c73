#include "window/SchemeHandlers.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/FileIO.h"
#include "platform/TextEscape.h"

namespace cvl {
namespace {

std::optional<long long> modificationTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

// A decimal integer with an optional sign and nothing else.
std::optional<long long> decimal(const std::string& text) {
    if (text.empty()) return std::nullopt;
    size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10);
}

SchemeResponse failure(int code) {
    SchemeResponse r;
    r.errorCode = code;
    return r;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SchemeResponse::headers(
    const std::string& origin) const {
    std::vector<std::pair<std::string, std::string>> out = {
        {"Content-Type", contentType},
        {"Content-Length", std::to_string(body.size())},
        {"Cache-Control", "no-store"}};
    if (!origin.empty()) out.emplace_back("Access-Control-Allow-Origin", origin);
    return out;
}

PageDocumentCache::PageDocumentCache(DocumentOpener opener) : opener_(std::move(opener)) {}

std::shared_ptr<RenderableDocument> PageDocumentCache::document(const std::string& path) {
    std::lock_guard guard(lock_);
    const auto mtime = modificationTime(path);
    if (auto it = entries_.find(path); it != entries_.end() && mtime && it->second.mtime == *mtime)
        return it->second.doc;
    auto doc = opener_(path);
    if (!doc) return nullptr;
    if (entries_.size() > kCapacity - 1) entries_.clear();
    const long long stamp = mtime ? *mtime
                                  : std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count();
    entries_[path] = Entry{stamp, doc};
    return doc;
}

size_t PageDocumentCache::size() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

bool PageDocumentCache::holds(const std::string& path) const {
    std::lock_guard guard(lock_);
    return entries_.count(path) != 0;
}

SchemeResponse servePdfBytes(const std::string& url) {
    auto path = urlQuery(url, "p");
    if (!path || path->empty()) return failure(1);
    auto bytes = readFile(*path);
    if (!bytes) return failure(1);
    SchemeResponse r;
    r.contentType = "application/pdf";
    r.body = std::move(*bytes);
    return r;
}

std::optional<PageImageRequest> parsePageImageRequest(const std::string& url) {
    auto path = urlQuery(url, "p");
    if (!path || path->empty()) return std::nullopt;
    PageImageRequest req;
    req.path = *path;
    if (auto i = urlQuery(url, "i")) {
        auto n = decimal(*i);
        // An index that is not a number can name no page.
        req.index = n ? static_cast<int>(std::clamp<long long>(*n, -1, 1LL << 30)) : -1;
    }
    if (auto w = urlQuery(url, "w")) {
        if (auto n = decimal(*w))
            req.width = static_cast<int>(std::clamp<long long>(*n, -1, 1 << 20));
    }
    return req;
}

double pageImageScale(double boxWidth, int width) {
    double scale = boxWidth > 0 ? width / boxWidth : 2.0;
    return std::max(scale, 0.1);
}

PageImageHandler::PageImageHandler(PageDocumentCache& cache, Dispatch::Queue& queue)
    : cache_(cache), queue_(queue) {}

void PageImageHandler::start(unsigned long long task, const std::string& url, Respond respond) {
    auto req = parsePageImageRequest(url);
    if (!req) {
        respond(failure(1));
        return;
    }
    std::weak_ptr<PageImageHandler> weak = weak_from_this();
    queue_.async([weak, task, req = *req, respond = std::move(respond)] {
        auto self = weak.lock();
        if (!self) return;
        auto doc = self->cache_.document(req.path);
        if (self->stopped(task)) return;
        if (!doc || req.index < 0 || req.index >= doc->pageCount()) {
            respond(failure(2));
            return;
        }
        const double scale = pageImageScale(doc->cropBoxWidth(req.index), req.width);
        auto png = doc->renderCropBoxPNG(req.index, scale);
        if (self->stopped(task)) return;
        if (!png) {
            respond(failure(3));
            return;
        }
        SchemeResponse r;
        r.contentType = "image/png";
        r.body = std::move(*png);
        respond(std::move(r));
        self->finished(task);
    });
}

void PageImageHandler::stop(unsigned long long task) {
    std::lock_guard guard(lock_);
    stopped_.insert(task);
}

void PageImageHandler::finished(unsigned long long task) {
    std::lock_guard guard(lock_);
    stopped_.erase(task);
}

bool PageImageHandler::stopped(unsigned long long task) {
    std::lock_guard guard(lock_);
    return stopped_.count(task) != 0;
}

}  // namespace cvl
