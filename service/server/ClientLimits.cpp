#include "service/server/ClientLimits.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace mojian::service {

namespace {

constexpr std::uint8_t kV4Mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

IpAddress FromV4(const in_addr& a) {
    IpAddress ip;
    std::memcpy(ip.bytes.data(), kV4Mapped, 12);
    std::memcpy(ip.bytes.data() + 12, &a, 4);
    return ip;
}

std::optional<IpAddress> ParseV4(const std::string& s) {
    in_addr a{};
    if (inet_pton(AF_INET, s.c_str(), &a) != 1) return std::nullopt;
    return FromV4(a);
}

std::optional<IpAddress> ParseV6(const std::string& s) {
    IpAddress ip;
    if (inet_pton(AF_INET6, s.c_str(), ip.bytes.data()) != 1) return std::nullopt;
    return ip;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<IpAddress> IpAddress::Parse(std::string_view text) {
    if (text.empty() || text.size() > 64) return std::nullopt;
    // Proxies write "[2001:db8::1]:443" or "192.0.2.1:443" now and then.
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        return ParseV6(std::string(text.substr(1, close - 1)));
    }
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos)
        return ParseV4(std::string(text.substr(0, colon)));
    if (auto v4 = ParseV4(std::string(text))) return v4;
    return ParseV6(std::string(text));
}

std::optional<IpAddress> IpAddress::FromSockaddr(const sockaddr* sa) {
    if (!sa) return std::nullopt;
    if (sa->sa_family == AF_INET) return FromV4(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr);
    if (sa->sa_family == AF_INET6) {
        IpAddress ip;
        std::memcpy(ip.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, 16);
        return ip;
    }
    return std::nullopt;
}

bool IpAddress::IsV4() const { return std::memcmp(bytes.data(), kV4Mapped, 12) == 0; }

std::string IpAddress::ToString() const {
    char out[INET6_ADDRSTRLEN] = {};
    if (IsV4()) inet_ntop(AF_INET, bytes.data() + 12, out, sizeof out);
    else inet_ntop(AF_INET6, bytes.data(), out, sizeof out);
    return out;
}

ClientKey ClientKey::Of(const IpAddress& address) {
    ClientKey key{address};
    if (!address.IsV4()) std::fill(key.prefix.bytes.begin() + 8, key.prefix.bytes.end(), 0);
    return key;
}

std::string ClientKey::ToString() const { return prefix.IsV4() ? prefix.ToString() : prefix.ToString() + "/64"; }

std::size_t ClientKeyHash::operator()(const ClientKey& k) const {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (const std::uint8_t b : k.prefix.bytes) h = (h ^ b) * 1099511628211ull;
    return static_cast<std::size_t>(h);
}

std::optional<AddressRange> AddressRange::Parse(std::string_view text) {
    text = Trim(text);
    const std::size_t slash = text.find('/');
    const auto address = IpAddress::Parse(text.substr(0, slash));
    if (!address) return std::nullopt;
    AddressRange range;
    range.base_ = *address;
    const int width = address->IsV4() ? 32 : 128;
    int bits = width;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || bits < 0 || bits > width)
            return std::nullopt;
    }
    range.bits_ = bits + (128 - width);
    for (int i = range.bits_; i < 128; ++i) range.base_.bytes[i / 8] &= static_cast<std::uint8_t>(~(0x80 >> (i % 8)));
    return range;
}

bool AddressRange::Contains(const IpAddress& address) const {
    for (int i = 0; i < bits_; ++i) {
        const auto bit = static_cast<std::uint8_t>(0x80 >> (i % 8));
        if ((address.bytes[i / 8] & bit) != (base_.bytes[i / 8] & bit)) return false;
    }
    return true;
}

bool IsTrusted(const IpAddress& address, const std::vector<AddressRange>& trustedProxies) {
    return std::any_of(trustedProxies.begin(), trustedProxies.end(),
                       [&](const AddressRange& r) { return r.Contains(address); });
}

IpAddress ForwardedClient(const IpAddress& peer, std::string_view forwardedFor,
                          const std::vector<AddressRange>& trustedProxies) {
    if (!IsTrusted(peer, trustedProxies)) return peer;
    IpAddress client = peer;
    // Right to left: each trusted proxy appended the address it saw.
    while (!forwardedFor.empty()) {
        const std::size_t comma = forwardedFor.rfind(',');
        const std::string_view item = Trim(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
        forwardedFor = comma == std::string_view::npos ? std::string_view() : forwardedFor.substr(0, comma);
        const auto address = IpAddress::Parse(item);
        if (!address) break;  // nothing beyond garbage can be believed
        client = *address;
        if (!IsTrusted(*address, trustedProxies)) break;
    }
    return client;
}

ClientTable::Client* ClientTable::Find(const ClientKey& key, Clock::time_point now) {
    auto it = clients_.find(key);
    if (it != clients_.end()) return &it->second;
    if (clients_.size() >= settings_.maxTracked) Forget(now);
    if (clients_.size() >= settings_.maxTracked) return nullptr;  // too many at once: newcomers wait
    Client fresh;
    fresh.tokens = settings_.requestBurst;
    fresh.refilled = now;
    return &clients_.emplace(key, fresh).first->second;
}

void ClientTable::Refill(Client& c, Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - c.refilled).count();
    if (seconds > 0) c.tokens = std::min(settings_.requestBurst, c.tokens + seconds * settings_.requestsPerSecond);
    c.refilled = std::max(c.refilled, now);
}

bool ClientTable::OpenConnection(const ClientKey& key, Clock::time_point now) {
    Client* c = Find(key, now);
    if (!c) return false;
    if (settings_.connectionsPerClient && c->connections >= settings_.connectionsPerClient) return false;
    ++c->connections;
    return true;
}

void ClientTable::CloseConnection(const ClientKey& key) {
    const auto it = clients_.find(key);
    if (it != clients_.end() && it->second.connections > 0) --it->second.connections;
}

bool ClientTable::TakeRequest(const ClientKey& key, Clock::time_point now) {
    if (settings_.requestsPerSecond <= 0) return true;
    Client* c = Find(key, now);
    if (!c) return false;
    Refill(*c, now);
    if (c->tokens < 1) return false;
    c->tokens -= 1;
    return true;
}

void ClientTable::Forget(Clock::time_point now) {
    for (auto it = clients_.begin(); it != clients_.end();) {
        Client& c = it->second;
        if (settings_.requestsPerSecond > 0) Refill(c, now);
        const bool full = settings_.requestsPerSecond <= 0 || c.tokens >= settings_.requestBurst;
        it = c.connections == 0 && full ? clients_.erase(it) : std::next(it);
    }
}

}  // namespace mojian::service
