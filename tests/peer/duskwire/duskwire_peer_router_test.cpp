// Routing as pure logic: routers that are not started, with fake peers that
// collect what is queued to them. Packets are carried between routers by
// hand, so every step is visible.
#include "peer/duskwire/duskwire_peer_router.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

namespace {

class FakePeer : public TDWPeer {
 public:
  explicit FakePeer(std::string id) : id_(std::move(id)) {}
  const std::string& PeerId() const override { return id_; }
  void QueuePacket(const TDWPacketRef& packet) override { queued.push_back(packet); }
  void ClosePeer() override { closed = true; }
  int Traffic() const override { return traffic; }

  std::deque<TDWPacketRef> queued;
  bool closed = false;
  int traffic = 0;

 private:
  std::string id_;
};

// A fake peer in a reserved slot of r; leaves the router when destroyed.
struct Attached {
  Attached(TDuskwirePeerRouter& r, std::unique_ptr<FakePeer> p) : router(r), peer(std::move(p)) {}
  ~Attached() {
    if (peer) router.RemovePeer(peer->PeerId());
  }
  FakePeer* operator->() const { return peer.get(); }
  FakePeer* get() const { return peer.get(); }
  explicit operator bool() const { return bool(peer); }
  TDuskwirePeerRouter& router;
  std::unique_ptr<FakePeer> peer;
};

Attached Attach(TDuskwirePeerRouter& r, const std::string& address) {
  std::string id = r.ReservePeer(address, false);
  if (id.empty()) return Attached(r, nullptr);
  auto p = std::make_unique<FakePeer>(id);
  EXPECT_TRUE(r.ActivatePeer(id, p.get()));
  return Attached(r, std::move(p));
}

TDuskwirePacket Request(const std::string& id, const std::string& ri, const std::string& to = "") {
  TDuskwirePacket p;
  p.SetFirstLine("1000");
  p.SetHeader("To", to);
  p.SetHeader("Message-ID", id);
  p.SetHeader("From", "far");
  p.SetHeader("Request-Type", "NAPSTER-REQUEST");
  p.SetHeader("Routing-Info", ri);
  return p;
}

TDuskwirePacket Response(const std::string& id, const std::string& ri) {
  TDuskwirePacket p;
  p.SetFirstLine("2000");
  p.SetHeader("Message-ID", id);
  p.SetHeader("Routing-Info", ri);
  return p;
}

std::string Elements(int n) {
  std::string ri = "seed";
  for (int i = 1; i < n; ++i) ri += ":e" + std::to_string(i);
  return ri;
}

int Delivered(TDuskwirePeerRouter& r) {
  int n = 0;
  std::string ri, to, type, body, from;
  while (r.GetNextRequest(ri, to, type, body, from)) ++n;
  return n;
}

}  // namespace

TEST(DuskwireRouting, HopLimitCountsTheArrivalPeer) {
  TDuskwirePeerRouter r;  // MaxHops 5
  auto a = Attach(r, "10.0.0.1");
  auto b = Attach(r, "10.0.0.2");
  ASSERT_TRUE(a && b);

  TDuskwirePacket seven = Request("m7", Elements(7));
  r.ReceivePacket(seven, "x", a.get());
  EXPECT_TRUE(b->queued.empty());
  EXPECT_EQ(Delivered(r), 0);

  TDuskwirePacket six = Request("m6", Elements(6));
  r.ReceivePacket(six, "x", a.get());
  ASSERT_EQ(b->queued.size(), 1u);
  EXPECT_EQ(b->queued[0]->Packet.GetHeader("Routing-Info"), Elements(6) + ":" + a->PeerId());
  EXPECT_TRUE(a->queued.empty());  // never back to where it came from
  EXPECT_EQ(Delivered(r), 1);

  // Limited: round(5 x 0.777) = 4 hops.
  b->queued.clear();
  TDuskwirePacket l6 = Request("l6", Elements(6));
  l6.SetHeader("Limited", "true");
  r.ReceivePacket(l6, "x", a.get());
  EXPECT_TRUE(b->queued.empty());
  TDuskwirePacket l5 = Request("l5", Elements(5));
  l5.SetHeader("Limited", "TRUE");
  r.ReceivePacket(l5, "x", a.get());
  EXPECT_EQ(b->queued.size(), 1u);
}

TEST(DuskwireRouting, ACopyOverTheHopLimitDoesNotShutOutAShorterOne) {
  TDuskwirePeerRouter r;  // MaxHops 5
  auto a = Attach(r, "10.0.0.1");
  auto b = Attach(r, "10.0.0.2");
  ASSERT_TRUE(a && b);
  // The long way round arrives first and is dropped for its hops ...
  TDuskwirePacket far = Request("same", Elements(7));
  r.ReceivePacket(far, "x", a.get());
  EXPECT_EQ(Delivered(r), 0);
  // ... the short way still gets through, once.
  TDuskwirePacket near = Request("same", Elements(3));
  r.ReceivePacket(near, "x", b.get());
  EXPECT_EQ(Delivered(r), 1);
  EXPECT_EQ(a->queued.size(), 1u);
  TDuskwirePacket again = Request("same", Elements(2));
  r.ReceivePacket(again, "x", a.get());
  EXPECT_EQ(Delivered(r), 0);
}

TEST(DuskwireRouting, AShorterCopyGoesOnButIsDeliveredOnce) {
  TDuskwirePeerRouter r;  // MaxHops 5
  auto a = Attach(r, "10.0.0.1");
  auto b = Attach(r, "10.0.0.2");
  auto c = Attach(r, "10.0.0.3");
  ASSERT_TRUE(a && b && c);
  // The long way round comes first, at the hop limit: delivered, and sent
  // on, though with no hop left for the nodes beyond.
  TDuskwirePacket far = Request("id", Elements(5));
  r.ReceivePacket(far, "x", a.get());
  EXPECT_EQ(Delivered(r), 1);
  ASSERT_EQ(c->queued.size(), 1u);
  // The short way comes later: sent on with its shorter path, to every peer
  // but the one it came from, and not delivered again.
  TDuskwirePacket near = Request("id", Elements(2));
  r.ReceivePacket(near, "x", b.get());
  EXPECT_EQ(Delivered(r), 0);
  ASSERT_EQ(c->queued.size(), 2u);
  EXPECT_EQ(c->queued[1]->Packet.GetHeader("Routing-Info"), Elements(2) + ":" + b->PeerId());
  EXPECT_EQ(a->queued.size(), 1u);
  EXPECT_EQ(b->queued.size(), 1u);  // only the first copy
  // A copy no shorter than the shortest so far is a duplicate.
  for (int elements : {2, 4}) {
    TDuskwirePacket again = Request("id", Elements(elements));
    r.ReceivePacket(again, "x", c.get());
  }
  EXPECT_EQ(a->queued.size() + b->queued.size() + c->queued.size(), 4u);
  EXPECT_EQ(Delivered(r), 0);
  // Our own requests never come back into the flood, however short the way.
  a->queued.clear();
  r.SendRequest("S", "", false, "NAPSTER-REQUEST", "q");
  ASSERT_EQ(a->queued.size(), 1u);
  TDuskwirePacket echo = a->queued[0]->Packet;
  a->queued.clear();
  r.ReceivePacket(echo, "q", b.get());
  EXPECT_TRUE(a->queued.empty());
  EXPECT_EQ(Delivered(r), 0);
}

// A body flooded to every peer is one object in all their queues and in the
// delivered queue; each queue holds so many packets and so many bytes.
TEST(DuskwireRouting, AFloodedBodyIsHeldOnceAndQueuesKeepABudget) {
  TDuskwirePeerRouter r;
  auto a = Attach(r, "10.0.0.1");
  auto b = Attach(r, "10.0.0.2");
  auto c = Attach(r, "10.0.0.3");
  TDuskwirePacket big = Request("big", "s:u");
  r.ReceivePacket(big, std::string(kDuskwireMaxBody, 'x'), a.get());
  ASSERT_EQ(b->queued.size(), 1u);
  ASSERT_EQ(c->queued.size(), 1u);
  EXPECT_EQ(b->queued[0].get(), c->queued[0].get());
  EXPECT_EQ(b->queued[0].use_count(), 3);  // b's queue, c's and the delivered one
  EXPECT_GT(b->queued[0]->Bytes, std::size_t(kDuskwireMaxBody));

  auto packet = [](std::size_t bodyBytes) {
    return std::make_shared<const TDWQueuedPacket>(Request("q", "s:u"), std::string(bodyBytes, 'b'));
  };
  TDWPacketQueue q;
  bool full = false;
  // The packet count: the limit-th packet pushes out the oldest.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(q.Push(packet(10), 4, 1 << 20, full), 0);
  EXPECT_FALSE(full);
  EXPECT_EQ(q.Push(packet(10), 4, 1 << 20, full), 1);
  EXPECT_TRUE(full);
  EXPECT_EQ(q.Count(), 3);
  // Bytes: the oldest go until the rest fit, full or not; the newest stays
  // even when it alone is over.
  q.Clear();
  const std::size_t one = packet(1000)->Bytes;
  EXPECT_EQ(q.Push(packet(1000), 100, 2 * one, full), 0);
  EXPECT_EQ(q.Push(packet(1000), 100, 2 * one, full), 0);
  EXPECT_EQ(q.Push(packet(1000), 100, 2 * one, full), 1);
  EXPECT_FALSE(full);
  EXPECT_EQ(q.Bytes(), 2 * one);
  EXPECT_EQ(q.Push(packet(5000), 100, 2 * one, full), 2);
  EXPECT_EQ(q.Count(), 1);
  EXPECT_EQ(q.Pop()->Body.size(), 5000u);
  EXPECT_EQ(q.Bytes(), 0u);
  EXPECT_EQ(q.Pop(), nullptr);

  // The delivered queue keeps to the budget too: the newest stays.
  r.SetQueueByteBudget(3 * one + 100);  // three of these packets, not four
  for (int i = 0; i < 5; ++i) {
    TDuskwirePacket p = Request("d" + std::to_string(i), "s:u");
    r.ReceivePacket(p, std::string(1000, char('0' + i)), a.get());
  }
  std::string ri, to, type, body, from;
  ASSERT_TRUE(r.GetNextRequest(ri, to, type, body, from));  // the large one went first
  DuskwireTransform(body);
  EXPECT_EQ(body, std::string(1000, '2'));
  EXPECT_EQ(Delivered(r), 2);
}

TEST(DuskwireRouting, DuplicatesAndAddressees) {
  TDuskwirePeerRouter r;
  r.SetNick("me");
  auto a = Attach(r, "10.0.0.1");
  auto b = Attach(r, "10.0.0.2");
  auto c = Attach(r, "10.0.0.3");

  TDuskwirePacket p1 = Request("same", "s:u");
  TDuskwirePacket p2 = Request("same", "s:u");
  r.ReceivePacket(p1, "x", a.get());
  r.ReceivePacket(p2, "x", b.get());
  EXPECT_EQ(Delivered(r), 1);
  EXPECT_EQ(b->queued.size() + c->queued.size(), 2u);
  EXPECT_EQ(a->queued.size(), 0u);

  TDuskwirePacket other = Request("o", "s:u", "someone-else");
  r.ReceivePacket(other, "x", a.get());
  EXPECT_EQ(Delivered(r), 0);
  EXPECT_EQ(c->queued.size(), 2u);  // forwarded all the same

  TDuskwirePacket mine = Request("m", "s:u", "me");
  r.ReceivePacket(mine, "x", a.get());
  EXPECT_EQ(Delivered(r), 1);
  TDuskwirePacket caseDiffers = Request("M2", "s:u", "ME");
  r.ReceivePacket(caseDiffers, "x", a.get());
  EXPECT_EQ(Delivered(r), 0);  // the nick must match exactly
}

TEST(DuskwireRouting, SeenIdsAreBoundedByTheMessageIdMemory) {
  TDuskwirePeerRouter r;
  r.SetMessageIdMemory(3);
  auto a = Attach(r, "10.0.0.1");
  for (const char* id : {"1", "2", "3", "1"}) {
    TDuskwirePacket p = Request(id, "s:u");
    r.ReceivePacket(p, "", a.get());
  }
  // Memory 3 keeps two ids: "1" was forgotten when "3" came.
  EXPECT_EQ(Delivered(r), 4);
}

TEST(DuskwireRouting, DeliveredQueueDropsItsOldest) {
  TDuskwirePeerRouter r;
  r.SetIncomingQueueLimit(4);
  auto a = Attach(r, "10.0.0.1");
  for (int i = 0; i < 10; ++i) {
    TDuskwirePacket p = Request("id" + std::to_string(i), "s:u");
    std::string body = "b" + std::to_string(i);
    DuskwireTransform(body);
    r.ReceivePacket(p, body, a.get());
  }
  std::string ri, to, type, body, from;
  ASSERT_TRUE(r.GetNextRequest(ri, to, type, body, from));
  EXPECT_EQ(body, "b7");  // limit 4 keeps the newest three
  EXPECT_EQ(type, "NAPSTER-REQUEST");
  EXPECT_EQ(from, "far");
  EXPECT_EQ(ri, "s:u:" + a->PeerId());
  EXPECT_EQ(Delivered(r), 2);
}

// Three routers in a line, X - Y - Z, joined by fake peers whose queues are
// carried across by hand.
TEST(DuskwireRouting, ResponseTravelsBackAlongTheRequestPath) {
  TDuskwirePeerRouter x, y, z;
  x.SetNick("x");
  y.SetNick("y");
  z.SetNick("z");
  auto xToY = Attach(x, "10.0.0.2");
  auto yToX = Attach(y, "10.0.0.1");
  auto yToZ = Attach(y, "10.0.0.3");
  auto zToY = Attach(z, "10.0.0.2");
  std::map<FakePeer*, std::pair<TDuskwirePeerRouter*, FakePeer*>> link = {
      {xToY.get(), {&y, yToX.get()}},
      {yToX.get(), {&x, xToY.get()}},
      {yToZ.get(), {&z, zToY.get()}},
      {zToY.get(), {&y, yToZ.get()}},
  };
  auto carry = [&] {
    bool moved = true;
    while (moved) {
      moved = false;
      for (auto& [peer, far] : link) {
        while (!peer->queued.empty()) {
          TDWPacketRef q = std::move(peer->queued.front());
          peer->queued.pop_front();
          TDuskwirePacket p = q->Packet;
          far.first->ReceivePacket(p, q->Body, far.second);
          moved = true;
        }
      }
    }
  };

  x.SendRequest("search1", "", false, "NAPSTER-REQUEST", "find me");
  carry();
  std::string ri, to, type, body, from;
  ASSERT_TRUE(y.GetNextRequest(ri, to, type, body, from));
  std::string zri;
  ASSERT_TRUE(z.GetNextRequest(zri, to, type, body, from));
  EXPECT_EQ(body, "find me");
  EXPECT_EQ(from, "x");
  EXPECT_EQ(std::count(zri.begin(), zri.end(), ':'), 3);  // seed:id:Y's peer:Z's peer
  EXPECT_FALSE(x.GetNextRequest(ri, to, type, body, from));  // own request not delivered

  // Z answers along the path the request took.
  z.SendResponse(zri, "x", "result");
  carry();
  std::string rri, rto, rfrom, rbody;
  ASSERT_TRUE(x.GetNextResponse(rri, rto, rfrom, rbody));
  EXPECT_EQ(rri, "search1");
  EXPECT_EQ(rbody, "result");
  EXPECT_EQ(rfrom, "z");
  EXPECT_EQ(rto, "x");
  EXPECT_FALSE(y.GetNextResponse(rri, rto, rfrom, rbody));
  EXPECT_FALSE(z.GetNextResponse(rri, rto, rfrom, rbody));
}

TEST(DuskwireRouting, ResponsesToForeignOrMissingPathsAreDropped) {
  TDuskwirePeerRouter r;
  auto a = Attach(r, "10.0.0.1");
  auto b = Attach(r, "10.0.0.2");
  std::string ri, to, from, body;

  TDuskwirePacket foreign = Response("f", "seed:never-sent");
  r.ReceivePacket(foreign, "", a.get());
  EXPECT_FALSE(r.GetNextResponse(ri, to, from, body));

  TDuskwirePacket gone = Response("g", "seed:u:no-such-peer");
  r.ReceivePacket(gone, "", a.get());
  EXPECT_TRUE(a->queued.empty() && b->queued.empty());

  TDuskwirePacket noPath = Response("n", b->PeerId());
  r.ReceivePacket(noPath, "", a.get());
  EXPECT_TRUE(b->queued.empty());

  TDuskwirePacket toB = Response("t", "seed:u:" + b->PeerId());
  r.ReceivePacket(toB, "", a.get());
  ASSERT_EQ(b->queued.size(), 1u);
  EXPECT_EQ(b->queued[0]->Packet.GetHeader("Routing-Info"), "seed:u");

  // A response this node sends with hop count 0 goes nowhere.
  r.SendResponse("seed:u", "x", "body");
  EXPECT_EQ(a->queued.size(), 0u);
  EXPECT_EQ(b->queued.size(), 1u);
}

TEST(DuskwireRouting, OwnPacketsCarryTheirHeaders) {
  TDuskwirePeerRouter r;
  r.SetNick("nick");
  auto a = Attach(r, "10.0.0.1");
  r.SendRequest("seed", "bob", true, "NAPSTER-REQUEST", "abc");
  ASSERT_EQ(a->queued.size(), 1u);
  const TDuskwirePacket& p = a->queued[0]->Packet;
  EXPECT_EQ(p.FirstLine(), "1000");
  EXPECT_EQ(p.GetHeader("To"), "bob");
  EXPECT_EQ(p.GetHeader("From"), "nick");
  EXPECT_EQ(p.GetHeader("Limited"), "True");
  EXPECT_EQ(p.GetHeader("Routing-Info").rfind("seed:", 0), 0u);
  EXPECT_FALSE(p.HasHeader("IP"));  // not listening
  std::string body = a->queued[0]->Body;
  DuskwireTransform(body);
  EXPECT_EQ(body, "abc");

  // The echo of an own request coming back is a duplicate.
  TDuskwirePacket echo(p);
  auto b = Attach(r, "10.0.0.2");
  r.ReceivePacket(echo, a->queued[0]->Body, b.get());
  EXPECT_EQ(a->queued.size(), 1u);
  EXPECT_EQ(Delivered(r), 0);
}

TEST(DuskwireRouting, HostQueue) {
  TDuskwirePeerRouter r;
  TDuskwirePacket greeting;
  greeting.SetHeader("IP-Host", "10.1.1.1");
  r.ApplyServerGreeting(greeting);
  r.AddHost("10.1.1.1", 6016);  // own address
  r.AddHost("10.1.1.2", 0);
  r.AddHost("", 6016);
  EXPECT_EQ(r.HostQueueCount(), 0);
  for (int i = 1; i <= 21; ++i) r.AddHost("10.2.0." + std::to_string(i), 6016);
  auto hosts = r.HostQueue();
  ASSERT_EQ(hosts.size(), 20u);
  EXPECT_EQ(hosts.front().Host, "10.2.0.2");

  // Packets teach hosts; a bad Port header teaches nothing.
  auto a = Attach(r, "10.0.0.1");
  TDuskwirePacket p = Request("h1", "s:u");
  p.SetHeader("IP", "10.3.0.1");
  p.SetHeader("Port", "7000");
  r.ReceivePacket(p, "", a.get());
  EXPECT_EQ(r.HostQueue().back().Host, "10.3.0.1");
  TDuskwirePacket q = Request("h2", "s:u");
  q.SetHeader("IP", "10.3.0.2");
  q.SetHeader("Port", "70000");
  r.ReceivePacket(q, "", a.get());
  TDuskwirePacket w = Request("h3", "s:u");
  w.SetHeader("IP", "10.3.0.3");
  w.SetHeader("Port", "many");
  r.ReceivePacket(w, "", a.get());
  EXPECT_EQ(r.HostQueue().back().Host, "10.3.0.1");
}

TEST(DuskwireRouting, PeerSlotsAreReservedOncePerAddress) {
  TDuskwirePeerRouter r;
  r.SetSetting(TDWSetting::MaxPeers, 2);
  r.SetSetting(TDWSetting::MinPeers, 4);
  auto a = Attach(r, "10.0.0.1");
  EXPECT_EQ(r.ReservePeer("10.0.0.1", true), "");
  EXPECT_FALSE(r.IsNewHost("10.0.0.1"));
  EXPECT_EQ(r.HealthPercent(), 25);
  auto b = Attach(r, "10.0.0.2");
  EXPECT_EQ(r.ReservePeer("10.0.0.3", true), "");  // MaxPeers
  EXPECT_EQ(r.PeerCount(), 2);
  EXPECT_EQ(r.OutgoingPeerCount(), 2);
  EXPECT_EQ(r.HealthPercent(), 50);
  a->traffic = 100;
  b->traffic = 23;
  EXPECT_EQ(r.Traffic(), 123);
  r.RemovePeer(a->PeerId());
  EXPECT_EQ(r.PeerCount(), 1);
  EXPECT_TRUE(r.IsNewHost("10.0.0.1"));
  EXPECT_TRUE(r.TakeRefreshDue());
}

// Two nodes that connect to each other at once must keep the same one of
// the two connections, or each closes the other's and the link is lost.
TEST(DuskwireRouting, CrossingConnectionsKeepTheOneOpenedByTheLowerAddress) {
  TDuskwirePeerRouter r;
  r.AdoptLocalAddress("10.0.0.5", 0x0a000005u);
  // Ours to a higher address stays; theirs is refused.
  auto high = Attach(r, "10.0.0.9");
  EXPECT_EQ(r.ReservePeer("10.0.0.9", true), "");
  EXPECT_FALSE(high->closed);

  // Ours to a lower address gives way to theirs; once that is in, neither
  // a third connection nor one of ours gets a slot.
  auto low = Attach(r, "10.0.0.1");
  const std::string theirs = r.ReservePeer("10.0.0.1", true);
  ASSERT_NE(theirs, "");
  EXPECT_TRUE(low->closed);
  EXPECT_EQ(r.ReservePeer("10.0.0.1", true), "");
  EXPECT_EQ(r.ReservePeer("10.0.0.1", false), "");
  EXPECT_EQ(r.PeerCount(), 3);  // the closed one leaves when its thread ends
  r.RemovePeer(low->PeerId());
  EXPECT_EQ(r.PeerCount(), 2);
  EXPECT_FALSE(r.IsNewHost("10.0.0.1"));

  // A slot still waiting for its thread gives way at once.
  const std::string waiting = r.ReservePeer("10.0.0.2", false);
  const std::string theirs2 = r.ReservePeer("10.0.0.2", true);
  ASSERT_NE(theirs2, "");
  FakePeer late(waiting);
  EXPECT_FALSE(r.ActivatePeer(waiting, &late));

  // Connects under way: an incoming connection from the lower address wins
  // (ours is refused when it arrives), one from the higher is refused; a
  // connect that arrives takes its own pending place in the same step.
  r.RegisterConnect("C1", "10.0.0.3", nullptr);
  r.RegisterConnect("C2", "10.0.0.7", nullptr);
  EXPECT_EQ(r.ReservePeer("10.0.0.7", true), "");
  const std::string theirs3 = r.ReservePeer("10.0.0.3", true);
  ASSERT_NE(theirs3, "");
  EXPECT_EQ(r.ReservePeer("10.0.0.3", false, "", "C1"), "");
  const std::string ours7 = r.ReservePeer("10.0.0.7", false, "", "C2");
  ASSERT_NE(ours7, "");
  EXPECT_EQ(r.PendingConnectCount(), 0);
  EXPECT_EQ(r.IncomingPeerCount(), 3);
  EXPECT_EQ(r.OutgoingPeerCount(), 2);  // to 10.0.0.9 and 10.0.0.7
  for (const std::string& id : {theirs, theirs2, theirs3, ours7}) r.RemovePeer(id);
}

TEST(DuskwireRouting, ServerSettingsReplaceOursZeroIncluded) {
  TDuskwirePeerRouter r;
  TDuskwirePacket g;
  g.SetHeader("PeerTimeout", "0");
  g.SetHeader("LowSpeedBPS", "0");  // a new, idle node is to announce itself
  g.SetHeader("MaxHops", "-3");
  g.SetHeader("MinPeers", "lots");
  g.SetHeader("MaxPeers", "12");
  g.SetHeader("ServerMessage", "hello there");
  g.SetHeader("IP-Host", "10.9.8.7");
  g.SetHeader("IP-Number", "168364039");
  r.ApplyServerGreeting(g);
  EXPECT_EQ(r.Setting(TDWSetting::PeerTimeout), 0);
  EXPECT_EQ(r.Setting(TDWSetting::LowSpeedBPS), 0);
  EXPECT_EQ(r.Setting(TDWSetting::MaxHops), 5);
  EXPECT_EQ(r.Setting(TDWSetting::MinPeers), 7);
  EXPECT_EQ(r.Setting(TDWSetting::MaxPeers), 12);
  EXPECT_EQ(r.Setting(TDWSetting::CacheRefreshTime), 180);  // absent
  EXPECT_EQ(r.ServerMessage(), "hello there");
  EXPECT_EQ(r.IPHost(), "10.9.8.7");
  EXPECT_EQ(r.IPNumber(), 0x0A090807u);

  TDuskwirePeerRouter keep;
  keep.SetAcceptServerSettings(false);
  keep.ApplyServerGreeting(g);
  EXPECT_EQ(keep.Setting(TDWSetting::MaxPeers), 10);
  EXPECT_EQ(keep.ServerMessage(), "hello there");
}

TEST(DuskwireRouting, StatisticsRoundTrip) {
  TDuskwirePeerRouter r;
  r.SetLocalStatistic("Hosts", 1);
  r.SetLocalStatistic("Files", 20);
  r.SetLocalStatistic("MB", 3);
  TDuskwirePacket p;
  r.AddLocalStatistics(p);
  ASSERT_EQ(p.HeaderCount(), 3);
  EXPECT_EQ(p.HeaderName(0), "HOSTS");
  EXPECT_EQ(p.GetHeader("FILES"), "20");

  TDuskwirePacket reply;
  reply.SetFirstLine("2030");
  reply.SetHeader("Hosts", "1,234");
  reply.SetHeader("MB", "x");
  r.StatisticsAnswered(reply);
  EXPECT_EQ(r.NetworkStatistic("HOSTS"), 1234);
  EXPECT_EQ(r.NetworkStatistic("mb"), 0);
  EXPECT_EQ(r.NetworkStatistic("Files"), 0);
  TDuskwirePacket again;
  r.AddLocalStatistics(again);
  EXPECT_EQ(again.HeaderCount(), 0);  // sent and answered
  // Any other reply empties both tables too.
  TDuskwirePacket refused;
  refused.SetFirstLine("4004");
  refused.SetHeader("Hosts", "9");
  r.StatisticsAnswered(refused);
  EXPECT_EQ(r.NetworkStatistic("Hosts"), 0);
}
