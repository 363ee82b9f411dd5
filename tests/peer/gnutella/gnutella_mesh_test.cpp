// test-label: concurrency
// A small network of nodes that listen on 127.0.0.1, with the scripted
// servent holding the files: queries flood by the TTL and duplicate rules
// and the hits find their way back to the querier alone.
#include <gtest/gtest.h>

#include <functional>

#include "peer/gnutella/gnutella.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/support/test_util.h"
#include "tools/gnutella_servent.h"

namespace {

constexpr int64_t kPromptMs = 3000;  // a hang check, not a speed goal

bool Eventually(const std::function<bool()>& pred, int ms = 15000) { return testutil::PumpUntil(pred, ms); }

// A listening ultrapeer that keeps to its seeds (it remembers no other
// host), so the test decides the shape of the network.
std::unique_ptr<TGnutella> MeshNode(int maxHops = 7) {
  auto n = std::make_unique<TGnutella>();
  n->SetBindAddress("127.0.0.1");
  TGnutellaSettings s;
  s.bFirewalled = false;
  s.iMaxHostCacheSize = 0;
  s.iMaxHops = maxHops;
  n->SetSettings(s);
  TGnutellaTimings t;
  t.tickMs = 20;
  t.seedRetryMs = 200;
  n->SetTimings(t);
  n->Start(0);
  return n;
}

void Seed(TGnutella& from, TGnutella& to) { from.AddSeedHost("127.0.0.1", to.iLocalPort()); }

TServentScript Library() {
  TServentScript s;
  s.UltrapeerNeeded = true;
  s.Files = {{"blue one.mp3", 1000, 1}, {"blue two.mp3", 2000, 2}, {"red.mp3", 3000, 3}};
  return s;
}

size_t Drain(TGnutella& n) {
  size_t count = 0;
  while (n.GetNextResult()) ++count;
  return count;
}

bool SawRequest(TGnutella& n, const TGuid& guid) {
  bool seen = false;
  while (auto r = n.GetNextSearchRequest()) seen = seen || r->Guid == guid;
  return seen;
}

void StopAll(std::initializer_list<TGnutella*> nodes) {
  for (TGnutella* n : nodes) {
    int64_t start = plat::MonotonicMs();
    n->Stop();
    EXPECT_LT(plat::MonotonicMs() - start, kPromptMs);
  }
}

}  // namespace

TEST(GnutellaMesh, QueryFloodsOnceAndHitsReturnToTheQuerier) {
  TGnutellaServent servent(Library());
  ASSERT_TRUE(servent.Start());
  auto a = MeshNode(), b = MeshNode(), c = MeshNode();
  // A - B - C - servent, and A - C: C hears every query of A twice.
  Seed(*a, *b);
  Seed(*a, *c);
  Seed(*b, *c);
  c->AddSeedHost("127.0.0.1", servent.Port());
  ASSERT_TRUE(Eventually([&] {
    return a->ConnectionCount() == 2 && b->ConnectionCount() == 2 && c->ConnectionCount() == 3 &&
           servent.OpenLinks() == 1;
  }));

  TGuid guid = a->Search(0, "blue");
  size_t results = 0;
  ASSERT_TRUE(Eventually([&] {
    results += Drain(*a);
    return results >= 2;
  }));
  plat::Thread::Sleep(500);  // time for any copy that should not exist
  results += Drain(*a);
  EXPECT_EQ(results, 2u);  // one hit: the servent heard the query once
  EXPECT_EQ(servent.CountReceived(kDescQuery, guid), 1);
  EXPECT_EQ(servent.CountReceived(kDescQueryHit), 0);  // no hit went the wrong way
  EXPECT_TRUE(SawRequest(*b, guid));
  EXPECT_TRUE(SawRequest(*c, guid));
  EXPECT_EQ(Drain(*b) + Drain(*c), 0u);  // relays collect nothing

  // A query of B's reaches the servent too, and its hits only B.
  TGuid fromB = b->Search(0, "red");
  ASSERT_TRUE(Eventually([&] { return b->ResultQueueLength() == 1; }));
  EXPECT_EQ(servent.CountReceived(kDescQuery, fromB), 1);
  EXPECT_EQ(Drain(*a) + Drain(*c), 0u);
  StopAll({a.get(), b.get(), c.get()});
}

TEST(GnutellaMesh, TtlLimitsHowFarAQueryGoes) {
  TGnutellaServent servent(Library());
  ASSERT_TRUE(servent.Start());
  // A chain A - B - C - servent whose middle node cuts the TTL.
  auto a = MeshNode(), b = MeshNode(2), c = MeshNode();
  Seed(*a, *b);
  Seed(*b, *c);
  c->AddSeedHost("127.0.0.1", servent.Port());
  ASSERT_TRUE(Eventually([&] {
    return a->ConnectionCount() == 1 && b->ConnectionCount() == 2 && c->ConnectionCount() == 2 &&
           servent.OpenLinks() == 1;
  }));

  // B cuts TTL 7 to 2 and passes it with 1; C takes the last step.
  TGuid shortRange = a->Search(0, "blue");
  ASSERT_TRUE(Eventually([&] { return SawRequest(*c, shortRange); }));
  plat::Thread::Sleep(500);
  EXPECT_EQ(servent.CountReceived(kDescQuery, shortRange), 0);
  EXPECT_EQ(a->ResultQueueLength(), 0);

  // With one hop more the query reaches the servent and the hits come back.
  TGnutellaSettings s = b->Settings();
  s.iMaxHops = 3;
  b->SetSettings(s);
  TGuid longer = a->Search(0, "blue");
  ASSERT_TRUE(Eventually([&] { return a->ResultQueueLength() == 2; }));
  EXPECT_EQ(servent.CountReceived(kDescQuery, longer), 1);
  StopAll({a.get(), b.get(), c.get()});
}
