#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "support/TempHome.h"

using namespace cvl;

TEST(TextEscape, ScriptAndHtmlEscaping) {
    EXPECT_EQ(jsEsc("a'b\\c"), "a\\'b\\\\c");
    EXPECT_EQ(jsEsc("line\nnext\rend"), "line next end");
    EXPECT_EQ(htmlEscape("<a href=\"x\">&amp;</a>"),
              "&lt;a href=&quot;x&quot;&gt;&amp;amp;&lt;/a&gt;");
    EXPECT_EQ(jsQuote("say \"hi\"\n</script>"), "\"say \\\"hi\\\"\\n</script>\"");
    EXPECT_EQ(jsQuote("\xff\xfe"), "\"\"");  // not UTF-8: the empty literal
}

TEST(TextEscape, UrlQueryTakesTheFirstDecodedItem) {
    std::string url = "qrtiz://pagecmd?op=ask&path=%2Ftmp%2Fa%20b.pdf&op=run&empty=&flag";
    EXPECT_EQ(urlQuery(url, "op"), "ask");
    EXPECT_EQ(urlQuery(url, "path"), "/tmp/a b.pdf");
    EXPECT_EQ(urlQuery(url, "empty"), "");
    EXPECT_EQ(urlQuery(url, "flag"), "");
    EXPECT_EQ(urlQuery(url, "missing"), std::nullopt);
    EXPECT_EQ(urlQuery("qrtiz://x", "a"), std::nullopt);
    EXPECT_EQ(percentDecode("100%"), "100%");
    EXPECT_EQ(percentDecode(percentEncode("é &=?/")), "é &=?/");
}

TEST(FileIO, AtomicWriteReplacesWholeAndLeavesNothingBehind) {
    test::TempHome home;
    std::string path = home / "doc.json";
    ASSERT_TRUE(writeFileAtomic(path, "first").ok());
    ASSERT_TRUE(writeFileAtomic(path, "second").ok());
    EXPECT_EQ(readFile(path), "second");
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(home.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    Status bad = writeFileAtomic(home / "missing/dir/x.json", "x");
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.error().find("Could not write"), std::string::npos);
}

TEST(FileIO, PathPieces) {
    EXPECT_EQ(lastPathComponent("/a/b/c.pdf"), "c.pdf");
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(parentPath("/a/b/c.pdf"), "/a/b");
    EXPECT_EQ(parentPath("/c.pdf"), "/");
    EXPECT_EQ(pathExtension("/a/b.tar.GZ"), "GZ");
    EXPECT_EQ(pathExtension("/a/.hidden"), "");
}

TEST(Hashing, Sha256AndUuids) {
    EXPECT_EQ(sha256Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    test::TempHome home;
    ASSERT_TRUE(writeFileAtomic(home / "f", "abc").ok());
    EXPECT_EQ(sha256HexOfFile(home / "f"), sha256Hex("abc"));
    EXPECT_EQ(sha256HexOfFile(home / "none"), std::nullopt);
    std::string a = newUuid(), b = newUuid();
    EXPECT_EQ(a.size(), 36u);
    EXPECT_NE(a, b);
    EXPECT_EQ(a[14], '4');
}

TEST(UserDirs, FoldersFollowHome) {
    test::TempHome home;
    EXPECT_EQ(UserDirs::supportDir(), home.path() + "/Library/Application Support/Corvello");
    EXPECT_EQ(UserDirs::archiveDir(), home.path() + "/Vizazi Divavo rez Iviruzi");
    EXPECT_EQ(UserDirs::expandTilde("~/x"), home.path() + "/x");
    EXPECT_EQ(UserDirs::expandTilde("/abs/~"), "/abs/~");
}
