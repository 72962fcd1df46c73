#include "updates/ZKTrace.h"

#include <cstdio>
#include <ctime>
#include <future>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"

namespace cvl {
namespace {
Dispatch::Queue& logQueue() {
    return Dispatch::serial("updater-log");
}
}  // namespace

ZKTrace::ZKTrace(std::string logPath, std::function<void(const std::string&)> echo)
    : path_(std::move(logPath)),
      echo_(std::make_shared<std::function<void(const std::string&)>>(std::move(echo))) {}

std::string ZKTrace::timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

void ZKTrace::operator()(const std::string& message) const {
    std::string line = timestamp() + " app: " + message + "\n";
    logQueue().async([path = path_, line, message, echo = echo_] {
        makeDirs(parentPath(path));
        if (FILE* f = std::fopen(path.c_str(), "a")) {
            std::fputs(line.c_str(), f);
            std::fclose(f);
        }
        if (*echo) (*echo)(message);
    });
}

void ZKTrace::flush() const {
    std::promise<void> done;
    auto written = done.get_future();
    logQueue().async([&done] { done.set_value(); });
    written.wait();
}

}  // namespace cvl
