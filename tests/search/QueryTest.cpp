// Exact and fuzzy queries over an index built from files: matching, ranking, limits and
// snippets.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sqlite3.h>

#include <filesystem>

#include "search/CVSearchIndex.h"
#include "search/IndexQueries.h"
#include "search/SearchFixtures.h"
#include "search/SearchMatching.h"
#include "search/SearchPayloads.h"
#include "search/SqliteDb.h"
#include "support/TempHome.h"

using namespace cvl;

namespace {

class Queries : public ::testing::Test {
  protected:
    test::TempHome home;
    std::string dir = home / "docs";
    CVSearchIndex index{home / "idx.db"};

    void build(const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [name, text] : files) test::writeText(dir + "/" + name, text);
        ASSERT_TRUE(index.reindex({dir}, {}));
    }
};

std::vector<std::string> matches(const CVDocResult& d) {
    std::vector<std::string> out;
    for (const auto& h : d.hits) out.push_back(h.match);
    return out;
}

nlohmann::json asJson(const std::vector<CVDocResult>& docs) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& d : docs) out.push_back(SearchPayloads::docResultJson(d));
    return out;
}

}  // namespace

// Searches read through a connection kept open with its statement prepared: repeating a search
// between others answers alike, and writes of later runs (also another connection's, as from
// another process) are seen by the next search.
TEST_F(Queries, TheKeptReaderRepeatsItsAnswersAndSeesLaterWrites) {
    build({{"a.txt", "ledger entry one\nledger entry two\n"}, {"b.md", "the ledger closes\n"}});
    const auto exact = asJson(index.searchExact("ledger"));
    const auto fuzzy = asJson(index.searchFuzzy("ledgre"));
    ASSERT_EQ(exact.size(), 2u);
    ASSERT_FALSE(fuzzy.empty());
    EXPECT_TRUE(index.searchExact("nothing like it").empty());
    EXPECT_EQ(asJson(index.searchExact("ledger")), exact);
    EXPECT_EQ(asJson(index.searchFuzzy("ledgre")), fuzzy);

    test::writeText(dir + "/c.txt", "a third ledger\n");
    ASSERT_TRUE(index.reindex({dir}, {}).ok());
    EXPECT_EQ(index.searchExact("ledger").size(), 3u);

    CVSearchIndex other(index.dbPath());
    std::filesystem::remove(dir + "/a.txt");
    ASSERT_TRUE(other.reindex({dir}, {}).ok());
    EXPECT_EQ(index.searchExact("ledger").size(), 2u);
}

// An index run killed while its file was still in rollback-journal mode (as when it is being
// created) leaves a hot journal, which a read-only connection may not roll back. A reader
// recovers it and answers from the last committed state instead of finding nothing.
TEST(IndexReader, RecoversWhatAKilledWriterLeft) {
    test::TempHome home;
    const std::string dir = home / "docs", db = home / "idx.db", copy = home / "copy.db";
    test::writeText(dir + "/a.txt", "ledger entry one\n");
    test::writeText(dir + "/b.md", "the ledger closes\n");
    ASSERT_TRUE(CVSearchIndex(db).reindex({dir}, {}).ok());
    {
        SqliteConnection writer(db);
        ASSERT_TRUE(
            writer.exec("PRAGMA journal_mode=DELETE; PRAGMA cache_size=1; BEGIN;"
                        "DELETE FROM chunk; DELETE FROM files;"));
        // The files as a writer killed at this moment leaves them: no process holds a lock.
        std::filesystem::copy_file(db, copy);
        std::filesystem::copy_file(db + "-journal", copy + "-journal");
        writer.exec("ROLLBACK;");
    }
    auto reader = IndexQueries::openReader(copy);
    ASSERT_TRUE(IndexQueries::hasIndex(*reader));
    EXPECT_EQ(IndexQueries::searchExact(*reader, "ledger").size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(copy + "-journal"));
}

TEST_F(Queries, ExactIsCaseInsensitiveForNonAsciiWithoutFoldingDiacritics) {
    build({{"fr.txt", "Une école à Paris\n"},
           {"plain.txt", "an ecole without accent\n"},
           {"greek.md", "ΣΟΦΊΑ and σοφία\n"}});
    auto r = index.searchExact("ÉCOLE");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].name, "fr.txt");
    EXPECT_EQ(r[0].type, "text");
    EXPECT_EQ(matches(r[0]), std::vector<std::string>{"école"});
    EXPECT_EQ(r[0].hits[0].anchor, "L1");
    EXPECT_EQ(r[0].hits[0].atype, "line");

    auto g = index.searchExact("σοφία");
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(g[0].count, 2);
    EXPECT_EQ(matches(g[0]), (std::vector<std::string>{"ΣΟΦΊΑ", "σοφία"}));
    EXPECT_EQ(g[0].type, "md");
}

TEST_F(Queries, ShortQueriesAndQuotesInPhrases) {
    build({{"q.txt", "He said \"stop\" twice\nno quotes here: stop\n"}});
    EXPECT_TRUE(index.searchExact("  st  ").empty());  // trimmed to two characters
    auto r = index.searchExact("\"stop\"");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].count, 1);
    EXPECT_EQ(r[0].hits[0].match, "\"stop\"");
    EXPECT_EQ(SearchMatching::exactExpression("a\"b"), "\"a\"\"b\"");
}

TEST_F(Queries, PerChunkAndPerDocumentLimits) {
    std::string many;
    for (int i = 0; i < 50; ++i) many += "token ";
    build({{"many.txt", many + "\n"}});
    auto r = index.searchExact("token");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].count, 40);
    EXPECT_EQ(r[0].hits.size(), 40u);
    auto small = index.searchExact("token", 300, 5);
    EXPECT_EQ(small[0].count, 5);
}

TEST_F(Queries, DocumentsSortByCountAndKeepRankOrderOnTies) {
    build({{"a.txt", "merger\n"},
           {"b.txt", "merger\nmerger\nmerger\n"},
           {"c.txt", "merger merger merger merger merger merger merger merger\n"}});
    auto r = index.searchExact("merger");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].name, "c.txt");
    EXPECT_EQ(r[0].count, 8);
    EXPECT_EQ(r[1].name, "b.txt");
    EXPECT_EQ(r[2].name, "a.txt");
    EXPECT_EQ(index.searchExact("merger", 2).size(), 2u);

    // group() keeps first-appearance order for equal counts.
    std::vector<SearchRow> rows = {{"/z.txt", "line", "L1", 0, "lease"},
                                   {"/y.txt", "line", "L1", 0, "lease"},
                                   {"/z.txt", "line", "L2", 0, "no hit"}};
    auto g = SearchMatching::group(rows, "lease", false, 300, 40);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].path, "/z.txt");
    EXPECT_EQ(g[1].path, "/y.txt");
}

TEST_F(Queries, FuzzyFindsATransposedWordButNothingUnrelated) {
    build({{"contract.txt", "The indemnification clause applies\n"}, {"other.txt", "xyz qwv\n"}});
    EXPECT_TRUE(index.searchExact("indemnifciation").empty());
    auto r = index.searchFuzzy("indemnifciation");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].name, "contract.txt");
    EXPECT_TRUE(r[0].fuzzy);
    // Windows that score the same keep the earliest: the two-word window starting at "The"
    // shares as many trigrams and is within eight characters of the query's length.
    EXPECT_EQ(r[0].hits[0].match, "The indemnification");
    EXPECT_TRUE(r[0].hits[0].fuzzy);
    EXPECT_EQ(r[0].hits[0].snippet, "The indemnification clause applies");
}

TEST(Matching, TrigramsOverGraphemeClusters) {
    EXPECT_EQ(SearchMatching::trigrams("AbcA"), (std::vector<std::string>{"abc", "bca"}));
    EXPECT_EQ(SearchMatching::trigrams("a\"bcd"), std::vector<std::string>{"bcd"});
    EXPECT_TRUE(SearchMatching::trigrams("ab").empty());
    // "e" + combining acute is one character: three clusters give one trigram.
    EXPECT_EQ(SearchMatching::trigrams("Ce\u0301s"), std::vector<std::string>{"ce\u0301s"});
    EXPECT_EQ(SearchMatching::trigrams("a bb"), (std::vector<std::string>{"a b", " bb"}));
}

TEST(Matching, SnippetsAndLocating) {
    std::string body =
        "Start of the text " + std::string(60, 'x') + " the needle here " + std::string(60, 'y');
    auto first = SearchMatching::exactLocate(body, "start", 40);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].match, "Start");
    EXPECT_EQ(first[0].snippet.rfind("Start of the text", 0), 0u);  // no leading ellipsis
    EXPECT_EQ(first[0].snippet.substr(first[0].snippet.size() - 3), "\u2026");

    auto mid = SearchMatching::exactLocate(body, "NEEDLE", 40);
    ASSERT_EQ(mid.size(), 1u);
    EXPECT_EQ(mid[0].snippet, "\u2026" + std::string(43, 'x') + " the needle here " +
                                  std::string(42, 'y') + "\u2026");
    EXPECT_EQ(mid[0].matchAt, 1 + 43 + 5);  // in UTF-16 units, the ellipsis counting one
    // Radius counts characters, not bytes; line breaks become spaces.
    std::string accents = std::string("\u00e9\u00e9\u00e9\n") + "word";
    EXPECT_EQ(SearchMatching::snippet(accents, {7, 11}, 2), "\u2026\u00e9 word");
    EXPECT_EQ(SearchMatching::snippetAround(accents, {7, 11}, 2).matchAt, 3);
    // A decomposed "é" is not an "e".
    EXPECT_TRUE(SearchMatching::exactLocate("cafe\u0301", "cafe", 40).empty());
    // The only characters above ASCII that fold into it: Kelvin sign, long s, dotted and
    // dotless I.
    auto folded = SearchMatching::exactLocate(
        "a \u212Aelvin, a re\u017Fult, an \u0130ndex and an \u0131ndex", "KELVIN", 40);
    ASSERT_EQ(folded.size(), 1u);
    EXPECT_EQ(folded[0].match, "\u212Aelvin");
    EXPECT_EQ(SearchMatching::exactLocate("re\u017Fult", "result", 40).size(), 1u);
    EXPECT_EQ(SearchMatching::exactLocate("\u0130ndex \u0131ndex Index", "index", 40).size(), 3u);
    // Occurrences at every offset of a long body, the last one at its very end.
    std::string longBody;
    for (int i = 0; i < 40; ++i)
        longBody += std::string(static_cast<std::size_t>(i), 'n') + "Needle";
    EXPECT_EQ(SearchMatching::exactLocate(longBody, "nEEDLE", 100).size(), 40u);
    // Clusters around a match: CR LF is one, and so is a letter with a combining mark.
    EXPECT_EQ(SearchMatching::snippet("x\r\ny NEEDLE e\u0301z", {5, 11}, 3),
              "\u2026y NEEDLE e\u0301z");
    EXPECT_EQ(SearchMatching::exactLocate("x", "x", 0).size(), 1u);  // cap at least one
    // Text that is not UTF-8 (a damaged or foreign index): the snippet reaches back over the
    // ill-formed bytes one by one, to the text's start.
    const std::string broken = "\xff\xd8 broken \xe2\x82needle";
    auto bad = SearchMatching::exactLocate(broken, "needle", 40);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].snippet, broken);
}

// Grouped hits keep only what their snippets need of long rows: the snippets, matches and
// offsets are those cut from the whole body, whatever surrounds the hits (ASCII, CR LF,
// accents and combining marks near or just beyond a hit's reach, hits close together or far
// apart, at the body's edges).
TEST(Matching, GroupedSnippetsOfLongRowsAreThoseOfTheWholeBody) {
    auto filler = [](std::size_t n, const std::string& unit) {
        std::string out;
        while (out.size() < n) out += unit;
        return out;
    };
    const std::string q = "Needle";
    const std::vector<std::string> bodies = {
        "needle " + filler(3000, "plain words ") + " NEEDLE " + filler(2000, "more text ") +
            "needle",
        filler(1500, "a\r\n") + "needle" + filler(1500, "\r\nb"),
        filler(1000, "x ") + "\u00e9t\u00e9 needle " + filler(1000, "y "),
        filler(1000, "x ") + "\u00e9" + std::string(100, 'z') + " needle" + filler(1000, " y"),
        filler(1000, "x ") + "e\u0301" + std::string(140, 'z') + " needle " +
            std::string(140, 'z') + "o\u0308" + filler(1000, " y"),
        filler(2000, "w ") + "needle needle " + filler(150, "v ") + "needle" + filler(2000, " u"),
        filler(1000, "x ") + "\u00e9" + std::string(50, 'z') + " needle " + std::string(58, 'z') +
            "\u00e8" + filler(1000, " y"),
        filler(1000, "x ") + "\u00e9" + filler(100, "\r\n") + "needle" + filler(1000, " y"),
        filler(4000, "\u00fcber ") + "needle",
    };
    std::vector<SearchRow> rows;
    for (std::size_t i = 0; i < bodies.size(); ++i)
        rows.push_back({"/d" + std::to_string(i) + ".txt", "page", "1", 1, bodies[i]});
    auto docs = SearchMatching::group(rows, q, false, 300, 40);
    ASSERT_EQ(docs.size(), bodies.size());
    for (const auto& d : docs) {
        const std::size_t i = std::stoul(d.path.substr(2));
        auto expected = SearchMatching::exactLocate(bodies[i], q, 40);
        ASSERT_EQ(d.hits.size(), expected.size()) << d.path;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(d.hits[k].snippet, expected[k].snippet) << d.path << " hit " << k;
            EXPECT_EQ(d.hits[k].matchAt, expected[k].matchAt) << d.path << " hit " << k;
            EXPECT_EQ(d.hits[k].match, expected[k].match) << d.path << " hit " << k;
        }
    }

    // Fuzzy hits: around the match's first occurrence, or the body's start without one.
    const std::string fq = "indemnifciation";
    const std::vector<std::string> fuzzyBodies = {
        filler(3000, "terms ") + "indemnification" + filler(3000, " terms"),
        "indemnification early " + filler(3000, "terms ") + "indemnification",
        filler(3000, "terms ") + "indemnification\u00e9" + filler(3000, " terms"),
        filler(3000, "terms ") + "indemni\nfication" + filler(3000, " terms"),
    };
    rows.clear();
    for (std::size_t i = 0; i < fuzzyBodies.size(); ++i)
        rows.push_back({"/f" + std::to_string(i) + ".txt", "page", "1", 1, fuzzyBodies[i]});
    const auto tris = SearchMatching::trigrams(fq);
    const auto fuzzyDocs = SearchMatching::group(rows, fq, true, 300, 20);
    ASSERT_EQ(fuzzyDocs.size(), fuzzyBodies.size());
    for (const auto& d : fuzzyDocs) {
        const std::size_t i = std::stoul(d.path.substr(2));
        auto expected = SearchMatching::fuzzyLocate(fuzzyBodies[i], fq, tris);
        ASSERT_TRUE(expected) << d.path;
        ASSERT_EQ(d.hits.size(), 1u);
        EXPECT_EQ(d.hits[0].snippet, expected->snippet) << d.path;
        EXPECT_EQ(d.hits[0].match, expected->match) << d.path;
    }
}

TEST(Matching, FuzzyWindowsScoreAndFallBack) {
    auto tris = SearchMatching::trigrams("new york");
    auto r = SearchMatching::fuzzyLocate("offices in  new   york city", "new york", tris);
    ASSERT_TRUE(r);
    // "in new york" scores as well as "new york" and comes first.
    EXPECT_EQ(r->match, "in new york");
    // The words were separated by other white space: the snippet is the body's start.
    EXPECT_EQ(r->snippet, "offices in  new   york city");
    EXPECT_EQ(r->score, 18);
    EXPECT_FALSE(SearchMatching::fuzzyLocate("nothing alike", "new york", tris));
    EXPECT_FALSE(SearchMatching::fuzzyLocate("   ", "new york", tris));

    // A query of many distinct letters (more than a dense trigram table holds) scores alike.
    const std::string many = "abcdefghijklmnopqrstuvwxyz 0123456789 éèêëàâ";
    const std::string body = "zz abcdefghijklm nopqrstuvwxyz 0123 ÉÈÊ";
    auto wide = SearchMatching::fuzzyLocate(body, many, SearchMatching::trigrams(many));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->match, "abcdefghijklm nopqrstuvwxyz 0123");
    EXPECT_EQ(wide->score, 3 * 27 - (44 - 32) / 8);
}
