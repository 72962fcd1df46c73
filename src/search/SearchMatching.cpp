#include "search/SearchMatching.h"

#include <algorithm>
#include <unordered_map>

#include "platform/FileIO.h"
#include "search/TextExtraction.h"

namespace cvl::SearchMatching {
namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Lower-cased grapheme clusters of a word; ASCII words without a library call.
void lowerClusters(std::string_view word, std::vector<std::string>& out) {
    out.clear();
    if (isAscii(word)) {
        for (char c : word)
            out.emplace_back(1, static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
        return;
    }
    out = UnicodeText::graphemes(UnicodeText::lower(word));
}

// Query trigrams as triples of cluster ids, so that windows are scored without building
// strings: clusters that the query lacks get no id and end any trigram they are part of.
class TrigramTable {
  public:
    explicit TrigramTable(const std::vector<std::string>& tris) : count_(tris.size()) {
        for (std::size_t t = 0; t < tris.size(); ++t) {
            auto parts = UnicodeText::graphemes(tris[t]);
            if (parts.size() != 3) continue;
            std::uint64_t key = 0;
            for (const auto& p : parts)
                key = (key << 21) | static_cast<std::uint64_t>(idOf(p, true));
            index_.emplace(key, static_cast<int>(t));
        }
    }
    int idOf(const std::string& cluster, bool add = false) {
        if (cluster.size() == 1 && static_cast<unsigned char>(cluster[0]) < 0x80) {
            int& slot = ascii_[static_cast<unsigned char>(cluster[0])];
            if (slot == 0 && add) slot = next_++;
            return slot ? slot : -1;
        }
        auto it = ids_.find(cluster);
        if (it != ids_.end()) return it->second;
        if (!add) return -1;
        ids_.emplace(cluster, next_);
        return next_++;
    }
    int lookup(int a, int b, int c) const {
        if (a < 0 || b < 0 || c < 0) return -1;
        std::uint64_t key = (static_cast<std::uint64_t>(a) << 42) |
                            (static_cast<std::uint64_t>(b) << 21) | static_cast<std::uint64_t>(c);
        auto it = index_.find(key);
        return it == index_.end() ? -1 : it->second;
    }
    std::size_t size() const { return count_; }

  private:
    std::size_t count_;
    int ascii_[128] = {};
    int next_ = 1;
    std::unordered_map<std::string, int> ids_;
    std::unordered_map<std::uint64_t, int> index_;
};

struct Word {
    std::string_view text;
    std::vector<int> ids;
    int length = 0;  // clusters of the word as written
};

void appendHit(std::vector<CVDocResult>& docs, std::unordered_map<std::string, std::size_t>& where,
               CVHit hit, int hitsPerDoc) {
    auto it = where.find(hit.path);
    if (it == where.end()) {
        CVDocResult doc;
        doc.path = hit.path;
        doc.name = hit.name;
        doc.type = hit.type;
        doc.fuzzy = hit.fuzzy;
        it = where.emplace(hit.path, docs.size()).first;
        docs.push_back(std::move(doc));
    }
    CVDocResult& doc = docs[it->second];
    doc.count += 1;
    if (static_cast<int>(doc.hits.size()) < hitsPerDoc) doc.hits.push_back(std::move(hit));
}

std::string quotedPhrase(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        out += c;
        if (c == '"') out += '"';
    }
    out += '"';
    return out;
}

}  // namespace

std::vector<std::string> trigrams(std::string_view s) {
    auto chars = UnicodeText::graphemes(UnicodeText::lower(s));
    std::vector<std::string> out;
    if (chars.size() < 3) return out;
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i + 3 <= chars.size(); ++i) {
        std::string t = chars[i] + chars[i + 1] + chars[i + 2];
        if (t.find('"') != std::string::npos || !seen.insert(t).second) continue;
        out.push_back(std::move(t));
    }
    return out;
}

std::string snippet(std::string_view text, UnicodeText::ByteRange range, int radius) {
    std::size_t start = UnicodeText::retreatGraphemes(text, range.begin, radius);
    std::size_t end = UnicodeText::advanceGraphemes(text, range.end, radius);
    std::string piece(text.substr(start, end - start));
    for (char& c : piece)
        if (c == '\n' || c == '\r') c = ' ';
    std::string out;
    if (start > 0) out += "\u2026";
    out += UnicodeText::trimSpaces(piece);
    if (end < text.size()) out += "\u2026";
    return out;
}

std::vector<Located> exactLocate(std::string_view body, std::string_view query, int cap) {
    cap = std::max(cap, 1);
    std::vector<Located> out;
    std::u32string folded = UnicodeText::foldForSearch(query);
    std::size_t from = 0;
    while (static_cast<int>(out.size()) < cap) {
        auto r = UnicodeText::caselessFind(body, folded, from);
        if (!r || r->end <= r->begin) break;
        out.push_back({snippet(body, *r), std::string(body.substr(r->begin, r->end - r->begin))});
        from = r->end;
    }
    return out;
}

std::optional<FuzzyLocated> fuzzyLocate(std::string_view body, std::string_view query,
                                        const std::vector<std::string>& qTris) {
    if (qTris.empty()) return std::nullopt;
    std::vector<Word> words;
    std::size_t i0 = 0;
    auto isSep = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; };
    while (i0 < body.size()) {
        while (i0 < body.size() && isSep(body[i0])) ++i0;
        std::size_t j = i0;
        while (j < body.size() && !isSep(body[j])) ++j;
        if (j > i0) words.push_back({body.substr(i0, j - i0), {}, 0});
        i0 = j;
    }
    if (words.empty()) return std::nullopt;

    TrigramTable table(qTris);
    std::vector<std::string> clusters;
    for (auto& w : words) {
        lowerClusters(w.text, clusters);
        w.ids.reserve(clusters.size());
        for (const auto& c : clusters) w.ids.push_back(table.idOf(c));
        w.length = isAscii(w.text) ? static_cast<int>(w.text.size())
                                   : static_cast<int>(UnicodeText::graphemeCount(w.text));
    }
    const int spaceId = table.idOf(" ");
    const int qLen = static_cast<int>(UnicodeText::graphemeCount(query));

    int best = -1;
    std::size_t bestStart = 0, bestLen = 1;
    std::vector<int> seq;
    std::vector<char> hit(table.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        seq.clear();
        int length = 0;
        for (std::size_t n = 1; n <= 3 && i + n - 1 < words.size(); ++n) {
            const Word& w = words[i + n - 1];
            if (n > 1) {
                seq.push_back(spaceId);
                length += 1;
            }
            seq.insert(seq.end(), w.ids.begin(), w.ids.end());
            length += w.length;
            std::fill(hit.begin(), hit.end(), 0);
            int common = 0;
            for (std::size_t k = 0; k + 3 <= seq.size(); ++k) {
                int t = table.lookup(seq[k], seq[k + 1], seq[k + 2]);
                if (t >= 0 && !hit[static_cast<std::size_t>(t)]) {
                    hit[static_cast<std::size_t>(t)] = 1;
                    ++common;
                }
            }
            int score = 3 * common - std::abs(length - qLen) / 8;
            if (score > best) {
                best = score;
                bestStart = i;
                bestLen = n;
            }
        }
    }
    if (best < 1) return std::nullopt;

    std::string match;
    for (std::size_t k = bestStart; k < bestStart + bestLen; ++k) {
        if (k > bestStart) match += ' ';
        match += words[k].text;
    }
    FuzzyLocated out;
    out.match = match;
    out.score = best;
    if (auto pos = body.find(match); pos != std::string_view::npos) {
        out.snippet = snippet(body, {pos, pos + match.size()});
    } else {
        std::string flat(body);
        std::replace(flat.begin(), flat.end(), '\n', ' ');
        std::size_t cut = UnicodeText::advanceGraphemes(flat, 0, 120);
        out.snippet = flat.substr(0, cut);
        if (cut < flat.size()) out.snippet += "\u2026";
    }
    return out;
}

std::vector<CVDocResult> group(const std::vector<SearchRow>& rows, std::string_view query,
                               bool fuzzy, int limitDocs, int hitsPerDoc) {
    std::vector<std::string> qTris = trigrams(query);
    std::vector<CVDocResult> docs;
    std::unordered_map<std::string, std::size_t> where;
    for (const auto& row : rows) {
        auto makeHit = [&](std::string snippetText, std::string match) {
            CVHit h;
            h.path = row.path;
            h.name = lastPathComponent(row.path);
            h.type = TextExtraction::typeForPath(row.path);
            h.atype = row.atype;
            h.anchor = row.anchor;
            h.page = row.page;
            h.snippet = std::move(snippetText);
            h.match = std::move(match);
            h.fuzzy = fuzzy;
            return h;
        };
        if (fuzzy) {
            auto located = fuzzyLocate(row.body, query, qTris);
            if (!located || located->score < 1) continue;
            appendHit(docs, where, makeHit(located->snippet, located->match), hitsPerDoc);
        } else {
            for (auto& l : exactLocate(row.body, query, hitsPerDoc))
                appendHit(docs, where, makeHit(std::move(l.snippet), std::move(l.match)),
                          hitsPerDoc);
        }
    }
    std::stable_sort(docs.begin(), docs.end(),
                     [](const CVDocResult& a, const CVDocResult& b) { return a.count > b.count; });
    if (static_cast<int>(docs.size()) > limitDocs)
        docs.resize(static_cast<std::size_t>(std::max(limitDocs, 0)));
    return docs;
}

std::string exactExpression(std::string_view q) {
    return quotedPhrase(q);
}

std::string fuzzyExpression(const std::vector<std::string>& tris) {
    std::string out;
    for (std::size_t i = 0; i < tris.size(); ++i) {
        if (i) out += " OR ";
        out += quotedPhrase(tris[i]);
    }
    return out;
}

}  // namespace cvl::SearchMatching
