#include "search/UnicodeText.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <unicase.h>
#include <unigbrk.h>
#include <unistr.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace cvl::UnicodeText {
namespace {

const uint8_t* bytes(std::string_view s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// Decodes the code point at `i`; invalid bytes decode as U+FFFD of length 1.
inline char32_t decodeAt(std::string_view s, std::size_t i, int& len) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        len = 1;
        return c;
    }
    ucs4_t uc = 0;
    len = u8_mbtouc(&uc, bytes(s) + i, s.size() - i);
    if (len <= 0) len = 1;
    return uc;
}

// The code point that ends just before `i`.
inline char32_t decodeBefore(std::string_view s, std::size_t i) {
    std::size_t j = i;
    while (j > 0 && (static_cast<unsigned char>(s[j - 1]) & 0xC0) == 0x80 && i - j < 3) --j;
    if (j > 0) --j;
    int len = 0;
    return decodeAt(s, j, len);
}

inline char32_t fold(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    return uc_tolower(uc_toupper(cp));
}

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// Non-zero when some byte of x is zero.
inline std::uint64_t hasZeroByte(std::uint64_t x) {
    return (x - kOnes) & ~x & kHighs;
}

// The lead byte of the non-ASCII characters that fold to an ASCII letter, or 0: U+0130 and
// U+0131 fold to i, U+017F (long s) to s and U+212A (Kelvin sign) to k. No other character
// above U+007F folds into ASCII.
constexpr unsigned char nonAsciiLeadFoldingTo(unsigned char lower) {
    switch (lower) {
        case 'i':
            return 0xC4;
        case 's':
            return 0xC5;
        case 'k':
            return 0xE2;
        default:
            return 0;
    }
}

// The bytes that can start a character folding to an ASCII character: the character in either
// case, or the lead byte of a non-ASCII character folding to it. A non-ASCII character can be
// started by any byte of 0x80 and above.
struct ByteClass {
    bool ascii = false;
    unsigned char lower = 0;
    unsigned char upper = 0;
    unsigned char lead = 0;  // 0: no non-ASCII character folds to this one

    static ByteClass of(char32_t folded) {
        ByteClass c;
        if (folded >= 0x80) return c;
        c.ascii = true;
        c.lower = static_cast<unsigned char>(folded);
        c.upper =
            (c.lower >= 'a' && c.lower <= 'z') ? static_cast<unsigned char>(c.lower - 32) : c.lower;
        c.lead = nonAsciiLeadFoldingTo(c.lower);
        return c;
    }
    bool matches(unsigned char byte) const {
        if (!ascii) return byte >= 0x80;
        return byte == lower || byte == upper || (lead && byte == lead);
    }
    // Non-zero when some byte of x may start a character of this class by itself (never zero
    // when one does); for a non-ASCII class, any byte of 0x80 and above.
    std::uint64_t mayMatchSingle(std::uint64_t x) const {
        if (!ascii) return x & kHighs;
        return hasZeroByte(x ^ (kOnes * lower)) | hasZeroByte(x ^ (kOnes * upper));
    }
    // Non-zero when some byte of x is the lead byte of a non-ASCII character of this class.
    std::uint64_t mayMatchLead(std::uint64_t x) const {
        return lead ? hasZeroByte(x ^ (kOnes * lead)) : 0;
    }
};

// The first offset at or after i where a match of a query starting with the ASCII character
// of `first` followed by one of `second` can start; text.size() when there is none. Without
// a second character, `hasSecond` is false. A candidate that starts with a multi-byte
// character is not tested against the second character: its next byte says nothing.
std::size_t skipToCandidate(std::string_view text, std::size_t i, const ByteClass& first,
                            const ByteClass& second, bool hasSecond) {
    const char* d = text.data();
#if defined(__SSE2__)
    // Sixteen positions at a time: byte i against the first class, byte i + 1 against the
    // second, giving the exact candidates of the block.
    const __m128i lo1 = _mm_set1_epi8(static_cast<char>(first.lower));
    const __m128i up1 = _mm_set1_epi8(static_cast<char>(first.upper));
    const __m128i ld1 = _mm_set1_epi8(static_cast<char>(first.lead));
    const __m128i lo2 = _mm_set1_epi8(static_cast<char>(second.lower));
    const __m128i up2 = _mm_set1_epi8(static_cast<char>(second.upper));
    const __m128i ld2 = _mm_set1_epi8(static_cast<char>(second.lead));
    while (i + 17 <= text.size()) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(a, lo1), _mm_cmpeq_epi8(a, up1))));
        if (hasSecond && mask) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 1));
            __m128i m2 = b;  // a non-ASCII second character: any byte of 0x80 and above
            if (second.ascii) {
                m2 = _mm_or_si128(_mm_cmpeq_epi8(b, lo2), _mm_cmpeq_epi8(b, up2));
                if (second.lead) m2 = _mm_or_si128(m2, _mm_cmpeq_epi8(b, ld2));
            }
            mask &= static_cast<unsigned>(_mm_movemask_epi8(m2));
        }
        if (first.lead) mask |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, ld1)));
        if (mask) return i + static_cast<std::size_t>(__builtin_ctz(mask));
        i += 16;
    }
#else
    while (i + 9 <= text.size()) {
        std::uint64_t x, y;
        std::memcpy(&x, d + i, 8);
        std::memcpy(&y, d + i + 1, 8);
        std::uint64_t m = first.mayMatchSingle(x);
        if (hasSecond && m) m &= second.mayMatchSingle(y) | second.mayMatchLead(y);
        if (m | first.mayMatchLead(x)) break;
        i += 8;
    }
#endif
    for (; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(d[i]);
        if (!first.matches(c)) continue;
        if (c >= 0x80 || !hasSecond || i + 1 == text.size()) return i;
        if (second.matches(static_cast<unsigned char>(d[i + 1]))) return i;
    }
    return i;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    return u8_check(bytes(text), text.size()) == nullptr;
}

void appendCodePoint(std::string& out, char32_t cp) {
    uint8_t buf[6];
    int n = u8_uctomb(buf, cp, sizeof buf);
    if (n <= 0) n = u8_uctomb(buf, 0xFFFD, sizeof buf);
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

std::string latin1ToUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    for (unsigned char c : in) appendCodePoint(out, c);
    return out;
}

std::string sanitizeUtf8(std::string_view text) {
    if (isValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        ucs4_t uc = 0;
        int len = u8_mbtouc(&uc, bytes(text) + i, text.size() - i);
        if (len <= 0) len = 1;
        appendCodePoint(out, uc);  // u8_mbtouc reports invalid input as U+FFFD
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::vector<std::size_t> graphemeOffsets(std::string_view text) {
    std::vector<std::size_t> out;
    out.reserve(text.size() + 1);
    const uint8_t* start = bytes(text);
    const uint8_t* end = start + text.size();
    for (const uint8_t* p = start; p < end;) {
        out.push_back(static_cast<std::size_t>(p - start));
        const uint8_t* next = u8_grapheme_next(p, end);
        p = (next && next > p) ? next : p + 1;
    }
    out.push_back(text.size());
    return out;
}

std::vector<std::string> graphemes(std::string_view text) {
    auto offs = graphemeOffsets(text);
    std::vector<std::string> out;
    out.reserve(offs.size());
    for (std::size_t i = 0; i + 1 < offs.size(); ++i)
        out.emplace_back(text.substr(offs[i], offs[i + 1] - offs[i]));
    return out;
}

std::size_t graphemeCount(std::string_view text) {
    return graphemeOffsets(text).size() - 1;
}

bool isGraphemeBoundary(std::string_view text, std::size_t offset) {
    if (offset == 0 || offset >= text.size()) return true;
    if ((static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80) return false;
    int len = 0;
    char32_t next = decodeAt(text, offset, len);
    char32_t prev = decodeBefore(text, offset);
    if (prev < 0x80 && next < 0x80) return !(prev == '\r' && next == '\n');
    return uc_is_grapheme_break(prev, next);
}

std::size_t advanceGraphemes(std::string_view text, std::size_t offset, int n) {
    const uint8_t* start = bytes(text);
    const uint8_t* end = start + text.size();
    const uint8_t* p = start + std::min(offset, text.size());
    for (int i = 0; i < n && p < end; ++i) {
        // Two ASCII characters always have a cluster boundary between them, except CR LF.
        if (p[0] < 0x80 && (p + 1 == end || (p[1] < 0x80 && !(p[0] == '\r' && p[1] == '\n')))) {
            ++p;
            continue;
        }
        const uint8_t* next = u8_grapheme_next(p, end);
        p = (next && next > p) ? next : p + 1;
    }
    return static_cast<std::size_t>(p - start);
}

std::size_t retreatGraphemes(std::string_view text, std::size_t offset, int n) {
    const uint8_t* start = bytes(text);
    const uint8_t* p = start + std::min(offset, text.size());
    for (int i = 0; i < n && p > start; ++i) {
        // The same rule backwards: an ASCII character after an ASCII character (or at the
        // start) is a cluster of its own unless it is the LF of CR LF.
        if (p[-1] < 0x80 &&
            (p - 1 == start || (p[-2] < 0x80 && !(p[-2] == '\r' && p[-1] == '\n')))) {
            --p;
            continue;
        }
        // libunistring's step back reads on past an ill-formed character before p (into
        // memory before the text), so such a byte counts as a cluster of its own.
        ucs4_t last = 0;
        if (!u8_prev(&last, p, start)) {
            --p;
            continue;
        }
        const uint8_t* prev = u8_grapheme_prev(p, start);
        p = (prev && prev < p) ? prev : p - 1;
    }
    return static_cast<std::size_t>(p - start);
}

std::string lower(std::string_view text) {
    if (text.empty()) return {};
    std::size_t n = 0;
    uint8_t* out = u8_tolower(bytes(text), text.size(), nullptr, nullptr, nullptr, &n);
    if (!out) return std::string(text);
    std::string result(reinterpret_cast<const char*>(out), n);
    std::free(out);
    return result;
}

std::u32string foldForSearch(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        int len = 0;
        out.push_back(fold(decodeAt(text, i, len)));
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::optional<ByteRange> caselessFind(std::string_view text, const std::u32string& folded,
                                      std::size_t from) {
    if (folded.empty()) return std::nullopt;
    const char32_t first = folded[0];
    // When the query starts with an ASCII character, only that character in either case and
    // non-ASCII bytes (some fold to ASCII, e.g. the Kelvin sign) can start a match: skip
    // everything else eight bytes at a time.
    const bool asciiFirst = first < 0x80;
    const ByteClass firstClass = ByteClass::of(first);
    const bool hasSecond = folded.size() > 1;
    const ByteClass secondClass = ByteClass::of(hasSecond ? folded[1] : 0);
    for (std::size_t i = from; i < text.size();) {
        if (asciiFirst) {
            i = skipToCandidate(text, i, firstClass, secondClass, hasSecond);
            if (i >= text.size()) break;
        }
        int len = 0;
        char32_t cp = decodeAt(text, i, len);
        if (fold(cp) == first) {
            std::size_t j = i + static_cast<std::size_t>(len);
            std::size_t k = 1;
            while (k < folded.size() && j < text.size()) {
                int l2 = 0;
                if (fold(decodeAt(text, j, l2)) != folded[k]) break;
                j += static_cast<std::size_t>(l2);
                ++k;
            }
            if (k == folded.size() && isGraphemeBoundary(text, i) && isGraphemeBoundary(text, j))
                return ByteRange{i, j};
        }
        i += static_cast<std::size_t>(len);
    }
    return std::nullopt;
}

bool isSpaceChar(char32_t cp) {
    return cp == 0x20 || cp == 0x09 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

bool isNewlineChar(char32_t cp) {
    return (cp >= 0x0A && cp <= 0x0D) || cp == 0x85 || cp == 0x2028 || cp == 0x2029;
}

namespace {

template <class Pred>
std::string_view trimWith(std::string_view text, Pred pred) {
    std::size_t b = 0;
    while (b < text.size()) {
        int len = 0;
        if (!pred(decodeAt(text, b, len))) break;
        b += static_cast<std::size_t>(len);
    }
    std::size_t e = text.size();
    while (e > b) {
        std::size_t s = e - 1;
        while (s > b && (static_cast<unsigned char>(text[s]) & 0xC0) == 0x80) --s;
        int len = 0;
        if (!pred(decodeAt(text, s, len))) break;
        e = s;
    }
    return text.substr(b, e - b);
}

}  // namespace

std::string_view trimSpaces(std::string_view text) {
    return trimWith(text, isSpaceChar);
}

std::string_view trimWhitespace(std::string_view text) {
    return trimWith(text, [](char32_t c) { return isSpaceChar(c) || isNewlineChar(c); });
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size();) {
        int len = 0;
        char32_t cp = decodeAt(text, i, len);
        if (isNewlineChar(cp)) {
            out.push_back(text.substr(start, i - start));
            start = i + static_cast<std::size_t>(len);
        }
        i += static_cast<std::size_t>(len);
    }
    out.push_back(text.substr(start));
    return out;
}

}  // namespace cvl::UnicodeText
