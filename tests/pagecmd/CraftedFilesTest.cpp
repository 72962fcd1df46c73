// Crafted and special files given to `cvl pages`: the command answers, the source is kept,
// and every "done" output opens in another reader with its pages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "support/CraftedPdf.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// cvl pages, from a shell whose stack limit is `stackKB` (the main thread's stack).
ProcessResult cvlPages(const std::vector<std::string>& args, int stackKB = 8192) {
    std::string cmd = "ulimit -s " + std::to_string(stackKB) + "; exec \"$0\" pages \"$@\"";
    std::vector<std::string> all{"-c", cmd, std::string(CVL_BINARY_DIR) + "/cvl"};
    all.insert(all.end(), args.begin(), args.end());
    return test::runTool("/bin/sh", all);
}

TEST(CraftedFiles, DeepOutlineIsWrittenWithoutExhaustingTheStack) {
    test::TempHome home;
    const std::string src = home / "deep.pdf";
    // 20,000 nested entries overflow a 1 MB stack in a recursive writer.
    ASSERT_TRUE(writeFileAtomic(src, test::deepOutlinePdf(20000)).ok());
    const std::string before = sha256Hex(*readFile(src));
    ProcessResult r = cvlPages({src, "delete page 2", "--yes"}, 1024);
    ASSERT_EQ(r.signal, 0) << r.err;
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
    const std::string out = home / "deep (1 page removed).pdf";
    EXPECT_TRUE(test::qpdfCheckClean(out));
    EXPECT_EQ(test::popplerPageCount(out), 2);
    EXPECT_EQ(sha256Hex(*readFile(src)), before);
}

TEST(CraftedFiles, OwnerPasswordSourceGivesReadableDecryptedOutput) {
    test::TempHome home;
    const std::string plain = home / "plain.pdf";
    const std::string src = home / "locked.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(3), plain));
    ASSERT_TRUE(
        test::runTool("qpdf", {"--encrypt", "", "owner", "256", "--", plain, src}).succeeded());
    for (const char* text : {"delete page 2", "extract page 3"}) {
        ProcessResult r = cvlPages({src, text, "--yes"});
        ASSERT_EQ(r.exitStatus, 0) << text << r.out << r.err;
        const std::string out = json::parse(r.out)["outputs"][0];
        std::string report;
        EXPECT_TRUE(test::qpdfCheckClean(out, &report)) << text << report;
        EXPECT_NE(report.find("File is not encrypted"), std::string::npos) << report;
        EXPECT_NE(test::popplerText(out).find(test::fixtureLine(3)), std::string::npos) << text;
    }
}

TEST(CraftedFiles, SpecialFilesAreRefusedAtOnce) {
    test::TempHome home;
    const std::string fifo = home / "pipe.pdf";
    const std::string zero = home / "zero.pdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    for (const auto& path : {fifo, zero}) {
        ProcessResult r = cvlPages({path, "delete page 2"});
        EXPECT_FALSE(r.timedOut) << path;
        EXPECT_EQ(r.exitStatus, 1) << path << r.out << r.err;
        const json reply = json::parse(r.out, nullptr, false);
        EXPECT_EQ(reply.value("kind", ""), "error") << r.out;
        EXPECT_NE(reply.value("message", "").find("regular file"), std::string::npos) << r.out;
    }
    for (const auto& entry : fs::directory_iterator(home.path()))
        EXPECT_EQ(entry.path().filename().string().rfind(".cvl-stage-", 0), std::string::npos);
}

TEST(CraftedFiles, FolderWalksPassOverPipesAndDeviceLinks) {
    test::TempHome home;
    const std::string dir = home / "files";
    fs::create_directory(dir);
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(2), dir + "/real.pdf"));
    ASSERT_EQ(::mkfifo((dir + "/pipe.pdf").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir + "/zero.txt").c_str()), 0);
    const std::string cvl = std::string(CVL_BINARY_DIR) + "/cvl";
    ProcessResult index = test::runTool(cvl, {"index", "--dir", dir});
    ASSERT_FALSE(index.timedOut);
    ASSERT_EQ(index.exitStatus, 0) << index.out << index.err;
    EXPECT_EQ(json::parse(index.out)["files"], 1) << index.out;
    ProcessResult scan = test::runTool(cvl, {"scan", "--dir", dir, "alpha"});
    ASSERT_FALSE(scan.timedOut);
    ASSERT_EQ(scan.exitStatus, 0) << scan.out << scan.err;
    EXPECT_EQ(json::parse(scan.out)["docCount"], 1) << scan.out;
}

TEST(CraftedFiles, StagingLeftByAKilledRunIsClearedByTheNextOne) {
    test::TempHome home;
    const std::string src = home / "report.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(3), src));
    auto stage = [&](const std::string& uuid, const std::string& item) {
        const std::string dir = home / (".cvl-stage-" + uuid);
        fs::create_directory(dir);
        EXPECT_TRUE(writeFileAtomic(dir + "/" + item, "half a file").ok());
        return dir;
    };
    const std::string killed = stage("0A0B0C0D-1111-2222-3333-444455556666", "out");
    const std::string busy = stage("1A0B0C0D-1111-2222-3333-444455556666", "out");
    const std::string foreign = stage("2A0B0C0D-1111-2222-3333-444455556666", "notes.txt");
    // A run still writing holds its folder's lock.
    const int held = ::open(busy.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ProcessResult r = cvlPages({src, "delete page 2", "--yes"});
    ::close(held);
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(busy)) << "its run is still writing";
    EXPECT_TRUE(fs::exists(foreign)) << "not ours by its content";
}

}  // namespace
}  // namespace cvl
