#include "agent/AskWindow.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <utility>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "search/TextExtraction.h"

namespace cvl::AskWindow {
namespace {

using nlohmann::json;

std::string quoted(const std::string& text) {
    return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string scriptLiteral(const std::string& literal) {
    std::string out;
    out.reserve(literal.size());
    for (std::size_t i = 0; i < literal.size(); ++i) {
        const char c = literal[i];
        if (c == '<')
            out += "\\u003c";
        else if (c == '>')
            out += "\\u003e";
        else if (c == '\xE2' && i + 2 < literal.size() && literal[i + 1] == '\x80' &&
                 (literal[i + 2] == '\xA8' || literal[i + 2] == '\xA9')) {
            out += literal[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else
            out += c;
    }
    return out;
}

std::string fill(const std::string& templ, const AskFill& v) {
    const std::pair<const char*, std::string> values[] = {
        {"__DOC__", scriptLiteral(quoted(v.doc))},
        {"__NAME__", scriptLiteral(quoted(v.name))},
        {"__ISFOLDER__", v.isFolder ? "true" : "false"},
        {"__FILES__", scriptLiteral(v.filesJSON)},
        {"__COUNT__", std::to_string(v.count)},
        {"__AUTOQ__", scriptLiteral(quoted(v.autoQuestion))},
    };
    std::string out;
    out.reserve(templ.size() + 256);
    for (std::size_t i = 0; i < templ.size();) {
        bool replaced = false;
        if (templ.compare(i, 2, "__") == 0)
            for (const auto& [key, value] : values)
                if (templ.compare(i, std::char_traits<char>::length(key), key) == 0) {
                    out += value;
                    i += std::char_traits<char>::length(key);
                    replaced = true;
                    break;
                }
        if (!replaced) out += templ[i++];
    }
    return out;
}

AskFill fillFor(const std::string& path, const std::string& question) {
    AskFill f;
    f.doc = path;
    f.name = lastPathComponent(path);
    f.autoQuestion = question;
    f.isFolder = isDirectory(path);
    if (f.isFolder) {
        json files = json::array();
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(path, ec)) {
            const std::string name = e.path().filename().string();
            if (name.empty() || name[0] == '.' || !e.is_regular_file(ec)) continue;
            if (TextExtraction::isIndexableExt(lowerExtension(name)))
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const auto& n : names) {
            std::string type = TextExtraction::typeForPath(n);
            if (!type.empty())
                type[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(type[0])));
            files.push_back({{"n", n}, {"t", type}});
        }
        f.filesJSON = files.dump(-1, ' ', false, json::error_handler_t::replace);
        f.count = static_cast<int>(names.size());
    }
    return f;
}

Result<std::string> writePage(const AskFill& values) {
    const std::string dir = UserDirs::archiveDir();
    makeDirs(dir);
    const std::string path = dir + "/.ask-" + newUuid() + ".html";
    Status s = writeFileAtomic(path, fill(pageTemplate(), values));
    if (!s) return Failure{s.error()};
    return path;
}

std::vector<std::string> aiArgs(const std::string& mode, const std::string& doc,
                                const std::string& question) {
    std::vector<std::string> args{mode};
    if (mode == "status") return args;
    args.insert(args.end(), {"--doc", doc});
    if (mode == "ask") args.insert(args.end(), {"--q", question});
    return args;
}

std::string aiAnswer(const ProcessResult& run) {
    if (!run.launched) return R"({"error":"Could not start the local AI engine."})";
    const std::string out = trimWhitespace(run.out);
    if (!out.empty() && json::accept(out)) return out;
    const std::string err = trimWhitespace(run.err);
    return json{{"error", err.empty() ? "The local AI engine gave no answer." : err}}.dump(
        -1, ' ', false, json::error_handler_t::replace);
}

}  // namespace cvl::AskWindow
