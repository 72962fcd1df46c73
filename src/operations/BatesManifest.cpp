#include "operations/BatesManifest.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"

namespace cvl::BatesStamper {

namespace {

using nlohmann::json;

json settingsJson(const ManifestSettings& s) {
    return json{{"prefix", s.prefix},          {"start", s.start},       {"pad", s.pad},
                {"position", s.position},      {"fontSize", s.fontSize}, {"margin", s.margin},
                {"nameByBates", s.nameByBates}};
}

json docJson(const ManifestDoc& d) {
    return json{{"source", d.source},    {"output", d.output}, {"pages", d.pages},
                {"begin", d.begin},      {"end", d.end},       {"beginLabel", d.beginLabel},
                {"endLabel", d.endLabel}};
}

json runJson(const ManifestRun& r) {
    json docs = json::array();
    for (const auto& d : r.documents) docs.push_back(docJson(d));
    return json{{"timestamp", r.timestamp},
                {"settings", settingsJson(r.settings)},
                {"settingsHash", r.settingsHash},
                {"documents", docs},
                {"begin", r.begin},
                {"end", r.end},
                {"beginLabel", r.beginLabel},
                {"endLabel", r.endLabel}};
}

// Reads `key` of `object` into `out` when present; a value of the wrong type throws, so that a
// damaged manifest is not half-read.
template <class T>
void read(const json& object, const char* key, T& out) {
    auto it = object.find(key);
    if (it != object.end() && !it->is_null()) out = it->get<T>();
}

ManifestSettings settingsFrom(const json& j) {
    ManifestSettings s;
    read(j, "prefix", s.prefix);
    read(j, "start", s.start);
    read(j, "pad", s.pad);
    read(j, "position", s.position);
    read(j, "fontSize", s.fontSize);
    read(j, "margin", s.margin);
    read(j, "nameByBates", s.nameByBates);
    return s;
}

ManifestDoc docFrom(const json& j) {
    ManifestDoc d;
    read(j, "source", d.source);
    read(j, "output", d.output);
    read(j, "pages", d.pages);
    read(j, "begin", d.begin);
    read(j, "end", d.end);
    read(j, "beginLabel", d.beginLabel);
    read(j, "endLabel", d.endLabel);
    return d;
}

ManifestRun runFrom(const json& j) {
    ManifestRun r;
    read(j, "timestamp", r.timestamp);
    if (j.contains("settings")) r.settings = settingsFrom(j.at("settings"));
    read(j, "settingsHash", r.settingsHash);
    if (j.contains("documents"))
        for (const auto& d : j.at("documents")) r.documents.push_back(docFrom(d));
    read(j, "begin", r.begin);
    read(j, "end", r.end);
    read(j, "beginLabel", r.beginLabel);
    read(j, "endLabel", r.endLabel);
    return r;
}

// A CSV field: as it is unless it holds a comma, a quote or a line break.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csvQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string encodeManifest(const Manifest& m) {
    json runs = json::array();
    for (const auto& r : m.runs) runs.push_back(runJson(r));
    json assigned = json::array();
    for (const auto& a : m.assigned)
        assigned.push_back(json{{"begin", a.begin}, {"end", a.end}, {"timestamp", a.timestamp}});
    json sources = json::object();
    for (const auto& [source, what] : m.sources) sources[source] = what;
    json root{{"tool", m.tool},       {"schema", m.schema}, {"runs", runs},
              {"assigned", assigned}, {"sources", sources}, {"nextNumber", m.nextNumber}};
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<Manifest> decodeManifest(std::string_view text) {
    try {
        json root = json::parse(text);
        if (!root.is_object()) return std::nullopt;
        Manifest m;
        read(root, "tool", m.tool);
        read(root, "schema", m.schema);
        if (root.contains("runs"))
            for (const auto& r : root.at("runs")) m.runs.push_back(runFrom(r));
        if (root.contains("assigned"))
            for (const auto& a : root.at("assigned")) {
                AssignedRange range;
                range.begin = a.at("begin").get<long long>();
                range.end = a.at("end").get<long long>();
                read(a, "timestamp", range.timestamp);
                m.assigned.push_back(range);
            }
        read(root, "sources", m.sources);
        read(root, "nextNumber", m.nextNumber);
        return m;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

Manifest loadManifest(const std::string& dir) {
    auto text = readFile(dir + "/" + kManifestName);
    if (!text) return Manifest{};
    return decodeManifest(*text).value_or(Manifest{});
}

bool manifestUnreadable(const std::string& dir) {
    auto text = readFile(dir + "/" + kManifestName);
    return text && !decodeManifest(*text);
}

ManifestSettings manifestSettings(const BatesConfig& c) {
    ManifestSettings s;
    s.prefix = c.prefix;
    s.start = c.start;
    s.pad = c.pad;
    s.position = BatesPositions::raw(c.position);
    s.fontSize = static_cast<long long>(c.fontSize);
    s.margin = static_cast<long long>(c.margin);
    s.nameByBates = c.nameByBates;
    return s;
}

long long maxAssigned(const Manifest& m) {
    long long top = 0;
    for (const auto& a : m.assigned) top = std::max(top, a.end);
    return top;
}

StartChoice chooseStart(const Manifest& m, const BatesConfig& config,
                        std::optional<long long> explicitStart) {
    const long long maxEnd = maxAssigned(m);
    if (!explicitStart) {
        if (m.assigned.empty()) return {config.start, std::nullopt};
        return {std::max(config.start, maxEnd + 1), std::nullopt};
    }
    const long long start = *explicitStart;
    for (const auto& a : m.assigned) {
        if (start < a.begin || start > a.end) continue;
        return {start, "Bates " + config.label(start) + " is already assigned (" +
                           config.label(a.begin) + "\u2013" + config.label(a.end) + "). Start at " +
                           config.label(maxEnd + 1) + " or later."};
    }
    return {start, std::nullopt};
}

std::string loadFileCsv(const Manifest& m) {
    std::string out = "BegBates,EndBates,Pages,OriginalFile,StampedFile\n";
    for (const auto& run : m.runs)
        for (const auto& d : run.documents)
            out += csvField(d.beginLabel) + "," + csvField(d.endLabel) + "," +
                   std::to_string(d.pages) + "," + csvQuoted(lastPathComponent(d.source)) + "," +
                   csvQuoted(lastPathComponent(d.output)) + "\n";
    return out;
}

}  // namespace cvl::BatesStamper
