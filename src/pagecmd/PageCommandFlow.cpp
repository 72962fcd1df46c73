// Routing parse results to replies, and the rewrite tier through the engine's model script.
#include "pagecmd/PageCommandFlow.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "pagecmd/ConvertedCopy.h"
#include "pagecmd/PageCommandHints.h"
#include "pagecmd/PageCommandParser.h"
#include "pagecmd/PageCommandRunner.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/ProcessRunner.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"

namespace cvl::PageCommandFlow {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* const kNotReadable =
    "I couldn't tell exactly what to do. Try, for example, \u201cdelete pages 3 to 5\u201d or "
    "\u201csplit after page 10\u201d.";

json refuse(const std::string& message) {
    return refusal(message);
}

json route(const PageCommandParse& parsed, const AskRequest& request,
           const std::optional<std::string>& readAs) {
    switch (parsed.kind) {
        case PageCommandParse::Kind::command: {
            PageCommand command = parsed.command;
            if (command.op == PageCommand::Op::merge) {
                if (request.others.empty())
                    return refuse("No other PDFs were chosen, so there is nothing to merge.");
                command.others = request.others;
            }
            auto original = ConvertedCopy::outputOriginal(request.path, request.original);
            if (!original) return refuse(original.error());
            auto plan = PageCommandRunner::plan(command, request.path, *original);
            if (!plan) return refuse(plan.error());
            json reply{{"kind", "preview"},        {"id", plan->id},
                       {"summary", plan->summary}, {"detail", plan->detail},
                       {"outputs", plan->outputs}, {"parts", plan->parts}};
            if (readAs) reply["readAs"] = *readAs;
            return reply;
        }
        case PageCommandParse::Kind::clarify:
            return json{
                {"kind", "clarify"}, {"question", parsed.message}, {"options", parsed.options}};
        case PageCommandParse::Kind::refuse:
            return refuse(parsed.message);
        case PageCommandParse::Kind::notACommand:
            return json{{"kind", "notACommand"}};
        case PageCommandParse::Kind::unreadable:
            break;
    }
    return json{{"kind", "clarify"}, {"question", kNotReadable}, {"options", json::array()}};
}

// The engine's language-model script: a file whose name ends in "_llm.py".
std::optional<std::string> modelScript() {
    std::string engine = UserDirs::resourceDir() + "/engine";
    std::string preferred = engine + "/corvello_llm.py";
    if (isRegularFile(preferred)) return preferred;
    std::error_code ec;
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(engine, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() > 7 && name.compare(name.size() - 7, 7, "_llm.py") == 0)
            found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    if (found.empty()) return std::nullopt;
    return found.front();
}

}  // namespace

std::optional<std::string> proposeRewrite(const std::string& text, int pageCount, int current) {
    auto script = modelScript();
    if (!script) return std::nullopt;
    std::string request =
        (fs::temp_directory_path() / ("cvl-pagecmd-" + newUuid() + ".json")).string();
    json body{{"text", text}, {"pageCount", pageCount}, {"current", current}};
    if (!writeFileAtomic(request, body.dump()).ok()) return std::nullopt;
    ProcessSpec spec;
    spec.program = "/usr/bin/python3";
    spec.args = {*script, "--page-command", request};
    spec.timeout = std::chrono::milliseconds(60000);
    ProcessResult result = runProcess(spec);
    std::error_code ec;
    fs::remove(request, ec);
    if (!result.succeeded()) {
        cvlLog("pagecmd: the model script failed: %s", result.err.c_str());
        return std::nullopt;
    }
    json answer = json::parse(result.out, nullptr, false);
    if (!answer.is_object()) return std::nullopt;
    auto phrase = answer.find("phrase");
    if (phrase == answer.end() || !phrase->is_string() || phrase->get<std::string>().empty()) {
        if (auto reason = answer.find("reason"); reason != answer.end() && reason->is_string())
            cvlLog("pagecmd: no rewrite: %s", reason->get<std::string>().c_str());
        return std::nullopt;
    }
    return phrase->get<std::string>();
}

json refusal(const std::string& message) {
    return json{{"kind", "refuse"}, {"message", message}};
}

bool isChangeable(const std::string& path) {
    return !path.empty() && isRegularFile(path);
}

Reading read(const AskRequest& request) {
    PageCommandParse parsed = PageCommandParser::parse(request.text, request.pageCount,
                                                       request.current, request.selection);
    if (parsed.kind == PageCommandParse::Kind::notACommand ||
        parsed.kind == PageCommandParse::Kind::unreadable) {
        if (auto message = PageCommandHints::elsewhereAnswer(request.text))
            return {PageCommandParse::makeRefuse(*message), std::nullopt};
        if (auto hint = PageCommandHints::nearMiss(request.text, request.pageCount, request.current,
                                                   request.selection))
            return {*hint, std::nullopt};
    }
    if (parsed.kind != PageCommandParse::Kind::unreadable) return {parsed, std::nullopt};
    auto phrase = proposeRewrite(request.text, request.pageCount, request.current);
    if (!phrase) return {parsed, std::nullopt};
    PageCommandParse accepted = PageCommandParser::acceptRewrite(
        request.text, *phrase, request.pageCount, request.current, request.selection);
    // A rewrite that reads as no command is still a text that could not be read.
    if (accepted.kind == PageCommandParse::Kind::notACommand) return {parsed, std::nullopt};
    return {accepted, *phrase};
}

bool needsOthers(const Reading& reading, const AskRequest& request) {
    return reading.parsed.isCommand() && reading.parsed.command.op == PageCommand::Op::merge &&
           request.others.empty();
}

json answer(const Reading& reading, const AskRequest& request) {
    return route(reading.parsed, request, reading.readAs);
}

json ask(const AskRequest& request) {
    if (!isChangeable(request.path))
        return refuse("This document isn\u2019t a file Corvello can change.");
    return answer(read(request), request);
}

json run(const std::string& id, const std::string& path) {
    if (!isChangeable(path)) return refuse("This document isn\u2019t a file Corvello can change.");
    if (id.empty()) return refuse("That confirm was incomplete, so nothing was done.");
    auto outputs = PageCommandRunner::execute(id, path);
    if (!outputs) return json{{"kind", "error"}, {"message", outputs.error()}, {"refused", true}};
    json done{{"kind", "done"}, {"outputs", *outputs}};
    // A split or a set of images is one new folder: the reply says which, and how many files.
    if (outputs->size() == 1 && isDirectory(outputs->front())) {
        std::error_code ec;
        int files = 0;
        for (const auto& entry : fs::directory_iterator(outputs->front(), ec))
            if (entry.is_regular_file(ec)) ++files;
        done["folder"] = outputs->front();
        done["files"] = files;
    }
    return done;
}

}  // namespace cvl::PageCommandFlow
