// The window-side flows and payloads, observed through the page calls they post, and the
// cvl search commands as a user runs them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "platform/TextEscape.h"
#include "platform/pdf/PdfDocument.h"
#include "search/CVSearchIndex.h"
#include "search/SearchFixtures.h"
#include "search/SearchFlows.h"
#include "search/SearchPayloads.h"
#include "search/SqliteDb.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

using namespace cvl;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

struct Posted {
    std::string function;
    json argument;
    std::string raw;
};

class Flows : public ::testing::Test {
  protected:
    test::TempHome home;
    std::string dir = home / "case";
    std::shared_ptr<CVSearchIndex> index = std::make_shared<CVSearchIndex>(home / "idx.db");
    std::vector<Posted> posted;

    SearchFlows::PagePoster poster() {
        return [this](const std::string& f, const std::string& a) {
            posted.push_back({f, json::parse(a, nullptr, false), a});
        };
    }
    // Runs the main queue until a search payload arrives that no indexing run follows.
    bool waitForFinal() {
        return Dispatch::manualMain()->runUntil(
            [&] {
                for (const auto& p : posted)
                    if (p.function == "cvlSearchResults" && p.argument.is_object() &&
                        !p.argument.value("indexing", true))
                        return true;
                return false;
            },
            20s);
    }
    std::string url(const std::string& q, const std::string& mode = "") {
        return "qrtiz://search?q=" + percentEncode(q) + (mode.empty() ? "" : "&mode=" + mode);
    }
};

}  // namespace

TEST_F(Flows, StaleScopeGivesScanThenProgressThenIndexResults) {
    test::writeText(dir + "/memo.txt", "the settlement amount\n");
    test::writeText(dir + "/notes.md", "settlement talks\n");
    SearchFlows::crossFolderSearchV2(url("  Settlement \n", "EXACT"), {dir + "/memo.txt"}, index,
                                     poster());
    ASSERT_TRUE(waitForFinal());
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_EQ(posted[0].function, "cvlSearchResults");
    EXPECT_EQ(posted[0].argument["indexed"], false);
    EXPECT_EQ(posted[0].argument["indexing"], true);
    EXPECT_EQ(posted[0].argument["q"], "Settlement");
    EXPECT_EQ(posted[1].function, "cvlIndexProgress");
    EXPECT_EQ(posted[1].argument, (json{{"done", 1}, {"total", 2}, {"name", "memo.txt"}}));
    EXPECT_EQ(posted[2].argument["done"], 2);
    const json& last = posted[3].argument;
    EXPECT_EQ(last["indexed"], true);
    EXPECT_EQ(last["mode"], "exact");
    EXPECT_EQ(last["scope"], "case");
    EXPECT_EQ(last["scopeCount"], 1);
    EXPECT_EQ(last["docCount"], 2);
    EXPECT_EQ(last["hitCount"], 2);
    EXPECT_FALSE(last.contains("scanned"));
    const json& hit = last["docs"][0]["hits"][0];
    EXPECT_EQ(hit["match"].get<std::string>().size(), 10u);
    EXPECT_TRUE(hit.contains("snippet") && hit.contains("anchor") && hit.contains("atype"));

    // The same search again: the scope is fresh, one payload from the index.
    posted.clear();
    SearchFlows::crossFolderSearchV2(url("settlement"), {dir}, index, poster());
    ASSERT_TRUE(waitForFinal());
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].argument["indexed"], true);
}

// Another program holds the index's write lock past the busy timeout: the scan's answer stays
// with the reason, and the index is left as it was; the next search indexes.
TEST_F(Flows, AnIndexRunThatCannotWriteLeavesTheScanAnswerWithTheReason) {
    test::writeText(dir + "/memo.txt", "the settlement amount\n");
    {
        SqliteConnection holder(index->dbPath());
        ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE;"));
        SearchFlows::crossFolderSearch("settlement", "exact", {dir}, {}, index, poster());
        ASSERT_TRUE(waitForFinal());
    }
    const json& last = posted.back().argument;
    EXPECT_EQ(last["indexed"], false);
    EXPECT_NE(last.value("indexError", "").find("in use by another program"), std::string::npos);
    EXPECT_EQ(index->fileCount(), 0);

    posted.clear();
    SearchFlows::crossFolderSearch("settlement", "exact", {dir}, {}, index, poster());
    ASSERT_TRUE(waitForFinal());
    EXPECT_EQ(posted.back().argument["docCount"], 1);
    EXPECT_FALSE(posted.back().argument.contains("indexError"));
}

TEST_F(Flows, ShortQueriesNeverTouchTheIndex) {
    test::writeText(dir + "/memo.txt", "ab cd\n");
    SearchFlows::crossFolderSearchV2(url("ab"), {dir}, index, poster());
    ASSERT_TRUE(waitForFinal());
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].argument["indexed"], false);
    EXPECT_EQ(posted[0].argument["indexing"], false);
    EXPECT_EQ(index->fileCount(), 0);

    posted.clear();
    SearchFlows::crossFolderSearchV2(url("a"), {dir}, index, poster());
    ASSERT_TRUE(waitForFinal());
    EXPECT_EQ(posted[0].argument["note"], "short");
}

TEST_F(Flows, ExactMissesOfferTheFuzzyPreview) {
    test::writeText(dir + "/a.txt", "arbitration clause\n");
    ASSERT_TRUE(index->reindex({dir}, {}));
    json exact = SearchPayloads::indexedSearchPayload(*index, "arbitartion", "exact", {dir}, {});
    EXPECT_EQ(exact["docCount"], 0);
    EXPECT_EQ(exact["fuzzyPreview"], 1);
    EXPECT_EQ(exact["fuzzyAvailable"], true);
    json fuzzy = SearchPayloads::indexedSearchPayload(*index, "arbitartion", "fuzzy", {dir}, {});
    EXPECT_EQ(fuzzy["docCount"], 1);
    EXPECT_EQ(fuzzy["docs"][0]["fuzzy"], true);
    EXPECT_EQ(fuzzy["fuzzyPreview"], 0);
    EXPECT_EQ(fuzzy["fuzzyAvailable"], false);
}

TEST_F(Flows, IndexedResultsNameThePdfsThatHaveNoTextToSearch) {
    test::writeText(dir + "/memo.txt", "settlement\n");
    PdfDocument scan;  // a page with nothing to read, as a scan without recognised text
    ASSERT_TRUE(scan.insertBlankPage(0, PdfRect{0, 0, 612, 792}));
    ASSERT_TRUE(scan.saveToFile(dir + "/Scanned lease.pdf").ok());
    ASSERT_TRUE(writeFileAtomic(dir + "/locked.pdf", test::makeEncryptedPdfBytes(1, "pw")).ok());
    ASSERT_TRUE(index->reindex({dir}, {}));
    json payload = SearchPayloads::indexedSearchPayload(*index, "zebra", "exact", {dir}, {});
    EXPECT_EQ(payload["docCount"], 0);
    EXPECT_EQ(payload["scannedNoText"],
              json::array({{{"path", dir + "/Scanned lease.pdf"}, {"name", "Scanned lease.pdf"}}}));
    // Outside the scope they are not named.
    EXPECT_EQ(SearchPayloads::indexedSearchPayload(*index, "zebra", "exact", {home / "other"},
                                                   {})["scannedNoText"],
              json::array());
}

TEST(SearchPayloads, ScanConversionAddsLocatorsAndDropsTruncated) {
    json scan = {{"q", "lease"},
                 {"docs",
                  {{{"path", "/a.pdf"},
                    {"name", "a.pdf"},
                    {"count", 3},
                    {"shown", 1},
                    {"ocr", false},
                    {"hits",
                     {{{"page", 3},
                       {"label", "iii"},
                       {"snippet", "s"},
                       {"match", "Lease"},
                       {"ocr", false}}}}}}},
                 {"docCount", 1},
                 {"hitCount", 3},
                 {"scanned", 7},
                 {"truncated", true},
                 {"scope", "box"},
                 {"scopeCount", 2},
                 {"scannedNoText", json::array()},
                 {"ocrUsed", 1}};
    json p = SearchPayloads::scanPayload(scan, "lease", "fuzzy", true);
    EXPECT_FALSE(p.contains("truncated"));
    EXPECT_EQ(p["docs"][0]["type"], "pdf");
    EXPECT_EQ(p["docs"][0]["fuzzy"], false);
    EXPECT_EQ(p["docs"][0]["hits"][0]["anchor"], "3");
    EXPECT_EQ(p["docs"][0]["hits"][0]["atype"], "page");
    EXPECT_EQ(p["docs"][0]["hits"][0]["label"], "iii");
    EXPECT_EQ(p["hitCount"], 3);
    EXPECT_EQ(p["scanned"], 7);
    EXPECT_EQ(p["ocrUsed"], 1);
    EXPECT_EQ(p["note"], "");
    EXPECT_EQ(p["mode"], "fuzzy");
    EXPECT_EQ(p["indexing"], true);
}

TEST(SearchScopeDirs, FoldersOfExistingSourcesWithoutDuplicates) {
    test::TempHome home;
    test::writeText(home / "a/one.pdf", "x");
    test::writeText(home / "a/two.docx", "x");
    test::writeText(home / "b/c/three.PDF", "x");
    auto dirs =
        SearchFlows::searchScopeDirs({home / "a/one.pdf", home / "gone.pdf", home / "a/two.docx",
                                      home / "b", home / "b/c/three.PDF"});
    EXPECT_EQ(dirs, (std::vector<std::string>{home / "a", home / "b", home / "b/c"}));
    EXPECT_EQ(SearchFlows::explicitSearchFiles(
                  {home / "a/one.pdf", home / "a/two.docx", home / "b/c/three.PDF"}),
              (std::vector<std::string>{home / "a/one.pdf", home / "b/c/three.PDF"}));
}

TEST(ReaderSearch, AMissingDocumentAnswersAtOnceWithTheQueryQuoted) {
    test::TempHome home;
    std::vector<std::pair<std::string, std::string>> got;
    SearchFlows::readerSearch(
        "qrtiz://readersearch?q=%20it%27s%20%22x%22&path=" + percentEncode(home / "gone.pdf"), {},
        [&](const std::string& f, const std::string& a) { got.emplace_back(f, a); });
    ASSERT_TRUE(Dispatch::manualMain()->runUntil([&] { return !got.empty(); }, 5s));
    EXPECT_EQ(got[0].first, "cvlReaderSearchResults");
    EXPECT_EQ(got[0].second,
              "{q:\"it's \\\"x\\\"\",docs:[],docCount:0,hitCount:0,scannedNoText:[],ocrUsed:0}");
}

namespace {

ProcessResult runCvl(std::vector<std::string> args, const std::string& home) {
    ProcessSpec spec;
    spec.program = std::string(CVL_BINARY_DIR) + "/cvl";
    spec.args = std::move(args);
    spec.env = {{"HOME", home}};
    spec.timeout = 60s;
    return runProcess(spec);
}

}  // namespace

TEST(CvlSearchCommands, IndexSearchAndScanFromTheCommandLine) {
    test::TempHome home;
    if (!isRegularFile(std::string(CVL_BINARY_DIR) + "/cvl")) GTEST_SKIP() << "cvl not built";
    test::writeText(home / "files/a.txt", "Quarterly report\n");
    test::writeText(home / "files/b.rtf", "{\\rtf1 Annual report\\par}");

    auto idx = runCvl({"index", "--dir", home / "files"}, home.path());
    EXPECT_EQ(idx.exitStatus, 0);
    EXPECT_EQ(json::parse(idx.out), (json{{"changed", 2}, {"files", 2}}));
    EXPECT_TRUE(isRegularFile(home / "Library/Application Support/Corvello/searchindex.db"));

    auto s = runCvl(
        {"search", "--db", home / "other.db", "--mode", "exact", "--dir", home / "files", "REPORT"},
        home.path());
    EXPECT_EQ(s.exitStatus, 0);
    json p = json::parse(s.out);
    EXPECT_EQ(p["indexed"], true);
    EXPECT_EQ(p["docCount"], 2);
    EXPECT_TRUE(isRegularFile(home / "other.db"));

    // --no-refresh answers from the index as it stands; without it the change is indexed.
    test::writeText(home / "files/a.txt", "Quarterly summary\n");
    test::setMtime(home / "files/a.txt", 1600000000);
    auto stale = runCvl(
        {"search", "--db", home / "other.db", "--no-refresh", "--dir", home / "files", "report"},
        home.path());
    EXPECT_EQ(json::parse(stale.out)["docCount"], 2);
    auto fresh = runCvl({"search", "--db", home / "other.db", "--dir", home / "files", "report"},
                        home.path());
    EXPECT_EQ(json::parse(fresh.out)["docCount"], 1);

    auto scan = runCvl({"scan", "--dir", home / "files", "r"}, home.path());
    EXPECT_EQ(scan.exitStatus, 0);
    EXPECT_EQ(json::parse(scan.out)["note"], "short");

    EXPECT_EQ(runCvl({"search", "--dir", home / "files"}, home.path()).exitStatus, 2);
    EXPECT_EQ(runCvl({"search", "--mode", "loose", "x"}, home.path()).exitStatus, 2);
    EXPECT_EQ(runCvl({"index", "stray"}, home.path()).exitStatus, 2);
    EXPECT_EQ(runCvl({"scan", "--db", "x", "q"}, home.path()).exitStatus, 2);
    EXPECT_EQ(runCvl({"index", "--no-refresh"}, home.path()).exitStatus, 2);
}

// `cvl search --no-refresh` answers from the index alone, without the document readers; its
// JSON is the application's payload for the same index, byte for byte, also where it has to
// leave the answer to the full program (PDFs without text in scope, no index yet).
TEST(CvlSearchCommands, IndexOnlySearchAnswersAsTheApplicationDoes) {
    test::TempHome home;
    if (!isRegularFile(std::string(CVL_BINARY_DIR) + "/cvl")) GTEST_SKIP() << "cvl not built";
    const std::string dir = home / "files";
    const std::string db = home / "idx.db";
    test::writeText(dir + "/a.txt", "ledger one\nthe ledger \u00e9t\u00e9 closes\n");
    test::writeText(dir + "/b.md", "Ledger\n\nnothing else\n");
    ASSERT_TRUE(test::makeTextPdf(2, "ledger").saveToFile(dir + "/c.pdf").ok());
    ASSERT_EQ(runCvl({"index", "--db", db, "--dir", dir}, home.path()).exitStatus, 0);

    auto expectSameAnswers = [&] {
        CVSearchIndex index(db);
        for (const auto& [q, mode] :
             std::vector<std::pair<std::string, std::string>>{{"ledger", "exact"},
                                                              {"ledgre", "fuzzy"},
                                                              {"ledgre", "exact"},
                                                              {"xyzzy", "exact"}}) {
            auto r = runCvl({"search", "--db", db, "--no-refresh", "--mode", mode, "--dir", dir, q},
                            home.path());
            EXPECT_EQ(r.exitStatus, 0) << q;
            EXPECT_EQ(r.out, *SearchPayloads::serialise(
                                 SearchPayloads::indexedSearchPayload(index, q, mode, {dir}, {})) +
                                 "\n")
                << q << " " << mode;
        }
    };
    expectSameAnswers();

    PdfDocument blank;
    ASSERT_TRUE(blank.insertBlankPage(0, test::kLetter));
    ASSERT_TRUE(blank.saveToFile(dir + "/scan.pdf").ok());
    ASSERT_EQ(runCvl({"index", "--db", db, "--dir", dir}, home.path()).exitStatus, 0);
    auto withScan =
        runCvl({"search", "--db", db, "--no-refresh", "--dir", dir, "ledger"}, home.path());
    EXPECT_EQ(json::parse(withScan.out)["scannedNoText"].size(), 1u);
    expectSameAnswers();

    auto fresh = runCvl({"search", "--db", home / "new.db", "--no-refresh", "--dir", dir, "ledger"},
                        home.path());
    EXPECT_EQ(fresh.exitStatus, 0);
    EXPECT_EQ(json::parse(fresh.out)["docCount"], 0);
    EXPECT_TRUE(isRegularFile(home / "new.db"));
}

// Index writes report their failures (a file that is not an index fails searches too): a run that
// cannot take the write lock claims nothing and writes nothing; two runs at once write each file
// once and count it once.
TEST(CvlSearchCommands, IndexRunsFailLoudlyAndCountEachFileOnceWhenConcurrent) {
    test::TempHome home;
    if (!isRegularFile(std::string(CVL_BINARY_DIR) + "/cvl")) GTEST_SKIP() << "cvl not built";
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        test::writeText(home / ("files/f" + std::to_string(i) + ".txt"),
                        "ledger line " + std::to_string(i) + "\n");
    // A file that is not an index fails every command, a search only included, and stays.
    const std::string notIndex = home / "notes.db";
    test::writeText(notIndex, "not a database\n");
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"index", "--db", notIndex, "--dir", home / "files"},
          {"search", "--db", notIndex, "--dir", home / "files", "ledger"},
          {"search", "--db", notIndex, "--no-refresh", "ledger"}}) {
        auto r = runCvl(command, home.path());
        EXPECT_EQ(r.exitStatus, 1) << command[0];
        json j = json::parse(r.out, nullptr, false);
        EXPECT_NE(
            j.value(command[0] == "index" ? "error" : "indexError", "").find("not a database"),
            std::string::npos)
            << r.out;
    }
    EXPECT_EQ(*readFile(notIndex), "not a database\n");

    const std::string db = home / "idx.db";
    const std::vector<std::string> args{"index", "--db", db, "--dir", home / "files"};
    ASSERT_TRUE(CVSearchIndex(db).isOpen());
    {
        SqliteConnection holder(db);
        ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE;"));
        auto blocked = runCvl(args, home.path());
        EXPECT_EQ(blocked.exitStatus, 1);
        json j = json::parse(blocked.out, nullptr, false);
        EXPECT_FALSE(j.value("error", "").empty());
        EXPECT_FALSE(j.contains("changed"));
    }
    EXPECT_EQ(CVSearchIndex(db).fileCount(), 0);

    ProcessResult first, second;
    std::thread other([&] { first = runCvl(args, home.path()); });
    second = runCvl(args, home.path());
    other.join();
    std::int64_t claimed = 0;
    int succeeded = 0;
    for (const ProcessResult* run : {&first, &second}) {
        json j = json::parse(run->out, nullptr, false);
        if (run->exitStatus == 0) {
            ++succeeded;
            claimed += j.value("changed", std::int64_t{-kFiles});
        } else {
            EXPECT_EQ(run->exitStatus, 1);
            EXPECT_FALSE(j.value("error", "").empty());
        }
    }
    ASSERT_GE(succeeded, 1);
    if (succeeded == 2)
        EXPECT_EQ(claimed, kFiles);
    else
        EXPECT_LE(claimed, kFiles);

    auto settled = runCvl(args, home.path());
    EXPECT_EQ(json::parse(settled.out)["files"], kFiles);
    SqliteConnection check(db);
    EXPECT_EQ(check.queryInt64("SELECT COUNT(*) FROM chunk;"), kFiles);  // one line per file
    SqliteStatement integrity = check.prepare("PRAGMA integrity_check;");
    ASSERT_TRUE(integrity.stepRow());
    EXPECT_EQ(integrity.columnText(0), "ok");
    EXPECT_TRUE(check.exec("INSERT INTO chunk_fts(chunk_fts, rank) VALUES('integrity-check', 1);"));

    // Forgetting a file (after its text was recognised) reports a held lock, and keeps it whole.
    const std::string first0 = home / "files/f0.txt";
    CVSearchIndex index(db);
    {
        SqliteConnection holder(db);
        ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE;"));
        EXPECT_FALSE(index.forget(first0).ok());
    }
    auto chunks = [&] { return SqliteConnection(db).queryInt64("SELECT COUNT(*) FROM chunk;"); };
    EXPECT_EQ(chunks(), kFiles);
    ASSERT_TRUE(index.forget(first0).ok());
    EXPECT_EQ(chunks(), kFiles - 1);
    EXPECT_EQ(index.fileCount(), kFiles - 1);
}
