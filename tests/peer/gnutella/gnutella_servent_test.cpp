// test-label: concurrency
// The node against the scripted servent, which behaves like the ultrapeers
// on the network: as a leaf and as an ultrapeer, searching and answering.
#include <gtest/gtest.h>

#include <functional>

#include "peer/gnutella/gnutella.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/support/test_util.h"
#include "tools/gnutella_servent.h"

using namespace std::string_literals;

namespace {

constexpr int64_t kPromptMs = 3000;  // a hang check, not a speed goal

bool Eventually(const std::function<bool()>& pred, int ms = 10000) { return testutil::PumpUntil(pred, ms); }

TServentScript Library() {
  TServentScript s;
  s.Files = {{"Blue Monday.mp3", 4000000, 1}, {"Kind of Blue - So What.mp3", 5500000, 2}, {"Red.mp3", 300, 3}};
  return s;
}

std::unique_ptr<TGnutella> NodeFor(TGnutellaServent& servent, TUltraPeerMode mode) {
  auto n = std::make_unique<TGnutella>();
  n->SetBindAddress("127.0.0.1");
  TGnutellaSettings s;
  s.bFirewalled = true;  // as the gateway runs it
  s.sUltraPeerMode = mode;
  n->SetSettings(s);
  TGnutellaTimings t;
  t.tickMs = 50;
  n->SetTimings(t);
  n->AddSeedHost("127.0.0.1", servent.Port());
  return n;
}

std::vector<std::unique_ptr<TSearchResult>> TakeResults(TGnutella& n, size_t want, int ms = 10000) {
  std::vector<std::unique_ptr<TSearchResult>> out;
  Eventually([&] {
    while (auto r = n.GetNextResult()) out.push_back(std::move(r));
    return out.size() >= want;
  }, ms);
  return out;
}

int64_t TimedStop(TGnutella& n) {
  int64_t start = plat::MonotonicMs();
  n.Stop();
  return plat::MonotonicMs() - start;
}

}  // namespace

TEST(GnutellaServent, LeafSearchesAndGetsResults) {
  TGnutellaServent servent(Library());
  ASSERT_TRUE(servent.Start());
  auto node = NodeFor(servent, umLeaf);
  node->Start(5050);
  ASSERT_TRUE(Eventually([&] { return node->ConnectionCount() == 1 && servent.OpenLinks() == 1; }));
  auto link = servent.Links().at(0);
  EXPECT_EQ(link.RequestHeaders.Get("X-Ultrapeer"), "FALSE");
  EXPECT_FALSE(link.RequestHeaders.Has("X-My-Address"));
  EXPECT_EQ(link.Final, "GNUTELLA/0.6 200 OK\r\n\r\n");
  EXPECT_TRUE(Eventually([&] { return servent.CountReceived(kDescPing) >= 1; }));  // the first ping

  TGuid guid = node->Search(0, "blue");
  auto results = TakeResults(*node, 2);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0]->FileName, "Blue Monday.mp3");
  EXPECT_EQ(results[0]->Size, 4000000u);
  EXPECT_EQ(results[0]->FileIndex, 1u);
  EXPECT_EQ(results[1]->FileName, "Kind of Blue - So What.mp3");
  for (auto& r : results) {
    EXPECT_EQ(r->QueryGUID, guid);
    EXPECT_EQ(r->Host, "127.0.0.1");
    EXPECT_EQ(r->Port, servent.Port());
    EXPECT_EQ(r->Speed, 350u);
    EXPECT_EQ(r->ServentGUID, GuidToText(servent.ServentGuid()));
    EXPECT_TRUE(r->bFlagBusyValid && !r->bFlagBusy && r->bFlagHaveUploaded);
  }
  EXPECT_EQ(servent.CountReceived(kDescQuery, guid), 1);
  // Our queries use the flags form (firewalled), with the TTL the servent
  // announced in X-Max-TTL: 4, below the node's 7.
  EXPECT_EQ(servent.QueriesDropped(), 0);
  for (auto& d : servent.Received()) {
    if (d.Packet.Type != kDescQuery) continue;
    EXPECT_EQ(d.Packet.Payload.substr(0, 2), "\xC0\x00"s);
    EXPECT_EQ(d.Packet.TTL, 4);
  }

  // A search nothing matches brings nothing; the link stays.
  node->Search(0, "green");
  plat::Thread::Sleep(300);
  EXPECT_EQ(node->ResultQueueLength(), 0);
  EXPECT_EQ(node->ConnectionCount(), 1);
  EXPECT_LT(TimedStop(*node), kPromptMs);
  EXPECT_TRUE(Eventually([&] { return servent.OpenLinks() == 0; }));
}

TEST(GnutellaServent, UltrapeerLinkRelaysAndLearnsHosts) {
  TServentScript script = Library();
  script.UltrapeerNeeded = true;
  script.PongHosts = {{"127.0.0.7", 6346, 0, 0}, {"127.0.0.8", 6347, 0, 0}};
  TGnutellaServent servent(script);
  ASSERT_TRUE(servent.Start());
  auto node = NodeFor(servent, umUltraPeer);
  TGnutellaSettings s = node->Settings();
  s.iPingInterval = 1;
  s.iMinUltraPeers = 1;  // content with this link: learned hosts stay in the cache
  node->SetSettings(s);
  node->Start(0);
  ASSERT_TRUE(Eventually([&] { return node->ConnectionCount() == 1 && servent.OpenLinks() == 1; }));
  EXPECT_EQ(servent.Links().at(0).RequestHeaders.Get("X-Ultrapeer"), "TRUE");
  EXPECT_EQ(servent.Links().at(0).Final, "GNUTELLA/0.6 200 OK\r\n\r\n");  // stays an ultrapeer link
  EXPECT_EQ(node->UltrapeerLinkCount(), 1);

  // Pongs bring hosts (the servent's own and those it knows).
  ASSERT_TRUE(Eventually([&] { return node->HostCache().size() == 2; }));
  EXPECT_EQ(node->HostCache()[0].Key(), "127.0.0.7:6346");
  EXPECT_EQ(node->HostCache()[1].Key(), "127.0.0.8:6347");

  // A query from the servent reaches the application; the node answers a
  // discovery ping with its pong.
  TGuid q = NewDescriptorGuid();
  servent.SendToAll(TBasePacket(q, kDescQuery, 3, 1, QueryPayload(kQueryFlagsForm, "some text", "")));
  TGuid ping = NewDescriptorGuid();
  servent.SendToAll(TBasePacket(ping, kDescPing, 4, 0, ""));
  std::unique_ptr<TSearchRequest> r;
  ASSERT_TRUE(Eventually([&] { return (r = node->GetNextSearchRequest()) != nullptr; }));
  EXPECT_EQ(r->Text, "some text");
  EXPECT_EQ(r->Guid, q);
  EXPECT_TRUE(Eventually([&] { return servent.CountReceived(kDescPong, ping) == 1; }));

  // Searching works the same on an ultrapeer link.
  TGuid guid = node->Search(0, "kind blue");
  auto results = TakeResults(*node, 1);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0]->FileName, "Kind of Blue - So What.mp3");
  EXPECT_EQ(results[0]->QueryGUID, guid);
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(GnutellaServent, LeafGuidanceIsEchoedAndByeIsTolerated) {
  TServentScript script = Library();
  script.ByeAfterMs = 400;
  TGnutellaServent servent(script);
  ASSERT_TRUE(servent.Start());
  auto node = NodeFor(servent, umUltraPeer);
  node->Start(0);
  ASSERT_TRUE(Eventually([&] { return servent.Links().size() == 1 && servent.Links()[0].Established; }));
  auto link = servent.Links()[0];
  // The servent needs no more ultrapeers: the node takes the leaf role on
  // this link and tells it so.
  EXPECT_EQ(link.FinalHeaders.Get("X-Ultrapeer"), "FALSE");
  // After its vendor message and its Bye the servent closes; the node lets
  // the link go and counts nothing wrong.
  EXPECT_TRUE(Eventually([&] { return servent.OpenLinks() == 0; }));
  EXPECT_TRUE(Eventually([&] { return node->ConnectionCount() == 0; }));
  EXPECT_LT(TimedStop(*node), kPromptMs);
}

TEST(GnutellaServent, ScriptFollowsTheRulesOfTodaysServents) {
  TGnutellaServent servent(Library());
  ASSERT_TRUE(servent.Start());
  // No X-Ultrapeer: refused.
  TSocket a;
  a.SetTimeout(5);
  a.Connect("127.0.0.1", servent.Port());
  a.WriteAll("GNUTELLA CONNECT/0.6\r\nUser-Agent: Old\r\n\r\n");
  TGnutellaSocketReader ain(a);
  EXPECT_EQ(ReadHandshakeLine(ain).substr(0, 16), "GNUTELLA/0.6 403");

  // A query without the 0x8000 bit is dropped; one with it is answered.
  TSocket b;
  b.SetTimeout(5);
  b.Connect("127.0.0.1", servent.Port());
  b.WriteAll("GNUTELLA CONNECT/0.6\r\nX-Ultrapeer: False\r\n\r\n");
  TGnutellaSocketReader in(b);
  ASSERT_TRUE(IsStatusOk(ReadHandshakeLine(in)));
  THandshakeHeaders h;
  h.Read(in);
  EXPECT_EQ(h.Get("X-Ultrapeer"), "True");
  b.WriteAll("GNUTELLA/0.6 200 OK\r\n\r\n");
  TGuid old = NewDescriptorGuid(), modern = NewDescriptorGuid();
  b.WriteAll(TBasePacket(old, kDescQuery, 2, 0, QueryPayload(0, "blue", "")).Encode());
  b.WriteAll(TBasePacket(modern, kDescQuery, 2, 0, QueryPayload(kQueryFlagsForm, "blue", "")).Encode());
  TBasePacket p;
  bool vendor = false;
  do {
    p = ReadDescriptor(in);
    vendor = vendor || p.Type == kDescVendor;
  } while (p.Type != kDescQueryHit);
  EXPECT_TRUE(vendor);  // sent right after the handshake
  EXPECT_EQ(p.Guid, modern);
  TQueryHit hit;
  ASSERT_TRUE(ParseQueryHit(p.Payload, hit));
  ASSERT_EQ(hit.Results.size(), 2u);
  EXPECT_EQ(hit.Results[0].Extra.substr(0, 9), "urn:sha1:");
  EXPECT_EQ(hit.VendorCode, "SCRP");
  EXPECT_TRUE(hit.HasFlags);
  EXPECT_EQ(hit.PrivateData.substr(0, 1), "\xC3");  // GGEP
  EXPECT_TRUE(Eventually([&] { return servent.QueriesDropped() == 1; }));
}
