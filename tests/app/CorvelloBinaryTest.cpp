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
