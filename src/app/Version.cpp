#include "app/Version.h"

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "platform/UserDirs.h"

namespace cvl {

std::string kVersion() {
    for (const std::string& path :
         {UserDirs::resourceDir() + "/VERSION", UserDirs::engineOverrideDir() + "/app/VERSION"}) {
        if (auto text = readFile(path)) {
            std::string v = trimmed(*text);
            if (!v.empty()) return v;
        }
    }
    return "1.0.0";
}

}  // namespace cvl
