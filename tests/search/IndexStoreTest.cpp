// The index database: schema, triggers keeping the full-text table in step, closed index.
#include <gtest/gtest.h>

#include "search/CVSearchIndex.h"
#include "search/SearchFixtures.h"
#include "search/SqliteDb.h"
#include "support/TempHome.h"

using namespace cvl;

namespace {

std::int64_t count(const SqliteConnection& db, const char* sql, const std::string& param = "") {
    SqliteStatement st = db.prepare(sql);
    if (!param.empty()) st.bindText(1, param);
    return st.stepRow() ? st.columnInt64(0) : -1;
}

std::int64_t ftsMatches(const SqliteConnection& db, const std::string& expr) {
    return count(db, "SELECT COUNT(*) FROM chunk_fts WHERE chunk_fts MATCH ?;", expr);
}

std::vector<std::string> schemaObjects(const SqliteConnection& db) {
    std::vector<std::string> out;
    SqliteStatement st =
        db.prepare("SELECT type || ' ' || name || ' ' || sql FROM sqlite_master ORDER BY name;");
    while (st.stepRow()) out.push_back(st.columnText(0));
    return out;
}

}  // namespace

TEST(IndexStore, CreatesSchemaInTheSupportFolderAndReopensUnchanged) {
    test::TempHome home;
    CVSearchIndex index(CVSearchIndex::defaultPath());
    EXPECT_EQ(index.dbPath(), home / "Library/Application Support/Corvello/searchindex.db");
    ASSERT_TRUE(index.isOpen());
    EXPECT_EQ(index.fileCount(), 0);

    SqliteConnection db(index.dbPath());
    auto before = schemaObjects(db);
    for (const char* name : {"table files", "table chunk ", "index chunk_path", "table chunk_fts ",
                             "trigger chunk_ai", "trigger chunk_ad", "trigger chunk_au"}) {
        bool found = false;
        for (const auto& o : before) found = found || o.find(name) != std::string::npos;
        EXPECT_TRUE(found) << name;
    }
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM pragma_journal_mode WHERE journal_mode='wal';"), 1);
    db.exec("INSERT INTO files VALUES('/a.txt', 1, 2, 'text', 3);");
    {
        CVSearchIndex again(index.dbPath());
        EXPECT_EQ(again.fileCount(), 1);
    }
    EXPECT_EQ(schemaObjects(db), before);
}

TEST(IndexStore, TriggersKeepTheFullTextTableInStep) {
    test::TempHome home;
    CVSearchIndex index(home / "idx.db");
    SqliteConnection db(index.dbPath());
    SqliteStatement ins =
        db.prepare("INSERT INTO chunk(path,atype,anchor,page,body) VALUES(?,?,?,?,?);");
    ins.bindText(1, "/x.txt");
    ins.bindText(2, "line");
    ins.bindText(3, "L1");
    ins.bindInt64(4, 0);
    ins.bindText(5, "Invoice \"Q3\" for Zoë Ångström");
    ins.run();
    EXPECT_EQ(ftsMatches(db, "\"zoë\""), 1);         // case folding of the tokenizer
    EXPECT_EQ(ftsMatches(db, "\"\"\"Q3\"\"\""), 1);  // quotes inside a phrase, doubled
    EXPECT_EQ(ftsMatches(db, "\"angstrom\""), 0);    // no diacritic folding

    db.exec("UPDATE chunk SET body='Receipt for Bob' WHERE path='/x.txt';");
    EXPECT_EQ(ftsMatches(db, "\"invoice\""), 0);
    EXPECT_EQ(ftsMatches(db, "\"receipt\""), 1);

    db.exec("DELETE FROM chunk WHERE path='/x.txt';");
    EXPECT_EQ(ftsMatches(db, "\"receipt\""), 0);
    // The external-content table agrees with its content after all three changes.
    EXPECT_TRUE(db.exec("INSERT INTO chunk_fts(chunk_fts, rank) VALUES('integrity-check', 1);"));
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM chunk;"), 0);
}

TEST(IndexStore, AnUnopenableDatabaseGivesAClosedIndexThatAnswersEmpty) {
    test::TempHome home;
    test::writeText(home / "blocker", "a file where a folder should be");
    CVSearchIndex index(home / "blocker/sub/searchindex.db");
    EXPECT_FALSE(index.isOpen());
    EXPECT_EQ(index.fileCount(), 0);
    test::writeText(home / "docs/a.txt", "needle in text\n");
    EXPECT_FALSE(index.reindex({home / "docs"}, {}).ok());
    EXPECT_FALSE(index.isFresh({home / "docs"}, {}));
    EXPECT_TRUE(index.isFresh({home / "nothing"}, {}));
    EXPECT_TRUE(index.searchExact("needle").empty());
    EXPECT_TRUE(index.searchFuzzy("needle").empty());
}
