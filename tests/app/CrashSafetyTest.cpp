// kill -9 at random moments during a split, a merge, an index run and a history flush: no
// file under a final name is ever incomplete, the next run leaves no staging behind, and the
// index and the history read back whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "memory/HistoryStore.h"
#include "platform/FileIO.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

extern char** environ;

namespace cvl {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kCvl = std::string(CVL_BINARY_DIR) + "/cvl";

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {}) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText(extraEnv);
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    std::vector<char*> env;
    for (auto& e : envText) env.push_back(e.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&quiet);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// Runs the command once to the end to learn how long it takes, then `rounds` times killed at
// a moment drawn across that time; `check` runs after each kill.
void killAtRandom(const std::vector<std::string>& argv, int rounds,
                  const std::function<void()>& cleanUp, const std::function<void()>& check,
                  const std::vector<std::string>& env = {}) {
    const auto start = Clock::now();
    ASSERT_EQ(waitFor(spawn(argv, env)), 0) << argv[1];
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    std::mt19937 random(std::getenv("CVL_CRASH_SEED") ? std::atoi(std::getenv("CVL_CRASH_SEED"))
                                                      : 20261206);
    for (int i = 0; i < rounds; ++i) {
        cleanUp();
        std::uniform_int_distribution<long> at(0, whole.count());
        pid_t pid = spawn(argv, env);
        std::this_thread::sleep_for(std::chrono::microseconds(at(random)));
        ::kill(pid, SIGKILL);
        waitFor(pid);
        check();
    }
}

bool noStagingIn(const std::string& folder) {
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind(".cvl-stage-", 0) == 0) return false;
    return true;
}

TEST(CrashSafety, SplitAndMergeNeverPublishHalfFiles) {
    test::TempHome home;
    const std::string src = home / "long.pdf";
    const std::string annex = home / "annex.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(120), src));
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(40, "beta"), annex));
    const std::string parts = home / "long (split)";
    killAtRandom(
        {kCvl, "pages", src, "split into single pages", "--yes"}, 6, [&] { fs::remove_all(parts); },
        [&] {
            if (!fs::exists(parts)) return;
            int count = 0;
            for (const auto& part : fs::directory_iterator(parts)) {
                ++count;
                EXPECT_EQ(test::popplerPageCount(part.path()), 1) << part.path();
            }
            EXPECT_EQ(count, 120) << "a split folder appears whole or not at all";
        });
    fs::remove_all(parts);
    const std::string merged = home / "long (merged).pdf";
    killAtRandom(
        {kCvl, "pages", src, "merge", "--with", annex, "--yes"}, 6, [&] { fs::remove(merged); },
        [&] {
            if (fs::exists(merged)) {
                EXPECT_EQ(test::popplerPageCount(merged), 160);
            }
        });
    // The next run clears what the killed ones left.
    fs::remove(merged);
    ProcessResult last = test::runTool(kCvl, {"pages", src, "merge", "--with", annex, "--yes"});
    EXPECT_EQ(last.exitStatus, 0) << last.out << last.err;
    EXPECT_TRUE(noStagingIn(home.path()));
}

std::string integrity(const std::string& db) {
    sqlite3* handle = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(handle, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        else
            result = std::string("cannot check: ") + sqlite3_errmsg(handle) + " (" +
                     std::to_string(sqlite3_extended_errcode(handle)) + ")";
        sqlite3_finalize(st);
    }
    sqlite3_close(handle);
    return result;
}

TEST(CrashSafety, IndexRunsKilledLeaveAnIndexThatChecksOut) {
    test::TempHome home;
    const std::string corpus = home / "corpus";
    fs::create_directory(corpus);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(test::writePdf(test::makeTextPdf(3, "word" + std::to_string(i)),
                                   corpus + "/doc" + std::to_string(i) + ".pdf"));
        ASSERT_TRUE(writeFileAtomic(corpus + "/note" + std::to_string(i) + ".txt",
                                    "note number " + std::to_string(i) + "\n")
                        .ok());
    }
    const std::string db = home / "index.db";
    killAtRandom(
        {kCvl, "index", "--db", db, "--dir", corpus}, 6,
        [&] {
            for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(db + suffix);
        },
        [&] {
            if (!fs::exists(db)) return;
            // A search reads what the killed run left, repairing it first where needed.
            ProcessResult search =
                test::runTool(kCvl, {"search", "--db", db, "--no-refresh", "word7"});
            EXPECT_EQ(search.exitStatus, 0) << search.err;
            EXPECT_EQ(integrity(db), "ok");
        });
    ProcessResult last = test::runTool(kCvl, {"index", "--db", db, "--dir", corpus});
    ASSERT_EQ(last.exitStatus, 0) << last.err;
    EXPECT_EQ(nlohmann::json::parse(last.out)["files"], 80);
    EXPECT_EQ(integrity(db), "ok");
}

// The child of the history case: records and flushes until it is killed.
TEST(CrashSafety, HistoryWriterChild) {
    const char* dir = std::getenv("CVL_CRASH_CHILD_DIR");
    if (!dir) GTEST_SKIP() << "runs only as the child of the history case";
    HistoryStore store(HistoryStore::Options{dir, {}, {}});
    for (int i = 0; i < 400; ++i) {
        store.record("/docs/file" + std::to_string(i) + ".pdf", false);
        if (i % 20 == 0) store.flushNow();
    }
    store.flushNow();
}

TEST(CrashSafety, HistoryFlushesKilledLeaveReadableFiles) {
    test::TempHome home;
    const std::string dir = home / "history";
    fs::create_directory(dir);
    killAtRandom(
        {"/proc/self/exe", "--gtest_filter=CrashSafety.HistoryWriterChild"}, 8, [] {},
        [&] {
            for (const auto& file : fs::directory_iterator(dir)) {
                if (file.path().extension() != ".json") continue;
                auto text = readFile(file.path());
                ASSERT_TRUE(text) << file.path();
                EXPECT_FALSE(nlohmann::json::parse(*text, nullptr, false).is_discarded())
                    << file.path() << " is half written";
            }
        },
        {"CVL_CRASH_CHILD_DIR=" + dir});
    HistoryStore store(HistoryStore::Options{dir, {}, {}});
    EXPECT_GT(store.count(), 0u);
}

}  // namespace
}  // namespace cvl
