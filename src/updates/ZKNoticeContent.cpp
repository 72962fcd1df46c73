#include "updates/ZKNoticeContent.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace cvl {

std::string toneRawValue(ZKNoticeTone tone) {
    switch (tone) {
        case ZKNoticeTone::positive:
            return "positive";
        case ZKNoticeTone::caution:
            return "caution";
        case ZKNoticeTone::negative:
            return "negative";
        case ZKNoticeTone::neutral:
            break;
    }
    return "neutral";
}

ZKNoticeTone toneFromRawValue(std::string_view raw) {
    if (raw == "positive") return ZKNoticeTone::positive;
    if (raw == "caution") return ZKNoticeTone::caution;
    if (raw == "negative") return ZKNoticeTone::negative;
    return ZKNoticeTone::neutral;
}

namespace NoticeText {

size_t length(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string prefix(std::string_view s, size_t characters) {
    size_t seen = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == characters) return std::string(s.substr(0, i));
            ++seen;
        }
    }
    return std::string(s);
}

std::string trim(std::string_view s) {
    const char* ws = " \t\r\n\v\f";
    auto b = s.find_first_not_of(ws);
    if (b == std::string_view::npos) return std::string();
    return std::string(s.substr(b, s.find_last_not_of(ws) - b + 1));
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace NoticeText

ZKNoticeContent noticeFromQuery(const std::map<std::string, std::string>& q) {
    auto get = [&](const char* key) -> std::optional<std::string> {
        auto it = q.find(key);
        if (it == q.end()) return std::nullopt;
        return it->second;
    };
    ZKNoticeContent c;
    if (auto v = get("title")) c.title = NoticeText::prefix(*v, 80);
    if (auto v = get("body")) c.body = NoticeText::prefix(*v, 240);
    if (auto v = get("keys")) {
        size_t from = 0;
        while (from <= v->size()) {
            size_t at = v->find('|', from);
            if (at == std::string::npos) at = v->size();
            std::string key = v->substr(from, at - from);
            if (!key.empty()) c.keys.push_back(NoticeText::prefix(key, 24));
            from = at + 1;
        }
    }
    if (auto v = get("note")) c.keysNote = NoticeText::prefix(*v, 60);
    if (auto v = get("tone")) c.tone = toneFromRawValue(*v);
    if (auto v = get("dwell")) {
        std::string text = NoticeText::trim(*v);
        char* end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (!text.empty() && end == text.c_str() + text.size() && std::isfinite(d))
            c.dwell = std::clamp(d, 2.0, 30.0);
    }
    if (auto v = get("id"); v && !v->empty()) c.id = NoticeText::prefix(*v, 64);
    return c;
}

}  // namespace cvl
