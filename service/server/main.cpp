// mojian-service: the maker's settings service for the 墨笺 program.
//
//   mojian-service [--db FILE] [serving options]          serve until SIGINT or SIGTERM
//   mojian-service --db FILE --set-record VERSION DOWNLOAD-URL CONTACT-URL
//   mojian-service --db FILE --show
//
// Serving prints "listening on http://ADDR:PORT/" once it accepts
// connections (port 0 picks a free one); everything else it has to say goes
// to standard error, with journald's priority prefixes when run by systemd.
#include <sys/resource.h>

#include <pthread.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "service/server/SettingsServer.h"
#include "service/server/SettingsStore.h"

namespace {

using namespace mojian::service;

constexpr int kDefaultPort = 18936;

int Usage() {
    std::fprintf(stderr,
                 "usage: mojian-service [--db FILE] [--listen ADDR] [--port N] [--local] [limits]\n"
                 "       mojian-service [--db FILE] --set-record VERSION DOWNLOAD-URL CONTACT-URL\n"
                 "       mojian-service [--db FILE] --show\n"
                 "limits (defaults in brackets):\n"
                 "  --threads N               workers answering requests [2]\n"
                 "  --max-connections N       open connections, all clients together [1024]\n"
                 "  --client-connections N    open connections per client address, 0 for no cap [32]\n"
                 "  --client-rate R           requests per second per client address, 0 for no limit [10]\n"
                 "  --client-burst N          requests a quiet client may send at once [40]\n"
                 "  --request-timeout S       seconds for a whole request to arrive [10]\n"
                 "  --keep-alive-timeout S    seconds an idle connection stays open [5]\n"
                 "  --drain-timeout S         seconds to finish requests in flight when stopping [10]\n"
                 "  --backlog N               connections waiting to be accepted [1024]\n"
                 "  --trusted-proxy RANGE     a load balancer (address or CIDR range) whose\n"
                 "                            X-Forwarded-For names the client; may be repeated\n"
                 "--local: create the database with a record pointing at this machine when it has none\n");
    return 2;
}

bool ParseCount(const char* text, long low, long high, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || errno || v < low || v > high) return false;
    out = v;
    return true;
}

bool ParseDecimal(const char* text, double low, double high, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!*text || *end || !std::isfinite(v) || v < low || v > high) return false;
    out = v;
    return true;
}

std::string Figure(double v) {
    char out[32];
    std::snprintf(out, sizeof out, "%g", v);
    return out;
}

std::chrono::milliseconds Seconds(double s) { return std::chrono::milliseconds(std::llround(s * 1000)); }

// Lines for the journal (which reads the "<N>" priority prefix) or a terminal.
void LogLine(LogLevel level, const std::string& text) {
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    const char* prefix = level == LogLevel::Error ? (journal ? "<3>" : "mojian-service: error: ")
                         : level == LogLevel::Warning ? (journal ? "<4>" : "mojian-service: warning: ")
                                                      : (journal ? "<6>" : "mojian-service: ");
    std::fprintf(stderr, "%s%s\n", prefix, text.c_str());
}

// Every connection holds a descriptor: raise the soft limit as far as
// allowed, and serve fewer connections than asked if that is not enough.
void FitDescriptorLimit(ServerLimits& limits) {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return;
    const rlim_t need = limits.maxConnections + limits.threads + 64;
    if (lim.rlim_cur < need) {
        lim.rlim_cur = lim.rlim_max == RLIM_INFINITY ? need : std::min(need, lim.rlim_max);
        setrlimit(RLIMIT_NOFILE, &lim);
        getrlimit(RLIMIT_NOFILE, &lim);
    }
    if (lim.rlim_cur < need) {
        const std::size_t fit = lim.rlim_cur > limits.threads + 64 ? lim.rlim_cur - limits.threads - 64 : 1;
        LogLine(LogLevel::Warning, "only " + std::to_string(lim.rlim_cur) + " descriptors: at most " +
                                       std::to_string(fit) + " connections instead of " +
                                       std::to_string(limits.maxConnections));
        limits.maxConnections = fit;
    }
}

int Fail(const std::string& error) {
    LogLine(LogLevel::Error, error);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string listen = "127.0.0.1", db = "mojian-settings.db";
    long port = kDefaultPort;
    bool show = false, set = false, local = false;
    SettingsRecord record;
    ServerLimits limits;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        long n = 0;
        double d = 0;
        if (a == "--listen" && more) listen = argv[++i];
        else if (a == "--db" && more) db = argv[++i];
        else if (a == "--port" && more) { if (!ParseCount(argv[++i], 0, 65535, port)) return Usage(); }
        else if (a == "--local") local = true;
        else if (a == "--threads" && more) {
            if (!ParseCount(argv[++i], 1, 64, n)) return Usage();
            limits.threads = static_cast<std::size_t>(n);
        } else if (a == "--max-connections" && more) {
            if (!ParseCount(argv[++i], 1, 1000000, n)) return Usage();
            limits.maxConnections = static_cast<std::size_t>(n);
        } else if (a == "--client-connections" && more) {
            if (!ParseCount(argv[++i], 0, 1000000, n)) return Usage();
            limits.perClient.connectionsPerClient = static_cast<std::size_t>(n);
        } else if (a == "--client-rate" && more) {
            if (!ParseDecimal(argv[++i], 0, 1e6, limits.perClient.requestsPerSecond)) return Usage();
        } else if (a == "--client-burst" && more) {
            if (!ParseDecimal(argv[++i], 1, 1e6, limits.perClient.requestBurst)) return Usage();
        } else if (a == "--request-timeout" && more) {
            if (!ParseDecimal(argv[++i], 0.05, 3600, d)) return Usage();
            limits.requestTimeout = Seconds(d);
        } else if (a == "--keep-alive-timeout" && more) {
            if (!ParseDecimal(argv[++i], 0.05, 3600, d)) return Usage();
            limits.keepAliveTimeout = Seconds(d);
        } else if (a == "--drain-timeout" && more) {
            if (!ParseDecimal(argv[++i], 0, 3600, d)) return Usage();
            limits.drainTimeout = Seconds(d);
        } else if (a == "--backlog" && more) {
            if (!ParseCount(argv[++i], 1, 65535, n)) return Usage();
            limits.backlog = static_cast<int>(n);
        } else if (a == "--trusted-proxy" && more) {
            const auto range = AddressRange::Parse(argv[++i]);
            if (!range) {
                std::fprintf(stderr, "mojian-service: not an address or CIDR range: %s\n", argv[i]);
                return Usage();
            }
            limits.trustedProxies.push_back(*range);
        } else if (a == "--show") show = true;
        else if (a == "--set-record" && i + 3 < argc) {
            set = true;
            record = {argv[i + 1], argv[i + 2], argv[i + 3]};
            i += 3;
        } else return Usage();
    }

    std::string error;
    if (set && !WriteRecord(db, record, error)) return Fail(error);
    // Serving never writes the database: only a local service (make run)
    // makes itself a record to start with.
    if (local && !set && !show &&
        !InitialiseDatabase(db, DefaultRecord(port == 0 ? kDefaultPort : static_cast<int>(port)), error))
        return Fail(error);
    auto reader = SettingsReader::Open(db, error);
    if (!reader) return Fail(error);
    if (set || show) {
        const auto r = reader->Read(&error);
        if (!r) return Fail(error);
        std::printf("version: %s\ndownload: %s\ncontact: %s\n", r->version.c_str(), r->download.c_str(),
                    r->contact.c_str());
        return 0;
    }

    // Signals go to one waiting thread, which stops the server cleanly;
    // every other thread (the serving ones included) has them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    FitDescriptorLimit(limits);
    SettingsServer server(*reader, limits, LogLine);
    if (!server.Bind(listen, static_cast<int>(port), &error)) return Fail("cannot listen on " + error);
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.Stop();
    });
    const std::string host = listen.find(':') != std::string::npos ? "[" + listen + "]" : listen;
    std::printf("listening on http://%s:%d/\n", host.c_str(), server.Port());
    std::fflush(stdout);
    const auto& c = limits.perClient;
    LogLine(LogLevel::Info,
            "database " + db + "; " + std::to_string(limits.threads) + " workers, at most " +
                std::to_string(limits.maxConnections) + " connections, " + std::to_string(c.connectionsPerClient) +
                " per client, " + Figure(c.requestsPerSecond) + " requests/s per client (burst " +
                Figure(c.requestBurst) + "), " + Figure(limits.requestTimeout.count() / 1000.0) +
                " s for a request, " + std::to_string(limits.trustedProxies.size()) + " trusted proxy ranges");
    if (!reader->Read(&error)) LogLine(LogLevel::Warning, "serving, but " + error);
    const bool ok = server.Run();
    // Run also ends when serving fails; wake the waiting thread either way.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return ok ? 0 : 1;
}
