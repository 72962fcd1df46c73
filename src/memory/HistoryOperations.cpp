#include "memory/HistoryOperations.h"

#include "memory/CoverThumbs.h"
#include "memory/HistoryStore.h"
#include "platform/TextEscape.h"

namespace cvl {

bool runHistoryOperation(HistoryStore& store, const std::string& op,
                         const std::vector<std::string>& paths,
                         std::function<void(std::string)> reply) {
    auto answer = [&](std::string args) {
        if (reply) reply(std::move(args));
    };
    if (op == "histforget") {
        for (const auto& p : paths) store.forget(p);
        return true;
    }
    if (op == "histfav" || op == "histpin") {
        for (const auto& p : paths) {
            bool on = op == "histfav" ? store.toggleFavorite(p) : store.togglePinned(p);
            answer(jsQuote(p) + "," + (on ? "true" : "false"));
        }
        return true;
    }
    if (op == "histpinclear") {
        store.clearPins();
        answer("");
        return true;
    }
    if (op == "histcovers") {
        HistoryCovers::render(paths, [reply](std::map<std::string, std::string> covers) {
            if (reply) reply(HistoryCovers::coversObject(covers));
        });
        return true;
    }
    return false;
}

}  // namespace cvl
