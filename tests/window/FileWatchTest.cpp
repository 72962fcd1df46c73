// inotify watches: a loading file being written or replaced, and folder trees.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/FileWatch.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done) {
    return Dispatch::manualMain()->runUntil(done, 5000ms);
}

TEST(FileWatchTest, AFileWriteIsReportedAndAReplacementEndsTheWatch) {
    test::TempHome home;
    const std::string file = home / ".loading.html";
    std::ofstream(file) << "loading";
    std::vector<bool> events;
    auto watch = FileWatch::watchFile(file, [&](bool gone) { events.push_back(gone); });
    ASSERT_TRUE(watch);
    std::ofstream(file, std::ios::app) << " more";
    ASSERT_TRUE(waitFor([&] { return !events.empty(); }));
    EXPECT_FALSE(events.back());

    // The engine writes its result atomically: a new file renamed over the watched one.
    ASSERT_TRUE(writeFileAtomic(file, "<html>result</html>").ok());
    ASSERT_TRUE(waitFor([&] { return events.back(); }));
    const size_t seen = events.size();
    std::ofstream(file, std::ios::app) << "again";
    Dispatch::manualMain()->runUntil([] { return false; }, 300ms);
    EXPECT_EQ(events.size(), seen);  // the watch ended with the replacement
}

TEST(FileWatchTest, NothingIsDeliveredAfterTheWatchIsGone) {
    test::TempHome home;
    const std::string file = home / "a.html";
    std::ofstream(file) << "x";
    int calls = 0;
    auto watch = FileWatch::watchFile(file, [&](bool) { ++calls; });
    ASSERT_TRUE(watch);
    std::ofstream(file, std::ios::app) << "y";
    std::this_thread::sleep_for(200ms);  // the event is read and posted
    watch.reset();
    Dispatch::manualMain()->runUntil([] { return false; }, 200ms);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(FileWatch::watchFile(home / "missing.html", [](bool) {}));
}

TEST(FileWatchTest, TreesReportChangesInNewAndOldSubFoldersTogether) {
    test::TempHome home;
    const std::string root = home / "Matter";
    makeDirs(root + "/Old");
    int deliveries = 0;
    auto watch = FileWatch::watchTrees({root}, [&] { ++deliveries; });
    ASSERT_TRUE(watch);
    std::filesystem::create_directory(root + "/New");
    std::this_thread::sleep_for(100ms);  // the new folder is watched once seen
    std::ofstream(root + "/New/a.pdf") << "a";
    std::ofstream(root + "/Old/b.pdf") << "b";
    ASSERT_TRUE(waitFor([&] { return deliveries > 0; }));
    Dispatch::manualMain()->runUntil([] { return false; }, 700ms);
    EXPECT_EQ(deliveries, 1);  // one burst, one delivery

    std::ofstream(root + "/New/c.pdf") << "c";
    EXPECT_TRUE(waitFor([&] { return deliveries == 2; }));
    EXPECT_FALSE(FileWatch::watchTrees({home / "nowhere"}, [] {}));
}

}  // namespace
}  // namespace cvl
