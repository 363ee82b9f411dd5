// test-label: concurrency
// The peer transfer thread: its decisions apart from sockets (replies,
// requests, HTTP heads, pacing, statistics), then whole transfers over the
// socket component against scripted peers and a scripted Gnutella host on
// 127.0.0.1, with a temporary folder for the files.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "core/network_wrapper.h"
#include "peer/napster/napster_client_data_thread.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/support/test_util.h"
#include "tools/fake_http_server.h"
#include "tools/gnutella_http_host.h"
#include "tools/loopback_server.h"

namespace {

// ----------------------------------------------------------------- pieces

TEST(PeerReply, NumbersTextsAndTheMarkByte) {
  TPeerReply r = ReadPeerReply("5000abc", true);
  EXPECT_TRUE(r.IsNumber);
  EXPECT_TRUE(r.Valid);
  EXPECT_EQ(r.Number, 5000);
  EXPECT_EQ(r.Consumed, 4u);  // MP3: the data starts right after the digits
  EXPECT_FALSE(r.MarkConsumed);

  r = ReadPeerReply("5000A123", false);
  EXPECT_EQ(r.Number, 5000);
  EXPECT_EQ(r.Consumed, 5u);  // non-MP3: the mark belongs to the reply
  EXPECT_TRUE(r.MarkConsumed);

  r = ReadPeerReply("5000", false);  // the block ends with the digits
  EXPECT_TRUE(r.DigitsOpen);
  EXPECT_FALSE(r.MarkConsumed);

  r = ReadPeerReply("FILE NOT SHARED\x01junk", true);
  EXPECT_FALSE(r.IsNumber);
  EXPECT_EQ(r.Text, "FILE NOT SHARED");

  r = ReadPeerReply("99999999999999999999999", true);  // no file is that big
  EXPECT_TRUE(r.IsNumber);
  EXPECT_FALSE(r.Valid);
  r = ReadPeerReply("1234567890123", true);  // a terabyte file is fine
  EXPECT_TRUE(r.Valid);
  EXPECT_EQ(r.Number, 1234567890123);
}

TEST(PeerReply, ASizeSplitOverSegmentsIsReadToItsEnd) {
  // The first segment holds "1", the next the rest of the digits and the
  // data (or the mark first): never a 1-byte file.
  struct Case {
    bool mp3;
    std::string more;
    int64_t size;
    std::string leftover;
    bool mark;
  };
  const Case cases[] = {
      {true, "048576\xFF\xFB", 1048576, "\xFF", false},
      {false, "048576A12", 1048576, "", true},
      {true, "", 1, "", false},     // the connection ended after "1": the size is 1
      {true, "2345", 12345, "", false},  // ... or after more digits
  };
  for (const Case& c : cases) {
    size_t at = 0;
    std::string leftover = "stale";
    TPeerReply r = ReadPeerReply(
        "1", c.mp3, 0, 0,
        [&](char& ch) {
          if (at >= c.more.size()) return false;
          ch = c.more[at++];
          return true;
        },
        leftover);
    EXPECT_TRUE(r.IsNumber && r.Valid) << c.more;
    EXPECT_EQ(r.Number, c.size) << c.more;
    EXPECT_EQ(leftover, c.leftover) << c.more;
    EXPECT_EQ(r.MarkConsumed, c.mark) << c.more;
    // Nothing past the first byte after the digits was taken.
    const size_t end = c.more.find_first_not_of("0123456789");
    EXPECT_EQ(at, end == std::string::npos ? c.more.size() : end + 1) << c.more;
  }
  // A whole first block needs nothing more.
  std::string leftover;
  TPeerReply r = ReadPeerReply("300A\x01\x02", false, 0, 0, [](char&) -> bool { throw 1; }, leftover);
  EXPECT_EQ(r.Number, 300);
  EXPECT_EQ(leftover, "\x01\x02");
}

// An MP3 file's data follows the size with nothing between: resumed where
// its bytes are digits, they continue the size's digits.
TEST(PeerReply, TheSizeIsToldFromTheDigitsItsDataBeginsWith) {
  struct Case {
    std::string reply;  // the uploader's size, then the data
    int64_t offset, announced;
    int64_t size;       // -1: unclear
    std::string data;
  };
  const Case cases[] = {
      {"48010969\xFF", 2400000, 4801096, 4801096, "9\xFF"},  // the announced size
      {"4801096", 2400000, 0, 4801096, ""},                   // the only size not below the offset
      {"4801096\xFF", 4000000, 0, 4801096, "\xFF"},          // ... with data that is no digit
      {"48010969\xFF", 2400000, 0, -1, ""},                   // 4801096 + "9" or 48010969: unclear
      {"4801096\xFF", 1000, 0, -1, ""},                       // 4801, 48010, ... all fit
      {"4801096\xFF", 1000, 5000, -1, ""},                    // an announced size that is none of them
      {"4801096I", 0, 0, 4801096, "I"},                       // from the start: the whole run
      {"4801096", 4801096, 0, 4801096, ""},                   // whole already: nothing follows
  };
  for (const Case& c : cases) {
    // Every split of the reply over two segments reads the same.
    for (size_t cut = 1; cut <= c.reply.size(); cut++) {
      size_t at = cut;
      std::string leftover;
      TPeerReply r = ReadPeerReply(c.reply.substr(0, cut), true, c.offset, c.announced,
                                   [&](char& ch) {
                                     if (at >= c.reply.size()) return false;
                                     ch = c.reply[at++];
                                     return true;
                                   },
                                   leftover);
      const std::string what = c.reply + " at " + std::to_string(c.offset) + " cut " + std::to_string(cut);
      EXPECT_TRUE(r.IsNumber) << what;
      EXPECT_EQ(r.Unclear, c.size < 0) << what;
      if (c.size < 0) {
        EXPECT_FALSE(r.Valid) << what;
        continue;
      }
      EXPECT_TRUE(r.Valid) << what;
      EXPECT_EQ(r.Number, c.size) << what;
      EXPECT_EQ(leftover, c.data) << what;
    }
  }
}

TEST(PeerReply, CharacterClasses) {
  EXPECT_EQ(PeerReplyClass('0'), 0);
  EXPECT_EQ(PeerReplyClass('9'), 0);
  EXPECT_EQ(PeerReplyClass('a'), 1);
  EXPECT_EQ(PeerReplyClass('Z'), 1);
  EXPECT_EQ(PeerReplyClass(' '), 1);
  EXPECT_EQ(PeerReplyClass('"'), 2);
  EXPECT_EQ(PeerReplyClass(0xE9), 2);
}

TEST(PeerRequest, NickQuotedNameAndNumber) {
  TPeerRequest r = ParsePeerRequest("bob \"C:\\music\\a b.mp3\" 1000");
  EXPECT_TRUE(r.Valid);
  EXPECT_EQ(r.Nick, "bob");
  EXPECT_EQ(r.FileName, "C:\\music\\a b.mp3");
  EXPECT_EQ(r.Number, 1000);
  EXPECT_FALSE(ParsePeerRequest("bob \"x\"").Valid);  // no number: no offset of 0
  EXPECT_FALSE(ParsePeerRequest("bob \"x\" 99999999999999999999").Valid);
  // A sign or other text is no offset (it was read as 5 once).
  EXPECT_FALSE(ParsePeerRequest("bob \"x\" -5").Valid);
  EXPECT_FALSE(ParsePeerRequest("bob \"x\" 5x").Valid);
}

TEST(HttpHead, StatusAndPlan) {
  EXPECT_EQ(HttpStatusCode("HTTP/1.1 206 Partial Content"), 206);
  EXPECT_EQ(HttpStatusCode("HTTP/1.0 404"), 404);
  EXPECT_EQ(HttpStatusCode("garbage"), 0);

  THttpDownloadHead h;
  h.Status = 206;
  h.AddHeader("Content-Range: bytes 1000-4999/5000");
  h.AddHeader("content-length: 4000");
  THttpDownloadPlan p = PlanHttpDownload(h, 1000);
  EXPECT_EQ(p.What, THttpDownloadPlan::kReceive);
  EXPECT_EQ(p.Target, 5000);  // the whole file, not the part
  EXPECT_FALSE(p.Truncate);
  EXPECT_EQ(PlanHttpDownload(h, 999).What, THttpDownloadPlan::kBad);  // a part that does not fit

  THttpDownloadHead full;
  full.Status = 200;
  full.AddHeader("Content-Length: 5000");
  p = PlanHttpDownload(full, 1000);  // the host ignored the range
  EXPECT_EQ(p.What, THttpDownloadPlan::kReceive);
  EXPECT_TRUE(p.Truncate);
  EXPECT_EQ(p.Target, 5000);

  THttpDownloadHead none;
  none.Status = 200;
  EXPECT_EQ(PlanHttpDownload(none, 0).What, THttpDownloadPlan::kBad);  // never an empty "complete"
  none.AddHeader("Content-Length: 99999999999999999999");
  EXPECT_EQ(PlanHttpDownload(none, 0).What, THttpDownloadPlan::kBad);

  // A host's part of at most 512 KiB: written, and the rest asked for.
  THttpDownloadHead part;
  part.SetStatusLine("HTTP/1.1 206 Partial Content");
  EXPECT_TRUE(part.KeepAlive);
  part.AddHeader("Content-Range: bytes 0-524287/20971520");
  part.AddHeader("Content-Length: 524288");
  p = PlanHttpDownload(part, 0);
  EXPECT_EQ(p.What, THttpDownloadPlan::kReceive);
  EXPECT_EQ(p.PieceEnd, 524288);
  EXPECT_EQ(p.Target, 20971520);
  part.AddHeader("Connection: close");
  EXPECT_FALSE(part.KeepAlive);
  THttpDownloadHead inconsistent = part;  // the range and the length disagree
  inconsistent.AddHeader("Content-Length: 1000");
  EXPECT_EQ(PlanHttpDownload(inconsistent, 0).What, THttpDownloadPlan::kBad);
  THttpDownloadHead old;
  old.SetStatusLine("HTTP/1.0 200 OK");
  EXPECT_FALSE(old.KeepAlive);
  old.AddHeader("Connection: Keep-Alive");
  EXPECT_TRUE(old.KeepAlive);

  // Nothing past the end: whole when the lengths agree, an error when the
  // local file is the longer one; so is a full answer shorter than it.
  THttpDownloadHead past;
  past.SetStatusLine("HTTP/1.1 416 Requested Range Not Satisfiable");
  past.AddHeader("Content-Range: bytes */5000");
  p = PlanHttpDownload(past, 5000);
  EXPECT_EQ(p.What, THttpDownloadPlan::kReceive);
  EXPECT_EQ(p.Target, 5000);
  EXPECT_EQ(p.PieceEnd, 5000);
  EXPECT_EQ(PlanHttpDownload(past, 6000).What, THttpDownloadPlan::kBad);
  EXPECT_EQ(PlanHttpDownload(full, 6000).What, THttpDownloadPlan::kBad);

  THttpDownloadHead busy;
  busy.Status = 503;
  EXPECT_EQ(PlanHttpDownload(busy, 0).What, THttpDownloadPlan::kQueued);
  busy.Status = 404;
  EXPECT_EQ(PlanHttpDownload(busy, 0).What, THttpDownloadPlan::kNotFound);
}

TEST(Pacer, EverySecondOfALimitedTransferKeepsTheLimit) {
  // A transfer on an injected clock: each piece takes a little time, a
  // pause overshoots a little, some receives bring less than asked for,
  // and the peer stalls for three seconds in the middle.
  int64_t now = 0;
  uint32_t seed = 12345;
  auto jitter = [&](int range) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 16) % uint32_t(range));
  };
  TTransferPacer p;
  p.Limit = 100000;
  p.Now = [&] { return now; };
  p.Sleep = [&](int ms) { now += ms + jitter(3); };
  EXPECT_EQ(p.PieceSize(), 2000);
  std::vector<int64_t> perSecond(20, 0);
  while (now < 20000) {
    const int want = p.NextPiece(int64_t(1) << 40);
    ASSERT_GT(want, 0);
    ASSERT_LE(want, p.PieceSize());
    const int moved = jitter(4) == 0 ? want / 3 : want;
    now += jitter(2);
    if (now >= 20000) break;
    perSecond[size_t(now / 1000)] += moved;
    p.Moved(moved);
    if (now >= 9000 && now < 9100) now += 3000;  // the peer stalls
  }
  for (size_t second = 2; second < perSecond.size(); second++) {
    const double ratio = double(perSecond[second]) / double(p.Limit);
    EXPECT_LE(ratio, 1.05) << "second " << second;  // no rush after the stall either
    if (second < 9 || second > 12) {
      EXPECT_GE(ratio, 0.95) << "second " << second;
    }
  }

  // Without a limit: big pieces, no waits; never more than what is left.
  TTransferPacer free;
  free.Now = [&] { return now; };
  free.Sleep = [&](int) { ADD_FAILURE() << "an unlimited transfer waited"; };
  EXPECT_EQ(free.NextPiece(int64_t(1) << 30), 64 * 1024);
  EXPECT_EQ(free.NextPiece(7), 7);
  EXPECT_EQ(p.NextPiece(0), 0);
  TTransferPacer slow;  // a limit below fifty bytes per second still moves
  slow.Limit = 10;
  slow.Now = [&] { return now; };
  slow.Sleep = [&](int ms) { now += ms; };
  EXPECT_EQ(slow.NextPiece(100), 1);
}

TEST(Statistics, FiguresAndWhenTheyAreDue) {
  TTransferStatistics s = MakeTransferStatistics(3000, 1000, 500);
  EXPECT_EQ(s.Percent, 33);
  EXPECT_EQ(s.TimeLeft, "4 Sec");
  EXPECT_EQ(MakeTransferStatistics(3000, 2000, 0).TimeLeft, "Unknown");
  EXPECT_EQ(MakeTransferStatistics(0, 0, 100).Percent, 0);
  EXPECT_EQ(MakeTransferStatistics(200, 1, 1).Percent, 1);  // 0.5 % rounds up
  // Sizes beyond 32 bits keep their figures.
  TTransferStatistics big = MakeTransferStatistics(int64_t(6) << 30, int64_t(3) << 30, 1 << 20);
  EXPECT_EQ(big.Percent, 50);
  EXPECT_EQ(big.Position, int64_t(3) << 30);
  EXPECT_FALSE(StatisticsDue(1000, 2000));
  EXPECT_TRUE(StatisticsDue(1000, 2001));
  // Monotonic milliseconds keep counting across midnight.
  EXPECT_TRUE(StatisticsDue(86399000, 86401000));
}

// ----------------------------------------------------------------- transfers

// What a scripted peer received: bytes until the other side paused.
std::string ReadBurst(TSocket& s, int quietMs = 300) {
  std::string got;
  char buf[4096];
  try {
    for (;;) {
      s.WaitReadable(quietMs);
      got.append(buf, size_t(s.Recv(buf, sizeof buf)));
    }
  } catch (const ESocket&) {
    return got;  // quiet, or closed
  }
}

// Everything a scripted peer receives until the other side closes.
std::string ReadToClose(TSocket& s) {
  std::string got;
  char buf[4096];
  try {
    for (;;) got.append(buf, size_t(s.Recv(buf, sizeof buf)));
  } catch (const ESocket&) {
  }
  return got;
}

std::string ReadExactly(TSocket& s, int n) {
  std::string got(size_t(n), '\0');
  s.ReadExact(got.data(), n);
  return got;
}

// The socket component with transfer threads whose reports are logged.
class Transfers {
 public:
  TEasyWinsock sockets;
  std::mutex lock;  // the peers' threads read `requests`
  std::vector<std::string> log;
  TNapsterDataDecision decision;  // what the decisions answer
  std::vector<TTransferStatistics> stats;
  int64_t maxDownloadBPS = 0;
  int64_t maxUploadBPS = 0;
  int requestTimeOut = TNapsterDataThread::kRequestTimeOut;
  int numberPauseMs = TNapsterDataThread::kNumberPauseMs;
  int finished = 0;

  Transfers() {
    sockets.TimeOut = 5;
    sockets.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& thread) {
      auto* t = new TNapsterDataThread();
      t->MaxDownloadBPS = maxDownloadBPS;
      t->MaxUploadBPS = maxUploadBPS;
      t->RequestTimeOut = requestTimeOut;
      t->NumberPauseMs = numberPauseMs;
      t->OnComplete = [this](TNapsterDataThread& t, TEasySocket*) {
        Add("Complete " + std::to_string(t.Position) + "/" + std::to_string(t.FileSize));
      };
      t->OnIncomplete = [this](TNapsterDataThread& t, TEasySocket*) {
        Add("Incomplete " + std::to_string(t.Position) + "/" + std::to_string(t.FileSize));
      };
      t->OnError = [this](TNapsterDataThread&, TEasySocket*, TNapsterDataErrorType k) {
        Add("Error " + std::to_string(int(k)));
      };
      t->OnRemotelyQueued = [this](TNapsterDataThread&, const std::string& server, const std::string& nick,
                                   const std::string& file, int64_t, int limit) {
        Add("Queued " + server + " " + nick + " " + file + " " + std::to_string(limit));
      };
      t->OnStatistics = [this](TNapsterDataThread&, TEasySocket*, const TTransferStatistics& s) { stats.push_back(s); };
      auto decide = [this](const char* what) {
        return [this, what](TNapsterDataThread&, TEasySocket*, TNapsterDataDecision& d) {
          Add(std::string(what) + " " + d.Nick + " " + d.RequestFileName);
          std::string nick = d.Nick, request = d.RequestFileName;
          d = decision;
          d.Nick = nick;
          d.RequestFileName = request;
        };
      };
      t->OnUploadDecision = decide("UploadDecision");
      t->OnPushDecision = decide("PushDecision");
      thread = t;
    };
    sockets.OnFinish = [this](TEasyWinsock*, TEasySocket*) { finished++; };
    sockets.OnStreamCreateError = [this](TEasyWinsock*, TEasySocket*) { Add("CreateError"); };
    sockets.OnStreamWriteError = [this](TEasyWinsock*, TEasySocket*) { Add("WriteError"); };
    sockets.OnStreamReadError = [this](TEasyWinsock*, TEasySocket*) { Add("ReadError"); };
    sockets.OnWinsockError = [this](TEasyWinsock*, TEasySocket*, int n, const std::string&) {
      Add("WinsockError " + std::to_string(n));
    };
  }
  ~Transfers() { sockets.CloseAll(); }

  void Add(const std::string& s) {
    std::lock_guard<std::mutex> g(lock);
    log.push_back(s);
  }
  bool Has(const std::string& s) {
    std::lock_guard<std::mutex> g(lock);
    return std::find(log.begin(), log.end(), s) != log.end();
  }
  std::string Log() {
    std::lock_guard<std::mutex> g(lock);
    std::string all;
    for (const auto& l : log) all += l + "; ";
    return all;
  }

  TEasySocket* Start(const std::string& kind, int port, const std::string& local, const std::string& request,
                     bool mp3 = true) {
    TEasySocket* s = sockets.Connect("127.0.0.1", port);
    s->SetValue("KIND", kind);
    s->SetValue("ID", "key");
    s->SetValue("SERVER_ID", "S1");
    s->SetValue("MY_NICK", "me");
    s->SetValue("NICK", "peer");
    s->SetValue("REQUEST_FILENAME", request);
    s->SetValue("LOCAL_FILENAME", local);
    s->SetValue("INDEX", "7");
    s->SetValue("IS_MP3", mp3 ? "TRUE" : "FALSE");
    return s;
  }
  bool WaitFinished(int n = 1) {
    return testutil::PumpUntil([&] { return finished >= n; }, 8000);
  }
};

// An uploader that listens: greets, takes "GET" and the request, answers.
LoopbackServer::Handler Uploader(std::string* request, std::string reply, std::string data, int pauseMs = 0) {
  return [=](LoopbackServer&, TSocket& s, int) {
    s.WriteAll("1");
    std::string got = ReadBurst(s);
    if (request) *request = got;
    s.WriteAll(reply);
    if (pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    if (!data.empty()) s.WriteAll(data);
  };
}

TEST(Transfer, GetResumesAPartialFile) {
  std::string dir = testutil::TempFolder("get-resume");
  std::string content = testutil::PatternBytes(50000, 7);
  testutil::WriteFileBytes(dir + "song.mp3", content.substr(0, 1000));
  std::string request;
  auto peer = std::make_unique<LoopbackServer>(Uploader(&request, "50000", content.substr(1000)));
  Transfers t;
  // The size its result announced (without it "50000" could be 5000 and
  // a data byte "0").
  t.Start("DOWNLOAD", peer->Port(), dir + "song.mp3", "C:\\music\\song.mp3")->SetValue("FILE_SIZE", "50000");
  ASSERT_TRUE(t.WaitFinished()) << t.Log();
  peer.reset();  // its thread has ended: what it saw can be read
  EXPECT_EQ(request, "GETme \"C:\\music\\song.mp3\" 1000");
  EXPECT_TRUE(t.Has("Complete 50000/50000")) << t.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "song.mp3"), content);
  ASSERT_FALSE(t.stats.empty());
  EXPECT_EQ(t.stats.back().Percent, 100);  // the final report is always made
}

TEST(Transfer, GetOfAFileAlreadyWholeEndsAtOnce) {
  std::string dir = testutil::TempFolder("get-whole");
  testutil::WriteFileBytes(dir + "a.mp3", testutil::PatternBytes(1000, 7));
  LoopbackServer peer(Uploader(nullptr, "1000", ""));
  Transfers t;
  t.Start("DOWNLOAD", peer.Port(), dir + "a.mp3", "a.mp3");
  ASSERT_TRUE(t.WaitFinished());
  EXPECT_TRUE(t.Has("Complete 1000/1000")) << t.Log();

  // A local file longer than the peer's is an error, never complete.
  testutil::WriteFileBytes(dir + "b.mp3", testutil::PatternBytes(1500, 7));
  Transfers longer;
  longer.Start("DOWNLOAD", peer.Port(), dir + "b.mp3", "b.mp3");
  ASSERT_TRUE(longer.WaitFinished());
  EXPECT_TRUE(longer.Has("Error 0")) << longer.Log();
  EXPECT_FALSE(longer.Has("Complete 1000/1000")) << longer.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "b.mp3"), testutil::PatternBytes(1500, 7));
}

TEST(Transfer, MarkByteOnABlockBoundaryIsDroppedAndNoDataLost) {
  std::string dir = testutil::TempFolder("mark");
  std::string content = "12345" + testutil::PatternBytes(20000, 7);  // data that starts with digits
  for (bool markApart : {false, true}) {
    std::string file = dir + (markApart ? "apart.txt" : "together.txt");
    // The size and the mark end the first block; the data follows later,
    // or the mark itself comes in a segment of its own.
    std::string reply = std::to_string(content.size()) + (markApart ? "" : "A");
    LoopbackServer peer([&](LoopbackServer&, TSocket& s, int) {
      s.WriteAll("1");
      ReadBurst(s);
      s.WriteAll(reply);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      if (markApart) {
        s.WriteAll("A");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
      s.WriteAll(content);
    });
    Transfers t;
    t.Start("DOWNLOAD", peer.Port(), file, "|||x|txt.mp3", false);
    ASSERT_TRUE(t.WaitFinished());
    EXPECT_TRUE(t.Has("Complete 20005/20005")) << t.Log();
    EXPECT_EQ(testutil::ReadFileBytes(file), content) << markApart;
  }
}

TEST(Transfer, RepliesInsteadOfData) {
  struct Case {
    std::string greeting;
    std::string reply;
    std::string expect;
  };
  const Case cases[] = {
      {"1", "QUEUED", "Queued S1 peer f.mp3 10"},
      {"1", "INVALID REQUEST", "Error 1"},
      {"1", "FILE NOT SHARED", "Error 0"},
      {"1x", "", "Error 1"},  // the greeting must be "1" alone
      {"1", "99999999999999999999999", "Error 1"},
  };
  std::string dir = testutil::TempFolder("replies");
  for (const Case& c : cases) {
    LoopbackServer peer([&](LoopbackServer& server, TSocket& s, int) {
      s.WriteAll(c.greeting);
      if (c.reply.empty()) return server.HoldSilently(s);
      ReadBurst(s);
      s.WriteAll(c.reply);
      ReadBurst(s, 2000);
    });
    Transfers t;
    t.Start("DOWNLOAD", peer.Port(), dir + "f.mp3", "f.mp3");
    ASSERT_TRUE(t.WaitFinished()) << c.reply;
    EXPECT_TRUE(t.Has(c.expect)) << c.reply << ": " << t.Log();
    EXPECT_FALSE(plat::FileExists(dir + "f.mp3")) << c.reply;
  }
}

TEST(Transfer, ExtraBytesNeverGrowTheFile) {
  std::string dir = testutil::TempFolder("extra");
  std::string content = testutil::PatternBytes(3000, 7);
  LoopbackServer peer(Uploader(nullptr, "3000", content + "TRAILING GARBAGE"));
  Transfers t;
  t.Start("DOWNLOAD", peer.Port(), dir + "x.mp3", "x.mp3");
  ASSERT_TRUE(t.WaitFinished());
  EXPECT_TRUE(t.Has("Complete 3000/3000")) << t.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "x.mp3"), content);
}

TEST(Transfer, ACutConnectionIsIncompleteAndResumesLater) {
  std::string dir = testutil::TempFolder("cut");
  std::string content = testutil::PatternBytes(40000, 7);
  {
    LoopbackServer peer(Uploader(nullptr, "40000", content.substr(0, 15000)));
    Transfers t;
    t.Start("DOWNLOAD", peer.Port(), dir + "c.mp3", "c.mp3");
    ASSERT_TRUE(t.WaitFinished());
    EXPECT_TRUE(t.Has("Incomplete 15000/40000")) << t.Log();
  }
  std::string request;
  auto peer = std::make_unique<LoopbackServer>(Uploader(&request, "40000", content.substr(15000)));
  Transfers t;
  t.Start("DOWNLOAD", peer->Port(), dir + "c.mp3", "c.mp3");
  ASSERT_TRUE(t.WaitFinished());
  peer.reset();
  EXPECT_EQ(request, "GETme \"c.mp3\" 15000");
  EXPECT_TRUE(t.Has("Complete 40000/40000")) << t.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "c.mp3"), content);
}

TEST(Transfer, LocalFileThatCannotBeCreated) {
  std::string dir = testutil::TempFolder("nocreate");
  LoopbackServer peer(Uploader(nullptr, "100", testutil::PatternBytes(100, 7)));
  Transfers t;
  t.Start("DOWNLOAD", peer.Port(), dir + "missing-folder" + char(plat::kPathDelim) + "f.mp3", "f.mp3");
  ASSERT_TRUE(t.WaitFinished());
  EXPECT_TRUE(t.Has("CreateError")) << t.Log();
}

#ifndef _WIN32
TEST(Transfer, AFileThatCannotBeWrittenEndsTheDownload) {
  // Every write to /dev/full fails as on a full disk.
  LoopbackServer peer(Uploader(nullptr, "5000", testutil::PatternBytes(5000, 7)));
  Transfers t;
  t.Start("DOWNLOAD", peer.Port(), "/dev/full", "f.mp3");
  ASSERT_TRUE(t.WaitFinished());
  EXPECT_TRUE(t.Has("WriteError")) << t.Log();
  EXPECT_FALSE(t.Has("Complete 5000/5000"));
}
#endif

TEST(Transfer, PushUploadSendsFromTheOffset) {
  std::string dir = testutil::TempFolder("push-out");
  std::string content = testutil::PatternBytes(30000, 7);
  testutil::WriteFileBytes(dir + "doc.txt", content);
  std::string header, received;
  std::atomic<bool> done{false};
  auto peer = std::make_unique<LoopbackServer>([&](LoopbackServer&, TSocket& s, int) {
    s.WriteAll("1");
    header = ReadBurst(s);
    s.WriteAll("10000");
    received = ReadBurst(s, 1000);
    done = true;
  });
  Transfers t;
  t.Start("UPLOAD", peer->Port(), dir + "doc.txt", "|||doc|txt.mp3", false);
  ASSERT_TRUE(t.WaitFinished());
  ASSERT_TRUE(testutil::PumpUntil([&] { return done.load(); }, 5000));  // it has read to the end
  peer.reset();
  EXPECT_EQ(header, "SENDme \"|||doc|txt.mp3\" 30000");
  EXPECT_EQ(received, std::string("A").append(content, 10000));  // the mark, then the rest
  EXPECT_TRUE(t.Has("Complete 30000/30000")) << t.Log();

  Transfers missing;
  LoopbackServer peer2([&](LoopbackServer&, TSocket& s, int) {
    s.WriteAll("1");
    ReadBurst(s, 1000);
  });
  missing.Start("UPLOAD", peer2.Port(), dir + "gone.txt", "gone");
  ASSERT_TRUE(missing.WaitFinished());
  EXPECT_TRUE(missing.Has("Error 0")) << missing.Log();
}

// A downloader's offset may come in two segments split anywhere: the
// pushed file goes out from the whole offset, never from a part of it
// (which the downloader would append at the whole one, then share the
// corrupt file as complete). The second segment goes once the first has
// been taken; the pause that ends the number runs on a clock the test
// moves once both are in, until the data comes.
TEST(Transfer, APushOffsetSplitAtAnyByteIsReadWhole) {
  testutil::MovedClock clock;
  const std::string dir = testutil::TempFolder("push-split");
  const std::string content = testutil::PatternBytes(30000, 7);
  testutil::WriteFileBytes(dir + "doc.txt", content);
  const std::string header = "SENDme \"|||doc|txt.mp3\" 30000";
  const std::string offset = "10000";
  for (size_t cut = 1; cut < offset.size(); cut++) {
    std::atomic<int> stage{0};  // 1: first piece sent; 2: send the second; 3: sent
    std::atomic<bool> data{false}, done{false};
    std::string got;
    auto peer = std::make_unique<LoopbackServer>([&](LoopbackServer&, TSocket& s, int) {
      s.WriteAll("1");
      ReadExactly(s, int(header.size()));
      s.WriteAll(offset.substr(0, cut));
      stage = 1;
      for (int i = 0; i < 10000 && stage < 2; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      s.WriteAll(offset.substr(cut));
      stage = 3;
      got = ReadExactly(s, 1);
      data = true;
      got += ReadToClose(s);
      done = true;
    });
    Transfers t;
    t.numberPauseMs = 60000;
    TEasySocket* served = nullptr;  // on the main thread, until it finishes
    t.sockets.OnConnect = [&](TEasyWinsock*, TEasySocket* s) { served = s; };
    t.Start("UPLOAD", peer->Port(), dir + "doc.txt", "|||doc|txt.mp3", false);
    // The greeting and the first piece have been received.
    const bool taken = testutil::PumpUntil(
        [&] { return stage == 1 && served && (t.finished > 0 || served->BytesReceived() >= 1 + cut); }, 8000);
    stage = 2;
    // Both pieces are in (or the transfer went on without the second).
    EXPECT_TRUE(testutil::PumpUntil(
        [&] { return data || t.finished > 0 || (stage == 3 && served->BytesReceived() >= 1 + offset.size()); }, 8000))
        << cut;
    for (int round = 0; round < 20 && !data && t.finished == 0; round++) {
      clock.Advance(60000);
      testutil::PumpUntil([&] { return data || t.finished > 0; }, 500);
    }
    ASSERT_TRUE(t.WaitFinished()) << cut;
    ASSERT_TRUE(testutil::PumpUntil([&] { return done.load(); }, 8000)) << cut;  // it has read to the end
    peer.reset();
    EXPECT_TRUE(taken) << cut;
    EXPECT_EQ(got, std::string("A").append(content, 10000)) << cut;
    EXPECT_TRUE(t.Has("Complete 30000/30000")) << cut << ": " << t.Log();
  }
}

// An upload whose peer has stopped reading waits for room in a wait that
// removing the upload ends (a shutdown alone does not end a waiting send
// on every system): it ends as incomplete, and the end of the program
// finds no thread left to wait for.
TEST(Transfer, AnUploadToAPeerThatStoppedReadingEndsWhenRemoved) {
  const std::string dir = testutil::TempFolder("stalled");
  const std::string content(32 << 20, 'u');  // more than the buffers between the two hold
  testutil::WriteFileBytes(dir + "big.mp3", content);
  const std::string header = "SENDme \"big.mp3\" " + std::to_string(content.size());
  std::atomic<bool> release{false};
  LoopbackServer peer([&](LoopbackServer&, TSocket& s, int) {
    s.WriteAll("1");
    ReadExactly(s, int(header.size()));
    s.WriteAll("0");
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  Transfers t;
  testutil::SetOnExit letGo(release);  // the peer goes before the component
  TEasySocket* served = nullptr;  // on the main thread, until it finishes
  t.sockets.OnConnect = [&](TEasyWinsock*, TEasySocket* s) { served = s; };
  t.Start("UPLOAD", peer.Port(), dir + "big.mp3", "big.mp3");
  ASSERT_TRUE(testutil::PumpUntilStill([&] { return served ? served->BytesSent() : 0; },
                                       [&] { return t.finished > 0; }));
  t.sockets.Cancel(served);
  ASSERT_TRUE(t.WaitFinished()) << t.Log();
  EXPECT_EQ(t.Log().rfind("Incomplete ", 0), 0u) << t.Log();
}

// A peer connecting to the data port.
class Incoming {
 public:
  Transfers t;
  TEasySocket* listener = nullptr;
  Incoming() { listener = t.sockets.Listen(0, "127.0.0.1"); }
  int Port() const { return listener->LocalPort(); }
};

// Connects to port and runs the script on its own thread.
std::thread Peer(int port, std::function<void(TSocket&)> script) {
  return std::thread([port, script] {
    TSocket s;
    s.SetTimeout(5);
    try {
      s.Connect("127.0.0.1", port);
      script(s);
    } catch (const ESocket&) {
    }
  });
}

TEST(Transfer, IncomingGetServesFromTheOffsetOrRefuses) {
  std::string dir = testutil::TempFolder("in-get");
  std::string content = testutil::PatternBytes(20000, 7);
  testutil::WriteFileBytes(dir + "shared.txt", content);
  Incoming in;
  ASSERT_NE(in.listener, nullptr);
  in.t.decision.Allowed = true;
  in.t.decision.LocalFileName = dir + "shared.txt";
  in.t.decision.IsMP3 = false;
  std::string got;
  // "G" and "ET" in separate segments still make a GET.
  std::thread p = Peer(in.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("G");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s.WriteAll("ET");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s.WriteAll("bob \"|||shared|txt.mp3\" 5000");
    got = ReadToClose(s);
  });
  ASSERT_TRUE(in.t.WaitFinished());
  p.join();
  EXPECT_TRUE(in.t.Has("UploadDecision bob |||shared|txt.mp3")) << in.t.Log();
  EXPECT_EQ(got, "20000A" + content.substr(5000));
  EXPECT_TRUE(in.t.Has("Complete 20000/20000")) << in.t.Log();

  struct Refusal {
    bool queued, invalid;
    std::string text;
    std::string offset = "0";
    bool allowed = false;
  };
  for (const Refusal& r : {Refusal{true, false, "QUEUED"}, Refusal{false, true, "INVALID REQUEST"},
                           Refusal{false, false, "FILE NOT SHARED"},
                           // Past the end of the file, or before its start: nothing to send.
                           Refusal{false, false, "INVALID REQUEST", "20001", true},
                           Refusal{false, false, "INVALID REQUEST", "-5", true}}) {
    Incoming no;
    no.t.decision = TNapsterDataDecision();
    no.t.decision.Queued = r.queued;
    no.t.decision.Invalid = r.invalid;
    no.t.decision.Allowed = r.allowed;
    no.t.decision.LocalFileName = dir + "shared.txt";
    std::string answer;
    std::thread q = Peer(no.Port(), [&](TSocket& s) {
      ReadExactly(s, 1);
      s.WriteAll("GETbob \"x.mp3\" " + r.offset);
      answer = ReadToClose(s);
    });
    ASSERT_TRUE(no.t.WaitFinished());
    q.join();
    EXPECT_EQ(answer, r.text) << r.offset;
    EXPECT_TRUE(no.t.Has("Error 1")) << no.t.Log();
    EXPECT_FALSE(no.t.Has("Complete 20000/20000")) << no.t.Log();
  }

  Incoming junk;
  std::string answer;
  std::thread j = Peer(junk.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("PUT");
    answer = ReadToClose(s);
  });
  ASSERT_TRUE(junk.t.WaitFinished());
  j.join();
  EXPECT_EQ(answer, "INVALID REQUEST");
}

TEST(Transfer, IncomingSendIsAPushedDownload) {
  std::string dir = testutil::TempFolder("in-send");
  std::string content = testutil::PatternBytes(25000, 7);
  testutil::WriteFileBytes(dir + "pushed.txt", content.substr(0, 7000));
  Incoming in;
  in.t.decision.Allowed = true;
  in.t.decision.LocalFileName = dir + "pushed.txt";
  in.t.decision.IsMP3 = false;
  std::string offset;
  std::thread p = Peer(in.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("SEND");
    s.WriteAll("alice \"|||pushed|txt.mp3\" 25000");
    offset = ReadExactly(s, 4);
    s.WriteAll(std::string("A").append(content, 7000));
  });
  ASSERT_TRUE(in.t.WaitFinished());
  p.join();
  EXPECT_EQ(offset, "7000");
  EXPECT_TRUE(in.t.Has("Complete 25000/25000")) << in.t.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "pushed.txt"), content);

  Incoming no;
  std::string answer;
  std::thread q = Peer(no.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("SENDalice \"x.mp3\" 100");
    answer = ReadToClose(s);
  });
  ASSERT_TRUE(no.t.WaitFinished());
  q.join();
  EXPECT_EQ(answer, "INVALID");
  EXPECT_TRUE(no.t.Has("Error 1"));

  // The local file is longer than the one announced: not a part of it.
  Incoming longer;
  longer.t.decision.Allowed = true;
  longer.t.decision.LocalFileName = dir + "pushed.txt";  // 25000 bytes by now
  std::string refused;
  std::thread l = Peer(longer.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("SENDalice \"x.mp3\" 20000");
    refused = ReadToClose(s);
  });
  ASSERT_TRUE(longer.t.WaitFinished());
  l.join();
  EXPECT_EQ(refused, "INVALID");
  EXPECT_TRUE(longer.t.Has("Error 0")) << longer.t.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "pushed.txt"), content);
}

TEST(Transfer, APeerThatClosesBeforeItAnswersIsAnError) {
  std::string dir = testutil::TempFolder("closed-early");
  // Before the greeting; after the greeting and the whole request.
  for (bool greets : {false, true}) {
    LoopbackServer peer([&](LoopbackServer&, TSocket& s, int) {
      if (!greets) return;
      s.WriteAll("1");
      ReadExactly(s, int(std::string("GETme \"f.mp3\" 0").size()));
    });
    Transfers t;
    t.Start("DOWNLOAD", peer.Port(), dir + "f.mp3", "f.mp3");
    ASSERT_TRUE(t.WaitFinished());
    EXPECT_EQ(t.Log(), "Error 0; ") << greets;
  }
  // A Gnutella host that reads the request and closes with no answer, or
  // with half its head.
  for (const std::string answer : {"", "HTTP/1.0 200 OK\r\nContent-Len"}) {
    FakeHttpServer host([&](const FakeHttpServer::Request&) {
      FakeHttpServer::Reply r;
      r.bytes = answer;
      r.after = FakeHttpServer::Reply::kClose;
      return r;
    });
    Transfers t;
    t.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "g.mp3", "g.mp3");
    ASSERT_TRUE(t.WaitFinished());
    EXPECT_EQ(t.Log(), "Error 0; ") << answer;
    EXPECT_FALSE(plat::FileExists(dir + "g.mp3"));
  }
  // A transfer this side stops says nothing of the kind.
  std::atomic<bool> asked{false};
  LoopbackServer silent([&](LoopbackServer& server, TSocket& s, int) {
    s.WriteAll("1");
    ReadExactly(s, int(std::string("GETme \"f.mp3\" 0").size()));
    asked = true;
    server.HoldSilently(s);
  });
  Transfers t;
  TEasySocket* s = t.Start("DOWNLOAD", silent.Port(), dir + "f.mp3", "f.mp3");
  ASSERT_TRUE(testutil::PumpUntil([&] { return asked.load(); }, 8000));
  t.sockets.Cancel(s);
  ASSERT_TRUE(t.WaitFinished());
  EXPECT_EQ(t.Log(), "");
}

// A request may come in two pieces split anywhere: it is read whole, its
// number included - never an offset or a size of 0, nor a part of the
// number. The second piece goes once the first has been taken; the pause
// that ends a number runs on a clock the test moves once both are sent,
// until the request is taken.
TEST(Transfer, ARequestSplitAtAnyByteIsReadWhole) {
  testutil::MovedClock clock;
  const std::string dir = testutil::TempFolder("split");
  const std::string content = testutil::PatternBytes(20000, 7);
  testutil::WriteFileBytes(dir + "up.mp3", content);
  for (const bool push : {false, true}) {
    const std::string request = push ? "SENDalice \"in.mp3\" 20000" : "GETbob \"up.mp3\" 12345";
    for (size_t cut = 1; cut < request.size(); cut++) {
      const std::string what = request.substr(0, cut) + "|" + request.substr(cut);
      if (push) testutil::WriteFileBytes(dir + "in.mp3", content.substr(0, 7000));
      Incoming in;
      in.t.numberPauseMs = 60000;
      in.t.requestTimeOut = 3600;
      in.t.decision.Allowed = true;
      in.t.decision.LocalFileName = dir + (push ? "in.mp3" : "up.mp3");
      TEasySocket* served = nullptr;  // on the main thread, until it finishes
      in.t.sockets.OnConnect = [&](TEasyWinsock*, TEasySocket* s) { served = s; };
      std::atomic<int> stage{0};  // 1: first piece sent; 2: send the second; 3: sent
      std::string got;
      std::thread p = Peer(in.Port(), [&](TSocket& s) {
        s.SetTimeout(3600);  // its waits run on the clock the test moves
        ReadExactly(s, 1);
        s.WriteAll(request.substr(0, cut));
        stage = 1;
        for (int i = 0; i < 10000 && stage < 2; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.WriteAll(request.substr(cut));
        stage = 3;
        if (!push) {
          got = ReadToClose(s);
          return;
        }
        got = ReadExactly(s, 4);  // the offset to send from
        s.WriteAll(content.substr(7000));
      });
      const bool taken = testutil::PumpUntil(
          [&] { return stage == 1 && served && (in.t.finished > 0 || served->BytesReceived() >= cut); }, 8000);
      stage = 2;
      EXPECT_TRUE(testutil::PumpUntil([&] { return stage == 3; }, 8000)) << what;
      // Until the request has been taken whole (the transfer's own waits
      // then run on a clock that stands still again).
      auto asked = [&] { return in.t.finished > 0 || in.t.Log().find("Decision") != std::string::npos; };
      for (int round = 0; round < 20 && !asked(); round++) {
        clock.Advance(60000);
        testutil::PumpUntil(asked, 500);
      }
      const bool ended = in.t.WaitFinished();
      if (!ended) in.t.sockets.CloseAll();  // so that the peer's reads end
      p.join();
      ASSERT_TRUE(ended) << what;
      EXPECT_TRUE(taken) << what;
      EXPECT_TRUE(in.t.Has("Complete 20000/20000")) << what << ": " << in.t.Log();
      if (push) {
        EXPECT_EQ(got, "7000") << what;
        EXPECT_EQ(testutil::ReadFileBytes(dir + "in.mp3"), content) << what;
      } else {
        EXPECT_EQ(got, "20000" + content.substr(12345)) << what;
      }
    }
  }
}

// An upload of 1,024 bytes or less goes out whole at once, whatever the
// limit (at one byte per second a throttled one would take minutes).
TEST(Transfer, ASmallUploadIsNeverThrottled) {
  const std::string dir = testutil::TempFolder("small-upload");
  const std::string content = testutil::PatternBytes(1024, 7);
  testutil::WriteFileBytes(dir + "small.mp3", content);
  Incoming in;
  in.t.maxUploadBPS = 1;
  in.t.decision.Allowed = true;
  in.t.decision.LocalFileName = dir + "small.mp3";
  std::string got;
  std::thread p = Peer(in.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("GETbob \"small.mp3\" 0");
    got = ReadToClose(s);
  });
  const bool ended = in.t.WaitFinished();
  if (!ended) in.t.sockets.CloseAll();  // so that the peer's read ends
  p.join();
  ASSERT_TRUE(ended) << in.t.Log();
  EXPECT_EQ(got, "1024" + content);
  EXPECT_TRUE(in.t.Has("Complete 1024/1024")) << in.t.Log();

  // Pushed to a firewalled downloader, the same.
  std::string received;
  std::atomic<bool> done{false};
  auto peer = std::make_unique<LoopbackServer>([&](LoopbackServer&, TSocket& s, int) {
    s.WriteAll("1");
    ReadExactly(s, int(std::string("SENDme \"small.mp3\" 1024").size()));
    s.WriteAll("0");
    received = ReadToClose(s);
    done = true;
  });
  Transfers t;
  t.maxUploadBPS = 1;
  t.Start("UPLOAD", peer->Port(), dir + "small.mp3", "small.mp3");
  ASSERT_TRUE(t.WaitFinished()) << t.Log();
  ASSERT_TRUE(testutil::PumpUntil([&] { return done.load(); }, 8000));  // it has read to the end
  peer.reset();
  EXPECT_EQ(received, content);
  EXPECT_TRUE(t.Has("Complete 1024/1024")) << t.Log();
}

TEST(Transfer, APeerThatSendsNoWholeRequestIsClosed) {
  Incoming in;
  in.t.requestTimeOut = 1;
  std::string got;
  // Half a command, then nothing: the connection ends by the deadline.
  std::thread p = Peer(in.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("GE");
    got = ReadBurst(s, 10000);
  });
  ASSERT_TRUE(in.t.WaitFinished());
  p.join();
  EXPECT_TRUE(in.t.Has("WinsockError 10060")) << in.t.Log();
  EXPECT_EQ(got, "");
}

// ----------------------------------------------------------------- Gnutella

TEST(Gnutella, DownloadsResumesAndRestarts) {
  std::string dir = testutil::TempFolder("gnutella");
  std::string content = testutil::PatternBytes(60000, 3);
  GnutellaHttpHost host(content);

  Transfers t;
  t.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "g.mp3", "g.mp3");
  ASSERT_TRUE(t.WaitFinished());
  EXPECT_TRUE(t.Has("Complete 60000/60000")) << t.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "g.mp3"), content);
  ASSERT_EQ(host.Requests().size(), 1u);
  EXPECT_EQ(host.Requests()[0].head,
            "GET /get/7/g.mp3 HTTP/1.0\r\nConnection: Keep-Alive\r\nRange: bytes=0-\r\n"
            "User-Agent: Gnutella\r\n");

  // 206 resumes at the offset and ends at the whole file's length.
  testutil::WriteFileBytes(dir + "r.mp3", content.substr(0, 1000));
  Transfers r;
  r.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "r.mp3", "r.mp3");
  ASSERT_TRUE(r.WaitFinished());
  EXPECT_TRUE(r.Has("Complete 60000/60000")) << r.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "r.mp3"), content);

  // A 200 to a range request starts the file over.
  host.SetMode(GnutellaHttpHost::kIgnoreRange);
  testutil::WriteFileBytes(dir + "w.mp3", content.substr(0, 1000));
  Transfers w;
  w.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "w.mp3", "w.mp3");
  ASSERT_TRUE(w.WaitFinished());
  EXPECT_TRUE(w.Has("Complete 60000/60000")) << w.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "w.mp3"), content);

  // A cut answer leaves a partial file; the next request completes it.
  host.SetMode(GnutellaHttpHost::kServeRanges);
  host.SetCutAfter(20000);
  Transfers c;
  c.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "c.mp3", "c.mp3");
  ASSERT_TRUE(c.WaitFinished());
  EXPECT_TRUE(c.Has("Incomplete 20000/60000")) << c.Log();
  host.SetCutAfter(-1);
  Transfers c2;
  c2.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "c.mp3", "c.mp3");
  ASSERT_TRUE(c2.WaitFinished());
  EXPECT_TRUE(c2.Has("Complete 60000/60000")) << c2.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "c.mp3"), content);

  // Nothing left to fetch (416): whole. A longer local file: an error.
  Transfers again;
  again.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "c.mp3", "c.mp3");
  ASSERT_TRUE(again.WaitFinished());
  EXPECT_TRUE(again.Has("Complete 60000/60000")) << again.Log();
  testutil::WriteFileBytes(dir + "l.mp3", content + "more");
  Transfers longer;
  longer.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "l.mp3", "l.mp3");
  ASSERT_TRUE(longer.WaitFinished());
  EXPECT_TRUE(longer.Has("Error 0")) << longer.Log();
  EXPECT_FALSE(longer.Has("Complete 60000/60000")) << longer.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "l.mp3"), content + "more");
}

TEST(Gnutella, AFileInPartsOnOneConnectionOrOneEach) {
  std::string dir = testutil::TempFolder("gnutella-parts");
  const int64_t cap = GnutellaHttpHost::kAnswerCap;
  const std::string content = testutil::PatternBytes(size_t(2 * cap + 70000), 4);  // three parts
  const std::string total = std::to_string(content.size());
  struct Case {
    GnutellaHttpHost::Mode mode;
    bool hostClosesAnyway;
    std::vector<int> connections;  // of the three requests
  };
  for (const Case& c : {Case{GnutellaHttpHost::kCapped, false, {1, 1, 1}},
                        Case{GnutellaHttpHost::kCappedClosing, false, {1, 2, 3}},
                        // said to stay open, then closed: asked again on a new one
                        Case{GnutellaHttpHost::kCapped, true, {1, 2, 3}}}) {
    GnutellaHttpHost host(content, c.mode);
    host.SetCloseKeptConnections(c.hostClosesAnyway);
    const std::string local = dir + "p" + std::to_string(int(c.mode)) + std::to_string(c.hostClosesAnyway) + ".mp3";
    testutil::WriteFileBytes(local, content.substr(0, 1000));  // a resume, too
    Transfers t;
    t.Start("DOWNLOAD_GNUTELLA", host.Port(), local, "p.mp3");
    ASSERT_TRUE(t.WaitFinished());
    EXPECT_TRUE(t.Has("Complete " + total + "/" + total)) << t.Log();
    EXPECT_EQ(testutil::ReadFileBytes(local), content);
    std::vector<FakeHttpServer::Request> requests = host.Requests();
    ASSERT_EQ(requests.size(), 3u) << c.mode;
    for (size_t i = 0; i < 3; i++) {
      EXPECT_EQ(requests[i].Header("Range"), "bytes=" + std::to_string(1000 + int64_t(i) * cap) + "-");
      EXPECT_EQ(requests[i].connection, c.connections[i]) << c.mode << " request " << i;
    }
    // The statistics run over the whole file, across the parts.
    ASSERT_FALSE(t.stats.empty());
    int64_t last = 0;
    for (const TTransferStatistics& s : t.stats) {
      EXPECT_EQ(s.FileSize, int64_t(content.size()));
      EXPECT_GE(s.Position, last);
      last = s.Position;
    }
    EXPECT_EQ(t.stats.back().Percent, 100);
  }

  // A part cut off midway leaves what arrived; a later attempt resumes.
  GnutellaHttpHost host(content, GnutellaHttpHost::kCapped);
  host.SetCutAfter(100000);
  Transfers cut;
  cut.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "cut.mp3", "cut.mp3");
  ASSERT_TRUE(cut.WaitFinished());
  EXPECT_TRUE(cut.Has("Incomplete 100000/" + total)) << cut.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "cut.mp3"), content.substr(0, 100000));
  host.SetCutAfter(-1);
  Transfers rest;
  rest.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "cut.mp3", "cut.mp3");
  ASSERT_TRUE(rest.WaitFinished());
  EXPECT_TRUE(rest.Has("Complete " + total + "/" + total)) << rest.Log();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "cut.mp3"), content);
  EXPECT_EQ(host.Requests()[1].Header("Range"), "bytes=100000-");
}

TEST(Gnutella, RefusalsAndHostileAnswers) {
  struct Case {
    GnutellaHttpHost::Mode mode;
    std::string expect;
  };
  const Case cases[] = {
      {GnutellaHttpHost::kNotFound, "Error 0"},
      {GnutellaHttpHost::kBusy, "Queued S1 peer f.mp3 10"},
      {GnutellaHttpHost::kHugeHeader, "Error 0"},
      {GnutellaHttpHost::kManyHeaders, "Error 0"},
      {GnutellaHttpHost::kNoLength, "Error 0"},
      {GnutellaHttpHost::kWrongRange, "Error 0"},
  };
  std::string dir = testutil::TempFolder("gnutella-bad");
  std::string content = testutil::PatternBytes(5000, 7);
  for (const Case& c : cases) {
    testutil::WriteFileBytes(dir + "f.mp3", content.substr(0, 100));
    GnutellaHttpHost host(content, c.mode);
    Transfers t;
    t.Start("DOWNLOAD_GNUTELLA", host.Port(), dir + "f.mp3", "f.mp3");
    ASSERT_TRUE(t.WaitFinished()) << c.mode;
    EXPECT_TRUE(t.Has(c.expect)) << c.mode << ": " << t.Log();
    EXPECT_EQ(testutil::ReadFileBytes(dir + "f.mp3"), content.substr(0, 100)) << c.mode;  // untouched
  }
}

}  // namespace
