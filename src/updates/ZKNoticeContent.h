// What a notice says: its tone, texts, keycaps and how long it stays.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvl {

enum class ZKNoticeTone { neutral, positive, caution, negative };

std::string toneRawValue(ZKNoticeTone tone);
// An unknown raw value reads as neutral.
ZKNoticeTone toneFromRawValue(std::string_view raw);

struct ZKNoticeContent {
    static constexpr double dwellDefault = 6.5;  // seconds

    std::optional<std::string> id;  // identity for replacing and de-duplicating
    std::string title;
    std::string body;
    std::vector<std::string> keys;  // keycaps
    std::string keysNote;
    ZKNoticeTone tone = ZKNoticeTone::neutral;
    std::optional<std::string> mark;  // icon name; none = the application's mark
    bool markIsTemplate = false;
    std::optional<double> dwell;
    std::optional<bool> sticky;

    // Explicit `sticky`, else exactly the negative tone stays until dismissed.
    bool isSticky() const { return sticky ? *sticky : tone == ZKNoticeTone::negative; }
    double dwellSeconds() const { return dwell ? *dwell : dwellDefault; }
};

// Content from string pairs, for notices that arrive from outside the process: title (80
// characters), body (240), keys split at "|" (24 each), note (60), tone, dwell (2 to 30
// seconds), id (64).
ZKNoticeContent noticeFromQuery(const std::map<std::string, std::string>& query);

// Text helpers that count characters (code points), not bytes.
namespace NoticeText {
size_t length(std::string_view utf8);
std::string prefix(std::string_view utf8, size_t characters);
std::string trim(std::string_view text);   // white space and line breaks
std::string lower(std::string_view text);  // ASCII letters only
}  // namespace NoticeText

}  // namespace cvl
