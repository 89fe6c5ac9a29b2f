// The HTTP side of the maker's settings service: one thread waits on every
// connection at once (epoll, non-blocking sockets) and reads each request
// until it has arrived whole; only then does one of a few worker threads
// answer it. A slow or silent client costs a little memory, never a thread,
// and every limit below holds whatever clients do. What a connection does
// is ConnectionMachine's to decide; this loop owns the sockets and timers and
// carries out what it asks, and a WorkerPool answers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "service/server/ClientLimits.h"
#include "service/server/HttpMessage.h"

namespace mojian::service {

class SettingsReader;

struct ServerLimits {
    std::size_t threads = 2;            // workers answering whole requests
    std::size_t maxConnections = 1024;  // open at once, all clients together; beyond it new ones wait in the backlog
    int backlog = 1024;                 // connections the kernel holds for us (capped by net.core.somaxconn)
    ClientLimitSettings perClient;      // connections and request rate per client address
    std::vector<AddressRange> trustedProxies;  // load balancers whose X-Forwarded-For is believed

    std::chrono::milliseconds requestTimeout{10000};    // for a whole request, from when the service waits for it
    std::chrono::milliseconds keepAliveTimeout{5000};   // an idle connection between two requests
    std::chrono::milliseconds writeTimeout{10000};      // for a whole answer
    std::chrono::milliseconds drainTimeout{10000};      // on stopping, for the requests in flight
    std::chrono::milliseconds reportInterval{60000};    // how often refusals are summed up in the log
    std::size_t maxRequestsPerConnection = 100;
    RequestLimits request;  // head bytes, header count, body bytes
};

// What the service has done so far; safe to read from any thread.
struct ServerStats {
    std::size_t openConnections = 0;
    std::size_t peakConnections = 0;        // most open at once
    std::uint64_t accepted = 0;
    std::uint64_t answered = 0;             // answers written whole, errors included
    std::uint64_t refusedOverClientCap = 0; // connections refused: their client held its share
    std::uint64_t refusedOverRate = 0;      // requests answered 429
    std::uint64_t timedOut = 0;             // requests that did not arrive whole in time
    std::uint64_t badRequests = 0;          // requests refused as malformed or too large
    std::uint64_t capReached = 0;           // times accepting paused at the overall cap
};

enum class LogLevel { Info, Warning, Error };
using LogSink = std::function<void(LogLevel, const std::string&)>;

class SettingsServer {
public:
    SettingsServer(SettingsReader& reader, const ServerLimits& limits = {}, LogSink log = {});
    ~SettingsServer();
    SettingsServer(const SettingsServer&) = delete;
    SettingsServer& operator=(const SettingsServer&) = delete;

    // Listens on a numeric address ("127.0.0.1", "0.0.0.0", "::"); port 0
    // takes a free one, Port() then tells which. False with the reason in
    // `error`.
    bool Bind(const std::string& host, int port, std::string* error = nullptr);
    int Port() const;

    // Serves until Stop(); then refuses new connections, finishes the
    // requests in flight (for at most the drain time) and returns.
    bool Run();
    // From any thread, also before Run.
    void Stop();

    ServerStats Stats() const;

private:
    class Loop;
    std::unique_ptr<Loop> loop_;
};

}  // namespace mojian::service
