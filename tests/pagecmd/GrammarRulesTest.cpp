// The grammar rule by rule, with the texts that two rules could read.
#include "GrammarTestSupport.h"

namespace cvl::test {
namespace {

using Kind = PageCommandParse::Kind;
using PC = PageCommand;

const char* kNegation =
    "Corvello does one exact change at a time, with no exceptions. Name exactly the pages to "
    "change, for example “delete pages 2 and 4”.";
const char* kCondition =
    "Corvello can't check a condition first. Name exactly the pages to change, for example "
    "“delete page 2”.";
const char* kTwoKinds =
    "That asks for more than one kind of change. Which one should Corvello do? Ask for one at a "
    "time.";

TEST(GrammarLeadIns, PoliteLeadInsReadLikeThePlainCommand) {
    const auto plain = read("rotate page 2 left");
    ASSERT_TRUE(isCommand(plain, PC::rotate({2}, -90)));
    for (const char* text :
         {"Please can you rotate page 2 left", "hey can you please rotate page 2 left",
          "I'd like to rotate page 2 left", "let's just rotate page 2 left",
          "go ahead and rotate page 2 left", "Could you rotate p.2 left?"})
        EXPECT_EQ(read(text), plain) << text;
}

TEST(GrammarLeadIns, QuestionsEmptyTextAndNoDocumentAreNotCommands) {
    for (const char* text : {"what is on page 2", "summarise pages 1-3", "how do I rotate page 2",
                             "please tell me about page 4", "", "   ", "!!!"})
        EXPECT_TRUE(isKind(read(text), Kind::notACommand)) << text;
    EXPECT_TRUE(isKind(read("delete page 2", 0), Kind::notACommand));
    EXPECT_TRUE(isKind(read("delete page 2", -3), Kind::notACommand));
    // A question word that only starts a longer word is no question.
    EXPECT_TRUE(isCommand(read("whatever, delete page 2"), PC::remove({2})));
}

TEST(GrammarLeadIns, TextsWithoutARuleAreUnreadableOnlyWithAnActionWord) {
    EXPECT_TRUE(isKind(read("frobnicate the png"), Kind::unreadable));
    EXPECT_TRUE(isKind(read("rotates"), Kind::unreadable));  // no \b match, but the substring
    EXPECT_TRUE(isKind(read("hello there"), Kind::notACommand));
    EXPECT_TRUE(isKind(read("turn it into a pdf"), Kind::unreadable));
}

TEST(GrammarLeadIns, LongTextsReadLikeShortOnes) {
    const std::string padding(200000, ' ');
    EXPECT_TRUE(isCommand(read("delete" + padding + "page 2"), PageCommand::remove({2})));
    std::string ampersands;
    for (int i = 0; i < 50000; ++i) ampersands += "&\u00e9";
    EXPECT_TRUE(isCommand(read("rotate page 3 left " + ampersands), PageCommand::rotate({3}, -90)));
    EXPECT_TRUE(isKind(read(std::string(100000, '7')), Kind::notACommand));
}

TEST(GrammarFamilies, NegationConditionAndMixedKindsAsk) {
    EXPECT_TRUE(isClarify(read("delete all pages except 3"), kNegation, {}));
    EXPECT_TRUE(isClarify(read("don't delete page 3"), kNegation, {}));
    EXPECT_TRUE(isClarify(read("rotate everything but not page 1"), kNegation, {}));
    EXPECT_TRUE(isClarify(read("rotate page 2 if it is sideways"), kCondition, {}));
    EXPECT_TRUE(isClarify(read("compress it when you can"), kCondition, {}));
    EXPECT_TRUE(isClarify(read("rotate and delete page 2"), kTwoKinds, {}));
    EXPECT_TRUE(isClarify(read("move page 2 and compress"), kTwoKinds, {}));
    // Negation outranks the condition, which outranks mixed kinds.
    EXPECT_TRUE(isClarify(read("if you can, don't rotate or delete page 2"), kNegation, {}));
    EXPECT_TRUE(isClarify(read("rotate and delete page 2 if needed"), kCondition, {}));
}

TEST(GrammarFamilies, NegationWordsOutsideAnyFamilyDoNotBlock) {
    // "keep" is a negation word, but no family word occurs, so the text is simply not a command.
    EXPECT_TRUE(isKind(read("keep going"), Kind::notACommand));
    // A split request with no family conflict still reads.
    EXPECT_TRUE(isCommand(read("break it up into single pages"), PC::split({})));
}

TEST(GrammarSplit, SinglePagesAndHalves) {
    EXPECT_TRUE(isCommand(read("split into single pages"), PC::split({})));
    EXPECT_TRUE(isCommand(read("split page by page"), PC::split({})));
    EXPECT_TRUE(
        isRefuse(read("split into individual pages", 1), "This document has only one page."));
    EXPECT_TRUE(isCommand(read("split in half", 10), PC::split({5})));
    EXPECT_TRUE(isCommand(read("split it into two"), PC::split({5})));
    EXPECT_TRUE(isClarify(read("split in half", 9),
                          "This document has 9 pages, so the halves can't be equal. Where should "
                          "it split?",
                          {"split after page 4", "split after page 5"}));
    EXPECT_TRUE(isRefuse(read("split down the middle", 1), "This document has only one page."));
    // A number besides "into 2" means the halves rule does not apply.
    EXPECT_TRUE(isClarify(read("split page 3 in half"),
                          "Should page 3 start the second file, or end the first one?",
                          {"split before page 3", "split after page 3"}));
}

TEST(GrammarSplit, GroupsOfPages) {
    EXPECT_TRUE(isCommand(read("split every 3 pages", 10), PC::split({3, 6, 9})));
    EXPECT_TRUE(isCommand(read("split into chunks of four"), PC::split({4, 8})));
    EXPECT_TRUE(isCommand(read("split in groups of 5 pages", 11), PC::split({5, 10})));
    EXPECT_TRUE(
        isRefuse(read("split every 10 pages", 10), "Pick a group size smaller than 10 pages."));
    EXPECT_TRUE(
        isRefuse(read("split every 0 pages", 10), "Pick a group size smaller than 10 pages."));
    EXPECT_TRUE(isRefuse(read("split every 99999999999999999999 pages", 10),
                         "Pick a group size smaller than 10 pages."));
}

TEST(GrammarSplit, BeforeAndAfter) {
    EXPECT_TRUE(isCommand(read("split after page 4"), PC::split({4})));
    EXPECT_TRUE(isCommand(read("split after pages 3, 7"), PC::split({3, 7})));
    EXPECT_TRUE(isCommand(read("split before pages 3 and 7"), PC::split({2, 6})));
    EXPECT_TRUE(isCommand(read("split before the last page", 10), PC::split({9})));
    EXPECT_TRUE(isRefuse(read("split before page 1"),
                         "Page 1 is the first page, so there is nothing before it to split off."));
    EXPECT_TRUE(isRefuse(read("split after page 10", 10),
                         "Page 10 is the last page, so there is nothing after it to split off."));
    EXPECT_TRUE(isRefuse(read("split after page 12", 10),
                         "This document has 10 pages, so there is no page 12."));
    EXPECT_TRUE(isRefuse(read("split after page 2", 1),
                         "This document has 1 pages, so there is no page 2."));
    EXPECT_TRUE(isClarify(read("split before or after page 3"),
                          "Before or after? Say one, for example “split after page 5”.", {}));
    EXPECT_TRUE(isClarify(read("split after the selection"),
                          "Split after which page? For example “split after page 5”.", {}));
}

TEST(GrammarSplit, WithoutAPlaceItOffersPlaces) {
    EXPECT_TRUE(isClarify(read("split page 1"),
                          "Should page 1 start the second file, or end the first one?",
                          {"split after page 1"}));
    EXPECT_TRUE(isClarify(read("split the last page", 10),
                          "Should page 10 start the second file, or end the first one?",
                          {"split before page 10"}));
    EXPECT_TRUE(isClarify(read("split this", 10, 4), "Where should it split?",
                          {"split into single pages", "split after page 4"}));
    // On the last page the offer falls back to the middle.
    EXPECT_TRUE(isClarify(read("split this", 9, 9), "Where should it split?",
                          {"split into single pages", "split after page 4"}));
    EXPECT_TRUE(
        isClarify(read("split this", 2), "Where should it split?", {"split into single pages"}));
    EXPECT_TRUE(isClarify(read("cut it into pieces", 10, 20), "Where should it split?",
                          {"split into single pages", "split after page 5"}));
}

TEST(GrammarRotate, DirectionsAndAngles) {
    EXPECT_TRUE(isCommand(read("rotate pages 1-3 right"), PC::rotate({1, 2, 3}, 90)));
    EXPECT_TRUE(isCommand(read("turn page 4 anti-clockwise"), PC::rotate({4}, -90)));
    EXPECT_TRUE(isCommand(read("rotate page 4 clockwise"), PC::rotate({4}, 90)));
    EXPECT_TRUE(isCommand(read("flip page 2 upside-down"), PC::rotate({2}, 180)));
    EXPECT_TRUE(isCommand(read("rotate all pages 180 degrees"), PC::rotate(range(1, 10), 180)));
    EXPECT_TRUE(isCommand(read("rotate the last page 90 degrees right"), PC::rotate({10}, 90)));
    EXPECT_TRUE(isCommand(read("rotate this page cw", 10, 7), PC::rotate({7}, 90)));
}

TEST(GrammarRotate, DisagreementsAsk) {
    EXPECT_TRUE(isClarify(read("rotate page 2 left and right"),
                          "That names more than one direction. Which way should the pages turn?",
                          {}));
    EXPECT_TRUE(isClarify(read("rotate page 2 180 degrees left"),
                          "That names more than one direction. Which way should the pages turn?",
                          {}));
    const char* disagree =
        "That angle and direction disagree. Say “left” or “right” for a quarter turn.";
    EXPECT_TRUE(isClarify(read("rotate page 2 -90 degrees left"), disagree, {}));
    EXPECT_TRUE(isClarify(read("rotate page 2 270 degrees right"), disagree, {}));
}

TEST(GrammarRotate, MissingPagesOrDirectionAsk) {
    EXPECT_TRUE(
        isClarify(read("rotate page 2"), "Which way should page 2 turn?",
                  {"rotate page 2 right", "rotate page 2 left", "rotate page 2 180 degrees"}));
    EXPECT_TRUE(isClarify(
        read("rotate pages 2 and 5 90 degrees"), "Which way should pages 2 and 5 turn?",
        {"rotate pages 2,5 right", "rotate pages 2,5 left", "rotate pages 2,5 180 degrees"}));
    EXPECT_TRUE(
        isClarify(read("rotate", 10, 3), "Which pages should turn, and which way?",
                  {"rotate page 3 right", "rotate page 3 left", "rotate page 3 180 degrees"}));
    EXPECT_TRUE(isClarify(read("rotate left", 4, 3), "Which pages should turn?",
                          {"rotate page 3 left", "rotate pages 1-4 left"}));
    EXPECT_TRUE(isClarify(read("rotate the selected pages right", 4, 2),
                          "No pages are selected. Which pages should turn?",
                          {"rotate page 2 right", "rotate pages 1-4 right"}));
    EXPECT_TRUE(
        isCommand(read("rotate the selected pages right", 4, 2, {3, 1}), PC::rotate({1, 3}, 90)));
}

TEST(GrammarRotate, OutOfRangeUsesTheCountedForm) {
    EXPECT_TRUE(isRefuse(read("rotate page 3 left", 1),
                         "This document has 1 page, so there is no page 3."));
    EXPECT_TRUE(isRefuse(read("rotate pages 0-2 left", 5),
                         "This document has 5 pages, so there is no page 0."));
}

TEST(GrammarImages, PagesFormatsAndDefaults) {
    EXPECT_TRUE(isCommand(read("save pages 2-3 as png images"), PC::toImages({2, 3}, false)));
    EXPECT_TRUE(isCommand(read("export page 4 to JPG"), PC::toImages({4}, true)));
    EXPECT_TRUE(isCommand(read("convert to jpegs", 3), PC::toImages({1, 2, 3}, true)));
    EXPECT_TRUE(isCommand(read("make pictures of the first 2 pages"), PC::toImages({1, 2}, false)));
    EXPECT_TRUE(isRefuse(read("save page 40 as png", 5),
                         "This document has 5 pages, so there is no page 40."));
    EXPECT_TRUE(isClarify(read("save 3 as png images", 5, 2), "Which pages should become images?",
                          {"save page 2 as png images", "save pages 1-5 as png images"}));
    EXPECT_TRUE(isClarify(read("export selected pages as jpeg", 5, 2),
                          "No pages are selected. Which pages should become images?",
                          {"save page 2 as jpeg images", "save pages 1-5 as jpeg images"}));
    // Images going into a PDF are not a request for images.
    EXPECT_TRUE(isKind(read("convert images to a pdf"), Kind::unreadable));
}

TEST(GrammarCompressAndMerge, ReadWithoutPages) {
    for (const char* text :
         {"compress", "shrink it", "make it smaller", "make smaller", "reduce the file size",
          "I need a smaller file", "make it small enough to email"})
        EXPECT_TRUE(isCommand(read(text), PC::compress())) << text;
    for (const char* text :
         {"merge", "combine with another file", "join them", "append another pdf"})
        EXPECT_TRUE(isCommand(read(text), PC::merge())) << text;
}

TEST(GrammarBlankPage, Placement) {
    EXPECT_TRUE(isCommand(read("add a blank page after page 3"), PC::insertBlank(3)));
    EXPECT_TRUE(isCommand(read("insert an empty page before page 3"), PC::insertBlank(2)));
    EXPECT_TRUE(isCommand(read("insert a blank page at page 3"), PC::insertBlank(3)));
    EXPECT_TRUE(isCommand(read("add a blank page at the beginning"), PC::insertBlank(0)));
    EXPECT_TRUE(isCommand(read("put a blank page before page 1"), PC::insertBlank(0)));
    EXPECT_TRUE(isCommand(read("add a blank page at the end", 7), PC::insertBlank(7)));
    EXPECT_TRUE(isCommand(read("add a blank page after the last page", 7), PC::insertBlank(7)));
    EXPECT_TRUE(isClarify(read("add a blank page before page 2 after page 3"),
                          "Before or after that page?", {}));
    EXPECT_TRUE(isRefuse(read("add a blank page after page 9", 1),
                         "This document has 1 page, so there is no page 9."));
    EXPECT_TRUE(isClarify(read("add a blank page", 6, 2), "Where should the blank page go?",
                          {"add a blank page after page 2", "add a blank page at the beginning",
                           "add a blank page after page 6"}));
    EXPECT_TRUE(isClarify(read("insert a blank page after pages 2 and 4", 6, 2),
                          "Where should the blank page go?",
                          {"add a blank page after page 2", "add a blank page at the beginning",
                           "add a blank page after page 6"}));
}

TEST(GrammarDuplicate, OnePageAtATime) {
    EXPECT_TRUE(isCommand(read("duplicate page 2"), PC::duplicate(2)));
    EXPECT_TRUE(isCommand(read("duplicate this page", 10, 6), PC::duplicate(6)));
    EXPECT_TRUE(isClarify(read("duplicate pages 2 and 4"),
                          "Duplicate works on one page at a time. Which one?",
                          {"duplicate page 2", "duplicate page 4"}));
    EXPECT_TRUE(
        isRefuse(read("duplicate page 11"), "This document has 10 pages, so there is no page 11."));
    EXPECT_TRUE(isClarify(read("duplicate the selection", 10, 3),
                          "No pages are selected. Which pages do you mean?", {"duplicate page 3"}));
    EXPECT_TRUE(isClarify(read("duplicate", 10, 3), "Which page should be duplicated?",
                          {"duplicate page 3"}));
}

TEST(GrammarCopy, AsksBetweenDuplicateAndExtract) {
    EXPECT_TRUE(isClarify(read("copy page 2"),
                          "Do you want a second copy of page 2 inside this PDF, or that page in a "
                          "new PDF?",
                          {"duplicate page 2", "extract page 2"}));
    EXPECT_TRUE(isClarify(read("copy pages 2-4"),
                          "Do you want a second copy of pages 2-4 inside this PDF, or those pages "
                          "in a new PDF?",
                          {"extract pages 2-4"}));
    // With a new file named, or without pages, the copy rule steps aside.
    EXPECT_TRUE(isCommand(read("copy pages 2-4 into a new pdf"), PC::extract({2, 3, 4})));
    EXPECT_TRUE(isKind(read("copy this"), Kind::notACommand));
}

TEST(GrammarExtract, PagesIntoANewFile) {
    EXPECT_TRUE(isCommand(read("extract pages 4-6"), PC::extract({4, 5, 6})));
    EXPECT_TRUE(isCommand(read("pull out page 3"), PC::extract({3})));
    EXPECT_TRUE(isCommand(read("save pages 1 and 2 as a separate pdf"), PC::extract({1, 2})));
    EXPECT_TRUE(isCommand(read("save page 5 as pdf"), PC::extract({5})));
    EXPECT_TRUE(isCommand(read("make a new pdf of the last 3 pages"), PC::extract({8, 9, 10})));
    EXPECT_TRUE(isRefuse(read("extract all pages"),
                         "That is every page; the new PDF would be the same as this one."));
    EXPECT_TRUE(
        isRefuse(read("extract page 12"), "This document has 10 pages, so there is no page 12."));
    EXPECT_TRUE(isClarify(read("extract selected", 10, 4),
                          "No pages are selected. Which pages do you mean?", {"extract page 4"}));
    EXPECT_TRUE(isClarify(read("extract", 10, 4), "Which pages should go into the new PDF?",
                          {"extract page 4"}));
}

TEST(GrammarDelete, WholePagesOnly) {
    const char* onPage =
        "Corvello removes whole pages here. To remove something ON a page, use Annotate or Edit. "
        "Which whole pages should go?";
    EXPECT_TRUE(isClarify(read("delete the comments on page 2"), onPage, {}));
    EXPECT_TRUE(isClarify(read("remove the watermark"), onPage, {}));
    EXPECT_TRUE(
        isClarify(read("delete the blank pages"), "Which page numbers should be removed?", {}));
    EXPECT_TRUE(
        isClarify(read("remove the cover page"), "Which page numbers should be removed?", {}));
    // A kind of page named with its number is a plain delete.
    EXPECT_TRUE(isCommand(read("delete the signature page 7"), PC::remove({7})));
}

TEST(GrammarDelete, PagesAndRefusals) {
    EXPECT_TRUE(isCommand(read("delete pages 2, 4 and 6"), PC::remove({2, 4, 6})));
    EXPECT_TRUE(isCommand(read("get rid of pages three through five"), PC::remove({3, 4, 5})));
    EXPECT_TRUE(isCommand(read("drop the odd pages", 5), PC::remove({1, 3, 5})));
    EXPECT_TRUE(
        isRefuse(read("delete all pages"),
                 "That would remove every page. Delete fewer pages, or move the file to the "
                 "Trash in your file manager."));
    EXPECT_TRUE(
        isRefuse(read("delete page 1", 1),
                 "That would remove every page. Delete fewer pages, or move the file to the "
                 "Trash in your file manager."));
    EXPECT_TRUE(
        isRefuse(read("delete page 12"), "This document has 10 pages, so there is no page 12."));
    EXPECT_TRUE(isClarify(read("delete selected pages", 10, 3),
                          "No pages are selected. Which pages do you mean?", {"delete page 3"}));
    EXPECT_TRUE(
        isClarify(read("delete it", 10, 3), "Which pages should be removed?", {"delete page 3"}));
    EXPECT_TRUE(isClarify(read("delete page 3 4", 10, 20), "Which pages should be removed?",
                          {"delete page 10"}));
}

TEST(GrammarReverse, WholeDocumentOrOneRun) {
    EXPECT_TRUE(isCommand(read("reverse the page order", 4), PC::reorder({4, 3, 2, 1})));
    EXPECT_TRUE(isCommand(read("reverse all pages", 3), PC::reorder({3, 2, 1})));
    EXPECT_TRUE(isCommand(read("reverse pages 2-4", 6), PC::reorder({1, 4, 3, 2, 5, 6})));
    EXPECT_TRUE(isRefuse(read("reverse the order", 1), "This document has only one page."));
    EXPECT_TRUE(isRefuse(read("reverse pages 2-8", 6),
                         "This document has 6 pages, so there is no page 7."));
    const char* which =
        "Corvello can reverse the whole document or one run of pages, like “reverse pages 2-4”. "
        "Which pages?";
    EXPECT_TRUE(isClarify(read("reverse pages 2,4", 6), which, {}));
    EXPECT_TRUE(isClarify(read("reverse page 2 order", 6), which, {}));
    // Without "order" or "pages" there is no reversal rule to read it.
    EXPECT_TRUE(isKind(read("reverse it"), Kind::unreadable));
}

TEST(GrammarExplicitOrder, MustListEveryPageOnce) {
    EXPECT_TRUE(isCommand(read("reorder pages 3,1,2", 3), PC::reorder({3, 1, 2})));
    const char* refusal = "A new order has to list every page from 1 to 3 exactly once.";
    EXPECT_TRUE(isRefuse(read("reorder pages 2,1", 3), refusal));
    EXPECT_TRUE(isRefuse(read("reorder pages 1,1,2", 3), refusal));
    EXPECT_TRUE(isRefuse(read("reorder pages 1,2,4", 3), refusal));
}

TEST(GrammarSwap, TwoDifferentPages) {
    EXPECT_TRUE(isCommand(read("swap pages 2 and 4", 5), PC::reorder({1, 4, 3, 2, 5})));
    EXPECT_TRUE(isCommand(read("swap page five with page one", 5), PC::reorder({5, 2, 3, 4, 1})));
    EXPECT_TRUE(isRefuse(read("swap pages 2 and 2"), "Those are the same page."));
    EXPECT_TRUE(isRefuse(read("swap pages 2 and 9", 5),
                         "This document has 5 pages, so there is no page 9."));
    EXPECT_TRUE(isClarify(read("swap page 2"), "Which two pages should swap places?", {}));
    EXPECT_TRUE(
        isClarify(read("swap pages 1, 2 and 3"), "Which two pages should swap places?", {}));
}

TEST(GrammarMove, ToTheEnds) {
    EXPECT_TRUE(isCommand(read("move page 3 to the front", 4), PC::reorder({3, 1, 2, 4})));
    EXPECT_TRUE(isCommand(read("move page 2 to the end", 4), PC::reorder({1, 3, 4, 2})));
    EXPECT_TRUE(
        isCommand(read("move the last page to the beginning", 4), PC::reorder({4, 1, 2, 3})));
    EXPECT_TRUE(isCommand(read("move this page to the bottom", 4, 1), PC::reorder({2, 3, 4, 1})));
    EXPECT_TRUE(isRefuse(read("move page 1 to the front"), "Page 1 is already there."));
    EXPECT_TRUE(isRefuse(read("move the last page to the end"), "Page 10 is already there."));
}

TEST(GrammarMove, NextToAnotherPage) {
    EXPECT_TRUE(
        isCommand(read("move page 3 after page 7", 8), PC::reorder({1, 2, 4, 5, 6, 7, 3, 8})));
    EXPECT_TRUE(
        isCommand(read("move page 7 before page 3", 8), PC::reorder({1, 2, 7, 3, 4, 5, 6, 8})));
    EXPECT_TRUE(isCommand(read("move page 2 after the last page", 4), PC::reorder({1, 3, 4, 2})));
    EXPECT_TRUE(isCommand(read("move the first page after page 2", 4), PC::reorder({2, 1, 3, 4})));
    EXPECT_TRUE(isRefuse(read("move page 3 after page 3"), "A page can't move next to itself."));
    EXPECT_TRUE(isRefuse(read("move page 3 before page 4"), "Page 3 is already there."));
    EXPECT_TRUE(isRefuse(read("move page 3 after page 12"),
                         "This document has 10 pages, so there is no page 12."));
    EXPECT_TRUE(isRefuse(read("move page 12 to the front"),
                         "This document has 10 pages, so there is no page 12."));
}

TEST(GrammarMove, AsksWhenSourceOrTargetIsUnclear) {
    EXPECT_TRUE(isClarify(read("move it"), "Which page should move, and where to?", {}));
    const char* onePlace =
        "Corvello moves one page to one place at a time. Which page, and where should it go?";
    EXPECT_TRUE(isClarify(read("move page 2 and page 3 to the end"), onePlace, {}));
    EXPECT_TRUE(isClarify(read("move page 2 after page 3 before page 5"), onePlace, {}));
    const char* onePage = "Corvello moves one page at a time. Which page, and where should it go?";
    EXPECT_TRUE(isClarify(read("move pages 2-3 to the end"), onePage, {}));
    EXPECT_TRUE(isClarify(read("move page 2 to the end of page 5"), onePage, {}));
    EXPECT_TRUE(isClarify(read("move page 2 after page 3 4"), onePage, {}));
    EXPECT_TRUE(isClarify(read("move page 4"), "Where should page 4 go?",
                          {"move page 4 to the front", "move page 4 to the end"}));
    EXPECT_TRUE(
        isClarify(read("move page 4 after"), "Move page 4 before or after which page?", {}));
}

// Texts that two rules could read are read by the earlier rule.
TEST(GrammarStepOrder, EarlierRulesWin) {
    // Split comes before the page-based rules: "split" with a delete-free text never deletes.
    EXPECT_TRUE(isCommand(read("split after the first page"), PC::split({1})));
    // Images come before compression: an image request that is small enough to email.
    EXPECT_TRUE(
        isCommand(read("save page 2 as png small enough to email"), PC::toImages({2}, false)));
    // Compression comes before merging, and both before the page rules.
    EXPECT_TRUE(isCommand(read("compress pages 2-3"), PC::compress()));
    // Duplicate comes before copy: "duplicate" with "copy" never asks the copy question.
    EXPECT_TRUE(isCommand(read("duplicate page 2 as a copy"), PC::duplicate(2)));
    // Extract comes before delete.
    EXPECT_TRUE(isCommand(read("save page 2 to a new pdf, then remove it"), PC::extract({2})));
    // The blank-page rule goes on when it has no placing verb.
    EXPECT_TRUE(isClarify(read("copy the blank page 3"),
                          "Do you want a second copy of page 3 inside this PDF, or that page in a "
                          "new PDF?",
                          {"duplicate page 3", "extract page 3"}));
    // Reverse comes before the explicit order: a reversed list is read as a run.
    EXPECT_TRUE(isCommand(read("reorder pages 2,1,3 in reverse", 3), PC::reorder({3, 2, 1})));
    // The explicit order comes before swap and move.
    EXPECT_TRUE(isRefuse(read("reorder pages 2,1 then swap", 3),
                         "A new order has to list every page from 1 to 3 exactly once."));
    // Swap comes before move.
    EXPECT_TRUE(isCommand(read("swap and move pages 1 and 2", 3), PC::reorder({2, 1, 3})));
}

}  // namespace
}  // namespace cvl::test
