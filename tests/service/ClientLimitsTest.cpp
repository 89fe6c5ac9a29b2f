#include "service/server/ClientLimits.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

namespace mojian::service {
namespace {

using namespace std::chrono_literals;

IpAddress Ip(const char* text) {
    const auto ip = IpAddress::Parse(text);
    EXPECT_TRUE(ip) << text;
    return ip.value_or(IpAddress{});
}

ClientKey Key(const char* text) { return ClientKey::Of(Ip(text)); }

std::vector<AddressRange> Ranges(std::initializer_list<const char*> texts) {
    std::vector<AddressRange> out;
    for (const char* t : texts) out.push_back(AddressRange::Parse(t).value());
    return out;
}

TEST(IpAddress, ReadsTheFormsProxiesWriteAndBothFamiliesAlike) {
    EXPECT_EQ(Ip("192.0.2.1").ToString(), "192.0.2.1");
    EXPECT_EQ(Ip("192.0.2.1:8080"), Ip("192.0.2.1"));
    EXPECT_EQ(Ip("::ffff:192.0.2.1"), Ip("192.0.2.1"));  // as a dual-stack listener reports it
    EXPECT_EQ(Ip("[2001:db8::1]:443"), Ip("2001:db8::1"));
    EXPECT_EQ(Ip("2001:DB8::1").ToString(), "2001:db8::1");
    for (const char* junk : {"", "unknown", "192.0.2", "192.0.2.256", "[2001:db8::1", "2001:db8:::1", "1.2.3.4:5:6"})
        EXPECT_FALSE(IpAddress::Parse(junk)) << junk;

    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    inet_pton(AF_INET, "198.51.100.9", &v4.sin_addr);
    EXPECT_EQ(IpAddress::FromSockaddr(reinterpret_cast<sockaddr*>(&v4)), Ip("198.51.100.9"));
}

TEST(ClientKey, OneIpv4AddressOrOneIpv6Slash64) {
    EXPECT_EQ(Key("2001:db8:1:2::1"), Key("2001:db8:1:2:ffff::9"));
    EXPECT_NE(Key("2001:db8:1:2::1"), Key("2001:db8:1:3::1"));
    EXPECT_NE(Key("192.0.2.1"), Key("192.0.2.2"));
    EXPECT_EQ(Key("2001:db8:1:2::1").ToString(), "2001:db8:1:2::/64");
    EXPECT_EQ(Key("192.0.2.1").ToString(), "192.0.2.1");
}

TEST(AddressRange, MatchesItsPrefixOnly) {
    const auto ranges = Ranges({"10.0.0.0/8", "192.0.2.7", "2001:db8::/32"});
    EXPECT_TRUE(IsTrusted(Ip("10.200.3.4"), ranges));
    EXPECT_FALSE(IsTrusted(Ip("11.0.0.1"), ranges));
    EXPECT_TRUE(IsTrusted(Ip("192.0.2.7"), ranges));
    EXPECT_FALSE(IsTrusted(Ip("192.0.2.8"), ranges));
    EXPECT_TRUE(IsTrusted(Ip("2001:db8:ffff::1"), ranges));
    EXPECT_FALSE(IsTrusted(Ip("2001:db9::1"), ranges));
    // An IPv4 range never matches IPv6 addresses that merely share bits.
    EXPECT_FALSE(IsTrusted(Ip("::a00:1"), ranges));
    EXPECT_TRUE(AddressRange::Parse("10.1.2.3/8").value().Contains(Ip("10.9.9.9")));  // host bits ignored
    EXPECT_TRUE(AddressRange::Parse("0.0.0.0/0").value().Contains(Ip("203.0.113.1")));
    for (const char* junk : {"10.0.0.0/33", "10.0.0.0/", "10.0.0.0/x", "2001:db8::/129", "host/8", ""})
        EXPECT_FALSE(AddressRange::Parse(junk)) << junk;
}

TEST(ForwardedClient, BelievesOnlyWhatTrustedProxiesWrote) {
    const auto proxies = Ranges({"10.0.0.0/8"});
    const IpAddress lb = Ip("10.0.0.5"), stranger = Ip("198.51.100.1");
    // From anyone else the header is the client's own word and ignored.
    EXPECT_EQ(ForwardedClient(stranger, "203.0.113.9", proxies), stranger);
    // The right-most entry not itself a proxy; what the client wrote to
    // the left of it does not count.
    EXPECT_EQ(ForwardedClient(lb, "203.0.113.9", proxies), Ip("203.0.113.9"));
    EXPECT_EQ(ForwardedClient(lb, "1.1.1.1, 203.0.113.9, 10.0.0.7", proxies), Ip("203.0.113.9"));
    EXPECT_EQ(ForwardedClient(lb, "1.1.1.1,203.0.113.9", proxies), Ip("203.0.113.9"));
    EXPECT_EQ(ForwardedClient(lb, "", proxies), lb);
    EXPECT_EQ(ForwardedClient(lb, "garbage", proxies), lb);
    EXPECT_EQ(ForwardedClient(lb, "garbage, 10.0.0.7", proxies), Ip("10.0.0.7"));
}

TEST(ClientTable, ConnectionsPerClientAreCappedAndFreedOnClose) {
    ClientLimitSettings s;
    s.connectionsPerClient = 2;
    ClientTable t(s);
    const auto now = ClientTable::Clock::now();
    const ClientKey a = Key("192.0.2.1"), b = Key("192.0.2.2");
    EXPECT_TRUE(t.OpenConnection(a, now));
    EXPECT_TRUE(t.OpenConnection(a, now));
    EXPECT_FALSE(t.OpenConnection(a, now));
    EXPECT_TRUE(t.OpenConnection(b, now));  // the others are not held back
    t.CloseConnection(a);
    EXPECT_TRUE(t.OpenConnection(a, now));
    EXPECT_FALSE(t.OpenConnection(a, now));
    t.CloseConnection(Key("192.0.2.99"));  // never opened: nothing happens
}

TEST(ClientTable, RequestsFollowTheRateAfterABurst) {
    ClientLimitSettings s;
    s.requestsPerSecond = 2;
    s.requestBurst = 3;
    ClientTable t(s);
    const auto t0 = ClientTable::Clock::now();
    const ClientKey a = Key("192.0.2.1");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(t.TakeRequest(a, t0)) << i;
    EXPECT_FALSE(t.TakeRequest(a, t0));
    EXPECT_TRUE(t.TakeRequest(Key("192.0.2.2"), t0));
    EXPECT_FALSE(t.TakeRequest(a, t0 + 400ms));  // 0.8 of a request earned
    EXPECT_TRUE(t.TakeRequest(a, t0 + 500ms));
    EXPECT_FALSE(t.TakeRequest(a, t0 + 500ms));
    // A long pause earns the burst back, never more.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(t.TakeRequest(a, t0 + 1h)) << i;
    EXPECT_FALSE(t.TakeRequest(a, t0 + 1h));

    ClientLimitSettings unlimited;
    unlimited.requestsPerSecond = 0;
    ClientTable u(unlimited);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(u.TakeRequest(a, t0));
}

TEST(ClientTable, ForgetsOnlyClientsThatAreAsGoodAsNew) {
    ClientLimitSettings s;
    s.requestsPerSecond = 1;
    s.requestBurst = 2;
    s.connectionsPerClient = 1;
    s.maxTracked = 3;
    ClientTable t(s);
    const auto t0 = ClientTable::Clock::now();
    const ClientKey held = Key("192.0.2.1"), busy = Key("192.0.2.2"), quiet = Key("192.0.2.3");
    ASSERT_TRUE(t.OpenConnection(held, t0));
    ASSERT_TRUE(t.TakeRequest(busy, t0));
    ASSERT_TRUE(t.TakeRequest(quiet, t0));
    EXPECT_EQ(t.Tracked(), 3u);
    // Full: a newcomer waits until someone can be forgotten.
    EXPECT_FALSE(t.TakeRequest(Key("192.0.2.4"), t0));
    ASSERT_TRUE(t.TakeRequest(busy, t0 + 900ms));
    t.Forget(t0 + 1s);  // quiet has its burst back; busy has not; held holds a connection
    EXPECT_EQ(t.Tracked(), 2u);
    EXPECT_FALSE(t.OpenConnection(held, t0 + 1s));  // still counted: its connection was not forgotten
    EXPECT_TRUE(t.TakeRequest(Key("192.0.2.4"), t0 + 1s));
}

}  // namespace
}  // namespace mojian::service
