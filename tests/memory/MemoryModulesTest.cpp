// The memory modules through fake windows and dialogs: links made across two readers, edited
// and followed; an earlier version restored from the reader.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "memory/DocLinks.h"
#include "memory/LinksModule.h"
#include "memory/VersionStore.h"
#include "memory/VersionsModule.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using json = nlohmann::json;

// Readers of one application, each a fake window with its page's selection.
struct Readers {
    test::TempHome home;
    test::FakeApp app;
    test::FakeDialogs dialogs;
    LinkSession session;
    LinksModule links{session};

    test::FakeWindow& open(const std::string& path) {
        auto w = std::make_shared<test::FakeWindow>();
        w->state.pageKind = "reader";
        w->state.sourcePaths = {path};
        w->state.bridgeId = "w" + std::to_string(app.open.size());
        app.open.push_back(w);
        return *w;
    }
    void go(size_t i, const std::string& url) {
        auto& w = app.open.at(i);
        std::string op = url.substr(
            8, url.find('?') == std::string::npos ? std::string::npos : url.find('?') - 8);
        links.handle(BridgeRequest{op, url, w->state, WindowHandle(w), dialogs, app});
        Dispatch::manualMain()->drain();
    }
    // The page's selected passage, as the reader keeps it.
    void select(size_t i, const std::string& path, int page, const std::string& text) {
        app.open.at(i)->values = {
            {"__cvlLinkEndpoint", json{{"path", path}, {"page", page}, {"text", text}}.dump()}};
    }
    int count(size_t i, const std::string& part) {
        int n = 0;
        for (const auto& s : app.open.at(i)->scripts) n += s.find(part) != std::string::npos;
        return n;
    }
};

TEST(LinksModule, MakingALinkAcrossTwoReadersTellsEveryReader) {
    Readers r;
    r.open("/d/Lease.pdf");
    r.open("/d/Amendment.pdf");
    r.open("/d/Other.pdf");
    r.go(0, "qrtiz://linkstart");  // nothing selected: nothing starts
    EXPECT_FALSE(r.session.hasPending());

    r.select(0, "/d/Lease.pdf", 3, "term of the lease");
    r.go(0, "qrtiz://linkstart");
    ASSERT_TRUE(r.session.hasPending());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(r.count(i, "cvlLinkMode(true,'Lease.pdf')"), 1);
    r.select(1, "/d/Amendment.pdf", 1, "the term is extended");
    r.go(1, "qrtiz://linkfinish");
    auto links = loadLinks();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].a.text, "term of the lease");
    EXPECT_EQ(links[0].b.path, "/d/Amendment.pdf");
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(r.count(i, "cvlReloadLinks()"), 1);
    EXPECT_EQ(r.count(1, "Link created"), 1);
    EXPECT_EQ(r.count(0, "Link created"), 0);

    // Notes and deletions are stored, and every reader reloads its links.
    const std::string id = links[0].id;
    r.go(2, "qrtiz://linknote?id=" + id + "&note=" + percentEncode("check the “renewal” date"));
    EXPECT_EQ(loadLinks()[0].note, "check the “renewal” date");
    r.go(2, "qrtiz://linkdelete?id=" + id);
    EXPECT_TRUE(loadLinks().empty());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(r.count(i, "cvlReloadLinks()"), 3);
}

TEST(LinksModule, FollowingALinkOpensOrFocusesItsOtherEnd) {
    Readers r;
    const std::string a = r.home / "Lease.pdf";
    const std::string b = r.home / "Amendment.pdf";
    ASSERT_TRUE(writeFileAtomic(a, "%PDF-1.4\n").ok());
    ASSERT_TRUE(writeFileAtomic(b, "%PDF-1.4\n").ok());
    LinkSession seed;
    (void)seed.begin(parseLinkEndpoint(json{{"path", a}, {"page", 1}}.dump()), "Lease.pdf");
    const std::string id =
        seed.finish(parseLinkEndpoint(json{{"path", b}, {"page", 3}}.dump()))->created->id;
    r.open(a);

    // Not open: a reader opens at the end's page.
    r.go(0, "qrtiz://linkjump?id=" + id);
    EXPECT_EQ(r.app.calls, std::vector<std::string>{"reader " + b + " 3"});
    EXPECT_EQ(r.count(0, R"(__cvlLinkJump({"ok":true,"page":3,"path":")" + b), 1);
    // Open: it is sent its links with the focus on that end, and no reader opens.
    r.open(b);
    r.go(0, "qrtiz://linkjump?id=" + id);
    EXPECT_EQ(r.app.calls.size(), 1u);
    EXPECT_EQ(r.count(1, "cvlLinks("), 1);
    EXPECT_EQ(r.app.open[1]->presents, 1);

    r.go(0, "qrtiz://linkjump?id=nope");
    EXPECT_EQ(r.count(0, "That link no longer exists."), 1);
}

TEST(VersionsModule, AChosenVersionIsConfirmedRestoredAndTheReaderReloaded) {
    test::TempHome home;
    const std::string doc = home / "Deed.pdf";
    test::ModuleHarness h;
    h.window->state.pageKind = "reader";
    h.window->state.sourcePaths = {doc};
    VersionsModule versions;

    ASSERT_TRUE(writeFileAtomic(doc, "%PDF-1.4 first").ok());
    versions.handle(h.request("qrtiz://restoreversion"));  // nothing kept yet: a notice
    EXPECT_EQ(h.app.calls, std::vector<std::string>{"notice versions No earlier versions yet"});

    ASSERT_TRUE(snapshotVersionFile(doc));
    ASSERT_TRUE(writeFileAtomic(doc, "%PDF-1.4 second, longer").ok());
    ASSERT_TRUE(snapshotVersionFile(doc));
    // Dismissed menu, then a cancelled confirmation: the document stays as it is.
    h.dialogs.menuAnswers = {std::nullopt, 1, 1};
    h.dialogs.confirmAnswers = {ConfirmAnswer::Cancel, ConfirmAnswer::Verb};
    versions.handle(h.request("qrtiz://restoreversion"));
    h.drain();
    versions.handle(h.request("qrtiz://restoreversion"));
    h.drain();
    EXPECT_EQ(readFile(doc), "%PDF-1.4 second, longer");
    ASSERT_EQ(h.dialogs.menus.size(), 2u);
    EXPECT_EQ(h.dialogs.menus[0].items.size(), 2u);
    EXPECT_EQ(h.dialogs.sheets.at(0).title, "Restore this version?");
    EXPECT_EQ(h.dialogs.sheets.at(0).verb, "Restore");

    versions.handle(h.request("qrtiz://restoreversion"));
    ASSERT_TRUE(h.runUntil([&] { return h.window->reloads == 1; }));
    EXPECT_EQ(readFile(doc), "%PDF-1.4 first");  // the older copy is the second item
}

}  // namespace
}  // namespace cvl
