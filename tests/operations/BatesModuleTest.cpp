// The Bates page's operations through the bridge module, with a fake window, dialogs and
// application: opening the page, its start data, and a confirmed run.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "operations/BatesModule.h"
#include "operations/BatesStamper.h"
#include "platform/FileIO.h"
#include "support/ModuleFakes.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// The argument of the last call of `function` the page received.
json lastArg(const FakeWindow& w, const std::string& function) {
    auto calls = w.callsOf(function);
    if (calls.empty()) return nullptr;
    const std::string& s = calls.back();
    size_t open = s.find(function + "(", function.size() + 10);
    size_t close = s.rfind(")}catch");
    if (open == std::string::npos || close == std::string::npos) return nullptr;
    open += function.size() + 1;
    return json::parse(s.substr(open, close - open), nullptr, false);
}

struct BatesPage {
    TempHome home;
    std::string folder = home / "Matter";
    ModuleHarness h;
    BatesModule module;

    BatesPage() {
        fs::create_directories(folder);
        EXPECT_TRUE(writePdf(makeTextPdf(3), folder + "/a.pdf"));
        EXPECT_TRUE(writeFileAtomic(folder + "/b.png", encodePng(photoBitmap(50, 40)).value()));
        h.window->state.pageKind = "bates";
        h.window->state.sourcePaths = {folder};
    }
    void send(const std::string& url) { module.handle(h.request(url)); }
    json await(const std::string& function, size_t calls = 1) {
        EXPECT_TRUE(h.runUntil([&] { return h.window->callsOf(function).size() >= calls; }, 20000))
            << function;
        return lastArg(*h.window, function);
    }
    void configure(const std::string& config) {
        h.window->values = {{"__cvlBatesConfig", json(config).dump()}};
    }
};

}  // namespace

TEST(BatesModule, OpensThePageForTheWindowsFolderOrAChosenOne) {
    BatesPage p;
    p.h.window->state.pageKind = "review";
    p.send("qrtiz://bates");
    ASSERT_EQ(p.h.app.calls.size(), 1u);
    EXPECT_EQ(p.h.app.calls[0].rfind("page bates file://", 0), 0u) << p.h.app.calls[0];
    EXPECT_NE(p.h.app.calls[0].find("/engine/bates.html?theme=light"), std::string::npos);
    EXPECT_TRUE(p.h.dialogs.choices.empty());

    // From the welcome page there is no folder: the user chooses one, or nothing opens.
    p.h.app.calls.clear();
    p.h.window->state.pageKind = "welcome";
    p.h.window->state.sourcePaths.clear();
    p.h.dialogs.chooseAnswers = {{}, {p.folder}};
    p.send("qrtiz://bates");
    p.h.drain();
    EXPECT_TRUE(p.h.app.calls.empty());
    p.send("qrtiz://bates");
    p.h.drain();
    ASSERT_EQ(p.h.dialogs.choices.size(), 2u);
    EXPECT_TRUE(p.h.dialogs.choices[1].folders);
    ASSERT_EQ(p.h.app.calls.size(), 1u);
    EXPECT_EQ(p.h.app.calls[0].rfind("page bates ", 0), 0u);
}

TEST(BatesModule, ReadySendsTheFolderCountsAndItsNumberingSoFar) {
    BatesPage p;
    p.send("qrtiz://batesready");
    json init = p.await("cvlBatesInit");
    EXPECT_EQ(init["count"], 2);
    EXPECT_EQ(init["pages"], 4);
    EXPECT_EQ(init["existingMax"], 0);
    EXPECT_EQ(init["suggestedStart"], 1);
    EXPECT_FALSE(init.contains("prefix"));

    BatesConfig c;
    c.prefix = "XYZ";
    ASSERT_EQ(
        BatesStamper::stamp({p.folder + "/a.pdf"}, p.folder + "/Bates-Stamped", c, {}).stampedCount,
        1);
    p.send("qrtiz://batesready");
    init = p.await("cvlBatesInit", 2);
    EXPECT_EQ(init["existingMax"], 3);
    EXPECT_EQ(init["suggestedStart"], 4);
    EXPECT_EQ(init["prefix"], "XYZ");

    p.h.window->state.sourcePaths = {p.home / "gone"};
    p.send("qrtiz://batesready");
    EXPECT_EQ(p.await("cvlBatesInit", 3)["error"], "That folder could not be opened.");
}

TEST(BatesModule, ApplyAsksFirstThenStampsWithProgressAndRemembersDontAskAgain) {
    BatesPage p;
    p.configure(R"({"prefix":" DEF ","pad":3,"position":"topLeft","fontSize":9})");
    p.h.dialogs.confirmAnswers = {ConfirmAnswer::Cancel, ConfirmAnswer::Alternate};

    p.send("qrtiz://batesapply");
    EXPECT_EQ(p.await("cvlBatesDone")["error"], "Nothing was stamped.");
    ASSERT_EQ(p.h.dialogs.sheets.size(), 1u);
    const ConfirmSheet& sheet = p.h.dialogs.sheets[0];
    EXPECT_EQ(sheet.message,
              "Corvello will write Bates-stamped copies of 2 documents into a "
              "\u201cBates-Stamped\u201d folder inside \u201cMatter\u201d. Your originals are not "
              "modified, and every assigned range is recorded in an audit manifest.");
    EXPECT_EQ(sheet.verb, "Stamp 2 documents");
    EXPECT_EQ(sheet.alternate, "Stamp and Don\u2019t Ask Again");
    EXPECT_FALSE(fs::exists(p.folder + "/Bates-Stamped"));

    p.send("qrtiz://batesapply");
    json done = p.await("cvlBatesDone", 2);
    EXPECT_EQ(done["stamped"], 2);
    EXPECT_EQ(done["pages"], 4);
    EXPECT_EQ(done["failed"], 0);
    EXPECT_EQ(done["beginLabel"], "DEF001");
    EXPECT_EQ(done["endLabel"], "DEF004");
    EXPECT_EQ(done["outputDir"], p.folder + "/Bates-Stamped");
    EXPECT_TRUE(p.h.window->sent("cvlBatesProgress(\"Stamping a.pdf\u2026\")"));
    EXPECT_TRUE(p.h.window->sent("cvlBatesProgress(\"Wrote audit manifest.\")"));
    EXPECT_TRUE(cfgBool("pageops_skip_bates", false));
    EXPECT_EQ(BatesStamper::loadManifest(p.folder + "/Bates-Stamped").runs[0].settings.position,
              "topLeft");

    // No question any more; numbering continues after the first run.
    p.send("qrtiz://batesapply");
    done = p.await("cvlBatesDone", 3);
    EXPECT_EQ(done["beginLabel"], "DEF005");
    EXPECT_EQ(p.h.dialogs.sheets.size(), 2u);
}

TEST(BatesModule, ApplyRefusesAnEmptyPrefixOrAFolderWithoutDocuments) {
    BatesPage p;
    p.h.window->values = {{"__cvlBatesConfig", R"({"prefix":"   "})"}};  // the object's text as is
    p.send("qrtiz://batesapply");
    EXPECT_EQ(p.await("cvlBatesDone")["error"], "Enter a prefix for the production.");

    fs::remove(p.folder + "/a.pdf");
    fs::remove(p.folder + "/b.png");
    p.configure(R"({"prefix":"ABC"})");
    p.send("qrtiz://batesapply");
    EXPECT_EQ(p.await("cvlBatesDone", 2)["error"], "No PDFs or images to stamp in this folder.");
    EXPECT_TRUE(p.h.dialogs.sheets.empty());
}
