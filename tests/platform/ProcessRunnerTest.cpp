#include "platform/ProcessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/Dispatch.h"

using namespace cvl;
using namespace std::chrono_literals;

TEST(ProcessRunner, CapturesOutputErrorAndExitStatus) {
    ProcessSpec spec;
    spec.program = "/bin/sh";
    spec.args = {"-c", "echo out; echo err >&2; exit 3"};
    ProcessResult r = runProcess(spec);
    EXPECT_TRUE(r.launched);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_FALSE(r.succeeded());
}

TEST(ProcessRunner, PassesInputEnvironmentAndArgumentsVerbatim) {
    ProcessSpec spec;
    spec.program = "/bin/sh";
    spec.args = {"-c", "printf '%s|%s|' \"$0\" \"$CVL_X\"; cat", "a b 'c'"};
    spec.env = {{"CVL_X", "v=1"}};
    spec.input = std::string(200000, 'z');  // larger than a pipe buffer
    ProcessResult r = runProcess(spec);
    ASSERT_TRUE(r.succeeded());
    EXPECT_EQ(r.out, "a b 'c'|v=1|" + std::string(200000, 'z'));
}

TEST(ProcessRunner, DeliversErrorOutputInChunksAsItArrives) {
    ProcessSpec spec;
    spec.program = "/bin/sh";
    spec.args = {"-c", "echo one >&2; sleep 0.2; echo two >&2"};
    std::string seen;
    int chunks = 0;
    spec.onStderr = [&](std::string_view c) {
        seen.append(c);
        ++chunks;
    };
    ProcessResult r = runProcess(spec);
    EXPECT_EQ(seen, "one\ntwo\n");
    EXPECT_GE(chunks, 2);
}

TEST(ProcessRunner, TimeOutTerminatesThenKills) {
    ProcessSpec spec;
    spec.program = "/bin/sh";
    // Ignores SIGTERM, so only the kill ends it.
    spec.args = {"-c", "trap '' TERM; while :; do sleep 0.05; done"};
    spec.timeout = 200ms;
    spec.killGrace = 200ms;
    auto start = std::chrono::steady_clock::now();
    ProcessResult r = runProcess(spec);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.signal, SIGKILL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(ProcessRunner, MissingProgramIsALaunchFailure) {
    ProcessSpec spec;
    spec.program = "/nonexistent/tool";
    ProcessResult r = runProcess(spec);
    EXPECT_FALSE(r.launched);
    EXPECT_FALSE(r.launchError.empty());
}

TEST(ProcessRunner, SpawnReportsOnABackgroundThread) {
    std::atomic<int> status{-100};
    ProcessSpec spec;
    spec.program = "/bin/sh";
    spec.args = {"-c", "exit 7"};
    spawnProcess(spec, [&](ProcessResult r) { status = r.exitStatus; });
    auto* mainQ = Dispatch::manualMain();
    ASSERT_NE(mainQ, nullptr);
    EXPECT_TRUE(mainQ->runUntil([&] { return status == 7; }, 5000ms));
}

TEST(ProcessRunner, WaitingChildrenLeaveThePoolFree) {
    // More running children than pool threads: pool work still runs while they wait.
    std::atomic<int> exited{0};
    std::atomic<int> exitedWhenPoolRan{-1};
    ProcessSpec spec;
    spec.program = "/bin/sleep";
    spec.args = {"1"};
    const int children = static_cast<int>(std::max(2u, std::thread::hardware_concurrency())) + 2;
    for (int i = 0; i < children; ++i) spawnProcess(spec, [&](ProcessResult) { ++exited; });
    Dispatch::global().async([&] { exitedWhenPoolRan = exited.load(); });
    auto* mainQ = Dispatch::manualMain();
    ASSERT_NE(mainQ, nullptr);
    EXPECT_TRUE(mainQ->runUntil([&] { return exited == children; }, 10000ms));
    EXPECT_EQ(exitedWhenPoolRan, 0);
}
