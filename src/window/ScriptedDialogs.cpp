#include "window/ScriptedDialogs.h"

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/SysLog.h"

namespace cvl {
namespace {

using json = nlohmann::json;

// The next answer of `kind` from the answers file; null when the list has run out. The
// position in each list is kept per file for the whole process.
json nextAnswer(const std::string& path, const std::string& kind) {
    static std::map<std::string, std::map<std::string, size_t>> taken;
    const json answers = json::parse(readFile(path).value_or("{}"), nullptr, false);
    if (!answers.is_object() || !answers.contains(kind) || !answers[kind].is_array())
        return nullptr;
    size_t& at = taken[path][kind];
    if (at >= answers[kind].size()) return nullptr;
    return answers[kind][at++];
}

void record(const std::string& path, json asked) {
    const std::string line = jsonText(asked) + "\n";
    FILE* f = std::fopen((path + ".log").c_str(), "ab");
    bool written = f && std::fwrite(line.data(), 1, line.size(), f) == line.size();
    if (f && std::fclose(f) != 0) written = false;
    if (!written) cvlLog("test dialogs: %s.log could not be written", path.c_str());
}

template <class Answer>
void answerLater(std::function<void(Answer)> done, Answer answer) {
    Dispatch::main().async([done = std::move(done), answer = std::move(answer)] { done(answer); });
}

}  // namespace

std::unique_ptr<Dialogs> ScriptedDialogs::fromEnvironment() {
    const std::string path = envValue("CVL_TEST_DIALOGS");
    if (path.empty() || envValue("CVL_TEST").empty()) return nullptr;
    return std::make_unique<ScriptedDialogs>(path);
}

ScriptedDialogs::ScriptedDialogs(std::string answersPath) : path_(std::move(answersPath)) {}

void ScriptedDialogs::confirm(const ConfirmSheet& sheet, std::function<void(ConfirmAnswer)> done) {
    record(path_, {{"kind", "confirm"},
                   {"title", sheet.title},
                   {"message", sheet.message},
                   {"verb", sheet.verb},
                   {"alternate", sheet.alternate},
                   {"destructive", sheet.destructive}});
    const json a = nextAnswer(path_, "confirm");
    ConfirmAnswer answer = ConfirmAnswer::Cancel;
    if (a == "verb") answer = ConfirmAnswer::Verb;
    if (a == "alternate" && !sheet.alternate.empty()) answer = ConfirmAnswer::Alternate;
    answerLater(std::move(done), answer);
}

void ScriptedDialogs::choose(const FileChoice& choice,
                             std::function<void(std::vector<std::string>)> done) {
    record(path_, {{"kind", "choose"},
                   {"title", choice.title},
                   {"message", choice.message},
                   {"prompt", choice.prompt},
                   {"folders", choice.folders},
                   {"multiple", choice.multiple},
                   {"extensions", choice.extensions}});
    std::vector<std::string> chosen;
    const json a = nextAnswer(path_, "choose");
    if (a.is_array())
        for (const auto& p : a)
            if (p.is_string()) chosen.push_back(p.get<std::string>());
    if (!choice.multiple && chosen.size() > 1) chosen.resize(1);
    answerLater(std::move(done), std::move(chosen));
}

void ScriptedDialogs::save(const SaveChoice& choice,
                           std::function<void(std::optional<std::string>)> done) {
    record(path_, {{"kind", "save"},
                   {"title", choice.title},
                   {"prompt", choice.prompt},
                   {"suggestedName", choice.suggestedName},
                   {"folder", choice.folder}});
    const json a = nextAnswer(path_, "save");
    std::optional<std::string> path;
    if (a.is_string()) path = a.get<std::string>();
    answerLater(std::move(done), std::move(path));
}

void ScriptedDialogs::alert(const std::string& title, const std::string& message,
                            std::function<void()> done) {
    record(path_, {{"kind", "alert"}, {"title", title}, {"message", message}});
    if (done) Dispatch::main().async(std::move(done));
}

void ScriptedDialogs::menu(const MenuChoice& choice,
                           std::function<void(std::optional<size_t>)> done) {
    record(path_, {{"kind", "menu"}, {"title", choice.title}, {"items", choice.items}});
    const json a = nextAnswer(path_, "menu");
    std::optional<size_t> picked;
    if (a.is_number_integer()) {
        const long long n = a.get<long long>();
        const long long index = n < 0 ? static_cast<long long>(choice.items.size()) + n : n;
        if (index >= 0 && index < static_cast<long long>(choice.items.size()))
            picked = static_cast<size_t>(index);
    }
    answerLater(std::move(done), picked);
}

}  // namespace cvl
