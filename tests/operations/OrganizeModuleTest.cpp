// The organize operations through a fake window, with a stand-in organizer script in the
// user's engine override folder that records its arguments and answers with fixed texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "operations/OrganizeModule.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(Organize, ListingPayloadProgressAndSheet) {
    test::TempHome home;
    const std::string dir = home / "box";
    ASSERT_TRUE(makeDirs(dir));
    for (const char* name : {"a.PDF", ".hidden.pdf", "b.docx", "c.xlsx", "notes.MD"})
        ASSERT_TRUE(writeFileAtomic(dir + "/" + name, "x").ok());
    EXPECT_EQ(Organize::organizableDocuments(dir),
              (std::vector<std::string>{"a.PDF", "b.docx", "notes.MD"}));
    EXPECT_TRUE(Organize::organizableDocuments(home / "none").empty());

    EXPECT_EQ(json::parse(Organize::initPayload(dir, "2.1")),
              json({{"folder", dir},
                    {"ver", "2.1"},
                    {"name", "box"},
                    {"files", {"a.PDF", "b.docx", "notes.MD"}}}));
    for (const auto& bad : {std::string(), home / "none", dir + "/a.PDF"})
        EXPECT_EQ(json::parse(Organize::initPayload(bad, ""))["err"],
                  "That folder could not be opened.");

    auto p = Organize::parseProgress("\u00B7 Reading 3/12 files", 40);
    EXPECT_EQ(p.line, "Reading 3/12 files");
    EXPECT_EQ(std::make_pair(p.done, p.total), std::make_pair(3LL, 12LL));
    p = Organize::parseProgress("Planning folders", 40);
    EXPECT_EQ(std::make_pair(p.done, p.total), std::make_pair(0LL, 40LL));
    p = Organize::parseProgress("step 99999999999999999999/4", 7);
    EXPECT_EQ(std::make_pair(p.done, p.total), std::make_pair(0LL, 7LL));

    EXPECT_EQ(Organize::applySheet(dir, 1).message,
              "Corvello will create folders and move or rename 1 file in \u201Cbox\u201D. Every "
              "change is logged and can be undone in one click.");
    EXPECT_EQ(Organize::applySheet(dir, 1).title, "Organize \u201Cbox\u201D?");
    const std::pair<const char*, long long> counts[] = {{"0", 0}, {"-3", -3}, {"+4", 4}, {"abc", 0},
                                                        {"", 0},  {"3x", 0},  {"--3", 0}};
    for (const auto& [text, n] : counts) EXPECT_EQ(Organize::parseCount(std::string(text)), n);
    EXPECT_EQ(Organize::parseCount(std::nullopt), 0);
    EXPECT_NE(Organize::applySheet(dir, -3).message.find("-3 files"), std::string::npos);
}

// A stand-in organizer: logs its arguments (and an approval file's text) to calls.txt,
// prints a progress line and a log line, then one JSON answer.
struct OrganizeFixture : ::testing::Test {
    test::TempHome home;
    test::ModuleHarness h;
    OrganizeModule module;
    std::string folder;

    void SetUp() override {
        const std::string app = home / ".claude/skills/_corvello_use_bundled_engine/app";
        ASSERT_TRUE(makeDirs(app));
        ASSERT_TRUE(writeFileAtomic(app + "/launch.sh", "#!/bin/bash\n").ok());
        const std::string script =
            "import sys, os\n"
            "log = open(os.path.join(os.path.dirname(__file__), 'calls.txt'), 'a')\n"
            "log.write(' '.join(sys.argv[1:]) + '\\n')\n"
            "if sys.argv[1] == 'apply':\n"
            "    log.write(open(sys.argv[3]).read() + '\\n')\n"
            "sys.stderr.write('\\u00b7 Reading 3/12 files\\nhalf a li')\n"
            "sys.stderr.flush()\n"
            "sys.stderr.write('ne\\n')\n"
            "print('working...')\n"
            "print('{\"step\": \"%s\", \"ok\": true}' % sys.argv[1])\n";
        ASSERT_TRUE(writeFileAtomic(app + "/corvello_organize.py", script).ok());
        folder = home / "Inbox";
        ASSERT_TRUE(makeDirs(folder));
        ASSERT_TRUE(writeFileAtomic(folder + "/a.pdf", "a").ok());
        ASSERT_TRUE(writeFileAtomic(folder + "/b.txt", "b").ok());
        h.window->state.pageKind = "organize";
        h.window->state.sourcePaths = {folder};
    }
    std::string calls() {
        return readFile(home / ".claude/skills/_corvello_use_bundled_engine/app/calls.txt")
            .value_or("");
    }
    void send(const std::string& url) { module.handle(h.request(url)); }
    bool waitFor(const std::string& function, std::size_t n = 1) {
        return h.runUntil([&] { return h.window->callsOf(function).size() >= n; }, 20000);
    }
};

TEST_F(OrganizeFixture, ReadyAndPlanRelayProgressAndTheAnswerVerbatim) {
    send("qrtiz://organizeready");
    h.drain();
    ASSERT_EQ(h.window->callsOf("cvlOrgInit").size(), 1u);
    EXPECT_NE(h.window->callsOf("cvlOrgInit")[0].find("\"files\":[\"a.pdf\",\"b.txt\"]"),
              std::string::npos);

    send("qrtiz://organizeplan");
    ASSERT_TRUE(waitFor("cvlOrgPlan"));
    EXPECT_EQ(calls(), "plan --folder " + folder + "\n");
    auto progress = h.window->callsOf("cvlOrgProgress");
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_NE(progress[0].find("cvlOrgProgress(\"Reading 3/12 files\",3,12)"), std::string::npos);
    EXPECT_NE(progress[1].find("cvlOrgProgress(\"half a line\",0,2)"), std::string::npos);
    EXPECT_NE(
        h.window->callsOf("cvlOrgPlan")[0].find("cvlOrgPlan({\"step\": \"plan\", \"ok\": true})"),
        std::string::npos);

    send("qrtiz://organizeplan?folder=");  // an empty folder does nothing
    send("qrtiz://organizeundo");          // nor does an undo without a manifest
    h.drain();
    EXPECT_EQ(calls(), "plan --folder " + folder + "\n");
}

TEST_F(OrganizeFixture, ApplyAsksWritesTheApprovalAndCanStopAsking) {
    // No approval: no sheet, no run, no reply.
    send("qrtiz://organizeapply?n=2");
    h.drain();
    EXPECT_TRUE(h.dialogs.sheets.empty());
    EXPECT_TRUE(h.window->callsOf("cvlOrgApplied").empty());

    h.window->values = {{"__cvlOrgApprove", std::string("{\"items\":[1,2]}")}};
    h.dialogs.confirmAnswers = {ConfirmAnswer::Cancel, ConfirmAnswer::Alternate};
    send("qrtiz://organizeapply?n=2");
    ASSERT_TRUE(waitFor("cvlOrgApplied"));
    EXPECT_NE(h.window->callsOf("cvlOrgApplied")[0].find("{\"error\":\"Nothing was changed.\"}"),
              std::string::npos);
    EXPECT_EQ(h.dialogs.sheets[0].alternate, "Organize and Don\u2019t Ask Again");
    EXPECT_EQ(calls(), "");

    send("qrtiz://organizeapply?n=2");
    ASSERT_TRUE(waitFor("cvlOrgApplied", 2));
    EXPECT_TRUE(cfgBool("pageops_skip_organize", false));
    std::string log = calls();
    auto plan = log.substr(log.find("--plan ") + 7, log.find('\n') - log.find("--plan ") - 7);
    EXPECT_EQ(fs::path(plan).parent_path(), fs::temp_directory_path());
    EXPECT_EQ(fs::path(plan).filename().string().rfind("cvorg-approve-", 0), 0u);
    EXPECT_NE(log.find("{\"items\":[1,2]}"), std::string::npos);
    EXPECT_FALSE(pathExists(plan));  // removed when the run ended
    EXPECT_NE(h.window->callsOf("cvlOrgApplied")[1].find("{\"step\": \"apply\", \"ok\": true}"),
              std::string::npos);
    for (const auto& s : h.window->callsOf("cvlOrgProgress"))
        EXPECT_NE(s.find(",0,0)"), std::string::npos) << s;

    send("qrtiz://organizeapply?n=2");  // no sheet any more
    ASSERT_TRUE(waitFor("cvlOrgApplied", 3));
    EXPECT_EQ(h.dialogs.sheets.size(), 2u);

    send("qrtiz://organizeundo?manifest=" + percentEncode(home / "m.jsonl"));
    ASSERT_TRUE(waitFor("cvlOrgUndone"));
    EXPECT_NE(calls().find("undo --manifest " + home / "m.jsonl"), std::string::npos);
}

TEST_F(OrganizeFixture, OrganizeOpensThePageOrAsksForAFolder) {
    send("qrtiz://organize?dir=" + percentEncode(folder));
    ASSERT_EQ(h.app.calls.size(), 2u);
    EXPECT_EQ(h.app.calls[0], "recent " + folder);
    EXPECT_EQ(h.app.calls[1].rfind("page organize file://", 0), 0u);
    EXPECT_NE(h.app.calls[1].find("organize.html?folder=" + percentEncode(folder) + "&theme=light"),
              std::string::npos);

    h.dialogs.chooseAnswers = {{home / "Other"}};
    send("qrtiz://organize");
    h.drain();
    ASSERT_EQ(h.dialogs.choices.size(), 1u);
    EXPECT_EQ(h.dialogs.choices[0].message,
              "Choose a folder of documents to organize with AI (on-device)");
    EXPECT_EQ(h.dialogs.choices[0].prompt, "Organize");
    EXPECT_EQ(h.app.calls.size(), 4u);
    EXPECT_EQ(h.app.calls[2], "recent " + home / "Other");
}

}  // namespace
}  // namespace cvl
