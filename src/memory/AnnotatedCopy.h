// The reader's annotated copy of a document, kept as its annotation sidecar: which copy a
// reader opens, and saving the page's annotated PDF over it without losing another window's
// work or mixing annotations into a changed original.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl::AnnotatedCopy {

// What a reader opening `doc` shows.
struct Opening {
    std::optional<std::string> copy;    // the current sidecar, when there is one
    std::string token;                  // its content hash ("" without a copy)
    std::string signature;              // the document's state now ("" when unreadable)
    std::vector<std::string> setAside;  // sidecars of earlier states of the document, newest first
};
// Logs the stale sidecars passed over when there is no current copy (they are kept).
Opening open(const std::string& doc);

struct Saved {
    std::string path;       // where the bytes went
    std::string token;      // their content hash
    bool setAside = false;  // the original changed since the page opened it: the bytes were kept
                            // under the old state's name instead of becoming the current copy
};

// Saves the page's annotated PDF for `doc`. `token` is the copy the page started from ("" for
// the plain document) and `signature` the document's state when it opened. Fails (writing
// nothing) when the bytes are not a readable PDF, the document is gone, or another window
// saved a different copy meanwhile.
Result<Saved> save(const std::string& doc, const std::string& pdfBytes, const std::string& token,
                   const std::string& signature);

// Moves a document's sidecars (current and earlier ones) to follow it to a new path.
void follow(const std::string& oldPath, const std::string& newPath);

inline constexpr const char* kConflictMessage =
    "Annotations for this document were saved from another window. Reopen it to see them; "
    "use Save a Copy with Annotations… to keep the changes made here.";

}  // namespace cvl::AnnotatedCopy
