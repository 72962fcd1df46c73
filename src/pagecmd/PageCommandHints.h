// Answers for texts the grammar does not read as page commands. A misspelt command ("delet
// pag 3") gets the grammar's own answer for the corrected text, offered as a question, never
// run; a document operation that is not a page command gets an answer naming where it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pagecmd/PageCommandParse.h"

namespace cvl::PageCommandHints {

// The normalised text with misspelt grammar words put right, when at least one of them is an
// action word ("delet" -> "delete", "pag" -> "page"); none when nothing was corrected.
std::optional<std::string> correctedSpelling(std::string_view text);

// For a text the grammar gave up on: a clarification naming what the corrected text reads as
// ("Did you mean “delete page 3”?" with that phrase as the one option), the grammar's own
// clarification or refusal for the corrected text, or none.
std::optional<PageCommandParse> nearMiss(std::string_view text, int pageCount, int current,
                                         const std::vector<int>& selection);

// For a text that asks for a document operation that is not a page command (redaction,
// signing, OCR, ...): the answer naming where the reader offers it.
std::optional<std::string> elsewhereAnswer(std::string_view text);

}  // namespace cvl::PageCommandHints
