// The engine's organizer script on a generated folder of 40 documents: how well it tells
// their kinds, that apply does exactly what was approved without overwriting, and that undo
// brings back the very same tree, also after apply was killed half-way.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/ProcessRunner.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kScript = std::string(CVL_SOURCE_RESOURCES) + "/engine/corvello_organize.py";
const std::string kCorpus =
    std::string(CVL_SOURCE_RESOURCES) + "/../tests/operations/organize_corpus.py";

// Every path under the folder with the SHA-256 of its bytes ("dir" for folders).
std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(e.path(), root).string();
        out[rel] = e.is_directory() ? "dir" : sha256HexOfFile(e.path().string()).value_or("?");
    }
    return out;
}

struct OrganizerFixture : ::testing::Test {
    test::TempHome home;
    std::string folder;
    json expected;  // name -> kind

    void SetUp() override {
        folder = home / "Paperwork";
        auto made = run("/usr/bin/python3", {kCorpus, folder, "11"});
        ASSERT_EQ(made.exitStatus, 0) << made.err;
        expected = json::parse(made.out);
        ASSERT_EQ(expected.size(), 40u);
    }
    ProcessResult run(const std::string& program, const std::vector<std::string>& args,
                      std::map<std::string, std::string> env = {}) {
        ProcessSpec spec;
        spec.program = program;
        spec.args = args;
        spec.env = std::move(env);
        spec.env["HOME"] = home.path();
        spec.env["CVL_CLI"] = std::string(CVL_BINARY_DIR) + "/cvl";
        spec.timeout = std::chrono::minutes(5);
        return runProcess(spec);
    }
    json step(const std::vector<std::string>& args) {
        std::vector<std::string> all{kScript};
        all.insert(all.end(), args.begin(), args.end());
        auto r = run("/usr/bin/python3", all);
        EXPECT_EQ(r.exitStatus, 0) << r.err << r.out;
        return json::parse(r.out, nullptr, false);
    }
    std::string approve(const json& plan) {
        std::string path = home / "approved.json";
        EXPECT_TRUE(writeFileAtomic(path, plan.dump()).ok());
        return path;
    }
};

TEST_F(OrganizerFixture, PlanTellsKindsAndApplyThenUndoRestoresEveryByte) {
    const auto before = tree(folder);
    json plan = step({"plan", "--folder", folder});
    ASSERT_TRUE(plan.contains("items")) << plan.dump();

    std::map<std::string, std::string> kinds;
    for (const auto& it : plan["items"]) kinds[it["from"]] = it["kind"];
    for (const auto& k : plan["kept"]) kinds[k["name"]] = k["kind"];
    int right = 0;
    std::string wrong;
    for (const auto& [name, kind] : expected.items())
        if (kinds[name] == kind.get<std::string>())
            ++right;
        else
            wrong += name + " (" + kind.get<std::string>() + " as " + kinds[name] + ") ";
    EXPECT_GE(right, 36) << wrong;

    // Every target is new, distinct, inside the folder, and keeps the extension.
    std::set<std::string> targets;
    int renamed = 0;
    for (const auto& it : plan["items"]) {
        std::string to = it["to"], from = it["from"];
        EXPECT_TRUE(targets.insert(to).second) << to;
        EXPECT_FALSE(pathExists(folder + "/" + to)) << to;
        EXPECT_EQ(fs::path(to).extension(), fs::path(from).extension()) << to;
        EXPECT_EQ(to.find(".."), std::string::npos);
        if (it["renamed"].get<bool>()) ++renamed;
    }
    EXPECT_GT(renamed, 20);

    // Untick the first item: apply leaves it alone and moves the others.
    json approval = plan;
    json skipped = approval["items"][0];
    approval["items"].erase(0);
    json applied = step({"apply", "--plan", approve(approval)});
    ASSERT_TRUE(applied.contains("manifest")) << applied.dump();
    EXPECT_EQ(applied["moved"].size(), plan["items"].size() - 1);
    EXPECT_TRUE(applied["failed"].empty()) << applied["failed"].dump();
    EXPECT_TRUE(isRegularFile(folder + "/" + skipped["from"].get<std::string>()));
    for (const auto& it : approval["items"])
        EXPECT_EQ(sha256HexOfFile(folder + "/" + it["to"].get<std::string>()),
                  before.at(it["from"].get<std::string>()));

    json undone = step({"undo", "--manifest", applied["manifest"]});
    EXPECT_EQ(undone["restored"].size(), applied["moved"].size());
    EXPECT_EQ(tree(folder), before);
    json again = step({"undo", "--manifest", applied["manifest"]});
    EXPECT_TRUE(again["already"].get<bool>());
    EXPECT_EQ(tree(folder), before);
}

TEST_F(OrganizerFixture, ApplyNeverOverwritesAndUndoAfterAKillRestoresTheTree) {
    json plan = step({"plan", "--folder", folder});
    ASSERT_GT(plan["items"].size(), 10u);
    // Something takes the first target's name after the plan was made.
    const std::string taken = folder + "/" + plan["items"][0]["to"].get<std::string>();
    ASSERT_TRUE(makeDirs(parentPath(taken)));
    ASSERT_TRUE(writeFileAtomic(taken, "mine").ok());
    const auto before = tree(folder);

    // Apply slowly in the background and kill it hard once it is under way.
    const std::string plan_file = approve(plan);
    const std::string shell =
        "/usr/bin/python3 \"$0\" apply --plan \"$1\" 2>\"$2\" >/dev/null & pid=$!; "
        "for i in $(seq 1 600); do grep -q 'Moving 6/' \"$2\" && break; sleep 0.05; done; "
        "kill -9 $pid; wait $pid; exit 0";
    auto killed = run("/bin/bash", {"-c", shell, kScript, plan_file, home / "apply.err"},
                      {{"CVL_ORGANIZE_STEP_DELAY_MS", "300"}});
    ASSERT_EQ(killed.exitStatus, 0);
    EXPECT_EQ(readFile(taken).value_or(""), "mine");
    const auto during = tree(folder);
    EXPECT_NE(during, before);
    EXPECT_TRUE(isRegularFile(folder + "/" + plan["items"].back()["from"].get<std::string>()));

    std::vector<fs::path> manifests;
    for (const auto& e :
         fs::directory_iterator(home / "Library/Application Support/Corvello/Organize"))
        manifests.push_back(e.path());
    ASSERT_EQ(manifests.size(), 1u);
    json undone = step({"undo", "--manifest", manifests[0].string()});
    EXPECT_TRUE(undone["failed"].empty()) << undone.dump();
    EXPECT_EQ(tree(folder), before);

    // A full apply next to the taken name picks the next free one.
    json applied = step({"apply", "--plan", plan_file});
    EXPECT_EQ(readFile(taken).value_or(""), "mine");
    std::string first = applied["moved"][0]["to"];
    EXPECT_NE(first, plan["items"][0]["to"].get<std::string>());
    EXPECT_NE(first.find(" 2."), std::string::npos) << first;
    step({"undo", "--manifest", applied["manifest"]});
    EXPECT_EQ(tree(folder), before);
}

TEST_F(OrganizerFixture, BadInputIsAnsweredWithAnError) {
    auto none = run("/usr/bin/python3", {kScript, "plan", "--folder", home / "none"});
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_EQ(json::parse(none.out)["error"], "That folder could not be opened.");
    auto r = run("/usr/bin/python3", {kScript, "apply", "--plan", home / "none.json"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(json::parse(r.out).contains("error"));
    // A plan whose items leave the folder changes nothing.
    json evil = {{"folder", folder},
                 {"items",
                  {{{"from", "../outside.pdf"}, {"to", "x.pdf"}},
                   {{"from", expected.begin().key()}, {"to", "../../escaped.pdf"}}}}};
    const auto before = tree(folder);
    r = run("/usr/bin/python3", {kScript, "apply", "--plan", approve(evil)});
    json out = json::parse(r.out);
    EXPECT_EQ(out["moved"].size(), 0u);
    EXPECT_EQ(out["failed"].size(), 2u);
    EXPECT_EQ(tree(folder), before);
}

}  // namespace
}  // namespace cvl
