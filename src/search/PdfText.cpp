#include "search/PdfText.h"

#include "platform/pdf/PdfDocument.h"
#include "search/UnicodeText.h"

namespace cvl {
namespace {

class LayerDocument : public PdfTextDocument {
  public:
    explicit LayerDocument(PdfDocument doc) : doc_(std::move(doc)) {}

    int pageCount() const override { return doc_.pageCount(); }

    std::string pageText(int index) override {
        return UnicodeText::sanitizeUtf8(doc_.pageText(index).value_or(std::string()));
    }

    std::string pageLabel(int index) override { return doc_.pageLabel(index); }

    std::vector<PdfTextRect> rangeRects(int index, std::size_t begin, std::size_t end) override {
        // Boxes are read only for pages with hits, and once per page.
        if (boxesPage_ != index) {
            boxes_ = doc_.pageTextWithBoxes(index);
            boxesPage_ = index;
        }
        std::vector<PdfTextRect> out;
        if (!boxes_) return out;
        for (const PdfRect& r : boxes_->rectsForRange(begin, end))
            out.push_back({r.x0, r.y0, r.width(), r.height()});
        return out;
    }

  private:
    PdfDocument doc_;
    std::optional<PdfPageText> boxes_;
    int boxesPage_ = -1;
};

}  // namespace

std::unique_ptr<PdfTextDocument> openPdfText(const std::string& path) {
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked()) return nullptr;
    return std::make_unique<LayerDocument>(std::move(doc.value()));
}

}  // namespace cvl
