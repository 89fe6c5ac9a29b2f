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
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <queue>
#include <thread>
#include <unordered_map>

#include "service/server/SettingsRoutes.h"
#include "service/server/SettingsStore.h"

namespace mojian::service {

namespace {

using Clock = std::chrono::steady_clock;

// After the last answer on a connection the service stops sending and reads
// what the client still sends until it closes, for at most this long: closing
// with unread bytes would reset the connection and could destroy the answer
// before the client has read it.
constexpr std::chrono::milliseconds kLingerTime{2000};
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
        : reader_(reader), limits_(limits), log_(std::move(log)), clients_(limits.perClient) {
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
    enum class Phase { Reading, Working, Writing, Lingering };

    struct Connection {
        explicit Connection(const RequestLimits& limits) : parser(limits) {}
        int fd = -1;
        std::uint64_t id = 0;          // unique for the life of the server; descriptors are reused
        IpAddress peer;
        ClientKey key;
        bool counted = false;          // holds one of its client's connections
        Phase phase = Phase::Reading;
        std::string in;                // received and not yet taken by a request
        std::string out;
        std::size_t sent = 0;
        RequestParser parser;
        bool idle = false;             // kept alive, waiting for the next request to begin
        bool continueSent = false;
        bool keepAlive = false;        // after the answer being made
        bool headOnly = false;
        int minorVersion = 1;
        std::size_t served = 0;
        Clock::time_point waitStart;   // when the service began waiting for the current request
        Clock::time_point deadline = Clock::time_point::max();
    };

    struct Timer {
        Clock::time_point at;
        int fd;
        std::uint64_t id;
        bool operator>(const Timer& o) const { return at > o.at; }
    };

    struct Job {
        int fd;
        std::uint64_t id;
        HttpRequest request;
    };
    struct Done {
        int fd;
        std::uint64_t id;
        HttpResponse response;
    };

    void Log(LogLevel level, const std::string& text) const {
        if (log_) log_(level, text);
    }

    // The I/O thread.
    void AcceptAll(Clock::time_point now);
    void SetListening(bool on);
    void OnEvent(Connection& c, std::uint32_t events, Clock::time_point now);
    void ReadRequest(Connection& c, Clock::time_point now);
    void TakeRequest(Connection& c, Clock::time_point now);
    void Answer(Connection& c, const HttpResponse& response, Clock::time_point now);
    void WriteOut(Connection& c, Clock::time_point now);
    void Linger(Connection& c, Clock::time_point now);
    void OnTimeout(Connection& c, Clock::time_point now);
    void Close(Connection& c);
    void Watch(Connection& c, std::uint32_t events);
    void SetDeadline(Connection& c, Clock::time_point at);
    void ExpireTimers(Clock::time_point now);
    void TakeFinishedAnswers(Clock::time_point now);
    void BeginStopping(Clock::time_point now);
    void Report(bool force);

    // The workers.
    void Work();
    std::optional<SettingsRecord> ReadRecord();

    SettingsReader& reader_;
    ServerLimits limits_;
    LogSink log_;
    FdCloser epoll_, wake_, listener_;
    int port_ = -1;

    std::unordered_map<int, std::unique_ptr<Connection>> connections_;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> timers_;
    ClientTable clients_;
    std::uint64_t nextId_ = 1;
    bool listening_ = false;      // the listener is watched
    bool atCap_ = false;
    Clock::time_point acceptPausedUntil_{};
    bool stopping_ = false;
    Clock::time_point drainUntil_{};

    std::atomic<bool> stopRequested_{false};

    std::mutex jobsMutex_;
    std::condition_variable jobAdded_;
    std::deque<Job> jobs_;
    bool workersStop_ = false;
    std::vector<std::thread> workers_;
    std::mutex doneMutex_;
    std::vector<Done> done_;
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
    ev.data.fd = wake_.fd;
    if (epoll_ctl(epoll_.fd, EPOLL_CTL_ADD, wake_.fd, &ev) != 0) return false;
    ev.data.fd = listener_.fd;
    ev.events = 0;
    if (epoll_ctl(epoll_.fd, EPOLL_CTL_ADD, listener_.fd, &ev) != 0) return false;
    SetListening(true);
    for (std::size_t i = 0; i < limits_.threads; ++i) workers_.emplace_back([this] { Work(); });

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
            const int fd = events[i].data.fd;
            if (fd == wake_.fd) {
                std::uint64_t count;
                [[maybe_unused]] const ssize_t r = read(wake_.fd, &count, sizeof count);
                if (stopRequested_ && !stopping_) BeginStopping(now);
                TakeFinishedAnswers(now);
            } else if (fd == listener_.fd) {
                AcceptAll(now);
            } else if (const auto it = connections_.find(fd); it != connections_.end()) {
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
    std::vector<int> left;
    for (const auto& [fd, c] : connections_) left.push_back(fd);
    for (const int fd : left) Close(*connections_[fd]);
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        workersStop_ = true;
    }
    jobAdded_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
    Report(true);
    if (stopping_) Log(LogLevel::Info, "stopped");
    return ok;
}

void SettingsServer::Loop::SetListening(bool on) {
    if (listening_ == on || listener_.fd < 0) return;
    epoll_event ev{};
    ev.events = on ? std::uint32_t{EPOLLIN} : 0u;
    ev.data.fd = listener_.fd;
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
        auto c = std::make_unique<Connection>(limits_.request);
        c->fd = fd;
        c->id = nextId_++;
        c->peer = peer;
        c->key = key;
        c->counted = counted;
        c->waitStart = now;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.fd = fd;
        if (epoll_ctl(epoll_.fd, EPOLL_CTL_ADD, fd, &ev) != 0) {
            if (counted) clients_.CloseConnection(key);
            close(fd);
            continue;
        }
        Connection& added = *(connections_[fd] = std::move(c));
        SetDeadline(added, now + limits_.requestTimeout);
        peak_ = std::max<std::size_t>(peak_, ++open_);
    }
    // At the cap: newcomers wait in the backlog until a connection ends.
    if (!atCap_) ++capReached_;
    atCap_ = true;
    SetListening(false);
}

void SettingsServer::Loop::Watch(Connection& c, std::uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = c.fd;
    epoll_ctl(epoll_.fd, EPOLL_CTL_MOD, c.fd, &ev);
}

void SettingsServer::Loop::SetDeadline(Connection& c, Clock::time_point at) {
    c.deadline = at;
    timers_.push({at, c.fd, c.id});
}

void SettingsServer::Loop::OnEvent(Connection& c, std::uint32_t events, Clock::time_point now) {
    switch (c.phase) {
    case Phase::Reading: return ReadRequest(c, now);
    case Phase::Writing:
        if (events & (EPOLLERR | EPOLLHUP)) return Close(c);
        return WriteOut(c, now);
    case Phase::Lingering: {
        char scratch[kReadChunk];
        for (;;) {
            const ssize_t n = recv(c.fd, scratch, sizeof scratch, 0);
            if (n > 0) continue;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            return Close(c);  // the client has closed too
        }
    }
    case Phase::Working:
        // Nothing is watched while a worker answers; an error or hang-up
        // still reports, and the answer then has nobody to go to.
        if (events & (EPOLLERR | EPOLLHUP)) Close(c);
        return;
    }
}

void SettingsServer::Loop::ReadRequest(Connection& c, Clock::time_point now) {
    char buf[kReadChunk];
    const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        return Close(c);
    }
    if (n == 0) return Close(c);  // the client is gone, or gave up halfway
    c.in.append(buf, static_cast<std::size_t>(n));
    TakeRequest(c, now);
}

void SettingsServer::Loop::TakeRequest(Connection& c, Clock::time_point now) {
    switch (c.parser.Parse(c.in)) {
    case RequestParser::Progress::NeedMore:
        if (c.idle && !c.parser.NothingYet(c.in)) {
            // The next request has begun: it now has the whole-request time,
            // counted from when the service began waiting for it.
            c.idle = false;
            SetDeadline(c, c.waitStart + limits_.requestTimeout);
        }
        if (!c.continueSent && c.parser.WaitsForContinue(c.in)) {
            static constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
            [[maybe_unused]] const ssize_t w = send(c.fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL);
            c.continueSent = true;
        }
        return;
    case RequestParser::Progress::Invalid:
        ++badRequests_;
        c.keepAlive = false;
        c.headOnly = false;
        return Answer(c, ErrorAnswer(c.parser.ErrorStatus(), ReasonPhrase(c.parser.ErrorStatus())), now);
    case RequestParser::Progress::Complete: break;
    }

    HttpRequest& request = c.parser.Request();
    c.headOnly = request.method == "HEAD";
    c.minorVersion = request.minorVersion;
    c.keepAlive = request.WantsKeepAlive() && c.served + 1 < limits_.maxRequestsPerConnection;
    const IpAddress client = c.counted ? c.peer
                                       : ForwardedClient(c.peer, request.JoinedHeader("x-forwarded-for"),
                                                         limits_.trustedProxies);
    if (!clients_.TakeRequest(ClientKey::Of(client), now)) {
        ++refusedRate_;
        lastOffender_ = ClientKey::Of(client).ToString();
        HttpResponse slow = ErrorAnswer(429, "too many requests");
        slow.headers.emplace_back("Retry-After", "1");
        c.keepAlive = false;
        return Answer(c, slow, now);
    }
    c.phase = Phase::Working;
    c.deadline = Clock::time_point::max();
    Watch(c, 0);
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        jobs_.push_back({c.fd, c.id, std::move(request)});
    }
    jobAdded_.notify_one();
}

void SettingsServer::Loop::Answer(Connection& c, const HttpResponse& response, Clock::time_point now) {
    const bool keep = c.keepAlive && !stopping_;
    c.out = SerializeResponse(response, c.headOnly, keep, c.minorVersion, std::time(nullptr));
    c.keepAlive = keep;
    c.sent = 0;
    // A worker's answer leaves what follows its request for the next one;
    // any other answer (a refusal) ends the connection.
    if (c.phase == Phase::Working) c.in.erase(0, c.parser.RequestBytes());
    else c.in.clear();
    c.parser.Reset();
    c.phase = Phase::Writing;
    SetDeadline(c, now + limits_.writeTimeout);
    WriteOut(c, now);
}

void SettingsServer::Loop::WriteOut(Connection& c, Clock::time_point now) {
    while (c.sent < c.out.size()) {
        const ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (n > 0) {
            c.sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Watch(c, EPOLLOUT);
        return Close(c);
    }
    ++answered_;
    ++c.served;
    c.out.clear();
    if (!c.keepAlive) return Linger(c, now);
    c.phase = Phase::Reading;
    c.continueSent = false;
    c.waitStart = now;
    c.idle = c.parser.NothingYet(c.in);
    Watch(c, EPOLLIN | EPOLLRDHUP);
    SetDeadline(c, now + (c.idle ? limits_.keepAliveTimeout : limits_.requestTimeout));
    if (!c.in.empty()) TakeRequest(c, now);  // the client sent its next request before this answer
}

void SettingsServer::Loop::Linger(Connection& c, Clock::time_point now) {
    shutdown(c.fd, SHUT_WR);
    c.phase = Phase::Lingering;
    c.in.clear();
    Watch(c, EPOLLIN | EPOLLRDHUP);
    SetDeadline(c, now + kLingerTime);
}

void SettingsServer::Loop::OnTimeout(Connection& c, Clock::time_point now) {
    if (c.phase != Phase::Reading) return Close(c);  // an answer nobody reads, or a client that never closes
    if (c.idle) return Close(c);                     // a kept-alive connection nobody uses
    ++timedOut_;
    if (c.parser.NothingYet(c.in)) return Close(c);  // silent from the start: nothing to answer
    c.keepAlive = false;
    c.headOnly = false;
    Answer(c, ErrorAnswer(408, "request timeout"), now);
}

void SettingsServer::Loop::Close(Connection& c) {
    const int fd = c.fd;
    epoll_ctl(epoll_.fd, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    if (c.counted) clients_.CloseConnection(c.key);
    connections_.erase(fd);  // c is gone from here on
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
        const auto it = connections_.find(t.fd);
        // A timer outlived by a newer deadline, or by its connection, is stale.
        if (it == connections_.end() || it->second->id != t.id || it->second->deadline != t.at) continue;
        OnTimeout(*it->second, now);
    }
}

void SettingsServer::Loop::TakeFinishedAnswers(Clock::time_point now) {
    std::vector<Done> finished;
    {
        std::lock_guard<std::mutex> lock(doneMutex_);
        finished.swap(done_);
    }
    for (Done& d : finished) {
        const auto it = connections_.find(d.fd);
        if (it == connections_.end() || it->second->id != d.id || it->second->phase != Phase::Working) continue;
        Answer(*it->second, d.response, now);
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
    std::size_t inFlight = 0;
    std::vector<int> idle;
    for (const auto& [fd, c] : connections_) {
        if (c->phase == Phase::Reading && c->parser.NothingYet(c->in)) idle.push_back(fd);
        else if (c->phase != Phase::Lingering) ++inFlight;
    }
    for (const int fd : idle) Close(*connections_[fd]);
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

void SettingsServer::Loop::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(jobsMutex_);
            jobAdded_.wait(lock, [this] { return workersStop_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        HttpResponse response;
        try {
            response = AnswerRequest(job.request, [this] { return ReadRecord(); });
        } catch (const std::exception& e) {
            Log(LogLevel::Error, std::string("answering a request: ") + e.what());
            response = ErrorAnswer(500, "internal error");
        }
        {
            std::lock_guard<std::mutex> lock(doneMutex_);
            done_.push_back({job.fd, job.id, std::move(response)});
        }
        Wake(wake_.fd);
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
