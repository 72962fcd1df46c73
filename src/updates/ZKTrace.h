// The updater's trace file: one line per event, "yyyy-MM-dd HH:mm:ss app: " + message,
// appended on a serial logging queue. The swap script appends its own " shim: " lines to the
// same file.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace cvl {

class ZKTrace {
  public:
    // `echo` (optional) also receives each message, on the logging queue.
    explicit ZKTrace(std::string logPath, std::function<void(const std::string&)> echo = {});
    const std::string& path() const { return path_; }
    void operator()(const std::string& message) const;
    // Returns once every line traced before the call is written.
    void flush() const;

    // The local time as the trace lines and the swap script write it.
    static std::string timestamp();

  private:
    std::string path_;
    std::shared_ptr<std::function<void(const std::string&)>> echo_;
};

}  // namespace cvl
