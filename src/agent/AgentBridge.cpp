#include "agent/AgentBridge.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <future>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "agent/AgentEndpoints.h"
#include "agent/AgentHttp.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/SysLog.h"
#include "platform/UserDirs.h"

namespace cvl {
namespace {

Dispatch::Queue& netQueue() {
    return Dispatch::serial("agent bridge");
}

std::string newToken() {
    std::string token;
    for (int i = 0; i < 2; ++i)
        for (char c : newUuid())
            if (c != '-') token += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return token;
}

std::string isoNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

// Writes all of `data` to a socket, waiting while it is full; gives up after ten seconds
// without progress.
void sendAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 10000) <= 0) return;
            continue;
        }
        return;
    }
}

}  // namespace

// At most this many connections are read at once, and as many wait for their answer.
constexpr size_t kMaxConnections = 64;
// A connection that has not sent its whole request head by then is closed.
constexpr auto kHeadTimeout = std::chrono::seconds(5);
constexpr auto kAcceptBackoff = std::chrono::milliseconds(250);

// Everything the serial queue works on: the listening socket, connections still being
// read, and connections waiting for their answer. Owned jointly by the bridge and the
// queue's pump task, so a stopping bridge never pulls state from under a running task.
struct AgentBridge::Net {
    int listenFd = -1;
    int wakeFd = -1;
    int port = 0;
    bool stopping = false;
    std::string token;
    AgentEndpoints::Context context;
    std::map<int, std::string> reading;                          // fd -> bytes so far
    std::map<int, std::chrono::steady_clock::time_point> since;  // fd -> when it was accepted
    // Accepting pauses after the process ran out of descriptors, so the loop does not spin on
    // a listener that stays readable.
    std::chrono::steady_clock::time_point acceptAfter{};
    std::mutex answeredLock;
    std::map<int, bool> waiting;  // fd -> answered
    std::promise<void> stopped;

    ~Net() {
        for (auto& [fd, buf] : reading) ::close(fd);
        for (auto& [fd, answered] : waiting) ::close(fd);
        if (listenFd >= 0) ::close(listenFd);
        if (wakeFd >= 0) ::close(wakeFd);
    }

    void wake() {
        uint64_t one = 1;
        if (wakeFd >= 0) (void)!::write(wakeFd, &one, sizeof one);
    }

    static void pump(const std::shared_ptr<Net>& self) {
        Net& n = *self;
        if (n.stopping) {
            n.shutDown();
            return;
        }
        n.dropIdle();
        std::vector<pollfd> fds;
        fds.push_back({n.wakeFd, POLLIN, 0});
        // Connections beyond the cap wait in the listener's backlog.
        const bool accepting =
            n.waitingCount() < kMaxConnections && std::chrono::steady_clock::now() >= n.acceptAfter;
        fds.push_back({accepting ? n.listenFd : -1, POLLIN, 0});
        for (auto& [fd, buf] : n.reading) fds.push_back({fd, POLLIN, 0});
        int ready = ::poll(fds.data(), fds.size(), accepting ? 500 : 100);
        if (ready > 0) {
            if (fds[0].revents & POLLIN) {
                uint64_t count;
                (void)!::read(n.wakeFd, &count, sizeof count);
            }
            if (fds[1].revents & POLLIN) n.acceptAll();
            for (size_t i = 2; i < fds.size(); ++i)
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) n.readFrom(self, fds[i].fd);
        }
        netQueue().async([self] { pump(self); });
    }

    size_t waitingCount() {
        std::lock_guard guard(answeredLock);
        return waiting.size();
    }

    // Accepts what the listener holds. Connections still sending their head are capped: the
    // oldest of them gives way to a new one, so silent connections cannot keep a real request
    // out. Requests being answered are capped too; beyond that, new ones wait in the backlog.
    void acceptAll() {
        while (waitingCount() < kMaxConnections) {
            int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    acceptAfter = std::chrono::steady_clock::now() + kAcceptBackoff;
                return;
            }
            if (reading.size() >= kMaxConnections) {
                auto oldest = std::min_element(
                    since.begin(), since.end(),
                    [](const auto& a, const auto& b) { return a.second < b.second; });
                ::close(oldest->first);
                reading.erase(oldest->first);
                since.erase(oldest);
            }
            reading[fd] = std::string();
            since[fd] = std::chrono::steady_clock::now();
        }
    }

    // Closes connections whose request head has not arrived in time.
    void dropIdle() {
        const auto now = std::chrono::steady_clock::now();
        for (auto it = reading.begin(); it != reading.end();) {
            if (now - since[it->first] < kHeadTimeout) {
                ++it;
                continue;
            }
            ::close(it->first);
            since.erase(it->first);
            it = reading.erase(it);
        }
    }

    void forget(int fd) {
        reading.erase(fd);
        since.erase(fd);
    }

    void readFrom(const std::shared_ptr<Net>& self, int fd) {
        auto it = reading.find(fd);
        if (it == reading.end()) return;
        char chunk[AgentHttp::kReadChunk];
        ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        if (got <= 0) {
            // A receive error, or the peer finished before the head ended: no answer.
            ::close(fd);
            forget(fd);
            return;
        }
        it->second.append(chunk, static_cast<size_t>(got));
        switch (AgentHttp::headState(it->second)) {
            case AgentHttp::HeadState::incomplete:
                return;
            case AgentHttp::HeadState::tooLong:
                ::close(fd);
                forget(fd);
                return;
            case AgentHttp::HeadState::complete:
                break;
        }
        std::string head = std::move(it->second);
        forget(fd);
        {
            std::lock_guard guard(answeredLock);
            waiting[fd] = false;
        }
        handle(self, fd, head);
    }

    static void handle(const std::shared_ptr<Net>& self, int fd, const std::string& head) {
        std::weak_ptr<Net> weak = self;
        AgentEndpoints::Respond respond = [weak, fd](int status, const std::string& body) {
            auto net = weak.lock();
            if (!net) return;
            std::string response = AgentHttp::formatResponse(status, body);
            netQueue().async([weak, fd, response] {
                auto n = weak.lock();
                if (!n) return;
                std::lock_guard guard(n->answeredLock);
                auto it = n->waiting.find(fd);
                if (it == n->waiting.end() || it->second) return;
                it->second = true;
                sendAll(fd, response);
                ::shutdown(fd, SHUT_WR);
                ::close(fd);
                n->waiting.erase(it);
            });
            net->wake();
        };
        auto parsed = AgentHttp::parseRequest(head, self->token);
        if (parsed.rejection) {
            respond(parsed.rejection->status,
                    nlohmann::json{{"ok", false}, {"error", parsed.rejection->error}}.dump());
            return;
        }
        AgentEndpoints::handle(self->context, *parsed.request, respond);
    }

    void shutDown() {
        for (auto& [fd, buf] : reading) ::close(fd);
        reading.clear();
        since.clear();
        {
            std::lock_guard guard(answeredLock);
            for (auto& [fd, answered] : waiting) ::close(fd);
            waiting.clear();
        }
        if (listenFd >= 0) ::close(listenFd);
        listenFd = -1;
        stopped.set_value();
    }
};

AgentBridge::AgentBridge() : token_(newToken()) {}

AgentBridge::~AgentBridge() {
    stop();
}

AgentBridge& AgentBridge::shared() {
    static AgentBridge bridge;
    return bridge;
}

std::string AgentBridge::discoveryPath() {
    return UserDirs::supportDir() + "/agent_bridge.json";
}

bool AgentBridge::running() const {
    return net_ != nullptr;
}

int AgentBridge::port() const {
    return net_ ? net_->port : 0;
}

bool AgentBridge::start(std::weak_ptr<AgentBridgeHost> host, std::shared_ptr<AgentPageWork> work) {
    if (net_) return true;
    auto net = std::make_shared<Net>();
    net->token = token_;
    net->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    net->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (net->listenFd < 0 || net->wakeFd < 0 ||
        ::bind(net->listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(net->listenFd, 64) != 0 ||
        ::getsockname(net->listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        cvlLog("AgentBridge: could not create listener");
        return false;
    }
    net->port = ntohs(addr.sin_port);

    net->context.host = host;
    net->context.work = std::move(work);
    if (auto h = host.lock()) {
        net->context.app = h->appName();
        net->context.version = h->version();
        net->context.build = h->build();
    }

    // The discovery file is readable by the user alone: it carries the token.
    nlohmann::json discovery{{"port", net->port},
                             {"token", token_},
                             {"pid", static_cast<long long>(::getpid())},
                             {"app", net->context.app},
                             {"version", net->context.version},
                             {"build", net->context.build},
                             {"started", isoNow()}};
    makeDirs(UserDirs::supportDir());
    (void)writeFileAtomic(discoveryPath(), discovery.dump(2), 0600);
    cvlLog("AgentBridge: listening on 127.0.0.1:%d", net->port);

    net_ = net;
    netQueue().async([net] { Net::pump(net); });
    return true;
}

void AgentBridge::stop() {
    if (!net_) return;
    auto net = std::move(net_);
    auto done = net->stopped.get_future();
    netQueue().async([net] { net->stopping = true; });
    net->wake();
    done.wait_for(std::chrono::seconds(5));
    ::unlink(discoveryPath().c_str());
}

}  // namespace cvl
