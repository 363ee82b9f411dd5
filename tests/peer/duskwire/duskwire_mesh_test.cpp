// test-label: concurrency
// Live overlay nodes on 127.0.0.1, 127.0.0.2, ... brought together by the
// harness cache server.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "peer/duskwire/duskwire_peer_router.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "tools/duskwire_cache_server.h"
#include "tools/duskwire_harness_peer.h"
#include "tools/duskwire_timings.h"
#include "tools/socket_black_hole.h"

namespace {

// A hang check, not a speed goal: Stop must not wait on a blocked call.
constexpr int64_t kPromptMs = 3000;

bool Eventually(const std::function<bool()>& pred, int ms = 20000) {
  int64_t deadline = plat::MonotonicMs() + ms;
  while (plat::MonotonicMs() < deadline) {
    if (pred()) return true;
    plat::Thread::Sleep(20);
  }
  return pred();
}

TDWTimings Fast() { return BriskDuskwireTimings(); }

std::unique_ptr<TDuskwirePeerRouter> Node(const std::string& address, const std::string& nick,
                                          int cachePort) {
  auto r = std::make_unique<TDuskwirePeerRouter>();
  r->SetNick(nick);
  r->SetBindAddress(address);
  if (cachePort > 0) r->SetCacheServer("127.0.0.1", cachePort);
  r->SetSetting(TDWSetting::LowSpeedBPS, 0);  // announce itself at any traffic
  r->SetTimings(Fast());
  return r;
}

int64_t TimedStop(TDuskwirePeerRouter& r) {
  int64_t start = plat::MonotonicMs();
  r.Stop();
  return plat::MonotonicMs() - start;
}

struct Taken {
  std::string ri, to, type, body, from;
};

std::vector<Taken> TakeRequests(TDuskwirePeerRouter& r) {
  std::vector<Taken> out;
  Taken t;
  while (r.GetNextRequest(t.ri, t.to, t.type, t.body, t.from)) out.push_back(t);
  return out;
}

}  // namespace

TEST(DuskwireMesh, ThreeNodesFloodRequestsAndRouteResponsesBack) {
  TDWFakeCacheServer cache;
  cache.SetGreetingHeader("MinPeers", "2");
  cache.SetGreetingHeader("LowSpeedPeers", "2");
  cache.SetGreetingHeader("CacheRefreshTime", "1");
  cache.SetGreetingHeader("ServerMessage", "welcome to the test net");
  cache.SetNetworkStatistic("Hosts", "3");
  // Node 2 is told about node 1, node 3 about nodes 1 and 2.
  cache.SetPlan("127.0.0.1", {});
  cache.SetPlan("127.0.0.2", {"127.0.0.1"});
  cache.SetPlan("127.0.0.3", {"127.0.0.1", "127.0.0.2"});
  cache.Start();

  auto n1 = Node("127.0.0.1", "one", cache.Port());
  auto n2 = Node("127.0.0.2", "two", cache.Port());
  auto n3 = Node("127.0.0.3", "three", cache.Port());
  n1->Start(false, 0);
  n2->Start(false, 0);
  n3->Start(false, 0);
  ASSERT_TRUE(Eventually([&] { return n1->ActivePeerCount() == 2 && n2->ActivePeerCount() == 2 && n3->ActivePeerCount() == 2; }))
      << n1->PeerCount() << n2->PeerCount() << n3->PeerCount();
  EXPECT_EQ(n1->IncomingPeerCount(), 2);
  EXPECT_EQ(n3->OutgoingPeerCount(), 2);
  EXPECT_EQ(n2->IPHost(), "127.0.0.2");
  EXPECT_EQ(n2->IPNumber(), 0x7f000002u);
  EXPECT_EQ(n2->ServerMessage(), "welcome to the test net");
  EXPECT_EQ(n1->LastCacheResult(), 0);
  EXPECT_EQ(n1->HealthPercent(), 100);

  // A request floods; each other node delivers it once although it arrives
  // over two paths.
  n1->SendRequest("S1", "", false, "NAPSTER-REQUEST", "200 query");
  std::vector<Taken> at2, at3;
  ASSERT_TRUE(Eventually([&] {
    for (auto& t : TakeRequests(*n2)) at2.push_back(t);
    for (auto& t : TakeRequests(*n3)) at3.push_back(t);
    return !at2.empty() && !at3.empty();
  }));
  plat::Thread::Sleep(300);
  for (auto& t : TakeRequests(*n2)) at2.push_back(t);
  for (auto& t : TakeRequests(*n3)) at3.push_back(t);
  ASSERT_EQ(at2.size(), 1u);
  ASSERT_EQ(at3.size(), 1u);
  EXPECT_EQ(at3[0].body, "200 query");
  EXPECT_EQ(at3[0].from, "one");
  EXPECT_EQ(at3[0].type, "NAPSTER-REQUEST");
  EXPECT_TRUE(TakeRequests(*n1).empty());

  // Both answer along the path each request took.
  n2->SendResponse(at2[0].ri, at2[0].from, "answer two");
  n3->SendResponse(at3[0].ri, at3[0].from, "answer three");
  std::vector<std::string> answers;
  ASSERT_TRUE(Eventually([&] {
    std::string ri, to, from, body;
    while (n1->GetNextResponse(ri, to, from, body)) {
      EXPECT_EQ(ri, "S1");
      EXPECT_EQ(to, "one");
      answers.push_back(from + ":" + body);
    }
    return answers.size() >= 2;
  }));
  std::sort(answers.begin(), answers.end());
  EXPECT_EQ(answers, (std::vector<std::string>{"three:answer three", "two:answer two"}));

  // A request for one nick is delivered only there.
  n1->SendRequest("S2", "three", true, "NAPSTER-REQUEST", "for three");
  ASSERT_TRUE(Eventually([&] {
    auto got = TakeRequests(*n3);
    return got.size() == 1 && got[0].body == "for three";
  }));
  plat::Thread::Sleep(200);
  EXPECT_TRUE(TakeRequests(*n2).empty());

  // The nodes learned each other's listening addresses from the packets.
  EXPECT_GT(cache.CountCommands("127.0.0.2", "SET_NODE"), 0);
  EXPECT_GT(cache.CountCommands("127.0.0.3", "GET_NODE"), 0);

  EXPECT_LT(TimedStop(*n3), kPromptMs);
  EXPECT_LT(TimedStop(*n2), kPromptMs);
  EXPECT_LT(TimedStop(*n1), kPromptMs);
  EXPECT_EQ(n1->PeerCount(), 0);
  EXPECT_FALSE(n1->Running());
}

TEST(DuskwireMesh, BadPeersAreClosed) {
  auto node = Node("127.0.0.1", "node", 0);
  node->SetSetting(TDWSetting::PeerTimeout, 1);
  node->Start(false, 0);
  ASSERT_GT(node->OwnListenPort(), 0);
  const int port = node->OwnListenPort();

  // Silent for longer than PeerTimeout.
  TDWHarnessPeer silent("127.0.0.4");
  silent.Connect("127.0.0.1", port);
  ASSERT_TRUE(Eventually([&] { return node->ActivePeerCount() == 1; }));
  // A second connection from the same address is closed at once.
  TDWHarnessPeer twin("127.0.0.4");
  twin.Connect("127.0.0.1", port);
  EXPECT_TRUE(twin.WaitClosed(5000));
  EXPECT_TRUE(silent.WaitClosed(10000));
  ASSERT_TRUE(Eventually([&] { return node->PeerCount() == 0; }));

  // A packet that is neither request nor response.
  TDWHarnessPeer odd("127.0.0.5");
  odd.Connect("127.0.0.1", port);
  ASSERT_TRUE(Eventually([&] { return node->ActivePeerCount() == 1; }));
  odd.Conn().SetHeader("Message-ID", "x1");
  odd.Conn().SendHeader("3000");
  EXPECT_TRUE(odd.WaitClosed(5000));

  // A body longer than allowed.
  TDWHarnessPeer big("127.0.0.6");
  big.Connect("127.0.0.1", port);
  ASSERT_TRUE(Eventually([&] { return node->ActivePeerCount() == 1; }));
  big.SendRaw("1000\r\nMessage-ID: b1\r\nContent-Length: 1099511627776\r\n\r\n");
  EXPECT_TRUE(big.WaitClosed(5000));
  ASSERT_TRUE(Eventually([&] { return node->PeerCount() == 0; }));
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(DuskwireMesh, QueueOverflowClosesAPeerThatDoesNotKeepUp) {
  auto node = Node("127.0.0.1", "node", 0);
  TDWTimings t = Fast();
  t.peerPollMs = 50;  // the product's pace of sending
  t.peerSendPauseMs = 30;
  node->SetTimings(t);
  node->SetIncomingQueueLimit(8);
  node->Start(false, 0);
  TDWHarnessPeer reader("127.0.0.7");
  reader.Connect("127.0.0.1", node->OwnListenPort());
  ASSERT_TRUE(Eventually([&] { return node->ActivePeerCount() == 1; }));
  for (int i = 0; i < 100; ++i) node->SendRequest("S", "", false, "NAPSTER-REQUEST", std::string(1000, 'q'));
  EXPECT_TRUE(reader.WaitClosed(10000));
  EXPECT_TRUE(Eventually([&] { return node->PeerCount() == 0; }));

  // A peer that reads gets what is flooded, in order, with intact bodies.
  TDWHarnessPeer good("127.0.0.8");
  good.Connect("127.0.0.1", node->OwnListenPort());
  ASSERT_TRUE(Eventually([&] { return node->ActivePeerCount() == 1; }));
  node->SendRequest("S", "", false, "NAPSTER-REQUEST", "first");
  node->SendRequest("S", "", false, "NAPSTER-REQUEST", "second");
  TDuskwirePacket p;
  std::string body;
  ASSERT_TRUE(good.Read(p, body, 5000));
  EXPECT_EQ(body, "first");
  EXPECT_EQ(p.GetHeader("IP"), "127.0.0.1");
  EXPECT_EQ(p.GetHeaderInt64("Port"), node->OwnListenPort());
  ASSERT_TRUE(good.Read(p, body, 5000));
  EXPECT_EQ(body, "second");
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

// A peer that reads slowly while large packets are flooded: its queue
// keeps to the byte budget by dropping the oldest, and the link stays.
TEST(DuskwireMesh, LargePacketsKeepToTheQueueBudgetAndThePeer) {
  auto node = Node("127.0.0.1", "node", 0);
  constexpr std::size_t kBudget = std::size_t(3) << 20;
  node->SetQueueByteBudget(kBudget);  // the packet count (300) is never reached
  node->Start(false, 0);
  TDWHarnessPeer slow("127.0.0.10");
  slow.Connect("127.0.0.1", node->OwnListenPort());
  ASSERT_TRUE(Eventually([&] { return node->ActivePeerCount() == 1; }));
  constexpr int kPackets = 60;
  int64_t most = 0;
  for (int i = 0; i < kPackets; ++i) {
    node->SendRequest("S", "", false, "NAPSTER-REQUEST", std::to_string(i) + std::string(kDuskwireMaxBody - 10, 'a'));
    most = std::max(most, node->QueuedBytes());
  }
  EXPECT_LE(most, int64_t(kBudget));
  EXPECT_GT(most, 0);
  // The newest packet always stays: reading on, the peer gets it.
  TDuskwirePacket p;
  std::string body;
  int read = 0;
  while (slow.Read(p, body, 10000)) {
    ++read;
    if (body.rfind(std::to_string(kPackets - 1), 0) == 0) break;
  }
  EXPECT_EQ(body.rfind(std::to_string(kPackets - 1), 0), 0u) << read << " packets read";
  EXPECT_LT(read, kPackets);  // the rest made way
  EXPECT_EQ(node->PeerCount(), 1);
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

// Packets from a live peer are routed on its thread, which runs below
// normal priority (on Windows; elsewhere the step is only remembered).
TEST(DuskwireMesh, PeerThreadsRunAtALowerPriority) {
  struct Probe : TDWPeer {
    explicit Probe(std::string id) : id(std::move(id)) {}
    const std::string& PeerId() const override { return id; }
    void QueuePacket(const TDWPacketRef&) override {
      priority = plat::CurrentThreadPriority();
      ++queued;
    }
    void ClosePeer() override {}
    int Traffic() const override { return 0; }
    std::string id;
    std::atomic<int> priority{99}, queued{0};
  };
  auto node = Node("127.0.0.1", "node", 0);
  node->Start(false, 0);
  TDWHarnessPeer peer("127.0.0.11");
  peer.Connect("127.0.0.1", node->OwnListenPort());
  ASSERT_TRUE(Eventually([&] { return node->ActivePeerCount() == 1; }));
  Probe probe(node->ReservePeer("10.9.9.9", false));
  ASSERT_TRUE(node->ActivatePeer(probe.id, &probe));
  peer.SendRequest("p1", "s:u", "", "200 x");
  ASSERT_TRUE(Eventually([&] { return probe.queued == 1; }));
  EXPECT_EQ(probe.priority, -1);
  node->RemovePeer(probe.id);
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(DuskwireMesh, CacheServerConversation) {
  // A refusing server: result -2, settings untouched, no reconnecting.
  {
    TDWFakeCacheServer cache;
    cache.SetGreetingCode(4001);
    cache.SetGreetingHeader("MaxPeers", "3");
    cache.Start();
    auto node = Node("127.0.0.1", "node", cache.Port());
    node->Start(true, 0);
    ASSERT_TRUE(Eventually([&] { return node->LastCacheResult() == -2; }));
    plat::Thread::Sleep(500);
    EXPECT_EQ(cache.Sessions(), 1);
    EXPECT_EQ(node->Setting(TDWSetting::MaxPeers), 10);
    EXPECT_LT(TimedStop(*node), kPromptMs);
  }
  // An idle node reports its statistics and asks for nodes, but does not
  // announce itself.
  {
    TDWFakeCacheServer cache;
    cache.SetGreetingHeader("PeerTimeout", "0");
    cache.SetGreetingHeader("MaxHops", "7");
    cache.SetNetworkStatistic("Hosts", "12");
    cache.SetNetworkStatistic("MB", "3,500");
    cache.Start();
    auto node = Node("127.0.0.1", "node", cache.Port());
    node->SetSetting(TDWSetting::LowSpeedBPS, 2400);
    node->SetLocalStatistic("Hosts", 1);
    node->SetLocalStatistic("Files", 42);
    node->SetLocalStatistic("MB", 7);
    node->Start(false, 0);
    ASSERT_TRUE(Eventually([&] { return cache.CountCommands("127.0.0.1", "GET_NODE") > 0; }));
    EXPECT_EQ(cache.CountCommands("127.0.0.1", "SET_NODE"), 0);
    auto stats = cache.LastStatistics("127.0.0.1");
    EXPECT_EQ(stats, (std::vector<std::pair<std::string, std::string>>{
                         {"HOSTS", "1"}, {"FILES", "42"}, {"MB", "7"}}));
    EXPECT_EQ(node->NetworkStatistic("Hosts"), 12);
    EXPECT_EQ(node->NetworkStatistic("MB"), 3500);
    EXPECT_EQ(node->Setting(TDWSetting::PeerTimeout), 0);  // 0 too replaces ours
    EXPECT_EQ(node->Setting(TDWSetting::MaxHops), 7);
    EXPECT_LT(TimedStop(*node), kPromptMs);
  }
}

// UPDATE_STATS empties the statistics once its reply is read: local ones
// a server never answered go again with the next session, and the network
// totals stay while a reply is awaited.
TEST(DuskwireMesh, StatisticsAreKeptUntilTheCacheServerAnswers) {
  using Reply = TDWFakeCacheServer::StatsReply;
  TDWFakeCacheServer cache;
  cache.SetGreetingHeader("CacheRefreshTime", "1");  // a session each second
  cache.SetNetworkStatistic("Hosts", "12");
  cache.SetStatsReplies({Reply::Close, Reply::Answer, Reply::Hold});
  cache.Start();
  auto node = Node("127.0.0.1", "node", cache.Port());
  node->SetLocalStatistic("Files", 42);
  node->Start(true, 0);
  ASSERT_TRUE(Eventually([&] { return cache.CountCommands("127.0.0.1", "UPDATE_STATS") == 3; }));
  // The third reply is held now.
  EXPECT_EQ(node->NetworkStatistic("Hosts"), 12);
  using Headers = TDWFakeCacheServer::Headers;
  EXPECT_EQ(cache.StatisticsSent("127.0.0.1"),
            (std::vector<Headers>{{{"FILES", "42"}}, {{"FILES", "42"}}, {}}));
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(DuskwireMesh, StopEndsAConnectToABlackHole) {
  TSocketBlackHole hole;
  ASSERT_TRUE(hole.Valid());
  auto node = Node("127.0.0.9", "node", 0);
  node->Start(false, 0);
  node->AddHost("127.0.0.1", hole.Port());
  node->SetRefreshDue();
  Eventually([&] { return node->PendingConnectCount() == 1; }, 2000);
  EXPECT_LT(TimedStop(*node), kPromptMs);
  EXPECT_EQ(node->PendingConnectCount(), 0);
}
