#include "service/server/SettingsServer.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <queue>
#include <unordered_map>

#include "service/server/ConnectionMachine.h"
#include "service/server/SettingsRoutes.h"
#include "service/server/SettingsStore.h"
#include "service/server/WorkerPool.h"

namespace mojian::service {

namespace {

using Clock = std::chrono::steady_clock;

// What epoll tells apart: the wake-up, the listener, then connections by
// their id, so a reused descriptor never gets another connection's events.
constexpr std::uint64_t kWakeEvent = 0, kListenerEvent = 1, kFirstConnection = 2;
// Accepting pauses this long when the process runs out of descriptors.
constexpr std::chrono::milliseconds kOutOfDescriptorsPause{100};
constexpr std::size_t kReadChunk = 16384;

struct FdCloser {
    int fd = -1;
    explicit FdCloser(int f = -1) : fd(f) {}
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    void Reset(int f = -1) {
        if (fd >= 0) close(fd);
        fd = f;
    }
};

// Tells a client over its share so at once and hangs up. What it has sent
// so far is read first: closing on unread bytes would reset the connection
// and could take the answer with it.
void RefuseAtOnce(int fd) {
    const std::string answer =
        SerializeResponse(ErrorAnswer(503, "too many connections"), false, false, 1, std::time(nullptr));
    [[maybe_unused]] const ssize_t n = send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(fd, SHUT_WR);
    char scratch[kReadChunk];
    while (recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
    close(fd);
}

void Wake(int eventFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(eventFd, &one, sizeof one);
}

}  // namespace

class SettingsServer::Loop {
public:
    Loop(SettingsReader& reader, const ServerLimits& limits, LogSink log)
        : reader_(reader),
          limits_(limits),
          log_(std::move(log)),
          clients_(limits.perClient),
          machine_(ConnectionRules(limits), clients_) {
        if (limits_.threads == 0) limits_.threads = 1;
        if (limits_.maxConnections == 0) limits_.maxConnections = 1;
        epoll_.fd = epoll_create1(EPOLL_CLOEXEC);
        wake_.fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }

    bool Bind(const std::string& host, int port, std::string& error);
    int Port() const { return port_; }
    bool Run();
    void Stop() {
        stopRequested_ = true;
        Wake(wake_.fd);
    }
    ServerStats Stats() const;

private:
    // What the loop keeps of a connection besides the machine's state.
    struct Connection {
        explicit Connection(ConnectionState s) : state(std::move(s)) {}
        int fd = -1;
        std::uint64_t id = 0;          // unique for the life of the server; descriptors are reused
        ClientKey key;
        ConnectionState state;
        std::uint32_t watched = 0;     // the epoll events asked for
        Clock::time_point timerAt = Clock::time_point::max();
    };

    struct Timer {
        Clock::time_point at;
        std::uint64_t id;
        bool operator>(const Timer& o) const { return at > o.at; }
    };

    static ConnectionLimits ConnectionRules(const ServerLimits& limits) {
        ConnectionLimits rules;
        rules.request = limits.request;
        rules.requestTimeout = limits.requestTimeout;
        rules.keepAliveTimeout = limits.keepAliveTimeout;
        rules.writeTimeout = limits.writeTimeout;
        rules.maxRequestsPerConnection = limits.maxRequestsPerConnection;
        rules.trustedProxies = limits.trustedProxies;
        return rules;
    }

    void Log(LogLevel level, const std::string& text) const {
        if (log_) log_(level, text);
    }

    // The I/O thread.
    void AcceptAll(Clock::time_point now);
    void SetListening(bool on);
    void OnEvent(Connection& c, std::uint32_t events, Clock::time_point now);
    bool Carry(Connection& c, ConnectionActions a, Clock::time_point now);
    void Tally(const ConnectionActions& a);
    void Close(Connection& c);
    void Watch(Connection& c, std::uint32_t events);
    void ExpireTimers(Clock::time_point now);
    void TakeFinishedAnswers(Clock::time_point now);
    void BeginStopping(Clock::time_point now);
    void Report(bool force);

    // On the workers.
    HttpResponse Respond(const HttpRequest& request);
    std::optional<SettingsRecord> ReadRecord();

    SettingsReader& reader_;
    ServerLimits limits_;
    LogSink log_;
    FdCloser epoll_, wake_, listener_;
    int port_ = -1;

    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> timers_;
    ClientTable clients_;
    ConnectionMachine machine_;
    std::uint64_t nextId_ = kFirstConnection;
    bool listening_ = false;      // the listener is watched
    bool atCap_ = false;
    Clock::time_point acceptPausedUntil_{};
    bool stopping_ = false;
    Clock::time_point drainUntil_{};

    std::atomic<bool> stopRequested_{false};
    std::unique_ptr<WorkerPool> workers_;
    std::atomic<int> recordState_{0};  // 1 readable, -1 not, 0 not read yet

    // Statistics: written by the I/O thread, read from anywhere.
    std::atomic<std::size_t> open_{0}, peak_{0};
    std::atomic<std::uint64_t> accepted_{0}, answered_{0}, refusedCap_{0}, refusedRate_{0}, timedOut_{0},
        badRequests_{0}, capReached_{0};
    ServerStats lastReport_;
    std::string lastOffender_;
    Clock::time_point nextReport_{};
};

bool SettingsServer::Loop::Bind(const std::string& host, int port, std::string& error) {
    if (epoll_.fd < 0 || wake_.fd < 0) {
        error = std::string("epoll: ") + std::strerror(errno);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        error = host + ": " + gai_strerror(rc);
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    FdCloser fd(socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    if (fd.fd < 0 || setsockopt(fd.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd.fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd.fd, limits_.backlog) != 0) {
        error = host + ":" + service + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    getsockname(fd.fd, reinterpret_cast<sockaddr*>(&bound), &len);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    listener_.Reset(fd.fd);
    fd.fd = -1;
    return true;
}

ServerStats SettingsServer::Loop::Stats() const {
    ServerStats s;
    s.openConnections = open_;
    s.peakConnections = peak_;
    s.accepted = accepted_;
    s.answered = answered_;
    s.refusedOverClientCap = refusedCap_;
    s.refusedOverRate = refusedRate_;
    s.timedOut = timedOut_;
    s.badRequests = badRequests_;
    s.capReached = capReached_;
    return s;
}

bool SettingsServer::Loop::Run() {
    if (listener_.fd < 0) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeEvent;
    if (epoll_ctl(epoll_.fd, EPOLL_CTL_ADD, wake_.fd, &ev) != 0) return false;
    ev.data.u64 = kListenerEvent;
    ev.events = 0;
    if (epoll_ctl(epoll_.fd, EPOLL_CTL_ADD, listener_.fd, &ev) != 0) return false;
    SetListening(true);
    workers_ = std::make_unique<WorkerPool>(
        limits_.threads, [this](const HttpRequest& r) { return Respond(r); }, [this] { Wake(wake_.fd); });

    nextReport_ = Clock::now() + limits_.reportInterval;
    Clock::time_point nextSweep = Clock::now() + std::chrono::seconds(1);
    epoll_event events[256];
    bool ok = true;
    for (;;) {
        Clock::time_point now = Clock::now();
        if (stopping_ && (connections_.empty() || now >= drainUntil_)) break;
        Clock::time_point wakeAt = std::min(nextSweep, nextReport_);
        if (!timers_.empty()) wakeAt = std::min(wakeAt, timers_.top().at);
        if (stopping_) wakeAt = std::min(wakeAt, drainUntil_);
        if (!listening_ && !atCap_ && !stopping_) wakeAt = std::min(wakeAt, acceptPausedUntil_);
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
        const int n = epoll_wait(epoll_.fd, events, 256, static_cast<int>(std::clamp<long long>(waitMs, 0, 60000)));
        if (n < 0 && errno != EINTR) {
            Log(LogLevel::Error, std::string("epoll_wait: ") + std::strerror(errno));
            ok = false;
            break;
        }
        now = Clock::now();
        for (int i = 0; i < n; ++i) {
            const std::uint64_t id = events[i].data.u64;
            if (id == kWakeEvent) {
                std::uint64_t count;
                [[maybe_unused]] const ssize_t r = read(wake_.fd, &count, sizeof count);
                if (stopRequested_ && !stopping_) BeginStopping(now);
                TakeFinishedAnswers(now);
            } else if (id == kListenerEvent) {
                AcceptAll(now);
            } else if (const auto it = connections_.find(id); it != connections_.end()) {
                OnEvent(*it->second, events[i].events, now);
            }
        }
        ExpireTimers(now);
        if (!listening_ && !atCap_ && !stopping_ && now >= acceptPausedUntil_) SetListening(true);
        if (now >= nextSweep) {
            clients_.Forget(now);
            nextSweep = now + std::chrono::seconds(1);
        }
        if (now >= nextReport_) {
            Report(false);
            nextReport_ = now + limits_.reportInterval;
        }
    }

    // Whatever is left after the drain time is cut off.
    while (!connections_.empty()) Close(*connections_.begin()->second);
    workers_.reset();
    Report(true);
    if (stopping_) Log(LogLevel::Info, "stopped");
    return ok;
}

void SettingsServer::Loop::SetListening(bool on) {
    if (listening_ == on || listener_.fd < 0) return;
    epoll_event ev{};
    ev.events = on ? std::uint32_t{EPOLLIN} : 0u;
    ev.data.u64 = kListenerEvent;
    epoll_ctl(epoll_.fd, EPOLL_CTL_MOD, listener_.fd, &ev);
    listening_ = on;
}

void SettingsServer::Loop::AcceptAll(Clock::time_point now) {
    // Every waiting connection is taken at once, up to the cap: a queue left
    // to overflow in the kernel drops handshakes the client believes done,
    // and their requests are never answered.
    while (open_ < limits_.maxConnections) {
        sockaddr_storage from{};
        socklen_t len = sizeof from;
        const int fd = accept4(listener_.fd, reinterpret_cast<sockaddr*>(&from), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                Log(LogLevel::Warning, std::string("accept: ") + std::strerror(errno) + "; pausing");
                SetListening(false);
                acceptPausedUntil_ = now + kOutOfDescriptorsPause;
            }
            return;
        }
        ++accepted_;
        const IpAddress peer = IpAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&from)).value_or(IpAddress{});
        const ClientKey key = ClientKey::Of(peer);
        // A load balancer carries many clients on its connections: only the
        // overall cap applies to it.
        const bool counted = !IsTrusted(peer, limits_.trustedProxies);
        if (counted && !clients_.OpenConnection(key, now)) {
            ++refusedCap_;
            lastOffender_ = key.ToString();
            RefuseAtOnce(fd);
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // answers go out at once
        auto c = std::make_unique<Connection>(machine_.Open(peer, counted, now));
        c->fd = fd;
        c->id = nextId_++;
        c->key = key;
        c->watched = EPOLLIN | EPOLLRDHUP;
        epoll_event ev{};
        ev.events = c->watched;
        ev.data.u64 = c->id;
        if (epoll_ctl(epoll_.fd, EPOLL_CTL_ADD, fd, &ev) != 0) {
            if (counted) clients_.CloseConnection(key);
            close(fd);
            continue;
        }
        Connection& added = *(connections_[c->id] = std::move(c));
        peak_ = std::max<std::size_t>(peak_, ++open_);
        Carry(added, machine_.Opened(added.state), now);
    }
    // At the cap: newcomers wait in the backlog until a connection ends.
    if (!atCap_) ++capReached_;
    atCap_ = true;
    SetListening(false);
}

void SettingsServer::Loop::Watch(Connection& c, std::uint32_t events) {
    if (c.watched == events) return;
    c.watched = events;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = c.id;
    epoll_ctl(epoll_.fd, EPOLL_CTL_MOD, c.fd, &ev);
}

void SettingsServer::Loop::OnEvent(Connection& c, std::uint32_t events, Clock::time_point now) {
    // An error or hang-up still reports while nothing is read; the answer
    // being made or written then has nobody to go to.
    if (!(c.watched & EPOLLIN) && (events & (EPOLLERR | EPOLLHUP))) {
        Carry(c, machine_.PeerClosed(c.state), now);
        return;
    }
    if ((c.watched & EPOLLOUT) && (events & EPOLLOUT) && !Carry(c, machine_.Written(c.state, 0, now), now)) return;
    if (!(c.watched & EPOLLIN) || !(events & ~std::uint32_t{EPOLLOUT})) return;
    char buf[kReadChunk];
    const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n > 0) {
        Carry(c, machine_.Received(c.state, std::string_view(buf, static_cast<std::size_t>(n)), now), now);
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        Carry(c, machine_.PeerClosed(c.state), now);  // the client is gone, or gave up halfway
    }
}

// Does what the machine asked, feeding back what writing achieved; false
// once the connection is closed (and `c` gone).
bool SettingsServer::Loop::Carry(Connection& c, ConnectionActions a, Clock::time_point now) {
    for (;;) {
        Tally(a);
        if (a.work) workers_->Submit(c.id, std::move(*a.work));
        if (a.close) {
            Close(c);
            return false;
        }
        if (a.halfClose) shutdown(c.fd, SHUT_WR);
        if (a.write) {
            const ssize_t n = send(c.fd, c.state.out.data(), c.state.out.size(), MSG_NOSIGNAL);
            if (n > 0 || (n < 0 && errno == EINTR)) {
                a = machine_.Written(c.state, n > 0 ? static_cast<std::size_t>(n) : 0, now);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                a = machine_.PeerClosed(c.state);
                continue;
            }
        }
        Watch(c, (a.read ? EPOLLIN | EPOLLRDHUP : 0u) | (a.write ? std::uint32_t{EPOLLOUT} : 0u));
        if (a.deadline != c.timerAt) {
            c.timerAt = a.deadline;
            if (a.deadline != Clock::time_point::max()) timers_.push({a.deadline, c.id});
        }
        return true;
    }
}

void SettingsServer::Loop::Tally(const ConnectionActions& a) {
    if (a.answered) ++answered_;
    if (a.timedOut) ++timedOut_;
    if (a.badRequest) ++badRequests_;
    if (a.overRate) {
        ++refusedRate_;
        lastOffender_ = a.offender;
    }
}

void SettingsServer::Loop::Close(Connection& c) {
    epoll_ctl(epoll_.fd, EPOLL_CTL_DEL, c.fd, nullptr);
    close(c.fd);
    if (c.state.counted) clients_.CloseConnection(c.key);
    connections_.erase(c.id);  // c is gone from here on
    --open_;
    if (atCap_ && open_ < limits_.maxConnections) {
        atCap_ = false;
        if (!stopping_) SetListening(true);
    }
}

void SettingsServer::Loop::ExpireTimers(Clock::time_point now) {
    while (!timers_.empty() && timers_.top().at <= now) {
        const Timer t = timers_.top();
        timers_.pop();
        const auto it = connections_.find(t.id);
        // A timer outlived by a newer deadline, or by its connection, is stale.
        if (it == connections_.end() || it->second->timerAt != t.at) continue;
        Carry(*it->second, machine_.DeadlineCame(it->second->state, now), now);
    }
}

void SettingsServer::Loop::TakeFinishedAnswers(Clock::time_point now) {
    for (WorkerPool::Done& d : workers_->TakeFinished()) {
        const auto it = connections_.find(d.connection);
        if (it != connections_.end()) Carry(*it->second, machine_.Answered(it->second->state, d.response, now), now);
    }
}

void SettingsServer::Loop::BeginStopping(Clock::time_point now) {
    stopping_ = true;
    drainUntil_ = now + limits_.drainTimeout;
    // New connections are refused from here on.
    if (listener_.fd >= 0) {
        epoll_ctl(epoll_.fd, EPOLL_CTL_DEL, listener_.fd, nullptr);
        listener_.Reset();
        listening_ = false;
    }
    machine_.BeginStopping();
    std::size_t inFlight = 0;
    std::vector<Connection*> idle;
    for (const auto& [id, c] : connections_) {
        if (ConnectionMachine::Idle(c->state)) idle.push_back(c.get());
        else if (ConnectionMachine::InFlight(c->state)) ++inFlight;
    }
    for (Connection* c : idle) Close(*c);
    Log(LogLevel::Info, "stopping: " + std::to_string(inFlight) + " requests in flight, new connections refused");
}

void SettingsServer::Loop::Report(bool force) {
    const ServerStats now = Stats();
    const auto delta = [](std::uint64_t a, std::uint64_t b) { return std::to_string(a - b); };
    const bool refusals = now.refusedOverClientCap != lastReport_.refusedOverClientCap ||
                          now.refusedOverRate != lastReport_.refusedOverRate || now.timedOut != lastReport_.timedOut ||
                          now.badRequests != lastReport_.badRequests || now.capReached != lastReport_.capReached;
    if (refusals) {
        Log(LogLevel::Warning,
            "since the last report: " + delta(now.refusedOverClientCap, lastReport_.refusedOverClientCap) +
                " connections refused over a client's share, " +
                delta(now.refusedOverRate, lastReport_.refusedOverRate) + " requests over a client's rate, " +
                delta(now.timedOut, lastReport_.timedOut) + " requests timed out, " +
                delta(now.badRequests, lastReport_.badRequests) + " bad requests, overall cap reached " +
                delta(now.capReached, lastReport_.capReached) + " times" +
                (lastOffender_.empty() ? std::string() : "; last refused client " + lastOffender_));
    }
    if (refusals || force)
        Log(LogLevel::Info, std::to_string(now.answered) + " answers so far; " + std::to_string(now.openConnections) +
                                " connections open, at most " + std::to_string(now.peakConnections));
    lastReport_ = now;
    lastOffender_.clear();
}

HttpResponse SettingsServer::Loop::Respond(const HttpRequest& request) {
    try {
        return AnswerRequest(request, [this] { return ReadRecord(); });
    } catch (const std::exception& e) {
        Log(LogLevel::Error, std::string("answering a request: ") + e.what());
        return ErrorAnswer(500, "internal error");
    }
}

std::optional<SettingsRecord> SettingsServer::Loop::ReadRecord() {
    std::string why;
    auto record = reader_.Read(&why);
    // Said once when the record becomes unreadable and once when it is back.
    const int state = record ? 1 : -1;
    if (recordState_.exchange(state) != state) {
        if (record) Log(LogLevel::Info, "the record can be read: version " + record->version);
        else Log(LogLevel::Error, "the record cannot be read: " + why);
    }
    return record;
}

SettingsServer::SettingsServer(SettingsReader& reader, const ServerLimits& limits, LogSink log)
    : loop_(std::make_unique<Loop>(reader, limits, std::move(log))) {}

SettingsServer::~SettingsServer() = default;

bool SettingsServer::Bind(const std::string& host, int port, std::string* error) {
    std::string why;
    const bool ok = loop_->Bind(host, port, why);
    if (!ok && error) *error = why;
    return ok;
}

int SettingsServer::Port() const { return loop_->Port(); }
bool SettingsServer::Run() { return loop_->Run(); }
void SettingsServer::Stop() { loop_->Stop(); }
ServerStats SettingsServer::Stats() const { return loop_->Stats(); }

}  // namespace mojian::service
