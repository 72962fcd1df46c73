#include "memory/VersionStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>

#include "memory/StableHash.h"
#include "platform/FileIO.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;

TEST(StableHash, MatchesKnownValues) {
    EXPECT_EQ(cvlStableHash(""), "14650fb0739d0383");
    // One byte: (0x14650FB0739D0383 ^ 0x61) * 0x100000001B3 mod 2^64.
    EXPECT_EQ(cvlStableHash("a"), "44bd8ad473cd9906");
    EXPECT_EQ(cvlStableHash("/Users/ana/lease.pdf"), "7637b7fb0886b548");
    EXPECT_NE(cvlStableHash("/a/b.pdf"), cvlStableHash("/a/c.pdf"));
    // UTF-8 bytes, not characters.
    EXPECT_NE(cvlStableHash("\xC3\xA9"), cvlStableHash("\xE9"));
}

class VersionFixture : public ::testing::Test {
  protected:
    // Writes the document with the given content and modification time.
    void writeDoc(const std::string& content, std::time_t mtime) {
        std::ofstream(doc, std::ios::binary | std::ios::trunc) << content;
        utimbuf t{mtime, mtime};
        ::utime(doc.c_str(), &t);
    }
    std::vector<std::string> namesIn(const std::string& dir) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }

    test::TempHome home;
    std::string doc = home / "Cases/Smith v. Jones__draft-2.pdf";
    void SetUp() override { makeDirs(home / "Cases"); }
};

TEST_F(VersionFixture, OneCopyPerVersionAndOnlyForNonEmptyPdfs) {
    writeDoc("%PDF-1.7 first", 1700000000);
    EXPECT_TRUE(snapshotVersionFile(doc));
    EXPECT_FALSE(snapshotVersionFile(doc)) << "the unchanged file is already kept";
    std::string dir = versionStoreDir(doc);
    EXPECT_EQ(dir,
              home.path() + "/Library/Application Support/Corvello/versions/" + cvlStableHash(doc));
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"1700000000-14__Smith v. Jones__draft-2.pdf"});

    std::string word = home / "Cases/memo.docx";
    std::ofstream(word) << "not a pdf";
    EXPECT_FALSE(snapshotVersionFile(word));
    std::string empty = home / "Cases/empty.PDF";
    std::ofstream(empty).close();
    EXPECT_FALSE(snapshotVersionFile(empty));
    EXPECT_FALSE(snapshotVersionFile(home / "Cases/missing.pdf"));
    EXPECT_TRUE(listVersionSnapshots(word).empty());
}

TEST_F(VersionFixture, ListingParsesStampsOfAwkwardNames) {
    writeDoc("%PDF one", 1700000000);
    ASSERT_TRUE(snapshotVersionFile(doc));
    writeDoc("%PDF second!", 1700000500);
    ASSERT_TRUE(snapshotVersionFile(doc));
    std::string dir = versionStoreDir(doc);
    std::ofstream(dir + "/notes.txt") << "no stamp";
    std::ofstream(dir + "/abc-12__x.pdf") << "bad stamp";
    auto list = listVersionSnapshots(doc);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].mtime, 1700000500);
    EXPECT_EQ(list[0].size, 12);
    EXPECT_EQ(list[0].path, dir + "/1700000500-12__Smith v. Jones__draft-2.pdf");
    EXPECT_EQ(list[1].mtime, 1700000000);
    EXPECT_EQ(list[1].size, 8);
}

TEST_F(VersionFixture, PruningKeepsEightNewestAndDropsOldCopies) {
    for (int i = 0; i < 9; ++i) {
        writeDoc("%PDF v" + std::string(i + 1, 'x'), 1700000000 + i * 100);
        ASSERT_TRUE(snapshotVersionFile(doc));
    }
    auto list = listVersionSnapshots(doc);
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(list.back().mtime, 1700000100) << "the oldest stamp went";

    // A copy made eight days ago goes at the next snapshot; dot files are left alone.
    std::string dir = versionStoreDir(doc);
    std::string old = list[2].path;  // not the oldest stamp: only its age condemns it
    std::time_t eightDaysAgo = std::time(nullptr) - 8 * 86400;
    utimbuf t{eightDaysAgo, eightDaysAgo};
    ASSERT_EQ(::utime(old.c_str(), &t), 0);
    std::ofstream(dir + "/.keep") << "";
    ::utime((dir + "/.keep").c_str(), &t);
    writeDoc("%PDF newest", 1700009999);
    ASSERT_TRUE(snapshotVersionFile(doc));
    list = listVersionSnapshots(doc);
    EXPECT_EQ(list.size(), 7u);  // 8 + 1 new, oldest stamp pruned, the aged copy deleted
    EXPECT_FALSE(pathExists(old));
    EXPECT_TRUE(pathExists(dir + "/.keep"));

    // The age cut-off works from the clock it is given.
    pruneVersionStore(dir, std::time(nullptr) + 8 * 86400);
    EXPECT_TRUE(listVersionSnapshots(doc).empty());
}

TEST_F(VersionFixture, RestoreBanksTheCurrentVersionAndReplacesTheDocument) {
    writeDoc("%PDF original", 1700000000);
    ASSERT_TRUE(snapshotVersionFile(doc));
    std::string original = listVersionSnapshots(doc)[0].path;
    writeDoc("%PDF edited elsewhere", 1700000800);
    ::chmod(doc.c_str(), 0600);

    auto failure = restoreVersion(doc, original);
    EXPECT_FALSE(failure.has_value());
    EXPECT_EQ(readFile(doc).value_or(""), "%PDF original");
    struct stat st;
    ASSERT_EQ(::stat(doc.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(pathExists(doc + ".cvlrestore.tmp"));
    // The edited version was banked, so the restore can be undone.
    auto list = listVersionSnapshots(doc);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].mtime, 1700000800);
    EXPECT_EQ(readFile(list[0].path).value_or(""), "%PDF edited elsewhere");
}

TEST_F(VersionFixture, FailedRestoreLeavesTheDocumentAndSaysSo) {
    writeDoc("%PDF current", 1700000000);
    auto failure = restoreVersion(doc, home / "gone/1-1__x.pdf");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->id, "versions");
    EXPECT_EQ(failure->title, "Could not restore that version");
    EXPECT_TRUE(failure->text.ends_with(" The current version is unchanged."));
    EXPECT_EQ(readFile(doc).value_or(""), "%PDF current");

    // A folder where the document should be cannot be replaced by a file.
    std::string folderDoc = home / "Cases/folder.pdf";
    makeDirs(folderDoc + "/inside");
    writeDoc("%PDF snap", 1700000000);
    ASSERT_TRUE(snapshotVersionFile(doc));
    failure = restoreVersion(folderDoc, listVersionSnapshots(doc)[0].path);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(isDirectory(folderDoc + "/inside"));
    EXPECT_FALSE(pathExists(folderDoc + ".cvlrestore.tmp"));

    EXPECT_EQ(noVersionsNotice(doc).text,
              "There are no copies yet. Corvello keeps a copy whenever Smith v. Jones__draft-2.pdf "
              "changes while it is open.");
}

}  // namespace
}  // namespace cvl
