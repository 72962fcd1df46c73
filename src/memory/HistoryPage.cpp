#include "memory/HistoryPage.h"

#include <algorithm>
#include <cctype>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/UserDirs.h"

namespace cvl::HistoryPage {
namespace {

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
    if (what.empty()) return;
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

}  // namespace

Values openingValues(const std::string& startMode, const std::string& layout,
                     const std::string& palette) {
    Values v;
    const bool knownMode = startMode == "recent" || startMode == "favourites" ||
                           startMode == "pinned" || startMode == "folders";
    v.startMode = knownMode ? startMode : "recent";
    v.openLayout = layout == "grid" ? "grid" : "list";
    const bool plain =
        !palette.empty() && palette.size() <= 32 &&
        std::all_of(palette.begin(), palette.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        });
    v.openPalette = plain ? palette : "default";
    return v;
}

std::string escapeForScript(const std::string& json) {
    std::string out;
    out.reserve(json.size() + 16);
    for (size_t i = 0; i < json.size(); ++i) {
        char c = json[i];
        if (c == '<') {
            out += "\\u003c";
        } else if (c == '>') {
            out += "\\u003e";
        } else if (c == '\xE2' && i + 2 < json.size() && json[i + 1] == '\x80' &&
                   (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
            out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string fill(const std::string& templateText, const std::string& historyJson,
                 const Values& values) {
    std::string page = templateText;
    // The data goes in last so that placeholder-like text inside paths is left alone.
    replaceAll(page, "__START_MODE__", values.startMode);
    replaceAll(page, "__OPEN_LAYOUT__", values.openLayout);
    replaceAll(page, "__OPEN_PALETTE__", values.openPalette);
    replaceAll(page, "__HISTORY_JSON__", escapeForScript(historyJson));
    return page;
}

std::variant<std::string, Notice> prepare(const std::string& templatePath,
                                          const std::string& historyJson, const Values& values) {
    auto text = readFile(templatePath);
    if (!text) return Notice{kMissingTitle, kMissingText};
    std::string dir = UserDirs::archiveDir();
    makeDirs(dir);
    std::string page = dir + "/.history-" + newUuid() + ".html";
    if (!writeFileAtomic(page, fill(*text, historyJson, values)))
        return Notice{kMissingTitle, kMissingText};
    return page;
}

}  // namespace cvl::HistoryPage
