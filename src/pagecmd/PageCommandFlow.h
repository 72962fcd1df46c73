// The command bar's conversation: a typed text becomes a reply object for the page (preview,
// clarify, refuse), a confirmed preview becomes a done or error reply. Shared by the document
// window and the command line.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "pagecmd/PageCommandParse.h"

namespace cvl::PageCommandFlow {

struct AskRequest {
    // The PDF the command reads: the document, or the copy converted from it.
    std::string path;
    std::string text;
    int pageCount = 0;
    int current = 1;
    std::vector<int> selection;
    // Merge: the other PDFs the user chose; empty when none were chosen.
    std::vector<std::string> others;
    // The document `path` was converted from (a Word, RTF or text file): new files are named
    // after it and written beside it. Empty when `path` is the document itself; a converted
    // copy without it is traced back through the conversion cache's record, or refused.
    std::string original;
};

// What a typed text was read as, and the phrase the rewrite tier read it as (when it did).
struct Reading {
    PageCommandParse parsed;
    std::optional<std::string> readAs;
};
// Reads the text, through the rewrite tier when the grammar cannot (which runs the engine's
// model script: not on the main thread).
Reading read(const AskRequest& request);
// A merge that still needs the user to choose the other PDFs.
bool needsOthers(const Reading& reading, const AskRequest& request);
// The reply for what the text was read as: a preview (the plan is made and stored), a
// question or a refusal.
nlohmann::json answer(const Reading& reading, const AskRequest& request);
// A file the command bar may change: an existing regular file.
bool isChangeable(const std::string& path);
nlohmann::json refusal(const std::string& message);

// The reply to a typed command: read, then answered. Texts that are no page command give
// {"kind":"notACommand"}: the window hands those to the document's question box.
nlohmann::json ask(const AskRequest& request);
// The reply to a confirmation: {"kind":"done","outputs":[…]} (a new folder adds "folder" and
// "files", the number of files in it) or {"kind":"error","message":…,"refused":true}.
nlohmann::json run(const std::string& id, const std::string& path);

// The rewrite tier for texts that look like commands but cannot be read: the engine's
// language-model script proposes a canonical phrase, or nothing.
std::optional<std::string> proposeRewrite(const std::string& text, int pageCount, int current);

}  // namespace cvl::PageCommandFlow
