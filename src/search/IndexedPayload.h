// The search page's object for an answer of the index, built from the searches alone: the
// application and the command line's index-only search build it with the same code.
#pragma once

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "search/SearchTypes.h"

namespace cvl::SearchPayloads {

nlohmann::json docResultJson(const CVDocResult& doc);

// Runs the search for the query (true: fuzzy).
using IndexSearch = std::function<std::vector<CVDocResult>(bool fuzzy)>;

// Results of the index for the query in the mode ("fuzzy", else exact), with the fuzzy
// preview when an exact search found nothing; `scannedNoText` is the scope's PDFs that have
// no text to search.
nlohmann::json indexedPayload(const IndexSearch& search, const std::string& q,
                              const std::string& mode, const std::vector<std::string>& dirs,
                              nlohmann::json scannedNoText);

// The JSON text of a payload; none when it cannot be serialised.
std::optional<std::string> serialise(const nlohmann::json& payload);

}  // namespace cvl::SearchPayloads
