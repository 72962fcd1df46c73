// The two address schemes through which pages read PDFs that lie anywhere on disk, as the web
// view serves them: vtpdf: the bytes of a PDF file, answered at once; vtpage: one page drawn
// as a PNG image in the background, answered once, or never when its request was stopped.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cvl {

// An answer for one scheme request: a body with its headers, or an error code (1-3) in the
// scheme's own error domain.
struct SchemeResponse {
    int errorCode = 0;
    std::string contentType;
    std::string body;

    bool ok() const { return errorCode == 0; }
    // The header fields of a successful answer, in order; the origin that may read the
    // answer is named only when the request gave one (never a wildcard).
    std::vector<std::pair<std::string, std::string>> headers(const std::string& origin = "") const;
};

class PageSchemes {
  public:
    virtual ~PageSchemes() = default;
    virtual SchemeResponse pdfBytes(const std::string& url) = 0;
    // `respond` may be called on any thread.
    virtual void pageImage(unsigned long long task, const std::string& url,
                           std::function<void(SchemeResponse)> respond) = 0;
    virtual void stopPageImage(unsigned long long task) = 0;
};

// The schemes over the PDF library: one shared cache of parsed documents, pages drawn on the
// global queue.
std::shared_ptr<PageSchemes> makePageSchemes();

}  // namespace cvl
