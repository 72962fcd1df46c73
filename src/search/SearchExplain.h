// Why a document matched a search, and two results side by side: the query's words found in
// the document (how often, where, exactly or only approximately by shared letter triples).
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "search/SearchTypes.h"

namespace cvl::SearchExplain {

inline constexpr int kMaxPlaces = 12;

// {"path", "name", "q", "mode", "exact" (the query occurs as typed, ignoring case),
//  "count" (its occurrences), "places": [{"anchor", "atype", "page", "snippet", "match",
//  "fuzzy", "score"?}], "words": [{"word", "count", "near"?, "nearScore"?, "where"?}],
//  "trigrams": {"shared", "total"}, "summary"}
// The places are the exact occurrences (at most kMaxPlaces); without one, the best
// approximate windows by score.
nlohmann::json explain(const std::string& path, const std::string& q, const std::string& mode,
                       const std::vector<SearchChunk>& chunks);
// The same for a file, reading it the way the index does.
nlohmann::json explainFile(const std::string& path, const std::string& q, const std::string& mode);

// Where a chunk is, for people: "page 3", "paragraph 12", "line 40", "Sheet1!B7".
std::string placeName(const SearchChunk& chunk);

}  // namespace cvl::SearchExplain
