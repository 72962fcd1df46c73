// The outcome of reading one typed page command: exactly one of five cases.
#pragma once

#include <string>
#include <vector>

#include "pagecmd/PageCommand.h"

namespace cvl {

struct PageCommandParse {
    enum class Kind {
        command,      // one exact, validated operation
        clarify,      // ask the user; each option is a phrase the grammar accepts
        refuse,       // understood, but cannot be done as asked
        notACommand,  // not a page instruction (a question, empty text, no document)
        unreadable,   // has an action word, but no rule could read it
    };

    Kind kind = Kind::notACommand;
    PageCommand command;               // command
    std::string message;               // clarify, refuse
    std::vector<std::string> options;  // clarify

    bool operator==(const PageCommandParse&) const = default;

    static PageCommandParse makeCommand(PageCommand command) {
        return {Kind::command, std::move(command), {}, {}};
    }
    static PageCommandParse makeClarify(std::string message,
                                        std::vector<std::string> options = {}) {
        return {Kind::clarify, {}, std::move(message), std::move(options)};
    }
    static PageCommandParse makeRefuse(std::string message) {
        return {Kind::refuse, {}, std::move(message), {}};
    }
    static PageCommandParse makeNotACommand() { return {Kind::notACommand, {}, {}, {}}; }
    static PageCommandParse makeUnreadable() { return {Kind::unreadable, {}, {}, {}}; }

    bool isCommand() const { return kind == Kind::command; }
};

// "command", "clarify", "refuse", "notACommand", "unreadable".
const char* kindName(PageCommandParse::Kind kind);

}  // namespace cvl
