// libFuzzer target: the JSON files a user (or a damaged disk) can change under the program, read
// the way the program reads them. Byte 0 picks the file; the rest is its content. Any crash,
// sanitizer report or hang is a fault.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "StoresFuzz.h"
#include "app/ClosedTabs.h"
#include "app/Config.h"
#include "app/OpenTabs.h"
#include "app/UserPrefs.h"
#include "memory/DocLinks.h"
#include "memory/HistoryStore.h"
#include "operations/BatesConfig.h"
#include "operations/BatesManifest.h"
#include "platform/UserDirs.h"
#include "search/OcrCache.h"
#include "search/TextExtraction.h"
#include "updates/ZKNoticeStore.h"

namespace cvl::fuzz {

const std::string& documentPath() {
    static const std::string path = writeScratch("doc.pdf", "%PDF-1.4\n");
    return path;
}

}  // namespace cvl::fuzz

namespace {

using namespace cvl;
using fuzz::documentPath;

void history(std::string_view text, const char* file) {
    const std::string dir = fuzz::scratchDir() + "/history";
    fuzz::writeScratch(std::string("history/") + file, text);
    HistoryStore::Options options;
    options.dir = dir;
    options.clock = [] { return 1.7e9; };
    options.scheduleAfter = [](std::chrono::milliseconds, HistoryStore::Task) {};
    HistoryStore store(options);
    (void)store.all();
    (void)store.json(3);
    (void)store.favorites();
    (void)store.isPinned("/a");
    store.record("/tmp/x.pdf", false);
    store.flushNow();
}

void preferences(std::string_view text) {
    fuzz::writeScratch("Library/Application Support/Corvello/preferences.json", text);
    (void)UserPrefs::recentItems();
    (void)UserPrefs::pinnedFolders();
    (void)UserPrefs::quitAlwaysKeepsWindows();
    (void)ZKNoticeStore::load();
    UserPrefs::recordRecent("/tmp/x.pdf", false, 1.7e9);
}

void config(std::string_view text) {
    fuzz::writeScratch("Library/Application Support/Corvello/config.json", text);
    (void)loadConfig();
    (void)cfgBool("remember_closed_tabs", true);
    (void)cfgString("viewer", "app");
    cfgSetBool("fuzz", true);
}

void openTabs(std::string_view text) {
    fuzz::writeScratch("Library/Application Support/Corvello/open-tabs.json", text);
    OpenTabsKeeper keeper;
    keeper.log = [](const std::string&) {};
    if (auto plan = keeper.decideRestore("fuzz-build", 1.7e9)) keeper.finishRestore(*plan, 0, "");
}

void closedTabs(std::string_view text) {
    ClosedTabStack stack(fuzz::writeScratch("closed-tabs.json", text));
    stack.load();
    stack.push(ClosedTab{"reader", {"/tmp/x.pdf"}, std::nullopt, std::nullopt, "x"});
    (void)stack.pop();
}

void links(std::string_view text) {
    fuzz::writeScratch("Library/Application Support/Corvello/links.json", text);
    auto all = loadLinks();
    (void)linksScript("/tmp/x.pdf", all, std::nullopt);
    (void)linksExportMarkdown("/tmp/x.pdf");
    (void)parseLinkEndpoint(std::string(text));
}

void batesManifest(std::string_view text) {
    auto manifest = BatesStamper::decodeManifest(text);
    if (!manifest) return;
    (void)BatesStamper::encodeManifest(*manifest);
    (void)BatesStamper::loadFileCsv(*manifest);
    (void)BatesStamper::chooseStart(*manifest, BatesConfig{}, std::nullopt);
    (void)BatesStamper::chooseStart(*manifest, BatesConfig{}, 5);
}

void ocrCache(std::string_view text) {
    auto key = OcrCache::ocrCacheKey(documentPath());
    if (!key) return;
    fuzz::writeAt(OcrCache::ocrCacheDir() + "/" + *key + ".json", text);
    (void)OcrCache::ocrCacheRead(documentPath());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view text = fuzz::bytesOf(data + 1, size - 1);
    // Each input starts from empty folders.
    fuzz::removeAt(UserDirs::supportDir());
    fuzz::removeAt(fuzz::scratchDir() + "/history");
    switch (data[0] % 12) {
        case 0:
            return history(text, "history.json"), 0;
        case 1:
            return history(text, "favorites.json"), 0;
        case 2:
            return history(text, "pins.json"), 0;
        case 3:
            return preferences(text), 0;
        case 4:
            return config(text), 0;
        case 5:
            return openTabs(text), 0;
        case 6:
            return closedTabs(text), 0;
        case 7:
            return links(text), 0;
        case 8:
            return fuzz::versionName(text), 0;
        case 9:
            return batesManifest(text), 0;
        case 10:
            return ocrCache(text), 0;
        default:
            (void)batesConfigFromPage(text);
            (void)TextExtraction::pointerChunks(fuzz::writeScratch("pointer.glink", text));
            return 0;
    }
}
