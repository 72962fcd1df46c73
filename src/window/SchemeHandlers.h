// The two address schemes through which pages read PDFs that lie anywhere on disk:
// vtpdf: the bytes of a PDF file, vtpage: one page rendered as a PNG image.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Dispatch.h"
#include "window/PageSchemes.h"

namespace cvl {

// A document the page-image scheme can draw. The PDF layer provides it.
class RenderableDocument {
  public:
    virtual ~RenderableDocument() = default;
    virtual int pageCount() const = 0;
    virtual double cropBoxWidth(int index) const = 0;
    // The page's crop box at `scale`, as PNG bytes; nothing when it cannot be drawn.
    virtual std::optional<std::string> renderCropBoxPNG(int index, double scale) const = 0;
};

using DocumentOpener = std::function<std::shared_ptr<RenderableDocument>(const std::string& path)>;

// Parsed documents by path and modification time, at most seven. One lock covers lookups and
// parses, so concurrent requests for one new file parse it once.
class PageDocumentCache {
  public:
    static constexpr size_t kCapacity = 7;
    explicit PageDocumentCache(DocumentOpener opener);

    std::shared_ptr<RenderableDocument> document(const std::string& path);
    size_t size() const;
    bool holds(const std::string& path) const;

  private:
    struct Entry {
        long long mtime;
        std::shared_ptr<RenderableDocument> doc;
    };
    DocumentOpener opener_;
    mutable std::mutex lock_;
    std::map<std::string, Entry> entries_;
};

// vtpdf: answered at once on the calling (main) thread.
SchemeResponse servePdfBytes(const std::string& url);

// The page-image parameters of a vtpage address.
struct PageImageRequest {
    std::string path;
    int index = 0;
    int width = 1200;
};
std::optional<PageImageRequest> parsePageImageRequest(const std::string& url);
// Render scale for a crop box of `boxWidth` points drawn `width` pixels wide.
double pageImageScale(double boxWidth, int width);

// vtpage: requests are rendered on `queue`; a request stopped before its answer is ready
// gets no answer at all.
class PageImageHandler : public std::enable_shared_from_this<PageImageHandler> {
  public:
    using Respond = std::function<void(SchemeResponse)>;
    PageImageHandler(PageDocumentCache& cache, Dispatch::Queue& queue);

    void start(unsigned long long task, const std::string& url, Respond respond);
    void stop(unsigned long long task);

  private:
    bool stopped(unsigned long long task);
    void finished(unsigned long long task);

    PageDocumentCache& cache_;
    Dispatch::Queue& queue_;
    std::mutex lock_;
    std::set<unsigned long long> stopped_;
};

}  // namespace cvl
