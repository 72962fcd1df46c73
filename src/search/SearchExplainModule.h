// Search results explained and compared: "xexplain" tells the page why a document matched
// (cvlExplain); "xcompare" opens a page with two results side by side, each with its matches
// marked on its pages. Both take the documents from the asking window's scope only.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include "window/BridgeModule.h"

namespace cvl {

class SearchExplainModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {"xcompare", "xexplain"}; }
    void handle(const BridgeRequest& request) override;
};

namespace SearchCompare {
// One side of the comparison: the explanation, and for PDFs the page count, the exact hits with
// their rectangles and the crop box of each page that has one; `startPage` (1-based, 0 for the
// first hit) is where the side opens.
nlohmann::json side(const std::string& path, const std::string& q, const std::string& mode,
                    int startPage);
// Writes the comparison page (".xcompare-<UUID>.html" in the working folder).
std::string writePage(const nlohmann::json& data, bool dark);
}  // namespace SearchCompare

}  // namespace cvl
