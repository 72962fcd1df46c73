// One line per event to the system log, prefixed "[cvl] ".
#pragma once

#include <functional>
#include <string>

namespace cvl {

void cvlLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs with another prefix (the updater uses "[ZKUpdate] ").
void cvlLogWithPrefix(const char* prefix, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Tests observe log lines (with their prefix) through a sink; an empty sink restores syslog.
void setLogSink(std::function<void(const std::string&)> sink);

}  // namespace cvl
