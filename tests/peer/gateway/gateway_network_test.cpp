// test-label: concurrency
// Live gateways on 127.0.0.1 and 127.0.0.2, each with its own client,
// joined over Duskwire by the harness cache server, one of them also on
// Gnutella with the scripted servent: search, browse, whois, a private
// message and a download handshake whose file then moves byte for byte.
// Also a short run of the overlay simulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/globals.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/support/test_util.h"
#include "tools/gateway_simulation.h"
#include "tools/gnutella_servent.h"

namespace {

constexpr int64_t kPromptMs = 3000;  // a hang check, not a speed goal

// Frames of a type that arrive within ms (others are skipped).
std::vector<NapsterMessage> Collect(TNapsterTestClient& c, uint16_t type, size_t want, int ms = 10000) {
  std::vector<NapsterMessage> out;
  const int64_t deadline = plat::MonotonicMs() + ms;
  NapsterMessage m;
  while (out.size() < want && plat::MonotonicMs() < deadline)
    if (c.Read(m, 50) && m.Type == type) out.push_back(m);
  return out;
}

std::string FromNapsterDecimal(const std::string& text) {
  uint32_t v = uint32_t(std::stoul(text));
  uint32_t host = (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
  return plat::AddressToText(host);
}

// The uploading side of a Napster peer transfer: greets with "1", takes
// "GET" and `nick "file" offset`, answers the size and the bytes.
void ServeOneUpload(TSocket& listener, const std::string& content, std::string& request) {
  try {
    TSocket s;
    s.SetTimeout(10);
    s.Accept(listener);
    s.WriteAll("1");
    char buf[512];
    std::string got;
    // "GET", then nick, the quoted name and the offset.
    while (std::count(got.begin(), got.end(), '"') < 2 || got.back() < '0' || got.back() > '9') {
      int n = s.Recv(buf, sizeof buf);
      if (n <= 0) return;
      got.append(buf, size_t(n));
    }
    request = got;
    s.WriteAll(std::to_string(content.size()));
    s.WriteAll(content);
    plat::Thread::Sleep(200);
  } catch (const ESocket&) {
  }
}

}  // namespace

TEST(GatewayNetwork, TwoProgramsFindBrowseMessageAndDownload) {
  TDWFakeCacheServer cache;
  StartPairedCache(cache, "welcome to the test overlay");
  TServentScript script;
  script.Files = {{"Blue Note.mp3", 5000, 3}, {"Red.mp3", 10, 4}};
  TGnutellaServent servent(script);
  ASSERT_TRUE(servent.Start());

  // Alice's data port: where her uploads are served.
  TSocket uploads;
  uploads.Listen("127.0.0.1", 0, true);
  std::string content(200000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = char((i * 7919 + i / 13) & 0xFF);
  content[0] = 'X';  // the size in front must end where the bytes begin

  TGatewayNodeOptions a;
  a.Address = "127.0.0.1";
  a.Nick = "alice";
  a.CachePort = cache.Port();
  a.DataPort = uploads.LocalPort();
  TGatewayNodeOptions b;
  b.Address = "127.0.0.2";
  b.Nick = "bob";
  b.CachePort = cache.Port();
  b.GnutellaSeedHost = "127.0.0.1";
  b.GnutellaSeedPort = servent.Port();
  TGatewayNode alice(a), bob(b);
  alice.Connect();
  bob.Connect();
  ASSERT_TRUE(alice.WaitLoggedIn(20000));
  ASSERT_TRUE(bob.WaitLoggedIn(20000));
  NapsterMessage m;
  ASSERT_TRUE(bob.Client().WaitFor(621, 5000, &m));
  EXPECT_EQ(m.Text, "welcome to the test overlay");
  alice.Share("Blue Monday.mp3", int64_t(content.size()));
  alice.Share("Kind of Blue.mp3", 777, 192);
  alice.Share("Green.mp3", 1);
  bob.Share("Bob's Blues.mp3", 5);
  ASSERT_TRUE(alice.Sync(5000));
  ASSERT_TRUE(bob.Sync(5000));
  ASSERT_TRUE(testutil::PumpUntil([&] { return servent.OpenLinks() == 1; }, 10000));

  // Search: alice's two files over Duskwire, the servent's over Gnutella.
  bob.Client().Send(200, "FILENAME CONTAINS \"blue\" MAX_RESULTS 100");
  auto results = Collect(bob.Client(), 201, 3);
  ASSERT_EQ(results.size(), 3u);
  std::vector<std::string> texts;
  for (auto& r : results) texts.push_back(r.Text);
  std::sort(texts.begin(), texts.end());
  const std::string alicePart = " alice 16777343 7 " + std::to_string(uploads.LocalPort()) + " ";
  EXPECT_EQ(texts[0].rfind("\"Blue Monday.mp3\" MD5MD5MD5MD 200000 128 44100 200" + alicePart, 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "\"Blue Note.mp3\" MD5MD5MD5MD 5000 100 100 200 @#!GNUTELLA:3:16777343 16777343 4 " +
                          std::to_string(servent.Port()) + " 0");
  EXPECT_EQ(texts[2].rfind("\"Kind of Blue.mp3\" MD5MD5MD5MD 777 192 44100 200" + alicePart, 0), 0u) << texts[2];
  EXPECT_EQ(alice.Client().CountOfType(201), 0);  // her own files are not sent to her

  // Browse and whois.
  bob.Client().Send(211, "alice");
  auto browse = Collect(bob.Client(), 212, 3);
  ASSERT_EQ(browse.size(), 3u);
  EXPECT_EQ(browse[1].Text, "alice \"Kind of Blue.mp3\" AAAAAAAAAAAAAAAAAAAA 777 192 44100 200");
  ASSERT_TRUE(bob.Client().WaitFor(213, 5000, &m));
  EXPECT_EQ(m.Text, "alice");
  bob.Client().Send(603, "alice");
  ASSERT_TRUE(bob.Client().WaitFor(604, 5000, &m));
  EXPECT_EQ(m.Text.rfind("alice \"16777343\" ", 0), 0u) << m.Text;
  EXPECT_NE(m.Text.find("\"2130706433:127.0.0.1\" 3 0 0 7 \"simulated client 1.0\""), std::string::npos) << m.Text;

  // A private message.
  bob.Client().Send(205, "alice hello there, alice");
  ASSERT_TRUE(alice.Client().WaitFor(205, 5000, &m));
  EXPECT_EQ(m.Text, "bob hello there, alice");

  // The download handshake: 203 -> 607 -> 608 -> 204, then the transfer.
  std::string request;
  std::thread uploader([&] { ServeOneUpload(uploads, content, request); });
  bob.Client().Send(203, "alice \"Blue Monday.mp3\"");
  ASSERT_TRUE(alice.Client().WaitFor(607, 5000, &m));
  EXPECT_EQ(m.Text, "bob \"Blue Monday.mp3\"");
  alice.Client().Send(608, m.Text);
  ASSERT_TRUE(bob.Client().WaitFor(204, 5000, &m));
  std::string rest = m.Text;
  EXPECT_EQ(SplitFirstWord(rest), "alice");
  std::string host = FromNapsterDecimal(SplitFirstWord(rest));
  int port = std::stoi(SplitFirstWord(rest));
  EXPECT_EQ(ExtractQuoted(rest), "Blue Monday.mp3");
  EXPECT_EQ(rest, "AAAAAAAAAAAAAAAAAAAA 7");
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, uploads.LocalPort());

  std::string received;
  try {
    TSocket d;
    d.SetTimeout(10);
    d.SetBindAddress("127.0.0.2");
    d.Connect(host, port);
    char greeting = 0;
    d.ReadExact(&greeting, 1);
    EXPECT_EQ(greeting, '1');
    d.WriteAll("GET");
    d.WriteAll("bob \"Blue Monday.mp3\" 0");
    std::string size;
    char c = 0;
    for (;;) {
      d.ReadExact(&c, 1);
      if (c < '0' || c > '9') break;
      size += c;
    }
    ASSERT_EQ(size, std::to_string(content.size()));
    received += c;
    std::string rest(content.size() - 1, '\0');
    d.ReadExact(rest.data(), int(rest.size()));
    received += rest;
  } catch (const ESocket& e) {
    ADD_FAILURE() << "transfer failed: " << e.what();
  }
  uploader.join();
  EXPECT_EQ(request, "GETbob \"Blue Monday.mp3\" 0");
  EXPECT_TRUE(received == content);

  EXPECT_LT(bob.Stop(), kPromptMs);
  EXPECT_LT(alice.Stop(), kPromptMs);
  cache.Stop();
}

TEST(GatewayNetwork, SimulationSmokeRun) {
  TSimulationConfig c;
  c.Nodes = 5;
  c.DurationMs = 0;
  c.FilesPerNode = 4;
  c.MaxHops = 2;
  c.Chords = false;
  // Each search waits for all its results; the bounds only end a failing run.
  c.ResultWaitMs = 60000;
  c.QuietMs = 200;
  c.SetupTimeoutMs = 60000;
  TSimulationReport r = RunGatewaySimulation(c);
  ASSERT_TRUE(r.Ready);
  EXPECT_EQ(r.Searches, 5);
  EXPECT_EQ(r.Duplicates, 0);
  EXPECT_EQ(r.Unexpected, 0);
  EXPECT_TRUE(r.FullReach());
  EXPECT_EQ(r.Delivered, r.Expected);
  EXPECT_EQ(r.Expected, 5 * 4 * 4);
  EXPECT_GT(r.Packets, 0);
}
