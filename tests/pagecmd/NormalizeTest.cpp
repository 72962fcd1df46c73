// Normalisation, action words and families: the text every rule reads.
#include <gtest/gtest.h>

#include "pagecmd/PageCommandParser.h"

namespace cvl {
namespace {

using PageCommandParser::familiesIn;
using PageCommandParser::looksLikeCommand;
using PageCommandParser::normalize;

TEST(Normalize, CaseDashesAndLiteralRewrites) {
    EXPECT_EQ(normalize("  Rotate   PAGE 2\tLeft  "), "rotate page 2 left");
    EXPECT_EQ(normalize("pages 3\u20135"), "pages 3-5");
    EXPECT_EQ(normalize("pages 3\u20145 and 7\u20128"), "pages 3-5 and 7-8");
    EXPECT_EQ(normalize("turn it Counter-Clockwise"), "turn it counterclockwise");
    EXPECT_EQ(normalize("anti-clockwise or anticlockwise"), "counterclockwise or counterclockwise");
    EXPECT_EQ(normalize("Upside-Down"), "upside down");
    // Unicode lower-casing, then every character outside the grammar becomes a space.
    EXPECT_EQ(normalize("DÉLETE PAGE 2"), "d lete page 2");
    EXPECT_EQ(normalize("\u00C9\u00C9 rotate"), "rotate");
}

TEST(Normalize, PageAbbreviationsAndSymbols) {
    EXPECT_EQ(normalize("delete p.5"), "delete page 5");
    EXPECT_EQ(normalize("delete p 5"), "delete page 5");
    EXPECT_EQ(normalize("delete P5"), "delete page 5");
    EXPECT_EQ(normalize("delete pp 5"), "delete pp 5");  // not a lone "p"
    EXPECT_EQ(normalize("step 5"), "step 5");
    EXPECT_EQ(normalize("pages 2 & 4"), "pages 2 and 4");
    EXPECT_EQ(normalize("don't"), "don t");
    EXPECT_EQ(normalize("let's"), "let s");
    EXPECT_EQ(normalize("rotate page 2, please!"), "rotate page 2, please");
}

TEST(Normalize, NumberWords) {
    EXPECT_EQ(normalize("twenty-one"), "21");
    EXPECT_EQ(normalize("page Forty Nine"), "page 49");
    EXPECT_EQ(normalize("one two ten twenty fifty"), "1 2 10 20 50");
    EXPECT_EQ(normalize("seventeen nineteen"), "17 19");
    // Only whole words turn into numbers.
    EXPECT_EQ(normalize("someone done fifteenth"), "someone done fifteenth");
    // Twenty and a unit above nine are two numbers; tens and tens likewise.
    EXPECT_EQ(normalize("twenty ten"), "20 10");
    EXPECT_EQ(normalize("thirty twenty one"), "30 21");
}

TEST(Normalize, Ranges) {
    EXPECT_EQ(normalize("pages 3 to 5"), "pages 3-5");
    EXPECT_EQ(normalize("pages three through five"), "pages 3-5");
    EXPECT_EQ(normalize("pages 3 thru 5, 7 until 9"), "pages 3-5, 7-9");
    EXPECT_EQ(normalize("pages 3 - 5"), "pages 3-5");
    EXPECT_EQ(normalize("split 10 into 2"), "split 10 into 2");
    EXPECT_EQ(normalize(""), "");
}

TEST(Normalize, MalformedUtf8IsReadAsOtherCharacters) {
    EXPECT_EQ(normalize("delete\xff\xfe page 2"), "delete page 2");
    EXPECT_EQ(normalize("\xc3"), "");
}

TEST(LooksLikeCommand, ActionWordsAsPlainSubstrings) {
    EXPECT_TRUE(looksLikeCommand("frobnicate the PNG"));
    EXPECT_TRUE(looksLikeCommand("pngs"));
    EXPECT_TRUE(looksLikeCommand("Get rid of it"));
    EXPECT_TRUE(looksLikeCommand("save every"));
    EXPECT_TRUE(looksLikeCommand("asap please, rotated"));
    EXPECT_FALSE(looksLikeCommand("hello there"));
    EXPECT_FALSE(looksLikeCommand("save the planet"));
    EXPECT_FALSE(looksLikeCommand(""));
}

TEST(FamiliesIn, EachKindOfChangeIsSpotted) {
    using Set = std::set<std::string>;
    EXPECT_EQ(familiesIn("erase page 2"), Set{"delete"});
    EXPECT_EQ(familiesIn("turn it sideways"), Set{"rotate"});
    EXPECT_EQ(familiesIn("break the document apart"), Set{"split"});
    EXPECT_EQ(familiesIn("put them in order"), Set{"reorder"});
    EXPECT_EQ(familiesIn("shrink"), Set{"compress"});
    EXPECT_EQ(familiesIn("an empty page"), Set{"insertBlank"});
    EXPECT_EQ(familiesIn("duplicate"), Set{"duplicate"});
    EXPECT_EQ(familiesIn("join"), Set{"merge"});
    EXPECT_EQ(familiesIn("photos"), Set{"toImages"});
    EXPECT_EQ(familiesIn("pull out"), Set{"extract"});
    EXPECT_EQ(familiesIn("rotate and delete and merge"), (Set{"delete", "merge", "rotate"}));
    EXPECT_EQ(familiesIn("rotated reordering blanks"), Set{});
}

}  // namespace
}  // namespace cvl
