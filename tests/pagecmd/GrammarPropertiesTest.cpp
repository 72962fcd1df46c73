// Properties over many generated inputs: canonical forms always read as commands, and every
// command's phrase reads back as that same command.
#include <algorithm>
#include <random>

#include "GrammarTestSupport.h"

namespace cvl::test {
namespace {

using PC = PageCommand;

class Generator {
  public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool coin() { return between(0, 1) == 1; }
    template <class T>
    const T& pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(between(0, static_cast<int>(items.size()) - 1))];
    }

    // A non-empty ascending subset of first…last with at most `most` pages.
    std::vector<int> subset(int first, int last, int most) {
        std::vector<int> all = range(first, last);
        std::shuffle(all.begin(), all.end(), rng_);
        const int size = between(1, std::min(most, static_cast<int>(all.size())));
        std::vector<int> pages(all.begin(), all.begin() + size);
        std::sort(pages.begin(), pages.end());
        return pages;
    }
    // Sometimes a contiguous run, which the phrase writes as a range.
    std::vector<int> pages(int first, int last, int most) {
        if (coin()) return subset(first, last, most);
        const int size = between(1, std::min(most, last - first + 1));
        const int start = between(first, last - size + 1);
        return range(start, start + size - 1);
    }
    std::vector<int> permutation(int n) {
        std::vector<int> order = range(1, n);
        std::shuffle(order.begin(), order.end(), rng_);
        return order;
    }

    // A valid command for a document of n pages.
    PC command(int n) {
        for (;;) {
            switch (pick(PC::allOps())) {
                case PC::Op::rotate:
                    return PC::rotate(pages(1, n, n), pick(std::vector<int>{90, -90, 180}));
                case PC::Op::delete_:
                    if (n < 2) continue;
                    return PC::remove(pages(1, n, n - 1));
                case PC::Op::extract:
                    if (n < 2) continue;
                    return PC::extract(pages(1, n, n - 1));
                case PC::Op::reorder:
                    if (n < 2) continue;
                    return PC::reorder(permutation(n));
                case PC::Op::duplicate:
                    return PC::duplicate(between(1, n));
                case PC::Op::insertBlank:
                    return PC::insertBlank(between(0, n));
                case PC::Op::split:
                    if (n < 2) continue;
                    return coin() ? PC::split({}) : PC::split(pages(1, n - 1, n - 1));
                case PC::Op::compress:
                    return PC::compress();
                case PC::Op::toImages:
                    return PC::toImages(pages(1, n, n), coin());
                case PC::Op::merge:
                    return PC::merge();
            }
        }
    }

    // The same text as a user might type it: other letter case, a polite lead-in, extra spaces.
    std::string retyped(const std::string& text) {
        static const std::vector<std::string> leads = {
            "", "please ", "Could you ", "can you please ", "I'd like to ", "just ", "Let's "};
        std::string out = pick(leads);
        for (char c : text) {
            if (c == ' ' && coin() && coin()) out += "  ";
            out += (coin() && c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        return out + (coin() ? "" : ".");
    }

  private:
    std::mt19937 rng_;
};

TEST(GrammarProperties, EveryCanonicalFormReadsAsACommandOnTwentyPages) {
    ASSERT_EQ(PageCommandParser::canonicalForms.size(), 22u);
    Generator gen(20260512);
    for (const auto& form : PageCommandParser::canonicalForms) {
        ASSERT_TRUE(isKind(read(form, 20, 1), PageCommandParse::Kind::command)) << form;
        for (int i = 0; i < 200; ++i) {
            const std::string text = gen.retyped(form);
            const int current = gen.between(-2, 25);
            const std::vector<int> selection =
                gen.coin() ? std::vector<int>{} : gen.subset(1, 20, 5);
            const auto r = read(text, 20, current, selection);
            ASSERT_TRUE(isKind(r, PageCommandParse::Kind::command)) << "\"" << text << "\"";
            // The reading does not depend on how it was typed.
            ASSERT_EQ(r, read(form, 20, 1)) << "\"" << text << "\"";
        }
    }
}

TEST(GrammarProperties, EveryCommandPhraseReadsBackAsTheSameCommand) {
    Generator gen(7);
    std::vector<int> opsSeen(PC::allOps().size(), 0);
    for (int i = 0; i < 20000; ++i) {
        const int n = gen.between(1, 45);
        const PC cmd = gen.command(n);
        ++opsSeen[static_cast<std::size_t>(cmd.op)];
        const std::string phrase = cmd.phrase();
        const int current = gen.between(1, n);
        const auto r =
            read(phrase, n, current, gen.coin() ? std::vector<int>{} : gen.subset(1, n, 3));
        ASSERT_TRUE(isCommand(r, cmd)) << "\"" << phrase << "\" on " << n << " pages";
        // The rewrite of a phrase by itself is grounded, except where it needs words the
        // canonical text does not carry (merge, whole-document and reversal forms).
        const auto accepted = PageCommandParser::acceptRewrite(phrase, phrase, n, current, {});
        if (accepted.isCommand()) {
            ASSERT_EQ(accepted.command, cmd) << phrase;
        }
    }
    for (std::size_t op = 0; op < opsSeen.size(); ++op)
        EXPECT_GT(opsSeen[op], 1000) << PC::rawName(static_cast<PC::Op>(op));
}

TEST(GrammarProperties, ArbitraryTextAlwaysGetsOneOutcome) {
    // Random mixes of grammar words, numbers and punctuation: every outcome is well formed.
    static const std::vector<std::string> words = {
        "rotate",   "delete",  "pages",   "page",   "3",       "1-4",      ",",         "and",
        "after",    "before",  "the",     "last",   "first",   "odd",      "all",       "split",
        "every",    "move",    "to",      "front",  "swap",    "save",     "png",       "copy",
        "blank",    "add",     "reverse", "order",  "reorder", "2,1",      "left",      "right",
        "180",      "degrees", "-90",     "twenty", "one",     "selected", "this",      "new",
        "pdf",      "not",     "if",      "please", "into",    "half",     "duplicate", "extract",
        "compress", "merge",   "-",       "&",      "p."};
    Generator gen(99);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const int count = gen.between(1, 9);
        for (int w = 0; w < count; ++w) text += gen.pick(words) + (gen.coin() ? " " : "");
        const int n = gen.between(0, 12);
        const auto r = read(text, n, gen.between(-1, 14),
                            gen.coin() ? std::vector<int>{} : std::vector<int>{2, 40});
        switch (r.kind) {
            case PageCommandParse::Kind::command:
                // A command names only pages of the document.
                for (int p : r.command.pages) ASSERT_TRUE(p >= 1 && p <= n) << text;
                for (int p : r.command.after) ASSERT_TRUE(p >= 1 && p < n) << text;
                if (r.command.op == PC::Op::reorder) {
                    auto sorted = r.command.order;
                    std::sort(sorted.begin(), sorted.end());
                    ASSERT_EQ(sorted, range(1, n)) << text;
                }
                if (r.command.op == PC::Op::insertBlank) {
                    ASSERT_TRUE(r.command.at >= 0 && r.command.at <= n) << text;
                }
                ASSERT_EQ(read(r.command.phrase(), n, 1), r) << text;
                break;
            case PageCommandParse::Kind::clarify:
            case PageCommandParse::Kind::refuse:
                ASSERT_FALSE(r.message.empty()) << text;
                break;
            case PageCommandParse::Kind::notACommand:
            case PageCommandParse::Kind::unreadable:
                ASSERT_TRUE(r.message.empty() && r.options.empty()) << text;
                break;
        }
    }
}

}  // namespace
}  // namespace cvl::test
