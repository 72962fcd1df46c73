// Where each engine file is found: the user's override folder wins when the file exists
// there (checked at every call, nothing cached), else the packaged copy in the resource folder.
#pragma once

#include <string>

namespace cvl::EngineLocator {

// The override path under UserDirs::engineOverrideDir() when it exists, else resource folder +
// packaged suffix (the suffix alone when the resource folder is empty).
std::string locate(const std::string& overrideRelative, const std::string& packagedSuffix);

std::string engineLauncher();
std::string panelPy();
std::string triageGenPy();
std::string corvelloDiffPy();
std::string readerHTMLPath();
std::string gridHTMLPath();
std::string timelineHTMLPath();
std::string groupWriterHTMLPath();
std::string campaignsHTMLPath();
std::string batesHTMLPath();
std::string historyHTMLPath();
std::string organizeHTMLPath();
std::string mcpServerPy();
std::string iconVariantsDir();
std::string welcomeJSPath();
std::string redactHTMLPath();
std::string signHTMLPath();

// A script that sits next to the launcher ("corvello_organize.py", "corvello_ai.py", ...).
std::string launcherSibling(const std::string& scriptName);

// "/usr/bin/python3" when it exists, else "/opt/homebrew/bin/python3" (organizer, campaign
// and AI runs; panels and conversions always use "/usr/bin/python3").
std::string engineInterpreter();

// The headless companion `cvl` that engine scripts call for text and file work: the one
// beside the running program, else "cvl" (found on PATH). Scripts get it as CVL_CLI.
std::string cvlCompanion();

}  // namespace cvl::EngineLocator
