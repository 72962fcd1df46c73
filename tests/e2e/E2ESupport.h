// What the end-to-end tests share: starting the real corvello under the virtual display with
// a test home, generated PDFs, and driving a reader with a script run in its page.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "platform/pdf/PdfDocument.h"
#include "support/TempHome.h"

namespace cvl::test {

using json = nlohmann::json;

inline const std::string kCorvello = std::string(CVL_BINARY_DIR) + "/corvello";

inline bool haveDisplay() {
    return !envValue("DISPLAY").empty();
}

inline ProcessResult runCorvello(const test::TempHome& home, std::vector<std::string> args,
                                 std::map<std::string, std::string> env = {}) {
    ProcessSpec spec;
    spec.program = kCorvello;
    spec.args = std::move(args);
    spec.env = std::move(env);
    spec.env["HOME"] = home.path();
    spec.env["CVL_TEST"] = "1";
    spec.env["CVL_NO_WARM"] = "1";
    spec.env["WEBKIT_DISABLE_COMPOSITING_MODE"] = "1";
    spec.env["CVL_RESOURCES"] = CVL_SOURCE_RESOURCES;
    // The engine's own converter: LibreOffice's is tested with the conversions, and its start
    // would take most of the time these tests have.
    spec.env["CVL_NO_LIBREOFFICE"] = "1";
    spec.timeout = std::chrono::seconds(90);
    return runProcess(spec);
}

// A PDF whose page N says "Page N" and, on page 3 only, the word "zebra".
inline std::string makePdf(const std::string& path, int pages) {
    PdfDocument doc;
    for (int i = 0; i < pages; ++i) {
        std::vector<std::string> lines = {"Page " + std::to_string(i + 1)};
        lines.push_back(i == 2 ? "The zebra clause applies here."
                               : "Ordinary terms and conditions.");
        doc.insertTextPage(i, PdfRect{0, 0, 612, 792}, lines, 20);
    }
    EXPECT_TRUE(doc.saveToFile(path).ok());
    return path;
}

// Opens `pdf` and runs `script` (an async function body) in the reader once it shows the
// document; gives the script's JSON result.
// `env` adds variables (such as CVL_TEST_DIALOGS).
inline json driveReader(const test::TempHome& home, const std::string& pdf,
                        const std::string& script, const std::string& snapshot = "",
                        bool review = false, std::map<std::string, std::string> env = {}) {
    const std::string scriptFile = home / "drive.js";
    const std::string outFile = home / "drive-out.json";
    std::ofstream(scriptFile) << script;
    env["CVL_TEST_DRIVE"] = scriptFile;
    env["CVL_TEST_DRIVE_OUT"] = outFile;
    if (!snapshot.empty()) env["CVL_TEST_SNAPSHOT"] = snapshot;
    if (review) env["CVL_TEST_DRIVE_ON"] = "review";
    ProcessResult r = runCorvello(home, {pdf}, env);
    EXPECT_FALSE(r.timedOut) << r.err;
    auto text = readFile(outFile);
    if (!text) {
        ADD_FAILURE() << "the reader never ran the script; stderr:\n" << r.err;
        return nullptr;
    }
    return json::parse(*text, nullptr, false);
}

// A helper for scripts: waits until `probe()` gives a value.
inline const char* kWaitHelper = R"(
const waitFor = async (probe, ms) => {
  const end = Date.now() + (ms || 20000);
  for (;;) {
    const v = probe();
    if (v) return v;
    if (Date.now() > end) return null;
    await new Promise((r) => setTimeout(r, 50));
  }
};
)";

}  // namespace cvl::test
