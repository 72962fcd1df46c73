// One exact page operation, as the command grammar reads it from typed English and as the
// page tools carry it out. Page numbers here are 1-based.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvl {

struct PageCommand {
    // Declaration order matters: it is the order of the raw names below.
    enum class Op {
        rotate,
        delete_,
        extract,
        reorder,
        duplicate,
        insertBlank,
        split,
        compress,
        toImages,
        merge
    };

    Op op = Op::compress;
    std::vector<int> pages;  // rotate, delete, extract, duplicate, toImages
    int degrees = 0;         // rotate: 90 (right), -90 (left) or 180
    std::vector<int> after;  // split: pages after which a new part starts; empty = single pages
    std::vector<int> order;  // reorder: the complete new order
    int at = 0;              // insertBlank: pages before the new blank page
    bool jpeg = false;       // toImages: JPEG rather than PNG
    std::vector<std::string> others;  // merge: the other PDFs, chosen by the user

    bool operator==(const PageCommand&) const = default;

    // The raw name of an op ("rotate", "delete", …, "insertBlank", "toImages", "merge").
    static std::string_view rawName(Op op);
    static std::optional<Op> opFromRawName(std::string_view name);
    static const std::vector<Op>& allOps();

    // Builders for each kind of command.
    static PageCommand rotate(std::vector<int> pages, int degrees);
    static PageCommand remove(std::vector<int> pages);  // op delete
    static PageCommand extract(std::vector<int> pages);
    static PageCommand reorder(std::vector<int> order);
    static PageCommand duplicate(int page);
    static PageCommand insertBlank(int at);
    static PageCommand split(std::vector<int> after);
    static PageCommand compress();
    static PageCommand toImages(std::vector<int> pages, bool jpeg);
    static PageCommand merge(std::vector<std::string> others = {});

    // The canonical command text, which the grammar reads back as this same command. It is
    // offered as the answer to clarifying questions and shown in previews.
    std::string phrase() const;
};

// "page 4", "pages 4-6" for an ascending run, otherwise "pages 2,4,6".
std::string pagesPhrase(const std::vector<int>& pages);
// The same list for reading inside a question: "page 4", "pages 4-6", "pages 2 and 4",
// "pages 2, 4 and 6".
std::string pagesHuman(const std::vector<int>& pages);
// True when each page is the previous one plus one (and there is at least one page).
bool contiguous(const std::vector<int>& pages);

}  // namespace cvl
