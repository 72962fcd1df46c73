// cvl update against a local HTTPS feed, trusted only through the update_ca_file setting.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "support/HttpsServer.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

ProcessResult runCvl(const std::string& program, const test::TempHome& home,
                     std::vector<std::string> args) {
    ProcessSpec spec;
    spec.program = program;
    spec.args = std::move(args);
    spec.env["HOME"] = home.path();
    spec.env["CVL_RESOURCES"] = CVL_SOURCE_RESOURCES;
    spec.env["TMPDIR"] = home / "tmp";
    spec.timeout = std::chrono::seconds(90);
    return runProcess(spec);
}

TEST(CvlUpdate, ChecksTheFeedNamedBySettingsAndRefusesArchivesThatFailTheirChecks) {
    test::TempHome home;
    makeDirs(home / "feed/corvello");
    makeDirs(home / "tmp");
    makeDirs(home / "Library/Application Support/Corvello");
    test::HttpsServer server(home / "feed", home.path());
    ASSERT_TRUE(server.running());
    nlohmann::json cast = {{"version", "99.0"},
                           {"build", 5},
                           {"url", server.base() + "/corvello/corvello.tar.gz"},
                           {"sha256", "00"},
                           {"signature", ""}};
    EXPECT_TRUE(writeFileAtomic(home / "feed/corvello/appcast.json", cast.dump()).ok());
    EXPECT_TRUE(writeFileAtomic(home / "feed/corvello/corvello.tar.gz", "not an archive").ok());
    const std::string cvl = std::string(CVL_BINARY_DIR) + "/cvl";

    // Without the certificate trusted, the feed cannot be read.
    EXPECT_TRUE(writeFileAtomic(home / "Library/Application Support/Corvello/config.json",
                                nlohmann::json{{"update_feed", server.base()}}.dump())
                    .ok());
    ProcessResult untrusted = runCvl(cvl, home, {"update", "check"});
    EXPECT_EQ(untrusted.exitStatus, 1) << untrusted.err;
    EXPECT_EQ(nlohmann::json::parse(untrusted.out)["outcome"], "unreachable");

    EXPECT_TRUE(writeFileAtomic(home / "Library/Application Support/Corvello/config.json",
                                nlohmann::json{{"update_feed", server.base()},
                                               {"update_ca_file", server.caFile()}}
                                    .dump())
                    .ok());
    ProcessResult checked = runCvl(cvl, home, {"update", "check"});
    ASSERT_EQ(checked.exitStatus, 0) << checked.err;
    auto out = nlohmann::json::parse(checked.out);
    EXPECT_EQ(out["outcome"], "available");
    EXPECT_EQ(out["status"], "v99.0 available");
    EXPECT_EQ(out["version"], "99.0");
    EXPECT_EQ(out["feed"], server.base() + "/corvello/appcast.json");

    // From an install directory: the archive fails its checks and nothing changes.
    std::string root = home / "apps/corvello";
    makeDirs(root + "/bin");
    makeDirs(root + "/share/corvello");
    std::filesystem::copy_file(cvl, root + "/bin/cvl");
    std::filesystem::copy_file(cvl + "-full", root + "/bin/cvl-full");
    EXPECT_TRUE(writeFileAtomic(root + "/bin/corvello", "#!/bin/sh\n", 0755).ok());
    EXPECT_TRUE(writeFileAtomic(root + "/share/corvello/VERSION", "1.0\n").ok());
    ProcessResult install = runCvl(root + "/bin/cvl", home, {"update", "install"});
    EXPECT_EQ(install.exitStatus, 1) << install.err;
    out = nlohmann::json::parse(install.out);
    EXPECT_EQ(out["outcome"], "failed");
    EXPECT_EQ(out["error"].get<std::string>().rfind("sha256 mismatch (got ", 0), 0u);
    EXPECT_EQ(*readFile(root + "/share/corvello/VERSION"), "1.0\n");
    EXPECT_TRUE(std::filesystem::is_empty(home / "tmp"));

    ProcessResult bad = runCvl(cvl, home, {"update", "upgrade"});
    EXPECT_EQ(bad.exitStatus, 2);
}

}  // namespace
}  // namespace cvl
