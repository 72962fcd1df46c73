#include "pagecmd/PageCommand.h"

#include <array>

#include "pagecmd/PageCommandParse.h"

namespace cvl {

namespace {

constexpr std::array<std::string_view, 10> kRawNames = {
    "rotate",      "delete", "extract",  "reorder",  "duplicate",
    "insertBlank", "split",  "compress", "toImages", "merge"};

std::string joined(const std::vector<int>& numbers, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i) out += separator;
        out += std::to_string(numbers[i]);
    }
    return out;
}

}  // namespace

std::string_view PageCommand::rawName(Op op) {
    const auto index = static_cast<std::size_t>(op);
    return index < kRawNames.size() ? kRawNames[index] : std::string_view{};
}

std::optional<PageCommand::Op> PageCommand::opFromRawName(std::string_view name) {
    for (std::size_t i = 0; i < kRawNames.size(); ++i)
        if (kRawNames[i] == name) return static_cast<Op>(i);
    return std::nullopt;
}

const std::vector<PageCommand::Op>& PageCommand::allOps() {
    static const std::vector<Op> ops = {Op::rotate,    Op::delete_,     Op::extract, Op::reorder,
                                        Op::duplicate, Op::insertBlank, Op::split,   Op::compress,
                                        Op::toImages,  Op::merge};
    return ops;
}

PageCommand PageCommand::rotate(std::vector<int> pages, int degrees) {
    PageCommand c;
    c.op = Op::rotate;
    c.pages = std::move(pages);
    c.degrees = degrees;
    return c;
}

PageCommand PageCommand::remove(std::vector<int> pages) {
    PageCommand c;
    c.op = Op::delete_;
    c.pages = std::move(pages);
    return c;
}

PageCommand PageCommand::extract(std::vector<int> pages) {
    PageCommand c;
    c.op = Op::extract;
    c.pages = std::move(pages);
    return c;
}

PageCommand PageCommand::reorder(std::vector<int> order) {
    PageCommand c;
    c.op = Op::reorder;
    c.order = std::move(order);
    return c;
}

PageCommand PageCommand::duplicate(int page) {
    PageCommand c;
    c.op = Op::duplicate;
    c.pages = {page};
    return c;
}

PageCommand PageCommand::insertBlank(int at) {
    PageCommand c;
    c.op = Op::insertBlank;
    c.at = at;
    return c;
}

PageCommand PageCommand::split(std::vector<int> after) {
    PageCommand c;
    c.op = Op::split;
    c.after = std::move(after);
    return c;
}

PageCommand PageCommand::compress() {
    PageCommand c;
    c.op = Op::compress;
    return c;
}

PageCommand PageCommand::toImages(std::vector<int> pages, bool jpeg) {
    PageCommand c;
    c.op = Op::toImages;
    c.pages = std::move(pages);
    c.jpeg = jpeg;
    return c;
}

PageCommand PageCommand::merge(std::vector<std::string> others) {
    PageCommand c;
    c.op = Op::merge;
    c.others = std::move(others);
    return c;
}

std::string PageCommand::phrase() const {
    switch (op) {
        case Op::rotate: {
            const char* way = degrees == 90    ? "right"
                              : degrees == -90 ? "left"
                              : degrees == 180 ? "180 degrees"
                                               : "";
            return "rotate " + pagesPhrase(pages) + " " + way;
        }
        case Op::delete_:
            return "delete " + pagesPhrase(pages);
        case Op::extract:
            return "extract " + pagesPhrase(pages);
        case Op::reorder:
            return "reorder pages " + joined(order, ",");
        case Op::duplicate:
            return "duplicate page " + (pages.empty() ? std::string() : std::to_string(pages[0]));
        case Op::insertBlank:
            return at == 0 ? "add a blank page at the beginning"
                           : "add a blank page after page " + std::to_string(at);
        case Op::split:
            return after.empty() ? "split into single pages" : "split after " + pagesPhrase(after);
        case Op::compress:
            return "compress";
        case Op::toImages:
            return "save " + pagesPhrase(pages) + " as " + (jpeg ? "jpeg" : "png") + " images";
        case Op::merge:
            return "merge";
    }
    return {};
}

bool contiguous(const std::vector<int>& pages) {
    if (pages.empty()) return false;
    for (std::size_t i = 1; i < pages.size(); ++i)
        if (static_cast<long long>(pages[i]) != static_cast<long long>(pages[i - 1]) + 1)
            return false;
    return true;
}

std::string pagesPhrase(const std::vector<int>& pages) {
    if (pages.size() == 1) return "page " + std::to_string(pages[0]);
    if (pages.size() >= 2 && contiguous(pages))
        return "pages " + std::to_string(pages.front()) + "-" + std::to_string(pages.back());
    return "pages " + joined(pages, ",");
}

std::string pagesHuman(const std::vector<int>& pages) {
    if (pages.empty()) return "no pages";
    if (pages.size() == 1) return "page " + std::to_string(pages[0]);
    if (pages.size() >= 3 && contiguous(pages))
        return "pages " + std::to_string(pages.front()) + "-" + std::to_string(pages.back());
    std::string out = "pages ";
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i) out += (i + 1 == pages.size()) ? " and " : ", ";
        out += std::to_string(pages[i]);
    }
    return out;
}

const char* kindName(PageCommandParse::Kind kind) {
    switch (kind) {
        case PageCommandParse::Kind::command:
            return "command";
        case PageCommandParse::Kind::clarify:
            return "clarify";
        case PageCommandParse::Kind::refuse:
            return "refuse";
        case PageCommandParse::Kind::notACommand:
            return "notACommand";
        case PageCommandParse::Kind::unreadable:
            return "unreadable";
    }
    return "notACommand";
}

}  // namespace cvl
