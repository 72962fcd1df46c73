// Runs a child process with pipes: arguments, environment, standard input, captured output,
// standard error delivered in chunks as it arrives, and a time-out that terminates and then
// kills the child.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"

namespace cvl {

struct ProcessSpec {
    std::string program;                     // absolute path, or a name looked up in PATH
    std::vector<std::string> args;           // arguments after the program (argv[1...])
    bool inheritEnvironment = true;          // start from this process's environment
    std::map<std::string, std::string> env;  // set (or override) these variables
    std::string workingDir;                  // empty: the current folder
    std::optional<std::string> input;        // written to standard input, then closed
    std::optional<std::chrono::milliseconds> timeout;
    std::chrono::milliseconds killGrace{2000};       // between SIGTERM and SIGKILL
    std::function<void(std::string_view)> onStderr;  // error output, chunk by chunk
    std::function<void(std::string_view)> onStdout;  // output, chunk by chunk (still captured)
};

struct ProcessResult {
    bool launched = false;
    std::string launchError;  // why the process could not start
    int exitStatus = -1;      // exit code when it exited normally
    int signal = 0;           // the terminating signal, when it was killed
    bool timedOut = false;
    std::string out;
    std::string err;

    bool succeeded() const { return launched && signal == 0 && exitStatus == 0; }
};

// Runs the process to its end on the calling thread.
ProcessResult runProcess(const ProcessSpec& spec);

// Starts the process and returns at once; a thread of its own waits for it, and `onExit`
// (optional) receives the result on that thread.
void spawnProcess(ProcessSpec spec, std::function<void(ProcessResult)> onExit = {});

// Starts the process in a session of its own, with standard input, output and error on the
// null device and "/" as its folder (unless `workingDir` is set), so that it outlives this
// process. Only program, args, env and workingDir are used. Returns its process id; a thread
// reaps it if it ends while this process still runs.
Result<int> spawnDetached(const ProcessSpec& spec);

}  // namespace cvl
