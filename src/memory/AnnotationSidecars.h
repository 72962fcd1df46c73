// Annotation sidecars: the annotated copy of a PDF kept in a private folder, named by the
// document's path hash and by the source file's state, so that an edit made elsewhere makes
// the old sidecar stale instead of hiding the change.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cvl {

// ~/Library/Application Support/Corvello/annotations, created when asked for.
std::string annotSidecarDir();
// "<mtime>-<size>" of the document; none when its attributes cannot be read.
std::optional<std::string> annotSourceSig(const std::string& docPath);
// folder + "/" + cvlStableHash(doc) + "__" + (signature or "nosrc") + ".pdf"
std::string annotSidecarPath(const std::string& docPath);
// True when the document has a signature and its sidecar file exists.
bool annotSidecarExists(const std::string& docPath);
// Full paths of the document's sidecars that do not carry its present signature.
std::vector<std::string> annotStaleSidecars(const std::string& docPath);

// What the reader opens for a document: its current sidecar when there is one, else the
// document itself (logging the stale sidecars it passes over, which are kept).
std::string annotFileToServe(const std::string& docPath);

}  // namespace cvl
