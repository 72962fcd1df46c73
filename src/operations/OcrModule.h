// The OCR operations of pages: "readerocr" (recognise the shown document into the OCR cache,
// then search it), "readerocrlayer" (the reader's invisible text layer, with its cancel),
// "ocr" (recognise documents a search found without text), "scaninfo", "verifytext" and
// "saocr" (recognise areas of pages), the last also as a script message.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class OcrModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;
    std::vector<std::string> messages() const override;
    void handleMessage(const ScriptMessage& message) override;
};

}  // namespace cvl
