#include "memory/HistoryModule.h"

#include "memory/HistoryOperations.h"
#include "window/BridgeDispatch.h"

namespace cvl {

std::vector<std::string> HistoryModule::operations() const {
    return {"histforget", "histfav", "histpin", "histpinclear", "histcovers"};
}

void HistoryModule::handle(const BridgeRequest& r) {
    std::vector<std::string> paths;
    const char* reply = "";
    if (r.op == "histcovers") {
        paths = BridgeDispatch::linesArg(r.url, "p");
        reply = "__cvlCovers";
    } else if (r.op == "histpinclear") {
        reply = "__cvlPinsDone";
    } else {
        auto path = r.path();
        if (!path) return;
        paths.push_back(*path);
        if (r.op == "histfav") reply = "__cvlFavDone";
        if (r.op == "histpin") reply = "__cvlPinDone";
    }
    std::function<void(std::string)> answer;
    if (*reply) answer = [page = r.page, reply](std::string args) { page.call(reply, args); };
    runHistoryOperation(store_, r.op, paths, std::move(answer));
}

}  // namespace cvl
