// Printing the reader's document ("printdoc"): the page hands over the document as it shows
// it (window.__cvlPrintB64, annotations included; the file on disk when it has no changes),
// and the desktop's print dialog prints it. The outcome reaches the page as __cvlPrintB and a
// toast.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class PrintModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {"printdoc"}; }
    void handle(const BridgeRequest& request) override;
};

namespace PrintFlow {
inline constexpr const char* kPageBytes = "window.__cvlPrintB64 || ''";
// The bytes to print when the page gives none: the document's annotated copy when it has a
// current one, else the PDF the window shows.
std::string fileToPrint(const WindowSnapshot& window);
// The toast for an outcome; "" for a cancelled dialog.
std::string outcomeText(const PrintOutcome& outcome);
}  // namespace PrintFlow

}  // namespace cvl
