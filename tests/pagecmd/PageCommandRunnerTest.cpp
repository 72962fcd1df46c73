// The command runner: plans and their wording, the store, and execution with every refusal,
// checked on real files. The source is never written.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "pagecmd/PageCommandFlow.h"
#include "pagecmd/PageCommandRunner.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;
namespace R = cvl::PageCommandRunner;
namespace fs = std::filesystem;

namespace {

class RunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        source = home / "Report.pdf";
        ASSERT_TRUE(writePdf(makeNavigablePdf(10), source));
        sourceSha = sha256HexOfFile(source).value();
    }
    void TearDown() override {
        R::Store::shared().setClock(nullptr);
        // The source is never rewritten, whatever happened.
        EXPECT_EQ(sha256HexOfFile(source).value_or(""), sourceSha);
    }
    R::Snapshot snap() { return R::snapshot(source).value(); }
    std::string planError(const PageCommand& c) {
        auto p = R::plan(c, snap(), {});
        return p.ok() ? "(planned)" : p.error();
    }
    std::string summary(const PageCommand& c) {
        auto p = R::plan(c, snap(), {});
        return p.ok() ? p->summary : "(failed) " + p.error();
    }

    TempHome home;
    std::string source;
    std::string sourceSha;
};

std::vector<std::string> texts(const std::string& path) {
    auto doc = PdfDocument::openFile(path).value();
    std::vector<std::string> out;
    for (int i = 0; i < doc.pageCount(); ++i) out.push_back(doc.pageText(i).value_or("?"));
    return out;
}

}  // namespace

TEST_F(RunnerTest, SnapshotRefusesWhatItCannotChange) {
    EXPECT_EQ(R::snapshot(home / "none.pdf").error(),
              "Corvello couldn\u2019t find \u201cnone.pdf\u201d.");
    ASSERT_TRUE(writeFileAtomic(home / "locked.pdf", makeEncryptedPdfBytes(2, "pw")).ok());
    EXPECT_EQ(R::snapshot(home / "locked.pdf").error(),
              "\u201clocked.pdf\u201d is locked. Unlock it first, then try again.");
    ASSERT_TRUE(writeFileAtomic(home / "empty.pdf", "").ok());
    EXPECT_EQ(R::snapshot(home / "empty.pdf").error(), "\u201cempty.pdf\u201d isn\u2019t a PDF.");
    ASSERT_TRUE(writePdf(PdfDocument(), home / "nopages.pdf"));
    EXPECT_EQ(R::snapshot(home / "nopages.pdf").error(), "\u201cnopages.pdf\u201d has no pages.");
    ASSERT_TRUE(writeFileAtomic(home / "cut.pdf", makeTruncatedPdfBytes(3)).ok());
    // A truncated file is named damaged at the preview, not after the user confirms: cut early
    // it cannot be opened at all, cut late it opens but cannot be written.
    EXPECT_EQ(R::snapshot(home / "cut.pdf").error(),
              "\u201ccut.pdf\u201d is damaged and can\u2019t be opened.");
    const std::string whole = bytesOf(makeTextPdf(3), PdfSaveOptions{false, false, false, {}, {}});
    ASSERT_TRUE(writeFileAtomic(home / "tail.pdf", whole.substr(0, whole.size() * 9 / 10)).ok());
    auto tail = R::snapshot(home / "tail.pdf");
    if (!tail.ok())
        EXPECT_NE(tail.error().find("is damaged"), std::string::npos) << tail.error();
    else
        EXPECT_TRUE(tail->doc.save().has_value()) << "a preview only for a writable file";

    auto s = snap();
    EXPECT_EQ(s.sha, sourceSha);
    EXPECT_EQ(s.doc.pageCount(), 10);
}

TEST_F(RunnerTest, PlansCheckTheCommandAndDescribeIt) {
    EXPECT_EQ(planError(PageCommand::remove({11})),
              "This document has 10 pages; the command names a page it doesn't have.");
    EXPECT_EQ(planError(PageCommand::rotate({2}, 45)),
              "Say which pages and which way to turn them.");
    EXPECT_EQ(planError(PageCommand::remove({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})),
              "That would remove every page.");
    EXPECT_EQ(planError(PageCommand::extract({})), "Say which pages to copy out.");
    EXPECT_EQ(planError(PageCommand::reorder({1, 2, 3})),
              "The new order has to list every page once.");
    EXPECT_EQ(planError(PageCommand::reorder({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})),
              "That order is the same as the document's.");
    EXPECT_EQ(planError(PageCommand::insertBlank(11)), "That position isn't in this document.");
    EXPECT_EQ(planError(PageCommand::split({10})), "That split point isn't inside this document.");
    EXPECT_EQ(planError(PageCommand::merge({})), "Choose the PDFs to merge with this one.");
    EXPECT_EQ(planError(PageCommand::merge({source})), "That merges the document with itself.");
    PageCommand twoPages = PageCommand::duplicate(2);
    twoPages.pages = {2, 3};
    EXPECT_EQ(planError(twoPages), "Duplicate works on one page at a time.");
    EXPECT_EQ(planError(PageCommand::compress()),
              "This PDF is already compact: a compressed copy would save less than 10%, so there "
              "is nothing to do.");

    EXPECT_EQ(summary(PageCommand::rotate({4, 5, 6}, 90)),
              "Turn pages 4-6 right (90\u00b0 clockwise).");
    EXPECT_EQ(summary(PageCommand::rotate({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 180)),
              "Turn every page upside down (180\u00b0).");
    EXPECT_EQ(summary(PageCommand::remove({2, 4})),
              "Remove pages 2 and 4 (2 of 10). The new PDF has 8 pages.");
    EXPECT_EQ(summary(PageCommand::extract({2, 3})), "Copy pages 2 and 3 into a new 2-page PDF.");
    EXPECT_EQ(summary(PageCommand::reorder({10, 9, 8, 7, 6, 5, 4, 3, 2, 1})),
              "Reverse the page order (page 10 first, page 1 last).");
    EXPECT_EQ(summary(PageCommand::reorder({5, 1, 2, 3, 4, 6, 7, 8, 9, 10})),
              "Move page 5 to the front.");
    EXPECT_EQ(summary(PageCommand::reorder({1, 2, 4, 5, 6, 7, 8, 9, 10, 3})),
              "Move page 3 to the end.");
    EXPECT_EQ(summary(PageCommand::reorder({1, 2, 4, 5, 6, 7, 3, 8, 9, 10})),
              "Move page 3 so it comes right after page 7.");
    EXPECT_EQ(summary(PageCommand::reorder({1, 9, 3, 4, 5, 6, 7, 8, 2, 10})),
              "Swap pages 2 and 9.");
    EXPECT_EQ(summary(PageCommand::reorder({2, 1, 4, 3, 5, 6, 7, 8, 9, 10})),
              "Put the pages in this order: 2, 1, 4, 3, 5, 6, 7, 8, 9, 10.");
    EXPECT_EQ(summary(PageCommand::duplicate(2)),
              "Add a copy of page 2 right after it. The new PDF has 11 pages.");
    EXPECT_EQ(summary(PageCommand::insertBlank(0)), "Add a blank page at the beginning.");
    EXPECT_EQ(summary(PageCommand::insertBlank(10)), "Add a blank page at the end, after page 10.");
    EXPECT_EQ(
        summary(PageCommand::split({7, 3, 3})),
        "Split into 3 PDFs: pages 1\u20133, pages 4\u20137 and pages 8\u201310, in a new folder.");
    EXPECT_EQ(summary(PageCommand::split({})), "Split into 10 one-page PDFs, in a new folder.");
    EXPECT_EQ(summary(PageCommand::toImages({3}, true)),
              "Save page 3 as 1 JPEG image (150 dpi) in a new folder.");
    EXPECT_EQ(summary(PageCommand::toImages({}, false)),
              "Save every page as 10 PNG images (150 dpi) in a new folder.");
}

TEST_F(RunnerTest, OutputsAndPartNamesFollowTheCommand) {
    auto one = [&](const PageCommand& c) {
        return fs::path(R::outputs(c, source, 10).at(0)).filename().string();
    };
    EXPECT_EQ(one(PageCommand::remove({1})), "Report (1 page removed).pdf");
    EXPECT_EQ(one(PageCommand::remove({1, 5})), "Report (2 pages removed).pdf");
    EXPECT_EQ(one(PageCommand::extract({2, 3})), "Report (pages 2-3).pdf");
    EXPECT_EQ(one(PageCommand::extract({4})), "Report (page 4).pdf");
    EXPECT_EQ(one(PageCommand::duplicate(2)), "Report (page 2 duplicated).pdf");
    EXPECT_EQ(one(PageCommand::split({})), "Report (split)");
    EXPECT_EQ(one(PageCommand::toImages({}, true)), "Report (images)");
    ASSERT_TRUE(writeFileAtomic(home / "Report (rotated).pdf", "x").ok());
    EXPECT_EQ(one(PageCommand::rotate({1}, 90)), "Report (rotated) 2.pdf");

    EXPECT_EQ(R::splitPartNames(PageCommand::split({7, 3, 3}), "Report", 10),
              (std::vector<std::string>{"Report (pages 1-3).pdf", "Report (pages 4-7).pdf",
                                        "Report (pages 8-10).pdf"}));
    EXPECT_EQ(R::splitPartNames(PageCommand::split({1}), "R", 3),
              (std::vector<std::string>{"R (page 1).pdf", "R (pages 2-3).pdf"}));
    EXPECT_EQ(R::imagePartNames(PageCommand::toImages({3, 10}, false), "Report", 10),
              (std::vector<std::string>{"Report p03.png", "Report p10.png"}));
    EXPECT_EQ(R::describeMove({1, 2, 3}), std::nullopt);
    EXPECT_EQ(R::formatSize(812), "812 bytes");
    EXPECT_EQ(R::formatSize(1'234'567), "1.2 MB");
}

TEST_F(RunnerTest, FingerprintCoversEveryInput) {
    auto s = snap();
    auto outs = R::outputs(PageCommand::remove({2}), source, 10);
    std::string base = R::fingerprint(PageCommand::remove({2}), s, {}, outs);
    EXPECT_EQ(base, R::fingerprint(PageCommand::remove({2}), s, {}, outs));
    EXPECT_NE(base, R::fingerprint(PageCommand::remove({3}), s, {}, outs));
    EXPECT_NE(base, R::fingerprint(PageCommand::remove({2}), s, {}, {home / "x.pdf"}));
    auto changed = s;
    changed.sha = sha256Hex("other bytes");
    EXPECT_NE(base, R::fingerprint(PageCommand::remove({2}), changed, {}, outs));
    EXPECT_NE(base, R::fingerprint(PageCommand::remove({2}), s, {s}, outs));
}

TEST_F(RunnerTest, ExecuteWritesCheckedFilesBesideTheSource) {
    auto del = R::plan(PageCommand::remove({2, 3}), source);
    ASSERT_TRUE(del.ok()) << del.error();
    auto written = R::execute(del->id, source);
    ASSERT_TRUE(written.ok()) << written.error();
    ASSERT_EQ(written->size(), 1u);
    EXPECT_EQ(written->at(0), home / "Report (2 pages removed).pdf");
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(written->at(0), &report)) << report;
    EXPECT_EQ(popplerPageCount(written->at(0)), 8);
    EXPECT_EQ(texts(written->at(0))[1], fixtureLine(4));

    auto split = R::plan(PageCommand::split({7, 3, 3}), source);
    ASSERT_TRUE(split.ok());
    auto folder = R::execute(split->id, source);
    ASSERT_TRUE(folder.ok()) << folder.error();
    std::string dir = folder->at(0);
    EXPECT_EQ(dir, home / "Report (split)");
    EXPECT_EQ(
        texts(dir + "/Report (pages 4-7).pdf"),
        (std::vector<std::string>{fixtureLine(4), fixtureLine(5), fixtureLine(6), fixtureLine(7)}));
    EXPECT_EQ(popplerPageCount(dir + "/Report (pages 8-10).pdf"), 3);

    auto images = R::plan(PageCommand::toImages({1, 10}, false), source);
    ASSERT_TRUE(images.ok());
    auto imageDir = R::execute(images->id, source);
    ASSERT_TRUE(imageDir.ok()) << imageDir.error();
    auto png = readFile(imageDir->at(0) + "/Report p10.png");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->substr(1, 3), "PNG");

    std::string other = home / "Other.pdf";
    ASSERT_TRUE(writePdf(makeNavigablePdf(2, "beta"), other));
    auto merge = R::plan(PageCommand::merge({other}), source);
    ASSERT_TRUE(merge.ok()) << merge.error();
    EXPECT_EQ(merge->summary,
              "Combine \u201cReport.pdf\u201d with \u201cOther.pdf\u201d into one 12-page PDF, in "
              "that order.");
    auto merged = R::execute(merge->id, source);
    ASSERT_TRUE(merged.ok()) << merged.error();
    EXPECT_EQ(texts(merged->at(0)).back(), fixtureLine(2, "beta"));
    EXPECT_TRUE(qpdfCheckClean(merged->at(0), &report)) << report;
}

TEST_F(RunnerTest, ExecuteRefusesInOrderAndWritesNothing) {
    auto entries = [&] {
        return std::distance(fs::directory_iterator(home.path()), fs::directory_iterator());
    };
    auto before = entries();
    const std::string used =
        "That preview was already used or has expired, so nothing was done. Ask again to see a "
        "fresh preview.";

    EXPECT_EQ(R::execute("no-such-id", source).error(), used);

    auto p = R::plan(PageCommand::rotate({1}, 90), source);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(R::execute(p->id, home / "Elsewhere.pdf").error(),
              "That preview was for a different document, so nothing was done.");
    EXPECT_EQ(R::execute(p->id, source).error(), used);  // taken by the refused attempt

    auto now = R::Store::Clock::now();
    R::Store::shared().setClock([&] { return now; });
    auto late = R::plan(PageCommand::rotate({1}, 90), source);
    ASSERT_TRUE(late.ok());
    now += std::chrono::seconds(601);
    EXPECT_EQ(R::execute(late->id, source).error(),
              "That preview has expired, so nothing was done. Ask again to see a fresh preview.");
    R::Store::shared().setClock(nullptr);

    auto changed = R::plan(PageCommand::rotate({1}, 90), source);
    ASSERT_TRUE(changed.ok());
    std::string other = home / "Other.pdf";
    ASSERT_TRUE(writePdf(makeTextPdf(2, "beta"), other));
    auto merge = R::plan(PageCommand::merge({other}), source);
    ASSERT_TRUE(merge.ok());
    ASSERT_TRUE(writePdf(makeTextPdf(3, "beta"), other));  // another input changes
    EXPECT_EQ(R::execute(merge->id, source).error(),
              "The document changed after the preview, so nothing was done. Ask again to see a "
              "fresh preview.");

    auto taken = R::plan(PageCommand::extract({2}), source);
    ASSERT_TRUE(taken.ok());
    ASSERT_TRUE(writeFileAtomic(taken->outputs[0], "someone else's").ok());
    EXPECT_EQ(R::execute(taken->id, source).error(),
              "A file with the planned name appeared, so nothing was done.");
    EXPECT_EQ(readFile(taken->outputs[0]), "someone else's");

    EXPECT_EQ(entries(), before + 2);  // Other.pdf and the other writer's file only

    // Changing the source itself (restored afterwards so the source check holds).
    std::string original = readFile(source).value();
    ASSERT_TRUE(writeFileAtomic(source, original + "\n% one more line\n").ok());
    EXPECT_EQ(R::execute(changed->id, source).error(),
              "The document changed after the preview, so nothing was done. Ask again to see a "
              "fresh preview.");
    ASSERT_TRUE(writeFileAtomic(source, original).ok());
}

TEST(RunnerStore, PutSweepsExpiredEntriesAndTakeIsOnce) {
    R::Store store(std::chrono::seconds(600));
    auto now = R::Store::Clock::now();
    store.setClock([&] { return now; });
    PagePlan a;
    a.id = "a";
    PagePlan b;
    b.id = "b";
    store.put(a, "/x.pdf");
    now += std::chrono::seconds(700);
    store.put(b, "/x.pdf");
    EXPECT_EQ(store.size(), 1u);
    EXPECT_FALSE(store.take("a"));
    auto got = store.take("b");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->path, "/x.pdf");
    EXPECT_EQ(got->expires, now + std::chrono::seconds(600));
    EXPECT_FALSE(store.take("b"));
}

TEST_F(RunnerTest, CommandBarRepliesCarryTheRunnersAnswers) {
    PageCommandFlow::AskRequest ask{source, "delete pages 2-3", 10, 1, {}, {}, {}};
    auto preview = PageCommandFlow::ask(ask);
    ASSERT_EQ(preview["kind"], "preview") << preview.dump();
    EXPECT_EQ(preview["summary"], "Remove pages 2 and 3 (2 of 10). The new PDF has 8 pages.");
    EXPECT_FALSE(preview.contains("readAs"));
    auto done = PageCommandFlow::run(preview["id"], source);
    ASSERT_EQ(done["kind"], "done") << done.dump();
    EXPECT_EQ(done["outputs"][0], home / "Report (2 pages removed).pdf");
    auto again = PageCommandFlow::run(preview["id"], source);
    EXPECT_EQ(again["kind"], "error");
    EXPECT_EQ(again["refused"], true);

    ask.text = "merge";
    EXPECT_EQ(PageCommandFlow::ask(ask)["message"],
              "No other PDFs were chosen, so there is nothing to merge.");
    ask.text = "delete every page";
    EXPECT_EQ(PageCommandFlow::ask(ask)["kind"], "refuse");
    ask.text = "rotate page 2";
    EXPECT_EQ(PageCommandFlow::ask(ask)["kind"], "clarify");
    ask.text = "what is on page 2";
    EXPECT_EQ(PageCommandFlow::ask(ask)["kind"], "notACommand");
    // Unreadable texts go through the model script, which has no model here: a clarification.
    ask.text = "frobnicate the png";
    auto unreadable = PageCommandFlow::ask(ask);
    EXPECT_EQ(unreadable["kind"], "clarify");
    EXPECT_TRUE(unreadable["options"].empty());
    ask.text = "compress";
    EXPECT_EQ(PageCommandFlow::ask(ask)["kind"], "refuse");  // already compact
    ask.path = home / "missing.pdf";
    EXPECT_EQ(PageCommandFlow::ask(ask)["message"],
              "This document isn\u2019t a file Corvello can change.");
    EXPECT_EQ(PageCommandFlow::run("", source)["message"],
              "That confirm was incomplete, so nothing was done.");
}
