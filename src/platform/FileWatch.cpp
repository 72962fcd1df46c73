#include "platform/FileWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFileEvents =
    IN_MODIFY | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF | IN_ATTRIB;
constexpr uint32_t kTreeEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE |
                                 IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

class InotifyWatch : public FileWatch {
  public:
    InotifyWatch() : alive_(std::make_shared<std::atomic<bool>>(true)) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        stopFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~InotifyWatch() override {
        alive_->store(false);
        if (stopFd_ >= 0) {
            uint64_t one = 1;
            (void)!::write(stopFd_, &one, sizeof one);
        }
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
        if (stopFd_ >= 0) ::close(stopFd_);
    }
    bool ok() const { return fd_ >= 0 && stopFd_ >= 0; }
    int fd() const { return fd_; }

    // Reads events until stopped. `handle` sees each batch of raw events; `quiet` is how
    // long to keep collecting before one delivery.
    void run(std::function<bool(const inotify_event&)> handle, std::chrono::milliseconds quiet,
             std::function<void()> deliver) {
        thread_ =
            std::thread([this, handle = std::move(handle), quiet, deliver = std::move(deliver)] {
                bool pending = false;
                auto due = std::chrono::steady_clock::now();
                alignas(inotify_event) char buf[8192];
                for (;;) {
                    int timeout = -1;
                    if (pending) {
                        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            due - std::chrono::steady_clock::now());
                        timeout = static_cast<int>(std::max<long long>(0, left.count()));
                    }
                    pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
                    int n = ::poll(fds, 2, timeout);
                    if (fds[1].revents) return;
                    if (n > 0 && (fds[0].revents & POLLIN)) {
                        ssize_t len;
                        bool stop = false;
                        while ((len = ::read(fd_, buf, sizeof buf)) > 0) {
                            for (char* p = buf; p < buf + len;) {
                                auto* ev = reinterpret_cast<inotify_event*>(p);
                                if (!handle(*ev)) stop = true;
                                p += sizeof(inotify_event) + ev->len;
                            }
                        }
                        if (!pending) due = std::chrono::steady_clock::now() + quiet;
                        pending = true;
                        if (stop) {
                            deliver();
                            return;
                        }
                    }
                    if (pending && std::chrono::steady_clock::now() >= due) {
                        pending = false;
                        deliver();
                    }
                }
            });
    }

    // Posts `call` to the main queue, dropped when the watch has gone meanwhile.
    void post(std::function<void()> call) {
        Dispatch::main().async([alive = alive_, call = std::move(call)] {
            if (alive->load()) call();
        });
    }

  private:
    int fd_ = -1;
    int stopFd_ = -1;
    std::shared_ptr<std::atomic<bool>> alive_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<FileWatch> FileWatch::watchFile(const std::string& path,
                                                std::function<void(bool gone)> onEvent) {
    auto watch = std::make_unique<InotifyWatch>();
    if (!watch->ok() || ::inotify_add_watch(watch->fd(), path.c_str(), kFileEvents) < 0)
        return nullptr;
    auto gone = std::make_shared<std::atomic<bool>>(false);
    InotifyWatch* raw = watch.get();
    auto callback = std::make_shared<std::function<void(bool)>>(std::move(onEvent));
    raw->run(
        [gone](const inotify_event& ev) {
            if (ev.mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED)) {
                gone->store(true);
                return false;
            }
            return true;
        },
        std::chrono::milliseconds(50),
        [raw, gone, callback] { raw->post([gone, callback] { (*callback)(gone->load()); }); });
    return watch;
}

std::unique_ptr<FileWatch> FileWatch::watchTrees(const std::vector<std::string>& paths,
                                                 std::function<void()> onEvents) {
    auto watch = std::make_unique<InotifyWatch>();
    if (!watch->ok()) return nullptr;
    std::set<std::string> roots;
    for (const auto& p : paths) {
        if (isDirectory(p))
            roots.insert(p);
        else if (pathExists(p))
            roots.insert(parentPath(p));
    }
    // Folder of each watch descriptor, so that new sub-folders can be watched as they appear.
    auto dirs = std::make_shared<std::map<int, std::string>>();
    const int fd = watch->fd();
    auto addDir = [fd, dirs](const std::string& dir) {
        int wd = ::inotify_add_watch(fd, dir.c_str(), kTreeEvents);
        if (wd >= 0) (*dirs)[wd] = dir;
        return wd >= 0;
    };
    auto addTree = [addDir](const std::string& root) {
        if (!addDir(root)) return false;
        std::error_code ec;
        for (fs::recursive_directory_iterator
                 it(root, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) addDir(it->path().string());
        }
        return true;
    };
    int added = 0;
    for (const auto& root : roots)
        if (addTree(root)) ++added;
    if (added == 0) return nullptr;
    InotifyWatch* raw = watch.get();
    auto callback = std::make_shared<std::function<void()>>(std::move(onEvents));
    raw->run(
        [dirs, addTree](const inotify_event& ev) {
            if ((ev.mask & IN_ISDIR) && (ev.mask & (IN_CREATE | IN_MOVED_TO)) && ev.len > 0) {
                auto it = dirs->find(ev.wd);
                if (it != dirs->end()) addTree(it->second + "/" + ev.name);
            }
            return true;
        },
        std::chrono::milliseconds(500),
        [raw, callback] { raw->post([callback] { (*callback)(); }); });
    return watch;
}

}  // namespace cvl
