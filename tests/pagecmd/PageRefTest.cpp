// Page references: which pages a command text names.
#include <gtest/gtest.h>

#include "pagecmd/PageCommandParser.h"

namespace cvl {
namespace {

using PageCommandParser::PageRef;
using Kind = PageRef::Kind;

PageRef ref(const std::string& text, int n = 10, int current = 1, std::vector<int> selection = {}) {
    return PageCommandParser::pageRef(PageCommandParser::normalize(text), n, current, selection);
}
PageRef pages(std::vector<int> list) {
    return {Kind::pages, std::move(list), 0};
}
PageRef outOfRange(int page) {
    return {Kind::outOfRange, {}, page};
}
const PageRef kNone{Kind::none, {}, 0};
const PageRef kEmpty{Kind::empty, {}, 0};
const PageRef kNeedSelection{Kind::needSelection, {}, 0};

TEST(PageRefOddEven, StepThroughTheDocument) {
    EXPECT_EQ(ref("the odd pages", 7), pages({1, 3, 5, 7}));
    EXPECT_EQ(ref("even pages", 7), pages({2, 4, 6}));
    EXPECT_EQ(ref("odd pages", 1), pages({1}));
    EXPECT_EQ(ref("even page", 1), kEmpty);
    EXPECT_EQ(ref("odd pages 3"), kEmpty);  // a stray number
}

TEST(PageRefFirstLast, CountsFromEitherEnd) {
    EXPECT_EQ(ref("the last 3 pages", 10), pages({8, 9, 10}));
    EXPECT_EQ(ref("first two pages", 10), pages({1, 2}));
    EXPECT_EQ(ref("the last page", 10), pages({10}));
    EXPECT_EQ(ref("the first page", 10), pages({1}));
    EXPECT_EQ(ref("first 12 pages", 10), outOfRange(11));
    EXPECT_EQ(ref("last 12 pages", 10), outOfRange(-1));
    EXPECT_EQ(ref("last 0 pages", 10), kEmpty);
    EXPECT_EQ(ref("first 3 pages and page 9", 10), kEmpty);
}

TEST(PageRefExplicit, ListsAndRanges) {
    EXPECT_EQ(ref("pages 2, 4 and 6"), pages({2, 4, 6}));
    EXPECT_EQ(ref("page 3"), pages({3}));
    EXPECT_EQ(ref("pages 3-5 and 9"), pages({3, 4, 5, 9}));
    EXPECT_EQ(ref("pages 5, 3 and page 5"), pages({3, 5}));
    EXPECT_EQ(ref("pages 2 and pages 7-8"), pages({2, 7, 8}));
    EXPECT_EQ(ref("p.4&p.6"), pages({4, 6}));
    EXPECT_EQ(ref("page 12", 10), outOfRange(12));
    EXPECT_EQ(ref("pages 0-3", 10), outOfRange(0));
    EXPECT_EQ(ref("pages 8-15, 12", 10), outOfRange(11));
    // Huge ranges are checked without listing them.
    EXPECT_EQ(ref("pages 3-2000000000", 10), outOfRange(11));
    EXPECT_EQ(ref("page 99999999999999999999", 10), outOfRange(2147483647));
}

TEST(PageRefExplicit, BackwardRangesAndLeftoversAreNotGuessed) {
    EXPECT_EQ(ref("pages 4-2"), kEmpty);
    EXPECT_EQ(ref("pages 1, 4-2"), kEmpty);
    EXPECT_EQ(ref("page 2 and the last page"), kEmpty);
    EXPECT_EQ(ref("page 2 of 10 pages"), kEmpty);
    EXPECT_EQ(ref("page 2 then 4"), kEmpty);
    EXPECT_EQ(ref("page 2 leftover words"), pages({2}));
}

TEST(PageRefContext, CurrentSelectionAndAll) {
    EXPECT_EQ(ref("this page", 10, 7), pages({7}));
    EXPECT_EQ(ref("the current page", 10, 4), pages({4}));
    EXPECT_EQ(ref("selected pages"), kNeedSelection);
    EXPECT_EQ(ref("selected pages", 10, 1, {5, 2, 5}), pages({2, 5}));
    EXPECT_EQ(ref("the selection", 4, 1, {3, 9}), outOfRange(9));
    EXPECT_EQ(ref("these pages 4", 10, 1, {1}), kEmpty);
    EXPECT_EQ(ref("all pages", 3), pages({1, 2, 3}));
    EXPECT_EQ(ref("the whole document", 2), pages({1, 2}));
    EXPECT_EQ(ref("everything", 1), pages({1}));
}

TEST(PageRefNothing, NoneOrEmpty) {
    EXPECT_EQ(ref("delete it"), kNone);
    EXPECT_EQ(ref(""), kNone);
    EXPECT_EQ(ref("delete 4"), kEmpty);
    EXPECT_EQ(ref("pages"), kNone);
}

TEST(PageRefOrder, EarlierRecognisersDecide) {
    // "odd" is tried before an explicit list, so the list's number is stray.
    EXPECT_EQ(ref("odd pages and page 4"), kEmpty);
    // "last 2 pages" is tried before "last page".
    EXPECT_EQ(ref("the last 2 pages", 5), pages({4, 5}));
    // An explicit list is tried before "this page".
    EXPECT_EQ(ref("page 3 not this page", 5, 5), kEmpty);
    // "first page" is tried before the selection.
    EXPECT_EQ(ref("first page of the selection", 5, 1, {2}), pages({1}));
}

TEST(TypedNumbers, DigitsWordsAndOrdinals) {
    using Set = std::set<int>;
    EXPECT_EQ(PageCommandParser::typedNumbers("pages three through five"), (Set{3, 5}));
    EXPECT_EQ(PageCommandParser::typedNumbers("the third and 12th page, twenty-two"),
              (Set{3, 12, 22}));
    EXPECT_EQ(PageCommandParser::typedNumbers("the first and the twentieth"), (Set{1, 20}));
    EXPECT_EQ(PageCommandParser::typedNumbers("no numbers here"), Set{});
}

}  // namespace
}  // namespace cvl
