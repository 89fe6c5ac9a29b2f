// One client connection of the settings service as a state machine: it is
// told what arrived, what was written, that the peer went away or that its
// deadline came, always with the time passed in, and says what its owner is
// to do next. No sockets and no clock here, so every limit a client can run
// into is tested in virtual time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/server/ClientLimits.h"
#include "service/server/HttpMessage.h"

namespace mojian::service {

using SteadyClock = std::chrono::steady_clock;

// After the last answer on a connection the service stops sending and reads
// what the client still sends until it closes, for at most this long: closing
// with unread bytes would reset the connection and could destroy the answer
// before the client has read it.
inline constexpr std::chrono::milliseconds kLingerTime{2000};

struct ConnectionLimits {
    RequestLimits request;
    std::chrono::milliseconds requestTimeout{10000};  // for a whole request, from when the service waits for it
    std::chrono::milliseconds keepAliveTimeout{5000}; // an idle connection between two requests
    std::chrono::milliseconds writeTimeout{10000};    // for a whole answer
    std::chrono::milliseconds lingerTime = kLingerTime;
    std::size_t maxRequestsPerConnection = 100;
    std::vector<AddressRange> trustedProxies;
};

// Everything one connection is, between two events.
struct ConnectionState {
    enum class Phase { Reading, Working, Writing, Lingering, Closed };

    explicit ConnectionState(const RequestLimits& limits) : parser(limits) {}

    IpAddress peer;
    bool counted = true;           // its client's own connection, not a trusted proxy's
    Phase phase = Phase::Reading;
    std::string in;                // received and not yet taken by a request
    std::string out;               // to be written, in order; in Writing it ends with the answer
    RequestParser parser;
    bool idle = false;             // kept alive, waiting for the next request to begin
    bool continueSent = false;
    bool keepAlive = false;        // after the answer being made
    bool headOnly = false;
    int minorVersion = 1;
    std::size_t served = 0;
    SteadyClock::time_point waitStart;  // when the service began waiting for the current request
    SteadyClock::time_point deadline = SteadyClock::time_point::max();
};

// What the owner of a connection does after an event, in this order: count,
// hand `work` to a worker, half-close, write `out`, then either close or
// watch for what `read`/`write` say until `deadline`.
struct ConnectionActions {
    std::optional<HttpRequest> work;  // a whole request for a worker; Answered() follows
    bool halfClose = false;           // stop sending: every answer is out
    bool close = false;
    bool read = false;                // wants to know what arrives, and when the peer closes
    bool write = false;               // `out` has bytes waiting: write them, report with Written()
    SteadyClock::time_point deadline = SteadyClock::time_point::max();

    // For the statistics.
    bool answered = false;   // an answer went out whole
    bool timedOut = false;   // a request did not arrive whole in time
    bool badRequest = false; // refused as malformed or too large
    bool overRate = false;   // answered 429
    std::string offender;    // the client refused over its rate
};

class ConnectionMachine {
public:
    // `clients` counts each client's requests; `date` gives the Date header's time.
    ConnectionMachine(const ConnectionLimits& limits, ClientTable& clients,
                      std::function<std::time_t()> date = [] { return std::time(nullptr); });

    ConnectionState Open(const IpAddress& peer, bool counted, SteadyClock::time_point now) const;
    ConnectionActions Opened(ConnectionState& c) const { return Current(c); }

    ConnectionActions Received(ConnectionState& c, std::string_view bytes, SteadyClock::time_point now);
    ConnectionActions Written(ConnectionState& c, std::size_t bytes, SteadyClock::time_point now);
    ConnectionActions PeerClosed(ConnectionState& c);
    ConnectionActions Answered(ConnectionState& c, const HttpResponse& response, SteadyClock::time_point now);
    // Does nothing before the connection's deadline, so a stale wake-up is harmless.
    ConnectionActions DeadlineCame(ConnectionState& c, SteadyClock::time_point now);

    // From now on every answer ends its connection.
    void BeginStopping() { stopping_ = true; }
    // Kept alive or just opened, with nothing of a request yet: on stopping
    // it is closed at once.
    static bool Idle(const ConnectionState& c);
    // A request is being read, answered or written.
    static bool InFlight(const ConnectionState& c);

private:
    ConnectionActions Current(const ConnectionState& c) const;
    ConnectionActions TakeRequest(ConnectionState& c, SteadyClock::time_point now);
    ConnectionActions Answer(ConnectionState& c, const HttpResponse& response, SteadyClock::time_point now,
                             ConnectionActions counts = {});
    ConnectionActions Close(ConnectionState& c) const;

    ConnectionLimits limits_;
    ClientTable& clients_;
    std::function<std::time_t()> date_;
    bool stopping_ = false;
};

}  // namespace mojian::service
