// The gateway's protocol against faked networks and an in-memory client:
// the search text, term matching, login, shares, searches, the requests
// and answers over Duskwire, Gnutella results, and what reaches the client.
#include <gtest/gtest.h>

#include "core/global_functions.h"
#include "peer/gateway/gateway.h"
#include "platform/thread.h"
#include "tools/gateway_fake_networks.h"

using Frames = std::vector<NapsterMessage>;

namespace {

std::string FileLine(const std::string& name, int64_t size, int bitrate = 128, int freq = 44100, int secs = 200) {
  return "\"" + name + "\" 0123456789abcdef0123456789abcdef " + std::to_string(size) + " " +
         std::to_string(bitrate) + " " + std::to_string(freq) + " " + std::to_string(secs);
}

TGatewayRemote Request(const std::string& to, const std::string& from = "them", const std::string& ri = "S:1:p1") {
  TGatewayRemote m;
  m.RoutingInfo = ri;
  m.To = to;
  m.From = from;
  m.Request = true;
  return m;
}

// A logged-in gateway with a Duskwire peer, cleared of the login frames.
struct LoggedIn {
  TGatewayHarness gw;
  explicit LoggedIn(int dataPort = 6699, const std::string& nick = "me") {
    gw.Dusk().SetPeers(1);
    gw.Dusk().SetIPNumber(0x7F000002, "127.0.0.2");
    EXPECT_TRUE(gw.LogIn(nick, dataPort, 7));
    gw.TakeFrames();
  }
  std::vector<std::string> ResponseLines() {
    std::vector<std::string> lines;
    for (auto& r : gw.Dusk().Responses())
      for (auto& l : SplitBodyLines(r.Body)) lines.push_back(l);
    return lines;
  }
};

TSearchResult Hit(const std::string& host, const std::string& name, uint32_t speed = 350) {
  TSearchResult r;
  r.Host = host;
  r.Port = 6346;
  r.Speed = speed;
  r.FileName = name;
  r.Size = 1234;
  r.FileIndex = 9;
  return r;
}

}  // namespace

// ---------------------------------------------------------------- pure parts

TEST(GatewaySearchText, TermsOperatorsAndSkippedWords) {
  TGatewaySearch s = ParseSearchText(
      "FILENAME CONTAINS \"blue monday\" MAX_RESULTS 100 filename contains \"new order\" "
      "BITRATE \"AT LEAST\" \"128\" FREQ \"EQUAL TO\" \"44100\" LINESPEED \"AT BEST\" 5");
  EXPECT_EQ(s.Term1, "blue monday");
  EXPECT_EQ(s.Term2, "new order");
  EXPECT_EQ(s.BitrateOp, "AT LEAST");
  EXPECT_EQ(s.Bitrate, 128);
  EXPECT_EQ(s.FreqOp, "EQUAL TO");
  EXPECT_EQ(s.Freq, 44100);
  EXPECT_EQ(s.LineSpeedOp, "AT BEST");
  EXPECT_EQ(s.LineSpeed, 5);

  // A third term replaces the second; a value without digits is 0.
  s = ParseSearchText("FILENAME CONTAINS \"a\" FILENAME CONTAINS \"b\" FILENAME CONTAINS \"c\" BITRATE \"AT LEAST\" \"x\"");
  EXPECT_EQ(s.Term1, "a");
  EXPECT_EQ(s.Term2, "c");
  EXPECT_EQ(s.Bitrate, 0);
  // Nothing, blanks, and cut-off texts end without harm.
  EXPECT_EQ(ParseSearchText("").Term1, "");
  EXPECT_EQ(ParseSearchText("   ").Term1, "");
  EXPECT_EQ(ParseSearchText("FILENAME CONTAINS \"unclosed").Term1, "unclosed");
  EXPECT_EQ(ParseSearchText("BITRATE").Bitrate, 0);
}

TEST(GatewaySearchText, Conditions) {
  EXPECT_TRUE(PassesCondition("EQUAL TO", 128, 128));
  EXPECT_FALSE(PassesCondition("EQUAL TO", 129, 128));
  EXPECT_TRUE(PassesCondition("at least", 128, 128));
  EXPECT_FALSE(PassesCondition("AT LEAST", 127, 128));
  EXPECT_TRUE(PassesCondition("AT BEST", 127, 128));
  EXPECT_FALSE(PassesCondition("AT BEST", 129, 128));
  EXPECT_TRUE(PassesCondition("", 1, 128));
  EXPECT_TRUE(PassesCondition("ABOUT", 1, 128));
}

TEST(GatewayTerm, SubstringWildcardAndEmpty) {
  EXPECT_TRUE(TGatewayTerm("blue").Matches("Kind of BLUE.mp3"));
  EXPECT_FALSE(TGatewayTerm("green").Matches("Kind of BLUE.mp3"));
  EXPECT_TRUE(TGatewayTerm("").Matches("anything"));
  // Without a star, "?" is a plain character.
  EXPECT_FALSE(TGatewayTerm("bl?e").Matches("blue"));
  // With a star, the pattern covers the whole name.
  EXPECT_TRUE(TGatewayTerm("*.MP3").Matches("song.mp3"));
  EXPECT_FALSE(TGatewayTerm("*.mp3").Matches("song.mp3.txt"));
  EXPECT_TRUE(TGatewayTerm("s?ng*").Matches("Song.mp3"));
  EXPECT_TRUE(TGatewayTerm("**a***b**").Matches("xxaxxbxx"));
  // Windows-1252 letters fold in substrings.
  EXPECT_TRUE(TGatewayTerm("\xe9t\xe9").Matches("L'\xc9T\xc9.mp3"));
}

TEST(GatewayTerm, PatternsAnswerAsTheWildcardMatcher) {
  // Random patterns and names over a small alphabet, so that pieces meet,
  // overlap and repeat: the piece-wise matcher must agree with
  // MatchWildcard on every pair (ASCII letters folded, Windows-1252 ones
  // not, "?" any one byte).
  const std::string alphabet = "aAbB?.\xe9\xc9 *";
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  int matches = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string pattern = "*", name;
    for (uint32_t k = next(8); k > 0; --k) pattern.insert(next(uint32_t(pattern.size()) + 1), 1, alphabet[next(10)]);
    for (uint32_t k = next(12); k > 0; --k) name += alphabet[next(9)];  // no "*" in names
    const bool expected = MatchWildcard(pattern, name);
    matches += expected;
    ASSERT_EQ(TGatewayTerm(pattern).Matches(name), expected) << "pattern \"" << pattern << "\" name \"" << name << "\"";
  }
  EXPECT_GT(matches, 1000);  // the pairs are not all misses
  EXPECT_FALSE(TGatewayTerm("*\xe9").Matches("CAF\xc9"));
  EXPECT_TRUE(TGatewayTerm("*CAF\xc9").Matches("caf\xc9"));
}

TEST(GatewayTerm, PathologicalPatternsStayCheap) {
  // Patterns that make a backtracking matcher take exponential time; the
  // test would not finish with one.
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  pattern += "*b";
  const std::string name(4000, 'a');
  TGatewayTerm term(pattern);
  for (int i = 0; i < 200; ++i) EXPECT_FALSE(term.Matches(name));
  EXPECT_TRUE(term.Matches(name + "b"));
  // A pattern of many stars and more letters than the name has.
  TGatewayTerm stars(std::string(100000, '*') + std::string(300, 'a'));
  EXPECT_FALSE(stars.Matches(std::string(299, 'a')));
  EXPECT_TRUE(stars.Matches(std::string(300, 'a')));
}

TEST(GatewayHelpers, AddressRoundingLinesAndBatches) {
  EXPECT_EQ(NapsterDecimal(0x7F000001), "16777343");
  EXPECT_EQ(NapsterDecimal(0xC0A80105), "83994816");
  EXPECT_EQ(NapsterDecimal(0), "0");
  EXPECT_EQ(DivRoundHalfEven(2500, 1000), 2);
  EXPECT_EQ(DivRoundHalfEven(3500, 1000), 4);
  EXPECT_EQ(DivRoundHalfEven(2501, 1000), 3);
  EXPECT_EQ(DivRoundHalfEven(150, 100), 2);
  EXPECT_EQ(DivRoundHalfEven(249, 100), 2);
  EXPECT_EQ(DivRoundHalfEven(5000000000LL, 1000000), 5000);
  EXPECT_EQ(DivRoundHalfEven(-5, 2), 0);
  EXPECT_EQ(DivRoundHalfEven(5, 0), 0);

  EXPECT_EQ(SplitBodyLines("201 a\r\n201 b\r\n"), (std::vector<std::string>{"201 a", "201 b"}));
  EXPECT_EQ(SplitBodyLines("a\nb\rc\r\n\r\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(SplitBodyLines("\r\n\r\n").empty());

  std::vector<std::string> lines;
  for (int i = 0; i < 1501; ++i) lines.push_back("212 line " + std::to_string(i));
  auto packets = BatchLines(lines);
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(SplitBodyLines(packets[0]).size(), 700u);
  EXPECT_EQ(SplitBodyLines(packets[1]).size(), 700u);
  EXPECT_EQ(SplitBodyLines(packets[2]).size(), 101u);
  EXPECT_EQ(SplitBodyLines(packets[2]).back(), "212 line 1500");
  EXPECT_EQ(packets[0].substr(packets[0].size() - 2), "\r\n");
  // Long lines start a new packet before it grows too large.
  std::vector<std::string> big(200, std::string(7000, 'x'));
  for (auto& p : BatchLines(big)) EXPECT_LE(p.size(), kGatewayBytesPerPacket);
  EXPECT_TRUE(BatchLines({}).empty());

  EXPECT_EQ(TruncateAtLine("H>", "one\r\ntwo\r\nthree", 12), "H>one\r\ntwo\r\n");
  EXPECT_EQ(TruncateAtLine("H>", "one\r\ntwo", 100), "H>one\r\ntwo");
  EXPECT_EQ(TruncateAtLine("H>", std::string(50, 'x'), 10), "H>");
  EXPECT_EQ(TruncateAtLine(std::string(20, 'h'), "x", 10), std::string(10, 'h'));
}

// ---------------------------------------------------------------- login

TEST(GatewayLogin, SuccessStartsBothNetworksAndReportsStats) {
  TGatewayHarness gw;
  gw.Dusk().SetPeers(1);
  gw.Dusk().SetServerMessage("welcome");
  gw.Dusk().SetNetworkStatisticValue("Hosts", 12);
  gw.Dusk().SetNetworkStatisticValue("Files", 3456);
  gw.Dusk().SetNetworkStatisticValue("MB", 2500);
  ASSERT_TRUE(gw.LogIn("alice", 6699, 7));
  EXPECT_EQ(gw.Dusk().NickGiven(), "alice");
  EXPECT_TRUE(gw.Dusk().Started());
  EXPECT_FALSE(gw.Dusk().StartedFirewalled());
  EXPECT_TRUE(gw.Gnut().Started());
  EXPECT_TRUE(gw.Gnut().Firewalled());
  EXPECT_EQ(gw.Gnut().StartPort(), 5050);
  EXPECT_EQ(gw.Gnut().Seeds(), (std::vector<std::string>{"127.0.0.1:7000"}));
  EXPECT_EQ(gw.Dusk().LocalStatistic("Files"), 0);
  Frames f = gw.TakeFrames();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].Type, 3);
  EXPECT_FALSE(f[0].Text.empty());
  EXPECT_EQ(f[1].Type, 621);
  EXPECT_EQ(f[1].Text, "welcome");

  // The first stats go out at once; MB 2500 is 2 GB (halves to even).
  gw.HandleClientMessage(100, FileLine("a.mp3", 3000000));
  gw.PeriodicWork();
  f = gw.OfType(214);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].Text, "12 3456 2");
  EXPECT_EQ(gw.Dusk().LocalStatistic("Hosts"), 1);
  EXPECT_EQ(gw.Dusk().LocalStatistic("Files"), 1);
  EXPECT_EQ(gw.Dusk().LocalStatistic("MB"), 3);
  // Not again before the period is over.
  gw.Dusk().SetNetworkStatisticValue("MB", 3500);
  gw.PeriodicWork();
  EXPECT_EQ(gw.OfType(214).size(), 1u);
}

TEST(GatewayLogin, StatsRoundHalvesToEvenAndComeEveryPeriod) {
  TGatewaySettings s = TGatewayHarness::QuickSettings();
  s.StatsPeriodMs = 20;
  TGatewayHarness gw(s);
  gw.Dusk().SetPeers(1);
  gw.Dusk().SetNetworkStatisticValue("MB", 3500);
  ASSERT_TRUE(gw.LogIn());
  gw.PeriodicWork();
  plat::Thread::Sleep(40);
  gw.Dusk().SetNetworkStatisticValue("MB", 0);
  gw.PeriodicWork();
  Frames f = gw.OfType(214);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].Text, "0 0 4");
  EXPECT_EQ(f[1].Text, "0 0 0");
}

TEST(GatewayLogin, FirewalledClientAndFailure) {
  // Data port 0 starts the router firewalled; a Gnutella link alone is
  // enough for a login.
  TGatewayHarness gw;
  gw.Gnut().SetConnections(1);
  ASSERT_TRUE(gw.LogIn("bob", 0, 3));
  EXPECT_TRUE(gw.Dusk().StartedFirewalled());

  // No peer on either network after the login wait: 0 with an empty text,
  // and the client is closed.
  TGatewaySettings s = TGatewayHarness::QuickSettings();
  s.LoginWait = 1;
  TGatewayHarness lonely(s);
  EXPECT_FALSE(lonely.LogIn());
  Frames f = lonely.TakeFrames();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].Type, 0);
  EXPECT_EQ(f[0].Text, "");
  EXPECT_TRUE(lonely.Closed());
}

// The server window shows the networks' links while the gateway still
// waits for enough of them to answer the login.
TEST(GatewayLogin, TheLoginWaitPublishesTheHealthAsLinksCome) {
  TGatewaySettings s = TGatewayHarness::QuickSettings();
  s.LoginWait = 600;
  TGatewayHarness gw(s);
  gw.Gnut().SetConnections(1);
  gw.Gnut().SetHealth(33);
  int pauses = 0;
  gw.OnLoginPause = [&] {
    ++pauses;
    EXPECT_EQ(gw.HealthSeen().size(), size_t(pauses)) << "stored before each step of the wait";
    if (pauses == 2) gw.Gnut().SetConnections(kGatewayEnoughGnutellaLinks);
    return true;
  };
  ASSERT_TRUE(gw.LogIn());
  EXPECT_EQ(pauses, 2);
  ASSERT_FALSE(gw.HealthSeen().empty());
  EXPECT_EQ(gw.HealthSeen().front(), std::make_pair(33, 0));
}

TEST(GatewayLogin, SmallRequestsAndPeerCheck) {
  LoggedIn l;
  l.gw.HandleClientMessage(6, "newbie pass 0 \"x\" 3 a@b 1");
  l.gw.HandleClientMessage(7, "newbie");
  Frames f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].Type, 3);
  EXPECT_EQ(f[1].Type, 8);
  EXPECT_EQ(f[1].Text, "");
  // Transfers counted up and down, never below 0.
  l.gw.HandleClientMessage(218, "");
  l.gw.HandleClientMessage(218, "");
  l.gw.HandleClientMessage(219, "");
  l.gw.HandleClientMessage(221, "");
  l.gw.HandleClientMessage(220, "");
  EXPECT_EQ(l.gw.Downloads(), 1);
  EXPECT_EQ(l.gw.Uploads(), 1);
  l.gw.HandleClientMessage(703, "7777");
  EXPECT_EQ(l.gw.DataPort(), 7777);
  l.gw.HandleClientMessage(9999, "ignored");
  EXPECT_TRUE(l.gw.TakeFrames().empty());

  // Health is kept within 0..100.
  l.gw.Dusk().SetHealth(143);
  l.gw.Gnut().SetHealth(-5);
  l.gw.PeriodicWork();
  EXPECT_EQ(l.gw.DuskwireHealth(), 100);
  EXPECT_EQ(l.gw.GnutellaHealth(), 0);

  l.gw.PeerCheck();
  EXPECT_FALSE(l.gw.Closed());
  l.gw.Dusk().SetPeers(0);
  l.gw.PeerCheck();
  EXPECT_TRUE(l.gw.Closed());
}

// ---------------------------------------------------------------- shares

TEST(GatewayShares, SixtyFourBitTotalsRemovalAndReplacement) {
  LoggedIn l;
  const int64_t big = 5000000000LL;  // above 4 GiB
  l.gw.HandleClientMessage(100, FileLine("movie.avi", big));
  l.gw.HandleClientMessage(100, FileLine("other.avi", big));
  EXPECT_EQ(l.gw.FileCount(), 2);
  EXPECT_EQ(l.gw.TotalSize(), 2 * big);
  ASSERT_NE(l.gw.FindFile("movie.avi"), nullptr);
  EXPECT_EQ(l.gw.FindFile("movie.avi")->Size, big);

  // Announced again: replaced, not counted twice.
  l.gw.HandleClientMessage(100, FileLine("movie.avi", 1000));
  EXPECT_EQ(l.gw.FileCount(), 2);
  EXPECT_EQ(l.gw.TotalSize(), big + 1000);
  EXPECT_EQ(l.gw.SharedCount(), 2);

  // The stats answer carries the 64-bit figures.
  l.gw.RemoteDispatch("214", Request(""));
  auto r = l.gw.Dusk().Responses();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].Body, "215 2 5000\r\n");
  EXPECT_EQ(r[0].To, "them");
  EXPECT_EQ(r[0].Seed, "S:1:p1");

  // Removal lowers the counts (exact names only), never below 0.
  l.gw.HandleClientMessage(102, "MOVIE.AVI");
  EXPECT_EQ(l.gw.FileCount(), 2);
  l.gw.HandleClientMessage(102, "movie.avi");
  EXPECT_EQ(l.gw.FileCount(), 1);
  EXPECT_EQ(l.gw.TotalSize(), big);
  l.gw.HandleClientMessage(102, "other.avi");
  l.gw.HandleClientMessage(102, "other.avi");
  EXPECT_EQ(l.gw.FileCount(), 0);
  EXPECT_EQ(l.gw.TotalSize(), 0);

  // A line without a quoted name adds nothing.
  l.gw.HandleClientMessage(100, "noquotes 1 2 3");
  EXPECT_EQ(l.gw.SharedCount(), 0);

  // Many files come and most go: browse and search still see the rest in
  // the order announced, with their own values.
  auto name = [](int i) {
    std::string n = "f";
    n += std::to_string(i);  // (not "f" + ...: a false alarm of one compiler)
    return n + ".mp3";
  };
  for (int i = 0; i < 300; ++i) l.gw.HandleClientMessage(100, FileLine(name(i), i));
  for (int i = 0; i < 300; ++i)
    if (i % 10 != 7) l.gw.HandleClientMessage(102, name(i));
  l.gw.HandleClientMessage(100, FileLine("F3.mp3", 333));  // gone once, back at the end
  EXPECT_EQ(l.gw.SharedCount(), 31);
  l.gw.Dusk().ClearSent();
  l.gw.RemoteDispatch("211 me", Request("me"));
  std::vector<std::string> browse = l.ResponseLines();
  ASSERT_EQ(browse.size(), 32u);
  EXPECT_EQ(browse[0], "212 me \"f7.mp3\" AAAAAAAAAAAAAAAAAAAA 7 128 44100 200");
  EXPECT_EQ(browse[29], "212 me \"f297.mp3\" AAAAAAAAAAAAAAAAAAAA 297 128 44100 200");
  EXPECT_EQ(browse[30], "212 me \"F3.mp3\" AAAAAAAAAAAAAAAAAAAA 333 128 44100 200");
  l.gw.Dusk().ClearSent();
  l.gw.RemoteDispatch("200 FILENAME CONTAINS \"f?7.mp3*\"", Request(""));
  std::vector<std::string> found = l.ResponseLines();
  ASSERT_EQ(found.size(), 9u);  // f17 ... f97
  EXPECT_EQ(found[0].substr(0, 28), "201 \"f17.mp3\" MD5MD5MD5MD 17");
  ASSERT_NE(l.gw.FindFile("f297.mp3"), nullptr);
  EXPECT_EQ(l.gw.FindFile("f297.mp3")->Size, 297);
  EXPECT_EQ(l.gw.FindFile("f296.mp3"), nullptr);

  // A new client starts with nothing.
  l.gw.HandleClientMessage(100, FileLine("x.mp3", 10));
  l.gw.HandleClientMessage(218, "");
  l.gw.HandleClientMessage(5000, "");
  l.gw.Reconnect();
  EXPECT_EQ(l.gw.SharedCount(), 0);
  EXPECT_EQ(l.gw.FileCount(), 0);
  EXPECT_EQ(l.gw.Downloads(), 0);
  EXPECT_FALSE(l.gw.TrafficEcho());
  EXPECT_FALSE(l.gw.LoggedIn());
}

// ---------------------------------------------------------------- searches

TEST(GatewaySearch, ClientSearchGoesToBothNetworks) {
  LoggedIn l;
  const std::string text = "FILENAME CONTAINS \"blue\" MAX_RESULTS 100 FILENAME CONTAINS \"monday\"";
  l.gw.HandleClientMessage(200, text);
  auto req = l.gw.Dusk().Requests();
  ASSERT_EQ(req.size(), 1u);
  EXPECT_EQ(req[0].Body, "200 " + text);
  EXPECT_EQ(req[0].Seed, l.gw.SearchId());
  EXPECT_EQ(req[0].To, "");
  EXPECT_EQ(req[0].RequestType, "NAPSTER-REQUEST");
  EXPECT_EQ(l.gw.Gnut().SearchTexts(), (std::vector<std::string>{"blue monday"}));
  EXPECT_FALSE(l.gw.SearchId().empty());

  // A firewalled client searches with 900; each search has its own id.
  std::string first = l.gw.SearchId();
  l.gw.HandleClientMessage(703, "0");
  l.gw.HandleClientMessage(200, "FILENAME CONTAINS \"x\"");
  req = l.gw.Dusk().Requests();
  ASSERT_EQ(req.size(), 2u);
  EXPECT_EQ(req[1].Body, "900 FILENAME CONTAINS \"x\"");
  EXPECT_NE(l.gw.SearchId(), first);
}

TEST(GatewaySearch, ResultsCountedLimitedAndEndedBySilence) {
  TGatewaySettings s = TGatewayHarness::QuickSettings();
  s.SearchSilenceMs = 50;
  TGatewayHarness gw(s);
  gw.Dusk().SetPeers(1);
  ASSERT_TRUE(gw.LogIn());
  gw.HandleClientMessage(200, "FILENAME CONTAINS \"a\"");
  const std::string id = gw.SearchId();
  gw.TakeFrames();
  // Results of another search are dropped.
  gw.Dusk().InjectResponse("OTHER", "me", "x", "201 \"old.mp3\" MD5MD5MD5MD 1 2 3 4 x 1 2 3 4\r\n");
  gw.Pump();
  EXPECT_TRUE(gw.TakeFrames().empty());
  // 1500 results pass, the 1501st ends the search with 202.
  std::vector<std::string> lines;
  for (int i = 0; i < 1600; ++i) lines.push_back("201 \"a" + std::to_string(i) + ".mp3\" MD5MD5MD5MD 1 128 44100 60 n 1 7 6699 0");
  for (auto& body : BatchLines(lines)) gw.Dusk().InjectResponse(id, "me", "n", body);
  gw.Pump();
  Frames f = gw.TakeFrames();
  ASSERT_EQ(f.size(), 1501u);
  EXPECT_EQ(f[0].Type, 201);
  EXPECT_EQ(f[0].Text, "\"a0.mp3\" MD5MD5MD5MD 1 128 44100 60 n 1 7 6699 0");  // no trailing CR
  EXPECT_EQ(f[1499].Type, 201);
  EXPECT_EQ(f[1500].Type, 202);
  EXPECT_EQ(f[1500].Text, "");
  EXPECT_TRUE(gw.SearchId().empty());

  // 30 s (here 50 ms) without results end a search with 202.
  gw.HandleClientMessage(200, "FILENAME CONTAINS \"b\"");
  gw.PeriodicWork();
  EXPECT_TRUE(gw.OfType(202).empty());
  plat::Thread::Sleep(80);
  gw.PeriodicWork();
  ASSERT_EQ(gw.OfType(202).size(), 1u);
  EXPECT_TRUE(gw.SearchId().empty());
  gw.PeriodicWork();
  EXPECT_EQ(gw.OfType(202).size(), 1u);
}

TEST(GatewaySearch, GnutellaResultsMapped) {
  LoggedIn l;
  l.gw.HandleClientMessage(200, "FILENAME CONTAINS \"song\"");
  l.gw.TakeFrames();
  TFakeGnutella& g = l.gw.Gnut();
  g.InjectResult(Hit("192.168.1.5", "private.mp3"));
  g.InjectResult(Hit("10.0.0.1", "private.mp3"));
  g.InjectResult(Hit("0.1.2.3", "private.mp3"));
  g.InjectResult(Hit("192.169.0.1", "public.mp3", 350));
  g.InjectResult(Hit("1.2.3.4", "video.avi"));  // filtered: not MP3
  // Names that would end the quoted field early and forge the fields after it.
  g.InjectResult(Hit("1.2.3.4", "x\" MD5 1 320 48000 9 spoof 16777343 10 6699 0 \"y.mp3"));
  g.InjectResult(Hit("1.2.3.4", "two\r\nlines.mp3"));
  g.InjectResult(Hit("1.2.3.4", "tab\there.mp3"));
  g.InjectResult(Hit("1.2.3.4", std::string("nul\0.mp3", 8)));
  TSearchResult late = Hit("1.2.3.4", "late.mp3");
  late.QueryGUID = NewDescriptorGuid();
  g.InjectResult(late, false);  // a hit of an earlier search
  l.gw.Pump();
  Frames f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].Type, 201);
  // 192.169.0.1 as Napster decimal: bytes c0 a9 00 01 read little-endian,
  // in the nick and, alone, in the address place.
  EXPECT_EQ(f[0].Text, "\"public.mp3\" MD5MD5MD5MD 1234 100 100 200 @#!GNUTELLA:9:16820672 16820672 4 6346 0");
  EXPECT_EQ(l.gw.ResultCount(), 1);

  // With FREQ 16000 other files pass too.
  l.gw.HandleClientMessage(200, "FILENAME CONTAINS \"video\" FREQ \"EQUAL TO\" \"16000\"");
  g.InjectResult(Hit("1.2.3.4", "video.avi", 0));
  g.InjectResult(Hit("1.2.3.4", "Caf\xE9 \xAB" "1\xBB.avi", 0));  // Windows-1252 letters are no control characters
  l.gw.Pump();
  f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 2u);
  EXPECT_NE(f[0].Text.find("video.avi"), std::string::npos);
  EXPECT_NE(f[0].Text.find(" 0 6346 0"), std::string::npos);
  EXPECT_EQ(f[1].Text.substr(0, 14), "\"Caf\xE9 \xAB" "1\xBB.avi\"");
  // Incoming Gnutella queries are taken and dropped.
  g.InjectSearchRequest("anything");
  l.gw.Pump();
  EXPECT_TRUE(l.gw.TakeFrames().empty());
}

TEST(GatewaySearch, RemoteSearchesAnsweredWithinTheirLimit) {
  LoggedIn l;
  for (int i = 0; i < 40; ++i) l.gw.HandleClientMessage(100, FileLine("abc defg " + std::to_string(i) + ".mp3", 100 + i, i < 20 ? 128 : 192));
  l.gw.Dusk().SetTraffic(4321);
  // Two characters: at most 6 results.
  l.gw.RemoteDispatch("200 FILENAME CONTAINS \"ab\" MAX_RESULTS 100", Request(""));
  auto lines = l.ResponseLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "201 \"abc defg 0.mp3\" MD5MD5MD5MD 100 128 44100 200 me 33554559 7 6699 4321");
  EXPECT_EQ(l.gw.Dusk().Responses()[0].To, "them");
  EXPECT_EQ(l.gw.Dusk().Responses()[0].Seed, "S:1:p1");
  l.gw.Dusk().ClearSent();
  // Terms of 3 and 4 characters: at most 21.
  l.gw.RemoteDispatch("200 FILENAME CONTAINS \"ABC\" FILENAME CONTAINS \"defg\"", Request(""));
  EXPECT_EQ(l.ResponseLines().size(), 21u);
  l.gw.Dusk().ClearSent();
  // Conditions filter.
  l.gw.RemoteDispatch("200 FILENAME CONTAINS \"abc defg\" BITRATE \"AT LEAST\" \"192\"", Request(""));
  lines = l.ResponseLines();
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_NE(lines[0].find("abc defg 20.mp3"), std::string::npos);
  l.gw.Dusk().ClearSent();
  // A line speed we fail, or no term at all: nothing.
  l.gw.RemoteDispatch("200 FILENAME CONTAINS \"ab\" LINESPEED \"AT LEAST\" 8", Request(""));
  l.gw.RemoteDispatch("200 BITRATE \"AT LEAST\" \"1\"", Request(""));
  // A search from a firewalled node is answered only when we are not.
  l.gw.HandleClientMessage(703, "0");
  l.gw.RemoteDispatch("900 FILENAME CONTAINS \"ab\"", Request(""));
  EXPECT_TRUE(l.gw.Dusk().Responses().empty());
  l.gw.HandleClientMessage(703, "6699");
  l.gw.RemoteDispatch("900 FILENAME CONTAINS \"ab\"", Request(""));
  EXPECT_EQ(l.ResponseLines().size(), 6u);
  EXPECT_TRUE(l.gw.TakeFrames().empty());
}

// ---------------------------------------------------------------- requests

TEST(GatewayRequests, ClientRequestsBecomeDuskwireRequests) {
  LoggedIn l;
  l.gw.HandleClientMessage(100, FileLine("mine.mp3", 4444));
  l.gw.HandleClientMessage(203, "bob \"song.mp3\"");
  l.gw.HandleClientMessage(205, "bob hello there");
  l.gw.HandleClientMessage(211, "bob");
  l.gw.HandleClientMessage(603, "bob");
  l.gw.HandleClientMessage(500, "bob \"song.mp3\"");
  l.gw.HandleClientMessage(619, "bob \"mine.mp3\" 3");
  l.gw.HandleClientMessage(619, "bob \"not shared.mp3\" 3");
  auto r = l.gw.Dusk().Requests();
  ASSERT_EQ(r.size(), 6u);
  auto check = [&](size_t i, const char* body, const char* seed) {
    EXPECT_EQ(r[i].Body, body);
    EXPECT_EQ(r[i].Seed, seed);
    EXPECT_EQ(r[i].To, "bob");
  };
  check(0, "203 bob \"song.mp3\"", "DOWNLOAD");
  check(1, "205 bob hello there", "PRIVMSG");
  check(2, "211 bob", "BROWSE");
  check(3, "603 bob", "WHOIS");
  check(4, "501 me 33554559 6699 \"song.mp3\" AAAAAAAAAAAAAAAAAAAA 7", "DOWNLOAD");
  check(5, "620 me \"mine.mp3\" 4444 3", "QUEUE_CHECK");
}

TEST(GatewayRequests, PendingUploadsAnsweredAlongTheirPath) {
  LoggedIn l;
  l.gw.HandleClientMessage(100, FileLine("mine.mp3", 4444));
  // Addressed to another nick: nothing.
  l.gw.RemoteDispatch("203 other \"mine.mp3\"", Request("other", "bob"));
  EXPECT_TRUE(l.gw.TakeFrames().empty());
  // Addressed to us: exactly one 607.
  l.gw.RemoteDispatch("203 me \"mine.mp3\"", Request("me", "bob", "DOWNLOAD:1:p1"));
  Frames f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].Type, 607);
  EXPECT_EQ(f[0].Text, "bob \"mine.mp3\"");
  EXPECT_EQ(l.gw.PendingCount(), 1);
  // An answer without a pending request is ignored.
  l.gw.HandleClientMessage(608, "carol \"mine.mp3\"");
  EXPECT_TRUE(l.gw.Dusk().Responses().empty());
  // The client accepts: a 204 goes back along the stored path.
  l.gw.HandleClientMessage(608, "bob \"mine.mp3\"");
  auto r = l.gw.Dusk().Responses();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].Body, "204 me 33554559 6699 \"mine.mp3\" AAAAAAAAAAAAAAAAAAAA 7\r\n");
  EXPECT_EQ(r[0].Seed, "DOWNLOAD:1:p1");
  EXPECT_EQ(r[0].To, "bob");
  EXPECT_EQ(l.gw.PendingCount(), 0);
  l.gw.Dusk().ClearSent();

  // A queue answer (620) sends the size back; a refusal (619) drops the entry.
  l.gw.RemoteDispatch("203 me \"mine.mp3\"", Request("me", "bob", "DOWNLOAD:2:p1"));
  l.gw.HandleClientMessage(620, "bob \"mine.mp3\"");
  r = l.gw.Dusk().Responses();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].Body, "620 me \"mine.mp3\" 4444\r\n");
  EXPECT_EQ(r[0].Seed, "DOWNLOAD:2:p1");
  l.gw.RemoteDispatch("203 me \"mine.mp3\"", Request("me", "bob"));
  EXPECT_EQ(l.gw.PendingCount(), 1);
  l.gw.HandleClientMessage(619, "bob \"mine.mp3\" 0");
  EXPECT_EQ(l.gw.PendingCount(), 0);

  // A flood of requests leaves the list at its cap, the newest kept.
  for (int i = 0; i < 1000; ++i)
    l.gw.RemoteDispatch("203 me \"f" + std::to_string(i) + ".mp3\"", Request("me", "bob"));
  EXPECT_EQ(l.gw.PendingCount(), kGatewayMaxPending);
  l.gw.Dusk().ClearSent();
  l.gw.HandleClientMessage(608, "bob \"f0.mp3\"");
  EXPECT_TRUE(l.gw.Dusk().Responses().empty());
  l.gw.HandleClientMessage(608, "bob \"f999.mp3\"");
  EXPECT_EQ(l.gw.Dusk().Responses().size(), 1u);
}

TEST(GatewayRequests, LinesHandedOnOnlyWhenMeantForUs) {
  LoggedIn l;
  const std::string push = "501 evil 16777343 6699 \"secret.doc\" AAAAAAAAAAAAAAAAAAAA 7";
  // A flooded request with an empty To, or for another nick: dropped.
  l.gw.RemoteDispatch(push, Request(""));
  l.gw.RemoteDispatch(push, Request("someone"));
  l.gw.RemoteDispatch("607 evil \"x\"", Request(""));
  l.gw.RemoteDispatch("620 evil \"x\" 5 3", Request(""));
  l.gw.RemoteDispatch("204 evil 16777343 6699 \"x\" AAAAAAAAAAAAAAAAAAAA 7", Request(""));
  EXPECT_TRUE(l.gw.TakeFrames().empty());
  // Addressed to us, as our own gateways send them: handed on.
  l.gw.RemoteDispatch(push, Request("me"));
  TGatewayRemote response;
  response.To = "me";
  l.gw.RemoteDispatch("204 bob 16777343 6699 \"x\" AAAAAAAAAAAAAAAAAAAA 7", response);
  l.gw.RemoteDispatch("212 bob \"x\" AAAAAAAAAAAAAAAAAAAA 1 2 3 4", response);
  l.gw.RemoteDispatch("213 bob", response);
  l.gw.RemoteDispatch("604 bob \"1\" 2 \"\" \"3:h\" 4 5 6 7 \"c\"", response);
  Frames f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(f[0].Type, 501);
  EXPECT_EQ(f[0].Text, "evil 16777343 6699 \"secret.doc\" AAAAAAAAAAAAAAAAAAAA 7");
  EXPECT_EQ(f[1].Type, 204);
  EXPECT_EQ(f[2].Type, 212);
  EXPECT_EQ(f[3].Type, 213);
  EXPECT_EQ(f[4].Type, 604);
  // Private messages: only ours, with the sender's nick.
  l.gw.RemoteDispatch("205 me hello there", Request("me", "bob"));
  l.gw.RemoteDispatch("205 other hello", Request("other", "bob"));
  f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].Text, "bob hello there");
  // Types nobody handles, 215 included, do nothing.
  l.gw.RemoteDispatch("215 4 5", response);
  l.gw.RemoteDispatch("xyz", response);
  l.gw.RemoteDispatch("99999999999999999999999 a", response);
  EXPECT_TRUE(l.gw.TakeFrames().empty());
}

TEST(GatewayRequests, BrowseAndWhoisAnswers) {
  LoggedIn l;
  for (int i = 0; i < 1500; ++i) l.gw.HandleClientMessage(100, FileLine("f" + std::to_string(i) + ".mp3", i));
  l.gw.HandleClientMessage(218, "");
  l.gw.RemoteDispatch("211 other", Request("other"));
  EXPECT_TRUE(l.gw.Dusk().Responses().empty());
  l.gw.RemoteDispatch("211 me", Request("me", "bob", "BROWSE:9:p2"));
  auto r = l.gw.Dusk().Responses();
  ASSERT_EQ(r.size(), 3u);
  for (auto& p : r) {
    EXPECT_EQ(p.To, "bob");
    EXPECT_EQ(p.Seed, "BROWSE:9:p2");
  }
  auto last = SplitBodyLines(r[2].Body);
  ASSERT_EQ(last.size(), 101u);
  EXPECT_EQ(last.back(), "213 me");
  EXPECT_EQ(SplitBodyLines(r[0].Body)[0], "212 me \"f0.mp3\" AAAAAAAAAAAAAAAAAAAA 0 128 44100 200");
  l.gw.Dusk().ClearSent();

  l.gw.RemoteDispatch("603 me", Request("me", "bob", "WHOIS:1:p3"));
  r = l.gw.Dusk().Responses();
  ASSERT_EQ(r.size(), 1u);
  std::string line = SplitBodyLines(r[0].Body).at(0);
  EXPECT_EQ(line.substr(0, 23), "604 me \"33554559\" 0 \"\" ");
  EXPECT_NE(line.find("\"2130706434:127.0.0.2\" 1500 1 0 7 \"test client 1.0\""), std::string::npos) << line;
}

// A gateway sends one line per request: a flooded request of many lines
// asks each node once. A response that asks (search, browse, whois, 214)
// has no path to answer along and is not run at all.
TEST(GatewayRequests, OneRequestAsksOnce) {
  LoggedIn l;
  for (int i = 0; i < 50; ++i) l.gw.HandleClientMessage(100, FileLine("abc " + std::to_string(i) + ".mp3", i));
  auto flood = [](const std::string& line, int n) {
    std::string body;
    for (int i = 0; i < n; ++i) body += line + "\r\n";
    return body;
  };
  l.gw.Dusk().InjectRequest("S:1:p1", "", "them", flood("200 FILENAME CONTAINS \"abc\"", 700));
  l.gw.Dusk().InjectRequest("S:2:p1", "", "them", flood("900 FILENAME CONTAINS \"abc\"", 700));
  l.gw.Dusk().InjectRequest("BROWSE:1:p1", "me", "them", flood("211 me", 700));
  l.gw.Dusk().InjectRequest("WHOIS:1:p1", "me", "them", flood("603 me", 700));
  l.gw.Dusk().InjectRequest("S:3:p1", "", "them", flood("214", 700));
  // The first line is the one taken, whatever follows it.
  l.gw.Dusk().InjectRequest("PRIVMSG:1:p1", "me", "bob", "205 me first\r\n205 me second\r\n");
  l.gw.Pump();
  auto r = l.gw.Dusk().Responses();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(SplitBodyLines(r[0].Body).size(), 9u);  // 3 x 3 characters
  EXPECT_EQ(r[1].Seed, "S:2:p1");
  EXPECT_EQ(SplitBodyLines(r[2].Body).size(), 51u);  // 50 files and the 213
  EXPECT_EQ(r[3].Body.substr(0, 7), "604 me ");
  EXPECT_EQ(r[4].Body, "215 50 0\r\n");
  Frames f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].Text, "bob first");
  l.gw.Dusk().ClearSent();

  // Questions in a response to our search: nothing is run or sent.
  l.gw.HandleClientMessage(200, "FILENAME CONTAINS \"x\"");
  const std::string id = l.gw.SearchId();
  l.gw.Dusk().ClearSent();
  l.gw.Dusk().InjectResponse(id, "me", "them",
                             flood("200 FILENAME CONTAINS \"abc\"", 3) + flood("900 FILENAME CONTAINS \"abc\"", 3) +
                                 flood("211 me", 3) + flood("603 me", 3) + flood("214", 3) +
                                 "201 \"x.mp3\" MD5MD5MD5MD 1 128 44100 60 them 1 7 6699 0\r\n");
  l.gw.Pump();
  EXPECT_TRUE(l.gw.Dusk().SentItems().empty());
  EXPECT_EQ(l.gw.OfType(201).size(), 1u);  // the answers in it still count
}

// ---------------------------------------------------------------- the client

TEST(GatewayClient, OverlongRemoteTextsNeverReachTheClient) {
  LoggedIn l;
  // A 70,000-byte private message would wrap the 16-bit length.
  std::string huge(70000, 'x');
  std::string frame;
  EncodeNapsterMessage(501, "evil 1 2 \"f\" A 0", 0xFFFF, frame);
  huge.replace(65536 - 20, frame.size(), frame);  // what would follow a wrap
  const size_t wireBefore = l.gw.Wire().size();
  l.gw.Dusk().InjectRequest("PRIVMSG:1:p1", "me", "bob", "205 me " + huge);
  l.gw.Dusk().InjectResponse("X", "me", "bob", "204 " + std::string(9000, 'y'));
  l.gw.Pump();
  EXPECT_TRUE(l.gw.Frames().empty());
  EXPECT_EQ(l.gw.Wire().size(), wireBefore);
  // A message of the size a client may send arrives whole.
  l.gw.Dusk().InjectRequest("PRIVMSG:2:p1", "me", "bob", "205 me " + std::string(7000, 'z'));
  l.gw.Pump();
  ASSERT_EQ(l.gw.Frames().size(), 1u);
  EXPECT_EQ(l.gw.Frames()[0].Text.size(), 7004u);
  EXPECT_FALSE(l.gw.SendToClient(205, std::string(kGatewayMaxText + 1, 'q')));
  EXPECT_TRUE(l.gw.SendToClient(205, std::string(kGatewayMaxText, 'q')));
}

TEST(GatewayClient, TrafficEchoCutAtALine) {
  LoggedIn l;
  l.gw.Dusk().SetPeers(3, 1);
  l.gw.HandleClientMessage(5000, "");
  EXPECT_TRUE(l.gw.TrafficEcho());
  std::string body;
  for (int i = 0; i < 300; ++i) body += "201 \"" + std::string(40, char('a' + i % 26)) + "\" x\r\n";
  l.gw.Dusk().InjectResponse("NONE", "me", "bob", body);
  l.gw.Dusk().InjectRequest("S:1", "", "carol", "215 1 2\r\n");
  l.gw.Dusk().InjectRequest("S:2", "", "carol", "200 x", "OTHER-REQUEST");  // dropped unseen
  l.gw.Pump();
  Frames f = l.gw.TakeFrames();
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0].Type, 205);
  EXPECT_EQ(f[0].Text.rfind("STATS bob RESPONSE>201 \"", 0), 0u);
  EXPECT_LE(f[0].Text.size(), kGatewayMaxText);
  EXPECT_EQ(f[0].Text.substr(f[0].Text.size() - 4), " x\r\n");
  EXPECT_EQ(f[1].Text, "Connections (1) OUT: (2)");
  EXPECT_EQ(f[2].Text, "STATS carol REQUEST>215 1 2\r\n");
  l.gw.HandleClientMessage(5000, "");
  EXPECT_FALSE(l.gw.TrafficEcho());
}
