// test-label: concurrency
// The gateway thread over loopback: a raw Napster-frame client against
// TMainThread with faked networks (and once with a live Gnutella node):
// login, framing limits, client changes, remote texts, shutdown.
#include <gtest/gtest.h>

#include <functional>

#include "peer/gateway/gateway.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/support/test_util.h"
#include "tools/gateway_fake_networks.h"
#include "tools/gnutella_servent.h"
#include "tools/napster_test_client.h"

namespace {

// A hang check, not a speed goal.
constexpr int64_t kPromptMs = 3000;

bool Eventually(const std::function<bool()>& pred, int ms = 10000) { return testutil::PumpUntil(pred, ms); }

TGatewaySettings Quick(int loginWait = 5) {
  TGatewaySettings s;
  s.ClientPort = 0;
  s.LoginWait = loginWait;
  s.DuskwirePort = 0;
  s.GnutellaSeedHost = "";
  s.IdleSleepMs = 10;
  s.BetweenClientsMs = 20;
  s.LoginStepMs = 20;
  return s;
}

// A gateway thread with faked networks.
struct Gateway {
  TFakeDuskwire* dusk;
  TFakeGnutella* gnut;
  std::unique_ptr<TMainThread> thread;

  explicit Gateway(TGatewaySettings s = Quick()) {
    auto d = std::make_unique<TFakeDuskwire>();
    auto g = std::make_unique<TFakeGnutella>();
    dusk = d.get();
    gnut = g.get();
    thread = std::make_unique<TMainThread>(s, std::move(d), std::move(g));
    thread->Start();
    EXPECT_TRUE(Eventually([&] { return thread->ListeningPort() > 0; }));
  }
  int Port() const { return thread->ListeningPort(); }
  int64_t TimedStop() {
    int64_t start = plat::MonotonicMs();
    thread->Stop();
    return plat::MonotonicMs() - start;
  }
};

void LogIn(TNapsterTestClient& c, int port, const std::string& nick = "me", int dataPort = 6699) {
  c.Connect("127.0.0.1", port);
  c.Send(2, nick + " pw " + std::to_string(dataPort) + " \"tester 1\" 7 42");
}

std::vector<std::string> ResponseLines(TFakeDuskwire& d) {
  std::vector<std::string> lines;
  for (auto& r : d.Responses())
    for (auto& l : SplitBodyLines(r.Body)) lines.push_back(l);
  return lines;
}

}  // namespace

TEST(GatewayServer, LoginStatsSharesAndTheNextClient) {
  Gateway gw;
  gw.dusk->SetPeersWhenStarted(1);
  gw.dusk->SetServerMessage("hello from the overlay");
  gw.dusk->SetNetworkStatisticValue("Hosts", 5);
  gw.dusk->SetNetworkStatisticValue("Files", 77);
  gw.dusk->SetNetworkStatisticValue("MB", 2500);
  {
    TNapsterTestClient c;
    LogIn(c, gw.Port());
    NapsterMessage m;
    ASSERT_TRUE(c.Read(m, 5000));
    EXPECT_EQ(m.Type, 3);
    ASSERT_TRUE(c.Read(m, 5000));
    EXPECT_EQ(m.Type, 621);
    EXPECT_EQ(m.Text, "hello from the overlay");
    ASSERT_TRUE(c.WaitFor(214, 7000, &m));
    EXPECT_EQ(m.Text, "5 77 2");
    EXPECT_EQ(gw.dusk->NickGiven(), "me");

    c.Send(100, "\"a.mp3\" 00 5000000000 128 44100 100");
    c.Send(218, "");
    c.Send(100, "\"b.mp3\" 00 10 128 44100 100");
    c.Send(7, "x");  // answered once the frames before it are handled
    ASSERT_TRUE(c.WaitFor(8, 5000));
    gw.dusk->InjectRequest("BROWSE:1:p", "me", "bob", "211 me");
    ASSERT_TRUE(Eventually([&] { return !ResponseLines(*gw.dusk).empty(); }));
    EXPECT_EQ(ResponseLines(*gw.dusk), (std::vector<std::string>{
                                           "212 me \"a.mp3\" AAAAAAAAAAAAAAAAAAAA 5000000000 128 44100 100",
                                           "212 me \"b.mp3\" AAAAAAAAAAAAAAAAAAAA 10 128 44100 100", "213 me"}));
    // An over-long frame closes the client.
    c.SendRaw(std::string("\x41\x1f\xc8\x00", 4));  // 8001 bytes of type 200
    EXPECT_TRUE(c.WaitClosed(5000));
  }
  ASSERT_TRUE(Eventually([&] { return gw.dusk->Stops() >= 1 && !gw.gnut->Started(); }));

  // The next client starts with no shares and zero counters.
  gw.dusk->ClearSent();
  TNapsterTestClient c2;
  LogIn(c2, gw.Port(), "you");
  ASSERT_TRUE(c2.WaitFor(621, 5000));
  gw.dusk->InjectRequest("BROWSE:2:p", "you", "bob", "211 you");
  gw.dusk->InjectRequest("WHOIS:2:p", "you", "bob", "603 you");
  ASSERT_TRUE(Eventually([&] { return ResponseLines(*gw.dusk).size() == 2; }));
  auto lines = ResponseLines(*gw.dusk);
  EXPECT_EQ(lines[0], "213 you");
  EXPECT_NE(lines[1].find(" 0 0 0 7 \"tester 1\""), std::string::npos) << lines[1];
  EXPECT_EQ(gw.thread->ClientsServed(), 2);
  EXPECT_LT(gw.TimedStop(), kPromptMs);
}

TEST(GatewayServer, LoginFailsWithoutPeersAndEndsWhenPeersGo) {
  Gateway gw(Quick(1));
  {
    TNapsterTestClient c;
    LogIn(c, gw.Port());
    NapsterMessage m;
    ASSERT_TRUE(c.Read(m, 10000));
    EXPECT_EQ(m.Type, 0);
    EXPECT_EQ(m.Text, "");
    EXPECT_TRUE(c.WaitClosed(5000));
    EXPECT_EQ(c.Received().size(), 1u);
  }
  // Logged in over Gnutella; when that link goes too, so does the client.
  gw.gnut->SetConnections(1);
  TNapsterTestClient c;
  LogIn(c, gw.Port());
  ASSERT_TRUE(c.WaitFor(621, 10000));
  gw.gnut->SetConnections(0);
  EXPECT_TRUE(c.WaitClosed(5000));
  EXPECT_LT(gw.TimedStop(), kPromptMs);
}

TEST(GatewayServer, AClientThatDoesNotLogInMakesWayForTheNext) {
  Gateway gw(Quick(1));
  gw.dusk->SetPeersWhenStarted(1);
  // One connection that says nothing, one that stops inside a frame.
  TNapsterTestClient silent, stalled, next;
  silent.Connect("127.0.0.1", gw.Port());
  ASSERT_TRUE(Eventually([&] { return gw.thread->ClientsServed() == 1; }));
  stalled.Connect("127.0.0.1", gw.Port());
  stalled.SendRaw(std::string("\x05", 1));
  LogIn(next, gw.Port());  // waits behind both
  EXPECT_TRUE(silent.WaitClosed(10000));
  EXPECT_TRUE(stalled.WaitClosed(10000));
  ASSERT_TRUE(next.WaitFor(621, 10000));
  EXPECT_EQ(gw.thread->ClientsServed(), 3);
  EXPECT_TRUE(silent.Received().empty());
  // Once logged in, a quiet client keeps its session.
  EXPECT_FALSE(next.WaitClosed(1500));
  EXPECT_LT(gw.TimedStop(), kPromptMs);
}

TEST(GatewayServer, OverlongRemoteTextNeverBecomesAStrayFrame) {
  Gateway gw;
  gw.dusk->SetPeers(1);
  TNapsterTestClient c;
  LogIn(c, gw.Port());
  ASSERT_TRUE(c.WaitFor(214, 5000));
  // 70,000 bytes: the length would wrap and the tail would be read as
  // frames of the remote peer's choosing.
  std::string evil(70000, 'x');
  std::string frame;
  EncodeNapsterMessage(204, "evil 16777343 6699 \"f\" AAAAAAAAAAAAAAAAAAAA 7", 0xFFFF, frame);
  evil.replace(65536 - 11, frame.size(), frame);
  gw.dusk->InjectRequest("PRIVMSG:1:p", "me", "bob", "205 me " + evil);
  gw.dusk->InjectRequest("PRIVMSG:2:p", "me", "bob", "205 me after");
  NapsterMessage m;
  ASSERT_TRUE(c.WaitFor(205, 5000, &m));
  EXPECT_EQ(m.Text, "bob after");
  plat::Thread::Sleep(100);
  c.Read(m, 50);
  for (const NapsterMessage& r : c.Received()) {
    EXPECT_TRUE(r.Type == 3 || r.Type == 621 || r.Type == 214 || r.Type == 205) << r.Type;
    EXPECT_LE(r.Text.size(), kGatewayMaxText);
  }
  EXPECT_EQ(c.CountOfType(205), 1);
  EXPECT_LT(gw.TimedStop(), kPromptMs);
}

// Results the gateway drops (another search's, private hosts, names it
// will not show) must not hold back the ones behind them: the thread keeps
// working while it takes anything. Its idle wait here is ten minutes, so a
// pass that dropped a result and then slept would never reach the hit.
TEST(GatewayServer, DroppedGnutellaResultsDoNotHoldBackTheSearch) {
  TGatewaySettings s = Quick();
  s.IdleSleepMs = 600000;
  Gateway gw(s);
  gw.dusk->SetPeersWhenStarted(1);
  TNapsterTestClient c;
  LogIn(c, gw.Port());
  ASSERT_TRUE(c.WaitFor(214, 5000));
  c.Send(200, "FILENAME CONTAINS \"song\"");
  ASSERT_TRUE(Eventually([&] { return gw.gnut->SearchTexts().size() == 1; }));

  auto hit = [](const std::string& host, const std::string& name) {
    TSearchResult r;
    r.Host = host;
    r.Port = 6346;
    r.FileName = name;
    r.Size = 1000;
    return r;
  };
  for (int i = 0; i < 100; ++i) {
    TSearchResult other = hit("1.2.3.4", "other.mp3");
    other.QueryGUID = NewDescriptorGuid();
    gw.gnut->InjectResult(other, false);
    gw.gnut->InjectResult(hit("192.168.0.9", "lan.mp3"));
    gw.gnut->InjectResult(hit("1.2.3.4", "film.avi"));
    gw.gnut->InjectResult(hit("1.2.3.4", "bad\"name.mp3"));
  }
  gw.gnut->InjectResult(hit("1.2.3.4", "song.mp3"));
  c.Send(7, "wake");  // the thread waits on the client: a frame wakes it
  NapsterMessage m;
  ASSERT_TRUE(c.WaitFor(201, 10000, &m)) << gw.gnut->PendingResults() << " results still queued";
  EXPECT_EQ(m.Text.substr(0, 10), "\"song.mp3\"");
  EXPECT_EQ(gw.gnut->PendingResults(), 0);
  EXPECT_EQ(c.CountOfType(201), 1);
  EXPECT_EQ(c.CountOfType(202), 0);
  EXPECT_LT(gw.TimedStop(), kPromptMs);
}

TEST(GatewayServer, StopIsPromptInEveryState) {
  // Blocked in accept.
  {
    Gateway gw;
    EXPECT_LT(gw.TimedStop(), kPromptMs);
    EXPECT_TRUE(gw.thread->Ended());
  }
  // In the login wait.
  {
    Gateway gw(Quick(600));
    TNapsterTestClient c;
    LogIn(c, gw.Port());
    ASSERT_TRUE(Eventually([&] { return gw.dusk->Started(); }));
    plat::Thread::Sleep(100);
    EXPECT_LT(gw.TimedStop(), kPromptMs);
    EXPECT_TRUE(c.WaitClosed(5000));
    EXPECT_FALSE(gw.dusk->Started());
  }
  // With a live Gnutella connection.
  {
    TServentScript script;
    script.Files = {{"Song.mp3", 1000, 1}};
    TGnutellaServent servent(script);
    ASSERT_TRUE(servent.Start());
    auto node = std::make_unique<TGatewayGnutellaNode>();
    node->Node().SetBindAddress("127.0.0.1");
    TGnutellaTimings t;
    t.tickMs = 50;
    node->Node().SetTimings(t);
    TGnutella* live = &node->Node();
    TGatewaySettings s = Quick(1);
    s.GnutellaSeedHost = "127.0.0.1";
    s.GnutellaSeedPort = servent.Port();
    s.GnutellaPort = 0;
    auto dusk = std::make_unique<TFakeDuskwire>();
    TMainThread gw(s, std::move(dusk), std::move(node));
    gw.Start();
    ASSERT_TRUE(Eventually([&] { return gw.ListeningPort() > 0; }));
    TNapsterTestClient c;
    LogIn(c, gw.ListeningPort());
    ASSERT_TRUE(c.WaitFor(621, 10000));
    EXPECT_EQ(live->ConnectionCount(), 1);
    EXPECT_TRUE(live->Settings().bFirewalled);
    int64_t start = plat::MonotonicMs();
    gw.Stop();
    EXPECT_LT(plat::MonotonicMs() - start, kPromptMs);
    EXPECT_TRUE(Eventually([&] { return servent.OpenLinks() == 0; }));
  }
}

TEST(GatewayServer, UnitLevelStartAndStop) {
  TGatewaySettings s = Quick();
  s.GnutellaSeedHost = "";
  ASSERT_TRUE(StartGateway(s));
  EXPECT_TRUE(GatewayRunning());
  EXPECT_FALSE(StartGateway(s));
  EXPECT_EQ(GatewayGnutellaHealth(), 0);
  EXPECT_EQ(GatewayDuskwireHealth(), 0);
  int64_t start = plat::MonotonicMs();
  StopGateway();
  EXPECT_LT(plat::MonotonicMs() - start, kPromptMs);
  EXPECT_FALSE(GatewayRunning());
  StopGateway();  // harmless when stopped
#ifndef _WIN32  // Windows lets an address-reusing listener share the port
  // A port already taken: the thread ends by itself and a new start works.
  TSocket taken;
  taken.Listen("127.0.0.1", 0, false);
  s.ClientPort = taken.LocalPort();
  ASSERT_TRUE(StartGateway(s));
  ASSERT_TRUE(Eventually([] { return !GatewayRunning(); }));
#endif
  s.ClientPort = 0;
  EXPECT_TRUE(StartGateway(s));
  StopGateway();
}
