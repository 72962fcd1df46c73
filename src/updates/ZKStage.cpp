#include "updates/ZKStage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>

#include "platform/Base64.h"
#include "platform/Ed25519.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/HttpClient.h"
#include "platform/ProcessRunner.h"
#include "updates/ZKInstallDir.h"

namespace cvl::ZKStage {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kMaxArchiveBytes = std::size_t(1) << 30;

// A fresh folder of our own: an old one is removed, and the new one must be created by us
// (not found in place, which on a shared temporary folder could be someone else's).
Status freshFolder(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    if (::mkdir(path.c_str(), 0700) != 0)
        return Failure{"could not create the working folder " + path};
    return success();
}

}  // namespace

std::string teamID(const std::string& rawKey) {
    std::string hex = sha256Hex(rawKey).substr(0, 10);
    for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return hex;
}

std::string workFolder(const ZKStageSettings& s, const ZKAppcast& cast) {
    return s.tempDir + "/ZKUpdate-" + s.appKey + "-" + cast.version + "-" +
           std::to_string(cast.build);
}

Result<ZKStaged> downloadAndVerify(const ZKAppcast& cast, const ZKStageSettings& s,
                                   const std::function<void(const std::string&)>& trace) {
    ZKStaged staged;
    staged.folder = workFolder(s, cast);
    if (auto made = freshFolder(staged.folder); !made) return Failure{made.error()};
    auto fail = [&](const std::string& reason) -> Result<ZKStaged> {
        std::error_code ec;
        fs::remove_all(staged.folder, ec);
        return Failure{reason};
    };

    auto bytes = httpsGet({cast.url, std::chrono::seconds(1800), s.caBundle, kMaxArchiveBytes});
    if (!bytes) {
        trace("download of " + cast.url + " failed: " + bytes.error());
        return fail("download failed");
    }
    trace("downloaded " + std::to_string(bytes->size()) + " bytes from " + cast.url);

    std::string digest = sha256Hex(*bytes);
    if (digest != cast.sha256)
        return fail("sha256 mismatch (got " + digest + ", the manifest says " + cast.sha256 + ")");
    trace("sha256 matches the manifest");

    // The signature stands in for the code signature: it must verify with the key the
    // appcast names (or the pinned one), and that key must be the pinned one.
    if (s.signingKey.size() != 32) return fail("code signature invalid (this build pins no key)");
    std::string team = teamID(s.signingKey);
    auto signature = base64Decode(cast.signature);
    auto signer = cast.signingKey.empty() ? std::optional<std::string>(s.signingKey)
                                          : base64Decode(cast.signingKey);
    if (!signature || !signer || !ed25519Verify(*signer, *bytes, *signature))
        return fail("code signature invalid");
    if (*signer != s.signingKey) return fail("wrong signer (TeamIdentifier != " + team + ")");

    std::string archive = staged.folder + "/update.tar.gz";
    if (auto w = writeFileAtomic(archive, *bytes, 0600); !w) return fail(w.error());
    bytes->clear();
    ProcessSpec tar;
    tar.program = "/bin/tar";
    tar.args = {"-x", "-z", "-f", archive, "-C", staged.folder, "--no-same-owner"};
    tar.timeout = std::chrono::minutes(10);
    ProcessResult r = runProcess(tar);
    ::unlink(archive.c_str());
    if (!r.succeeded()) {
        trace("tar: " + r.err.substr(0, 400));
        return fail("unzip failed");
    }
    trace("unzipped into " + staged.folder);

    auto candidate = ZKInstallDir::findInstallIn(staged.folder);
    if (!candidate) return fail("no install directory in the archive");
    staged.candidate = *candidate;
    trace("verified (Ed25519 signature, TeamIdentifier " + team +
          "; Linux has no Gatekeeper or quarantine step) and staged at " + staged.candidate);
    return staged;
}

}  // namespace cvl::ZKStage
