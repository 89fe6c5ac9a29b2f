// The settings service in-process on a free loopback port, its record in a
// fresh database, and the ways the tests speak to it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "service/SettingsExchange.h"
#include "service/server/SettingsServer.h"
#include "service/server/SettingsStore.h"
#include "tests/TempFolder.h"
#include "tests/service/LoopbackClient.h"

namespace mojian::service {

// The client side, as every service test speaks it.
using mojian::testing::CarriesRecord;
using mojian::testing::ConnectLoopback;
using mojian::testing::HttpAnswer;
using mojian::testing::LoopbackSocket;
using mojian::testing::QueryRequest;
using mojian::testing::ReadAnswer;
using mojian::testing::ReadUntilClosed;
using mojian::testing::SendAll;
using mojian::testing::TempFolder;

inline const SettingsRecord kRecord{"1.0", "http://127.0.0.1/下载", "http://127.0.0.1/联系"};

inline std::string Post(const std::string& body, const std::string& path = std::string(kServicePath)) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

inline std::string Get(const std::string& path, const std::string& method = "GET") {
    return method + " " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
}

// Sends `request` as it is from `from`, then reads until the service closes
// or a few seconds pass; `halfClose` ends the sending side right after.
inline std::string Exchange(int port, const std::string& request, const std::string& from = "",
                            bool halfClose = false) {
    LoopbackSocket s = ConnectLoopback(port, from, 3000);
    if (!s) return "no connection";
    SendAll(s, request);
    if (halfClose) shutdown(s.fd(), SHUT_WR);
    return ReadUntilClosed(s);
}

inline int StatusOf(const std::string& response) {
    int status = 0;
    return std::sscanf(response.c_str(), "HTTP/1.1 %d", &status) == 1 ? status : 0;
}

inline std::string BodyOf(const std::string& response) {
    const std::size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : GbkToUtf8(response.substr(at + 4));
}

// Field 0 of the record in an answer, or a marker when there is none.
inline std::string VersionIn(const std::string& response) {
    const auto fields = ParseSettingsAnswer(BodyOf(response));
    return fields.empty() ? "<no record>" : fields[0];
}

inline bool HasRecord(const std::string& response) { return response.find("\xA4\xA4\xA5\xBC") != std::string::npos; }

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = JoinPath(folder_.Utf8(), "settings.db");
        std::string error;
        ASSERT_TRUE(WriteRecord(db_, kRecord, error)) << error;
        reader_ = SettingsReader::Open(db_, error);
        ASSERT_TRUE(reader_) << error;
        StartServer({});
    }
    void TearDown() override { StopServer(); }

    void StartServer(const ServerLimits& limits) {
        limits_ = limits;
        server_ = std::make_unique<SettingsServer>(*reader_, limits, [this](LogLevel, const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex_);
            log_.push_back(line);
        });
        ASSERT_TRUE(server_->Bind("127.0.0.1", 0));
        port_ = server_->Port();
        thread_ = std::thread([this] { server_->Run(); });
    }
    void StopServer() {
        if (!server_) return;
        server_->Stop();
        thread_.join();
        server_.reset();
    }
    // Run ends by itself once stopped and drained.
    void AwaitStopped() {
        thread_.join();
        server_.reset();
    }

    bool Logged(const std::string& part) {
        std::lock_guard<std::mutex> lock(logMutex_);
        for (const auto& line : log_) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    }

    TempFolder folder_;
    std::string db_;
    std::unique_ptr<SettingsReader> reader_;
    std::unique_ptr<SettingsServer> server_;
    ServerLimits limits_;
    std::thread thread_;
    int port_ = 0;
    std::mutex logMutex_;
    std::vector<std::string> log_;
};

}  // namespace mojian::service
