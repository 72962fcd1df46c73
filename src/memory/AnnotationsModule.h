// The reader's annotations: which copy it opens ("annotsource", answered with cvlAnnotSource),
// the autosave into the document's annotated copy ("autosaveannot", __cvlAutosaveB), "Save a
// Copy with Annotations…" ("saveannot"), "Export Notes" ("exportannots", cvlNotesToast) and
// images placed on pages ("editimage", cvlImageImportNative). The page hands its annotated
// PDF over as Base64 in window.__cvlAutosaveB64 and window.__cvlAnnotB64.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class AnnotationsModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    void source(const BridgeRequest& request);
    void autosave(const BridgeRequest& request);
    void saveCopy(const BridgeRequest& request);
    void exportNotes(const BridgeRequest& request);
    void importImage(const BridgeRequest& request);
};

namespace AnnotationsPage {
inline constexpr const char* kAutosaveBytes = "window.__cvlAutosaveB64 || ''";
// The proposed name of the exported annotated PDF: "Report (annotated).pdf".
std::string annotatedCopyName(const std::string& docPath);
// The kind of image the bytes hold ("image/png", "image/jpeg", "image/gif", "image/webp",
// "image/bmp", "image/svg+xml"), or "" when they are none the reader can place.
std::string imageType(const std::string& bytes);
inline constexpr std::size_t kMaxImageBytes = 40u << 20;
}  // namespace AnnotationsPage

}  // namespace cvl
