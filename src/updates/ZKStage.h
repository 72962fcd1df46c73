// Download, verification and staging of an update archive: the archive is fetched, its
// SHA-256 compared with the appcast, its detached Ed25519 signature checked against the
// pinned key, and only then unpacked into a working folder of the system's temporary folder.
#pragma once

#include <functional>
#include <string>

#include "platform/Result.h"
#include "updates/ZKAppcast.h"

namespace cvl {

struct ZKStageSettings {
    std::string appKey;
    std::string signingKey;  // the pinned raw 32-byte public key; empty refuses every archive
    std::string tempDir;     // the system temporary folder
    std::string caBundle;    // trusted roots for the download; empty: the system's
};

struct ZKStaged {
    std::string folder;     // the working folder (removed by the swap)
    std::string candidate;  // the unpacked install directory
};

namespace ZKStage {

// The 10-character identifier of a signing key, shown in traces and errors.
std::string teamID(const std::string& rawKey);

// The working folder for one version and build.
std::string workFolder(const ZKStageSettings& settings, const ZKAppcast& cast);

// Runs every step; a failure's message is the reason shown after "failed: ".
Result<ZKStaged> downloadAndVerify(const ZKAppcast& cast, const ZKStageSettings& settings,
                                   const std::function<void(const std::string&)>& trace);

}  // namespace ZKStage
}  // namespace cvl
