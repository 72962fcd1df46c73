#include "search/SearchExplain.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/FileIO.h"
#include "search/OcrCache.h"
#include "search/SearchMatching.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

namespace cvl::SearchExplain {

using nlohmann::json;

namespace {

std::vector<std::string> queryWords(const std::string& q) {
    std::vector<std::string> words;
    std::set<std::string> seen;
    size_t i = 0;
    while (i < q.size()) {
        while (i < q.size() && (q[i] == ' ' || q[i] == '\t' || q[i] == '"')) ++i;
        size_t j = i;
        while (j < q.size() && q[j] != ' ' && q[j] != '\t' && q[j] != '"') ++j;
        std::string w = q.substr(i, j - i);
        if (UnicodeText::graphemeCount(w) >= 2 && seen.insert(UnicodeText::lower(w)).second)
            words.push_back(w);
        i = j;
    }
    return words;
}

std::string quotedList(const std::vector<std::string>& places) {
    std::string out;
    for (size_t i = 0; i < places.size(); ++i) {
        if (i) out += i + 1 == places.size() ? " and " : ", ";
        out += places[i];
    }
    return out;
}

}  // namespace

std::string placeName(const SearchChunk& c) {
    if (c.atype == "page") return "page " + (c.page > 0 ? std::to_string(c.page) : c.anchor);
    if (c.atype == "para") {
        std::string a = c.anchor;
        if (a.rfind("\u00b6", 0) == 0) a = a.substr(2);
        return "paragraph " + a;
    }
    if (c.atype == "line") return "line " + (c.anchor.size() > 1 ? c.anchor.substr(1) : c.anchor);
    return c.anchor;
}

json explain(const std::string& path, const std::string& q, const std::string& modeIn,
             const std::vector<SearchChunk>& chunks) {
    const std::string query = std::string(UnicodeText::trimWhitespace(q));
    const std::string mode = modeIn == "fuzzy" ? "fuzzy" : "exact";
    json out{{"path", path}, {"name", lastPathComponent(path)}, {"q", query}, {"mode", mode}};
    json places = json::array();
    long long count = 0;
    std::vector<std::string> exactWhere;
    for (const auto& c : chunks) {
        auto found = SearchMatching::exactLocate(c.body, query, 1000);
        if (found.empty() || query.empty()) continue;
        count += static_cast<long long>(found.size());
        if (exactWhere.size() < 6) exactWhere.push_back(placeName(c));
        for (const auto& f : found) {
            if (places.size() >= kMaxPlaces) break;
            places.push_back({{"anchor", c.anchor},
                              {"atype", c.atype},
                              {"page", c.page},
                              {"where", placeName(c)},
                              {"snippet", f.snippet},
                              {"match", f.match},
                              {"fuzzy", false}});
        }
    }
    out["exact"] = count > 0;
    out["count"] = count;

    const auto qTris = SearchMatching::trigrams(query);
    std::set<std::string> docTris;
    std::vector<std::pair<int, json>> near;
    for (const auto& c : chunks) {
        for (auto& t : SearchMatching::trigrams(c.body)) docTris.insert(std::move(t));
        if (count > 0) continue;
        if (auto f = SearchMatching::fuzzyLocate(c.body, query, qTris); f && f->score >= 1)
            near.emplace_back(f->score, json{{"anchor", c.anchor},
                                             {"atype", c.atype},
                                             {"page", c.page},
                                             {"where", placeName(c)},
                                             {"snippet", f->snippet},
                                             {"match", f->match},
                                             {"fuzzy", true},
                                             {"score", f->score}});
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [score, place] : near) {
        if (places.size() >= kMaxPlaces) break;
        places.push_back(std::move(place));
    }
    out["places"] = places;
    int shared = 0;
    for (const auto& t : qTris) shared += docTris.count(t) ? 1 : 0;
    out["trigrams"] = {{"shared", shared}, {"total", qTris.size()}};

    json words = json::array();
    for (const auto& w : queryWords(query)) {
        json entry{{"word", w}};
        long long n = 0;
        std::vector<std::string> where;
        for (const auto& c : chunks) {
            const auto found = SearchMatching::exactLocate(c.body, w, 1000);
            n += static_cast<long long>(found.size());
            if (!found.empty() && where.size() < 4) where.push_back(placeName(c));
        }
        entry["count"] = n;
        if (n > 0) entry["where"] = quotedList(where);
        if (n == 0) {
            const auto wTris = SearchMatching::trigrams(w);
            std::optional<SearchMatching::FuzzyLocated> best;
            std::string bestWhere;
            for (const auto& c : chunks)
                if (auto f = SearchMatching::fuzzyLocate(c.body, w, wTris);
                    f && f->score >= 1 && (!best || f->score > best->score)) {
                    best = f;
                    bestWhere = placeName(c);
                }
            if (best) {
                entry["near"] = best->match;
                entry["nearScore"] = best->score;
                entry["where"] = bestWhere;
            }
        }
        words.push_back(std::move(entry));
    }
    out["words"] = words;

    std::string summary;
    if (count > 0) {
        summary = "“" + query + "” appears " +
                  (count == 1 ? std::string("once") : std::to_string(count) + " times") + ", on " +
                  quotedList(exactWhere) + (exactWhere.size() >= 6 ? " and more" : "") + ".";
    } else if (!places.empty()) {
        summary = "“" + query + "” does not appear as typed. The closest text is “" +
                  places[0]["match"].get<std::string>() + "” on " +
                  places[0]["where"].get<std::string>() + ", which shares " +
                  std::to_string(shared) + " of the query’s " + std::to_string(qTris.size()) +
                  " letter triples.";
    } else {
        summary = "Nothing in this document resembles “" + query +
                  "” now; it may have changed "
                  "since it was indexed.";
    }
    out["summary"] = summary;
    return out;
}

json explainFile(const std::string& path, const std::string& q, const std::string& mode) {
    if (!isRegularFile(path))
        return json{{"path", path},
                    {"q", q},
                    {"error", "“" + lastPathComponent(path) + "” is not there any more."}};
    const auto chunks =
        TextExtraction::chunksFor(path, TextExtraction::typeForPath(path), OcrCache::ocrCacheRead);
    return explain(path, q, mode, chunks);
}

}  // namespace cvl::SearchExplain
