// The audit manifest that a Bates output folder keeps: every run, every number range ever
// assigned there, and what each source was stamped as. It is what lets numbering continue across
// runs without assigning a number twice; the CSV load file is made from it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "operations/BatesConfig.h"

namespace cvl {

struct ManifestSettings {
    std::string prefix;
    long long start = 1;
    int pad = 6;
    std::string position = "bottomRight";  // raw value
    long long fontSize = 10;
    long long margin = 24;
    bool nameByBates = true;
};

struct ManifestDoc {
    std::string source;  // path
    std::string output;  // path
    long long pages = 0;
    long long begin = 0;
    long long end = 0;
    std::string beginLabel;
    std::string endLabel;
};

struct ManifestRun {
    std::string timestamp;  // 2024-05-01T09:30:00Z
    ManifestSettings settings;
    std::string settingsHash;
    std::vector<ManifestDoc> documents;
    long long begin = 0;
    long long end = 0;
    std::string beginLabel;
    std::string endLabel;
};

struct AssignedRange {
    long long begin = 0;
    long long end = 0;
    std::string timestamp;
};

namespace BatesStamper {

inline constexpr const char* kManifestName = "corvello-bates-manifest.json";
inline constexpr const char* kLoadFileName = "corvello-bates-loadfile.csv";

struct Manifest {
    std::string tool = "Corvello Bates";
    int schema = 1;
    std::vector<ManifestRun> runs;
    std::vector<AssignedRange> assigned;
    std::map<std::string, std::string> sources;  // source path -> what it was stamped as
    long long nextNumber = 1;
};

// The manifest text: pretty-printed, keys sorted.
std::string encodeManifest(const Manifest& manifest);
// None when the text is not a manifest. Keys that are missing keep their defaults.
std::optional<Manifest> decodeManifest(std::string_view text);

// The manifest in `dir`; a fresh one when there is none or it does not decode.
Manifest loadManifest(const std::string& dir);
// True when `dir` holds a manifest file that does not decode (numbering starts afresh there).
bool manifestUnreadable(const std::string& dir);

ManifestSettings manifestSettings(const BatesConfig& config);

// The highest number ever assigned; 0 when none.
long long maxAssigned(const Manifest& manifest);

// The first number of a run: without an explicit start, config.start or the number after the
// last one assigned, whichever is larger; an explicit start inside an assigned range is refused
// with the collision text.
struct StartChoice {
    long long start = 1;
    std::optional<std::string> collision;
};
StartChoice chooseStart(const Manifest& manifest, const BatesConfig& config,
                        std::optional<long long> explicitStart);

// The load file: a header, then one line per stamped document of every run, oldest first.
std::string loadFileCsv(const Manifest& manifest);

}  // namespace BatesStamper
}  // namespace cvl
