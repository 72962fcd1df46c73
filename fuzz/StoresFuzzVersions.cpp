// The version store keeps its index in its copies' file names: "<mtime>-<size>__<name>".
#include "FuzzSupport.h"
#include "StoresFuzz.h"
#include "memory/VersionStore.h"

namespace cvl::fuzz {

void versionName(std::string_view text) {
    std::string name(text.substr(0, 200));
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name.empty() || name == "." || name == "..") return;
    writeAt(versionStoreDir(documentPath()) + "/" + name, "");
    for (const auto& snapshot : listVersionSnapshots(documentPath()))
        (void)versionMenuItemTitle(snapshot);
}

}  // namespace cvl::fuzz
