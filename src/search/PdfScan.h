// The direct scan: a case-insensitive scan of PDF page text (text layer, or OCR text from
// the cache) over folders and files, needing no index, with highlight rectangles.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace cvl::PdfScan {

constexpr int kMaxPdfs = 4000;
constexpr int kMaxDocsWithHits = 300;
constexpr int kHitsPerDoc = 40;
constexpr int kMaxCountPerDoc = 5001;
constexpr int kEarlyStopCount = 160;
constexpr int kMaxNoText = 300;

// The scan result object: q, docs, docCount, hitCount, scanned, truncated, scope,
// scopeCount, scannedNoText, ocrUsed and, for queries under two characters, note.
nlohmann::json runPDFSearch(const std::string& q, const std::vector<std::string>& dirs,
                            const std::vector<std::string>& explicitFiles);

}  // namespace cvl::PdfScan
