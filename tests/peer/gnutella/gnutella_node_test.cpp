// The node's logic without sockets: admission, host lists, uptimes,
// handshake reading, and descriptor handling over fake connections.
#include "peer/gnutella/gnutella.h"

#include <gtest/gtest.h>

#include "core/global_functions.h"

using namespace std::string_literals;

namespace {

class FakeLink : public TGnutellaLink {
 public:
  void QueueDescriptor(const TBasePacket& p) override { sent.push_back(p); }
  void CloseLink() override { closed = true; }
  std::vector<TBasePacket> sent;
  bool closed = false;
  int Count(uint8_t type) const {
    int n = 0;
    for (auto& p : sent) n += p.Type == type ? 1 : 0;
    return n;
  }
};

TGuid Guid(uint8_t n) {
  TGuid g{};
  g[0] = n;
  g[15] = 0x55;
  return g;
}


TBasePacket Query(uint8_t n, const std::string& text, uint8_t ttl = 5, uint8_t hops = 0) {
  return TBasePacket(Guid(n), kDescQuery, ttl, hops, QueryPayload(kQueryFlagsForm, text, ""));
}

TBasePacket Hit(const TGuid& guid, int results, uint8_t ttl = 5) {
  TQueryHit h;
  for (int i = 0; i < results; ++i) h.Results.push_back(THitResult{uint32_t(i), 1000, "song" + std::to_string(i) + ".mp3", ""});
  h.Port = 6346;
  h.Address = 0x0A000001;
  h.Speed = 300;
  h.VendorCode = "TEST";
  h.HasFlags = true;
  h.Flags1 = kHitFlagBusy | kHitFlagPush;
  h.Flags2 = kHitFlagBusy;
  h.ServentGuid = Guid(0xEE);
  return TBasePacket(guid, kDescQueryHit, ttl, 0, QueryHitPayload(h));
}

// A node with three fake neighbours A, B and C.
struct Net {
  explicit Net(TUltraPeerMode mode = umUltraPeer, bool cacheServer = false) {
    TGnutellaSettings s;
    s.sUltraPeerMode = mode;
    s.bIsCacheServer = cacheServer;
    s.bManualNetworkSettings = true;
    s.sLocalIP = "10.1.2.3";
    s.iLocalPort = 6346;
    node.SetSettings(s);
    node.Tick();  // takes up the role
    node.AttachLink(&a, "1.0.0.1:1", true, false);
    node.AttachLink(&b, "1.0.0.2:1", true, false);
    node.AttachLink(&c, "1.0.0.3:1", false, true);
  }
  void Clear() {
    a.sent.clear();
    b.sent.clear();
    c.sent.clear();
  }
  FakeLink a, b, c;  // outlive the node, which closes its links when it stops
  TGnutella node;
};

}  // namespace

// ---------------------------------------------------------------- admission

TEST(GnutellaAdmission, Table) {
  TGnutellaSettings s;
  s.iMinUltraPeers = 2;
  s.iMaxUltraPeers = 4;
  s.iMinUltraPeerSlow = 1;
  s.iMaxUltraPeersSlow = 3;
  s.iMaxPeers = 2;
  const struct {
    int u, l;
    bool linkUp, incoming, peerUp, needed;
    bool accept, linkUpAfter;
  } rows[] = {
      // leaf link: room for an ultrapeer only (min slow in, max slow out)
      {0, 0, false, true, true, false, true, false},
      {1, 0, false, true, true, false, false, false},
      {2, 0, false, false, true, false, true, false},
      {3, 0, false, false, true, false, false, false},
      {0, 0, false, false, false, false, false, false},  // two leaves never link
      // ultrapeer link, incoming: ultrapeers below min, leaves below iMaxPeers
      {1, 0, true, true, true, true, true, true},      // peer says it needs us
      {1, 0, true, true, true, false, true, false},    // otherwise we turn leaf
      {2, 1, true, true, false, false, true, true},    // leaf peer, room for leaves
      {2, 2, true, true, false, false, false, true},   // leaves full
      {3, 0, true, true, true, false, true, true},     // room for leaves: stays ultrapeer
      // ultrapeer link, outgoing: ultrapeers below max
      {3, 2, true, false, true, true, true, true},
      {3, 2, true, false, true, false, true, false},
      {4, 2, true, false, true, false, false, true},   // full both ways
      {4, 1, true, false, false, false, true, true},
      {1, 0, true, false, false, false, false, false}, // leaf peer while we want ultrapeers
  };
  for (auto& r : rows) {
    TAdmission a = CheckAdmission(s, r.u, r.l, r.linkUp, r.incoming, r.peerUp, r.needed);
    EXPECT_EQ(a.Accept, r.accept) << r.u << " " << r.l << " " << r.linkUp << r.incoming << r.peerUp << r.needed;
    EXPECT_EQ(a.LinkUltrapeer, r.linkUpAfter) << r.u << " " << r.l << " " << r.linkUp << r.incoming << r.peerUp
                                              << r.needed;
  }
}

// ---------------------------------------------------------------- texts

TEST(GnutellaTexts, UptimeRoundTripsAndReadsOtherForms) {
  for (int64_t m : {0, 5, 59, 60, 135, 1439, 1440, 3075, 100 * 1440 + 23 * 60 + 59})
    EXPECT_EQ(ParseUptime(UptimeText(m)), m) << m;
  EXPECT_EQ(UptimeText(5), "00D 00H 05M");
  EXPECT_EQ(UptimeText(3075), "02D 03H 15M");
  EXPECT_EQ(UptimeText(100 * 1440), "100D 00H 00M");
  EXPECT_EQ(ParseUptime("00D 02H 15M"), 135);
  EXPECT_EQ(ParseUptime("2D 03H 15M"), 3075);
  EXPECT_EQ(ParseUptime("2d3h15m"), 3075);
  EXPECT_EQ(ParseUptime(" 15 M "), 15);
  EXPECT_EQ(ParseUptime("D H M 7X 3M"), 3);
  EXPECT_EQ(ParseUptime(""), 0);
  EXPECT_GE(ParseUptime(std::string(500, '9') + "D"), 0);  // no overflow
}

TEST(GnutellaTexts, HostLists) {
  auto hosts = ParseHostList("1.2.3.4:6346, 5.6.7.8:6347 ,bad,9.9.9.9:0, h:70000, ,name.example:80,:5,x:");
  ASSERT_EQ(hosts.size(), 3u);
  EXPECT_EQ(hosts[0].Key(), "1.2.3.4:6346");
  EXPECT_EQ(hosts[1].Key(), "5.6.7.8:6347");
  EXPECT_EQ(hosts[2].Key(), "name.example:80");
  EXPECT_TRUE(ParseHostList("").empty());
}

TEST(GnutellaTexts, PeerHeaders) {
  THandshakeHeaders h;
  h.Add("x-try-ultrapeers", "1.1.1.1:1, 2.2.2.2:2");
  h.Add("X-Try", "3.3.3.3:3");
  h.Add("X-My-Address", "4.4.4.4:4");
  h.Add("X-Tarn-Info", Base64EncodeOneLine("5.5.5.5:5, 6.6.6.6:6"));
  h.Add("X-ULTRAPEER", "false");
  h.Add("X-Ultrapeer-Needed", " True ");
  h.Add("user-agent", "Other 2.0");
  h.Add("Uptime", "01D 00H 00M");
  h.Add("X-Max-TTL", " 4 ");
  TPeerHeaders p = InterpretHeaders(h);
  EXPECT_EQ(p.MaxTtl, 4);
  EXPECT_FALSE(p.IsUltrapeer);
  EXPECT_TRUE(p.UltrapeerNeeded);
  EXPECT_EQ(p.UserAgent, "Other 2.0");
  EXPECT_EQ(ParseUptime(p.Uptime), 1440);
  EXPECT_EQ(p.MyAddressPort, 4);
  std::vector<std::string> keys;
  for (auto& x : p.Hosts) keys.push_back(x.Key());
  EXPECT_EQ(keys, (std::vector<std::string>{"1.1.1.1:1", "2.2.2.2:2", "3.3.3.3:3", "4.4.4.4:4", "5.5.5.5:5",
                                            "6.6.6.6:6"}));
  EXPECT_TRUE(InterpretHeaders(THandshakeHeaders()).IsUltrapeer);  // true when absent
  for (const char* odd : {"0", "256", "", "99999999999999999999"}) {
    THandshakeHeaders t;
    t.Add("X-Max-TTL", odd);
    EXPECT_EQ(InterpretHeaders(t).MaxTtl, 0) << odd;  // no limit of the peer's
  }
}

TEST(GnutellaHandshakeReader, LinesHeadersAndLimits) {
  TBufferReader in("GNUTELLA/0.6 200 OK\r\nUser-Agent: A\r\nX-Long: one\r\n two\r\nno colon\nX-Ultrapeer:True\r\n\r\nrest"s);
  EXPECT_EQ(ReadHandshakeLine(in), "GNUTELLA/0.6 200 OK");
  THandshakeHeaders h;
  h.Read(in);
  EXPECT_EQ(h.Count(), 3);
  EXPECT_EQ(h.Get("user-agent"), "A");
  EXPECT_EQ(h.Get("X-LONG"), "one two");
  EXPECT_EQ(h.Get("X-Ultrapeer"), "True");
  EXPECT_FALSE(h.Has("no colon"));
  EXPECT_EQ(in.Remaining(), 4u);  // nothing read past the empty line

  TBufferReader longLine(std::string(kMaxHandshakeLine, 'x') + "\r\n");
  EXPECT_EQ(ReadHandshakeLine(longLine).size(), kMaxHandshakeLine);  // CR LF not counted
  TBufferReader tooLong(std::string(kMaxHandshakeLine + 1, 'x') + "\n");
  EXPECT_THROW(ReadHandshakeLine(tooLong), EGnutella);

  std::string many;
  for (int i = 0; i < kMaxHandshakeLines; ++i) many += "X-N: v\r\n";
  TBufferReader enough(many + "\r\n");
  THandshakeHeaders m;
  m.Read(enough);
  EXPECT_EQ(m.Count(), kMaxHandshakeLines);
  TBufferReader tooMany(many + "X-N: v\r\n\r\n");
  THandshakeHeaders m2;
  EXPECT_THROW(m2.Read(tooMany), EGnutella);

  EXPECT_TRUE(IsStatusOk("GNUTELLA/0.6 200 OK"));
  EXPECT_TRUE(IsStatusOk("gnutella/0.6 200 Welcome aboard "));
  EXPECT_TRUE(IsStatusOk("GNUTELLA/0.6 200"));
  EXPECT_FALSE(IsStatusOk("GNUTELLA/0.6 2000 OK"));
  EXPECT_FALSE(IsStatusOk("GNUTELLA/0.6 503 Sorry"));
  EXPECT_FALSE(IsStatusOk("GNUTELLA OK"));
}

// ---------------------------------------------------------------- hosts

TEST(GnutellaHosts, CacheIsBoundedDeduplicatedAndTakenInOrder) {
  FakeLink link;
  TGnutella node;
  node.AttachLink(&link, "9.9.9.9:9", true, false);
  node.AddExclusion("10.*");
  for (int i = 1; i <= 7; ++i) node.AddHost("1.1.1." + std::to_string(i), 100 + i);
  node.AddHost("1.1.1.7", 107);    // already there
  node.AddHost("9.9.9.9", 9);      // connected
  node.AddHost("10.0.0.1", 5);     // excluded
  node.AddHost("2.2.2.2", 0);      // no port
  auto cache = node.HostCache();
  ASSERT_EQ(cache.size(), 5u);     // the two oldest went
  EXPECT_EQ(cache.front().Key(), "1.1.1.3:103");
  EXPECT_EQ(cache.back().Key(), "1.1.1.7:107");

  node.AddKnownUptimeHost("3.3.3.1", 1, 50);
  node.AddKnownUptimeHost("3.3.3.2", 2, 70);
  node.AddKnownUptimeHost("3.3.3.3", 3, 70);
  node.AddKnownUptimeHost("3.3.3.3", 3, 99);  // known: ignored
  node.AddSeedHost("seed.example", 7000);
  node.AddSeedHost("seed.example", 7000);
  node.AddSeedHost("seed2.example", 7001);
  EXPECT_EQ(node.SeedHosts().size(), 2u);
  TGnutellaTimings t;
  t.seedRetryMs = 0;
  node.SetTimings(t);

  std::vector<std::string> taken;
  THostItem h;
  for (int i = 0; i < 12 && node.TakeHost(h); ++i) taken.push_back(h.Key());
  EXPECT_EQ(taken, (std::vector<std::string>{"3.3.3.2:2", "3.3.3.3:3", "3.3.3.1:1", "1.1.1.3:103", "1.1.1.4:104",
                                             "1.1.1.5:105", "1.1.1.6:106", "1.1.1.7:107", "seed.example:7000",
                                             "seed2.example:7001", "seed.example:7000", "seed2.example:7001"}));
  EXPECT_TRUE(node.HostCache().empty());
  EXPECT_TRUE(node.KnownUptimeHosts().empty());
}

TEST(GnutellaHosts, KnownUptimeListAndSeedRest) {
  TGnutella node;
  for (int i = 0; i < 7; ++i) node.AddKnownUptimeHost("4.4.4." + std::to_string(i), 1, 10 * i + (i == 3 ? 100 : 0));
  auto known = node.KnownUptimeHosts();
  ASSERT_EQ(known.size(), 5u);  // the smallest uptimes went
  for (auto& k : known) EXPECT_GE(k.Uptime, 20);

  // A cache server takes no host of known uptime.
  TGnutellaSettings s;
  s.bIsCacheServer = true;
  node.SetSettings(s);
  node.AddSeedHost("seed.example", 7000);
  THostItem h;
  ASSERT_TRUE(node.TakeHost(h));
  EXPECT_EQ(h.Key(), "seed.example:7000");
  EXPECT_FALSE(node.TakeHost(h));  // the seed rests (a minute by default)
  EXPECT_EQ(node.KnownUptimeHosts().size(), 5u);
}

TEST(GnutellaHosts, HostListTextRotates) {
  TGnutella node;
  TGnutellaSettings s;
  s.iMaxHostCacheSize = 30;
  node.SetSettings(s);
  node.AddKnownUptimeHost("5.0.0.1", 1, 1);
  node.AddKnownUptimeHost("5.0.0.2", 2, 2);
  for (int i = 0; i < 25; ++i) node.AddHost("6.0.0." + std::to_string(i), 10);
  std::string text = node.HostListText();
  auto items = ParseHostList(text);
  ASSERT_EQ(items.size(), 22u);
  EXPECT_EQ(text.substr(0, 24), "5.0.0.1:1, 5.0.0.2:2, 6.");
  EXPECT_EQ(items[2].Key(), "6.0.0.0:10");
  EXPECT_EQ(items[21].Key(), "6.0.0.19:10");
  // What was given moved to the back: the next text starts with the rest.
  auto next = ParseHostList(node.HostListText());
  EXPECT_EQ(next[0].Key(), "5.0.0.1:1");
  EXPECT_EQ(next[2].Key(), "6.0.0.20:10");
  EXPECT_EQ(node.HealthPercent(), 0);
}

// ---------------------------------------------------------------- descriptors

TEST(GnutellaRouting, TtlAndHops) {
  Net n;
  TBasePacket q = Query(1, "x", 200, 0);
  n.node.ReceiveDescriptor(q, &n.a);
  ASSERT_EQ(n.b.Count(kDescQuery), 1);
  EXPECT_EQ(n.b.sent[0].TTL, 6);  // cut to 7, then one hop
  EXPECT_EQ(n.b.sent[0].Hops, 1);
  EXPECT_EQ(n.c.Count(kDescQuery), 1);
  EXPECT_EQ(n.a.Count(kDescQuery), 0);  // not back where it came from
  n.Clear();

  TBasePacket far = Query(2, "x", 3, 8);   // hops above the limit
  n.node.ReceiveDescriptor(far, &n.a);
  TBasePacket last = Query(3, "x", 1, 0);  // TTL 1: ends here
  n.node.ReceiveDescriptor(last, &n.a);
  TBasePacket edge = Query(4, "x", 2, 7);  // hops at the limit: still goes
  n.node.ReceiveDescriptor(edge, &n.a);
  ASSERT_EQ(n.b.sent.size(), 1u);
  EXPECT_EQ(n.b.sent[0].Guid, Guid(4));
  EXPECT_EQ(n.b.sent[0].TTL, 1);
  EXPECT_EQ(n.b.sent[0].Hops, 8);
}

TEST(GnutellaRouting, QueriesSayFirewalledAndKeepToEachPeersTtl) {
  Net n;
  TGnutellaSettings s = n.node.Settings();
  s.bFirewalled = true;
  n.node.SetSettings(s);
  n.b.SetMaxQueryTtl(3);  // announced X-Max-TTL: 3
  n.node.Search(0, "blue");
  ASSERT_EQ(n.a.Count(kDescQuery), 1);
  ASSERT_EQ(n.b.Count(kDescQuery), 1);
  // Flags in use, and this node cannot accept connections.
  EXPECT_EQ(n.a.sent[0].Payload, "\xC0\x00" "blue\0\0"s);
  EXPECT_EQ(n.a.sent[0].TTL, 7);
  EXPECT_EQ(n.b.sent[0].TTL, 3);
  n.Clear();
  // Forwarded queries too; lower TTLs stay as they are.
  TBasePacket q = Query(1, "x", 6, 0);
  n.node.ReceiveDescriptor(q, &n.a);
  TBasePacket low = Query(2, "y", 3, 0);
  n.node.ReceiveDescriptor(low, &n.a);
  ASSERT_EQ(n.b.Count(kDescQuery), 2);
  EXPECT_EQ(n.b.sent[0].TTL, 3);
  EXPECT_EQ(n.b.sent[1].TTL, 2);
  EXPECT_EQ(n.c.sent[0].TTL, 5);
  // Pings are not queries: they keep their TTL.
  n.Clear();
  TBasePacket ping(Guid(9), kDescPing, 6, 0, "");
  n.node.Forward(ping, nullptr);
  ASSERT_EQ(n.b.Count(kDescPing), 1);
  EXPECT_EQ(n.b.sent[0].TTL, 5);
}

TEST(GnutellaRouting, DuplicatesAreDroppedWhileRemembered) {
  Net n;
  TBasePacket q = Query(1, "dup");
  n.node.ReceiveDescriptor(q, &n.a);
  TBasePacket again = Query(1, "dup");
  n.node.ReceiveDescriptor(again, &n.c);
  EXPECT_EQ(n.b.Count(kDescQuery), 1);
  EXPECT_EQ(n.c.Count(kDescQuery), 1);
  EXPECT_EQ(n.a.Count(kDescQuery), 0);  // the copy from C went nowhere
  int requests = 0;
  while (n.node.GetNextSearchRequest()) ++requests;
  EXPECT_EQ(requests, 1);

  for (int i = 0; i < 32; ++i) {
    TBasePacket other = Query(uint8_t(100 + i), "other");
    n.node.ReceiveDescriptor(other, &n.a);
  }
  n.Clear();
  TBasePacket late = Query(1, "dup");
  n.node.ReceiveDescriptor(late, &n.a);  // forgotten by now: goes on again
  EXPECT_EQ(n.b.Count(kDescQuery), 1);
}

TEST(GnutellaRouting, HitsGoBackOnlyWhereTheQueryCameFrom) {
  Net n;
  TBasePacket q = Query(7, "song");
  n.node.ReceiveDescriptor(q, &n.a);
  ASSERT_EQ(n.b.Count(kDescQuery), 1);
  ASSERT_EQ(n.c.Count(kDescQuery), 1);
  n.Clear();

  TBasePacket hit = Hit(Guid(7), 2);
  n.node.ReceiveDescriptor(hit, &n.b);
  ASSERT_EQ(n.a.Count(kDescQueryHit), 1);
  EXPECT_EQ(n.a.sent[0].Hops, 1);
  EXPECT_EQ(n.b.Count(kDescQueryHit), 0);
  EXPECT_EQ(n.c.Count(kDescQueryHit), 0);
  EXPECT_EQ(n.node.ResultQueueLength(), 0);  // not ours

  // A hit whose query never passed here goes nowhere.
  n.Clear();
  TBasePacket stray = Hit(Guid(8), 1);
  n.node.ReceiveDescriptor(stray, &n.b);
  EXPECT_TRUE(n.a.sent.empty() && n.b.sent.empty() && n.c.sent.empty());

  // The querier's link is gone: its hits are dropped.
  n.node.DetachLink(n.a.LinkId());
  TBasePacket orphan = Hit(Guid(7), 1);
  n.node.ReceiveDescriptor(orphan, &n.c);
  EXPECT_TRUE(n.a.sent.empty() && n.b.sent.empty() && n.c.sent.empty());
}

TEST(GnutellaRouting, OwnSearchesCollectResultsTaggedWithTheirQuery) {
  Net n;
  TGuid first = n.node.Search(0, "blue song");
  EXPECT_EQ(n.node.CurrentSearchGuid(), first);
  for (FakeLink* l : {&n.a, &n.b, &n.c}) {
    ASSERT_EQ(l->Count(kDescQuery), 1);
    const TBasePacket& q = l->sent[0];
    EXPECT_EQ(q.Guid, first);
    EXPECT_EQ(q.TTL, 7);
    EXPECT_EQ(q.Hops, 0);
    EXPECT_EQ(q.Payload, "\x80\x00" "blue song\0\0"s);  // flags in the first byte
  }
  EXPECT_EQ(first[5] & 0x0F, 0x0F);
  n.Clear();

  TBasePacket hit = Hit(first, 3);
  n.node.ReceiveDescriptor(hit, &n.b);
  EXPECT_TRUE(n.a.sent.empty() && n.c.sent.empty());  // collected, not sent on
  auto r = n.node.GetNextResult();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->QueryGUID, first);
  EXPECT_EQ(r->Host, "10.0.0.1");
  EXPECT_EQ(r->Port, 6346);
  EXPECT_EQ(r->Speed, 300u);
  EXPECT_EQ(r->FileName, "song0.mp3");
  EXPECT_EQ(r->Size, 1000u);
  EXPECT_TRUE(r->bFlagBusyValid && r->bFlagBusy && r->bFlagPushValid);
  EXPECT_FALSE(r->bFlagPush || r->bFlagUploadSpeedValid);
  EXPECT_EQ(r->ServentGUID, GuidToText(Guid(0xEE)));

  // A later search: hits of the first still come, tagged with the first.
  TGuid second = n.node.Search(0x8123, "other");
  EXPECT_EQ(n.a.sent.back().Payload.substr(0, 2), "\x81\x23");
  TBasePacket late = Hit(first, 1);
  n.node.ReceiveDescriptor(late, &n.c);
  std::unique_ptr<TSearchResult> x;
  while (auto next = n.node.GetNextResult()) x = std::move(next);
  ASSERT_TRUE(x);
  EXPECT_EQ(x->QueryGUID, first);
  EXPECT_NE(x->QueryGUID, second);

  // Ten more searches forget the first: its hits are then passed on, not
  // collected (and, having no way back, go nowhere).
  for (int i = 0; i < 10; ++i) n.node.Search(0, "s" + std::to_string(i));
  n.Clear();
  TBasePacket forgotten = Hit(first, 1);
  n.node.ReceiveDescriptor(forgotten, &n.b);
  EXPECT_EQ(n.node.ResultQueueLength(), 0);
  EXPECT_TRUE(n.a.sent.empty() && n.c.sent.empty());
}

TEST(GnutellaRouting, ResultQueueIsBounded) {
  Net n;
  TGuid g = n.node.Search(0, "many");
  for (int i = 0; i < 9; ++i) {
    TBasePacket hit = Hit(g, 255);
    n.node.ReceiveDescriptor(hit, &n.a);
  }
  EXPECT_EQ(n.node.ResultQueueLength(), 2000);
  auto first = n.node.GetNextResult();
  EXPECT_EQ(first->FileName, "song40.mp3");  // the oldest 295 went: 255 of the first hit, 40 of the second

  TGnutellaSettings s = n.node.Settings();
  s.iMaxResults = 10;
  n.node.SetSettings(s);
  TBasePacket more = Hit(g, 3);
  n.node.ReceiveDescriptor(more, &n.a);
  EXPECT_EQ(n.node.ResultQueueLength(), 10);
}

TEST(GnutellaRouting, RequestQueueKeepsTheNewestTen) {
  Net n;
  for (int i = 0; i < 12; ++i) {
    std::string text = "q";
    text += std::to_string(i);  // (not "q" + ...: a false alarm of one compiler)
    TBasePacket q = Query(uint8_t(i), text);
    n.node.ReceiveDescriptor(q, &n.a);
  }
  auto r = n.node.GetNextSearchRequest();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Text, "q2");
  EXPECT_EQ(r->Guid, Guid(2));
  EXPECT_EQ(r->Flags, kQueryFlagsForm);
  int rest = 0;
  while (n.node.GetNextSearchRequest()) ++rest;
  EXPECT_EQ(rest, 9);
}

TEST(GnutellaRouting, LeavesAndCacheServersRelayNothing) {
  for (bool cacheServer : {false, true}) {
    Net n(cacheServer ? umUltraPeer : umLeaf, cacheServer);
    TBasePacket q = Query(1, "x");
    n.node.ReceiveDescriptor(q, &n.a);
    EXPECT_TRUE(n.b.sent.empty() && n.c.sent.empty());
    EXPECT_TRUE(n.node.GetNextSearchRequest());  // still seen
    n.node.Search(0, "own");
    EXPECT_EQ(n.a.Count(kDescQuery), 1);
    EXPECT_EQ(n.b.Count(kDescQuery), 1);
  }
}

TEST(GnutellaPingPong, ByRole) {
  Net up;
  TBasePacket ping(Guid(1), kDescPing, 7, 0, "");
  up.node.ReceiveDescriptor(ping, &up.b);
  ASSERT_EQ(up.b.sent.size(), 1u);
  const TBasePacket& pong = up.b.sent[0];
  EXPECT_EQ(pong.Type, kDescPong);
  EXPECT_EQ(pong.Guid, Guid(1));
  EXPECT_EQ(pong.TTL, 1);
  EXPECT_EQ(pong.Hops, 0);
  std::string expected = "\xCA\x18\x0A\x01\x02\x03\x64\x00\x00\x00\xE8\x03\x00\x00"s;
  EXPECT_EQ(pong.Payload, expected);
  EXPECT_TRUE(up.a.sent.empty() && up.c.sent.empty());  // pings are not passed on

  Net leaf(umLeaf);
  TBasePacket discovery(Guid(2), kDescPing, 7, 0, "");
  leaf.node.ReceiveDescriptor(discovery, &leaf.a);
  EXPECT_TRUE(leaf.a.sent.empty());
  // The neighbour's keep-alive ping is answered, or the link would be closed.
  TBasePacket keepAlive(Guid(3), kDescPing, 1, 0, "");
  leaf.node.ReceiveDescriptor(keepAlive, &leaf.a);
  EXPECT_EQ(leaf.a.Count(kDescPong), 1);

  // Pongs feed the host cache and go no further.
  TBasePacket good(Guid(4), kDescPong, 1, 0, PongPayload(TPong{6346, 0x05060708, 1, 1}));
  TBasePacket shortPong(Guid(5), kDescPong, 1, 0, PongPayload(TPong{6347, 0x05060709, 1, 1}).substr(0, 13));
  TBasePacket noAddress(Guid(6), kDescPong, 1, 0, PongPayload(TPong{6347, 0, 1, 1}));
  for (TBasePacket* p : {&good, &shortPong, &noAddress}) up.node.ReceiveDescriptor(*p, &up.a);
  auto cache = up.node.HostCache();
  ASSERT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache[0].Key(), "5.6.7.8:6346");
  EXPECT_TRUE(up.a.Count(kDescPong) == 0 && up.c.sent.empty());
}

TEST(GnutellaPush, OursFiresTheEventOthersStop) {
  Net n;
  std::vector<std::string> got;
  n.node.OnPush = [&](TGnutella&, const std::string& guid, int index, const std::string& host, int port) {
    got.push_back(guid + " " + std::to_string(index) + " " + host + ":" + std::to_string(port));
  };
  TPush mine{n.node.ServentGuid(), 42, 0x0B0C0D0E, 6699};
  TBasePacket p(Guid(1), kDescPush, 5, 0, PushPayload(mine));
  n.node.ReceiveDescriptor(p, &n.a);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], GuidToText(n.node.ServentGuid()) + " 42 11.12.13.14:6699");

  TPush other{Guid(9), 1, 0x0B0C0D0E, 6699};
  TBasePacket q(Guid(2), kDescPush, 5, 0, PushPayload(other));
  n.node.ReceiveDescriptor(q, &n.a);
  TBasePacket bye(Guid(3), kDescBye, 1, 0, "\xC8\x00" "bye\0"s);
  n.node.ReceiveDescriptor(bye, &n.a);
  TBasePacket vendor(Guid(4), kDescVendor, 1, 0, "SCRP\0\0\1\0"s);
  n.node.ReceiveDescriptor(vendor, &n.a);
  EXPECT_EQ(got.size(), 1u);
  EXPECT_TRUE(n.b.sent.empty() && n.c.sent.empty());
}

TEST(GnutellaNode, FlagBytesAndHealth) {
  TGnutellaSettings s;
  uint8_t valid, value;
  HitFlagBytes(s, valid, value);
  EXPECT_EQ(valid, 0x1C);
  EXPECT_EQ(value, 0x01);
  s.bFlagBusy = true;
  s.bFlagPushValid = true;
  HitFlagBytes(s, valid, value);
  EXPECT_EQ(valid, 0x1D);
  EXPECT_EQ(value, 0x05);

  Net n;
  EXPECT_EQ(n.node.ConnectionCount(), 3);
  EXPECT_EQ(n.node.UltrapeerLinkCount(), 2);
  EXPECT_EQ(n.node.LeafLinkCount(), 1);
  EXPECT_EQ(n.node.HealthPercent(), 75);
  EXPECT_EQ(n.node.sLocalIP(), "10.1.2.3");
  EXPECT_EQ(n.node.iLocalIP(), 0x0A010203u);
}
