// File operations on real folders: free names, moves (across file systems too), bad names,
// and `cvl files` with the desktop trash under the test's HOME.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "operations/FileOps.h"
#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "platform/TextEscape.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

void put(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(writeFileAtomic(path, text).ok());
}

std::string contents(const std::string& path) {
    return readFile(path).value_or("<missing>");
}

TEST(FileOps, FreeNamesNeverReplace) {
    test::TempHome home;
    const std::string src = home / "in", dest = home / "out";
    put(src + "/a.pdf", "new");
    put(dest + "/a.pdf", "first");
    put(dest + "/a 2.pdf", "second");
    put(src + "/notes", "plain");
    put(dest + "/notes", "old notes");

    auto moved = FileOps::fmMove({src + "/a.pdf", src + "/notes"}, dest + "/", false);
    ASSERT_EQ(moved.moved.size(), 2u);
    EXPECT_EQ(moved.moved[0].to, dest + "/a 3.pdf");
    EXPECT_EQ(moved.moved[1].to, dest + "/notes 2");
    EXPECT_EQ(contents(dest + "/a.pdf"), "first");
    EXPECT_EQ(contents(dest + "/a 2.pdf"), "second");
    EXPECT_EQ(contents(dest + "/a 3.pdf"), "new");
    EXPECT_FALSE(pathExists(src + "/a.pdf"));
    EXPECT_EQ(json::parse(FileOps::toJson(moved))["folder"], "");

    // Renaming to the current name takes the next free one; duplicates count up.
    auto same = FileOps::rename(dest + "/a.pdf", "a.pdf");
    EXPECT_EQ(same.to.value_or(""), dest + "/a 4.pdf");
    auto copy1 = FileOps::duplicate(dest + "/a 2.pdf");
    auto copy2 = FileOps::duplicate(dest + "/a 2.pdf");
    EXPECT_EQ(copy1.copy.value_or(""), dest + "/a 2 copy.pdf");
    EXPECT_EQ(copy2.copy.value_or(""), dest + "/a 2 copy 2.pdf");
    EXPECT_EQ(contents(dest + "/a 2 copy 2.pdf"), "second");
    EXPECT_EQ(json::parse(FileOps::toJson(copy1)),
              json({{"op", "duplicate"}, {"copy", dest + "/a 2 copy.pdf"}}));

    auto f1 = FileOps::newFolder(home / "made/deeper", "", {});
    auto f2 = FileOps::newFolder(home / "made/deeper", "", {});
    EXPECT_EQ(json::parse(FileOps::toJson(f1)),
              json({{"op", "newfolder"},
                    {"dest", home / "made/deeper/untitled folder"},
                    {"folder", "untitled folder"}}));
    EXPECT_EQ(f2.folder, "untitled folder 2");
}

TEST(FileOps, MoveSkipsItemsAlreadyThereAndFailsEveryItemWithoutDestination) {
    test::TempHome home;
    put(home / "d/here.pdf", "h");
    put(home / "x.pdf", "x");
    fs::create_directories(home / "d/sub");

    auto out = json::parse(FileOps::toJson(
        FileOps::fmMove({home / "d/here.pdf", home / "d/sub", home / "x.pdf"}, home / "d", false)));
    EXPECT_EQ(out["moved"], json::array({{{"from", home / "x.pdf"}, {"to", home / "d/x.pdf"}}}));
    EXPECT_EQ(out["failed"], json::array());
    EXPECT_FALSE(out.contains("error"));

    // A folder cannot go into itself; the other items still move.
    put(home / "y.pdf", "y");
    auto into = FileOps::fmMove({home / "d", home / "y.pdf"}, home / "d/sub", true);
    EXPECT_EQ(into.failed, std::vector<std::string>{home / "d"});
    EXPECT_EQ(into.moved.size(), 1u);
    EXPECT_EQ(into.folder.value_or("?"), "sub");

    for (const auto& dest : {home / "nowhere", home / "d/here.pdf"}) {
        auto bad = json::parse(FileOps::toJson(FileOps::fmMove({home / "d/x.pdf"}, dest, false)));
        EXPECT_EQ(bad["moved"], json::array());
        EXPECT_EQ(bad["failed"], json::array({home / "d/x.pdf"}));
        EXPECT_FALSE(bad.contains("folder"));
        EXPECT_FALSE(bad["error"].get<std::string>().empty());
    }
    EXPECT_EQ(contents(home / "d/x.pdf"), "x");
}

TEST(FileOps, BadNamesAreRefusedWithAMessageAndChangeNothing) {
    test::TempHome home;
    put(home / "f/a.pdf", "a");
    for (const std::string name : {"b/c.pdf", "", ".", ".."}) {
        auto r = json::parse(FileOps::toJson(FileOps::rename(home / "f/a.pdf", name)));
        EXPECT_EQ(r["failed"], json::array({home / "f/a.pdf"})) << name;
        EXPECT_FALSE(r.contains("renamed"));
        EXPECT_NE(r["error"].get<std::string>().find("name"), std::string::npos) << name;
    }
    auto folder = FileOps::newFolder(home / "f", "x/y", {home / "f/a.pdf"});
    EXPECT_TRUE(folder.dest.empty());
    EXPECT_EQ(folder.failed, std::vector<std::string>{home / "f/a.pdf"});
    EXPECT_EQ(fs::directory_iterator(home / "f")->path().filename(), "a.pdf");
    EXPECT_EQ(contents(home / "f/a.pdf"), "a");

    auto gone = FileOps::rename(home / "f/none.pdf", "b.pdf");
    EXPECT_FALSE(gone.to);
    EXPECT_NE(gone.error.find("none.pdf"), std::string::npos);
}

// Two folders on different file systems, when the machine has them.
std::optional<std::pair<std::string, std::string>> twoFileSystems(const std::string& home) {
    struct stat a {
    }, b{};
    if (::stat(home.c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0) return std::nullopt;
    if (a.st_dev == b.st_dev || ::access("/dev/shm", W_OK) != 0) return std::nullopt;
    std::string other = "/dev/shm/cvl-move-" + std::to_string(::getpid());
    fs::create_directories(other);
    return std::make_pair(home, other);
}

TEST(FileOps, MoveAcrossFileSystemsKeepsContentAndTimes) {
    test::TempHome home;
    auto places = twoFileSystems(home.path());
    if (!places) GTEST_SKIP() << "HOME and /dev/shm are on the same file system here";
    const std::string other = places->second;
    put(home / "tree/a.txt", "alpha");
    put(home / "tree/deep/b.txt", "beta");
    put(home / "c.pdf", "gamma");
    ::chmod((home / "c.pdf").c_str(), 0640);
    struct timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ::utimensat(AT_FDCWD, (home / "c.pdf").c_str(), old, 0);
    put(other + "/c.pdf", "already there");

    auto out = FileOps::fmMove({home / "tree", home / "c.pdf"}, other, false);
    EXPECT_TRUE(out.failed.empty()) << out.error;
    EXPECT_EQ(contents(other + "/tree/deep/b.txt"), "beta");
    EXPECT_EQ(contents(other + "/c 2.pdf"), "gamma");
    EXPECT_EQ(contents(other + "/c.pdf"), "already there");
    struct stat st {};
    ASSERT_EQ(::stat((other + "/c 2.pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'000'000'000);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(pathExists(home / "tree"));
    EXPECT_FALSE(pathExists(home / "c.pdf"));
    for (const auto& e : fs::directory_iterator(other))  // no staging copies left behind
        EXPECT_NE(e.path().filename().string().rfind(".cvl-part-", 0), 0u) << e.path();
    fs::remove_all(other);
}

ProcessResult cvl(const std::vector<std::string>& args, const std::string& home) {
    ProcessSpec spec;
    spec.program = std::string(CVL_BINARY_DIR) + "/cvl";
    spec.args = args;
    spec.env["HOME"] = home;
    spec.env["XDG_DATA_HOME"] = home + "/.local/share";
    spec.timeout = std::chrono::seconds(60);
    return runProcess(spec);
}

TEST(CvlFiles, TrashGoesToTheDesktopTrashWithItsOriginalPath) {
    test::TempHome home;
    put(home / "docs/Report 1.pdf", "r");
    put(home / "docs/keep.pdf", "k");
    auto r =
        cvl({"files", "trash", home / "docs/Report 1.pdf", home / "docs/missing.pdf"}, home.path());
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    auto out = json::parse(r.out);
    EXPECT_EQ(out["trashed"], json::array({home / "docs/Report 1.pdf"}));
    EXPECT_EQ(out["failed"], json::array({home / "docs/missing.pdf"}));
    EXPECT_FALSE(pathExists(home / "docs/Report 1.pdf"));
    EXPECT_EQ(contents(home / ".local/share/Trash/files/Report 1.pdf"), "r");
    std::string info = contents(home / ".local/share/Trash/info/Report 1.pdf.trashinfo");
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos);
    // Path= holds the original path, escaped as a URI path (slashes kept).
    auto line =
        info.substr(info.find("Path="), info.find('\n', info.find("Path=")) - info.find("Path="));
    EXPECT_EQ(percentDecode(line.substr(5)), home / "docs/Report 1.pdf");
    EXPECT_NE(info.find("DeletionDate="), std::string::npos);
}

TEST(CvlFiles, FormsPrintOutcomesAndExitStatuses) {
    test::TempHome home;
    put(home / "a.pdf", "a");
    auto dup = cvl({"files", "duplicate", home / "a.pdf"}, home.path());
    EXPECT_EQ(dup.exitStatus, 0);
    EXPECT_EQ(json::parse(dup.out), json({{"op", "duplicate"}, {"copy", home / "a copy.pdf"}}));

    auto folder = cvl({"files", "newfolder", "--parent", home.path(), "--name", "Filed",
                       home / "a.pdf", home / "a copy.pdf"},
                      home.path());
    auto made = json::parse(folder.out);
    EXPECT_EQ(made["op"], "move");
    EXPECT_EQ(made["folder"], "Filed");
    EXPECT_EQ(made["moved"].size(), 2u);

    auto slash = cvl({"files", "rename", home / "Filed/a.pdf", "x/y.pdf"}, home.path());
    EXPECT_EQ(slash.exitStatus, 1);
    EXPECT_EQ(json::parse(slash.out)["failed"], json::array({home / "Filed/a.pdf"}));

    auto noDest =
        cvl({"files", "move", "--dest", home / "none", home / "Filed/a.pdf"}, home.path());
    EXPECT_EQ(noDest.exitStatus, 1);
    EXPECT_TRUE(pathExists(home / "Filed/a.pdf"));

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"files"}, {"files", "move", "x"}, {"files", "rename", "x"}, {"files", "copy", "x"}}) {
        auto r = cvl(bad, home.path());
        EXPECT_EQ(r.exitStatus, 2) << bad.back();
        EXPECT_NE(r.err.find("cvl files move --dest DIR PATH..."), std::string::npos);
    }
    auto help = cvl({"files", "--help"}, home.path());
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* form :
         {"move --dest", "newfolder --parent", "trash PATH", "rename PATH", "duplicate PATH"})
        EXPECT_NE(help.out.find(form), std::string::npos) << form;
}

}  // namespace
}  // namespace cvl
