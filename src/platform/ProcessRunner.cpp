#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace cvl {
namespace {

using Clock = std::chrono::steady_clock;

// A file descriptor that closes itself.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(o.release()) {}
    Fd& operator=(Fd&& o) noexcept {
        reset(o.release());
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

bool makePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return true;
}

std::vector<std::string> buildEnvironment(const ProcessSpec& spec) {
    std::map<std::string, std::string> vars;
    if (spec.inheritEnvironment) {
        for (char** e = environ; e && *e; ++e) {
            std::string_view kv(*e);
            auto eq = kv.find('=');
            if (eq == std::string_view::npos) continue;
            vars.emplace(std::string(kv.substr(0, eq)), std::string(kv.substr(eq + 1)));
        }
    }
    for (const auto& [k, v] : spec.env) vars[k] = v;
    std::vector<std::string> out;
    out.reserve(vars.size());
    for (const auto& [k, v] : vars) out.push_back(k + "=" + v);
    return out;
}

// Starts spec.program (looked up on PATH when it names no folder) with its arguments and
// environment; the posix_spawn result code.
int spawnProgram(const ProcessSpec& spec, const posix_spawn_file_actions_t& actions,
                 const posix_spawnattr_t& attr, pid_t& pid) {
    std::vector<std::string> argStore;
    argStore.push_back(spec.program);
    argStore.insert(argStore.end(), spec.args.begin(), spec.args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore = buildEnvironment(spec);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    return spec.program.find('/') == std::string::npos
               ? posix_spawnp(&pid, spec.program.c_str(), &actions, &attr, argv.data(), envp.data())
               : posix_spawn(&pid, spec.program.c_str(), &actions, &attr, argv.data(), envp.data());
}

}  // namespace

ProcessResult runProcess(const ProcessSpec& spec) {
    // A child that exits before reading its input must not kill us with SIGPIPE.
    static std::once_flag ignorePipe;
    std::call_once(ignorePipe, [] { ::signal(SIGPIPE, SIG_IGN); });
    ProcessResult result;
    Fd inR, inW, outR, outW, errR, errW;
    if (!makePipe(inR, inW) || !makePipe(outR, outW) || !makePipe(errR, errW)) {
        result.launchError = std::strerror(errno);
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inR.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, outW.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errW.get(), 2);
    if (!spec.workingDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, spec.workingDir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling and its own process group, so that a
    // time-out can stop the whole group.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    int rc = spawnProgram(spec, actions, attr, pid);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        result.launchError = std::strerror(rc);
        return result;
    }
    result.launched = true;
    inR.reset();
    outW.reset();
    errW.reset();

    std::string_view pendingInput = spec.input ? std::string_view(*spec.input) : std::string_view();
    if (!spec.input) inW.reset();
    if (inW.get() >= 0) ::fcntl(inW.get(), F_SETFL, O_NONBLOCK);

    auto start = Clock::now();
    bool termSent = false;
    Clock::time_point termAt;
    char buf[65536];
    while (outR.get() >= 0 || errR.get() >= 0) {
        pollfd fds[3];
        int n = 0;
        int outIdx = -1, errIdx = -1, inIdx = -1;
        if (outR.get() >= 0) fds[outIdx = n++] = {outR.get(), POLLIN, 0};
        if (errR.get() >= 0) fds[errIdx = n++] = {errR.get(), POLLIN, 0};
        if (inW.get() >= 0) fds[inIdx = n++] = {inW.get(), POLLOUT, 0};

        int waitMs = -1;
        if (spec.timeout) {
            auto now = Clock::now();
            if (!termSent && now - start >= *spec.timeout) {
                result.timedOut = true;
                ::kill(-pid, SIGTERM);
                termSent = true;
                termAt = now;
            }
            if (termSent && now - termAt >= spec.killGrace) {
                ::kill(-pid, SIGKILL);
                waitMs = 50;
            } else {
                auto limit = termSent ? termAt + spec.killGrace : start + *spec.timeout;
                waitMs = static_cast<int>(
                             std::chrono::duration_cast<std::chrono::milliseconds>(limit - now)
                                 .count()) +
                         1;
            }
        }
        int pr = ::poll(fds, n, waitMs);
        if (pr < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t w = pendingInput.empty()
                            ? 0
                            : ::write(inW.get(), pendingInput.data(), pendingInput.size());
            if (w > 0) pendingInput.remove_prefix(static_cast<size_t>(w));
            if (pendingInput.empty() || (w < 0 && errno != EAGAIN)) inW.reset();
        }
        auto readInto = [&](Fd& fd, std::string& sink,
                            const std::function<void(std::string_view)>& cb) {
            ssize_t r = ::read(fd.get(), buf, sizeof buf);
            if (r > 0) {
                sink.append(buf, static_cast<size_t>(r));
                if (cb) cb(std::string_view(buf, static_cast<size_t>(r)));
            } else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
                fd.reset();
            }
        };
        if (outIdx >= 0 && (fds[outIdx].revents & (POLLIN | POLLERR | POLLHUP)))
            readInto(outR, result.out, spec.onStdout);
        if (errIdx >= 0 && (fds[errIdx].revents & (POLLIN | POLLERR | POLLHUP)))
            readInto(errR, result.err, spec.onStderr);
    }
    inW.reset();

    int status = 0;
    for (;;) {
        pid_t w = ::waitpid(pid, &status, spec.timeout ? WNOHANG : 0);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) break;
        if (w == 0) {
            // Output is closed but the child lives on: keep enforcing the time-out.
            auto now = Clock::now();
            if (!termSent && now - start >= *spec.timeout) {
                result.timedOut = true;
                ::kill(-pid, SIGTERM);
                termSent = true;
                termAt = now;
            } else if (termSent && now - termAt >= spec.killGrace) {
                ::kill(-pid, SIGKILL);
            }
            ::usleep(10000);
        }
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

void spawnProcess(ProcessSpec spec, std::function<void(ProcessResult)> onExit) {
    // A child that runs for seconds (a conversion, a review run) is waited for on a thread of
    // its own, so it never holds one of the few pool threads that render pages and search.
    std::thread([spec = std::move(spec), onExit = std::move(onExit)] {
        ProcessResult r = runProcess(spec);
        if (onExit) onExit(std::move(r));
    }).detach();
}

Result<int> spawnDetached(const ProcessSpec& spec) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions,
                                         spec.workingDir.empty() ? "/" : spec.workingDir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = 0;
    int rc = spawnProgram(spec, actions, attr, pid);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return Failure{std::strerror(rc)};
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return static_cast<int>(pid);
}

}  // namespace cvl
