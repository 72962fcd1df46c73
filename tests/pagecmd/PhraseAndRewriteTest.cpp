// Canonical phrases of commands, and when a rewrite of typed text may be carried out.
#include "GrammarTestSupport.h"

namespace cvl::test {
namespace {

using PC = PageCommand;
using PageCommandParser::acceptRewrite;

// Phrases the grammar's clarifying options do not already spell out (those are checked with
// the rules); every phrase reading back as its command is a property test.
TEST(Phrases, EachOpHasItsCanonicalText) {
    EXPECT_EQ(PC::rotate({1, 3}, 180).phrase(), "rotate pages 1,3 180 degrees");
    EXPECT_EQ(PC::remove({2, 4, 6}).phrase(), "delete pages 2,4,6");
    EXPECT_EQ(PC::reorder({3, 1, 2}).phrase(), "reorder pages 3,1,2");
    EXPECT_EQ(PC::split({3, 7}).phrase(), "split after pages 3,7");
    EXPECT_EQ(PC::compress().phrase(), "compress");
    EXPECT_EQ(PC::merge({"/tmp/a.pdf"}).phrase(), "merge");
}

TEST(Phrases, PageListsForCommandsAndForReading) {
    EXPECT_EQ(pagesPhrase({3, 4}), "pages 3-4");
    EXPECT_EQ(pagesPhrase({4, 3}), "pages 4,3");  // descending is no run
    EXPECT_EQ(pagesHuman({2}), "page 2");
    EXPECT_EQ(pagesHuman({2, 4}), "pages 2 and 4");
    EXPECT_EQ(pagesHuman({2, 3}), "pages 2 and 3");
    EXPECT_EQ(pagesHuman({2, 4, 6}), "pages 2, 4 and 6");
    EXPECT_EQ(pagesHuman({2, 3, 4, 5}), "pages 2-5");
    EXPECT_TRUE(contiguous({5}));
    EXPECT_TRUE(contiguous({5, 6, 7}));
    EXPECT_FALSE(contiguous({5, 7}));
    EXPECT_FALSE(contiguous({}));
}

TEST(Phrases, RawNamesRoundTrip) {
    for (PC::Op op : PC::allOps()) EXPECT_EQ(PC::opFromRawName(PC::rawName(op)), op);
    EXPECT_FALSE(PC::opFromRawName("Delete").has_value());
}

const char* kNotGrounded =
    "I couldn't tell exactly what to do. Try, for example, “delete pages 3 to 5” or “split after "
    "page 10”.";

PageCommandParse accept(const std::string& typed, const std::string& phrase, int n = 10,
                        int current = 1) {
    return acceptRewrite(typed, phrase, n, current, {});
}

TEST(RewriteAcceptance, NumbersMustHaveBeenTyped) {
    EXPECT_TRUE(isCommand(accept("get rid of pages three through five", "delete pages 3-5"),
                          PC::remove({3, 4, 5})));
    EXPECT_TRUE(isClarify(accept("get rid of page three", "delete pages 3-5"), kNotGrounded, {}));
    EXPECT_TRUE(isCommand(accept("lose the third page", "delete page 3"), PC::remove({3})));
    // The page count stands for "the last page".
    EXPECT_TRUE(isCommand(accept("trash the final page", "delete page 10"), PC::remove({10})));
    EXPECT_TRUE(isClarify(accept("trash a page", "delete page 10"), kNotGrounded, {}));
}

TEST(RewriteAcceptance, TheOpMustHaveBeenAskedFor) {
    EXPECT_TRUE(isClarify(accept("turn page 2", "rotate page 2 left"), kNotGrounded, {}));
    EXPECT_TRUE(
        isCommand(accept("turn page 2 to the left", "rotate page 2 left"), PC::rotate({2}, -90)));
    // A different kind of change than the one typed.
    EXPECT_TRUE(isClarify(accept("rotate page 2 left", "delete page 2"), kNotGrounded, {}));
    // No word of the op at all.
    EXPECT_TRUE(isClarify(accept("page 2 please", "duplicate page 2"), kNotGrounded, {}));
    EXPECT_TRUE(isCommand(accept("page 2 twice please", "duplicate page 2"), PC::duplicate(2)));
    // Short words count only as whole words; longer ones as word starts.
    EXPECT_TRUE(isClarify(accept("page 2 gone", "delete page 2"), kNotGrounded, {}));
    EXPECT_TRUE(isCommand(accept("page 2 can go", "delete page 2"), PC::remove({2})));
    EXPECT_TRUE(
        isCommand(accept("page 2 rotated clockwise", "rotate page 2 right"), PC::rotate({2}, 90)));
    // Merging is never accepted from a rewrite.
    EXPECT_TRUE(isClarify(accept("merge", "merge"), kNotGrounded, {}));
    // Negations refuse even when the rewrite itself is plain.
    EXPECT_TRUE(
        isClarify(accept("delete page 2 but keep page 3", "delete page 2"), kNotGrounded, {}));
}

TEST(RewriteAcceptance, WholeDocumentAndSpecialFormsNeedTheirWords) {
    EXPECT_TRUE(isClarify(accept("rotate pages one to ten right", "rotate pages 1-10 right"),
                          kNotGrounded, {}));
    EXPECT_TRUE(isCommand(accept("rotate all pages one to ten right", "rotate pages 1-10 right"),
                          PC::rotate(range(1, 10), 90)));
    // Numbers are grounded first: "all" alone does not name page 1.
    EXPECT_TRUE(
        isClarify(accept("rotate all pages right", "rotate pages 1-10 right"), kNotGrounded, {}));
    EXPECT_TRUE(isClarify(accept("split it", "split into single pages"), kNotGrounded, {}));
    EXPECT_TRUE(
        isCommand(accept("split into one page files", "split into single pages"), PC::split({})));
    EXPECT_TRUE(isClarify(accept("swap pages 1 and 2", "reorder pages 2,1", 2), kNotGrounded, {}));
    EXPECT_TRUE(isCommand(accept("put pages 1 and 2 in reverse", "reorder pages 2,1", 2),
                          PC::reorder({2, 1})));
    EXPECT_TRUE(isClarify(accept("add a blank page", "add a blank page at the beginning"),
                          kNotGrounded, {}));
    EXPECT_TRUE(isCommand(accept("blank page on top", "add a blank page at the beginning"),
                          PC::insertBlank(0)));
    EXPECT_TRUE(isCommand(accept("blank page at the end", "add a blank page after page 10"),
                          PC::insertBlank(10)));
    EXPECT_TRUE(isCommand(accept("turn page 2 180 degrees", "rotate page 2 180 degrees"),
                          PC::rotate({2}, 180)));
    EXPECT_TRUE(
        isCommand(accept("turn page 2 around", "rotate page 2 180 degrees"), PC::rotate({2}, 180)));
    EXPECT_TRUE(isClarify(accept("turn page 2", "rotate page 2 180 degrees"), kNotGrounded, {}));
}

TEST(RewriteAcceptance, PhrasesThatAreNotCommandsComeBackUnchanged) {
    EXPECT_TRUE(isRefuse(accept("delete page 12", "delete page 12"),
                         "This document has 10 pages, so there is no page 12."));
    EXPECT_TRUE(isKind(accept("what is this", "hello"), PageCommandParse::Kind::notACommand));
}

}  // namespace
}  // namespace cvl::test
