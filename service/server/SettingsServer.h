// The HTTP side of the maker's settings service: answers the program's
// system-settings query and the connectivity probe, and nothing else. It
// never runs SQL that arrives on the wire; a request can only select which
// fixed answer it gets.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace mojian::service {

class SettingsReader;

struct ServerLimits {
    std::size_t threads = 8;          // requests served at once
    std::size_t queuedConnections = 64;  // accepted, waiting for a thread
    std::size_t maxBody = 4096;       // the real query is about 130 bytes
    int readTimeoutSec = 5;
    int writeTimeoutSec = 5;
    int keepAliveTimeoutSec = 2;
    std::size_t keepAliveMaxCount = 20;
    std::size_t maxHeaders = 64;
};

class SettingsServer {
public:
    SettingsServer(SettingsReader& reader, const ServerLimits& limits = {});
    ~SettingsServer();
    SettingsServer(const SettingsServer&) = delete;
    SettingsServer& operator=(const SettingsServer&) = delete;

    // Port 0 takes a free one; Port() then tells which.
    bool Bind(const std::string& host, int port);
    int Port() const { return port_; }

    // Serves until Stop() is called (from any thread).
    bool Run();
    void Stop();

private:
    std::unique_ptr<httplib::Server> http_;
    SettingsReader& reader_;
    int port_ = -1;
    std::atomic<bool> stopRequested_{false}, runStarted_{false}, runEnded_{false};
};

}  // namespace mojian::service
