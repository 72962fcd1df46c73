// Machine translation with Apertium, Debian's rule-based translator: which language pairs are
// installed, which Debian package offers a pair that is not, and translating paragraphs in
// one run of the `apertium` program with each paragraph handed over as it is done.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl::Apertium {

// The three-letter code Apertium uses for a language ("es" and "spa" give "spa"); the code
// itself, lower-cased, when it is not known.
std::string apertiumCode(const std::string& code);

// Installed translation directions as "spa-eng", read from the mode files of Apertium's data
// folder (CVL_APERTIUM_MODES overrides it). Empty when the `apertium` program is missing.
std::set<std::string> installedDirections();

// The Debian package that offers translation between the two languages (either direction),
// or none.
std::optional<std::string> packageFor(const std::string& from3, const std::string& to3);

// Translates each paragraph from `from3` to `to3` ("spa", "eng"), in one run; `done` gets each
// paragraph's index and translation as it arrives, in order. Fails with the translator's error.
Status translate(const std::string& from3, const std::string& to3,
                 const std::vector<std::string>& paragraphs,
                 const std::function<void(std::size_t, const std::string&)>& done);

}  // namespace cvl::Apertium
