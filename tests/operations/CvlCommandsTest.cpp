// `cvl compare` and `cvl ocr` as scripts use them, and the engine's text comparison.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "OcrFixtures.h"
#include "platform/ProcessRunner.h"
#include "support/TempHome.h"

namespace cvl::test {
namespace {

using nlohmann::json;

class CvlCommandsTest : public ::testing::Test {
  protected:
    TempHome home;
    ProcessResult run(const std::string& program, std::vector<std::string> args) {
        ProcessSpec spec;
        spec.program = program;
        spec.args = std::move(args);
        spec.env["HOME"] = home.path();
        spec.env["CVL_CLI"] = cvl;
        spec.timeout = std::chrono::minutes(3);
        return runProcess(spec);
    }
    ProcessResult cvlRun(std::vector<std::string> args) { return run(cvl, std::move(args)); }
    const std::string cvl = std::string(CVL_BINARY_DIR) + "/cvl";
    const std::string engine = std::string(CVL_SOURCE_RESOURCES) + "/engine/";
};

TEST_F(CvlCommandsTest, CompareListsEveryPageAndWritesTheImagesOnRequest) {
    ASSERT_TRUE(writePdf(makeTextPdf(2), home / "a.pdf"));
    ASSERT_TRUE(writePdf(makeTextPdf(3, "beta"), home / "b.pdf"));
    ProcessResult all = cvlRun({"compare", home / "a.pdf", home / "b.pdf"});
    ASSERT_EQ(all.exitStatus, 0) << all.err;
    json pages = json::parse(all.out)["pages"];
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_GT(pages[0]["frac"].get<double>(), 0);  // "alpha" against "beta"
    EXPECT_TRUE(pages[2]["added"]);
    EXPECT_FALSE(pages[0].contains("overlay"));

    ProcessResult one = cvlRun(
        {"compare", home / "a.pdf", home / "b.pdf", "--page", "2", "--images", home / "out"});
    ASSERT_EQ(one.exitStatus, 0) << one.err;
    EXPECT_EQ(json::parse(one.out)["pages"].size(), 1u);
    for (const char* name : {"a-2.png", "b-2.png", "overlay-2.png"})
        EXPECT_EQ(readFile(home / ("out/" + std::string(name))).value_or("").substr(1, 3), "PNG");

    ProcessResult bad = cvlRun({"compare", home / "a.pdf", home / "missing.pdf"});
    EXPECT_EQ(bad.exitStatus, 1);
    EXPECT_TRUE(json::parse(bad.out).contains("error"));
    EXPECT_EQ(cvlRun({"compare", home / "a.pdf"}).exitStatus, 2);
    EXPECT_EQ(cvlRun({"compare", home / "a.pdf", home / "b.pdf", "--page", "x"}).exitStatus, 2);
}

TEST_F(CvlCommandsTest, AfterOcrTheScanIsFoundBySearchAndNoLongerListedAsWithoutText) {
    std::filesystem::create_directories(home / "docs");
    std::string scan = home / "docs/scan.pdf";
    ASSERT_TRUE(
        writePdf(scanOf(textPages({{"Meridian shipping invoice", "Total due 840"}})), scan));
    auto listedWithoutText = [&] {
        json r = json::parse(cvlRun({"scan", "--dir", home / "docs", "meridian"}).out);
        return r["scannedNoText"].size() == 1 && r["docCount"] == 0;
    };
    EXPECT_TRUE(listedWithoutText());
    EXPECT_EQ(json::parse(cvlRun({"search", "--dir", home / "docs", "meridian"}).out)["docCount"],
              0);

    ProcessResult ocr = cvlRun({"ocr", scan});
    ASSERT_EQ(ocr.exitStatus, 0) << ocr.err;
    EXPECT_NE(ocr.err.find("page 1 of 1"), std::string::npos);
    json doc = json::parse(ocr.out)["documents"][0];
    EXPECT_EQ(doc["path"], scan);
    EXPECT_EQ(doc["pages"][0]["text"], "Meridian shipping invoice\nTotal due 840");

    EXPECT_FALSE(listedWithoutText());
    json found = json::parse(cvlRun({"search", "--dir", home / "docs", "meridian"}).out);
    EXPECT_EQ(found["docCount"], 1);

    json layer = json::parse(cvlRun({"ocr", scan, "--layer"}).out);
    EXPECT_EQ(layer["pages"][0]["items"][0]["str"], "Meridian shipping invoice");
    EXPECT_EQ(cvlRun({"ocr", scan, scan, "--layer"}).exitStatus, 2);
    EXPECT_EQ(cvlRun({"ocr", home / "docs/none.pdf"}).exitStatus, 1);
}

TEST_F(CvlCommandsTest, TheEngineComparesDocumentsWordByWord) {
    ASSERT_TRUE(
        writeFileAtomic(home / "v1.txt", "The quick brown fox\njumps over the dog.\n").ok());
    ASSERT_TRUE(writeFileAtomic(home / "v2.txt", "The quick red fox\njumps over the dog.\n").ok());
    // The draft timeline's exchange: drafts and the diff of each draft with the next.
    json request = {{"paths", {home / "v1.txt", home / "v2.txt"}}, {"meta", false}};
    ASSERT_TRUE(writeFileAtomic(home / "in.json", request.dump()).ok());
    ProcessResult r = run("/usr/bin/python3", {engine + "corvello_diff.py", "--multi-diff",
                                               home / "in.json", home / "out.json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    json out = json::parse(readFile(home / "out.json").value_or("{}"));
    ASSERT_EQ(out["drafts"].size(), 2u);
    json diff = out["diffs"]["0-1"];
    EXPECT_EQ(diff["removed"], 1);
    EXPECT_EQ(diff["added"], 1);
    EXPECT_EQ(diff["segments"][1], (json{{"op", "del"}, {"text", "brown"}}));
    EXPECT_EQ(diff["segments"][2], (json{{"op", "add"}, {"text", "red"}}));

    // The review in the mode "compare" is the same comparison, side by side.
    r = run("/bin/bash", {engine + "launch.sh", "--loading-file", home / "page.html", "--mode",
                          "compare", home / "v1.txt", home / "v2.txt"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    std::string page = readFile(home / "page.html").value_or("");
    EXPECT_NE(page.find("The quick <del>brown</del> fox"), std::string::npos);
    EXPECT_NE(page.find("The quick <ins>red</ins> fox"), std::string::npos);
}

}  // namespace
}  // namespace cvl::test
