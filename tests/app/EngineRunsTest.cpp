#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

bool drainUntil(const std::function<bool()>& done) {
    return Dispatch::manualMain()->runUntil(done, std::chrono::seconds(20));
}

// Files left in the working folder whose names start with `prefix`.
int filesWithPrefix(const std::string& prefix) {
    int n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(UserDirs::archiveDir(), ec))
        if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
    return n;
}

class EngineTest : public testing::Test {
  protected:
    test::TempHome home;
    std::string root = UserDirs::engineOverrideDir();
    std::string resources = UserDirs::resourceDir();
};

TEST_F(EngineTest, LocatorPrefersAnExistingOverrideAtEachCall) {
    EXPECT_EQ(root, home / ".claude/skills/_corvello_use_bundled_engine");
    EXPECT_EQ(EngineLocator::engineLauncher(), resources + "/engine/launch.sh");
    EXPECT_EQ(EngineLocator::triageGenPy(), resources + "/engine/triage_gen.py");
    EXPECT_EQ(EngineLocator::readerHTMLPath(), resources + "/engine/vendor/pdfjs/reader.html");

    ASSERT_TRUE(test::putFile(root + "/app/launch.sh", "#!/bin/bash\n"));
    ASSERT_TRUE(test::putFile(root + "/triage_gen.py", ""));
    ASSERT_TRUE(test::putFile(root + "/app/vendor/pdfjs/reader.html", ""));
    EXPECT_EQ(EngineLocator::engineLauncher(), root + "/app/launch.sh");
    EXPECT_EQ(EngineLocator::triageGenPy(), root + "/triage_gen.py");
    EXPECT_EQ(EngineLocator::readerHTMLPath(), root + "/app/vendor/pdfjs/reader.html");
    // Files that have no override of their own still come from the package.
    EXPECT_EQ(EngineLocator::gridHTMLPath(), resources + "/engine/vendor/pdfjs/gridview.html");
    EXPECT_EQ(EngineLocator::welcomeJSPath(), resources + "/engine/welcome.js");

    // Review runs and the organizer scripts follow the override launcher.
    EXPECT_EQ(EngineRuns::shellEngineSpec({"--choose"}).args.front(), root + "/app/launch.sh");
    EXPECT_EQ(EngineRuns::organizeSpec({"plan"}, "corvello_organize.py", {}).args.front(),
              root + "/app/corvello_organize.py");

    ASSERT_EQ(::unlink((root + "/app/launch.sh").c_str()), 0);
    EXPECT_EQ(EngineLocator::engineLauncher(), resources + "/engine/launch.sh");
    EXPECT_EQ(EngineRuns::aiSpec({}).args.front(), resources + "/engine/corvello_ai.py");
}

TEST_F(EngineTest, LauncherArgumentLists) {
    using namespace EngineRuns;
    EXPECT_EQ(loadArgs("/l.html", std::string("rank"), {"/a", "/b"}),
              (Strings{"--choose", "--loading-file", "/l.html", "--mode", "rank", "/a", "/b"}));
    EXPECT_EQ(loadArgs("/l.html", std::nullopt, {"/a"}),
              (Strings{"--choose", "--loading-file", "/l.html", "/a"}));
    EXPECT_EQ(reshellArgs("/l", std::string("x,y"), std::string("pdf"), true, {"/s"}),
              (Strings{"--loading-file", "/l", "--include-folders", "x,y", "--include-types", "pdf",
                       "--remember", "/s"}));
    EXPECT_EQ(reshellArgs("/l", std::nullopt, std::nullopt, false, {"/s"}),
              (Strings{"--loading-file", "/l", "/s"}));
    EXPECT_EQ(reshellChooseArgs("/l", true, {"/s"}),
              (Strings{"--choose", "--loading-file", "/l", "--reset-pref", "/s"}));
    EXPECT_EQ(reloadRecacheArgs("/l", true, {"/s", "/t"}),
              (Strings{"--choose", "--loading-file", "/l", "--fresh", "/s", "/t"}));
    ProcessSpec spec = shellEngineSpec(loadArgs("/l", std::nullopt, {"/a"}));
    EXPECT_EQ(spec.program, "/bin/bash");
    EXPECT_EQ(spec.args.size(), 5u);
}

TEST_F(EngineTest, ConversionScriptsAndInterpreters) {
    using namespace EngineRuns;
    // The PATH-prefixed form is checked by running it (ConversionRunPassesPaths...).
    EXPECT_EQ(conversionScriptText("--grid-json", false),
              "exec /usr/bin/python3 \"$0\" --grid-json \"$1\" \"$2\"");
    ProcessSpec c = conversionSpec("/e/triage_gen.py", "--edit-probe", false, "/in", "/out");
    EXPECT_EQ(c.program, "/bin/bash");
    EXPECT_EQ(c.args, (Strings{"-c", conversionScriptText("--edit-probe", false),
                               "/e/triage_gen.py", "/in", "/out"}));

    PanelRequest plain{"history", "/o.html", "1.2", "Corvello", "Document Studio", {}, {"--x"}};
    std::string panels = EngineLocator::panelPy();
    EXPECT_EQ(panelArgs(plain), (Strings{panels, "history", "/o.html", "--version", "1.2", "--app",
                                         "Corvello", "--category", "Document Studio", "--x"}));
    PanelRequest settings = plain;
    settings.kind = "settings";
    settings.settings = SettingsPanelInfo{};
    settings.settings->configPath = "/c.json";
    settings.settings->fullDiskAccess = true;
    Strings args = panelArgs(settings);
    ASSERT_EQ(args.size(), 10u + 30u);
    EXPECT_EQ(Strings(args.begin() + 9, args.begin() + 13),
              (Strings{"--config", "/c.json", "--fda", "1"}));
    EXPECT_EQ(args[13], "--finderext");
    EXPECT_EQ(args[37], "--nightwindow");
    EXPECT_EQ(args.back(), "--x");
    EXPECT_EQ(parentPath(panelOutputPath("settings")), UserDirs::archiveDir());
    EXPECT_EQ(lastPathComponent(panelOutputPath("settings")).rfind(".panel-settings-", 0), 0u);

    preparePanelRun("settings");
    EXPECT_TRUE(isDirectory(UserDirs::archiveDir()));
    auto first = readFile(UserDirs::configPath());
    ASSERT_TRUE(first.has_value());
    EXPECT_NE(first->find("\"viewer\": \"app\""), std::string::npos);
    ASSERT_TRUE(writeFileAtomic(UserDirs::configPath(), "{\"viewer\": \"mine\"}"));
    preparePanelRun("settings");
    EXPECT_EQ(readFile(UserDirs::configPath()), "{\"viewer\": \"mine\"}");
}

TEST_F(EngineTest, ConversionRunPassesPathsWithSpacesAndRemovesItsExchangeFile) {
    // A stand-in engine script that records its arguments and answers like the real one.
    ASSERT_TRUE(test::putFile(root + "/triage_gen.py", R"(import json, os, sys
flag, src, out = sys.argv[1], sys.argv[2], sys.argv[3]
answer = {"pdf": src + ".pdf", "flag": flag, "path_prefixed": os.environ["PATH"].startswith("/opt/homebrew/bin:/usr/local/bin:")}
json.dump(answer, open(out, "w"))
json.dump(answer, open(os.path.join(os.path.dirname(out), "seen.json"), "w"))
)"));
    std::string source = home / "My Files/contract draft.docx";
    ASSERT_TRUE(test::putFile(source, "doc"));

    bool done = false;
    std::optional<std::string> pdf;
    EngineRuns::convertToPDF(source, [&](std::optional<std::string> p) {
        pdf = p;
        done = true;
    });
    ASSERT_TRUE(drainUntil([&] { return done; }));
    EXPECT_EQ(pdf, source + ".pdf");
    EXPECT_EQ(filesWithPrefix(".topdf-"), 0);
    json seen = json::parse(*readFile(UserDirs::archiveDir() + "/seen.json"));
    EXPECT_EQ(seen["flag"], "--to-pdf");
    EXPECT_EQ(seen["path_prefixed"], true);

    done = false;
    std::optional<std::string> probe = "unset";
    EngineRuns::editProbe(source, [&](std::optional<std::string> p) {
        probe = p;
        done = true;
    });
    ASSERT_TRUE(drainUntil([&] { return done; }));
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(json::parse(*probe)["flag"], "--edit-probe");
    EXPECT_EQ(filesWithPrefix(".editprobe-"), 0);
}

TEST_F(EngineTest, MissingEngineScriptsGiveNoResult) {
    // The packaged engine has no conversion script in a bare resource folder.
    ::setenv("CVL_RESOURCES", (home / "empty-resources").c_str(), 1);
    int finished = 0;
    std::optional<std::string> pdf = "unset", grid = "unset";
    std::string pages;
    std::optional<EngineRuns::TimelineResult> timeline;
    EngineRuns::convertToPDF("/x.docx", [&](std::optional<std::string> p) {
        pdf = p;
        ++finished;
    });
    EngineRuns::parseGrid("/x.pdf", [&](std::optional<std::string> g) {
        grid = g;
        ++finished;
    });
    EngineRuns::renderFilePages("/x y.pdf", [&](std::string p) {
        pages = p;
        ++finished;
    });
    EngineRuns::computeTimeline({"/a.pdf", "/b.pdf"}, true, {{{0, 1}}},
                                [&](std::optional<EngineRuns::TimelineResult> t) {
                                    timeline = t;
                                    ++finished;
                                });
    bool ok = drainUntil([&] { return finished == 4; });
    ::setenv("CVL_RESOURCES", resources.c_str(), 1);
    ASSERT_TRUE(ok);
    EXPECT_EQ(pdf, std::nullopt);
    EXPECT_EQ(grid, std::nullopt);
    EXPECT_FALSE(timeline.has_value());
    json p = json::parse(pages);
    EXPECT_EQ(p,
              json({{"path", "/x y.pdf"}, {"pages", json::array()}, {"needs_converter", false}}));
    EXPECT_EQ(filesWithPrefix(".tl"), 0) << "timeline input and output are both removed";
}

TEST_F(EngineTest, TimelineRunReadsDraftsAndDiffs) {
    ASSERT_TRUE(test::putFile(root + "/app/corvello_diff.py", R"(import json, sys
req = json.load(open(sys.argv[2]))
json.dump({"drafts": [{"path": p} for p in req["paths"]],
           "diffs": {"0-1": {"pairs": req.get("pairs"), "meta": req["meta"]}}}, open(sys.argv[3], "w"))
)"));
    bool done = false;
    std::optional<EngineRuns::TimelineResult> result;
    EngineRuns::computeTimeline({"/a.pdf", "/b.pdf"}, false, {{{0, 1}}},
                                [&](std::optional<EngineRuns::TimelineResult> t) {
                                    result = t;
                                    done = true;
                                });
    ASSERT_TRUE(drainUntil([&] { return done; }));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(json::parse(result->draftsJSON),
              json::parse(R"([{"path":"/a.pdf"},{"path":"/b.pdf"}])"));
    ASSERT_EQ(result->diffs.count("0-1"), 1u);
    EXPECT_EQ(json::parse(result->diffs["0-1"]), json::parse(R"({"pairs":[[0,1]],"meta":false})"));
    EXPECT_EQ(filesWithPrefix(".tl"), 0);
}

TEST(OrganizerOutput, ReductionRule) {
    using EngineRuns::reduceOrganizerOutput;
    const std::string startError = R"({"error":"Could not start the organizer engine."})";
    EXPECT_EQ(reduceOrganizerOutput("  {\n  \"ok\": 1\n}\n"), "{\n  \"ok\": 1\n}");
    EXPECT_EQ(reduceOrganizerOutput("scanning\nfound 3\n{\"moves\":[]}\n"), "{\"moves\":[]}");
    EXPECT_EQ(reduceOrganizerOutput("{\"a\":1}\nbye\n"), startError);
    EXPECT_EQ(reduceOrganizerOutput(""), startError);
    EXPECT_EQ(reduceOrganizerOutput("log\n42\n"), startError);
}

class OrganizerRunTest : public EngineTest {
  protected:
    void SetUp() override { ASSERT_TRUE(test::putFile(root + "/app/launch.sh", "#!/bin/bash\n")); }
    std::string run(const Strings& args, const std::string& script,
                    std::function<void(std::string)> progress = {},
                    std::map<std::string, std::string> env = {}) {
        bool done = false;
        std::string answer;
        EngineRuns::runOrganize(args, script, std::move(progress), env, [&](std::string a) {
            answer = std::move(a);
            done = true;
        });
        EXPECT_TRUE(drainUntil([&] { return done; }));
        return answer;
    }
};

TEST_F(OrganizerRunTest, LogLinesThenJSONYieldTheJSONLineAndProgressComesFromErrorOutput) {
    ASSERT_TRUE(test::putFile(root + "/app/corvello_organize.py", R"(import json, os, sys
print("scanning", sys.argv[1:], flush=True)
sys.stderr.write("progress 50%\n"); sys.stderr.flush()
print(json.dumps({"step": sys.argv[1], "folder": sys.argv[3],
                  "parent": os.environ.get("CVL_ENGINE_PARENT_PID"),
                  "path": os.environ.get("PATH"), "mine": os.environ.get("CVL_EXTRA")}))
)"));
    std::string progressText;
    std::string answer =
        run({"plan", "--folder", "/docs/In box"}, "corvello_organize.py",
            [&](std::string chunk) { progressText += chunk; }, {{"CVL_EXTRA", "yes"}});
    json a = json::parse(answer, nullptr, false);
    ASSERT_TRUE(a.is_object()) << answer;
    EXPECT_EQ(a["step"], "plan");
    EXPECT_EQ(a["folder"], "/docs/In box");
    EXPECT_EQ(a["parent"], std::to_string(::getpid()));
    EXPECT_EQ(a["path"], EngineRuns::kEnginePATH);
    EXPECT_EQ(a["mine"], "yes");
    EXPECT_NE(progressText.find("progress 50%"), std::string::npos);
}

TEST_F(OrganizerRunTest, SilentFailingOrMissingScriptsGiveTheStartError) {
    const json startError = {{"error", "Could not start the organizer engine."}};
    ASSERT_TRUE(test::putFile(root + "/app/corvello_organize.py", "import sys\nsys.exit(3)\n"));
    EXPECT_EQ(json::parse(run({"apply", "--plan", "/p.json"}, "corvello_organize.py")), startError);
    EXPECT_EQ(json::parse(run({"status", "--file", "/c.json"}, "corvello_campaigns.py")),
              startError);
}

TEST_F(OrganizerRunTest, AIRunHandsOverItsOutputVerbatim) {
    ASSERT_TRUE(test::putFile(root + "/app/corvello_ai.py",
                              "import sys\nprint('answer:', ' '.join(sys.argv[1:]))\n"));
    bool done = false;
    std::string out;
    EngineRuns::runAI({"ask", "why?"}, [&](std::string o) {
        out = std::move(o);
        done = true;
    });
    ASSERT_TRUE(drainUntil([&] { return done; }));
    EXPECT_EQ(out, "answer: ask why?\n");
}

}  // namespace
}  // namespace cvl
