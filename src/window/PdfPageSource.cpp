#include "window/PdfPageSource.h"

#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfRender.h"

namespace cvl {
namespace {

class PdfPageSource : public RenderableDocument {
  public:
    explicit PdfPageSource(PdfDocument doc) : doc_(std::move(doc)) {}
    int pageCount() const override { return doc_.pageCount(); }
    double cropBoxWidth(int index) const override {
        auto box = doc_.cropBox(index);
        if (!box) return 0;
        // Pages turned a quarter are drawn as shown, so their width is the box's height.
        const int rot = doc_.rotation(index);
        return (rot == 90 || rot == 270) ? box->height() : box->width();
    }
    std::optional<std::string> renderCropBoxPNG(int index, double scale) const override {
        auto bitmap = renderPageImage(doc_, index, scale, PdfBox::crop);
        if (!bitmap) return std::nullopt;
        return encodePng(*bitmap);
    }

  private:
    PdfDocument doc_;
};

}  // namespace

std::shared_ptr<RenderableDocument> openPdfPageSource(const std::string& path) {
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked()) return nullptr;
    return std::make_shared<PdfPageSource>(std::move(*doc));
}

namespace {

class PdfPageSchemes : public PageSchemes {
  public:
    SchemeResponse pdfBytes(const std::string& url) override { return servePdfBytes(url); }
    void pageImage(unsigned long long task, const std::string& url,
                   std::function<void(SchemeResponse)> respond) override {
        images_->start(task, url, std::move(respond));
    }
    void stopPageImage(unsigned long long task) override { images_->stop(task); }

  private:
    std::shared_ptr<PageImageHandler> images_ =
        std::make_shared<PageImageHandler>(sharedPageDocumentCache(), Dispatch::global());
};

}  // namespace

std::shared_ptr<PageSchemes> makePageSchemes() {
    return std::make_shared<PdfPageSchemes>();
}

PageDocumentCache& sharedPageDocumentCache() {
    static PageDocumentCache cache(&openPdfPageSource);
    return cache;
}

}  // namespace cvl
