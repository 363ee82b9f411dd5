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
#include "peer/napster_client_data_thread.h"
#include "platform/files.h"
#include "tests/support/test_util.h"
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
  EXPECT_EQ(ParsePeerRequest("bob \"x\"").Number, 0);
  EXPECT_FALSE(ParsePeerRequest("bob \"x\" 99999999999999999999").Valid);
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

  THttpDownloadHead busy;
  busy.Status = 503;
  EXPECT_EQ(PlanHttpDownload(busy, 0).What, THttpDownloadPlan::kQueued);
  busy.Status = 404;
  EXPECT_EQ(PlanHttpDownload(busy, 0).What, THttpDownloadPlan::kNotFound);
}

TEST(Pacer, ThrottlesOnlyAboveTheLimit) {
  int64_t rate = 0;
  int slept = 0;
  TTransferPacer p;
  p.Rate = [&] { return rate; };
  p.Sleep = [&](int ms) { slept += ms; };

  p.Limit = 0;  // no limit
  rate = 1 << 30;
  EXPECT_EQ(p.NextDownloadPiece(100000), 8192);
  EXPECT_EQ(p.NextUploadPiece(100000), 8190);
  EXPECT_EQ(slept, 0);

  p.Limit = 1000;
  rate = 1000;  // at the limit: not above it
  EXPECT_EQ(p.NextDownloadPiece(100000), 8192);
  rate = 1001;
  EXPECT_EQ(p.NextDownloadPiece(100000), 20);
  EXPECT_EQ(slept, 50);
  EXPECT_EQ(p.NextUploadPiece(100000), 20);
  EXPECT_EQ(slept, 100);
  // A piece of 1024 bytes or less goes out whole, without a pause.
  EXPECT_EQ(p.NextUploadPiece(1024), 1024);
  EXPECT_EQ(p.NextUploadPiece(1025), 20);
  EXPECT_EQ(slept, 150);
  // Never more than what is left.
  rate = 0;
  EXPECT_EQ(p.NextDownloadPiece(7), 7);
  EXPECT_EQ(p.NextUploadPiece(0), 0);
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
  int finished = 0;

  Transfers() {
    sockets.TimeOut = 5;
    sockets.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& thread) {
      auto* t = new TNapsterDataThread();
      t->MaxDownloadBPS = maxDownloadBPS;
      t->MaxUploadBPS = maxUploadBPS;
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
  t.Start("DOWNLOAD", peer->Port(), dir + "song.mp3", "C:\\music\\song.mp3");
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
    got = ReadBurst(s, 1000);
  });
  ASSERT_TRUE(in.t.WaitFinished());
  p.join();
  EXPECT_TRUE(in.t.Has("UploadDecision bob |||shared|txt.mp3")) << in.t.Log();
  EXPECT_EQ(got, "20000A" + content.substr(5000));
  EXPECT_TRUE(in.t.Has("Complete 20000/20000")) << in.t.Log();

  struct Refusal {
    bool queued, invalid;
    std::string text;
  };
  for (const Refusal& r : {Refusal{true, false, "QUEUED"}, Refusal{false, true, "INVALID REQUEST"},
                           Refusal{false, false, "FILE NOT SHARED"}}) {
    Incoming no;
    no.t.decision = TNapsterDataDecision();
    no.t.decision.Queued = r.queued;
    no.t.decision.Invalid = r.invalid;
    std::string answer;
    std::thread q = Peer(no.Port(), [&](TSocket& s) {
      ReadExactly(s, 1);
      s.WriteAll("GETbob \"x.mp3\" 0");
      answer = ReadBurst(s, 1000);
    });
    ASSERT_TRUE(no.t.WaitFinished());
    q.join();
    EXPECT_EQ(answer, r.text);
    EXPECT_TRUE(no.t.Has("Error 1")) << no.t.Log();
  }

  Incoming junk;
  std::string answer;
  std::thread j = Peer(junk.Port(), [&](TSocket& s) {
    ReadExactly(s, 1);
    s.WriteAll("PUT");
    answer = ReadBurst(s, 1000);
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
    offset = ReadBurst(s);
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
    answer = ReadBurst(s, 1000);
  });
  ASSERT_TRUE(no.t.WaitFinished());
  q.join();
  EXPECT_EQ(answer, "INVALID");
  EXPECT_TRUE(no.t.Has("Error 1"));
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
