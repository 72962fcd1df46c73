#include "pagecmd/PageCommandJson.h"

#include <nlohmann/json.hpp>

namespace cvl {

namespace {

template <class Json>
Json commandJson(const PageCommand& c) {
    Json j = Json::object();
    j["op"] = std::string(PageCommand::rawName(c.op));
    j["pages"] = c.pages;
    j["degrees"] = c.degrees;
    j["after"] = c.after;
    j["order"] = c.order;
    j["at"] = c.at;
    j["jpeg"] = c.jpeg;
    j["others"] = c.others;
    return j;
}

template <class Json>
Json resultJson(const PageCommandParse& r) {
    Json j = Json::object();
    j["kind"] = kindName(r.kind);
    switch (r.kind) {
        case PageCommandParse::Kind::command:
            j["command"] = commandJson<Json>(r.command);
            j["phrase"] = r.command.phrase();
            break;
        case PageCommandParse::Kind::clarify:
            j["message"] = r.message;
            j["options"] = r.options;
            break;
        case PageCommandParse::Kind::refuse:
            j["message"] = r.message;
            break;
        case PageCommandParse::Kind::notACommand:
        case PageCommandParse::Kind::unreadable:
            break;
    }
    return j;
}

template <class Json>
std::string oneLine(const Json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

nlohmann::json pageCommandToJson(const PageCommand& command) {
    return commandJson<nlohmann::json>(command);
}

nlohmann::json parseResultToJson(const PageCommandParse& result) {
    return resultJson<nlohmann::json>(result);
}

std::string pageCommandJsonText(const PageCommand& command) {
    return oneLine(commandJson<nlohmann::ordered_json>(command));
}

std::string parseResultJsonText(const PageCommandParse& result) {
    return oneLine(resultJson<nlohmann::ordered_json>(result));
}

Result<PageCommand> pageCommandFromJson(const nlohmann::json& json) {
    if (!json.is_object()) return Failure{"A page command must be a JSON object."};
    const auto opField = json.find("op");
    if (opField == json.end() || !opField->is_string())
        return Failure{"A page command needs an \"op\" name."};
    const auto op = PageCommand::opFromRawName(opField->get<std::string>());
    if (!op) return Failure{"Unknown page command \"" + opField->get<std::string>() + "\"."};
    PageCommand c;
    c.op = *op;
    try {
        if (auto f = json.find("pages"); f != json.end()) c.pages = f->get<std::vector<int>>();
        if (auto f = json.find("degrees"); f != json.end()) c.degrees = f->get<int>();
        if (auto f = json.find("after"); f != json.end()) c.after = f->get<std::vector<int>>();
        if (auto f = json.find("order"); f != json.end()) c.order = f->get<std::vector<int>>();
        if (auto f = json.find("at"); f != json.end()) c.at = f->get<int>();
        if (auto f = json.find("jpeg"); f != json.end()) c.jpeg = f->get<bool>();
        if (auto f = json.find("others"); f != json.end())
            c.others = f->get<std::vector<std::string>>();
    } catch (const nlohmann::json::exception&) {
        return Failure{"A page command field has the wrong type."};
    }
    return c;
}

}  // namespace cvl
