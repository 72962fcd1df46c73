#include "platform/Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "platform/SysLog.h"

namespace cvl {

namespace {

constexpr uint32_t kOvectorPairs = 32;

struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

// One match-data block per thread, reused by every match on that thread. Results are copied
// out before any caller code runs, so nested matches on the same thread are safe.
pcre2_match_data* threadMatchData() {
    thread_local std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create(kOvectorPairs, nullptr));
    return data.get();
}

}  // namespace

std::string_view RegexMatch::group(std::string_view subject, std::size_t index) const {
    if (index == 0) return whole(subject);
    if (index > groups.size()) return {};
    const auto& [b, e] = groups[index - 1];
    if (b == npos || e == npos || e < b || e > subject.size()) return {};
    return subject.substr(b, e - b);
}

void Regex::CodeDeleter::operator()(pcre2_real_code_8* code) const {
    pcre2_code_free(code);
}

Regex::Regex(std::string_view pattern, unsigned flags) : pattern_(pattern), flags_(flags) {
    uint32_t options = 0;
    if (flags & kUnicode) options |= PCRE2_UTF | PCRE2_UCP;
    if (flags & kCaseless) options |= PCRE2_CASELESS;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(),
                                     options, &errorCode, &errorOffset, nullptr);
    if (!code) {
        PCRE2_UCHAR buffer[256];
        pcre2_get_error_message(errorCode, buffer, sizeof buffer);
        error_ = std::string(reinterpret_cast<const char*>(buffer)) + " at offset " +
                 std::to_string(errorOffset);
        cvlLog("regular expression does not compile (%s): %s", error_.c_str(), pattern_.c_str());
        return;
    }
    code_.reset(code);
    // JIT is an optimisation only: when it is unavailable the interpreter matches the same.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::search(std::string_view subject) const {
    return find(subject).has_value();
}

std::optional<RegexMatch> Regex::find(std::string_view subject, std::size_t from) const {
    return findFrom(subject, from, true);
}

std::optional<RegexMatch> Regex::findFrom(std::string_view subject, std::size_t from,
                                          bool checkUtf) const {
    if (!code_ || from > subject.size()) return std::nullopt;
    pcre2_match_data* data = threadMatchData();
    if (!data) return std::nullopt;
    // PCRE2 checks the whole subject for UTF-8 on every call; repeated searches of one subject
    // check it once, which keeps them linear.
    const uint32_t options = checkUtf ? 0 : PCRE2_NO_UTF_CHECK;
    const int rc = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()),
                               subject.size(), from, options, data, nullptr);
    // No match, a subject that is not valid UTF-8, or a match limit reached: all read as
    // "does not occur".
    if (rc <= 0) return std::nullopt;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    const uint32_t pairs = pcre2_get_ovector_count(data);
    uint32_t captureCount = 0;
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &captureCount);
    RegexMatch match;
    match.begin = ovector[0];
    match.end = ovector[1];
    // A \K inside a look-around can put the start after the end; keep spans well-formed.
    if (match.end < match.begin) match.end = match.begin;
    for (uint32_t i = 1; i <= captureCount; ++i) {
        if (i < pairs && i < static_cast<uint32_t>(rc) && ovector[2 * i] != PCRE2_UNSET)
            match.groups.emplace_back(ovector[2 * i], ovector[2 * i + 1]);
        else
            match.groups.emplace_back(RegexMatch::npos, RegexMatch::npos);
    }
    return match;
}

std::vector<RegexMatch> Regex::findAll(std::string_view subject) const {
    std::vector<RegexMatch> matches;
    std::size_t from = 0;
    while (from <= subject.size()) {
        // A first match proves the subject is well-formed UTF-8.
        auto match = findFrom(subject, from, matches.empty());
        if (!match) break;
        std::size_t next = match->end;
        if (match->end == match->begin) {
            // An empty match: step over one character (one UTF-8 sequence in Unicode mode).
            next = match->end + 1;
            if (flags_ & kUnicode) {
                while (next < subject.size() &&
                       (static_cast<unsigned char>(subject[next]) & 0xC0) == 0x80)
                    ++next;
            }
        }
        matches.push_back(std::move(*match));
        from = next;
    }
    return matches;
}

std::string Regex::replaceAll(std::string_view subject, std::string_view replacement) const {
    return replaceAll(subject, [&](const RegexMatch& m) {
        std::string out;
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            const char c = replacement[i];
            if (c == '$' && i + 1 < replacement.size()) {
                const char d = replacement[i + 1];
                if (d == '$') {
                    out += '$';
                    ++i;
                    continue;
                }
                if (d >= '1' && d <= '9') {
                    out += m.group(subject, static_cast<std::size_t>(d - '0'));
                    ++i;
                    continue;
                }
            }
            out += c;
        }
        return out;
    });
}

std::string Regex::replaceAll(std::string_view subject,
                              const std::function<std::string(const RegexMatch&)>& replacer) const {
    const auto matches = findAll(subject);
    if (matches.empty()) return std::string(subject);
    std::string out;
    out.reserve(subject.size() + 16);
    std::size_t last = 0;
    for (const auto& m : matches) {
        if (m.begin < last) continue;
        out.append(subject.substr(last, m.begin - last));
        out += replacer(m);
        last = m.end;
    }
    out.append(subject.substr(last));
    return out;
}

}  // namespace cvl
