// The file-operation bridge module through a fake window: fileOpDone replies, the folder
// chooser, the window's own documents, and moving the open document to the Trash.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "operations/FileOpsModule.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct FileOpsFixture : ::testing::Test {
    test::TempHome home;
    test::ModuleHarness h;
    FileOpsModule module;

    void SetUp() override {
        h.window->state.pageKind = "review";
        h.window->state.sourcePaths = {home / "docs"};
        for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) put(home / "docs" + "/" + name);
    }
    static void put(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_TRUE(writeFileAtomic(path, path).ok());
    }
    static std::string list(const std::vector<std::string>& paths) { return json(paths).dump(); }
    void send(const std::string& url) { module.handle(h.request(url)); }
    // The outcome objects the page received, in order.
    std::vector<json> replies(std::size_t atLeast) {
        h.runUntil([&] { return h.window->callsOf("fileOpDone").size() >= atLeast; });
        std::vector<json> out;
        for (const auto& s : h.window->callsOf("fileOpDone")) {
            auto open = s.find("fileOpDone(", s.find("try{")) + 11;
            out.push_back(json::parse(s.substr(open, s.rfind(")}catch") - open)));
        }
        return out;
    }
};

TEST_F(FileOpsFixture, MovePickAsksForAFolderThenMoves) {
    fs::create_directories(home / "dest");
    h.dialogs.chooseAnswers = {{}, {home / "dest"}};
    send("qrtiz://movepick?paths=" + percentEncode(list({home / "docs/a.pdf"})));
    h.drain();
    ASSERT_EQ(h.dialogs.choices.size(), 1u);
    EXPECT_EQ(h.dialogs.choices[0].message, "Choose a folder to move 1 item into");
    EXPECT_EQ(h.dialogs.choices[0].prompt, "Move Here");
    EXPECT_TRUE(h.dialogs.choices[0].folders);
    EXPECT_TRUE(h.window->callsOf("fileOpDone").empty());  // cancelled: nothing happens

    send("qrtiz://movepick?paths=" +
         percentEncode(list({home / "docs/a.pdf", home / "docs/b.pdf", home / "docs/c.pdf"})));
    auto out = replies(1);
    EXPECT_EQ(h.dialogs.choices[1].message, "Choose a folder to move 3 items into");
    EXPECT_EQ(out[0]["op"], "move");
    EXPECT_EQ(out[0]["moved"].size(), 3u);
    EXPECT_EQ(out[0]["folder"], "");
    EXPECT_TRUE(isRegularFile(home / "dest/c.pdf"));

    send("qrtiz://movepick?paths=%5B%5D");
    h.drain();
    EXPECT_EQ(h.dialogs.choices.size(), 2u);
}

TEST_F(FileOpsFixture, RepliesForEachOperation) {
    send("qrtiz://trash?paths=not-json");
    send("qrtiz://rename?path=" + percentEncode(home / "docs/a.pdf") + "&name=Renamed.pdf");
    send("qrtiz://newfolder?parent=" + percentEncode(home / "docs") +
         "&paths=" + percentEncode(list({home / "docs/b.pdf"})));
    send("qrtiz://duplicate?path=" + percentEncode(home / "docs/c.pdf"));
    auto out = replies(4);
    ASSERT_EQ(out.size(), 4u);
    std::map<std::string, json> byOp;
    for (auto& o : out) byOp[o["op"]] = o;
    EXPECT_EQ(byOp["trash"],
              json({{"op", "trash"}, {"trashed", json::array()}, {"failed", json::array()}}));
    EXPECT_EQ(byOp["rename"]["renamed"][home / "docs/a.pdf"], home / "docs/Renamed.pdf");
    EXPECT_EQ(byOp["move"]["folder"], "untitled folder");
    EXPECT_EQ(byOp["move"]["dest"], home / "docs/untitled folder");
    EXPECT_EQ(byOp["duplicate"]["copy"], home / "docs/c copy.pdf");
    h.runUntil([&] { return !h.app.calls.empty(); });
    EXPECT_EQ(h.app.calls.back(), "reveal " + home / "docs/c copy.pdf");
}

TEST_F(FileOpsFixture, OnlyTheWindowsOwnDocumentsAreTouched) {
    put(home / "elsewhere/x.pdf");
    put(home / "docs-other/y.pdf");
    send("qrtiz://trash?paths=" +
         percentEncode(list({home / "elsewhere/x.pdf", home / "docs/../elsewhere/x.pdf",
                             home / "docs-other/y.pdf"})));
    send("qrtiz://rename?path=" + percentEncode(home / "elsewhere/x.pdf") + "&name=z.pdf");
    auto out = replies(2);
    for (const auto& o : out) {
        EXPECT_FALSE(o["failed"].empty());
        EXPECT_NE(o["error"].get<std::string>().find("not one of this window"), std::string::npos);
    }
    EXPECT_TRUE(isRegularFile(home / "elsewhere/x.pdf"));
    EXPECT_TRUE(isRegularFile(home / "docs-other/y.pdf"));

    h.window->state.pageKind = "reader";
    h.window->state.sourcePaths = {home / "docs/a.pdf"};
    send("qrtiz://trashfile?path=" + percentEncode(home / "elsewhere/x.pdf"));
    h.drain();
    EXPECT_TRUE(h.dialogs.sheets.empty());
}

// The trash of an in-process test: GLib reads HOME once per process, so every test that
// trashes here uses the same home.
const std::string& processTrashHome() {
    static const std::string path = [] {
        std::string tmpl = (fs::temp_directory_path() / "cvl-trash-home-XXXXXX").string();
        return ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }();
    // Registered after the path exists, so it runs before the path is destroyed.
    static const bool cleaned = (std::atexit([] {
                                     std::error_code ec;
                                     fs::remove_all(processTrashHome(), ec);
                                 }),
                                 true);
    (void)cleaned;
    return path;
}

TEST(FileOpsTrashFile, AsksThenTrashesAndClosesTheWindow) {
    const std::string trashHome = processTrashHome();
    ::setenv("HOME", trashHome.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (trashHome + "/.local/share").c_str(), 1);
    const std::string doc = trashHome + "/Lease.pdf";
    ASSERT_TRUE(writeFileAtomic(doc, "lease").ok());
    test::ModuleHarness h;
    h.window->state.pageKind = "reader";
    h.window->state.sourcePaths = {doc};
    FileOpsModule module;
    h.dialogs.confirmAnswers = {ConfirmAnswer::Cancel, ConfirmAnswer::Verb};

    module.handle(h.request("qrtiz://trashfile?path=" + percentEncode(doc)));
    h.drain();
    ASSERT_EQ(h.dialogs.sheets.size(), 1u);
    EXPECT_EQ(h.dialogs.sheets[0].title, "Move \u201CLease.pdf\u201D to the Trash?");
    EXPECT_EQ(h.dialogs.sheets[0].verb, "Move to Trash");
    EXPECT_TRUE(h.dialogs.sheets[0].destructive);
    EXPECT_EQ(h.dialogs.sheets[0].message.find("macOS"), std::string::npos);
    EXPECT_TRUE(isRegularFile(doc));

    module.handle(h.request("qrtiz://trashfile"));  // the window's own document
    ASSERT_TRUE(h.runUntil([&] { return h.window->closes == 1; }));
    EXPECT_TRUE(h.window->sent("Moved to Trash"));
    EXPECT_FALSE(pathExists(doc));
    EXPECT_TRUE(isRegularFile(trashHome + "/.local/share/Trash/files/Lease.pdf"));

    // A document that is gone cannot be trashed: the window stays.
    h.dialogs.confirmAnswers = {ConfirmAnswer::Verb};
    module.handle(h.request("qrtiz://trashfile"));
    ASSERT_TRUE(h.runUntil([&] { return h.window->sent("Couldn\u2019t move to Trash"); }));
    EXPECT_EQ(h.window->closes, 1);
}

}  // namespace
}  // namespace cvl
