// A small HTTP server inside a Windows test program: it records every
// request exactly as it arrived and answers with canned bytes, or not at all.
// The real service is a Linux program the Windows build cannot run. Paths
// can have answers of their own (status, headers, and the ways servers
// misbehave); every other path gets the one answer set with AnswerWith.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace mojian::testing {

struct ReceivedRequest {
    std::string requestLine;
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
    std::string body;

    const std::string* Header(const std::string& name) const {
        for (const auto& h : headers) {
            if (_stricmp(h.first.c_str(), name.c_str()) == 0) return &h.second;
        }
        return nullptr;
    }
};

// The answer to one path.
struct Reply {
    enum class Way {
        Whole,     // the body with its Content-Length, then the connection closes
        NoLength,  // the body without Content-Length, ended by closing the connection
        CutShort,  // Content-Length of the whole body, then half of it and the connection closes
        Trickle,   // the headers, then trickleBytes of the body every trickleMs
        Silent,    // nothing at all, the connection held open
    };
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // more, such as Location
    Way way = Way::Whole;
    int delayMs = 0;  // before anything is sent
    int trickleMs = 100;
    std::size_t trickleBytes = 1;
    // Announce this length instead of the body's (a server that claims more
    // than it sends); 0 announces the body's own.
    std::size_t announcedLength = 0;
};

class FakeHttpServer {
public:
    FakeHttpServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        // A port no earlier server of this test program had: the HTTP stack
        // keeps connections (and answers) per address, and a new server on an
        // old address would meet them.
        static std::vector<int> used;
        std::vector<SOCKET> rejected;
        for (;;) {
            listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            int len = sizeof addr;
            getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
            port_ = ntohs(addr.sin_port);
            if (std::find(used.begin(), used.end(), port_) == used.end()) break;
            rejected.push_back(listener_);  // held until a fresh port comes up
        }
        for (SOCKET s : rejected) closesocket(s);
        used.push_back(port_);
        listen(listener_, 16);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }

    // On a port of the caller's choosing (the address a program is built to
    // ask); Listening() says whether the port could be had.
    explicit FakeHttpServer(int port) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<u_short>(port));
        BOOL exclusive = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                   sizeof exclusive);
        listening_ = bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(listener_, 16) == 0;
        port_ = port;
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }

    bool Listening() const { return listening_; }

    ~FakeHttpServer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        stopped_.notify_all();
        closesocket(listener_);
        acceptor_.join();
        for (auto& t : connections_) t.join();
        WSACleanup();
    }

    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& path = "/asp/kwel/index.asp") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // The answer body (bytes as they go on the wire) with status 200.
    void AnswerWith(std::string bodyBytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        answerBody_ = std::move(bodyBytes);
        silent_ = false;
    }
    // Each answer goes out `ms` milliseconds after its request came in.
    void DelayAnswers(int ms) {
        std::lock_guard<std::mutex> lock(mutex_);
        delayMs_ = ms;
    }
    // Reads each request and then keeps the connection open without a word.
    void NeverAnswer() {
        std::lock_guard<std::mutex> lock(mutex_);
        silent_ = true;
    }

    // The answer for requests of `path` (with its query, as requested).
    void Route(const std::string& path, Reply reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = std::move(reply);
    }
    // How many requests asked for `path`.
    int Count(const std::string& path) const {
        const std::string line = "GET " + path + " ";
        int n = 0;
        for (const auto& r : Requests()) n += r.requestLine.rfind(line, 0) == 0;
        return n;
    }

    std::vector<ReceivedRequest> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    int PostCount() const {
        int n = 0;
        for (const auto& r : Requests()) n += r.requestLine.rfind("POST ", 0) == 0;
        return n;
    }

private:
    void AcceptLoop() {
        for (;;) {
            SOCKET s = accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET) return;  // closed: the server stops
            std::lock_guard<std::mutex> lock(mutex_);
            connections_.emplace_back([this, s] { Serve(s); });
        }
    }

    void Serve(SOCKET s) {
        DWORD timeout = 5000;  // a probe that connects and says nothing must not keep us
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        // Nor a client that stopped reading a long answer.
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        std::string data;
        char buf[4096];
        std::size_t headerEnd = std::string::npos;
        while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
            const int n = recv(s, buf, sizeof buf, 0);
            if (n <= 0) {
                closesocket(s);
                return;
            }
            data.append(buf, static_cast<std::size_t>(n));
        }
        ReceivedRequest req;
        std::size_t lineStart = 0;
        bool first = true;
        while (lineStart < headerEnd) {
            std::size_t lineEnd = data.find("\r\n", lineStart);
            const std::string line = data.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 2;
            if (first) {
                req.requestLine = line;
                first = false;
                continue;
            }
            const std::size_t colon = line.find(':');
            std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            req.headers.emplace_back(line.substr(0, colon), value);
        }
        std::size_t length = 0;
        if (const std::string* cl = req.Header("Content-Length")) length = std::strtoul(cl->c_str(), nullptr, 10);
        req.body = data.substr(headerEnd + 4);
        while (req.body.size() < length && length < 100000) {
            const int n = recv(s, buf, sizeof buf, 0);
            if (n <= 0) break;
            req.body.append(buf, static_cast<std::size_t>(n));
        }

        std::unique_lock<std::mutex> lock(mutex_);
        requests_.push_back(req);
        const std::size_t pathStart = req.requestLine.find(' ') + 1;
        const auto route = routes_.find(req.requestLine.substr(pathStart, req.requestLine.rfind(' ') - pathStart));
        if (route != routes_.end()) {
            const Reply reply = route->second;
            lock.unlock();
            Answer(s, reply);
        } else if (silent_) {
            stopped_.wait(lock, [this] { return stopping_; });
            lock.unlock();
        } else {
            if (delayMs_ > 0) stopped_.wait_for(lock, std::chrono::milliseconds(delayMs_), [this] { return stopping_; });
            const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nCache-Control: no-store\r\nContent-Length: " +
                                       std::to_string(answerBody_.size()) + "\r\nConnection: close\r\n\r\n" +
                                       answerBody_;
            lock.unlock();
            send(s, answer.data(), static_cast<int>(answer.size()), 0);
            shutdown(s, SD_SEND);
        }
        closesocket(s);
    }

    static bool SendAll(SOCKET s, std::string_view bytes) {
        while (!bytes.empty()) {
            const int n = send(s, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)), 0);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    void Answer(SOCKET s, const Reply& reply) {
        using Way = Reply::Way;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (reply.way == Way::Silent) {
                stopped_.wait(lock, [this] { return stopping_; });
                return;
            }
            if (stopped_.wait_for(lock, std::chrono::milliseconds(reply.delayMs), [this] { return stopping_; }))
                return;
        }
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " Answer\r\nContent-Type: " + reply.contentType +
                           "\r\nCache-Control: no-store\r\nConnection: close\r\n";
        if (reply.way != Way::NoLength) {
            head += "Content-Length: " +
                    std::to_string(reply.announcedLength ? reply.announcedLength : reply.body.size()) + "\r\n";
        }
        for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
        head += "\r\n";
        if (!SendAll(s, head)) return;
        std::string_view body = reply.body;
        if (reply.way == Way::CutShort) body = body.substr(0, body.size() / 2);
        if (reply.way == Way::Trickle) {
            for (std::size_t at = 0; at < body.size(); at += reply.trickleBytes) {
                if (!SendAll(s, body.substr(at, reply.trickleBytes))) return;
                std::unique_lock<std::mutex> lock(mutex_);
                if (stopped_.wait_for(lock, std::chrono::milliseconds(reply.trickleMs), [this] { return stopping_; }))
                    return;
            }
        } else if (!SendAll(s, body)) {
            return;
        }
        shutdown(s, SD_SEND);
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    bool listening_ = true;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    std::vector<std::thread> connections_;
    std::vector<ReceivedRequest> requests_;
    std::map<std::string, Reply> routes_;
    std::string answerBody_;
    bool silent_ = false;
    bool stopping_ = false;
    int delayMs_ = 0;
};

// A loopback port with nothing listening on it.
inline int ClosedPort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    closesocket(s);
    WSACleanup();
    return ntohs(addr.sin_port);
}

}  // namespace mojian::testing
