// The application's notices: the tone read from a title, bounded texts, the facade that
// posts through the presenter, and the catalogue of the application's notice texts with the
// rules every one of them keeps.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updates/ZKNoticeContent.h"

namespace cvl {

class ZKNotice;

namespace CorvelloNotice {

inline constexpr size_t kTitleBound = 120;
inline constexpr size_t kBodyBound = 900;

// negative for failures, positive for good news, caution for limits; else neutral.
ZKNoticeTone tone(std::string_view title);
// Trimmed; longer than `limit` characters becomes its first limit - 1 and "…".
std::string bounded(std::string_view text, size_t limit);
// Content with bounded texts and, when no tone is given, the tone of its title.
ZKNoticeContent make(std::optional<std::string> id, std::string_view title, std::string_view body,
                     std::optional<ZKNoticeTone> tone = std::nullopt);

// The presenter notices go to; none until the desktop host installs one (notices are then
// logged only).
void install(std::shared_ptr<ZKNotice> presenter);
void show(std::optional<std::string> id, std::string_view title, std::string_view body,
          std::optional<ZKNoticeTone> tone = std::nullopt);
void post(ZKNoticeContent content);

}  // namespace CorvelloNotice

namespace CorvelloNoticeCopy {

struct Entry {
    std::string id;
    ZKNoticeContent content;  // placeholders already filled with sample values
};

struct Rule {
    std::string name;
    std::function<bool(const ZKNoticeContent&)> holds;
};

// Every notice text the application shows, by id.
const std::vector<Entry>& catalogue();
std::optional<ZKNoticeContent> entry(std::string_view id);
const std::vector<Rule>& rules();
// The names of the rules the content breaks.
std::vector<std::string> broken(const ZKNoticeContent& content);
// A notice written to break the rules; the checks must catch it.
ZKNoticeContent decoy();

}  // namespace CorvelloNoticeCopy

}  // namespace cvl
