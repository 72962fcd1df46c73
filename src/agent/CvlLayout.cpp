#include "agent/CvlLayout.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/pdf/PdfDocument.h"

namespace cvl {
namespace {

using nlohmann::json;

void flatten(const std::vector<PdfOutlineItem>& items, int level, json& out) {
    for (const auto& item : items) {
        json e = {{"title", item.title}, {"level", level}, {"page", nullptr}};
        if (item.destination && item.destination->page >= 0) e["page"] = item.destination->page + 1;
        out.push_back(std::move(e));
        flatten(item.children, level + 1, out);
    }
}

int print(const json& j, int status) {
    std::printf("%s\n", j.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    return status;
}

}  // namespace

int cvlLayoutMain(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "usage: cvl layout FILE.pdf\n");
        return 2;
    }
    std::error_code ec;
    const std::string path = std::filesystem::absolute(args[0], ec).lexically_normal().string();
    auto doc = PdfDocument::openFile(path);
    if (!doc) return print({{"path", path}, {"error", doc.error()}}, 1);
    if (doc->isLocked()) return print({{"path", path}, {"error", "This PDF is locked."}}, 1);
    json outline = json::array();
    flatten(doc->outline(), 1, outline);
    json lines = json::array();
    const int pages = doc->pageCount();
    for (int p = 0; p < pages; ++p) {
        auto text = doc->pageTextWithBoxes(p);
        if (!text) continue;
        for (const auto& line : text->lines) {
            std::string t = text->text.substr(line.begin, line.end - line.begin);
            if (t.find_first_not_of(" \t") == std::string::npos) continue;
            lines.push_back({{"page", p + 1},
                             {"text", std::move(t)},
                             {"size", std::round(line.box.height() * 10) / 10},
                             {"x", std::round(line.box.x0)},
                             {"y", std::round(line.box.y1)}});
        }
        if (pages > 20 && (p + 1) % 20 == 0)
            std::fprintf(stderr, "Read %d of %d pages\n", p + 1, pages);
    }
    return print({{"path", path}, {"pages", pages}, {"outline", outline}, {"lines", lines}}, 0);
}

}  // namespace cvl
