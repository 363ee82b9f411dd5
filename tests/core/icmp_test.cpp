#include "core/icmp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net.h"

namespace {

// A TICMP whose echo and lookups are recorded instead of sent.
struct FakeNet {
  int lookups = 0;
  std::vector<uint32_t> echoes;
  std::string data;  // what the last echo carried, with its TTL and TOS
  int ttl = 0, tos = 0;
  int answer = 7;  // round-trip time, or negative for no reply

  TICMP Make() {
    return TICMP(
        [this](uint32_t addr, int, const std::string& d, int t, int s, std::string* echoed) {
          echoes.push_back(addr);
          data = d;
          ttl = t;
          tos = s;
          *echoed = d.substr(0, 4);  // a peer may answer with less
          return answer;
        },
        [this](const std::string& host, uint32_t* addr, std::string* name, int* error) {
          ++lookups;
          if (host == "peer.example") {
            *addr = 0x0A000001;
            *name = "host1.peer.example";  // the name the lookup found
            return true;
          }
          *error = plat::kWsaHOST_NOT_FOUND;
          return false;
        });
  }
};

TEST(Icmp, UnresolvableNameReportsAndSendsNothing) {
  FakeNet net;
  TICMP icmp = net.Make();
  std::vector<std::string> shown;
  int replies = -1;
  icmp.OnDisplay = [&](TICMP*, const std::string& m) { shown.push_back(m); };
  icmp.OnEchoReply = [&](TICMP*, int n) { replies = n; };
  icmp.SetAddress("nowhere.invalid");
  EXPECT_EQ(icmp.Ping(), 0);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Unable to resolve nowhere.invalid");
  EXPECT_EQ(icmp.LastError(), plat::kWsaHOST_NOT_FOUND);
  EXPECT_TRUE(net.echoes.empty());
  EXPECT_EQ(replies, -1);  // no echo, no reply event
}

TEST(Icmp, AddressIsLookedUpOnceUntilItChanges) {
  FakeNet net;
  TICMP icmp = net.Make();
  icmp.SetAddress("peer.example");
  EXPECT_EQ(icmp.Ping(), 1);
  icmp.SetAddress("peer.example");
  EXPECT_EQ(icmp.Ping(), 1);
  EXPECT_EQ(net.lookups, 1);
  EXPECT_EQ(icmp.HostIP, "10.0.0.1");
  EXPECT_EQ(icmp.HostName, "host1.peer.example");
  EXPECT_EQ(icmp.Address(), "peer.example");
  // Dotted text needs no lookup.
  icmp.SetAddress("10.1.2.3");
  EXPECT_EQ(icmp.Ping(), 1);
  EXPECT_EQ(net.lookups, 1);
  ASSERT_EQ(net.echoes.size(), 3u);
  EXPECT_EQ(net.echoes[2], 0x0A010203u);
  EXPECT_EQ(icmp.Reply().RoundTripTime, 7u);
  EXPECT_EQ(icmp.Reply().Address, 0x0A010203u);
}

TEST(Icmp, StartUpFailuresAreToldApart) {
  EXPECT_STREQ(TICMP::StartupFailure(plat::IcmpStart::kNoLibrary), "Unable to register icmp.dll");
  EXPECT_STREQ(TICMP::StartupFailure(plat::IcmpStart::kNoFunctions), "Error loading dll functions");
  EXPECT_STREQ(TICMP::StartupFailure(plat::IcmpStart::kNoHandle), "Unable to get ping handle");
  EXPECT_EQ(TICMP::StartupFailure(plat::IcmpStart::kReady), nullptr);
  // The system's own answer decides whether construction raises.
  const plat::IcmpStart state = plat::IcmpStartup();
  try {
    TICMP icmp;
    EXPECT_EQ(state, plat::IcmpStart::kReady);
  } catch (const TICMPException& e) {
    EXPECT_STREQ(e.what(), TICMP::StartupFailure(state));
  }
}

TEST(Icmp, InvalidAddressGives11018) {
  FakeNet net;
  TICMP icmp = net.Make();
  std::string shown;
  icmp.OnDisplay = [&](TICMP*, const std::string& m) { shown = m; };
  for (const char* bad : {"0.0.0.0", "255.255.255.255"}) {
    icmp.SetAddress(bad);
    EXPECT_EQ(icmp.Ping(), 0);
    EXPECT_EQ(icmp.LastError(), TICMP::kInvalidHostError);
    EXPECT_EQ(shown, "Invalid host address");
  }
  EXPECT_TRUE(net.echoes.empty());
}

TEST(Icmp, RequestCarriesTheBannerTtlAndTypeOfService) {
  FakeNet net;
  TICMP icmp = net.Make();
  icmp.SetAddress("127.0.0.1");
  icmp.Size = 10;
  icmp.TTL = 3;
  icmp.TOS = 0x10;
  icmp.Ping();
  EXPECT_EQ(icmp.RequestData(), std::string(TICMP::kBanner, 10));
  EXPECT_EQ(net.data, icmp.RequestData());  // what is sent is the banner
  EXPECT_EQ(net.ttl, 3);
  EXPECT_EQ(net.tos, 0x10);
  // The reply holds what came back.
  EXPECT_EQ(icmp.Reply().Data, std::string(TICMP::kBanner, 4));
  EXPECT_EQ(icmp.Reply().DataSize, 4);
  icmp.Size = 200;
  icmp.Ping();
  const std::string banner = TICMP::kBanner;
  ASSERT_EQ(icmp.RequestData().size(), 200u);
  EXPECT_EQ(net.data, icmp.RequestData());
  EXPECT_EQ(icmp.RequestData().substr(0, banner.size()), banner);
  EXPECT_EQ(icmp.RequestData().substr(banner.size()), std::string(200 - banner.size(), '\0'));
  icmp.Size = -5;  // nonsense sizes send an empty echo
  EXPECT_EQ(icmp.Ping(), 1);
  EXPECT_TRUE(icmp.RequestData().empty());
}

TEST(Icmp, UnansweredEchoKeepsTheLastReply) {
  FakeNet net;
  TICMP icmp = net.Make();
  icmp.SetAddress("127.0.0.1");
  net.answer = 3;
  ASSERT_EQ(icmp.Ping(), 1);
  net.answer = -1;
  int replies = -1;
  icmp.OnEchoReply = [&](TICMP*, int n) { replies = n; };
  EXPECT_EQ(icmp.Ping(), 0);
  EXPECT_EQ(replies, 0);
  EXPECT_EQ(icmp.LastError(), TICMP::kTimedOutError);
  EXPECT_EQ(icmp.Reply().RoundTripTime, 3u);
  net.answer = -2;
  EXPECT_EQ(icmp.Ping(), 0);
  EXPECT_EQ(icmp.LastError(), TICMP::kGeneralFailure);
}

TEST(Icmp, RealPingOfLoopback) {
  if (!plat::IcmpAvailable()) GTEST_SKIP() << "no ICMP socket can be opened here";
  TICMP icmp;
  icmp.SetAddress("127.0.0.1");
  icmp.Timeout = 2000;
  int requests = 0;
  icmp.OnEchoRequest = [&](TICMP*) { ++requests; };
  EXPECT_EQ(icmp.Ping(), 1);
  EXPECT_EQ(requests, 1);
  EXPECT_EQ(icmp.LastError(), 0);
  EXPECT_EQ(icmp.Reply().Address, 0x7F000001u);
  EXPECT_EQ(icmp.Reply().Status, 0u);
  EXPECT_EQ(icmp.Reply().Data, icmp.RequestData());  // the banner came back
}

}  // namespace
