// House rules for notice wording; each violation is a short text naming the problem.
#pragma once

#include <string>
#include <vector>

#include "updates/ZKNoticeContent.h"

namespace cvl::ZKNoticeLint {

inline constexpr size_t kTitleLimit = 38;
inline constexpr size_t kBodyLimit = 160;
inline constexpr size_t kKeycapLimit = 18;

std::vector<std::string> violations(const ZKNoticeContent& content);

}  // namespace cvl::ZKNoticeLint
