#include "pagecmd/PageCommandJson.h"
#include "platform/JsonText.h"

#include <climits>
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
    return jsonText(j);
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

namespace {

bool readInt(const nlohmann::json& j, int& out) {
    if (!j.is_number_integer()) return false;
    const auto value = j.get<long long>();
    if (value < INT_MIN || value > INT_MAX) return false;
    out = static_cast<int>(value);
    return true;
}

bool readInts(const nlohmann::json& j, std::vector<int>& out) {
    if (!j.is_array()) return false;
    out.clear();
    for (const auto& item : j) {
        int value = 0;
        if (!readInt(item, value)) return false;
        out.push_back(value);
    }
    return true;
}

bool readStrings(const nlohmann::json& j, std::vector<std::string>& out) {
    if (!j.is_array()) return false;
    out.clear();
    for (const auto& item : j) {
        if (!item.is_string()) return false;
        out.push_back(item.get<std::string>());
    }
    return true;
}

}  // namespace

Result<PageCommand> pageCommandFromJson(const nlohmann::json& json) {
    if (!json.is_object()) return Failure{"A page command must be a JSON object."};
    const auto opField = json.find("op");
    if (opField == json.end() || !opField->is_string())
        return Failure{"A page command needs an \"op\" name."};
    const auto op = PageCommand::opFromRawName(opField->get<std::string>());
    if (!op) return Failure{"Unknown page command \"" + opField->get<std::string>() + "\"."};
    PageCommand c;
    c.op = *op;
    auto field = [&](const char* key, auto&& read) {
        const auto f = json.find(key);
        return f == json.end() || read(*f);
    };
    const bool ok = field("pages", [&](const auto& j) { return readInts(j, c.pages); }) &&
                    field("degrees", [&](const auto& j) { return readInt(j, c.degrees); }) &&
                    field("after", [&](const auto& j) { return readInts(j, c.after); }) &&
                    field("order", [&](const auto& j) { return readInts(j, c.order); }) &&
                    field("at", [&](const auto& j) { return readInt(j, c.at); }) &&
                    field("jpeg",
                          [&](const auto& j) {
                              if (!j.is_boolean()) return false;
                              c.jpeg = j.template get<bool>();
                              return true;
                          }) &&
                    field("others", [&](const auto& j) { return readStrings(j, c.others); });
    if (!ok) return Failure{"A page command field has the wrong type."};
    return c;
}

}  // namespace cvl
