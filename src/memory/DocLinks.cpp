#include "memory/DocLinks.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/JsonText.h"
#include "platform/UserDirs.h"
#include "window/PageScript.h"

namespace cvl {

using nlohmann::json;

namespace {

std::string dumpJson(const json& j, int indent = -1) {
    return jsonText(j, indent);
}

std::optional<LinkEnd> endFromJson(const json& obj) {
    if (!obj.is_object()) return std::nullopt;
    LinkEnd end;
    end.json = dumpJson(obj);
    if (auto p = obj.find("path"); p != obj.end() && p->is_string())
        end.path = p->get<std::string>();
    if (auto p = obj.find("page"); p != obj.end()) {
        if (p->is_number())
            end.page = p->get<std::int64_t>();
        else if (p->is_string())
            end.page = std::atoll(p->get<std::string>().c_str());
    }
    if (auto t = obj.find("text"); t != obj.end() && t->is_string())
        end.text = t->get<std::string>();
    return end;
}

json endToJson(const LinkEnd& end) {
    json j = json::parse(end.json, nullptr, false);
    return j.is_object() ? j : json::object();
}

json linkToJson(const DocLink& l) {
    return json{{"id", l.id},
                {"a", endToJson(l.a)},
                {"b", endToJson(l.b)},
                {"note", l.note},
                {"created", l.created}};
}

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::optional<LinkEnd> parseLinkEndpoint(const std::string& text) {
    json j = json::parse(text, nullptr, false);
    if (j.is_discarded()) return std::nullopt;
    if (j.is_string()) j = json::parse(j.get<std::string>(), nullptr, false);
    if (j.is_discarded()) return std::nullopt;
    return endFromJson(j);
}

std::optional<std::string> linkEndPath(const LinkEnd& end) {
    json j = json::parse(end.json, nullptr, false);
    if (!j.is_object()) return std::nullopt;
    auto p = j.find("path");
    if (p == j.end() || !p->is_string()) return std::nullopt;
    return p->get<std::string>();
}

std::string linksStorePath() {
    std::string dir = UserDirs::expandTilde("~/Library/Application Support/Corvello");
    makeDirs(dir);
    return dir + "/links.json";
}

std::vector<DocLink> loadLinks() {
    std::vector<DocLink> out;
    auto text = readFile(linksStorePath());
    if (!text) return out;
    json arr = json::parse(*text, nullptr, false);
    if (!arr.is_array()) return out;
    for (const auto& obj : arr) {
        if (!obj.is_object()) continue;
        DocLink l;
        auto str = [&](const char* key) {
            auto it = obj.find(key);
            return it != obj.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        l.id = str("id");
        l.note = str("note");
        if (auto c = obj.find("created"); c != obj.end() && c->is_number())
            l.created = c->get<double>();
        auto a = obj.find("a");
        auto b = obj.find("b");
        if (a == obj.end() || b == obj.end()) continue;
        auto ea = endFromJson(*a);
        auto eb = endFromJson(*b);
        if (!ea || !eb) continue;
        l.a = std::move(*ea);
        l.b = std::move(*eb);
        out.push_back(std::move(l));
    }
    return out;
}

bool saveLinks(const std::vector<DocLink>& links) {
    json arr = json::array();
    for (const auto& l : links) arr.push_back(linkToJson(l));
    return writeFileAtomic(linksStorePath(), dumpJson(arr, 2)).ok();
}

std::vector<DocLink> linksInvolving(const std::string& path) {
    std::vector<DocLink> out;
    for (auto& l : loadLinks())
        if (l.a.path == path || l.b.path == path) out.push_back(std::move(l));
    return out;
}

bool setLinkNote(const std::string& id, const std::string& note) {
    auto links = loadLinks();
    for (auto& l : links) {
        if (l.id != id) continue;
        l.note = note;
        return saveLinks(links);
    }
    return false;
}

bool deleteLink(const std::string& id) {
    auto links = loadLinks();
    auto before = links.size();
    std::erase_if(links, [&](const DocLink& l) { return l.id == id; });
    return links.size() != before && saveLinks(links);
}

std::string reloadLinksScript() {
    return PageScript::call("cvlReloadLinks", "");
}

std::string linkModeOffScript() {
    return PageScript::call("cvlLinkMode", "false,''");
}

std::string linkModeOnScript(const std::string& docName) {
    return PageScript::call("cvlLinkMode", "true," + PageScript::single(docName));
}

std::string linksScript(const std::string& selfPath, const std::vector<DocLink>& links,
                        const std::optional<std::pair<std::string, std::string>>& focus) {
    json arr = json::array();
    for (const auto& l : links) arr.push_back(linkToJson(l));
    json doc{{"self", selfPath}, {"links", std::move(arr)}};
    if (focus) doc["focus"] = json{{"id", focus->first}, {"end", focus->second}};
    // Base64 keeps any text of the documents out of the script's own syntax.
    return PageScript::call("cvlLinks", "JSON.parse(decodeURIComponent(escape(atob('" +
                                            base64Encode(dumpJson(doc)) + "'))))");
}

std::string linksExportMarkdown(const std::string& docPath) {
    auto links = linksInvolving(docPath);
    if (links.empty()) return "";
    std::string md = "\n## Cross-document links\n\n_" + std::to_string(links.size()) +
                     " connection" + (links.size() == 1 ? "" : "s") +
                     " \u00b7 exported by Corvello_\n\n";
    for (const auto& l : links) {
        const LinkEnd& here = l.a.path == docPath ? l.a : l.b;
        const LinkEnd& other = l.a.path == docPath ? l.b : l.a;
        md += "- **" + lastPathComponent(other.path) + "**, page " + std::to_string(other.page);
        if (here.page > 0) md += " (from page " + std::to_string(here.page) + " here)";
        md += "\n";
        if (!other.text.empty()) md += "  > " + other.text + "\n";
        if (!l.note.empty()) md += "  **Note:** " + l.note + "\n";
    }
    return md;
}

std::optional<LinkSession::Effects> LinkSession::begin(const std::optional<LinkEnd>& end,
                                                       const std::string& docName) {
    if (!end) return std::nullopt;
    pending_ = end;
    return Effects{{linkModeOnScript(docName)}, kLinkingToast, std::nullopt};
}

std::optional<LinkSession::Effects> LinkSession::finish(const std::optional<LinkEnd>& end,
                                                        std::optional<double> now) {
    if (!end || !pending_) return std::nullopt;
    DocLink link{newUuid(), *pending_, *end, "", now ? *now : nowSeconds()};
    auto links = loadLinks();
    links.push_back(link);
    if (!saveLinks(links)) {
        // The pending end stays, so that Link here can be tried again.
        return Effects{{}, kLinkNotSavedToast, std::nullopt};
    }
    pending_.reset();
    return Effects{{linkModeOffScript(), reloadLinksScript()}, kLinkCreatedToast, std::move(link)};
}

LinkSession::Effects LinkSession::cancel() {
    pending_.reset();
    return Effects{{linkModeOffScript()}, "", std::nullopt};
}

void LinkSession::setFocus(const std::string& targetPath, const std::string& id,
                           const std::string& end) {
    focus_ = Focus{targetPath, id, end};
}

std::string LinkSession::sendLinksScript(const std::string& selfPath) {
    std::optional<std::pair<std::string, std::string>> focus;
    if (focus_ && focus_->path == selfPath) {
        focus = std::make_pair(focus_->id, focus_->end);
        focus_.reset();
    }
    return linksScript(selfPath, loadLinks(), focus);
}

}  // namespace cvl
