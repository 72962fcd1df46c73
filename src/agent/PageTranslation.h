// Translating a page's text on this computer: paragraphs, the source language (given, or
// recognised from the first 4,000 characters), the pair check against what is installed and
// what Debian offers, and one batch through the translator with a partial result as each
// paragraph is done.
#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "agent/CvlNativeAI.h"

namespace cvl::PageTranslation {

// Line breaks "\r\n" and "\r" become "\n"; paragraphs are separated by lines that are blank
// after trimming; each paragraph's lines are joined with "\n".
std::vector<std::string> paragraphs(const std::string& text);

// The English name of a language code ("es" -> "Spanish"); the code itself when unknown.
std::string languageName(const std::string& code);

// Runs on the calling thread. `partial` gets the paragraphs translated so far, joined by
// blank lines.
std::variant<std::string, CvlNativeAI::Failure> translate(
    const std::string& text, const std::string& from, const std::string& to,
    const std::function<void(const std::string&)>& partial);

}  // namespace cvl::PageTranslation
