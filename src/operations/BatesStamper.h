// A Bates stamping run: every PDF and image of a list gets consecutive labels, stamped copies go
// into an output folder, and the folder's audit manifest and CSV load file record the run.
// Sources are never modified.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "operations/BatesConfig.h"
#include "operations/BatesManifest.h"

namespace cvl {

struct PdfStampText;

struct BatesDocResult {
    std::string source;
    std::string output;  // empty when nothing was written
    long long pages = 0;
    long long begin = 0;
    long long end = 0;
    std::string beginLabel;
    std::string endLabel;
    // Not stamped and not an error: the file is a stamped copy that an earlier run of this
    // output folder wrote.
    bool skipped = false;
    std::optional<std::string> error;
};

struct BatesRunResult {
    std::vector<BatesDocResult> documents;
    int stampedCount = 0;
    long long pageCount = 0;
    std::string beginLabel;
    std::string endLabel;
    std::string manifestPath;
    std::string csvPath;
    std::string outputDir;
    std::optional<std::string> error;
    std::optional<std::string> collision;
};

// Extensions of the files a run stamps (compared without regard to case).
const std::vector<std::string>& batesInputExts();
bool isBatesInput(const std::string& path);
// The folder's files that a run would stamp: names not beginning with ".", with an accepted
// extension, in code-point order, as full paths. None when the folder cannot be read.
std::optional<std::vector<std::string>> batesInputList(const std::string& folder);
// A PDF counts its pages (0 when it cannot be opened), an image 1.
long long batesPageCount(const std::vector<std::string>& files);

namespace BatesStamper {

inline constexpr const char* kOutputFolderName = "Bates-Stamped";

inline constexpr const char* kEmptyPrefix = "Enter a prefix for the production.";
inline constexpr const char* kNoInputs = "No PDFs or images to stamp.";
inline constexpr const char* kNoFolderInputs = "No PDFs or images to stamp in this folder.";
inline constexpr const char* kNoOutputFolder = "Could not create the output folder.";
inline constexpr const char* kNothingStamped = "Nothing was stamped.";
inline constexpr const char* kDocumentFailed = "Could not read or stamp this document.";
inline constexpr const char* kFolderUnreadable = "That folder could not be opened.";
inline constexpr const char* kPrefixNotDrawable =
    "The prefix can only use letters, digits and punctuation of Western European languages.";

using Progress = std::function<void(const std::string&)>;

// Stamps `files` in this order into `outputDir` (made when missing). `startOverride` is an
// explicit first number, refused when it lies in an assigned range.
BatesRunResult stamp(const std::vector<std::string>& files, const std::string& outputDir,
                     const BatesConfig& config, std::optional<long long> startOverride,
                     const Progress& progress = {});

// Where the label goes on a page of `width` x `height` points: its baseline start, by the
// position and margin, kept 2 points inside the page.
PdfStampText stampText(const BatesConfig& config, const std::string& label, double width,
                       double height);

// The run result as JSON text with the keys of BatesRunResult and BatesDocResult.
std::string runResultJson(const BatesRunResult& result);

}  // namespace BatesStamper
}  // namespace cvl
