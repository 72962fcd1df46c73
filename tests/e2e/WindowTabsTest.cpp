// The document window's tabs as the toolkit draws them: labels, tooltips and the window title
// while tabs are switched, and the tabs after a quit and a new start. The shell is asked from
// the driven page through its test probe (window.webkit.messageHandlers.cvlShell), which reads
// the real widgets, selects tabs and presses keys as the keyboard would.
#include <gtest/gtest.h>

#include <fstream>

#include "E2ESupport.h"

namespace cvl {
namespace {

using namespace test;

const char* kShellHelper = R"(
const shell = (request) => window.webkit.messageHandlers.cvlShell.postMessage(request);
const until = async (probe, ms) => {
  const end = Date.now() + (ms || 20000);
  for (;;) {
    const v = await probe();
    if (v) return v;
    if (Date.now() > end) return null;
    await new Promise((r) => setTimeout(r, 50));
  }
};
// The windows once the first has `count` tabs, none of them still preparing its page.
const settled = (count) => until(async () => {
  const w = await shell({ do: 'windows' });
  const tabs = w.windows.length ? w.windows[0].tabs : [];
  return tabs.length === count && tabs.every((t) => t.label && !t.label.includes('preparing')) && w;
});
)";

struct Driven {
    ProcessResult run;
    json result;  // null when the script never finished
};

// Starts corvello with `args`; `script` runs in the first qualifying page (see CVL_TEST_DRIVE_ON).
Driven drive(const TempHome& home, const std::vector<std::string>& args, const std::string& script,
             std::map<std::string, std::string> env) {
    const std::string scriptFile = home / "drive.js";
    const std::string outFile = home / "drive-out.json";
    ::unlink(outFile.c_str());
    std::ofstream(scriptFile) << kShellHelper << script;
    env["CVL_TEST_DRIVE"] = scriptFile;
    env["CVL_TEST_DRIVE_OUT"] = outFile;
    Driven d{runCorvello(home, args, env), nullptr};
    if (auto text = readFile(outFile)) d.result = json::parse(*text, nullptr, false);
    return d;
}

struct Documents {
    std::string first, longName, folder;
    std::vector<std::string> args() const { return {first, longName, folder}; }
};

Documents makeDocuments(const TempHome& home) {
    Documents d;
    d.first = makePdf(home / "First.pdf", 2);
    d.longName = makePdf(
        home / "Master services agreement between Harbour Freight and Orrin Delaney (final).pdf",
        1);
    d.folder = home / "Matter";
    makeDirs(d.folder);
    makePdf(d.folder + "/Inside.pdf", 1);
    return d;
}

TEST(DesktopTabs, EachTabShowsItsNameAndPathAndTheTitleFollowsTheSelectedTab) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    TempHome home;
    const Documents docs = makeDocuments(home);
    // Two documents and a folder, each its own tab; the folder's review runs the script.
    Driven d = drive(home, docs.args(), R"(
const opened = await settled(3);
if (!opened) return { opened: await shell({ do: 'windows' }) };
await shell({ do: 'select', window: 0, tab: 1 });
const second = await until(async () => {
  const w = await shell({ do: 'windows' });
  return w.windows[0].tabs[1].selected && w.windows[0].title.startsWith('Master') && w;
}, 5000);
await shell({ do: 'select', window: 0, tab: 0 });
const first = await until(async () => {
  const w = await shell({ do: 'windows' });
  return w.windows[0].title === 'First.pdf' && w;
}, 5000);
return { opened, second: second || await shell({ do: 'windows' }),
         first: first || await shell({ do: 'windows' }) };
)",
                     {{"CVL_TEST_DRIVE_ON", "review"}});
    ASSERT_FALSE(d.run.timedOut) << d.run.err;
    ASSERT_TRUE(d.result.is_object()) << d.result.dump() << d.run.err;
    ASSERT_TRUE(d.result.contains("first")) << d.result.dump();

    const json& opened = d.result["opened"]["windows"];
    ASSERT_EQ(opened.size(), 1u) << opened.dump();
    const json& tabs = opened[0]["tabs"];
    EXPECT_EQ(opened[0]["tabBar"], true);
    const std::vector<std::pair<std::string, std::string>> want = {
        {"First.pdf", docs.first},
        {"Master services agreement between Harbour Freight and Orrin Delaney (final).pdf",
         docs.longName},
        {"Matter", docs.folder}};
    ASSERT_EQ(tabs.size(), want.size()) << tabs.dump();
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].first);
        EXPECT_EQ(tabs[i]["label"], want[i].first);
        EXPECT_EQ(tabs[i]["tooltip"], want[i].second);
        EXPECT_EQ(tabs[i]["drawn"], true);
        // A short name is drawn whole; only the long one is shortened (in the middle).
        EXPECT_EQ(tabs[i]["shortened"], i == 1) << tabs[i].dump();
        EXPECT_GT(tabs[i]["width"].get<int>(), 30) << tabs[i].dump();
    }
    // The long name is cut down to a tab's width, still wider than the short ones.
    EXPECT_LT(tabs[1]["width"].get<int>(), 400);
    EXPECT_GT(tabs[1]["width"].get<int>(), tabs[0]["width"].get<int>());
    // The last opened (the folder) is selected and names the window.
    EXPECT_EQ(tabs[2]["selected"], true);
    EXPECT_EQ(opened[0]["title"], "Matter");
    EXPECT_EQ(opened[0]["represented"], docs.folder);

    // Switching tabs retitles the window and its file, each time.
    const json& second = d.result["second"]["windows"][0];
    EXPECT_EQ(second["title"], want[1].first);
    EXPECT_EQ(second["represented"], docs.longName);
    const json& first = d.result["first"]["windows"][0];
    EXPECT_EQ(first["title"], "First.pdf");
    EXPECT_EQ(first["represented"], docs.first);
    EXPECT_EQ(first["tabs"][0]["selected"], true);
    // Labels stay with their tabs.
    EXPECT_EQ(first["tabs"][2]["label"], "Matter");
}

// Quits with `accel` after selecting the first tab, then starts again; gives what the new start
// shows.
json quitAndStartAgain(const TempHome& home, const Documents& docs, const std::string& accel) {
    Driven quit = drive(home, docs.args(), R"(
if (!await settled(3)) return { notOpened: await shell({ do: 'windows' }) };
await shell({ do: 'select', window: 0, tab: 0 });
await until(async () => (await shell({ do: 'windows' })).windows[0].title === 'First.pdf', 5000);
await shell({ do: 'keys', accel: ')" + accel + R"(' });
// Only reached when the keys did not quit.
await new Promise((r) => setTimeout(r, 10000));
return { stillRunning: await shell({ do: 'windows' }) };
)",
                        {{"CVL_TEST_DRIVE_ON", "review"}});
    EXPECT_FALSE(quit.run.timedOut) << quit.run.err;
    EXPECT_EQ(quit.run.exitStatus, 0) << quit.run.err;
    EXPECT_TRUE(quit.result.is_null()) << "the keys did not quit: " << quit.result.dump();

    // The new start shows the restored tabs (the selected reader runs the script) or, with
    // nothing restored, the welcome page.
    Driven again = drive(home, {}, R"(
return await settled((await shell({ do: 'windows' })).windows[0].tabs.length) ||
       await shell({ do: 'windows' });
)",
                         {{"CVL_TEST_DRIVE_ON", "welcome"}, {"CVL_TEST_RESTORE", "1"}});
    EXPECT_FALSE(again.run.timedOut) << again.run.err;
    return again.result;
}

TEST(DesktopTabs, QuittingKeepsTheTabsForTheNextStartUnlessAltIsHeld) {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display (scripts/test.sh runs under xvfb-run)";
    {
        SCOPED_TRACE("Ctrl+Q");
        TempHome home;
        const Documents docs = makeDocuments(home);
        json shown = quitAndStartAgain(home, docs, "<Control>q");
        ASSERT_TRUE(shown.is_object()) << shown.dump();
        const json& windows = shown["windows"];
        ASSERT_EQ(windows.size(), 1u) << shown.dump();
        const json& tabs = windows[0]["tabs"];
        ASSERT_EQ(tabs.size(), 3u) << shown.dump();
        EXPECT_EQ(tabs[0]["tooltip"], docs.first);
        EXPECT_EQ(tabs[1]["tooltip"], docs.longName);
        EXPECT_EQ(tabs[2]["tooltip"], docs.folder);
        EXPECT_EQ(tabs[2]["label"], "Matter");
        // The tab selected at the quit is selected again and names the window.
        EXPECT_EQ(tabs[0]["selected"], true);
        EXPECT_EQ(windows[0]["title"], "First.pdf");
        auto log = readFile(home / "Library/Logs/Corvello/reader.log");
        ASSERT_TRUE(log);
        EXPECT_NE(log->find("open tabs: restored 3 of 3 saved (relaunch)"), std::string::npos)
            << *log;
    }
    {
        SCOPED_TRACE("Ctrl+Alt+Q");
        TempHome home;
        const Documents docs = makeDocuments(home);
        json shown = quitAndStartAgain(home, docs, "<Control><Alt>q");
        ASSERT_TRUE(shown.is_object()) << shown.dump();
        const json& windows = shown["windows"];
        ASSERT_EQ(windows.size(), 1u) << shown.dump();
        ASSERT_EQ(windows[0]["tabs"].size(), 1u) << shown.dump();
        EXPECT_EQ(windows[0]["title"], "Corvello");  // the welcome page
        EXPECT_EQ(windows[0]["represented"], "");
        auto log = readFile(home / "Library/Logs/Corvello/reader.log");
        ASSERT_TRUE(log);
        EXPECT_NE(log->find("open tabs: not restored"), std::string::npos) << *log;
    }
}

}  // namespace
}  // namespace cvl
