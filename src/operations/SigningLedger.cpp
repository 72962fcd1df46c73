#include "operations/SigningLedger.h"

#include <nlohmann/json.hpp>

#include "app/Version.h"
#include "operations/OperationPaths.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"

namespace cvl::SigningLedger {

std::string path() {
    return UserDirs::supportDir() + "/signing-ledger.jsonl";
}

Status appendJsonLine(const std::string& file, const std::string& line) {
    if (!makeDirs(parentPath(file)))
        return Failure{"Corvello could not create its support folder."};
    std::string text = readFile(file).value_or("");
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += line + "\n";
    return writeFileAtomic(file, text);
}

Status record(const std::string& source, const std::string& output, int placements) {
    nlohmann::json entry{{"time", isoTimestampNow()},
                         {"source", source},
                         {"output", output},
                         {"placements", placements},
                         {"version", kVersion()}};
    return appendJsonLine(path(), entry.dump());
}

std::vector<std::string> entries() {
    std::vector<std::string> out;
    std::string text = readFile(path()).value_or("");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace cvl::SigningLedger
