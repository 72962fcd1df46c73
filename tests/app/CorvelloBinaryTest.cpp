#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/ProcessRunner.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

ProcessResult runCorvello(std::vector<std::string> args) {
    ProcessSpec spec;
    spec.program = std::string(CVL_BINARY_DIR) + "/corvello";
    spec.args = std::move(args);
    spec.timeout = std::chrono::seconds(60);
    return runProcess(spec);
}

TEST(CorvelloBinary, TabRestoreSelftestPassesEveryCase) {
    test::TempHome home;
    ProcessResult r = runCorvello({"--selftest-tab-restore"});
    ASSERT_TRUE(r.launched) << r.launchError;
    EXPECT_EQ(r.exitStatus, 0);
    std::istringstream lines(r.out);
    std::string line;
    int pass = 0, other = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("PASS  ", 0) == 0 && line.find(": ") != std::string::npos)
            ++pass;
        else
            ++other;
    }
    EXPECT_EQ(pass, 9) << r.out;
    EXPECT_EQ(other, 0) << r.out;
    EXPECT_NE(r.out.find("PASS  same-build crash never reopens: no restore\n"), std::string::npos);
    EXPECT_NE(r.out.find("PASS  in-app updater quit then relaunched: update\n"), std::string::npos);
}

// The argument rules themselves are WelcomeShotArgs' tests; this checks how the binary reports.
TEST(CorvelloBinary, WelcomeShotWithoutPathExitsTwo) {
    test::TempHome home;
    ProcessResult r = runCorvello({"--welcome-shot", "--dark"});
    ASSERT_TRUE(r.launched) << r.launchError;
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.err, "--welcome-shot needs an output path\n");
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace cvl
