#include "app/EngineLocator.h"

#include <unistd.h>

#include <filesystem>

#include "platform/FileIO.h"
#include "platform/UserDirs.h"

namespace cvl::EngineLocator {

std::string locate(const std::string& overrideRelative, const std::string& packagedSuffix) {
    if (!overrideRelative.empty()) {
        std::string candidate = UserDirs::engineOverrideDir() + "/" + overrideRelative;
        if (pathExists(candidate)) return candidate;
    }
    return UserDirs::resourceDir() + packagedSuffix;
}

std::string engineLauncher() {
    return locate("app/launch.sh", "/engine/launch.sh");
}
std::string panelPy() {
    return locate("app/viewer/panels.py", "/engine/panels.py");
}
std::string triageGenPy() {
    return locate("triage_gen.py", "/engine/triage_gen.py");
}
std::string corvelloDiffPy() {
    return locate("app/corvello_diff.py", "/engine/corvello_diff.py");
}
std::string readerHTMLPath() {
    return locate("app/vendor/pdfjs/reader.html", "/engine/vendor/pdfjs/reader.html");
}
std::string gridHTMLPath() {
    return locate("app/vendor/pdfjs/gridview.html", "/engine/vendor/pdfjs/gridview.html");
}
std::string timelineHTMLPath() {
    return locate("app/vendor/pdfjs/drafttimeline.html", "/engine/vendor/pdfjs/drafttimeline.html");
}
std::string groupWriterHTMLPath() {
    return locate("app/vendor/pdfjs/groupwriter.html", "/engine/vendor/pdfjs/groupwriter.html");
}
std::string campaignsHTMLPath() {
    return locate("app/campaigns.html", "/engine/campaigns.html");
}
std::string batesHTMLPath() {
    return locate("app/bates.html", "/engine/bates.html");
}
std::string historyHTMLPath() {
    return locate("app/history.html", "/engine/history.html");
}
std::string organizeHTMLPath() {
    return locate("app/organize.html", "/engine/organize.html");
}
std::string mcpServerPy() {
    return locate("app/mcp/server.py", "/engine/mcp/server.py");
}
std::string iconVariantsDir() {
    return locate("app/icon/variants", "/appicons");
}
std::string welcomeJSPath() {
    return locate("", "/engine/welcome.js");
}
std::string redactHTMLPath() {
    return locate("", "/engine/redact.html");
}
std::string signHTMLPath() {
    return locate("", "/engine/sign.html");
}

std::string launcherSibling(const std::string& scriptName) {
    return parentPath(engineLauncher()) + "/" + scriptName;
}

std::string engineInterpreter() {
    return isRegularFile("/usr/bin/python3") ? "/usr/bin/python3" : "/opt/homebrew/bin/python3";
}

std::string cvlCompanion() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto beside = self.parent_path() / "cvl";
        if (::access(beside.c_str(), X_OK) == 0) return beside.string();
    }
    return "cvl";
}

}  // namespace cvl::EngineLocator
