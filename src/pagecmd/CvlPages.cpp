#include "pagecmd/CvlPages.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "pagecmd/PageCommandFlow.h"
#include "pagecmd/PageCommandRunner.h"

namespace cvl {

namespace {

int usage(const std::string& why) {
    std::fprintf(stderr, "cvl pages: %s\nusage: cvl %s\n", why.c_str(), kCvlPagesUsage);
    return 2;
}

bool parseInt(const std::string& text, int& out) {
    try {
        size_t used = 0;
        out = std::stoi(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

}  // namespace

int cvlPagesMain(const std::vector<std::string>& args) {
    PageCommandFlow::AskRequest request;
    std::vector<std::string> positional;
    bool yes = false;
    bool currentGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--yes") {
            yes = true;
        } else if (a == "--current") {
            if (!value(v) || !parseInt(v, request.current))
                return usage("--current needs a page number");
            currentGiven = true;
        } else if (a == "--selection") {
            if (!value(v)) return usage("--selection needs a list such as 2,5");
            size_t start = 0;
            while (start <= v.size()) {
                size_t comma = v.find(',', start);
                std::string item =
                    v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                int page = 0;
                if (!item.empty()) {
                    if (!parseInt(item, page)) return usage("--selection needs page numbers");
                    request.selection.push_back(page);
                }
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (a == "--original") {
            if (!value(v) || v.empty())
                return usage("--original needs the converted document's path");
            request.original = absolute(v);
        } else if (a == "--with") {
            if (!value(v)) return usage("--with needs a PDF path");
            request.others.push_back(absolute(v));
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return usage("give a FILE and a TEXT");
    request.path = absolute(positional[0]);
    request.text = positional[1];
    if (!currentGiven) request.current = 1;

    nlohmann::json reply;
    auto snap = PageCommandRunner::snapshot(request.path);
    if (!snap) {
        reply = {{"kind", "error"}, {"message", snap.error()}};
    } else {
        request.pageCount = snap->doc.pageCount();
        reply = PageCommandFlow::ask(request);
        if (reply.value("kind", "") == "notACommand")
            reply = {{"kind", "refuse"},
                     {"message",
                      "That isn\u2019t a page command. Try, for example, \u201cdelete "
                      "pages 3 to 5\u201d or \u201csplit after page 10\u201d."}};
        if (yes && reply.value("kind", "") == "preview")
            reply = PageCommandFlow::run(reply.value("id", ""), request.path);
    }
    std::printf("%s\n", reply.dump(2).c_str());
    return reply.value("kind", "") == "error" ? 1 : 0;
}

}  // namespace cvl
