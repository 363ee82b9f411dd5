// test-label: concurrency
// The node's handshakes on 127.0.0.1 against peers scripted byte by byte:
// exact bytes out, refusals, the 0.4 fallback, incoming handshakes with
// admission and cache-server mode, and the faults a peer can commit.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "core/global_functions.h"
#include "peer/gnutella/gnutella.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/support/test_util.h"
#include "tools/gnutella_servent.h"

using namespace std::string_literals;

namespace {

// A hang check, not a speed goal: Stop must not wait on a blocked call.
constexpr int64_t kPromptMs = 3000;

bool Eventually(const std::function<bool()>& pred, int ms = 10000) { return testutil::PumpUntil(pred, ms); }

// A listener the test answers by hand.
class RawListener {
 public:
  RawListener() { l_.Listen("127.0.0.1", 0, true); }
  int Port() const { return l_.LocalPort(); }
  std::unique_ptr<TSocket> Accept(int seconds = 5) {
    auto s = std::make_unique<TSocket>();
    s->SetTimeout(seconds);
    try {
      s->Accept(l_);
    } catch (const ESocket&) {
      return nullptr;
    }
    return s;
  }

 private:
  TSocket l_;
};

// A connection to the node, with a time-out on every wait.
std::unique_ptr<TSocket> Dial(int port) {
  auto s = std::make_unique<TSocket>();
  s->SetTimeout(5);
  s->Connect("127.0.0.1", port);
  return s;
}

// Bytes up to and including an empty line (CR LF CR LF or LF LF).
std::string ReadHead(TSocket& s) {
  std::string t;
  while (t.size() < 100000) {
    t += char(s.ReadByte());
    if (t.size() >= 2 && t.compare(t.size() - 2, 2, "\n\n") == 0) break;
    if (t.size() >= 4 && t.compare(t.size() - 4, 4, "\r\n\r\n") == 0) break;
  }
  return t;
}

std::string ReadBytes(TSocket& s, int n) {
  std::string t(size_t(n), '\0');
  s.ReadExact(t.data(), n);
  return t;
}

// True when the other side closes within the time (whatever it sends first).
bool WaitClosed(TSocket& s, int seconds) {
  s.SetTimeout(seconds);
  try {
    for (;;) {
      char buf[512];
      s.Recv(buf, sizeof buf);
    }
  } catch (const ESocket& e) {
    return e.Code != kNetTimeout;
  }
}

// Sends header bytes one at a time, the program's clock moved on a second
// before each, far longer than the peer time-out (a peer that drips its
// handshake); true when the other side has closed the connection.
bool DripUntilClosed(TSocket& s, testutil::MovedClock& clock) {
  const std::string line = "X-Padding: " + std::string(100, 'x') + "\r\n";
  try {
    for (int i = 0; i < 200; ++i) {
      clock.Advance(1000);
      s.WriteAll(&line[size_t(i) % line.size()], 1);
    }
  } catch (const ESocket&) {
    return true;  // closed already
  }
  return WaitClosed(s, 10);
}

std::unique_ptr<TGnutella> MakeNode(const std::function<void(TGnutellaSettings&)>& tweak, int tickMs = 50) {
  auto n = std::make_unique<TGnutella>();
  n->SetBindAddress("127.0.0.1");
  TGnutellaSettings s;
  s.bFirewalled = true;
  if (tweak) tweak(s);
  n->SetSettings(s);
  TGnutellaTimings t;
  t.tickMs = tickMs;
  n->SetTimings(t);
  return n;
}

int64_t TimedStop(TGnutella& n) {
  int64_t start = plat::MonotonicMs();
  n.Stop();
  return plat::MonotonicMs() - start;
}

std::string Ok200(const std::string& extra) {
  return "GNUTELLA/0.6 200 OK\r\nUser-Agent: Raw 1.0\r\nX-Ultrapeer: True\r\n" + extra + "\r\n";
}

}  // namespace

TEST(GnutellaHandshake, OutgoingBytesFirewalledThenFirstPing) {
  for (bool needed : {true, false}) {
    RawListener peer;
    auto node = MakeNode(nullptr);
    node->AddSeedHost("127.0.0.1", peer.Port());
    node->Start(5050);
    EXPECT_EQ(node->iLocalPort(), 0);  // firewalled: no listener
    auto s = peer.Accept();
    ASSERT_TRUE(s);
    EXPECT_EQ(ReadHead(*s),
              "GNUTELLA CONNECT/0.6\r\nUser-Agent: Tarnwick 4.0\r\nX-Ultrapeer: TRUE\r\n"
              "Uptime: 00D 00H 00M\r\n\r\n");
    s->WriteAll(Ok200(needed ? "X-Ultrapeer-Needed: true\r\n" : "X-Ultrapeer-Needed: false\r\n"));
    // Taking the peer's guidance, a leaf link says so in the final answer.
    EXPECT_EQ(ReadHead(*s), needed ? "GNUTELLA/0.6 200 OK\r\n\r\n" : "GNUTELLA/0.6 200 OK\r\nX-Ultrapeer: FALSE\r\n\r\n");
    std::string ping = ReadBytes(*s, 23);
    EXPECT_EQ(ping.substr(4, 4), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(ping.substr(16), "\x00\x01\x00\x00\x00\x00\x00"s);  // ping, TTL 1, hops 0, empty
    EXPECT_TRUE(Eventually([&] { return node->ConnectionCount() == 1; }));
    EXPECT_EQ(node->UltrapeerLinkCount(), 1);
    EXPECT_LT(TimedStop(*node), kPromptMs);
    EXPECT_TRUE(WaitClosed(*s, 5));
  }
}

TEST(GnutellaHandshake, OutgoingBytesOfAListeningLeaf) {
  RawListener peer;
  auto node = MakeNode([](TGnutellaSettings& s) {
    s.bFirewalled = false;
    s.sUltraPeerMode = umLeaf;
    s.sUserAgent = "Tarnwick Test";
  });
  node->AddSeedHost("127.0.0.1", peer.Port());
  node->Start(0);
  ASSERT_GT(node->iLocalPort(), 0);
  auto s = peer.Accept();
  ASSERT_TRUE(s);
  EXPECT_EQ(ReadHead(*s), "GNUTELLA CONNECT/0.6\r\nUser-Agent: Tarnwick Test\r\nX-Ultrapeer: FALSE\r\n"
                          "X-My-Address: 127.0.0.1:" + std::to_string(node->iLocalPort()) +
                              "\r\nUptime: 00D 00H 00M\r\n\r\n");
  s->WriteAll(Ok200(""));
  EXPECT_EQ(ReadHead(*s), "GNUTELLA/0.6 200 OK\r\n\r\n");
  EXPECT_TRUE(Eventually([&] { return node->ConnectionCount() == 1; }));
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(GnutellaHandshake, RefusalClosesAndTeachesHostsWithoutFallback) {
  RawListener peer;
  auto node = MakeNode(nullptr, 60000);  // only Start's own manager pass
  node->AddSeedHost("127.0.0.1", peer.Port());
  node->Start(0);
  auto s = peer.Accept();
  ASSERT_TRUE(s);
  ReadHead(*s);
  s->WriteAll("GNUTELLA/0.6 503 Full\r\nX-Try-Ultrapeers: 127.0.0.9:1111,  127.0.0.9:2222\r\n\r\n");
  EXPECT_TRUE(WaitClosed(*s, 5));
  EXPECT_FALSE(peer.Accept(1));  // a refusal is no error: no 0.4 attempt
  EXPECT_EQ(node->ConnectionCount(), 0);
  auto cache = node->HostCache();
  ASSERT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache[0].Key(), "127.0.0.9:1111");
  EXPECT_EQ(cache[1].Key(), "127.0.0.9:2222");
}

TEST(GnutellaHandshake, DeflateDemandingServentIsNotHammered) {
  TServentScript script;
  script.RefuseStatus = 403;
  TGnutellaServent servent(script);
  ASSERT_TRUE(servent.Start());
  auto node = MakeNode(nullptr, 10);
  node->AddSeedHost("127.0.0.1", servent.Port());
  node->Start(0);
  ASSERT_TRUE(Eventually([&] { return servent.Links().size() == 1 && servent.OpenLinks() == 0; }));
  plat::Thread::Sleep(500);  // fifty manager passes
  EXPECT_EQ(servent.Links().size(), 1u);
  EXPECT_EQ(node->ConnectionCount(), 0);
  EXPECT_EQ(node->PendingCount(), 0);
}

TEST(GnutellaHandshake, FallsBackToProtocol04AfterAnError) {
  RawListener peer;
  auto node = MakeNode(nullptr);
  std::vector<std::string> events;
  std::mutex m;
  auto record = [&](const char* what) {
    return [&, what](TGnutella&, const TConnectionInfo& i) {
      std::lock_guard<std::mutex> g(m);
      events.push_back(std::string(what) + " " + i.LocalProtocol + "/" + i.RemoteProtocol);
    };
  };
  node->OnPendingConnection = record("pending");
  node->OnConnect = record("connect");
  node->OnDisconnect = record("disconnect");
  node->AddSeedHost("127.0.0.1", peer.Port());
  std::atomic<bool> scripted{false};
  std::string second;
  std::thread script([&] {
    auto s = peer.Accept();
    if (!s) return;
    ReadHead(*s);
    s->Close();  // a servent that does not speak 0.6
    auto t = peer.Accept();
    if (!t) return;
    second = ReadHead(*t);
    t->WriteAll("GNUTELLA OK\n\n");
    ReadBytes(*t, 23);  // the first ping
    scripted = true;
    WaitClosed(*t, 10);
  });
  node->Start(0);  // the events run here, on the main thread
  EXPECT_TRUE(testutil::PumpUntil([&] { return scripted.load() && node->ConnectionCount() == 1; }, 10000));
  EXPECT_EQ(second, "GNUTELLA CONNECT/0.4\n\n");
  EXPECT_EQ(node->UltrapeerLinkCount(), 1);
  EXPECT_LT(TimedStop(*node), kPromptMs);
  script.join();
  std::lock_guard<std::mutex> g(m);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0].substr(0, 8), "pending ");
  EXPECT_EQ(events[1], "connect Gnutella 0.4/Gnutella 0.4");
  EXPECT_EQ(events.back(), "disconnect Gnutella 0.4/Gnutella 0.4");
}

TEST(GnutellaHandshake, IncomingHandshakeAndAdmission) {
  auto node = MakeNode([](TGnutellaSettings& s) {
    s.bFirewalled = false;
    s.iMinUltraPeers = 1;
    s.iMaxUltraPeers = 1;
    s.iMaxPeers = 0;
  }, 60000);
  node->Start(0);
  ASSERT_GT(node->iLocalPort(), 0);
  node->AddHost("127.0.0.8", 808);

  auto c = Dial(node->iLocalPort());
  c->WriteAll("GNUTELLA CONNECT/0.6\r\nUser-Agent: Raw 1.0\r\nX-Ultrapeer: True\r\n"
             "X-My-Address: 127.0.0.1:7777\r\nUptime: 01D 02H 03M\r\n\r\n");
  std::string answer = ReadHead(*c);
  const std::string own = "127.0.0.1:" + std::to_string(node->iLocalPort());
  // With room for an ultrapeer and no demand from the peer, this link
  // leaves ultrapeer mode; with this peer no more ultrapeers are wanted.
  EXPECT_EQ(answer, "GNUTELLA/0.6 200 OK\r\nX-Ultrapeer: FALSE\r\nX-Try-Ultrapeers: 127.0.0.8:808\r\n"
                    "X-My-Address: " + own + "\r\nX-UltraPeer-Needed: FALSE\r\nUser-Agent: Tarnwick 4.0\r\n\r\n");
  c->WriteAll("GNUTELLA/0.6 200 OK\r\n\r\n");
  std::string ping = ReadBytes(*c, 23);
  EXPECT_EQ(ping[16], char(kDescPing));
  ASSERT_TRUE(Eventually([&] { return node->ConnectionCount() == 1; }));
  auto known = node->KnownUptimeHosts();
  ASSERT_EQ(known.size(), 1u);
  EXPECT_EQ(known[0].Key(), "127.0.0.1:7777");  // its listening port, not the ephemeral one
  EXPECT_EQ(known[0].Uptime, 1440 + 120 + 3);

  // Full for 0.4 peers now (one ultrapeer link of one allowed): closed.
  auto old = Dial(node->iLocalPort());
  old->WriteAll("GNUTELLA CONNECT/0.4\n\n");
  EXPECT_TRUE(WaitClosed(*old, 5));
  // ... and for further 0.6 ultrapeers: a 503 with the same headers.
  auto more = Dial(node->iLocalPort());
  more->WriteAll("GNUTELLA CONNECT/0.6\r\nX-Ultrapeer: True\r\n\r\n");
  EXPECT_EQ(ReadHead(*more).substr(0, 24), "GNUTELLA/0.6 503 Sorry\r\n");
  EXPECT_TRUE(WaitClosed(*more, 5));
  EXPECT_EQ(node->ConnectionCount(), 1);

  // A 0.4 peer is taken while there is room.
  c->Close();
  ASSERT_TRUE(Eventually([&] { return node->ConnectionCount() == 0; }));
  auto again = Dial(node->iLocalPort());
  again->WriteAll("GNUTELLA CONNECT/0.4\n\n");
  EXPECT_EQ(ReadHead(*again), "GNUTELLA OK\n\n");
  EXPECT_TRUE(Eventually([&] { return node->ConnectionCount() == 1; }));
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(GnutellaHandshake, CacheServerRefusesAndKeepsAnnouncedHosts) {
  auto node = MakeNode([](TGnutellaSettings& s) {
    s.bFirewalled = false;
    s.bIsCacheServer = true;
    s.iMaxHostCacheSize = 30;
  }, 60000);
  node->Start(0);
  for (int i = 1; i <= 12; ++i) node->AddHost("127.0.1." + std::to_string(i), 6000 + i);
  // A text long enough for line breaks in plain base64; every key is given,
  // so the next text starts over, with the peer's hosts added at the end.
  const std::string ownList = node->HostListText();
  ASSERT_GT(ownList.size(), 61u);
  const std::string expectedList = ownList + ", 127.0.2.1:1, 127.0.2.2:2, 127.0.2.3:3";

  auto c = Dial(node->iLocalPort());
  c->WriteAll("GNUTELLA CONNECT/0.6\r\nX-Ultrapeer: True\r\nX-Try-Ultrapeers: 127.0.2.1:1, 127.0.2.2:2\r\n"
             "X-My-Address: 127.0.2.3:3\r\n\r\n");
  std::string answer = ReadHead(*c);
  EXPECT_TRUE(WaitClosed(*c, 5));
  const std::string prefix = "GNUTELLA/0.6 503 Sorry\r\nX-Tarn-Info: ";
  ASSERT_EQ(answer.substr(0, prefix.size()), prefix);
  size_t end = answer.find("\r\n", prefix.size());
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(answer.substr(end), "\r\nUser-Agent: Tarnwick 4.0\r\n\r\n");  // nothing broke the value
  std::string value = answer.substr(prefix.size(), end - prefix.size());
  EXPECT_EQ(Base64Decode(value), expectedList);

  auto cache = node->HostCache();
  std::vector<std::string> keys;
  for (auto& h : cache) keys.push_back(h.Key());
  for (const char* k : {"127.0.2.1:1", "127.0.2.2:2", "127.0.2.3:3"})
    EXPECT_NE(std::find(keys.begin(), keys.end(), k), keys.end()) << k;
  EXPECT_EQ(node->ConnectionCount(), 0);
}

TEST(GnutellaHandshake, MisbehavingPeersAreClosed) {
  auto node = MakeNode([](TGnutellaSettings& s) { s.bFirewalled = false; }, 60000);
  node->Start(0);
  const int port = node->iLocalPort();

  auto longLine = Dial(port);
  longLine->WriteAll("GNUTELLA CONNECT/0.6\r\nX-Long: " + std::string(5000, 'x') + "\r\n\r\n");
  EXPECT_TRUE(WaitClosed(*longLine, 5));

  auto manyLines = Dial(port);
  std::string block = "GNUTELLA CONNECT/0.6\r\n";
  for (int i = 0; i < 150; ++i) block += "X-N: v\r\n";
  manyLines->WriteAll(block + "\r\n");
  EXPECT_TRUE(WaitClosed(*manyLines, 5));

  auto junk = Dial(port);
  junk->WriteAll("GET / HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(WaitClosed(*junk, 5));

  // An established peer that announces a payload beyond 64000 bytes.
  auto big = Dial(port);
  big->WriteAll("GNUTELLA CONNECT/0.6\r\nX-Ultrapeer: True\r\nX-Ultrapeer-Needed: True\r\n\r\n");
  ASSERT_EQ(ReadHead(*big).substr(0, 20), "GNUTELLA/0.6 200 OK\r");
  big->WriteAll("GNUTELLA/0.6 200 OK\r\n\r\n");
  ASSERT_TRUE(Eventually([&] { return node->ConnectionCount() == 1; }));
  big->WriteAll(std::string(16, '\x11') + "\x80\x01\x00" "\x01\xFA\x00\x00"s);
  EXPECT_TRUE(WaitClosed(*big, 5));
  EXPECT_TRUE(Eventually([&] { return node->ConnectionCount() == 0; }));
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(GnutellaHandshake, SilentPeerIsClosedAfterThePeerTimeout) {
  RawListener peer;
  auto node = MakeNode([](TGnutellaSettings& s) {
    s.iPeerTimeout = 2;
    s.iPingInterval = 1;
  }, 60000);
  node->AddSeedHost("127.0.0.1", peer.Port());
  node->Start(0);
  auto s = peer.Accept();
  ASSERT_TRUE(s);
  ReadHead(*s);
  s->WriteAll(Ok200("X-Ultrapeer-Needed: true\r\n"));
  ReadHead(*s);
  ASSERT_TRUE(Eventually([&] { return node->ConnectionCount() == 1; }));
  int64_t start = plat::MonotonicMs();
  // The peer reads the node's pings but never says a word.
  EXPECT_TRUE(WaitClosed(*s, 10));
  EXPECT_GE(plat::MonotonicMs() - start, 1500);
  EXPECT_TRUE(Eventually([&] { return node->ConnectionCount() == 0; }));
}

// The whole handshake has the peer time-out (60 seconds), however often a
// peer sends a byte of it: a host that answers and then drips its headers
// is closed and the attempt it held goes to the next host; a peer that
// connects here and drips its request is closed and its place taken.
TEST(GnutellaHandshake, APeerThatDripsItsHandshakeIsClosedAtThePeerTimeout) {
  testutil::MovedClock clock;
  RawListener dripping, next;
  auto node = MakeNode([](TGnutellaSettings& s) { s.iMaxPendingPeers = 1; });  // one attempt at a time
  node->AddSeedHost("127.0.0.1", dripping.Port());
  node->AddSeedHost("127.0.0.1", next.Port());
  node->Start(0);
  auto out = dripping.Accept();
  ASSERT_TRUE(out);
  ReadHead(*out);
  out->WriteAll("GNUTELLA/0.6 200 OK\r\n");
  EXPECT_TRUE(DripUntilClosed(*out, clock));
  EXPECT_TRUE(next.Accept(10));  // the next host is tried
  EXPECT_LT(TimedStop(*node), kPromptMs);

  auto listening = MakeNode([](TGnutellaSettings& s) {
    s.bFirewalled = false;
    s.iMaxPendingPeers = 1;  // one incoming handshake at a time
  });
  listening->Start(0);
  auto in = Dial(listening->iLocalPort());
  in->WriteAll("GNUTELLA CONNECT/0.6\r\n");
  ASSERT_TRUE(Eventually([&] { return listening->PendingCount() == 1; }));
  EXPECT_TRUE(DripUntilClosed(*in, clock));
  ASSERT_TRUE(Eventually([&] { return listening->PendingCount() == 0; }));
  auto after = Dial(listening->iLocalPort());
  after->WriteAll("GNUTELLA CONNECT/0.6\r\nX-Ultrapeer: True\r\nX-Ultrapeer-Needed: True\r\n\r\n");
  EXPECT_EQ(ReadHead(*after).substr(0, 20), "GNUTELLA/0.6 200 OK\r");
  EXPECT_LT(TimedStop(*listening), kPromptMs);
}

TEST(GnutellaHandshake, StopIsPromptWithLiveLinksAndWaitingEvents) {
  TServentScript script;
  script.UltrapeerNeeded = true;
  std::vector<std::unique_ptr<TGnutellaServent>> servents;
  auto node = MakeNode([](TGnutellaSettings& s) { s.iMaxPendingPeers = 10; }, 10);
  std::atomic<int> connects{0}, disconnects{0};
  node->OnConnect = [&](TGnutella&, const TConnectionInfo&) { ++connects; };
  node->OnDisconnect = [&](TGnutella&, const TConnectionInfo&) { ++disconnects; };
  for (int i = 0; i < 3; ++i) {
    servents.push_back(std::make_unique<TGnutellaServent>(script));
    ASSERT_TRUE(servents.back()->Start());
    node->AddSeedHost("127.0.0.1", servents.back()->Port());
  }
  // Stop on the main thread: the waiting events are served.
  node->Start(0);
  ASSERT_TRUE(testutil::PumpUntil([&] { return node->ConnectionCount() == 3 && connects == 3; }, 10000));
  EXPECT_LT(TimedStop(*node), kPromptMs);
  EXPECT_EQ(disconnects.load(), 3);

  // Stop on another thread while the main thread waits for it and serves
  // nothing: the events are given up, nothing deadlocks.
  node->SetTimings([] {
    TGnutellaTimings t;
    t.tickMs = 10;
    t.seedRetryMs = 0;
    return t;
  }());
  node->Start(0);
  ASSERT_TRUE(testutil::PumpUntil([&] { return node->ConnectionCount() == 3; }, 10000));
  const int connectsBefore = connects;
  int64_t ms = 0;
  std::thread stopper([&] { ms = TimedStop(*node); });
  stopper.join();
  EXPECT_LT(ms, kPromptMs);
  EXPECT_EQ(node->ConnectionCount(), 0);
  plat::MainLoop::ProcessMessages();  // given-up events do not run late
  EXPECT_EQ(connects.load(), connectsBefore);
  for (auto& s : servents) EXPECT_TRUE(Eventually([&] { return s->OpenLinks() == 0; }));
}
