// mojian-service: the maker's settings service for the 墨笺 program.
//
//   mojian-service [--listen ADDR] [--port N] [--db FILE] [--threads N]
//   mojian-service --db FILE --set-record VERSION DOWNLOAD-URL CONTACT-URL
//   mojian-service --db FILE --show
//
// Serving: prints "listening on http://ADDR:PORT/" once it accepts
// connections (port 0 picks a free one) and runs until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>

#include "service/server/SettingsServer.h"
#include "service/server/SettingsStore.h"

namespace {

using namespace mojian::service;

constexpr int kDefaultPort = 18936;

int Usage() {
    std::fprintf(stderr,
                 "usage: mojian-service [--listen ADDR] [--port N] [--db FILE] [--threads N]\n"
                 "       mojian-service [--db FILE] --set-record VERSION DOWNLOAD-URL CONTACT-URL\n"
                 "       mojian-service [--db FILE] --show\n");
    return 2;
}

bool ParseNumber(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string listen = "127.0.0.1", db = "mojian-settings.db";
    int port = kDefaultPort, threads = 8;
    bool show = false, set = false;
    SettingsRecord record;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--listen" && more) listen = argv[++i];
        else if (a == "--db" && more) db = argv[++i];
        else if (a == "--port" && more) { if (!ParseNumber(argv[++i], 0, 65535, port)) return Usage(); }
        else if (a == "--threads" && more) { if (!ParseNumber(argv[++i], 1, 256, threads)) return Usage(); }
        else if (a == "--show") show = true;
        else if (a == "--set-record" && i + 3 < argc) {
            set = true;
            record = {argv[i + 1], argv[i + 2], argv[i + 3]};
            i += 3;
        } else return Usage();
    }

    std::string error;
    if (set) {
        if (!WriteRecord(db, record, error)) {
            std::fprintf(stderr, "mojian-service: %s\n", error.c_str());
            return 1;
        }
    }
    if (!InitialiseDatabase(db, DefaultRecord(port == 0 ? kDefaultPort : port), error)) {
        std::fprintf(stderr, "mojian-service: %s\n", error.c_str());
        return 1;
    }
    auto reader = SettingsReader::Open(db, error);
    if (!reader) {
        std::fprintf(stderr, "mojian-service: %s\n", error.c_str());
        return 1;
    }
    if (set || show) {
        const auto r = reader->Read();
        if (!r) return 1;
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

    SettingsServer server(*reader, ServerLimits{static_cast<std::size_t>(threads)});
    if (!server.Bind(listen, port)) {
        std::fprintf(stderr, "mojian-service: cannot listen on %s:%d\n", listen.c_str(), port);
        return 1;
    }
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.Stop();
    });
    std::printf("listening on http://%s:%d/\n", listen.c_str(), server.Port());
    std::fflush(stdout);
    const bool ok = server.Run();
    // Run also ends when listening fails; wake the waiting thread either way.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return ok ? 0 : 1;
}
