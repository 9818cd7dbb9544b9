// TICMP/TPing: the request data, resolution, events, and a real echo to
// 127.0.0.1 on the Linux backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/icmp.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"

using namespace brevaro::net;

namespace {

struct FakeIcmp : IcmpApi {
  int lookups = 0;
  int sends = 0;
  std::string lastData;
  IcmpRequestOptions lastOptions;
  int replies = 1;
  std::optional<HostEntry> getHostByName(std::string_view name, int* error) override {
    ++lookups;
    if (name == "known.example") return HostEntry{"known.example", {0x0a000001}};
    *error = 11001;
    return std::nullopt;
  }
  int sendEcho(std::uint32_t, std::span<const std::byte> data, const IcmpRequestOptions& options, TIcmpEchoReply& reply,
               std::span<std::byte>, int, int* lastError) override {
    ++sends;
    lastData.assign(reinterpret_cast<const char*>(data.data()), data.size());
    lastOptions = options;
    reply.DataSize = static_cast<std::uint16_t>(data.size());
    *lastError = replies ? 0 : 11010;
    return replies;
  }
};

}  // namespace

TEST(Icmp, RequestDataIsSpacesWithTheIdentificationOverTheStart) {
  auto fake = std::make_unique<FakeIcmp>();
  FakeIcmp& f = *fake;
  TICMP icmp(std::move(fake));
  EXPECT_EQ(icmp.Size(), 56);
  EXPECT_EQ(icmp.Timeout(), 4000);
  EXPECT_EQ(icmp.TTL(), 64);
  icmp.SetAddress("127.0.0.1");
  EXPECT_EQ(icmp.Ping(), 1);
  std::string want = std::string(icmp_identification) + std::string(56 - icmp_identification.size(), ' ');
  EXPECT_EQ(f.lastData, want);
  EXPECT_EQ(f.lastOptions.ttl, 64);
  EXPECT_EQ(f.lastOptions.tos, 0);
  icmp.SetSize(5);
  icmp.Ping();
  EXPECT_EQ(f.lastData, std::string(icmp_identification.substr(0, 5)));
  icmp.SetSize(0);
  icmp.Ping();
  EXPECT_EQ(f.lastData, "");
}

TEST(Icmp, ResolvesOncePerAddress) {
  auto fake = std::make_unique<FakeIcmp>();
  FakeIcmp& f = *fake;
  TICMP icmp(std::move(fake));
  icmp.SetAddress("known.example");
  icmp.Ping();
  icmp.Ping();
  EXPECT_EQ(f.lookups, 1);
  EXPECT_EQ(icmp.HostIP(), "10.0.0.1");
  EXPECT_EQ(icmp.HostName(), "known.example");
  icmp.SetAddress("known.example");
  icmp.Ping();
  EXPECT_EQ(f.lookups, 2);
  icmp.SetAddress("192.168.7.9");
  icmp.Ping();
  EXPECT_EQ(f.lookups, 2);  // a dotted address needs no lookup
  EXPECT_EQ(icmp.HostName(), "192.168.7.9");
}

TEST(Icmp, InvalidAddressesReportAndSendNothing) {
  for (const char* address : {"", "no.such.host", "255.255.255.255"}) {
    auto fake = std::make_unique<FakeIcmp>();
    FakeIcmp& f = *fake;
    TICMP icmp(std::move(fake));
    std::vector<std::string> shown;
    int replyEvents = 0, requestEvents = 0;
    icmp.OnDisplay = [&](TICMP&, const std::string& m) { shown.push_back(m); };
    icmp.OnEchoReply = [&](TICMP&, int) { ++replyEvents; };
    icmp.OnEchoRequest = [&](TICMP&) { ++requestEvents; };
    icmp.SetAddress(address);
    EXPECT_EQ(icmp.Ping(), 0) << address;
    EXPECT_EQ(icmp.LastError(), 11018) << address;
    EXPECT_EQ(replyEvents + requestEvents + f.sends, 0) << address;
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "Invalid host address");
    if (std::string(address) == "no.such.host") {
      EXPECT_EQ(shown, (std::vector<std::string>{"Unable to resolve no.such.host", "Invalid host address"}));
    }
  }
}

TEST(Icmp, TPingForwardsWithItselfAsSender) {
  brevaro::net::posix::EventLoop loop;
  brevaro::net::posix::PosixSocketApi api(loop);
  auto fake = std::make_unique<FakeIcmp>();
  fake->replies = 0;
  TPing ping(api, std::move(fake));
  std::vector<std::string> ev;
  ping.OnEchoRequest = [&](TPing& p, TICMP& i) { ev.push_back(&p == &ping && &i == &ping.Icmp() ? "req" : "?"); };
  ping.OnEchoReply = [&](TPing&, TICMP& i, int e) {
    ev.push_back("reply:" + std::to_string(e) + "/" + std::to_string(i.LastError()));
  };
  ping.SetAddress("10.9.8.7");
  EXPECT_EQ(ping.Ping(), 0);
  EXPECT_EQ(ev, (std::vector<std::string>{"req", "reply:0/11010"}));
  int dns = -1;
  ping.OnDnsLookupDone = [&](TPing&, std::uint16_t e) { dns = e; };
  ping.DnsLookup("10.1.1.1");
  EXPECT_EQ(dns, 0);
  EXPECT_EQ(ping.DnsResult(), "10.1.1.1");
  dns = -1;
  ping.DnsLookup("localhost");
  ASSERT_TRUE(loop.runUntil([&] { return dns != -1; }, 3000));
  EXPECT_EQ(dns, 0);
  EXPECT_EQ(ping.DnsResult(), "127.0.0.1");
}

TEST(Icmp, RealEchoToLoopback) {
  std::unique_ptr<IcmpApi> backend;
  try {
    backend = makeIcmpApi();
  } catch (const TICMPException& e) {
    GTEST_SKIP() << "no ICMP echo on this machine (neither a ping socket nor a raw socket): " << e.what();
  }
  TICMP icmp(std::move(backend));
  int replyError = -1;
  icmp.OnEchoReply = [&](TICMP&, int e) { replyError = e; };
  icmp.SetAddress("127.0.0.1");
  icmp.SetTimeout(2000);
  EXPECT_EQ(icmp.Ping(), 1);
  EXPECT_EQ(replyError, 1);
  EXPECT_EQ(icmp.Reply().DataSize, 56);
  EXPECT_EQ(icmp.Reply().Address, 0x0100007fu);  // 127.0.0.1 in network byte order
  EXPECT_EQ(icmp.LastError(), 0);
}
