// The engine's agent server speaking MCP on its standard input and output, against a
// running bridge over a fake application.
#include <sstream>

#include "BridgeFixture.h"
#include "platform/ProcessRunner.h"
#include "search/CVSearchIndex.h"
#include "search/SqliteDb.h"

namespace cvl::test {
namespace {

class AgentServerTest : public BridgeTest {
  protected:
    // Runs the server with one JSON-RPC message per line; returns the responses by id
    // (notifications and unparseable input have none, and use the key "null").
    std::map<std::string, json> converse(const std::vector<json>& messages) {
        std::string input;
        for (const auto& m : messages) input += m.dump() + "\n";
        return converseRaw(input);
    }
    std::map<std::string, json> converseRaw(const std::string& input) {
        ProcessSpec spec;
        spec.program = "/usr/bin/python3";
        spec.args = {std::string(CVL_SOURCE_RESOURCES) + "/engine/mcp/server.py"};
        spec.input = input;
        spec.timeout = std::chrono::seconds(60);
        auto done = std::make_shared<std::promise<ProcessResult>>();
        auto result = done->get_future();
        spawnProcess(spec, [done](ProcessResult r) { done->set_value(std::move(r)); });
        Dispatch::manualMain()->runUntil(
            [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            std::chrono::seconds(60));
        ProcessResult r = result.get();
        EXPECT_TRUE(r.succeeded()) << r.err;
        std::map<std::string, json> byId;
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line)) {
            json reply = json::parse(line, nullptr, false);
            EXPECT_TRUE(reply.is_object()) << line;
            if (!reply.is_object()) continue;
            EXPECT_EQ(reply["jsonrpc"], "2.0");
            byId[reply["id"].dump()] = reply;
        }
        return byId;
    }
    static json tool(int id, const std::string& name, json args = json::object()) {
        return {{"jsonrpc", "2.0"},
                {"id", id},
                {"method", "tools/call"},
                {"params", {{"name", name}, {"arguments", args}}}};
    }
    static std::string text(const json& reply) { return reply["result"]["content"][0]["text"]; }
    static json payload(const json& reply) {
        std::string t = text(reply);
        return json::parse(t.substr(t.find("{")), nullptr, false);
    }
};

TEST_F(AgentServerTest, HandshakeAndToolCatalogue) {
    auto r = converse({
        {{"jsonrpc", "2.0"},
         {"id", 1},
         {"method", "initialize"},
         {"params",
          {{"protocolVersion", "2024-11-05"},
           {"capabilities", json::object()},
           {"clientInfo", {{"name", "test"}, {"version", "0"}}}}}},
        {{"jsonrpc", "2.0"}, {"method", "notifications/initialized"}},
        {{"jsonrpc", "2.0"}, {"id", 2}, {"method", "tools/list"}},
        {{"jsonrpc", "2.0"}, {"id", 3}, {"method", "resources/read"}},
        tool(4, "no_such_tool"),
    });
    ASSERT_EQ(r.size(), 4u);  // the notification is not answered
    EXPECT_EQ(r["1"]["result"]["protocolVersion"], "2024-11-05");
    EXPECT_EQ(r["1"]["result"]["serverInfo"]["name"], "corvello");
    EXPECT_TRUE(r["1"]["result"]["capabilities"].contains("tools"));
    EXPECT_EQ(r["3"]["error"]["code"], -32601);
    EXPECT_EQ(r["4"]["error"]["code"], -32602);

    std::set<std::string> names;
    for (const auto& t : r["2"]["result"]["tools"]) {
        names.insert(t["name"]);
        EXPECT_EQ(t["inputSchema"]["type"], "object");
        EXPECT_FALSE(t["description"].get<std::string>().empty());
    }
    for (const char* want :
         {"corvello_status", "corvello_list_windows", "corvello_open", "corvello_goto_page",
          "corvello_read_annotations", "corvello_preview_page_change", "corvello_run_page_change",
          "corvello_combine_images", "corvello_search"})
        EXPECT_TRUE(names.count(want)) << want;
    for (const auto& t : r["2"]["result"]["tools"]) {
        if (t["name"] != "corvello_preview_page_change" && t["name"] != "corvello_run_page_change")
            continue;
        std::string d = t["description"];
        EXPECT_NE(d.find("preview"), std::string::npos);
        EXPECT_NE(d.find("summary"), std::string::npos);
    }
    auto bad = converseRaw("{not json\n");
    EXPECT_EQ(bad["null"]["error"]["code"], -32700);
}

TEST_F(AgentServerTest, DrivesWindowsAndPagesThroughTheBridge) {
    std::string doc = makePdf("Case Files/ten pages.pdf", 10);
    auto r = converse({
        tool(1, "corvello_status"),
        tool(2, "corvello_open", {{"path", "~/Case Files/ten pages.pdf"}, {"page", 3}}),
        tool(3, "corvello_goto_page", {{"page", 500}, {"path", doc}}),
        tool(4, "corvello_list_windows"),
        tool(5, "corvello_open", {{"path", "~/nowhere.pdf"}}),
    });
    json status = payload(r["1"]);
    EXPECT_EQ(status["app"], "Corvello");
    EXPECT_FALSE(r["1"]["result"]["isError"]);
    EXPECT_EQ(payload(r["2"])["opened"], doc);
    EXPECT_EQ(host->calls[0], "openFile " + doc + " @3");  // spaces arrive intact
    // The fake reader opened by /open has no pages yet: the page turn reports it.
    EXPECT_TRUE(r["3"]["result"]["isError"]);
    EXPECT_NE(text(r["3"]).find("still opening"), std::string::npos);
    EXPECT_EQ(payload(r["4"])["count"], 1);
    EXPECT_TRUE(r["5"]["result"]["isError"]);
    EXPECT_EQ(text(r["5"]).rfind("no such file: " + home.path() + "/nowhere.pdf", 0), 0u);

    host->windows[0].pageCount = 10;
    auto turned = converse({tool(6, "corvello_goto_page", {{"page", 500}, {"path", doc}})});
    EXPECT_EQ(payload(turned["6"])["page"], 10);
    EXPECT_EQ(payload(turned["6"])["page_count"], 10);
}

TEST_F(AgentServerTest, PreviewThenRunAPageChange) {
    std::string doc = makePdf("ten.pdf", 10);
    auto first = converse({
        tool(1, "corvello_preview_page_change",
             {{"path", doc}, {"text", "delete pages 2-3"}, {"selection", {1, 4}}}),
        tool(2, "corvello_preview_page_change", {{"path", doc}, {"text", "make it pretty"}}),
        tool(3, "corvello_run_page_change", {{"path", doc}}),
    });
    std::string previewText = text(first["1"]);
    EXPECT_EQ(
        previewText.rfind("PREVIEW (nothing written yet): Delete pages 2–3 of this document.", 0),
        0u);
    json preview = payload(first["1"]);
    ASSERT_EQ(preview["kind"], "preview");
    std::string id = preview["id"];
    EXPECT_NE(previewText.find("corvello_run_page_change with id " + id), std::string::npos);
    EXPECT_EQ(work->calls[0], "interpret delete pages 2-3 n=10 cur=- sel=1;4;");

    EXPECT_FALSE(first["2"]["result"]["isError"]);
    EXPECT_EQ(payload(first["2"])["kind"], "clarify");
    EXPECT_EQ(payload(first["2"])["options"], work->canonicalPhrases());
    EXPECT_TRUE(first["3"]["result"]["isError"]);
    EXPECT_EQ(text(first["3"]), "id is required");

    auto run = converse({tool(4, "corvello_run_page_change", {{"path", doc}, {"id", id}}),
                         tool(5, "corvello_run_page_change", {{"path", doc}, {"id", id}})});
    EXPECT_FALSE(run["4"]["result"]["isError"]);
    EXPECT_EQ(payload(run["4"])["outputs"], (json{home.path() + "/ten (edited).pdf"}));
    EXPECT_TRUE(pathExists(home / "ten (edited).pdf"));
    EXPECT_TRUE(run["5"]["result"]["isError"]);
    EXPECT_EQ(text(run["5"]).rfind("That preview has expired or was already used.", 0), 0u);
}

TEST_F(AgentServerTest, SearchesTheIndexDatabaseReadOnly) {
    // The application's own index schema, with rows as an indexing run would leave them.
    std::string dbPath = CVSearchIndex::defaultPath();
    {
        CVSearchIndex index(dbPath);
        ASSERT_TRUE(index.isOpen());
        SqliteConnection db(dbPath);
        ASSERT_TRUE(db.exec(
            "INSERT INTO chunk(path, atype, anchor, page, body) VALUES"
            " ('/cases/lease.pdf', 'page', '4', 4, 'The Tenant shall pay the indemnity within 30 "
            "days.'),"
            " ('/cases/old/memo.docx', 'para', '¶2', 0, 'No INDEMNITY is owed under \"this\" "
            "memo.'),"
            " ('/cases/lease.pdf', 'page', '5', 5, 'Signatures follow.');"));
    }
    std::string before = readFile(dbPath).value_or("");

    auto r = converse({
        tool(1, "corvello_search", {{"query", "indemnity"}}),
        tool(2, "corvello_search", {{"query", "indemnity"}, {"folder", "/cases/old"}}),
        tool(3, "corvello_search", {{"query", "in"}}),
        tool(4, "corvello_search", {{"query", "\"this\" memo"}}),
    });
    json all = payload(r["1"]);
    EXPECT_EQ(all["count"], 2);
    std::set<std::string> paths;
    for (const auto& hit : all["results"]) paths.insert(hit["path"]);
    EXPECT_EQ(paths, (std::set<std::string>{"/cases/lease.pdf", "/cases/old/memo.docx"}));
    json scoped = payload(r["2"]);
    ASSERT_EQ(scoped["count"], 1);
    EXPECT_EQ(scoped["results"][0]["anchor"], "¶2");
    EXPECT_NE(scoped["results"][0]["snippet"].get<std::string>().find("[INDEMNITY]"),
              std::string::npos);
    EXPECT_TRUE(r["3"]["result"]["isError"]);
    EXPECT_EQ(payload(r["4"])["count"], 1);  // quotes in the query are searched for, not parsed
    EXPECT_EQ(readFile(dbPath).value_or(""), before);
}

TEST_F(AgentServerTest, AStoppedApplicationIsReportedNotCrashedOn) {
    bridge.stop();
    auto r = converse({tool(1, "corvello_status"), tool(2, "corvello_list_windows")});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_TRUE(r["1"]["result"]["isError"]);
    EXPECT_EQ(text(r["1"]).rfind("Corvello is not running", 0), 0u);
    EXPECT_TRUE(r["2"]["result"]["isError"]);
}

}  // namespace
}  // namespace cvl::test
