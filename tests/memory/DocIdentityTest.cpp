#include "memory/DocIdentity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/ExtendedAttributes.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using Kind = IdentityVerdict::Kind;

struct Reader {
    std::optional<std::string> selected = "/w/lease.pdf";
    std::optional<DocBinding> binding = DocBinding{5, "/w/lease.pdf", "/w/lease.pdf", "lease.pdf"};
    std::optional<DocDisplayed> displayed = DocDisplayed{5, "/w/lease.pdf", ""};
    std::optional<std::string> title = "lease.pdf";
    std::optional<std::string> drawn = "lease.pdf";
    std::optional<std::string> represented = "/w/lease.pdf";
    IdentityVerdict verdict() const {
        return DocIdentity::verdict(selected, binding, displayed, title, drawn, represented);
    }
};

TEST(DocIdentityVerdict, DecoratedLabelsNeedTheSeparator) {
    Reader r;
    r.title = "lease.pdf \u00b7 editing";
    r.drawn = "lease.pdf \u00b7 signing 2 of 5";
    EXPECT_TRUE(r.verdict().isReady());
    r.title = "lease.pdf signing";
    auto v = r.verdict();
    ASSERT_EQ(v.kind, Kind::mismatch);
    EXPECT_EQ(v.summary(), "MISMATCH: the window is titled lease.pdf signing but holds lease.pdf");
}

TEST(DocIdentityVerdict, ReasonsAreReportedTogetherInOrder) {
    Reader r;
    r.selected = "/w/offer.pdf";
    r.title = "offer.pdf";
    r.drawn.reset();
    r.represented = "/w/memo.pdf";
    r.displayed = DocDisplayed{6, "/w/other.pdf", "/w/orig.docx"};
    auto v = r.verdict();
    ASSERT_EQ(v.kind, Kind::mismatch);
    std::vector<std::string> want = {
        "the window now holds offer.pdf but its page was loaded for lease.pdf",
        "the window is titled offer.pdf but holds lease.pdf",
        "the titlebar file is memo.pdf but the window holds offer.pdf",
        "the page reports load 6, newer than the window's 5",
        "the page shows other.pdf but was told to show lease.pdf",
        "the page stands for orig.docx but the window holds lease.pdf",
    };
    EXPECT_EQ(v.reasons, want);
}

TEST(DocIdentityVerdict, OlderConfirmationIsLoadingUnlessSomethingElseIsWrong) {
    Reader r;
    r.displayed->gen = 4;
    auto v = r.verdict();
    EXPECT_EQ(v.kind, Kind::loading);
    EXPECT_EQ(v.summary(), "loading (the page is still on load 4, the window is on load 5)");
    r.title = "offer.pdf";
    EXPECT_EQ(r.verdict().kind, Kind::mismatch) << "reasons win over loading";
    r.selected = "";
    EXPECT_EQ(r.verdict().summary(), "unknown (no document)");
    EXPECT_EQ(DocIdentity::logLine(2, r.verdict(), "action pagecmd", {"bound load 5", "title set"}),
              "identity: window 2 unknown (no document) at action pagecmd; recent: bound load 5 | "
              "title set");
}

TEST(DocIdentityPaths, NormalisationFollowsLinksAndPrivatePrefixes) {
    test::TempHome home;
    namespace fs = std::filesystem;
    fs::create_directories(home / "real");
    std::ofstream(home / "real/a.pdf") << "x";
    fs::create_directory_symlink(home / "real", home / "alias");
    EXPECT_TRUE(DocIdentity::samePath(home / "alias/a.pdf", home / "real/./a.pdf"));
    EXPECT_TRUE(DocIdentity::samePath("~/real/a.pdf", home / "real/a.pdf"));
    EXPECT_EQ(DocIdentity::norm("/private/var/x/../y.pdf"), "/var/y.pdf");
    EXPECT_EQ(DocIdentity::norm(""), "");
    EXPECT_FALSE(DocIdentity::samePath("/w/a.pdf", "/w/b.pdf"));
}

TEST(DocIdentityAttribute, EnsureCreatesOnceAndKeepsExistingIds) {
    test::TempHome home;
    std::string file = home / "doc.pdf";
    std::ofstream(file) << "%PDF";
    EXPECT_FALSE(CvlDocIdentity::ensure(home / "missing.pdf").has_value());
    EXPECT_FALSE(CvlDocIdentity::ensure("").has_value());
    if (!setExtendedAttribute(file, "user.cvl.probe", "1"))
        GTEST_SKIP() << "this file system has no user extended attributes";

    EXPECT_FALSE(CvlDocIdentity::read(file).has_value());
    auto id = CvlDocIdentity::ensure(file);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->size(), 36u);
    EXPECT_EQ(*id, [&] {
        std::string lower = *id;
        for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower;
    }());
    EXPECT_EQ(CvlDocIdentity::ensure(file), id);
    EXPECT_EQ(CvlDocIdentity::read(file), id);

    // An identifier written by someone else is kept when it is long enough, replaced if not.
    ASSERT_TRUE(setExtendedAttribute(file, CvlDocIdentity::kAttributeName, "ABCDEFGH"));
    EXPECT_EQ(CvlDocIdentity::ensure(file), "ABCDEFGH");
    ASSERT_TRUE(setExtendedAttribute(file, CvlDocIdentity::kAttributeName, "short\xff"));
    EXPECT_EQ(CvlDocIdentity::read(file), "short\xEF\xBF\xBD");
    auto fresh = CvlDocIdentity::ensure(file);
    ASSERT_TRUE(fresh.has_value());
    EXPECT_NE(*fresh, "short\xEF\xBF\xBD");
    EXPECT_EQ(fresh->size(), 36u);
}

}  // namespace
}  // namespace cvl
