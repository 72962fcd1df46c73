// The regular-expression helper: searching, captures, replacement and Unicode handling.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Regex.h"

namespace cvl {
namespace {

TEST(Regex, SearchesAnywhereAndCaptures) {
    const Regex re(R"(\bpages? (\d+)(?:-(\d+))?)");
    ASSERT_TRUE(re.valid());
    EXPECT_TRUE(re.search("delete pages 3-5 now"));
    EXPECT_FALSE(re.search("delete webpages 3"));
    const std::string text = "rotate page 7 left";
    const auto m = re.find(text);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->whole(text), "page 7");
    EXPECT_EQ(m->group(text, 1), "7");
    EXPECT_EQ(m->group(text, 2), "");  // did not take part
    EXPECT_EQ(m->group(text, 9), "");  // no such group
}

TEST(Regex, FindAllAndReplaceAll) {
    const Regex digits(R"(\d+)");
    const std::string text = "12 and 3,45";
    std::vector<std::string> found;
    for (const auto& m : digits.findAll(text)) found.emplace_back(m.whole(text));
    EXPECT_EQ(found, (std::vector<std::string>{"12", "3", "45"}));
    EXPECT_EQ(Regex(R"((\d+)\s*to\s*(\d+))").replaceAll("3 to 5, 7to9", "$1-$2"), "3-5, 7-9");
    EXPECT_EQ(Regex("a").replaceAll("banana", "$$"), "b$n$n$");
    EXPECT_EQ(Regex("x*").replaceAll("ab", "-"), "-a-b-");  // empty matches step forward
    EXPECT_EQ(digits.replaceAll(
                  "a1b22", [](const RegexMatch& m) { return std::to_string(m.end - m.begin); }),
              "a1b2");
}

TEST(Regex, LookBehindAndUnicodeWordBoundaries) {
    const Regex right(R"((?<!counter)\bclockwise\b)", Regex::kUnicode);
    EXPECT_TRUE(right.search("turn clockwise"));
    EXPECT_FALSE(right.search("turn counterclockwise"));
    EXPECT_TRUE(right.search("turn counter clockwise"));
    // With Unicode properties a letter such as é is part of a word.
    EXPECT_FALSE(Regex(R"(\bp\d)", Regex::kUnicode).search("ép5"));
    EXPECT_TRUE(Regex(R"(\bp\d)").search("ép5"));
    EXPECT_TRUE(Regex(R"(p\s\d)", Regex::kUnicode).search("p\u00A05"));
    // Text that is not UTF-8 never matches a Unicode pattern, and nothing crashes.
    EXPECT_FALSE(Regex("a", Regex::kUnicode)
                     .search("\xff"
                             "a"));
}

TEST(Regex, BadPatternsMatchNothing) {
    const Regex bad("(unclosed");
    EXPECT_FALSE(bad.valid());
    EXPECT_FALSE(bad.error().empty());
    EXPECT_FALSE(bad.search("(unclosed"));
    EXPECT_EQ(bad.replaceAll("(unclosed", "x"), "(unclosed");
}

TEST(Regex, OneCompiledPatternServesManyThreads) {
    const Regex re(R"((\d+)-(\d+))", Regex::kUnicode);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::string text = "pages " + std::to_string(i) + "-" + std::to_string(t);
                const auto m = re.find(text);
                if (!m || m->group(text, 1) != std::to_string(i) ||
                    m->group(text, 2) != std::to_string(t))
                    ++wrong[static_cast<std::size_t>(t)];
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace cvl
