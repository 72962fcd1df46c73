// JSON forms of page commands and of parse outcomes, as they cross to pages, the agent and
// the command line. Every command carries all eight keys: op (its raw name), pages, degrees,
// after, order, at, jpeg and others.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "pagecmd/PageCommand.h"
#include "pagecmd/PageCommandParse.h"
#include "platform/Result.h"

namespace cvl {

nlohmann::json pageCommandToJson(const PageCommand& command);
// Reads a command back; missing keys take their empty values, wrong types are a failure.
Result<PageCommand> pageCommandFromJson(const nlohmann::json& json);

// {"kind":"command","command":{…},"phrase":"…"}, {"kind":"clarify","message":"…","options":[…]},
// {"kind":"refuse","message":"…"}, {"kind":"notACommand"} or {"kind":"unreadable"}.
nlohmann::json parseResultToJson(const PageCommandParse& result);

// The same objects as one line of JSON text, keys in the order listed above.
std::string pageCommandJsonText(const PageCommand& command);
std::string parseResultJsonText(const PageCommandParse& result);

}  // namespace cvl
