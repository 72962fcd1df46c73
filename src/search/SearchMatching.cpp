#include "search/SearchMatching.h"

#include <algorithm>
#include <cstdint>
#include <functional>
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

namespace {

// UTF-16 code units of UTF-8 text: one per character, two beyond the Basic Multilingual Plane.
int utf16Length(std::string_view utf8) {
    int n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++n;
        if (c >= 0xF0) ++n;
    }
    return n;
}

}  // namespace

Snippet snippetAround(std::string_view text, UnicodeText::ByteRange range, int radius) {
    std::size_t start = UnicodeText::retreatGraphemes(text, range.begin, radius);
    std::size_t end = UnicodeText::advanceGraphemes(text, range.end, radius);
    std::string piece(text.substr(start, end - start));
    for (char& c : piece)
        if (c == '\n' || c == '\r') c = ' ';
    const std::string_view kept = UnicodeText::trimSpaces(piece);
    Snippet out;
    if (start > 0) out.text += "\u2026";
    const std::size_t lead = static_cast<std::size_t>(kept.data() - piece.data());
    const std::size_t matchByte =
        out.text.size() + (range.begin - start) - std::min(lead, range.begin - start);
    out.text += kept;
    if (end < text.size()) out.text += "\u2026";
    out.matchAt = utf16Length(std::string_view(out.text).substr(0, matchByte));
    return out;
}

std::string snippet(std::string_view text, UnicodeText::ByteRange range, int radius) {
    return snippetAround(text, range, radius).text;
}

std::vector<Located> exactLocate(std::string_view body, std::string_view query, int cap) {
    cap = std::max(cap, 1);
    std::vector<Located> out;
    std::u32string folded = UnicodeText::foldForSearch(query);
    std::size_t from = 0;
    while (static_cast<int>(out.size()) < cap) {
        auto r = UnicodeText::caselessFind(body, folded, from);
        if (!r || r->end <= r->begin) break;
        Snippet s = snippetAround(body, *r);
        out.push_back(
            {std::move(s.text), std::string(body.substr(r->begin, r->end - r->begin)), s.matchAt});
        from = r->end;
    }
    return out;
}

namespace {

struct FuzzyBest {
    std::string match;
    int score = 0;
};

// The best window of one to three words and its score, scored against a prebuilt table.
std::optional<FuzzyBest> fuzzyBest(std::string_view body, std::string_view query,
                                   TrigramTable& table) {
    if (table.size() == 0) return std::nullopt;
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

    FuzzyBest out;
    for (std::size_t k = bestStart; k < bestStart + bestLen; ++k) {
        if (k > bestStart) out.match += ' ';
        out.match += words[k].text;
    }
    out.score = best;
    return out;
}

// The snippet around the first verbatim occurrence of a fuzzy match, else the body's start.
std::string fuzzySnippet(std::string_view body, const std::string& match) {
    if (auto pos = body.find(match); pos != std::string_view::npos)
        return snippet(body, {pos, pos + match.size()});
    std::string flat(body);
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    std::size_t cut = UnicodeText::advanceGraphemes(flat, 0, 120);
    std::string out = flat.substr(0, cut);
    if (cut < flat.size()) out += "\u2026";
    return out;
}

}  // namespace

std::optional<FuzzyLocated> fuzzyLocate(std::string_view body, std::string_view query,
                                        const std::vector<std::string>& qTris) {
    if (qTris.empty()) return std::nullopt;
    TrigramTable table(qTris);
    auto best = fuzzyBest(body, query, table);
    if (!best) return std::nullopt;
    FuzzyLocated out;
    out.snippet = fuzzySnippet(body, best->match);
    out.match = std::move(best->match);
    out.score = best->score;
    return out;
}

struct Grouper::State {
    // A row that holds at least one hit that may be kept.
    struct KeptRow {
        std::string atype;
        std::string anchor;
        std::int64_t page = 0;
        std::string body;
    };
    struct Pending {
        std::size_t row;               // index into kept
        UnicodeText::ByteRange range;  // exact: the occurrence
        std::string match;             // fuzzy: the best window
    };
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };

    std::string query;
    bool fuzzy;
    int limitDocs;
    int hitsPerDoc;
    std::u32string folded;              // exact
    std::optional<TrigramTable> table;  // fuzzy; empty when the query has no trigrams
    std::vector<KeptRow> kept;
    std::vector<std::vector<Pending>> pending;  // per document, in hit order
    std::vector<CVDocResult> docs;
    std::unordered_map<std::string, std::size_t, PathHash, std::equal_to<>> where;
    std::size_t lastDoc = SIZE_MAX;  // rows of one document often come together

    std::size_t docFor(std::string_view path) {
        if (lastDoc != SIZE_MAX && docs[lastDoc].path == path) return lastDoc;
        auto it = where.find(path);
        if (it != where.end()) return lastDoc = it->second;
        CVDocResult doc;
        doc.path = std::string(path);
        doc.name = lastPathComponent(doc.path);
        doc.type = TextExtraction::typeForPath(doc.path);
        doc.fuzzy = fuzzy;
        where.emplace(doc.path, docs.size());
        docs.push_back(std::move(doc));
        pending.emplace_back();
        return lastDoc = docs.size() - 1;
    }
    // Counts one hit of document d; true when it is kept.
    bool keep(std::size_t d) {
        docs[d].count += 1;
        return static_cast<int>(pending[d].size()) < hitsPerDoc;
    }
};

Grouper::Grouper(std::string_view query, bool fuzzy, int limitDocs, int hitsPerDoc)
    : s_(std::make_unique<State>()) {
    s_->query = std::string(query);
    s_->fuzzy = fuzzy;
    s_->limitDocs = limitDocs;
    s_->hitsPerDoc = hitsPerDoc;
    if (fuzzy) {
        std::vector<std::string> qTris = trigrams(query);
        if (!qTris.empty()) s_->table.emplace(qTris);
    } else {
        s_->folded = UnicodeText::foldForSearch(query);
    }
}

Grouper::~Grouper() = default;

void Grouper::add(std::string_view path, std::string_view atype, std::string_view anchor,
                  std::int64_t page, std::string_view body) {
    State& s = *s_;
    std::size_t keptRow = SIZE_MAX;
    auto keepRow = [&] {
        if (keptRow == SIZE_MAX) {
            keptRow = s.kept.size();
            s.kept.push_back({std::string(atype), std::string(anchor), page, std::string(body)});
        }
        return keptRow;
    };
    if (s.fuzzy) {
        if (!s.table) return;
        auto best = fuzzyBest(body, s.query, *s.table);
        if (!best || best->score < 1) return;
        std::size_t d = s.docFor(path);
        if (s.keep(d)) s.pending[d].push_back({keepRow(), {}, std::move(best->match)});
        return;
    }
    const int cap = std::max(s.hitsPerDoc, 1);
    std::size_t from = 0;
    for (int located = 0; located < cap; ++located) {
        auto range = UnicodeText::caselessFind(body, s.folded, from);
        if (!range || range->end <= range->begin) break;
        from = range->end;
        std::size_t d = s.docFor(path);
        if (s.keep(d)) s.pending[d].push_back({keepRow(), *range, {}});
    }
}

std::vector<CVDocResult> Grouper::finish() {
    State& s = *s_;
    std::vector<std::size_t> order(s.docs.size());
    for (std::size_t d = 0; d < order.size(); ++d) order[d] = d;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return s.docs[a].count > s.docs[b].count;
    });
    if (static_cast<int>(order.size()) > s.limitDocs)
        order.resize(static_cast<std::size_t>(std::max(s.limitDocs, 0)));

    std::vector<CVDocResult> out;
    out.reserve(order.size());
    for (std::size_t d : order) {
        CVDocResult& doc = s.docs[d];
        doc.hits.reserve(s.pending[d].size());
        for (State::Pending& p : s.pending[d]) {
            const State::KeptRow& row = s.kept[p.row];
            std::string_view body = row.body;
            CVHit h;
            h.path = doc.path;
            h.name = doc.name;
            h.type = doc.type;
            h.atype = row.atype;
            h.anchor = row.anchor;
            h.page = row.page;
            if (s.fuzzy) {
                h.snippet = fuzzySnippet(body, p.match);
                h.match = std::move(p.match);
            } else {
                Snippet s = snippetAround(body, p.range);
                h.snippet = std::move(s.text);
                h.matchAt = s.matchAt;
                h.match = std::string(body.substr(p.range.begin, p.range.end - p.range.begin));
            }
            h.fuzzy = s.fuzzy;
            doc.hits.push_back(std::move(h));
        }
        out.push_back(std::move(doc));
    }
    return out;
}

std::vector<CVDocResult> group(const std::vector<SearchRow>& rows, std::string_view query,
                               bool fuzzy, int limitDocs, int hitsPerDoc) {
    Grouper g(query, fuzzy, limitDocs, hitsPerDoc);
    for (const SearchRow& r : rows) g.add(r.path, r.atype, r.anchor, r.page, r.body);
    return g.finish();
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
