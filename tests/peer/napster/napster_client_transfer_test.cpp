// test-label: concurrency
// Files between two client components in one process. Each logs in to a
// scripted fake Napster server of its own on 127.0.0.1; the downloader's
// server knows the uploader ("up") and its data port, the test plays the
// server's part for pushes. Also HTTP downloads from a scripted Gnutella
// host through the component.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>


#include "core/share_manager.h"
#include "peer/napster/napster_client.h"
#include "peer/napster/napster_helpers.h"
#include "peer/napster/napster_message.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/os.h"
#include "tests/support/test_util.h"
#include "core/network_wrapper.h"
#include "platform/stream.h"
#include "tools/fake_http_server.h"
#include "tools/fake_napster_server.h"
#include "tools/gnutella_http_host.h"
#include "tools/napster_client_harness.h"

namespace {

using Server = FakeNapsterServer;
constexpr int kWaitMs = 8000;
constexpr const char* kLoopbackWire = "16777343";  // 127.0.0.1 as Napster decimal

// MPEG-1 layer III frames (128 kbit/s, 44100 Hz, 417 bytes each) with
// varied bytes inside: an MP3 file as far as the share list can tell.
std::string Mp3Bytes(int frames, uint32_t seed) {
  const std::string body = testutil::PatternBytes(size_t(frames) * 413, seed);
  std::string s;
  for (int i = 0; i < frames; i++) s += std::string("\xFF\xFB\x90\x64", 4) + body.substr(size_t(i) * 413, 413);
  return s;
}

// 64-bit FNV-1a: the files are compared by hash and by length.
uint64_t Hash(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

struct Peer : TNapsterEventLines {  // the lines first: the component logs into them until it is gone
  TNapsterClient c;
  Server server;
  std::string id;
  std::string dir;

  Peer(const std::string& nick, const std::string& tag, bool dataPort = true) {
    ApplyMainWindowProperties(c);
    Attach(c);
    dir = testutil::TempFolder(tag);
    if (dataPort) c.SetPort(0);
    server.Start();
    c.StartSession("127.0.0.1", server.Port(), nick, "pw", "", false, false, id);
  }
  bool Got(uint16_t type, int n = 1) {
    return testutil::PumpUntil([&] { return server.CountOfType(type) >= n; }, kWaitMs);
  }
  std::string Log() const { return Text(); }
};

// A downloader whose server lists the uploader at its data port (0:
// firewalled), with the files given (a browse of it announces them).
void Introduce(Peer& down, const Peer& up, int port, const std::string& nick = "up",
               std::vector<Server::File> files = {}) {
  Server::User u;
  u.nick = nick;
  u.wireIP = kLoopbackWire;
  u.dataPort = port;
  u.files = std::move(files);
  down.server.AddUser(u);
}

// An entry of a server's list for a file shared under its announced name.
Server::File Listed(const std::string& name, const std::string& content) {
  Server::File f;
  f.name = name;
  f.size = int64_t(content.size());
  if (!IsMp3Name(name)) {
    f.bitrate = kNonMp3Bitrate;
    f.frequency = kNonMp3Frequency;
  }
  return f;
}

struct Pair {
  Peer up{"up", "up"};
  Peer down{"me", "down"};
  Pair(bool uploaderReachable = true) {
    Introduce(down, up, uploaderReachable ? up.c.DataPort() : 0);
    EXPECT_TRUE(up.Wait("OnLogin")) << up.Log();
    EXPECT_TRUE(down.Wait("OnLogin")) << down.Log();
  }
};

TEST(TwoPeers, GetDownloadResumesAPartialFileByteExactly) {
  Pair p;
  const std::string content = Mp3Bytes(720, 11);
  const std::string shared = p.up.dir + "song.mp3";
  testutil::WriteFileBytes(shared, content);
  p.up.c.ShareFile(shared, true);
  ASSERT_TRUE(p.up.Got(100));  // announced to the uploader's server, with its MPEG figures
  NapsterMessage announced;
  p.up.server.WaitForType(100, 0, &announced);
  EXPECT_EQ(announced.Text, "\"" + shared + "\" AAAAAAAAAAAAAAAAA 300240 128 44100 19");

  const std::string local = p.down.dir + "song.mp3";
  testutil::WriteFileBytes(local, content.substr(0, 123457));  // an earlier, cut attempt
  ASSERT_TRUE(p.down.c.Download(p.down.id, "up", shared, local, true, 0, "", 0, false, ""));
  ASSERT_TRUE(p.down.Wait("OnDownloadFinish")) << p.down.Log();
  std::string got = testutil::ReadFileBytes(local);
  EXPECT_EQ(got.size(), content.size());
  EXPECT_EQ(Hash(got), Hash(content));
  for (const char* e : {"OnDownloadStart", "OnDownloadConnect", "OnDownloadStats", "OnAddFile"})
    EXPECT_EQ(p.down.Count(e) > 0, true) << e << "\n" << p.down.Log();
  EXPECT_NE(p.down.Find("OnDownloadFinish").find("COMPLETE=TRUE"), std::string::npos);
  // The finished download is shared in turn and announced.
  EXPECT_EQ(p.down.c.SharedCount(), 1);
  EXPECT_TRUE(p.down.Got(100));
  // The servers heard about both ends of the transfer.
  EXPECT_TRUE(p.down.Got(218));
  EXPECT_TRUE(p.down.Got(219));
  ASSERT_TRUE(p.up.Wait("OnUploadFinish")) << p.up.Log();
  EXPECT_TRUE(p.up.Got(220));
  EXPECT_TRUE(p.up.Got(221));
  // The downloader connected to the uploader's data port: the uploader
  // heard of it once the upload was known.
  EXPECT_EQ(p.up.Count("OnUploadConnect"), 1) << p.up.Log();
  EXPECT_NE(p.up.Find("OnUploadConnect").find("NICK=me"), std::string::npos);
  EXPECT_EQ(p.up.c.UploadCount(), 0);
  EXPECT_EQ(p.down.c.DownloadCount(), 0);
  EXPECT_EQ(p.down.c.DataConnections(), 0);
}

// An MP3 file's data follows the uploader's size with nothing between:
// resumed where its byte is a digit, that digit must not join the size.
// The browse that found the files announced their sizes; without it an
// MP3 file whose size cannot be told is left as it was. A non-MP3 file's
// size ends at its mark.
TEST(TwoPeers, AResumeAtADigitIsByteExact) {
  Pair p;
  const size_t offset = 1300;  // inside the fourth frame
  std::vector<Server::File> listed;
  struct Item {
    std::string remote, local, content;
  };
  std::vector<Item> items;
  for (const bool mp3 : {true, false}) {
    for (char digit = '0'; digit <= '9'; digit++) {
      std::string content = mp3 ? Mp3Bytes(720, uint32_t(digit)) : testutil::PatternBytes(50000, uint32_t(digit));
      content[offset] = digit;
      const std::string name = std::string(mp3 ? "song" : "notes") + digit + (mp3 ? ".mp3" : ".txt");
      const std::string shared = p.up.dir + name;
      testutil::WriteFileBytes(shared, content);
      p.up.c.ShareFile(shared, true);
      const std::string remote = mp3 ? shared : EncodeNonMp3Name(shared);
      listed.push_back(Listed(remote, content));
      testutil::WriteFileBytes(p.down.dir + name, content.substr(0, offset));  // an earlier, cut attempt
      items.push_back({remote, p.down.dir + name, content});
    }
  }
  Introduce(p.down, p.up, p.up.c.DataPort(), "up", listed);
  p.down.c.GetDir(p.down.id, "up");
  ASSERT_TRUE(p.down.Wait("OnDirEnd")) << p.down.Log();
  p.down.c.MaxDownloads = int(items.size());
  for (const Item& i : items) ASSERT_TRUE(p.down.c.Download(p.down.id, "up", i.remote, i.local, true, 0, "", 0, false, ""));
  ASSERT_TRUE(p.down.Wait("OnDownloadFinish", int(items.size()))) << p.down.Log();
  for (const Item& i : items) EXPECT_EQ(testutil::ReadFileBytes(i.local), i.content) << i.local;
  EXPECT_EQ(p.down.Count("OnDownloadError"), 0) << p.down.Log();

  // A file no result announced.
  std::string content = Mp3Bytes(720, 99);
  content[offset] = '7';
  const std::string shared = p.up.dir + "late.mp3";
  testutil::WriteFileBytes(shared, content);
  p.up.c.ShareFile(shared, true);
  const std::string local = p.down.dir + "late.mp3";
  testutil::WriteFileBytes(local, content.substr(0, offset));
  ASSERT_TRUE(p.down.c.Download(p.down.id, "up", shared, local, true, 0, "", 0, false, ""));
  ASSERT_TRUE(p.down.Wait("OnDownloadFinish", int(items.size()) + 1)) << p.down.Log();
  EXPECT_NE(p.down.Find("OnDownloadError").find("ERROR=2"), std::string::npos) << p.down.Log();
  EXPECT_EQ(testutil::ReadFileBytes(local), content.substr(0, offset));
}

TEST(TwoPeers, NonMp3FileCarriesTheMarkByte) {
  Pair p;
  const std::string content = "0123456789" + testutil::PatternBytes(70000, 5);  // starts with digits
  const std::string shared = p.up.dir + "notes.txt";
  testutil::WriteFileBytes(shared, content);
  p.up.c.ShareFile(shared, true);
  const std::string remote = EncodeNonMp3Name(shared);
  const std::string local = p.down.dir + "notes.txt";
  ASSERT_TRUE(p.down.c.Download(p.down.id, "up", remote, local, false, 0, "", 0, false, ""));
  ASSERT_TRUE(p.down.Wait("OnDownloadFinish")) << p.down.Log();
  EXPECT_EQ(Hash(testutil::ReadFileBytes(local)), Hash(content));
  EXPECT_NE(p.down.Find("OnDownloadStart").find("FILE=" + shared), std::string::npos) << p.down.Log();
  EXPECT_NE(p.down.Find("OnDownloadStart").find("MP3=FALSE"), std::string::npos);
}

TEST(TwoPeers, FirewalledUploaderPushes) {
  Pair p(false);
  const std::string content = Mp3Bytes(216, 3);
  const std::string shared = p.up.dir + "pushed.mp3";
  testutil::WriteFileBytes(shared, content);
  p.up.c.ShareFile(shared, true);
  const std::string local = p.down.dir + "pushed.mp3";
  ASSERT_TRUE(p.down.c.Download(p.down.id, "up", shared, local, false, 0, "", 0, false, ""));
  // The uploader cannot be reached: the downloader asks for a push.
  ASSERT_TRUE(p.down.Got(500)) << p.down.Log();
  // The server asks the uploader (607), which accepts (608), then tells
  // it where to push (501).
  p.up.server.Send(607, "me \"" + shared + "\"");
  ASSERT_TRUE(p.up.Got(608)) << p.up.Log();
  p.up.server.Send(501, std::string("me ") + kLoopbackWire + " " + std::to_string(p.down.c.DataPort()) + " \"" +
                            shared + "\" 00000000000000000000000000000000 7");
  ASSERT_TRUE(p.down.Wait("OnDownloadFinish")) << p.down.Log() << p.up.Log();
  EXPECT_EQ(Hash(testutil::ReadFileBytes(local)), Hash(content));
  ASSERT_TRUE(p.up.Wait("OnUploadFinish")) << p.up.Log();
  EXPECT_EQ(p.up.Count("OnUploadConnect"), 1);
  EXPECT_EQ(p.down.Count("OnDownloadConnect"), 1) << p.down.Log();  // the push came to the data port
}

TEST(TwoPeers, BothFirewalledAndUnavailable) {
  Peer up("up", "up-fw", false);
  Peer down("me", "down-fw", false);
  Introduce(down, up, 0);
  ASSERT_TRUE(down.Wait("OnLogin"));
  ASSERT_TRUE(down.c.Download(down.id, "up", "x.mp3", down.dir + "x.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(down.Wait("OnDownloadFinish")) << down.Log();
  EXPECT_EQ(down.Count("OnDownloadBothFirewalled"), 1);
  ASSERT_TRUE(down.c.Download(down.id, "nobody", "y.mp3", down.dir + "y.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(down.Wait("OnDownloadFinish", 2)) << down.Log();
  EXPECT_EQ(down.Count("OnDownloadUnavailable"), 1);
  EXPECT_EQ(down.c.DownloadCount(), 0);
  // Each attempt the server counted as started it also hears has ended.
  ASSERT_TRUE(down.Got(219, 2)) << down.Log();
  EXPECT_EQ(down.server.CountOfType(218), 2);
  EXPECT_EQ(down.server.CountOfType(219), 2);
  EXPECT_FALSE(down.c.Download("no-such-session", "up", "x.mp3", down.dir + "x.mp3", false, 0, "", 0, false, ""));
}

TEST(TwoPeers, RefusedAndQueuedRequests) {
  Pair p;
  const std::string notShared = p.up.dir + "secret.mp3";
  testutil::WriteFileBytes(notShared, Mp3Bytes(20, 1));
  ASSERT_TRUE(p.down.c.Download(p.down.id, "up", notShared, p.down.dir + "secret.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(p.down.Wait("OnDownloadFinish")) << p.down.Log();
  EXPECT_NE(p.down.Find("OnDownloadError").find("ERROR=0"), std::string::npos) << p.down.Log();
  EXPECT_FALSE(plat::FileExists(p.down.dir + "secret.mp3"));

  // No upload slots: the uploader answers QUEUED and the download waits.
  const std::string shared = p.up.dir + "busy.mp3";
  testutil::WriteFileBytes(shared, Mp3Bytes(20, 2));
  p.up.c.ShareFile(shared, true);
  p.up.c.MaxUploads = 0;
  ASSERT_TRUE(p.down.c.Download(p.down.id, "up", shared, p.down.dir + "busy.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(p.down.Wait("OnDownloadQueued")) << p.down.Log();
  testutil::PumpUntil([] { return false; }, 300);
  EXPECT_EQ(p.down.c.DownloadCount(), 1);  // still waiting for its turn
  EXPECT_EQ(p.down.Count("OnDownloadFinish"), 1);
  p.down.c.RemoveAllDownloads();
  EXPECT_EQ(p.down.Count("OnDownloadFinish"), 2);
}

TEST(TwoPeers, UnsharedFilesAreWithdrawn) {
  Peer up("up", "unshare");
  ASSERT_TRUE(up.Wait("OnLogin"));
  const std::string a = up.dir + "a.txt";
  testutil::WriteFileBytes(a, "text");
  testutil::WriteFileBytes(up.dir + "empty.txt", "");
  up.c.ShareFile(a, true);
  up.c.ShareFile(a, true);                  // listed once
  up.c.ShareFile(up.dir + "empty.txt", true);  // empty files are not shared
  up.c.ShareFile(up.dir + "missing.txt", true);
  testutil::WriteFileBytes(up.dir + "fake.mp3", "no MPEG frames in here");
  up.c.ShareFile(up.dir + "fake.mp3", true);  // an MP3 name must hold MPEG audio
  EXPECT_EQ(up.c.SharedCount(), 1);
  ASSERT_TRUE(up.Got(100));
  up.c.UnshareFile(a);
  EXPECT_EQ(up.c.SharedCount(), 0);
  ASSERT_TRUE(up.Got(102));
  NapsterMessage m;
  up.server.WaitForType(102, 0, &m);
  EXPECT_EQ(m.Text, EncodeNonMp3Name(a));
  EXPECT_EQ(up.Find("OnRemoveFile"), "OnRemoveFile FILENAME=" + EventValueText(a));
}

TEST(TwoPeers, GnutellaDownloadThroughTheComponent) {
  Peer down("me", "gnutella");
  ASSERT_TRUE(down.Wait("OnLogin"));
  const std::string content = testutil::PatternBytes(120000, 9);
  GnutellaHttpHost host(content);
  const std::string local = down.dir + "g.mp3";
  testutil::WriteFileBytes(local, content.substr(0, 5000));
  ASSERT_TRUE(down.c.Download(down.id, "servent", "g.mp3", local, true, 0, "127.0.0.1", host.Port(), true, "42"));
  ASSERT_TRUE(down.Wait("OnDownloadFinish")) << down.Log();
  EXPECT_EQ(Hash(testutil::ReadFileBytes(local)), Hash(content));
  ASSERT_EQ(host.Requests().size(), 1u);
  EXPECT_EQ(host.Requests()[0].line, "GET /get/42/g.mp3 HTTP/1.0");
  EXPECT_EQ(host.Requests()[0].Header("Range"), "bytes=5000-");

  // A host that gives at most half a megabyte per answer: fetched in parts.
  const std::string big = testutil::PatternBytes(size_t(GnutellaHttpHost::kAnswerCap * 2 + 1000), 8);
  GnutellaHttpHost capped(big, GnutellaHttpHost::kCapped);
  ASSERT_TRUE(down.c.Download(down.id, "servent", "big.mp3", down.dir + "big.mp3", false, 0, "127.0.0.1",
                              capped.Port(), true, "44"));
  ASSERT_TRUE(down.Wait("OnDownloadFinish", 2)) << down.Log();
  EXPECT_EQ(Hash(testutil::ReadFileBytes(down.dir + "big.mp3")), Hash(big));
  EXPECT_EQ(capped.Requests().size(), 3u);
  EXPECT_EQ(down.Count("OnDownloadFinish"), 2);
  EXPECT_EQ(down.Count("OnDownloadError"), 0) << down.Log();

  host.SetMode(GnutellaHttpHost::kNotFound);
  ASSERT_TRUE(down.c.Download(down.id, "servent", "h.mp3", down.dir + "h.mp3", false, 0, "127.0.0.1", host.Port(),
                              true, "43"));
  ASSERT_TRUE(down.Wait("OnDownloadFinish", 3)) << down.Log();
  EXPECT_NE(down.Find("OnDownloadError").find("ERROR=0"), std::string::npos) << down.Log();

  // A host that closes without a word: the download still says why it ended.
  FakeHttpServer closing([](const FakeHttpServer::Request&) {
    FakeHttpServer::Reply r;
    r.after = FakeHttpServer::Reply::kClose;
    return r;
  });
  ASSERT_TRUE(down.c.Download(down.id, "servent", "c.mp3", down.dir + "c.mp3", false, 0, "127.0.0.1", closing.Port(),
                              true, "45"));
  ASSERT_TRUE(down.Wait("OnDownloadFinish", 4)) << down.Log();
  EXPECT_EQ(down.Count("OnDownloadError"), 2) << down.Log();
  EXPECT_EQ(down.c.DownloadCount(), 0);

  // A Gnutella file whose host the server names (its 204) is fetched over
  // HTTP as well.
  host.SetMode(GnutellaHttpHost::kServeRanges);
  down.server.SetScript(203, {Server::Step::Frame(204, "servent " + std::string(kLoopbackWire) + " " +
                                                           std::to_string(host.Port()) + " \"s.mp3\" 0 0")});
  ASSERT_TRUE(down.c.Download(down.id, "servent", "s.mp3", down.dir + "s.mp3", false, 0, "", 0, true, "46"));
  ASSERT_TRUE(down.Wait("OnDownloadFinish", 5)) << down.Log();
  EXPECT_EQ(Hash(testutil::ReadFileBytes(down.dir + "s.mp3")), Hash(content));
  EXPECT_EQ(host.Requests().back().line, "GET /get/46/s.mp3 HTTP/1.0");
}

}  // namespace

namespace {

// Moves the monotonic clock in steps that no session's idle cut sees as
// silence: each peer's server speaks after every step.
struct SteppedClock {
  std::atomic<int64_t> offsetMs{0};
  SteppedClock() {
    plat::SetMonotonicForTesting([this] { return plat::os::MonotonicRawMs() + offsetMs.load(); });
  }
  ~SteppedClock() { plat::SetMonotonicForTesting(nullptr); }
  void Advance(int seconds, std::initializer_list<Peer*> peers) {
    while (seconds > 0) {
      const int step = std::min(seconds, 60);
      offsetMs += int64_t(step) * 1000;
      seconds -= step;
      for (Peer* p : peers) {
        const int heard = p->Count("OnServerStats");
        p->server.Send(214, "1 0 1");
        EXPECT_TRUE(p->Wait("OnServerStats", heard + 1));
      }
    }
  }
};

}  // namespace

TEST(TwoPeers, AStalledTransferTimesOutAndFreesItsSlot) {
  SteppedClock clock;
  Peer up("up", "stall-up");
  ASSERT_TRUE(up.Wait("OnLogin"));
  up.c.UploadTimeout = 30;
  up.c.DownloadTimeout = 30;
  // Bigger than what the sockets can buffer between the two ends.
  const std::string shared = up.dir + "big.bin";
  plat::FileStream(shared, plat::FileStream::kCreate).SetSize(int64_t(64) << 20);
  up.c.ShareFile(shared, true);
  // The clock moves past the time-out until the transfer, once it moves
  // no more, is timed out (a step in which it still moved resets it). A
  // transfer that ends by itself instead ends the wait at once.
  auto stallUntil = [&](const std::string& timedOut, const std::string& stats, const std::string& finished) {
    for (int round = 0; up.Count(timedOut) == 0 && up.Count(finished) == 0 && round < 30; round++) {
      const int reports = up.Count(stats);
      clock.Advance(31, {&up});
      testutil::PumpUntil(
          [&] { return up.Count(timedOut) > 0 || up.Count(finished) > 0 || up.Count(stats) > reports; }, kWaitMs);
    }
    return up.Count(timedOut) == 1;
  };

  // A peer asks on the data port and then never reads.
  TSocket peer;
  peer.SetTimeout(10);
  std::thread asker([&] {
    try {
      peer.Connect("127.0.0.1", up.c.DataPort());
      peer.ReadByte();
      peer.WriteAll("GET");
      peer.WriteAll("reader \"" + EncodeNonMp3Name(shared) + "\" 0");
    } catch (const ESocket&) {
    }
  });
  ASSERT_TRUE(up.Wait("OnUploadConnect")) << up.Log();
  asker.join();
  ASSERT_TRUE(stallUntil("OnUploadTimeout", "OnUploadStats", "OnUploadFinish")) << up.Log();
  ASSERT_TRUE(up.Wait("OnUploadFinish")) << up.Log();
  EXPECT_EQ(up.c.UploadCount(), 0);  // the slot is free
  EXPECT_EQ(up.c.DataConnections(), 0);

  // A host that sends a little of the file and then nothing.
  FakeHttpServer silent([](const FakeHttpServer::Request&) {
    FakeHttpServer::Reply r;
    r.bytes = "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x');
    r.after = FakeHttpServer::Reply::kSilent;
    return r;
  });
  ASSERT_TRUE(up.c.Download(up.id, "servent", "s.mp3", up.dir + "s.mp3", false, 0, "127.0.0.1", silent.Port(), true,
                            "1"));
  ASSERT_TRUE(up.Wait("OnDownloadConnect")) << up.Log();
  ASSERT_TRUE(stallUntil("OnDownloadTimeout", "OnDownloadStats", "OnDownloadFinish")) << up.Log();
  ASSERT_TRUE(up.Wait("OnDownloadFinish")) << up.Log();
  EXPECT_EQ(up.c.DownloadCount(), 0);
  EXPECT_EQ(up.c.DataConnections(), 0);
}

TEST(ThreePeers, OneUploadSlotServesTwoDownloadersInTurn) {
  SteppedClock clock;
  Peer up("up", "three-up");
  Peer one("one", "three-one");
  Peer two("two", "three-two");
  Introduce(one, up, up.c.DataPort());
  Introduce(two, up, up.c.DataPort());
  for (Peer* p : {&up, &one, &two}) ASSERT_TRUE(p->Wait("OnLogin")) << p->Log();
  up.c.MaxUploads = 1;
  up.c.MaxUploadBPS = 150000;  // the first upload still runs when the second asks
  const std::string content = Mp3Bytes(600, 21);
  const std::string shared = up.dir + "slot.mp3";
  testutil::WriteFileBytes(shared, content);
  up.c.ShareFile(shared, true);

  ASSERT_TRUE(one.c.Download(one.id, "up", shared, one.dir + "slot.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(up.Wait("OnUploadConnect")) << up.Log();  // its upload has the slot
  ASSERT_TRUE(two.c.Download(two.id, "up", shared, two.dir + "slot.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(testutil::PumpUntil(
      [&] { return two.Count("OnDownloadQueued") > 0 || two.Count("OnDownloadFinish") > 0; }, kWaitMs))
      << two.Log();
  ASSERT_TRUE(one.Wait("OnDownloadFinish")) << one.Log();
  ASSERT_TRUE(up.Wait("OnUploadFinish")) << up.Log();
  // The slot was taken: the second waits remotely queued until its retry
  // (unless the first had ended before it asked).
  if (two.Count("OnDownloadFinish") == 0) {
    EXPECT_EQ(two.Count("OnDownloadTimeout"), 0);
    clock.Advance(121, {&up, &one, &two});
    ASSERT_TRUE(two.Wait("OnDownloadFinish")) << two.Log();
  }
  for (Peer* p : {&one, &two}) {
    const std::string got = testutil::ReadFileBytes(p->dir + "slot.mp3");
    EXPECT_EQ(got.size(), content.size());
    EXPECT_EQ(Hash(got), Hash(content));
    EXPECT_NE(p->Find("OnDownloadFinish").find("COMPLETE=TRUE"), std::string::npos) << p->Log();
    EXPECT_EQ(p->c.SharedCount(), 1);  // shared once on completion
    EXPECT_TRUE(p->Got(219));
    EXPECT_EQ(p->server.CountOfType(218), p->server.CountOfType(219));
  }
  // The uploader hears of the second upload's end after its downloader.
  ASSERT_TRUE(up.Wait("OnUploadFinish", 2)) << up.Log();
  EXPECT_EQ(up.c.UploadCount(), 0);
}

namespace {

// A peer that asks this side's data port for a file ("GET" as nick
// "reader", from offset 0): what it gets until the connection closes.
std::string AskDataPort(int port, const std::string& file) {
  std::string got;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    TSocket s;
    s.SetTimeout(10);
    try {
      s.Connect("127.0.0.1", port);
      s.ReadByte();
      s.WriteAll("GETreader \"" + file + "\" 0");
      char buf[4096];
      for (;;) got.append(buf, size_t(s.Recv(buf, sizeof buf)));
    } catch (const ESocket&) {
    }
    done = true;
  });
  testutil::PumpUntil([&] { return done.load(); }, kWaitMs);
  reader.join();
  return got;
}

}  // namespace

// A file a download writes is not served until the download is complete:
// a peer that asks meanwhile hears it is not shared (its server heard it
// withdrawn). Complete, it is shared again, whole and as it was listed.
TEST(TwoPeers, AFileBeingRewrittenIsNotServedUntilComplete) {
  SteppedClock clock;
  Pair p;
  const std::string content = Mp3Bytes(720, 31);
  const std::string shared = p.up.dir + "song.mp3";
  testutil::WriteFileBytes(shared, content);
  p.up.c.ShareFile(shared, true);
  const std::string local = p.down.dir + "song.mp3";
  testutil::WriteFileBytes(local, content.substr(0, 41700));  // an earlier, cut attempt, shared
  p.down.c.ShareFile(local, true);
  ASSERT_TRUE(p.down.Got(100));
  Introduce(p.down, p.up, p.up.c.DataPort(), "up", {Listed(shared, content)});
  p.down.c.GetDir(p.down.id, "up");  // the size its result announces tells it from the data's digits
  ASSERT_TRUE(p.down.Wait("OnDirEnd")) << p.down.Log();

  p.up.c.MaxUploads = 0;  // the uploader queues the request: the download waits
  ASSERT_TRUE(p.down.c.Download(p.down.id, "up", shared, local, true, 0, "", 0, false, ""));
  ASSERT_TRUE(p.down.Wait("OnDownloadQueued")) << p.down.Log();
  ASSERT_TRUE(p.down.Got(102));
  NapsterMessage m;
  p.down.server.WaitForType(102, 0, &m);
  EXPECT_EQ(m.Text, local);
  EXPECT_EQ(p.down.c.SharedCount(), 0);
  p.down.server.Send(607, "other \"" + local + "\" 3");
  ASSERT_TRUE(p.down.Got(619)) << p.down.Log();
  EXPECT_EQ(AskDataPort(p.down.c.DataPort(), local), "FILE NOT SHARED");

  p.up.c.MaxUploads = 20;
  clock.Advance(121, {&p.up, &p.down});  // the queued download is asked for again
  ASSERT_TRUE(p.down.Wait("OnDownloadFinish")) << p.down.Log();
  ASSERT_EQ(testutil::ReadFileBytes(local), content);
  ASSERT_TRUE(p.down.Got(100, 2));
  p.down.server.WaitForType(100, 0, &m, 2);
  EXPECT_NE(m.Text.find(" " + std::to_string(content.size()) + " "), std::string::npos) << m.Text;
  EXPECT_EQ(AskDataPort(p.down.c.DataPort(), local), std::to_string(content.size()) + content);
  // Shared as it was (by ShareFile with its mark): UnshareFile withdraws it.
  p.down.c.UnshareFile(local);
  EXPECT_EQ(p.down.c.SharedCount(), 0);
}

// A download into a shared file withdraws it. One that ends without having
// written the file gives it back as it was (announced again, told to the
// handlers, in its state), however it ends: the server knows no such user,
// both sides are firewalled, the peer refuses, the user removes it while
// the peer queues it, it times out (after an automatic resume too). A file
// the attempt did write, or sharing stopped meanwhile, keeps it withdrawn.
TEST(TwoPeers, ADownloadThatWritesNothingGivesItsFileBack) {
  SteppedClock clock;
  Pair p;
  Peer& down = p.down;
  const std::string file = down.dir + "kept.txt";
  testutil::WriteFileBytes(file, "an earlier, cut attempt");
  const auto share = [&] {
    const int announced = down.server.CountOfType(100);
    down.c.ShareFile(file, true);
    EXPECT_TRUE(down.Got(100, announced + 1)) << down.Log();
  };
  share();
  const std::string whole = p.up.dir + "whole.txt";
  testutil::WriteFileBytes(whole, testutil::PatternBytes(400000, 7));
  p.up.c.ShareFile(whole, true);
  const std::string remote = EncodeNonMp3Name(whole);
  Introduce(down, p.up, 0, "fw");
  int finished = 0;
  std::string key;
  // A download into the file (from a Gnutella host when one is given),
  // ended by end(); then whether the file was given back.
  const auto attempt = [&](const std::string& nick, const std::string& name, const std::function<void()>& end,
                           int host = 0) {
    const int announced = down.server.CountOfType(100), added = down.Count("OnAddFile");
    key = down.id + nick + name;
    EXPECT_TRUE(down.c.Download(down.id, nick, name, file, true, 0, host ? "127.0.0.1" : "", host, host > 0, "1"));
    EXPECT_EQ(down.c.SharedCount(), 0);
    end();
    EXPECT_TRUE(down.Wait("OnDownloadFinish", ++finished)) << down.Log();
    if (down.c.SharedCount() == 0) return false;
    EXPECT_TRUE(down.Got(100, announced + 1)) << down.Log();
    EXPECT_EQ(down.Count("OnAddFile"), added + 1);
    return true;
  };
  const auto removeWhen = [&](const std::function<bool()>& ready) {
    ASSERT_TRUE(testutil::PumpUntil(ready, kWaitMs)) << down.Log();
    down.c.RemoveTransfer(*down.c.FindTransfer(key), false);
  };
  const auto queued = [&](int n) { return [&, n] { return down.Count("OnDownloadQueued") >= n; }; };

  EXPECT_TRUE(attempt("nobody", remote, [] {}));
  EXPECT_EQ(down.Count("OnDownloadUnavailable"), 1);
  down.c.SetPort(-1);  // firewalled, as the peer is
  EXPECT_TRUE(attempt("fw", remote, [] {}));
  EXPECT_EQ(down.Count("OnDownloadBothFirewalled"), 1);
  down.c.SetPort(0);
  EXPECT_TRUE(attempt("up", "C:\\not shared.mp3", [] {}));
  EXPECT_NE(down.Find("OnDownloadError").find("ERROR=0"), std::string::npos) << down.Log();
  p.up.c.MaxUploads = 0;
  EXPECT_TRUE(attempt("up", remote, [&] { removeWhen(queued(1)); }));
  // Sharing stopped, or the file unshared, meanwhile: nothing is given back.
  for (const bool stop : {true, false}) {
    const int n = down.Count("OnDownloadQueued") + 1;
    EXPECT_FALSE(attempt("up", remote, [&] {
      ASSERT_TRUE(testutil::PumpUntil(queued(n), kWaitMs)) << down.Log();
      if (stop)
        down.c.ClearSharedFiles();
      else
        down.c.UnshareFile(file);
      removeWhen(queued(n));
    }));
    share();
  }
  // Shared while a download holds it (as a scan lists it): listed as it
  // was once the download ends without writing it.
  const auto unshare = [&] {
    const int withdrawn = down.server.CountOfType(102);
    down.c.UnshareFile(file);
    EXPECT_EQ(down.c.SharedCount(), 0);
    EXPECT_TRUE(down.Got(102, withdrawn + 1)) << down.Log();
  };
  unshare();
  const int n = down.Count("OnDownloadQueued") + 1;
  EXPECT_TRUE(attempt("up", remote, [&] {
    ASSERT_TRUE(testutil::PumpUntil(queued(n), kWaitMs)) << down.Log();
    down.c.ShareFile(file, true);
    EXPECT_EQ(down.c.SharedCount(), 0);
    removeWhen(queued(n));
  }));

  // The server never answers; the first time-out resumes the download,
  // which still holds the file.
  down.server.SetScript(203, {});
  down.c.DownloadTimeout = 30;
  down.c.EnableAutoResume = true;
  down.c.MaxResume = 1;
  const int asked = down.server.CountOfType(203);
  EXPECT_TRUE(attempt("up", remote, [&] {
    for (int n = 1; n <= 2; n++) {
      ASSERT_TRUE(down.Got(203, asked + n)) << down.Log();
      clock.Advance(31, {&p.up, &down});
      ASSERT_TRUE(down.Wait("OnDownloadTimeout", n)) << down.Log();
      if (n == 1) {
        EXPECT_EQ(down.c.SharedCount(), 0);
      }
    }
  }));
  EXPECT_EQ(down.Count("OnDownloadAutoResume"), 1);
  // Given back in its state: UnshareFile withdraws it.
  unshare();
  share();

  // Removed once a part of the file is in: it is no longer as it was.
  FakeHttpServer silent([](const FakeHttpServer::Request&) {
    FakeHttpServer::Reply r;
    r.bytes = "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x');
    r.after = FakeHttpServer::Reply::kSilent;
    return r;
  });
  EXPECT_FALSE(attempt(
      "servent", "s.txt", [&] { removeWhen([&] { return plat::FileSize(file) == 5000; }); }, silent.Port()));
}

// A scan of the share tree while a download writes one of its files leaves
// the file out, however the scan is started (a share change: ScanFolders;
// Share again: ScanAllDrives; ShareFile alike): it is listed once complete,
// with its real figures, which later scans list from the tree too.
TEST(TwoPeers, ScansLeaveAFileBeingWrittenUntilItIsComplete) {
  SteppedClock clock;
  Pair p;
  Peer& down = p.down;
  const std::string content = Mp3Bytes(720, 41);
  const std::string shared = p.up.dir + "song.mp3";
  testutil::WriteFileBytes(shared, content);
  p.up.c.ShareFile(shared, true);
  Introduce(down, p.up, p.up.c.DataPort(), "up", {Listed(shared, content)});
  down.c.GetDir(down.id, "up");  // the size its result announces tells it from the data's digits
  ASSERT_TRUE(down.Wait("OnDirEnd")) << down.Log();
  const std::string local = down.dir + "song.mp3";
  testutil::WriteFileBytes(local, content.substr(0, 41700));  // an earlier, cut attempt
  TShareManager tree;
  tree.AddDirectory(down.dir, "Downloads", true, "*.mp3");
  down.c.ShareManager = &tree;
  int scans = 0;
  const auto scan = [&](bool all) {
    if (all)
      down.c.ScanAllDrives("*.mp3");
    else
      down.c.ScanFolders("*.mp3", true);
    EXPECT_TRUE(down.Wait("OnScanFinished", ++scans)) << down.Log();
  };
  // The size the list reported last for the file, and the server heard last.
  const auto listedSize = [&]() -> int64_t {
    for (auto it = down.lines.rbegin(); it != down.lines.rend(); ++it) {
      const size_t at = it->find(" SIZE=");
      if (it->rfind("OnAddFile ", 0) == 0 && at != std::string::npos) return std::stoll(it->substr(at + 6));
    }
    return -1;
  };
  const auto announced = [&] {
    NapsterMessage m;
    down.server.WaitForType(100, 0, &m, down.server.CountOfType(100));
    return m.Text;
  };
  const std::string whole = " " + std::to_string(content.size()) + " ";

  scan(false);
  ASSERT_EQ(down.c.SharedCount(), 1);
  EXPECT_EQ(listedSize(), 41700);
  ASSERT_TRUE(down.Got(100)) << down.Log();
  EXPECT_NE(announced().find(" 41700 "), std::string::npos) << announced();
  p.up.c.MaxUploads = 0;  // the download waits, queued by the peer
  ASSERT_TRUE(down.c.Download(down.id, "up", shared, local, true, 0, "", 0, false, ""));
  ASSERT_TRUE(down.Wait("OnDownloadQueued")) << down.Log();
  ASSERT_TRUE(down.Got(102)) << down.Log();
  scan(false);
  scan(true);
  down.c.ShareFile(local, false);
  EXPECT_EQ(down.c.SharedCount(), 0);
  EXPECT_EQ(down.Count("OnAddFile"), 1);

  p.up.c.MaxUploads = 20;
  clock.Advance(121, {&p.up, &down});  // the queued download is asked for again
  ASSERT_TRUE(down.Wait("OnDownloadFinish")) << down.Log();
  ASSERT_EQ(testutil::ReadFileBytes(local), content);
  EXPECT_EQ(down.c.SharedCount(), 1);
  EXPECT_EQ(listedSize(), int64_t(content.size()));
  ASSERT_TRUE(down.Got(100, 2)) << down.Log();
  EXPECT_NE(announced().find(whole), std::string::npos) << announced();
  scan(true);
  EXPECT_EQ(down.c.SharedCount(), 1);
  EXPECT_EQ(listedSize(), int64_t(content.size()));
}

// Two downloads of one file name from two peers: the second gets a name of
// its own, as the file-exists question's Rename gives it, and neither file
// takes a byte of the other.
TEST(ThreePeers, TwoDownloadsOfOneNameWriteTwoFiles) {
  SteppedClock clock;
  Peer one("one", "name-one");
  Peer two("two", "name-two");
  Peer down("me", "name-down");
  Introduce(down, one, one.c.DataPort(), "one");
  Introduce(down, two, two.c.DataPort(), "two");
  for (Peer* p : {&one, &two, &down}) ASSERT_TRUE(p->Wait("OnLogin")) << p->Log();
  const std::string first = Mp3Bytes(300, 1), second = Mp3Bytes(500, 2);
  testutil::WriteFileBytes(one.dir + "song.mp3", first);
  testutil::WriteFileBytes(two.dir + "song.mp3", second);
  one.c.ShareFile(one.dir + "song.mp3", true);
  two.c.ShareFile(two.dir + "song.mp3", true);
  down.c.MaxDownloads = 2;
  one.c.MaxUploads = 0;  // the first waits, queued by its peer, while the second runs
  const std::string local = down.dir + "song.mp3";
  ASSERT_TRUE(down.c.Download(down.id, "one", one.dir + "song.mp3", local, false, 0, "", 0, false, ""));
  ASSERT_TRUE(down.Wait("OnDownloadQueued")) << down.Log();
  ASSERT_TRUE(down.c.Download(down.id, "two", two.dir + "song.mp3", local, false, 0, "", 0, false, ""));
  ASSERT_TRUE(down.Wait("OnDownloadFinish")) << down.Log();
  const std::string renamed = down.dir + "song (2).mp3";
  EXPECT_NE(down.Find("OnDownloadFinish").find("LOCAL=" + EventValueText(renamed)), std::string::npos)
      << down.Log();
  one.c.MaxUploads = 20;
  clock.Advance(121, {&one, &two, &down});
  ASSERT_TRUE(down.Wait("OnDownloadFinish", 2)) << down.Log();
  EXPECT_EQ(testutil::ReadFileBytes(local), first);
  EXPECT_EQ(testutil::ReadFileBytes(renamed), second);
  EXPECT_EQ(down.c.SharedCount(), 2);
}

// The server's counts of transfers begun and ended (218/219, 220/221) reach
// it though its session's queue of requests was full when they changed: a
// file fetched from a Gnutella host and one a peer fetched from the data
// port while the session's login was not answered yet. Each count waits,
// in order, until the session has room.
TEST(TwoPeers, TheServersTransferCountsReachItThoughTheSessionsQueueWasFull) {
  Server server;
  server.SetScript(2, {});  // the login is answered when the test says
  ASSERT_TRUE(server.Start());
  struct Logged : TNapsterEventLines {
    TNapsterClient c;
  } p;
  ApplyMainWindowProperties(p.c);
  p.Attach(p.c);
  ASSERT_TRUE(p.c.SetPort(0));
  std::string id;
  p.c.StartSession("127.0.0.1", server.Port(), "me", "pw", "", false, false, id);
  ASSERT_TRUE(testutil::PumpUntil([&] { return server.CountOfType(2) == 1; }, kWaitMs));
  int taken = 0;
  while (p.c.HotlistAdd(id, "n" + std::to_string(taken))) taken++;
  ASSERT_EQ(taken, 50);

  const std::string dir = testutil::TempFolder("held-counts");
  const std::string content = testutil::PatternBytes(20000, 3);
  GnutellaHttpHost host(content);
  ASSERT_TRUE(p.c.Download(id, "servent", "g.mp3", dir + "g.mp3", false, 0, "127.0.0.1", host.Port(), true, "7"));
  ASSERT_TRUE(p.Wait("OnDownloadFinish")) << p.Text();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "g.mp3"), content);
  const std::string shared = dir + "up.txt";
  testutil::WriteFileBytes(shared, "for a peer");
  p.c.ShareFile(shared, true);
  EXPECT_NE(AskDataPort(p.c.DataPort(), EncodeNonMp3Name(shared)).find("for a peer"), std::string::npos);
  ASSERT_TRUE(p.Wait("OnUploadFinish")) << p.Text();
  EXPECT_EQ(server.Received().size(), 1u) << "nothing went out while the login waited";

  ASSERT_TRUE(server.Send(3, "me@example.com"));
  ASSERT_TRUE(testutil::PumpUntil([&] { return server.CountOfType(221) == 1; }, kWaitMs)) << p.Text();
  std::vector<int> sent;
  for (const NapsterMessage& m : server.Received())
    if (m.Type == 207 || (m.Type >= 218 && m.Type <= 221)) sent.push_back(m.Type);
  std::vector<int> expected(50, 207);
  for (int type : {218, 219, 220, 221}) expected.push_back(type);
  EXPECT_EQ(sent, expected);
}
