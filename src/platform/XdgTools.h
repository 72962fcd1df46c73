// The desktop's own tools for file types, default applications and mail, run as child
// processes: xdg-mime and xdg-email (xdg-utils), and programs found on PATH.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl::XdgTools {

// The full path of a program found in PATH; none when it is not there.
std::optional<std::string> findProgram(const std::string& name);

// The MIME type of a file as the desktop sees it ("application/pdf"); none when unknown.
std::optional<std::string> fileMimeType(const std::string& path);
// The desktop entry ("org.gnome.Evince.desktop") that opens the type by default; none when the
// desktop names none.
std::optional<std::string> defaultApp(const std::string& mimeType);
// Makes the desktop entry the default for each type.
Status setDefaultApp(const std::string& desktopId, const std::vector<std::string>& mimeTypes);

// Whether the desktop names a mail program for mailto: addresses.
bool mailClientConfigured();
// Opens a new mail in the desktop's mail program with the file attached.
Status composeMailWithAttachment(const std::string& subject, const std::string& attachment);

// Starts a program and lets it run on its own; a failure to start is the failure.
Status launchDetached(const std::string& program, const std::vector<std::string>& args);

}  // namespace cvl::XdgTools
