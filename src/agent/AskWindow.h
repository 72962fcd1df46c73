// The Ask window: a chat page about one document or folder, filled in from a template built
// into the program, whose questions the engine's corvello_ai.py answers offline.
#pragma once

#include <optional>
#include <string>

#include "platform/ProcessRunner.h"
#include "platform/Result.h"

namespace cvl::AskWindow {

struct AskFill {
    std::string doc;   // path of the document or folder
    std::string name;  // its display name
    bool isFolder = false;
    std::string filesJSON = "[]";  // for a folder: [{n: file name, t: type label}]
    int count = 1;                 // number of documents
    std::string autoQuestion;      // asked at once when not empty
};

// A value as a script literal that is safe inside a <script> element: "<", ">", U+2028 and
// U+2029 are written as escapes.
std::string scriptLiteral(const std::string& json);

// Replaces __DOC__, __NAME__, __ISFOLDER__, __FILES__, __COUNT__ and __AUTOQ__ in one pass
// (a value that itself looks like a placeholder stays as it is).
std::string fill(const std::string& templ, const AskFill& values);
// The built-in page.
const std::string& pageTemplate();
// What the page shows for a path: its name, and for a folder the documents in it.
AskFill fillFor(const std::string& path, const std::string& question);
// Writes the page to the working folder as ".ask-<uuid>.html"; gives its path.
Result<std::string> writePage(const AskFill& values);

// The engine run for a page request: the mode, "--doc" and the path, plus "--q" and the
// question for "ask"; "status" takes no document.
std::vector<std::string> aiArgs(const std::string& mode, const std::string& doc,
                                const std::string& question);
// The answer the page gets: the script's JSON output; {"error": ...} for a start failure
// or when it printed no JSON (its error output, when it wrote any).
std::string aiAnswer(const ProcessResult& run);

}  // namespace cvl::AskWindow
