// The dominant language of a text, recognised by libexttextcat's n-gram models.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl::LanguageId {

// The language code ("es", "en", "pt", ...) of the first 4,000 characters, or none when the
// text is too short or too mixed to tell.
std::optional<std::string> detect(std::string_view text);

}  // namespace cvl::LanguageId
