#include "search/SearchMatching.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <unordered_map>

#include "platform/FileIO.h"
#include "search/DocumentTypes.h"

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
        // A query of a few dozen distinct clusters gets a dense table: a window's trigrams are
        // then looked up by position instead of by hash.
        const std::size_t n = static_cast<std::size_t>(next_);
        if (n <= kDenseIds && count_ < static_cast<std::size_t>(INT16_MAX)) {
            dense_.assign(n * n * n, -1);
            for (const auto& [key, t] : index_) {
                const std::size_t a = key >> 42, b = (key >> 21) & 0x1FFFFF, c = key & 0x1FFFFF;
                dense_[(a * n + b) * n + c] = static_cast<std::int16_t>(t);
            }
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
    // The id of a lower-case ASCII character, -1 when the query lacks it.
    int asciiId(unsigned char c) const {
        const int slot = ascii_[c];
        return slot ? slot : -1;
    }
    int lookup(int a, int b, int c) const {
        if (a < 0 || b < 0 || c < 0) return -1;
        if (!dense_.empty()) {
            const std::size_t n = static_cast<std::size_t>(next_);
            return dense_[(static_cast<std::size_t>(a) * n + static_cast<std::size_t>(b)) * n +
                          static_cast<std::size_t>(c)];
        }
        std::uint64_t key = (static_cast<std::uint64_t>(a) << 42) |
                            (static_cast<std::uint64_t>(b) << 21) | static_cast<std::uint64_t>(c);
        auto it = index_.find(key);
        return it == index_.end() ? -1 : it->second;
    }
    std::size_t size() const { return count_; }

  private:
    static constexpr std::size_t kDenseIds = 40;  // 40^3 two-byte entries: 125 KiB at most
    std::size_t count_;
    int ascii_[128] = {};
    int next_ = 1;
    std::unordered_map<std::string, int> ids_;
    std::unordered_map<std::uint64_t, int> index_;
    std::vector<std::int16_t> dense_;
};

// A word of a body; its cluster ids lie in one array shared by all the body's words.
struct Word {
    std::string_view text;
    std::size_t firstId = 0;
    std::size_t idCount = 0;
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
    std::vector<int> ids;
    ids.reserve(body.size());
    std::vector<std::string> clusters;
    std::size_t i0 = 0;
    auto isSep = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; };
    while (i0 < body.size()) {
        while (i0 < body.size() && isSep(body[i0])) ++i0;
        std::size_t j = i0;
        while (j < body.size() && !isSep(body[j])) ++j;
        if (j > i0) {
            Word w{body.substr(i0, j - i0), ids.size(), 0, 0};
            if (isAscii(w.text)) {
                for (char c : w.text)
                    ids.push_back(table.asciiId(
                        static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c)));
                w.length = static_cast<int>(w.text.size());
            } else {
                lowerClusters(w.text, clusters);
                for (const auto& c : clusters) ids.push_back(table.idOf(c));
                w.length = static_cast<int>(UnicodeText::graphemeCount(w.text));
            }
            w.idCount = ids.size() - w.firstId;
            words.push_back(w);
        }
        i0 = j;
    }
    if (words.empty()) return std::nullopt;
    const int spaceId = table.idOf(" ");
    const int qLen = static_cast<int>(UnicodeText::graphemeCount(query));

    int best = -1;
    std::size_t bestStart = 0, bestLen = 1;
    std::vector<int> seq;
    std::vector<char> hit(table.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        // A longer window shares the trigrams of the shorter one, so only the trigrams that
        // the added word brings are looked up; `hit` carries the set from one length to the next.
        seq.clear();
        std::fill(hit.begin(), hit.end(), 0);
        int length = 0;
        int common = 0;
        for (std::size_t n = 1; n <= 3 && i + n - 1 < words.size(); ++n) {
            const Word& w = words[i + n - 1];
            const std::size_t firstNew = seq.size() >= 2 ? seq.size() - 2 : 0;
            if (n > 1) {
                seq.push_back(spaceId);
                length += 1;
            }
            const auto wordIds = ids.begin() + static_cast<std::ptrdiff_t>(w.firstId);
            seq.insert(seq.end(), wordIds, wordIds + static_cast<std::ptrdiff_t>(w.idCount));
            length += w.length;
            for (std::size_t k = firstNew; k + 3 <= seq.size(); ++k) {
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

// Where a hit's snippet can be cut from exactly as from the whole body: [from, to) reaching a
// snippet's radius of clusters each side of the hit, and a few bytes more, over ASCII text only.
// There every cluster is one byte (two for CR LF) and its boundaries do not depend on the text
// outside, so the snippet's cut, its ellipses and its offsets are the same. None when the
// text within reach is not ASCII.
std::optional<UnicodeText::ByteRange> asciiWindow(std::string_view body,
                                                  UnicodeText::ByteRange hit) {
    constexpr std::size_t kGuard = 8;  // beyond the reach, for the cluster rules' look-around
    auto ascii = [&](std::size_t i) { return static_cast<unsigned char>(body[i]) < 0x80; };
    std::size_t from = hit.begin;
    for (int k = 0; k < kSnippetRadius && from > 0; ++k)
        from -= (from >= 2 && body[from - 2] == '\r' && body[from - 1] == '\n') ? 2 : 1;
    from = from > kGuard ? from - kGuard : 0;
    std::size_t to = hit.end;
    for (int k = 0; k < kSnippetRadius && to < body.size(); ++k)
        to += (to + 1 < body.size() && body[to] == '\r' && body[to + 1] == '\n') ? 2 : 1;
    to = std::min(body.size(), to + kGuard);
    for (std::size_t i = from; i < hit.begin; ++i)
        if (!ascii(i)) return std::nullopt;
    for (std::size_t i = hit.end; i < to; ++i)
        if (!ascii(i)) return std::nullopt;
    return UnicodeText::ByteRange{from, to};
}

// Text kept for snippets, in blocks that never move, so views into it stay valid.
class TextStore {
  public:
    std::string_view keep(std::string_view part) {
        if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < part.size()) {
            blocks_.emplace_back();
            blocks_.back().reserve(std::max(kBlock, part.size()));
        }
        std::string& b = blocks_.back();
        const std::size_t at = b.size();
        b += part;
        return std::string_view(b).substr(at, part.size());
    }

  private:
    static constexpr std::size_t kBlock = 1 << 16;
    std::deque<std::string> blocks_;
};

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
    };
    // A kept hit and the part of its row's body its snippet is cut from: the whole body, or a
    // window of it that starts at byte `offset` of the body.
    struct Pending {
        std::size_t row;               // index into kept
        UnicodeText::ByteRange range;  // exact: the occurrence, in the body
        std::string match;             // fuzzy: the best window
        std::string_view part;
        std::size_t offset = 0;
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
    TextStore text;
    std::vector<UnicodeText::ByteRange> windows;  // of the row being added
    std::vector<std::vector<Pending>> pending;    // per document, in hit order
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
    const std::size_t row = s.kept.size();
    if (s.fuzzy) {
        if (!s.table) return;
        auto best = fuzzyBest(body, s.query, *s.table);
        if (!best || best->score < 1) return;
        std::size_t d = s.docFor(path);
        if (!s.keep(d)) return;
        s.kept.push_back({std::string(atype), std::string(anchor), page});
        // The snippet is cut around the match's first verbatim occurrence (the window holds
        // no earlier one), else from the body's start.
        State::Pending p{row, {}, std::move(best->match), {}, 0};
        const std::size_t pos = body.find(p.match);
        auto window = pos == std::string_view::npos
                          ? std::nullopt
                          : asciiWindow(body, {pos, pos + p.match.size()});
        p.offset = window ? window->begin : 0;
        p.part =
            s.text.keep(window ? body.substr(window->begin, window->end - window->begin) : body);
        s.pending[d].push_back(std::move(p));
        return;
    }
    const int cap = std::max(s.hitsPerDoc, 1);
    std::size_t from = 0;
    std::size_t d = SIZE_MAX;
    std::size_t firstKept = SIZE_MAX;  // the row's first kept hit in pending[d]
    for (int located = 0; located < cap; ++located) {
        auto range = UnicodeText::caselessFind(body, s.folded, from);
        if (!range || range->end <= range->begin) break;
        from = range->end;
        d = s.docFor(path);
        if (!s.keep(d)) continue;
        if (firstKept == SIZE_MAX) firstKept = s.pending[d].size();
        s.pending[d].push_back({row, *range, {}, {}, 0});
    }
    if (firstKept == SIZE_MAX) return;
    s.kept.push_back({std::string(atype), std::string(anchor), page});
    // Each hit keeps an ASCII window around it (overlapping windows are kept as one); a row
    // where one hit has none keeps its whole body.
    auto hits = std::span(s.pending[d]).subspan(firstKept);
    std::vector<UnicodeText::ByteRange>& windows = s.windows;
    windows.clear();
    std::size_t windowBytes = 0;
    for (const auto& p : hits) {
        auto w = asciiWindow(body, p.range);
        if (!w) {
            windows.clear();
            break;
        }
        if (!windows.empty() && w->begin <= windows.back().end) {
            windowBytes += w->end - windows.back().end;
            windows.back().end = w->end;
        } else {
            windowBytes += w->end - w->begin;
            windows.push_back(*w);
        }
    }
    if (windows.empty() || windowBytes >= body.size() / 2) {
        const std::string_view whole = s.text.keep(body);
        for (auto& p : hits) p.part = whole;
        return;
    }
    std::size_t w = 0;
    std::string_view part =
        s.text.keep(body.substr(windows[0].begin, windows[0].end - windows[0].begin));
    for (auto& p : hits) {
        if (p.range.end > windows[w].end) {
            ++w;
            part = s.text.keep(body.substr(windows[w].begin, windows[w].end - windows[w].begin));
        }
        p.offset = windows[w].begin;
        p.part = part;
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
            const std::string_view body = p.part;
            const UnicodeText::ByteRange range{p.range.begin - p.offset, p.range.end - p.offset};
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
                Snippet s = snippetAround(body, range);
                h.snippet = std::move(s.text);
                h.matchAt = s.matchAt;
                h.match = std::string(body.substr(range.begin, range.end - range.begin));
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
