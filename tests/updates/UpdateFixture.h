// Fixture for the updater tests: a throwaway install directory with a stand-in program, a
// release archive signed with a key made for the test, and the appcast served over HTTPS on
// the loopback interface.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/ProcessRunner.h"
#include "support/HttpsServer.h"
#include "support/TempHome.h"
#include "updates/ZKUpdate.h"

namespace cvl::test {

struct Release {
    std::string file;  // served as /files/NAME
    std::string url;
    std::string sha256;
    std::string signature;  // base64
};

class UpdateFixture : public ::testing::Test {
  protected:
    TempHome home;
    std::string feedDir = home / "feed";
    std::string tmpDir = home / "tmp";
    // A name with a space and a quote: every path in the swap script must be quoted.
    std::string root = home / "Apps/it's here/corvello";
    std::string marker = home / "relaunched";
    std::string pinnedKeyPem = home / "pinned.pem";
    std::string otherKeyPem = home / "other.pem";
    std::string pinnedRaw, otherRaw;
    std::unique_ptr<HttpsServer> server;

    void SetUp() override {
        makeDirs(feedDir + "/files");
        makeDirs(feedDir + "/corvello");
        makeDirs(tmpDir);
        makeInstall(root, "1.0", "1");
        pinnedRaw = makeKey(pinnedKeyPem);
        otherRaw = makeKey(otherKeyPem);
        server = std::make_unique<HttpsServer>(feedDir, home.path());
        ASSERT_TRUE(server->running());
        ASSERT_EQ(pinnedRaw.size(), 32u);
    }

    static std::string run(const std::string& program, std::vector<std::string> args) {
        ProcessSpec spec;
        spec.program = program;
        spec.args = std::move(args);
        ProcessResult r = runProcess(spec);
        EXPECT_TRUE(r.succeeded()) << program << ": " << r.err;
        return r.out;
    }

    // An Ed25519 key (PEM) made with the openssl tool; returns the raw public key.
    std::string makeKey(const std::string& pem) {
        run("openssl", {"genpkey", "-algorithm", "ed25519", "-out", pem});
        std::string der = run("openssl", {"pkey", "-in", pem, "-pubout", "-outform", "DER"});
        return der.size() >= 32 ? der.substr(der.size() - 32) : std::string();
    }

    // An install directory whose bin/corvello records each start in the marker file.
    void makeInstall(const std::string& dir, const std::string& version, const std::string& build) {
        makeDirs(dir + "/bin");
        makeDirs(dir + "/share/corvello/engine");
        EXPECT_TRUE(writeFileAtomic(
                        dir + "/bin/corvello",
                        "#!/bin/sh\necho \"$(cat \"$(dirname \"$0\")/../share/corvello/VERSION\") "
                        "background=${ZK_BACKGROUND_LAUNCH:-0}\" >> '" +
                            marker + "'\n",
                        0755)
                        .ok());
        EXPECT_TRUE(writeFileAtomic(dir + "/bin/cvl", "#!/bin/sh\n", 0755).ok());
        EXPECT_TRUE(writeFileAtomic(dir + "/share/corvello/VERSION", version + "\n").ok());
        EXPECT_TRUE(writeFileAtomic(dir + "/share/corvello/BUILD", build + "\n").ok());
        EXPECT_TRUE(writeFileAtomic(dir + "/share/corvello/engine/reader.html",
                                    "<html>" + version + "</html>")
                        .ok());
    }

    // The release archive of `version`, signed with `keyPem`.
    Release makeRelease(const std::string& version, const std::string& build,
                        const std::string& keyPem) {
        std::string stage = home / ("stage-" + version);
        makeInstall(stage + "/corvello", version, build);
        Release r;
        r.file = "corvello-" + version + ".tar.gz";
        std::string archive = feedDir + "/files/" + r.file;
        run("tar", {"-czf", archive, "-C", stage, "corvello"});
        r.url = server->base() + "/files/" + r.file;
        r.sha256 = *sha256HexOfFile(archive);
        r.signature = sign(archive, keyPem);
        return r;
    }

    std::string sign(const std::string& file, const std::string& keyPem) {
        std::string sig = home / "sig.bin";
        run("openssl", {"pkeyutl", "-sign", "-inkey", keyPem, "-rawin", "-in", file, "-out", sig});
        return base64Encode(*readFile(sig));
    }

    nlohmann::json appcast(const Release& r, const std::string& version, long long build) {
        return {{"version", version}, {"build", build},           {"url", r.url},
                {"sha256", r.sha256}, {"signature", r.signature}, {"notes", "Faster."}};
    }

    void publish(const nlohmann::json& cast) {
        EXPECT_TRUE(writeFileAtomic(feedDir + "/corvello/appcast.json", cast.dump()).ok());
    }

    ZKUpdateConfig config() {
        ZKUpdateConfig c;
        c.feedBase = server->base();
        c.appKey = "corvello";
        c.signingKey = pinnedRaw;
        c.logPath = home / "Library/Logs/Corvello/updater.log";
        c.targetBundlePath = root;
        c.runningVersion = "1.0";
        c.runningBuild = "1";
        c.systemVersion = "2.36";
        c.caBundle = server->caFile();
        c.tempDir = tmpDir;
        c.firstCheckDelay = std::chrono::hours(1);
        return c;
    }

    ZKCheckOutcome check(const std::shared_ptr<ZKUpdate>& u, ZKCheckKind kind) {
        std::optional<ZKCheckOutcome> out;
        u->check(kind, [&](const ZKCheckOutcome& o) { out = o; });
        Dispatch::manualMain()->runUntil([&] { return out.has_value(); }, std::chrono::seconds(60));
        u->flushTrace();
        return out.value_or(ZKCheckOutcome{"timed out", "", "", 0, ""});
    }

    // Runs the main queue and polls until `done` (things outside this process, like the swap
    // script, change files on their own time).
    static bool waitFor(const std::function<bool()>& done, int seconds = 30) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < until) {
            Dispatch::manualMain()->drain();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return done();
    }

    std::string traceFile() const {
        return readFile(home / "Library/Logs/Corvello/updater.log").value_or("");
    }
    bool traced(const std::string& part) const {
        return traceFile().find(part) != std::string::npos;
    }
    std::string installedVersion() const {
        return readFile(root + "/share/corvello/VERSION").value_or("");
    }
    bool tmpIsEmpty() const { return std::filesystem::is_empty(tmpDir); }

    // A stand-in for the running program: a process the swap waits for.
    static int standIn() {
        ProcessSpec s;
        s.program = "/bin/sleep";
        s.args = {"120"};
        return spawnDetached(s).value();
    }
    static void end(int pid) { ::kill(pid, SIGKILL); }
};

}  // namespace cvl::test
