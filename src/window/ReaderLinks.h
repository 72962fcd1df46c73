// The document-link operations of a reader page: starting, finishing and cancelling a link
// between passages of two documents, showing a document's links, following them and editing
// them. The application's one LinkSession and its open readers come from WindowServices.
#pragma once

#include <string>

namespace cvl {

class ReviewWC;
class WindowServices;

namespace ReaderLinks {

bool isLinkOperation(const std::string& op);

// Performs the link operation `op` asked by `window`'s page. False when links are not part
// of this build (the window then treats the operation as unknown).
bool perform(ReviewWC& window, WindowServices& services, const std::string& op,
             const std::string& url);

}  // namespace ReaderLinks
}  // namespace cvl
