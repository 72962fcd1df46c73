// Link operations of reader windows: making a link across two readers, editing it, following
// it, driven through fake pages that answer the host's endpoint question.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "WindowFakes.h"
#include "memory/DocLinks.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using json = nlohmann::json;
using test::FakePage;
using test::PageRecord;

// Two or more reader windows of one application.
struct Readers {
    test::TempHome home;
    test::FakeServices services;
    std::vector<std::shared_ptr<PageRecord>> pages;
    std::vector<std::shared_ptr<ReviewWC>> windows;

    ReviewWC& open(const std::string& path) {
        auto page = std::make_shared<PageRecord>();
        auto wc = std::make_shared<ReviewWC>(static_cast<int>(windows.size()) + 1,
                                             std::make_unique<FakePage>(page), services);
        wc->becomeReader(path, {});
        services.readers.push_back(wc);
        pages.push_back(page);
        windows.push_back(wc);
        return *wc;
    }
    void go(size_t i, const std::string& url) { windows[i]->decidePolicy({url, false}); }
    std::string file(const std::string& name) {
        writeFileAtomic(home / name, "%PDF-1.4\n");
        return home / name;
    }
};

// What a page hands over for its selection: the endpoint object as JSON text.
std::string endpoint(const std::string& path, int page, const std::string& text) {
    return json{{"path", path}, {"page", page}, {"text", text}, {"quad", {1, 2, 3, 4}}}.dump();
}

int count(const PageRecord& page, const std::string& part) {
    int n = 0;
    for (const auto& s : page.scripts) n += s.find(part) != std::string::npos;
    return n;
}

json sentLinks(const std::string& script) {
    const std::string open = "atob('";
    auto from = script.find(open);
    if (from == std::string::npos) return nullptr;
    auto to = script.find("')", from);
    auto bytes = base64Decode(script.substr(from + open.size(), to - from - open.size()));
    return json::parse(bytes.value_or("null"), nullptr, false);
}

json jumpReply(const PageRecord& page) {
    const std::string call = "__cvlLinkJump(";
    for (auto it = page.scripts.rbegin(); it != page.scripts.rend(); ++it) {
        auto at = it->find(call);
        if (at == std::string::npos) continue;
        auto end = it->rfind(")}catch");
        return json::parse(it->substr(at + call.size(), end - at - call.size()), nullptr, false);
    }
    return nullptr;
}

TEST(LinkMaking, NoSelectionOrNoStartedLinkCreatesNothing) {
    Readers r;
    r.open("/d/a.pdf");
    r.open("/d/b.pdf");
    r.go(0, "qrtiz://linkstart");
    ASSERT_EQ(r.pages[0]->scripts.back(), kLinkEndpointQuery);
    r.pages[0]->answer(std::string());  // nothing selected
    r.go(1, "qrtiz://linkfinish");
    r.pages[1]->answer(endpoint("/d/b.pdf", 2, "the second passage"));
    r.go(0, "qrtiz://linkstart");
    r.pages[0]->answer(std::nullopt);  // the page failed to answer

    EXPECT_FALSE(r.services.links.hasPending());
    EXPECT_TRUE(loadLinks().empty());
    for (auto& page : r.pages) {
        EXPECT_EQ(count(*page, "cvlLinkMode"), 0);
        EXPECT_EQ(count(*page, "__cvlToast"), 0);
    }
}

TEST(LinkMaking, StartAndFinishInTwoReadersStoresOneLinkAndTellsEveryReader) {
    Readers r;
    r.open("/d/Lease.pdf");
    r.open("/d/Amendment.pdf");
    r.open("/d/Other.pdf");

    r.go(0, "qrtiz://linkstart");
    // WebKit hands over the page's value as text; the page keeps its endpoint as JSON text.
    r.pages[0]->answer(endpoint("/d/Lease.pdf", 3, "term of the lease"));
    ASSERT_TRUE(r.services.links.hasPending());
    for (auto& page : r.pages)
        EXPECT_EQ(count(*page, "if(window.cvlLinkMode){cvlLinkMode(true,'Lease.pdf')}"), 1);
    EXPECT_EQ(count(*r.pages[0], "__cvlToast(\"" + std::string(kLinkingToast)), 1);
    EXPECT_EQ(count(*r.pages[1], "__cvlToast"), 0);

    r.go(1, "qrtiz://linkfinish");
    r.pages[1]->answer(endpoint("/d/Amendment.pdf", 1, "the term is extended"));
    auto links = loadLinks();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].a.path, "/d/Lease.pdf");
    EXPECT_EQ(links[0].a.page, 3);
    EXPECT_EQ(links[0].a.text, "term of the lease");
    EXPECT_EQ(links[0].b.path, "/d/Amendment.pdf");
    EXPECT_EQ(links[0].b.text, "the term is extended");
    EXPECT_EQ(json::parse(links[0].a.json)["quad"], json({1, 2, 3, 4}))
        << "the page's endpoint is stored unchanged";
    EXPECT_FALSE(r.services.links.hasPending());
    for (auto& page : r.pages) {
        EXPECT_EQ(count(*page, kLinkModeOffScript), 1);
        EXPECT_EQ(count(*page, kReloadLinksScript), 1);
    }
    EXPECT_EQ(count(*r.pages[1], "__cvlToast(\"Link created\")"), 1);
    EXPECT_EQ(count(*r.pages[0], "Link created"), 0);

    // The reader's links request gets the stored list with itself as "self".
    r.go(2, "qrtiz://links");
    json sent = sentLinks(r.pages[2]->scripts.back());
    EXPECT_EQ(sent["self"], "/d/Other.pdf");
    EXPECT_EQ(sent["links"].size(), 1u);

    // A started link can be cancelled from any reader; finishing then creates nothing.
    r.go(0, "qrtiz://linkstart");
    r.pages[0]->answer(endpoint("/d/Lease.pdf", 4, "rent"));
    r.go(2, "qrtiz://linkcancel");
    EXPECT_EQ(count(*r.pages[1], kLinkModeOffScript), 2);
    r.go(1, "qrtiz://linkfinish");
    r.pages[1]->answer(endpoint("/d/Amendment.pdf", 2, "x"));
    EXPECT_EQ(loadLinks().size(), 1u);

    // An answer for a window that has closed meanwhile is dropped.
    r.go(0, "qrtiz://linkstart");
    auto page = r.pages[0];
    r.services.readers.erase(r.services.readers.begin());
    r.windows[0].reset();
    page->answer(endpoint("/d/Lease.pdf", 1, "gone"));
    EXPECT_FALSE(r.services.links.hasPending());
}

TEST(LinkEditing, NotesAndDeletionsAreStoredAndEveryReaderReloads) {
    Readers r;
    LinkSession seed;
    seed.begin(parseLinkEndpoint(endpoint("/d/a.pdf", 1, "x")), "a.pdf");
    const std::string id =
        seed.finish(parseLinkEndpoint(endpoint("/d/b.pdf", 2, "y")))->created->id;
    r.open("/d/a.pdf");
    r.open("/d/c.pdf");

    r.go(0, "qrtiz://linknote?id=" + id + "&note=" + percentEncode("check the “renewal” date"));
    EXPECT_EQ(loadLinks()[0].note, "check the “renewal” date");
    r.go(1, "qrtiz://linknote?id=" + id + "&note=");  // an emptied note clears it
    EXPECT_EQ(loadLinks()[0].note, "");
    r.go(0, "qrtiz://linkdelete");  // no id: nothing
    r.go(1, "qrtiz://linkdelete?id=" + id);
    EXPECT_TRUE(loadLinks().empty());
    auto stored = readFile(linksStorePath());
    ASSERT_TRUE(stored);
    EXPECT_EQ(json::parse(*stored), json::array());
    for (auto& page : r.pages) EXPECT_EQ(count(*page, kReloadLinksScript), 3);
}

TEST(LinkFollowing, JumpFocusesTheTargetReaderAndAnswersTheCaller) {
    Readers r;
    const std::string a = r.file("Lease.pdf");
    const std::string b = r.file("Amendment.pdf");
    LinkSession seed;
    seed.begin(parseLinkEndpoint(endpoint(a, 1, "term")), "Lease.pdf");
    const std::string id = seed.finish(parseLinkEndpoint(endpoint(b, 3, "extended")))->created->id;
    r.open(a);

    // The target is not open: a reader opens at the end's page and gets the focus when it
    // asks for its links.
    r.go(0, "qrtiz://linkjump?id=" + id + "&end=b");
    EXPECT_EQ(r.services.calls, (std::vector<std::string>{"reader " + b + " 3"}));
    EXPECT_EQ(jumpReply(*r.pages[0]), (json{{"ok", true}, {"path", b}, {"page", 3}}));
    r.open(b);
    r.go(1, "qrtiz://links");
    EXPECT_EQ(sentLinks(r.pages[1]->scripts.back())["focus"], (json{{"id", id}, {"end", "b"}}));

    // Now it is open: it comes to front and is sent its links with the focus; no new reader.
    // Without "end" the jump goes to the other document's end.
    const int presents = r.pages[1]->presents;
    r.go(0, "qrtiz://linkjump?id=" + id);
    EXPECT_EQ(r.services.calls.size(), 1u);
    EXPECT_EQ(r.pages[1]->presents, presents + 1);
    EXPECT_EQ(sentLinks(r.pages[1]->scripts.back())["focus"], (json{{"id", id}, {"end", "b"}}));
    // And back from the amendment to the lease.
    r.go(1, "qrtiz://linkjump?id=" + id);
    EXPECT_EQ(sentLinks(r.pages[0]->scripts.back())["focus"], (json{{"id", id}, {"end", "a"}}));
    EXPECT_EQ(jumpReply(*r.pages[1])["path"], a);

    // An unknown link, or a target that has gone, answers with a message.
    r.go(0, "qrtiz://linkjump?id=nope&end=b");
    json unknown = jumpReply(*r.pages[0]);
    EXPECT_EQ(unknown["ok"], false);
    EXPECT_EQ(unknown["message"], "That link no longer exists.");
    ASSERT_EQ(::unlink(b.c_str()), 0);
    r.go(0, "qrtiz://linkjump?id=" + id + "&end=b");
    json gone = jumpReply(*r.pages[0]);
    EXPECT_EQ(gone["ok"], false);
    EXPECT_NE(gone["message"].get<std::string>().find("Amendment.pdf"), std::string::npos);
    EXPECT_EQ(r.services.calls.size(), 1u);
}

TEST(LinkFollowing, OpenPairOpensBothEndsAtTheirPages) {
    Readers r;
    const std::string a = r.file("Lease.pdf");
    const std::string b = r.file("Amendment.pdf");
    LinkSession seed;
    seed.begin(parseLinkEndpoint(endpoint(a, 2, "term")), "Lease.pdf");
    const std::string id = seed.finish(parseLinkEndpoint(endpoint(b, 5, "extended")))->created->id;
    r.open("/d/Index.pdf");
    r.go(0, "qrtiz://linkopenpair?id=" + id);
    EXPECT_EQ(r.services.calls,
              (std::vector<std::string>{"reader " + a + " 2", "reader " + b + " 5"}));
    r.go(0, "qrtiz://linkopenpair?id=nope");
    EXPECT_EQ(r.services.calls.size(), 2u);
    EXPECT_EQ(count(*r.pages[0], "__cvlLinkJump"), 0) << "no reply";
}

}  // namespace
}  // namespace cvl
