// Version order and the appcast's rules.
#include <gtest/gtest.h>

#include "updates/ZKAppcast.h"
#include "updates/ZKInstallDir.h"
#include "updates/ZKVersion.h"

namespace cvl {
namespace {

TEST(UpdateVersion, PiecesCompareAsNumbers) {
    using ZKVersion::compare;
    EXPECT_GT(compare("1.10", "1.9"), 0);
    EXPECT_LT(compare("1.9", "1.10"), 0);
    EXPECT_EQ(compare("2.0", "2"), 0);
    EXPECT_EQ(compare("1.2.x", "1.2.0"), 0);  // a piece that is not a number counts as 0
    EXPECT_EQ(compare("1..2", "1.2"), 0);     // empty pieces are dropped
    EXPECT_GT(compare("1.2.0.1", "1.2"), 0);
    EXPECT_LT(compare("", "0.0.1"), 0);
    EXPECT_EQ(ZKVersion::parseBuild("42"), 42);
    EXPECT_FALSE(ZKVersion::parseBuild("0.1.0"));
    EXPECT_FALSE(ZKVersion::parseBuild(""));
}

TEST(UpdateAppcast, ReadsTheManifestAndRejectsWhatCannotBeTrusted) {
    auto cast = ZKAppcastFeed::parse(
        R"({"version":"2.1","url":"https://example.org/c.tar.gz","sha256":"ABCDEF",
            "build":"17","notes_url":"http://example.org/notes","min_macos":"2.36",
            "critical":true,"extra":1})");
    ASSERT_TRUE(cast) << cast.error();
    EXPECT_EQ(cast->sha256, "abcdef");  // a digest in upper case still matches
    EXPECT_EQ(cast->build, 17);         // a numeric text is a build
    EXPECT_EQ(cast->notesURL, "");      // notes not on https are dropped
    EXPECT_EQ(cast->minSystem, "2.36");
    EXPECT_TRUE(cast->critical);

    for (const char* bad : {
             R"([])",
             R"({"version":"2.1","url":"https://example.org/c.tar.gz"})",
             R"({"version":"2.1","url":"http://example.org/c.tar.gz","sha256":"ab"})",
             R"({"version":"2.1","url":"https:///c.tar.gz","sha256":"ab"})",
             R"({"version":"../../etc","url":"https://example.org/c","sha256":"ab"})",
             R"({"version":2.1,"url":"https://example.org/c","sha256":"ab"})",
         })
        EXPECT_FALSE(ZKAppcastFeed::parse(bad)) << bad;
    EXPECT_EQ(ZKAppcastFeed::appcastURL("https://u.example.org/feed/", "corvello"),
              "https://u.example.org/feed/corvello/appcast.json");
}

TEST(UpdateInstallDir, SharedPrefixesAreNeverTakenForAnInstall) {
    EXPECT_FALSE(ZKInstallDir::isSelfContained("/usr"));
    EXPECT_FALSE(ZKInstallDir::rootOf("/usr/bin/corvello"));
    EXPECT_EQ(ZKInstallDir::owningPackage("/usr/bin/dpkg"), "dpkg");
    EXPECT_FALSE(ZKInstallDir::owningPackage("/tmp/not-a-packaged-file"));
}

}  // namespace
}  // namespace cvl
