// A compiled PCRE2 regular expression behind a small value interface. Patterns are compiled
// once (typically into function-local statics) and may then be matched from any thread:
// each match uses its own per-thread match data.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;

namespace cvl {

// One match: the span of the whole match and of each capture group (npos when unset).
struct RegexMatch {
    static constexpr std::size_t npos = std::string_view::npos;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::vector<std::pair<std::size_t, std::size_t>> groups;  // groups[0] is group 1

    // The text of capture group `index` (1-based); empty when the group did not take part.
    std::string_view group(std::string_view subject, std::size_t index) const;
    std::string_view whole(std::string_view subject) const {
        return subject.substr(begin, end - begin);
    }
};

class Regex {
  public:
    enum Flags : unsigned {
        kNone = 0,
        // UTF-8 subjects, with \b, \d, \s and \w following Unicode properties. Subjects that
        // are not valid UTF-8 never match.
        kUnicode = 1u << 0,
        kCaseless = 1u << 1,
    };

    explicit Regex(std::string_view pattern, unsigned flags = kNone);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    // False when the pattern did not compile; error() then says why. A pattern that did not
    // compile matches nothing.
    bool valid() const { return code_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& pattern() const { return pattern_; }

    // True when the pattern occurs anywhere in the subject.
    bool search(std::string_view subject) const;
    // The first match starting at or after `from`.
    std::optional<RegexMatch> find(std::string_view subject, std::size_t from = 0) const;
    // Every non-overlapping match, left to right.
    std::vector<RegexMatch> findAll(std::string_view subject) const;

    // Replaces every non-overlapping match. In `replacement`, $1…$9 stand for capture groups
    // and $$ for a dollar sign.
    std::string replaceAll(std::string_view subject, std::string_view replacement) const;
    std::string replaceAll(std::string_view subject,
                           const std::function<std::string(const RegexMatch&)>& replacer) const;

  private:
    std::optional<RegexMatch> findFrom(std::string_view subject, std::size_t from,
                                       bool checkUtf) const;

    struct CodeDeleter {
        void operator()(pcre2_real_code_8* code) const;
    };
    std::unique_ptr<pcre2_real_code_8, CodeDeleter> code_;
    std::string pattern_;
    std::string error_;
    unsigned flags_ = kNone;
};

}  // namespace cvl
