#include "platform/SysLog.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace cvl {
namespace {

std::mutex gSinkMutex;
std::function<void(const std::string&)> gSink;

void emit(const char* prefix, const char* format, va_list args) {
    char buf[4096];
    std::vsnprintf(buf, sizeof buf, format, args);
    std::string line = std::string(prefix) + buf;
    std::lock_guard lock(gSinkMutex);
    if (gSink) {
        gSink(line);
        return;
    }
    ::syslog(LOG_NOTICE, "%s", line.c_str());
}

}  // namespace

void cvlLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    emit("[cvl] ", format, args);
    va_end(args);
}

void cvlLogWithPrefix(const char* prefix, const char* format, ...) {
    va_list args;
    va_start(args, format);
    emit(prefix, format, args);
    va_end(args);
}

void setLogSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(gSinkMutex);
    gSink = std::move(sink);
}

}  // namespace cvl
