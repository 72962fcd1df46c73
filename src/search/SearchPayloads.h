// The objects a search page receives: the index payload, the direct-scan payload converted
// from a scan result, and the guarded page calls that carry them.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "search/IndexedPayload.h"

namespace cvl {
class CVSearchIndex;
struct CVDocResult;

namespace SearchPayloads {

// Results of the index for the query in the mode ("fuzzy", else exact), with the fuzzy
// preview when an exact search found nothing.
nlohmann::json indexedSearchPayload(const CVSearchIndex& index, const std::string& q,
                                    const std::string& mode, const std::vector<std::string>& dirs,
                                    const std::vector<std::string>& explicitFiles);

// A direct-scan result as a cross-folder payload.
nlohmann::json scanPayload(const nlohmann::json& scan, const std::string& q,
                           const std::string& mode, bool indexing);

}  // namespace SearchPayloads
}  // namespace cvl
