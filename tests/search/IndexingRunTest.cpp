// Indexing runs: scope collection, change detection, removal, caps and batch commits.
#include <gtest/gtest.h>

#include <filesystem>

#include "search/CVSearchIndex.h"
#include "search/SearchFixtures.h"
#include "search/SqliteDb.h"
#include "support/TempHome.h"

using namespace cvl;

namespace {

class IndexingRun : public ::testing::Test {
  protected:
    test::TempHome home;
    std::string dir = home / "docs";
    CVSearchIndex index{home / "idx.db"};

    std::vector<std::string> indexedPaths() {
        SqliteConnection db(index.dbPath());
        std::vector<std::string> out;
        SqliteStatement st = db.prepare("SELECT path FROM files ORDER BY path;");
        while (st.stepRow()) out.push_back(st.columnText(0));
        return out;
    }
    std::int64_t chunksOf(const std::string& path) {
        SqliteConnection db(index.dbPath());
        SqliteStatement st = db.prepare("SELECT COUNT(*) FROM chunk WHERE path=?;");
        st.bindText(1, path);
        return st.stepRow() ? st.columnInt64(0) : -1;
    }
};

}  // namespace

TEST_F(IndexingRun, UnchangedFilesAreFreshAndChangedOnesAreRedone) {
    test::writeText(dir + "/a.txt", "alpha one\n");
    test::writeText(dir + "/b.md", "beta two\n");
    test::writeText(dir + "/sub/c.csv", "gamma,three\n");
    test::writeText(dir + "/skip.png", "not indexable");
    EXPECT_FALSE(index.isFresh({dir}, {}));
    EXPECT_EQ(*index.reindex({dir}, {}), 3);
    EXPECT_EQ(index.fileCount(), 3);
    EXPECT_TRUE(index.isFresh({dir}, {}));
    EXPECT_EQ(*index.reindex({dir}, {}), 0);

    test::setMtime(dir + "/b.md", 1600000000);
    EXPECT_FALSE(index.isFresh({dir}, {}));
    test::writeText(dir + "/b.md", "beta changed\n");
    test::setMtime(dir + "/b.md", 1600000000);  // same time, other size
    EXPECT_EQ(*index.reindex({dir}, {}), 1);
    EXPECT_FALSE(index.searchExact("changed").empty());
    EXPECT_TRUE(index.searchExact("beta two").empty());
}

TEST_F(IndexingRun, VanishedFilesStayFreshButTheNextRunRemovesThem) {
    test::writeText(dir + "/a.txt", "alpha\n");
    test::writeText(dir + "/b.txt", "bravo\n");
    ASSERT_TRUE(index.reindex({dir}, {}).ok());
    std::filesystem::remove(dir + "/b.txt");
    EXPECT_TRUE(index.isFresh({dir}, {}));
    EXPECT_EQ(*index.reindex({dir}, {}), 0);
    EXPECT_EQ(indexedPaths(), std::vector<std::string>{dir + "/a.txt"});
    EXPECT_EQ(chunksOf(dir + "/b.txt"), 0);
}

TEST_F(IndexingRun, TheIndexMirrorsTheLatestScopeOnly) {
    std::string a = home / "A", b = home / "B";
    test::writeText(a + "/one.txt", "shared word\n");
    test::writeText(b + "/two.txt", "shared word\n");
    EXPECT_EQ(*index.reindex({a}, {}), 1);
    EXPECT_EQ(*index.reindex({b}, {}), 1);
    EXPECT_EQ(indexedPaths(), std::vector<std::string>{b + "/two.txt"});
    EXPECT_EQ(chunksOf(a + "/one.txt"), 0);
    auto hits = index.searchExact("shared");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].path, b + "/two.txt");
}

TEST_F(IndexingRun, MaxFilesCutsInEnumerationOrderAndDropsTheRest) {
    for (char c : std::string("edcba")) test::writeText(dir + "/" + c + ".txt", "x\n");
    ASSERT_TRUE(index.reindex({dir}, {}).ok());
    EXPECT_EQ(*index.reindex({dir}, {}, 2), 0);
    EXPECT_EQ(indexedPaths(), (std::vector<std::string>{dir + "/a.txt", dir + "/b.txt"}));
    EXPECT_TRUE(index.isFresh({dir}, {}, 2));
    EXPECT_FALSE(index.isFresh({dir}, {}, 3));
}

TEST_F(IndexingRun, CollectionRules) {
    test::writeText(dir + "/Report.PDF", "not really a pdf");
    test::writeText(dir + "/.hidden.txt", "secret\n");
    test::writeText(dir + "/.cache/inner.txt", "secret\n");
    test::writeText(dir + "/Tool.app/Contents/readme.txt", "secret\n");
    test::writeText(dir + "/note.txt", "visible\n");
    test::writeText(home / "outside.md", "outside\n");
    test::writeText(home / "outside.png", "nope");
    std::filesystem::create_directories(dir + "/folder.txt");  // only the name counts
    EXPECT_EQ(
        *index.reindex({dir, home / "missing-folder"}, {dir + "/note.txt", home / "outside.md",
                                                        home / "outside.png", home / "gone.txt"}),
        4);
    EXPECT_EQ(indexedPaths(), (std::vector<std::string>{dir + "/Report.PDF", dir + "/folder.txt",
                                                        dir + "/note.txt", home / "outside.md"}));
    SqliteConnection db(index.dbPath());
    SqliteStatement st = db.prepare("SELECT type FROM files WHERE path=?;");
    st.bindText(1, dir + "/Report.PDF");
    ASSERT_TRUE(st.stepRow());
    EXPECT_EQ(st.columnText(0), "pdf");
}

TEST_F(IndexingRun, CommitsEveryFortyFilesAndReportsProgress) {
    for (int i = 0; i < 90; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%02d.txt", i);
        test::writeText(dir + name, "file " + std::to_string(i) + "\n");
    }
    SqliteConnection reader(index.dbPath());
    std::map<std::int64_t, std::int64_t> committedAt;  // progress number -> files visible
    std::int64_t lastTotal = 0;
    std::string lastName;
    auto run = index.reindex({dir}, {}, CVSearchIndex::kMaxFiles,
                             [&](std::int64_t done, std::int64_t total, const std::string& name) {
                                 SqliteStatement st = reader.prepare("SELECT COUNT(*) FROM files;");
                                 committedAt[done] = st.stepRow() ? st.columnInt64(0) : -1;
                                 lastTotal = total;
                                 lastName = name;
                             });
    ASSERT_TRUE(run.ok()) << run.error();
    EXPECT_EQ(committedAt.size(), 90u);
    EXPECT_EQ(lastTotal, 90);
    EXPECT_EQ(lastName, "f89.txt");
    EXPECT_EQ(committedAt[1], 0);
    EXPECT_EQ(committedAt[40], 0);
    EXPECT_EQ(committedAt[41], 40);
    EXPECT_EQ(committedAt[81], 80);
    EXPECT_EQ(committedAt[90], 80);
    EXPECT_EQ(index.fileCount(), 90);
}

TEST_F(IndexingRun, FilesWithoutChunksAreRecordedAndNotRetried) {
    test::writeText(dir + "/empty.txt", "\n\n");
    ASSERT_TRUE(test::writeZip(dir + "/broken.docx", {{"word/document.xml", "<<<"}}));
    test::writeText(dir + "/garbage.xlsx", "PK\x03\x04 truncated");
    EXPECT_EQ(*index.reindex({dir}, {}), 3);
    EXPECT_EQ(index.fileCount(), 3);
    EXPECT_TRUE(index.isFresh({dir}, {}));
    EXPECT_EQ(chunksOf(dir + "/empty.txt"), 0);
}
