// The page-image scheme's documents, opened and drawn with the PDF layer.
#pragma once

#include <memory>
#include <string>

#include "window/SchemeHandlers.h"

namespace cvl {

// Opens `path` as a drawable document; null when it is not a PDF that can be opened or it
// is locked.
std::shared_ptr<RenderableDocument> openPdfPageSource(const std::string& path);

// The process-wide document cache of the page-image scheme.
PageDocumentCache& sharedPageDocumentCache();

}  // namespace cvl
