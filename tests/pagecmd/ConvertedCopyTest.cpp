// Page commands on documents shown as converted PDFs write beside the original, named after
// it, or refuse; split says where its files went; texts the grammar gives up on get a
// corrected suggestion or a "not yet" instead of silence.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "pagecmd/ConvertedCopy.h"
#include "pagecmd/PageCommandFlow.h"
#include "pagecmd/PageCommandHints.h"
#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "platform/UserDirs.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;
namespace Flow = PageCommandFlow;

class ConvertedCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(makeDirs(home / "Cases"));
        original = home / "Cases/Memo.docx";
        ASSERT_TRUE(writeFileAtomic(original, "PK word document").ok());
        ASSERT_TRUE(makeDirs(ConvertedCopy::cacheDir()));
        copy = ConvertedCopy::cacheDir() + "/Memo-0a1b2c.pdf";
        ASSERT_TRUE(test::writePdf(test::makeTextPdf(4), copy));
    }
    // The record the engine writes beside a converted copy.
    void writeRecord() {
        struct stat st {};
        ASSERT_EQ(::stat(original.c_str(), &st), 0);
        const long long mtime = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        json record{{"source", original}, {"size", (long long)st.st_size}, {"mtime_ns", mtime}};
        ASSERT_TRUE(writeFileAtomic(copy + ".json", record.dump()).ok());
    }
    json ask(const std::string& text, const std::string& orig) {
        return Flow::ask({copy, text, 4, 1, {}, {}, orig});
    }
    std::set<std::string> cacheEntries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(ConvertedCopy::cacheDir()))
            names.insert(e.path().filename().string());
        return names;
    }

    test::TempHome home;
    std::string original;
    std::string copy;
};

TEST_F(ConvertedCopyTest, NewFilesGoBesideTheOriginalNamedAfterIt) {
    writeRecord();
    const auto cache = cacheEntries();
    // Told by the window, or traced back through the record: the same place.
    for (const std::string& told : {original, std::string()}) {
        json preview = ask("delete page 2", told);
        ASSERT_EQ(preview["kind"], "preview") << preview.dump();
        const std::string out = home / "Cases/Memo (1 page removed).pdf";
        EXPECT_EQ(preview["outputs"], json::array({out}));
        json done = Flow::run(preview["id"], copy);
        ASSERT_EQ(done["kind"], "done") << done.dump();
        EXPECT_EQ(test::popplerPageCount(out), 3);
        fs::remove(out);
    }
    EXPECT_EQ(cacheEntries(), cache);  // nothing written into the hidden cache

    // A split names its folder and how many files went into it, each after the original.
    json split = ask("split after page 1", original);
    ASSERT_EQ(split["kind"], "preview") << split.dump();
    EXPECT_EQ(split["parts"], json({"Memo (page 1).pdf", "Memo (pages 2-4).pdf"}));
    json done = Flow::run(split["id"], copy);
    ASSERT_EQ(done["kind"], "done") << done.dump();
    EXPECT_EQ(done["folder"], home / "Cases/Memo (split)");
    EXPECT_EQ(done["files"], 2);
    EXPECT_EQ(test::popplerPageCount(home / "Cases/Memo (split)/Memo (pages 2-4).pdf"), 3);
}

TEST_F(ConvertedCopyTest, RefusesWhenTheOriginalIsUnknownGoneOrChanged) {
    // A copy with no record and no original from the window.
    json unknown = ask("delete page 2", "");
    EXPECT_EQ(unknown["kind"], "refuse");
    EXPECT_NE(unknown["message"].get<std::string>().find("converted copy"), std::string::npos);

    writeRecord();
    // The original changes between the preview and the confirmation.
    json preview = ask("rotate page 1 right", original);
    ASSERT_EQ(preview["kind"], "preview") << preview.dump();
    ASSERT_TRUE(writeFileAtomic(original, "PK edited in the word processor").ok());
    json run = Flow::run(preview["id"], copy);
    EXPECT_EQ(run["kind"], "error");
    EXPECT_EQ(run["message"],
              "The document changed after the preview, so nothing was done. Ask again to see a "
              "fresh preview.");
    // The copy shown is now older than the original.
    EXPECT_EQ(ask("rotate page 1 right", original)["message"],
              "\u201cMemo.docx\u201d changed after it was opened, so nothing was done. Open it "
              "again, then try again.");
    fs::remove(original);
    EXPECT_EQ(ask("rotate page 1 right", "")["kind"], "refuse");
    EXPECT_FALSE(pathExists(home / "Cases/Memo (rotated).pdf"));

    // A PDF outside the cache is its own document, as before.
    const std::string plain = home / "Cases/Plain.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(2), plain));
    json own = Flow::ask({plain, "extract page 2", 2, 1, {}, {}, ""});
    EXPECT_EQ(own["outputs"], json::array({home / "Cases/Plain (page 2).pdf"}));
}

TEST_F(ConvertedCopyTest, CvlPagesTakesTheOriginal) {
    ProcessSpec spec;
    spec.program = std::string(CVL_BINARY_DIR) + "/cvl";
    spec.args = {"pages", copy, "extract page 3", "--original", original, "--yes"};
    ProcessResult r = runProcess(spec);
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
    EXPECT_EQ(json::parse(r.out)["outputs"], json::array({home / "Cases/Memo (page 3).pdf"}));
    spec.args = {"pages", copy, "extract page 3", "--original"};
    EXPECT_EQ(runProcess(spec).exitStatus, 2);
}

TEST(PageCommandHints, NearMissesGetTheCorrectedCommandAsAQuestion) {
    auto hint = PageCommandHints::nearMiss("delet pag 3", 5, 1, {});
    ASSERT_TRUE(hint);
    EXPECT_EQ(hint->kind, PageCommandParse::Kind::clarify);
    EXPECT_EQ(hint->message, "Did you mean \u201cdelete page 3\u201d?");
    EXPECT_EQ(hint->options, std::vector<std::string>{"delete page 3"});
    auto turn = PageCommandHints::nearMiss("roate pg 2 rigth", 5, 1, {});
    ASSERT_TRUE(turn);
    EXPECT_EQ(turn->options, std::vector<std::string>{"rotate page 2 right"});
    // The grammar's own question when the corrected text still needs one.
    auto which = PageCommandHints::nearMiss("spilt", 9, 1, {});
    ASSERT_TRUE(which);
    EXPECT_EQ(which->message, "Where should it split?");
    // Everyday words are left alone.
    for (const char* text : {"show me more pages", "hello there", "spit it out", "page 3"})
        EXPECT_FALSE(PageCommandHints::nearMiss(text, 5, 1, {})) << text;
}

TEST(PageCommandHints, OtherDocumentOperationsSayWhereTheyAre) {
    test::TempHome home;
    const std::string pdf = home / "Deed.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(3), pdf));
    json redact = Flow::ask({pdf, "redact page 2", 3, 1, {}, {}, ""});
    EXPECT_EQ(redact["kind"], "refuse");
    EXPECT_NE(redact["message"].get<std::string>().find("Redact\u2026 in the reader"),
              std::string::npos)
        << redact.dump();
    EXPECT_EQ(Flow::ask({pdf, "delet pag 2", 3, 1, {}, {}, ""})["options"],
              json::array({"delete page 2"}));
    // Questions about the document stay questions.
    EXPECT_EQ(Flow::ask({pdf, "who signed the signature page?", 3, 1, {}, {}, ""})["kind"],
              "notACommand");
}

}  // namespace
}  // namespace cvl
