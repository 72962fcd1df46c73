#include "app/Version.h"

#include "platform/FileIO.h"
#include "platform/UserDirs.h"

namespace cvl {

static std::string trimmed(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string kVersion() {
    for (const std::string& path :
         {UserDirs::resourceDir() + "/VERSION",
          UserDirs::expandTilde("~/.claude/skills/_corvello_use_bundled_engine/app/VERSION")}) {
        if (auto text = readFile(path)) {
            std::string v = trimmed(*text);
            if (!v.empty()) return v;
        }
    }
    return "1.0.0";
}

}  // namespace cvl
