// Who a client is and how much of the service it may use: connections held
// at once and requests per second, per client address. Pure bookkeeping with
// the time passed in, so the limits are tested without sockets or waiting.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sockaddr;

namespace mojian::service {

// An IPv4 or IPv6 address, IPv4 held in its IPv4-mapped IPv6 form so both
// families compare alike (a dual-stack listener reports IPv4 peers so).
struct IpAddress {
    std::array<std::uint8_t, 16> bytes{};

    static std::optional<IpAddress> Parse(std::string_view text);  // "192.0.2.1", "2001:db8::1"
    static std::optional<IpAddress> FromSockaddr(const sockaddr* sa);
    bool IsV4() const;
    std::string ToString() const;
    bool operator==(const IpAddress&) const = default;
};

// The unit the limits count in: one IPv4 address, or one IPv6 /64 (a single
// subscriber usually holds a whole /64, so counting addresses would let one
// client pose as millions).
struct ClientKey {
    IpAddress prefix;
    static ClientKey Of(const IpAddress& address);
    std::string ToString() const;  // the address, or "2001:db8:1:2::/64"
    bool operator==(const ClientKey&) const = default;
};

struct ClientKeyHash {
    std::size_t operator()(const ClientKey& k) const;
};

// "10.0.0.0/8", "2001:db8::/32", or one address.
class AddressRange {
public:
    static std::optional<AddressRange> Parse(std::string_view text);
    bool Contains(const IpAddress& address) const;

private:
    IpAddress base_;
    int bits_ = 128;
};

// The client a request speaks for. A connection from a trusted proxy (a load
// balancer in front of the service) speaks for the address the proxy put in
// X-Forwarded-For: the right-most entry that is not itself a trusted proxy.
// Anything else, or nothing usable there, leaves the peer itself.
IpAddress ForwardedClient(const IpAddress& peer, std::string_view forwardedFor,
                          const std::vector<AddressRange>& trustedProxies);
bool IsTrusted(const IpAddress& address, const std::vector<AddressRange>& trustedProxies);

struct ClientLimitSettings {
    std::size_t connectionsPerClient = 32;  // 0: no cap
    double requestsPerSecond = 10;          // sustained, per client; 0: no limit
    double requestBurst = 40;               // requests a quiet client may send at once
    std::size_t maxTracked = 100000;        // clients remembered at once
};

class ClientTable {
public:
    using Clock = std::chrono::steady_clock;

    explicit ClientTable(const ClientLimitSettings& settings) : settings_(settings) {}

    // A new connection from `key`: false when the client already holds its
    // share (the connection is then refused and not counted).
    bool OpenConnection(const ClientKey& key, Clock::time_point now);
    void CloseConnection(const ClientKey& key);

    // One request from `key`: false when it is over its rate.
    bool TakeRequest(const ClientKey& key, Clock::time_point now);

    // Forgets clients with no connection whose allowance has filled up again
    // (they are as good as new); called now and then.
    void Forget(Clock::time_point now);

    std::size_t Tracked() const { return clients_.size(); }

private:
    struct Client {
        std::size_t connections = 0;
        double tokens = 0;
        Clock::time_point refilled;
    };
    Client* Find(const ClientKey& key, Clock::time_point now);
    void Refill(Client& c, Clock::time_point now) const;

    ClientLimitSettings settings_;
    std::unordered_map<ClientKey, Client, ClientKeyHash> clients_;
};

}  // namespace mojian::service
