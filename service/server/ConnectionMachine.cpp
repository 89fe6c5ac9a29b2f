#include "service/server/ConnectionMachine.h"

#include <utility>

#include "service/server/SettingsRoutes.h"

namespace mojian::service {

namespace {

using Phase = ConnectionState::Phase;

// What an earlier step of the same event counted stays counted.
ConnectionActions Counted(ConnectionActions a, const ConnectionActions& before) {
    a.answered = a.answered || before.answered;
    a.timedOut = a.timedOut || before.timedOut;
    a.badRequest = a.badRequest || before.badRequest;
    a.overRate = a.overRate || before.overRate;
    if (a.offender.empty()) a.offender = before.offender;
    return a;
}

}  // namespace

ConnectionMachine::ConnectionMachine(const ConnectionLimits& limits, ClientTable& clients,
                                     std::function<std::time_t()> date)
    : limits_(limits), clients_(clients), date_(std::move(date)) {}

ConnectionState ConnectionMachine::Open(const IpAddress& peer, bool counted, SteadyClock::time_point now) const {
    ConnectionState c(limits_.request);
    c.peer = peer;
    c.counted = counted;
    c.waitStart = now;
    c.deadline = now + limits_.requestTimeout;
    return c;
}

bool ConnectionMachine::Idle(const ConnectionState& c) {
    return c.phase == Phase::Reading && c.parser.NothingYet(c.in);
}

bool ConnectionMachine::InFlight(const ConnectionState& c) {
    return c.phase != Phase::Lingering && c.phase != Phase::Closed && !Idle(c);
}

ConnectionActions ConnectionMachine::Current(const ConnectionState& c) const {
    ConnectionActions a;
    a.close = c.phase == Phase::Closed;
    a.read = c.phase == Phase::Reading || c.phase == Phase::Lingering;
    a.write = !a.close && !c.out.empty();
    // A worker has no time limit of its own: its answer always comes.
    if (c.phase != Phase::Working && !a.close) a.deadline = c.deadline;
    return a;
}

ConnectionActions ConnectionMachine::Close(ConnectionState& c) const {
    c.phase = Phase::Closed;
    c.out.clear();
    return Current(c);
}

ConnectionActions ConnectionMachine::PeerClosed(ConnectionState& c) { return Close(c); }

ConnectionActions ConnectionMachine::Received(ConnectionState& c, std::string_view bytes,
                                              SteadyClock::time_point now) {
    // After the last answer whatever still comes is read only to be dropped.
    if (c.phase == Phase::Lingering || c.phase == Phase::Closed) return Current(c);
    c.in.append(bytes);
    // What follows a request being answered waits for that answer.
    if (c.phase != Phase::Reading) return Current(c);
    return TakeRequest(c, now);
}

ConnectionActions ConnectionMachine::TakeRequest(ConnectionState& c, SteadyClock::time_point now) {
    switch (c.parser.Parse(c.in)) {
    case RequestParser::Progress::NeedMore:
        if (c.idle && !c.parser.NothingYet(c.in)) {
            // The next request has begun: it now has the whole-request time,
            // counted from when the service began waiting for it.
            c.idle = false;
            c.deadline = c.waitStart + limits_.requestTimeout;
        }
        if (!c.continueSent && c.parser.WaitsForContinue(c.in)) {
            c.out += "HTTP/1.1 100 Continue\r\n\r\n";
            c.continueSent = true;
        }
        return Current(c);
    case RequestParser::Progress::Invalid: {
        ConnectionActions counts;
        counts.badRequest = true;
        c.keepAlive = false;
        c.headOnly = false;
        const int status = c.parser.ErrorStatus();
        return Answer(c, ErrorAnswer(status, ReasonPhrase(status)), now, counts);
    }
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
        ConnectionActions counts;
        counts.overRate = true;
        counts.offender = ClientKey::Of(client).ToString();
        HttpResponse slow = ErrorAnswer(429, "too many requests");
        slow.headers.emplace_back("Retry-After", "1");
        c.keepAlive = false;
        return Answer(c, slow, now, counts);
    }
    c.phase = Phase::Working;
    c.deadline = SteadyClock::time_point::max();
    ConnectionActions a = Current(c);
    a.work = std::move(request);
    return a;
}

ConnectionActions ConnectionMachine::Answered(ConnectionState& c, const HttpResponse& response,
                                              SteadyClock::time_point now) {
    // The connection may have ended while the worker answered.
    if (c.phase != Phase::Working) return Current(c);
    return Answer(c, response, now);
}

ConnectionActions ConnectionMachine::Answer(ConnectionState& c, const HttpResponse& response,
                                            SteadyClock::time_point now, ConnectionActions counts) {
    const bool keep = c.keepAlive && !stopping_;
    c.out += SerializeResponse(response, c.headOnly, keep, c.minorVersion, date_());
    c.keepAlive = keep;
    // A worker's answer leaves what follows its request for the next one;
    // any other answer (a refusal) ends the connection.
    if (c.phase == Phase::Working) c.in.erase(0, c.parser.RequestBytes());
    else c.in.clear();
    c.parser.Reset();
    c.phase = Phase::Writing;
    c.deadline = now + limits_.writeTimeout;
    return Counted(Current(c), counts);
}

ConnectionActions ConnectionMachine::Written(ConnectionState& c, std::size_t bytes, SteadyClock::time_point now) {
    c.out.erase(0, bytes);
    if (c.phase != Phase::Writing || !c.out.empty()) return Current(c);
    ConnectionActions done;
    done.answered = true;
    ++c.served;
    if (!c.keepAlive) {
        c.phase = Phase::Lingering;
        c.in.clear();
        c.deadline = now + limits_.lingerTime;
        ConnectionActions a = Counted(Current(c), done);
        a.halfClose = true;
        return a;
    }
    c.phase = Phase::Reading;
    c.continueSent = false;
    c.waitStart = now;
    c.idle = c.parser.NothingYet(c.in);
    c.deadline = now + (c.idle ? limits_.keepAliveTimeout : limits_.requestTimeout);
    // The client may have sent its next request before this answer.
    return Counted(c.in.empty() ? Current(c) : TakeRequest(c, now), done);
}

ConnectionActions ConnectionMachine::DeadlineCame(ConnectionState& c, SteadyClock::time_point now) {
    if (now < c.deadline || c.phase == Phase::Working || c.phase == Phase::Closed) return Current(c);
    if (c.phase != Phase::Reading) return Close(c);  // an answer nobody reads, or a client that never closes
    if (c.idle) return Close(c);                     // a kept-alive connection nobody uses
    ConnectionActions counts;
    counts.timedOut = true;
    if (c.parser.NothingYet(c.in)) return Counted(Close(c), counts);  // silent from the start: nothing to answer
    c.keepAlive = false;
    c.headOnly = false;
    return Answer(c, ErrorAnswer(408, "request timeout"), now, counts);
}

}  // namespace mojian::service
