#include <gtest/gtest.h>
#include <utime.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "memory/AnnotationSidecars.h"
#include "memory/DocLinks.h"
#include "memory/StableHash.h"
#include "platform/Base64.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

class SidecarFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        makeDirs(home / "Docs");
        writeDoc("%PDF-1.7 body", 1700000000);
        setLogSink([this](const std::string& line) { logLines.push_back(line); });
    }
    void TearDown() override { setLogSink({}); }
    void writeDoc(const std::string& content, std::time_t mtime) {
        std::ofstream(doc, std::ios::trunc) << content;
        utimbuf t{mtime, mtime};
        ::utime(doc.c_str(), &t);
    }

    test::TempHome home;
    std::string doc = home / "Docs/lease.pdf";
    std::vector<std::string> logLines;
};

TEST_F(SidecarFixture, SidecarIsServedUntilTheSourceChanges) {
    EXPECT_EQ(annotSourceSig(doc), "1700000000-13");
    std::string sidecar = annotSidecarPath(doc);
    EXPECT_EQ(sidecar, home.path() + "/Library/Application Support/Corvello/annotations/" +
                           cvlStableHash(doc) + "__1700000000-13.pdf");
    EXPECT_FALSE(annotSidecarExists(doc));
    EXPECT_EQ(annotFileToServe(doc), doc);

    std::ofstream(sidecar) << "%PDF annotated";
    EXPECT_TRUE(annotSidecarExists(doc));
    EXPECT_TRUE(annotStaleSidecars(doc).empty());
    EXPECT_EQ(annotFileToServe(doc), sidecar);

    // Edited and saved by another program: the sidecar is stale, kept, and logged once.
    writeDoc("%PDF-1.7 edited body", 1700000600);
    EXPECT_FALSE(annotSidecarExists(doc));
    EXPECT_EQ(annotStaleSidecars(doc), std::vector<std::string>{sidecar});
    logLines.clear();
    EXPECT_EQ(annotFileToServe(doc), doc);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find("[cvl] annotations: 1 stale sidecar(s) for " + doc +
                               " \u2014 serving the current document"),
              std::string::npos);
    EXPECT_TRUE(pathExists(sidecar));

    // Another document's sidecars are not this one's.
    std::ofstream(annotSidecarDir() + "/" + cvlStableHash(home / "Docs/other.pdf") + "__1-1.pdf");
    EXPECT_EQ(annotStaleSidecars(doc).size(), 1u);
}

TEST_F(SidecarFixture, UnreadableSourceGetsNosrcAndNeverASidecar) {
    std::string missing = home / "Docs/vanished.pdf";
    EXPECT_FALSE(annotSourceSig(missing).has_value());
    std::string path = annotSidecarPath(missing);
    EXPECT_TRUE(path.ends_with(cvlStableHash(missing) + "__nosrc.pdf"));
    std::ofstream(path) << "%PDF";
    EXPECT_FALSE(annotSidecarExists(missing));
    EXPECT_TRUE(annotStaleSidecars(missing).empty()) << "the nosrc file is its current name";
    EXPECT_EQ(annotFileToServe(missing), missing);
}

LinkEnd endAt(const std::string& path, int page, const std::string& text) {
    auto end = parseLinkEndpoint(
        json{{"path", path}, {"page", page}, {"text", text}, {"rects", {1, 2}}}.dump());
    EXPECT_TRUE(end.has_value());
    return end.value_or(LinkEnd{});
}

class LinksFixture : public ::testing::Test {
  protected:
    test::TempHome home;
};

TEST_F(LinksFixture, FinishingWithoutAPendingEndCreatesNothing) {
    LinkSession session;
    EXPECT_FALSE(session.finish(endAt("/d/a.pdf", 1, "x")).has_value());
    EXPECT_FALSE(session.begin(std::nullopt, "a.pdf").has_value()) << "no selection, no link";
    EXPECT_FALSE(session.hasPending());
    EXPECT_TRUE(loadLinks().empty());
    EXPECT_FALSE(pathExists(linksStorePath()));

    // Cancelling drops a pending end.
    session.begin(endAt("/d/a.pdf", 1, "x"), "a.pdf");
    session.cancel();
    EXPECT_FALSE(session.finish(endAt("/d/b.pdf", 2, "y")).has_value());
    EXPECT_TRUE(loadLinks().empty());
}

TEST_F(LinksFixture, LinksAreCreatedStoredAndFound) {
    LinkSession session;
    auto began = session.begin(endAt("/d/lease.pdf", 3, "term of the lease"), "it's lease.pdf");
    ASSERT_TRUE(began.has_value());
    // The reader enters link mode with the document's name, quoted for the script.
    ASSERT_EQ(began->readerScripts.size(), 1u);
    EXPECT_NE(began->readerScripts[0].find("cvlLinkMode(true,'it\\'s lease.pdf')"),
              std::string::npos);
    EXPECT_EQ(began->toast, "Linking: select a passage in another document, then Link here");

    auto done = session.finish(endAt("/d/offer.pdf", 7, "offer period"), 1234.5);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->toast, "Link created");
    EXPECT_FALSE(session.hasPending());

    // Within one document too, and listed once.
    session.begin(endAt("/d/lease.pdf", 1, "recital"), "lease.pdf");
    session.finish(endAt("/d/lease.pdf", 9, "schedule"), 2000.0);

    json file = json::parse(readFile(linksStorePath()).value_or("null"));
    ASSERT_TRUE(file.is_array());
    ASSERT_EQ(file.size(), 2u);
    EXPECT_EQ(file[0]["a"]["rects"], json({1, 2})) << "endpoints are stored unchanged";
    EXPECT_EQ(file[0]["b"]["page"], 7);
    EXPECT_EQ(file[0]["note"], "");
    EXPECT_DOUBLE_EQ(file[0]["created"].get<double>(), 1234.5);

    EXPECT_EQ(linksInvolving("/d/lease.pdf").size(), 2u);
    EXPECT_EQ(linksInvolving("/d/offer.pdf").size(), 1u);
    EXPECT_TRUE(linksInvolving("/d/none.pdf").empty());

    std::string id = done->created->id;
    EXPECT_TRUE(setLinkNote(id, "check renewal"));
    EXPECT_EQ(loadLinks()[0].note, "check renewal");
    EXPECT_FALSE(setLinkNote("no-such-id", "x"));

    std::string md = linksExportMarkdown("/d/offer.pdf");
    EXPECT_EQ(
        md.rfind("\n## Cross-document links\n\n_1 connection \u00b7 exported by Corvello_\n\n", 0),
        0u);
    EXPECT_NE(md.find("lease.pdf"), std::string::npos);
    EXPECT_NE(md.find("term of the lease"), std::string::npos);
    EXPECT_NE(md.find("check renewal"), std::string::npos);

    EXPECT_TRUE(deleteLink(id));
    EXPECT_TRUE(deleteLink(loadLinks()[0].id));
    EXPECT_EQ(readFile(linksStorePath()).value_or(""), "[]");
    EXPECT_FALSE(deleteLink(id));
}

TEST_F(LinksFixture, MalformedStoreReadsAsEmpty) {
    std::ofstream(linksStorePath()) << "[{\"id\":";
    EXPECT_TRUE(loadLinks().empty());
    std::ofstream(linksStorePath(), std::ios::trunc) << R"({"id":"x"})";
    EXPECT_TRUE(loadLinks().empty());
    EXPECT_FALSE(parseLinkEndpoint("").has_value());
    EXPECT_FALSE(parseLinkEndpoint("\"\"").has_value());
    // The page may hand the endpoint over as a JSON string holding the object.
    auto end = parseLinkEndpoint(json(R"({"path":"/d/x.pdf","page":"4"})").dump());
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(linkEndPath(*end), "/d/x.pdf");
    EXPECT_EQ(end->page, 4);
}

TEST_F(LinksFixture, SendLinksCarriesUnicodeAndAOneShotFocus) {
    LinkSession session;
    session.begin(endAt("/d/Rés\u00e9.pdf", 1, "\u201cquoted\u201d \u2028 line"), "Rés\u00e9.pdf");
    auto done = session.finish(endAt("/d/b.pdf", 2, "b"));
    ASSERT_TRUE(done.has_value());
    session.setFocus("/d/b.pdf", done->created->id, "b");

    auto decode = [](const std::string& script) {
        const std::string open = "atob('";
        auto from = script.find(open);
        auto to = script.find("')", from);
        EXPECT_NE(from, std::string::npos);
        auto bytes = base64Decode(script.substr(from + open.size(), to - from - open.size()));
        return json::parse(bytes.value_or("null"), nullptr, false);
    };
    std::string script = session.sendLinksScript("/d/b.pdf");
    EXPECT_EQ(
        script.rfind("if(window.cvlLinks){try{cvlLinks(JSON.parse(decodeURIComponent(escape(atob('",
                     0),
        0u);
    json sent = decode(script);
    EXPECT_EQ(sent["self"], "/d/b.pdf");
    ASSERT_EQ(sent["links"].size(), 1u);
    EXPECT_EQ(sent["links"][0]["a"]["text"], "\u201cquoted\u201d \u2028 line");
    EXPECT_EQ(sent["focus"], (json{{"id", done->created->id}, {"end", "b"}}));
    EXPECT_FALSE(decode(session.sendLinksScript("/d/b.pdf")).contains("focus"));
}

}  // namespace
}  // namespace cvl
