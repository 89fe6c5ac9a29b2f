// A raw HTTP client for the settings service on this machine: blocking
// sockets with time limits, any source address of the loopback network
// (127.0.0.0/8 is all ours on Linux, so a test can be many clients), bytes
// sent exactly as given. Used by the service tests and the siege tool.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "service/SettingsExchange.h"

namespace mojian::testing {

class LoopbackSocket {
public:
    LoopbackSocket() = default;
    explicit LoopbackSocket(int fd) : fd_(fd) {}
    ~LoopbackSocket() { Close(); }
    LoopbackSocket(LoopbackSocket&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    LoopbackSocket& operator=(LoopbackSocket&& o) noexcept {
        if (this != &o) {
            Close();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    int fd() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Connects to 127.0.0.1:port from `from` (empty: any), with `timeoutMs` for
// connecting and for every later send and receive. Empty socket and the
// reason on failure.
inline LoopbackSocket ConnectLoopback(int port, const std::string& from, int timeoutMs, std::string* why = nullptr) {
    const auto fail = [why](const char* what, int err) {
        if (why) *why = std::string(what) + ": " + std::strerror(err);
        return LoopbackSocket();
    };
    LoopbackSocket s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s) return fail("socket", errno);
    if (!from.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        if (bind(s.fd(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return fail("bind", errno);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    fcntl(s.fd(), F_SETFL, O_NONBLOCK);
    if (connect(s.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS)
        return fail("connect", errno);
    pollfd p{s.fd(), POLLOUT, 0};
    int err = 0;
    socklen_t len = sizeof err;
    if (poll(&p, 1, timeoutMs) != 1) return fail("connect", ETIMEDOUT);
    if (getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return fail("connect", err);
    fcntl(s.fd(), F_SETFL, 0);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(s.fd(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(s.fd(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    const int on = 1;
    setsockopt(s.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return s;
}

inline bool SendAll(const LoopbackSocket& s, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(s.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Everything until the other side closes or the receive time runs out.
inline std::string ReadUntilClosed(const LoopbackSocket& s) {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = recv(s.fd(), buf, sizeof buf, 0)) > 0;) all.append(buf, static_cast<std::size_t>(n));
    return all;
}

struct HttpAnswer {
    int status = 0;
    std::string head;  // status line and headers, lower-cased
    std::string body;  // bytes as received
    bool closes = false;  // "Connection: close"
    bool Has(std::string_view lowerHeaderLine) const { return head.find(lowerHeaderLine) != std::string::npos; }
};

// One answer off a kept connection, by its Content-Length; `pending` keeps
// what arrived beyond it (the next answer). A HEAD answer has no body.
inline bool ReadAnswer(const LoopbackSocket& s, HttpAnswer& answer, std::string& pending, bool headOnly = false,
                       std::string* why = nullptr) {
    char buf[4096];
    std::size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t n = recv(s.fd(), buf, sizeof buf, 0);
        if (n <= 0) {
            if (why)
                *why = n == 0 ? (pending.empty() ? "closed without an answer" : "closed mid-answer")
                              : std::string("recv: ") + std::strerror(errno);
            return false;
        }
        pending.append(buf, static_cast<std::size_t>(n));
    }
    answer = HttpAnswer();
    answer.head = pending.substr(0, headEnd);
    for (char& c : answer.head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (std::sscanf(answer.head.c_str(), "http/1.%*d %d", &answer.status) != 1) {
        if (why) *why = "no status line";
        return false;
    }
    std::size_t length = 0;
    if (const auto at = answer.head.find("\r\ncontent-length:"); at != std::string::npos && !headOnly)
        length = std::strtoul(answer.head.c_str() + at + 17, nullptr, 10);
    answer.closes = answer.Has("\r\nconnection: close");
    pending.erase(0, headEnd + 4);
    while (pending.size() < length) {
        const ssize_t n = recv(s.fd(), buf, sizeof buf, 0);
        if (n <= 0) {
            if (why) *why = "answer cut short";
            return false;
        }
        pending.append(buf, static_cast<std::size_t>(n));
    }
    answer.body = pending.substr(0, length);
    pending.erase(0, length);
    return true;
}

// The program's own query as it goes on the wire.
inline std::string QueryRequest(bool keepAlive, std::string_view extraHeaders = {}) {
    const std::string body = SettingsRequestBody();
    return "POST " + std::string(kServicePath) +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: " + (keepAlive ? "Keep-Alive" : "close") + "\r\n" +
           std::string(extraHeaders) + "\r\n" + body;
}

// An answer carrying a record: いゼ in GBK is on the wire.
inline bool CarriesRecord(const HttpAnswer& a) {
    return a.status == 200 && a.body.find("\xA4\xA4\xA5\xBC") != std::string::npos;
}

}  // namespace mojian::testing
