// The redaction tool: "redact" and "redactcurrent" open the redaction page for a PDF;
// "redactsave" builds the flattened copy from the page's boxes (handing it to the page, which
// keeps it in __cvlRedactOut and its audit in __cvlRedactAudit), and unless only a preview was
// asked, saves it: confirmation, save dialog, the audit record beside the copy, toasts.
#pragma once

#include <atomic>
#include <map>
#include <mutex>

#include "window/BridgeModule.h"

namespace cvl {

class RedactModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override {
        return {"redact", "redactcurrent", "redactsave"};
    }
    void handle(const BridgeRequest& request) override;

    // The redaction page's address for a PDF.
    static std::string pageAddress(const std::string& pdf, bool dark);

  private:
    void open(const BridgeRequest& request, const std::string& pdf);
    void build(const BridgeRequest& request);
    // The save of the copy the page holds (the fixed flow), for `regions` boxes.
    static void redactSave(const BridgeRequest& request, int regions);

    std::mutex lock_;
    std::map<std::string, long long> builds_;  // window key -> generation of its latest build
};

}  // namespace cvl
