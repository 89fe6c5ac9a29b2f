// service_siege: what a crowd and a few bad clients do to a settings service
// running on this machine. Measures and reports; never judges.
//
//   service_siege --port N
//       [--half N [--half-from ADDR]...]  connections that send half a request and wait
//       [--queries N --within S]          then N real queries, one connection each, while they wait
//       [--clients N --each N]            then N concurrent clients of N queries each
//       [--clients-from PREFIX]           clients bind to PREFIX.1, PREFIX.2 ... (e.g. 127.0.1)
//       [--timeout S]                     each client's limit for connecting, sending, reading (10 s)
//
// Real queries are the program's own request; half the clients keep their
// connection alive between queries, half open one per query.
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/service/LoopbackClient.h"

namespace {

using namespace mojian::testing;
using Clock = std::chrono::steady_clock;

class Tally {
public:
    void Good() { ++good_; }
    void Bad(const std::string& why) {
        ++bad_;
        std::lock_guard<std::mutex> lock(mutex_);
        ++reasons_[why];
    }
    int good() const { return good_; }
    int bad() const { return bad_; }
    void Print(const char* indent) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [why, n] : reasons_) std::printf("%s%d x %s\n", indent, n, why.c_str());
    }

private:
    std::atomic<int> good_{0}, bad_{0};
    mutable std::mutex mutex_;
    std::map<std::string, int> reasons_;
};

void RunClient(int port, const std::string& from, int queries, bool keepAlive, int timeoutMs, Tally& tally) {
    LoopbackSocket s;
    std::string pending;
    for (int i = 0; i < queries; ++i) {
        std::string why;
        if (!s && !(s = ConnectLoopback(port, from, timeoutMs, &why))) {
            tally.Bad(why);
            continue;
        }
        HttpAnswer a;
        if (!SendAll(s, QueryRequest(keepAlive))) tally.Bad(std::string("send: ") + std::strerror(errno));
        else if (!ReadAnswer(s, a, pending, false, &why)) tally.Bad(why);
        else if (CarriesRecord(a)) tally.Good();
        else tally.Bad("status " + std::to_string(a.status));
        if (!keepAlive || a.closes || a.status == 0) {
            s.Close();
            pending.clear();
        }
    }
}

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
    int port = 0, half = 0, queries = 0, clients = 0, each = 10;
    double within = 10, timeout = 10;
    std::vector<std::string> halfFrom;
    std::string clientsFrom;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--port" && more) port = std::atoi(argv[++i]);
        else if (a == "--half" && more) half = std::atoi(argv[++i]);
        else if (a == "--half-from" && more) halfFrom.push_back(argv[++i]);
        else if (a == "--queries" && more) queries = std::atoi(argv[++i]);
        else if (a == "--within" && more) within = std::atof(argv[++i]);
        else if (a == "--clients" && more) clients = std::atoi(argv[++i]);
        else if (a == "--each" && more) each = std::atoi(argv[++i]);
        else if (a == "--clients-from" && more) clientsFrom = argv[++i];
        else if (a == "--timeout" && more) timeout = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: see the head of bench/ServiceSiege.cpp\n");
            return 2;
        }
    }
    if (port <= 0) {
        std::fprintf(stderr, "service_siege: --port is needed\n");
        return 2;
    }
    if (halfFrom.empty()) halfFrom.push_back("");

    // Half requests: the head of the real query without its blank line.
    std::vector<LoopbackSocket> held;
    if (half > 0) {
        const std::string q = QueryRequest(true);
        const std::string partial = q.substr(0, q.find("\r\n\r\n"));
        Tally opened;
        std::vector<std::thread> openers;
        std::mutex heldMutex;
        for (int i = 0; i < half; ++i) {
            openers.emplace_back([&, i] {
                std::string why;
                LoopbackSocket s = ConnectLoopback(port, halfFrom[static_cast<std::size_t>(i) % halfFrom.size()], 3000, &why);
                if (!s) return opened.Bad(why);
                if (!SendAll(s, partial)) return opened.Bad("send failed");
                opened.Good();
                std::lock_guard<std::mutex> lock(heldMutex);
                held.push_back(std::move(s));
            });
        }
        for (auto& t : openers) t.join();
        // The service may refuse some at once (a cap); count those it keeps.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        int alive = 0;
        for (const auto& s : held) {
            pollfd p{s.fd(), POLLIN, 0};
            if (poll(&p, 1, 0) == 0) ++alive;
        }
        std::printf("half requests: %d attempted, %d connected and sent, %d still held after 0.3 s\n", half,
                    opened.good(), alive);
        opened.Print("  not opened: ");
    }

    if (queries > 0) {
        Tally tally;
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        for (int i = 0; i < queries; ++i)
            threads.emplace_back([&] { RunClient(port, "", 1, false, static_cast<int>(within * 1000), tally); });
        for (auto& t : threads) t.join();
        std::printf("real queries while they wait: %d of %d answered within %.0f s (%.2f s)\n", tally.good(), queries,
                    within, Since(start));
        tally.Print("  ");
    }
    held.clear();

    if (clients > 0) {
        Tally tally;
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            const std::string from = clientsFrom.empty() ? "" : clientsFrom + "." + std::to_string(c % 250 + 1);
            threads.emplace_back([&, c, from] {
                RunClient(port, from, each, c % 2 == 0, static_cast<int>(timeout * 1000), tally);
            });
        }
        for (auto& t : threads) t.join();
        const double s = Since(start);
        std::printf("%d clients x %d queries: %d answered, %d lost, %.2f s, %.0f queries/s\n", clients, each,
                    tally.good(), tally.bad(), s, (tally.good() + tally.bad()) / s);
        tally.Print("  lost: ");
    }
    return 0;
}
