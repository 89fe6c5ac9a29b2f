#include "service/server/SettingsServer.h"

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Gbk.h"
#include "service/SettingsExchange.h"
#include "service/server/SettingsStore.h"

namespace mojian::service {

namespace {

// A fixed set of serving threads and a bounded queue in front of them: when
// the queue is full the accepting thread waits, so a flood of connections
// waits in the kernel's backlog instead of growing the process.
class BoundedPool : public httplib::TaskQueue {
public:
    BoundedPool(std::size_t threads, std::size_t maxQueued) : maxQueued_(maxQueued) {
        for (std::size_t i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    }
    ~BoundedPool() override = default;

    void enqueue(std::function<void()> fn) override {
        std::unique_lock<std::mutex> lock(mutex_);
        roomFreed_.wait(lock, [this] { return jobs_.size() < maxQueued_; });
        jobs_.push_back(std::move(fn));
        jobAdded_.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        jobAdded_.notify_all();
        for (auto& t : workers_) t.join();
    }

private:
    void Work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                jobAdded_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;  // stopping, and every accepted connection served
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            roomFreed_.notify_one();
            job();
        }
    }

    const std::size_t maxQueued_;
    std::mutex mutex_;
    std::condition_variable jobAdded_, roomFreed_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};

constexpr const char* kTextGbk = "text/html; charset=gbk";

void SendText(httplib::Response& res, int status, std::string_view utf8) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");  // every query must reach us
    res.set_content(Utf8ToGbk(utf8), kTextGbk);
}

// Small pages behind the seeded download and contact addresses, so a fresh
// local service has somewhere for the program to send the user.
constexpr const char* kDownloadPage =
    "<html><head><title>墨笺下载</title></head><body><p>墨笺的最新版本请向卖家索取。</p></body></html>";
constexpr const char* kContactPage =
    "<html><head><title>联系我们</title></head><body><p>客服在线时间：每天 9:00-21:00。</p></body></html>";

}  // namespace

SettingsServer::SettingsServer(SettingsReader& reader, const ServerLimits& limits)
    : http_(std::make_unique<httplib::Server>()), reader_(reader) {
    httplib::Server& s = *http_;
    const std::size_t threads = limits.threads ? limits.threads : 1;
    const std::size_t queued = limits.queuedConnections ? limits.queuedConnections : 1;
    s.new_task_queue = [threads, queued] { return new BoundedPool(threads, queued); };
    s.set_payload_max_length(limits.maxBody);
    s.set_read_timeout(limits.readTimeoutSec, 0);
    s.set_write_timeout(limits.writeTimeoutSec, 0);
    s.set_keep_alive_timeout(limits.keepAliveTimeoutSec);
    s.set_keep_alive_max_count(limits.keepAliveMaxCount);

    // Answers go out at once rather than waiting on the peer's delayed
    // acknowledgement; accepted connections inherit this from the listener.
    s.set_socket_options([](int sock) {
        httplib::default_socket_options(sock);
        const int on = 1;
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    });

    // Judged before any body is read: a body the query could never need is
    // refused at once instead of being read (and thrown away) to its end, and
    // the connection is closed after the answer.
    const std::size_t maxHeaders = limits.maxHeaders, maxBody = limits.maxBody;
    s.set_pre_routing_handler([maxHeaders, maxBody](const httplib::Request& req, httplib::Response& res) {
        const auto refuse = [&res](int status, std::string_view why) {
            SendText(res, status, why);
            res.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        };
        if (req.headers.size() > maxHeaders) return refuse(431, "too many headers");
        if (req.has_header("Transfer-Encoding")) return refuse(400, "bad request");
        if (req.get_header_value_count("Content-Length") > 1) return refuse(400, "bad request");
        const std::string length = req.get_header_value("Content-Length");
        if (!length.empty()) {
            if (length.size() > 9 || length.find_first_not_of("0123456789") != std::string::npos)
                return refuse(400, "bad request");
            if (std::stoul(length) > maxBody) return refuse(413, "too large");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    const std::string path(kServicePath);
    s.Post(path, [this](const httplib::Request& req, httplib::Response& res) {
        switch (JudgeRequestBody(req.body)) {
        case RequestVerdict::Malformed:
            SendText(res, 400, "bad request");
            return;
        case RequestVerdict::Refused:
            SendText(res, 403, "refused");
            return;
        case RequestVerdict::SystemSettings:
            break;
        }
        const auto record = reader_.Read();
        if (!record) {
            SendText(res, 503, "no record");
            return;
        }
        SendText(res, 200, FormatSettingsAnswer({record->version, "", record->download, "", record->contact}));
    });
    // The query path answers nothing but POST.
    s.Get(path, [](const httplib::Request&, httplib::Response& res) { SendText(res, 405, "method not allowed"); });
    // The program's connectivity probe, when it is pointed here.
    s.Get("/", [](const httplib::Request&, httplib::Response& res) { SendText(res, 200, "ok"); });
    s.Get("/download", [](const httplib::Request&, httplib::Response& res) { SendText(res, 200, kDownloadPage); });
    s.Get("/contact", [](const httplib::Request&, httplib::Response& res) { SendText(res, 200, kContactPage); });

    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) res.set_content(std::to_string(res.status), "text/plain");
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        SendText(res, 500, "internal error");
    });
}

SettingsServer::~SettingsServer() = default;

bool SettingsServer::Bind(const std::string& host, int port) {
    if (port == 0) {
        port_ = http_->bind_to_any_port(host);
        return port_ > 0;
    }
    if (!http_->bind_to_port(host, port)) return false;
    port_ = port;
    return true;
}

bool SettingsServer::Run() {
    runStarted_ = true;
    const bool ok = stopRequested_ || http_->listen_after_bind();
    runEnded_ = true;
    return ok;
}

void SettingsServer::Stop() {
    stopRequested_ = true;
    // A stop that comes just as Run begins must wait until the server listens,
    // or it would be lost and Run would never return.
    if (runStarted_) {
        while (!runEnded_ && !http_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    http_->stop();
}

}  // namespace mojian::service
