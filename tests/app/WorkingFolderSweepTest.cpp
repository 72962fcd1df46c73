#include "app/WorkingFolderSweep.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "TestFiles.h"
#include "platform/FileIO.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using namespace std::chrono;

// Sets a file's modification time `age` before `now`.
void age(const std::string& path, system_clock::time_point now, seconds age) {
    const time_t t = system_clock::to_time_t(now - age);
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(WorkingFolderSweep, RemovesOnlyOldGeneratedFiles) {
    test::TempHome home;
    const std::string dir = home.path() + "/work";
    const auto now = system_clock::now();
    const std::string oldPage = dir + "/.welcome-1234.html";
    const std::string oldExchange = dir + "/.topdf-99.json";
    const std::string oldAsk = dir + "/.ask-77.html";
    const std::string freshPage = dir + "/.loading-5678.html";
    const std::string userFile = dir + "/welcome-notes.html";     // not hidden: the user's
    const std::string wrongEnd = dir + "/.history-old.html.bak";  // not one of ours
    for (const auto& p : {oldPage, oldExchange, oldAsk, freshPage, userFile, wrongEnd})
        ASSERT_TRUE(test::putFile(p, "x"));
    for (const auto& p : {oldPage, oldExchange, oldAsk, userFile, wrongEnd}) age(p, now, hours(30));
    age(freshPage, now, hours(2));

    EXPECT_EQ(WorkingFolderSweep::sweep(dir, now), 3);
    EXPECT_FALSE(pathExists(oldPage));
    EXPECT_FALSE(pathExists(oldExchange));
    EXPECT_FALSE(pathExists(oldAsk));
    EXPECT_TRUE(pathExists(freshPage));
    EXPECT_TRUE(pathExists(userFile));
    EXPECT_TRUE(pathExists(wrongEnd));
    EXPECT_FALSE(WorkingFolderSweep::isGeneratedName(".panel-.html"));  // no name between
}

TEST(WorkingFolderSweep, NeverFollowsLinksOrFailsOnAMissingFolder) {
    test::TempHome home;
    const auto now = system_clock::now();
    EXPECT_EQ(WorkingFolderSweep::sweep(home.path() + "/absent", now), 0);

    const std::string dir = home.path() + "/work";
    const std::string target = home.path() + "/keep/.grid-1.json";
    ASSERT_TRUE(test::putFile(target, "{}"));
    ASSERT_TRUE(makeDirs(dir));
    const std::string link = dir + "/.grid-1.json";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    age(target, now, hours(48));
    age(link, now, hours(48));
    EXPECT_EQ(WorkingFolderSweep::sweep(dir, now), 0);
    EXPECT_TRUE(pathExists(target));
}

}  // namespace
}  // namespace cvl
