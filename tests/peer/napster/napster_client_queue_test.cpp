// test-label: concurrency
// Transfer bookkeeping of the client component against the scripted fake
// Napster server on 127.0.0.1: the local download queue, the server's
// download counts (218/219), time-outs and automatic resume, remote-queue
// retries and the upload policy. Durations run on an injected monotonic
// clock that the test moves; the 500 ms timer does the work.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>

#include "peer/napster/napster_client.h"
#include "peer/napster/napster_helpers.h"
#include "platform/clock.h"
#include "platform/os.h"
#include "tests/support/test_util.h"
#include "tools/fake_napster_server.h"
#include "tools/napster_client_harness.h"

namespace {

using Server = FakeNapsterServer;
constexpr int kWaitMs = 6000;
constexpr int kTickMs = 1200;  // long enough for two timer ticks

// The monotonic clock: the real one plus an offset the test moves. The
// date-time clock may be pinned just before midnight.
struct FakeClocks {
  std::atomic<int64_t> offsetMs{0};
  FakeClocks() {
    plat::SetMonotonicForTesting([this] { return plat::os::MonotonicRawMs() + offsetMs.load(); });
  }
  void Advance(int seconds) { offsetMs += int64_t(seconds) * 1000; }
  ~FakeClocks() {
    plat::SetMonotonicForTesting(nullptr);
    plat::SetNowForTesting(nullptr);
  }
};

void Idle(int ms) { testutil::PumpUntil([] { return false; }, ms); }

struct Peer : TNapsterEventLines {  // the lines first: the component logs into them until it is gone
  TNapsterClient c;
  Server server;
  std::string id;
  std::vector<TNapsterClientData*> started;  // valid until removed

  Peer() {
    ApplyMainWindowProperties(c);
    Attach(c);
    auto logStart = c.OnDownloadStart;
    c.OnDownloadStart = [this, logStart](TNapsterClient* s, TNapsterClientData& d) {
      logStart(s, d);
      started.push_back(&d);
    };
    server.SetScript(203, {});  // download requests go unanswered
    server.Start();
    c.StartSession("127.0.0.1", server.Port(), "me", "pw", "", false, false, id);
    EXPECT_TRUE(Wait("OnLogin", 1, kWaitMs)) << Text();
  }
  bool Got(uint16_t type, int n = 1) {
    return testutil::PumpUntil([&] { return server.CountOfType(type) >= n; }, kWaitMs);
  }
  // Moves the clock in steps the session's idle cut never sees as
  // silence: the server speaks after each one.
  void Advance(FakeClocks& clocks, int seconds) {
    while (seconds > 0) {
      const int step = std::min(seconds, 60);
      clocks.Advance(step);
      seconds -= step;
      const int heard = Count("OnServerStats");
      server.Send(214, "1 0 1");
      EXPECT_TRUE(Wait("OnServerStats", heard + 1, kWaitMs));
    }
  }
  bool Get(const std::string& file) { return c.Download(id, "up", file, "/tmp/x-" + file, false, 0, "", 0, false, ""); }
};

TEST(TransferQueue, LocalQueueKeepsTheServerCountsBalanced) {
  FakeClocks clocks;
  Peer p;
  ASSERT_TRUE(p.Get("a.mp3"));
  ASSERT_TRUE(p.Get("b.mp3"));
  ASSERT_TRUE(p.Get("c.mp3"));
  ASSERT_TRUE(p.Get("c.mp3"));  // a second request for a queued file adds nothing
  ASSERT_TRUE(p.Got(203));
  EXPECT_EQ(p.Count("OnDownloadStart"), 3);
  EXPECT_EQ(p.Count("OnDownloadLocalQueued"), 2);
  EXPECT_EQ(p.c.DownloadCount(), 1);
  EXPECT_EQ(p.c.LocalQueueCount(), 2);
  Idle(kTickMs);
  EXPECT_EQ(p.server.CountOfType(218), 1);  // only the requested one
  EXPECT_EQ(p.server.CountOfType(203), 1);

  ASSERT_EQ(p.started.size(), 3u);
  p.c.RemoveTransfer(*p.started[2], false);  // leaves the local queue: nothing sent
  EXPECT_EQ(p.c.LocalQueueCount(), 1);
  p.c.RemoveTransfer(*p.started[0], false);  // the slot is free: b follows within a tick
  ASSERT_TRUE(p.Got(203, 2));
  ASSERT_TRUE(p.Got(218, 2));
  EXPECT_EQ(p.server.CountOfType(219), 1);
  EXPECT_EQ(p.c.LocalQueueCount(), 0);
  p.c.RemoveAllDownloads();
  ASSERT_TRUE(p.Got(219, 2));
  Idle(kTickMs);
  EXPECT_EQ(p.server.CountOfType(218), 2);
  EXPECT_EQ(p.server.CountOfType(219), 2);
  EXPECT_EQ(p.Count("OnDownloadFinish"), 2);  // the queued one left without a finish
  EXPECT_EQ(p.c.SharedCount(), 0);            // nothing arrived, nothing is shared
}

TEST(TransferQueue, TimeOutResumesUpToMaxResumeAcrossMidnight) {
  FakeClocks clocks;
  // 23:59:50 on the displayed clock: the stamps shown fall back to 0 at
  // midnight while the durations keep counting.
  const double day = plat::EncodeDateTime(2026, 12, 7);
  std::atomic<int> shown{86390};
  plat::SetNowForTesting([&] { return day + double(shown.load()) / 86400.0; });
  Peer p;
  p.c.EnableAutoResume = true;
  p.c.MaxResume = 2;
  ASSERT_TRUE(p.Get("a.mp3"));
  ASSERT_TRUE(p.Got(203));
  p.Advance(clocks, 490);  // (the real time passes too)
  Idle(kTickMs);
  EXPECT_EQ(p.Count("OnDownloadTimeout"), 0);
  shown = 5;  // past midnight
  for (int n = 1; n <= 3; n++) {
    p.Advance(clocks, n == 1 ? 11 : 501);
    ASSERT_TRUE(p.Wait("OnDownloadTimeout", n, kWaitMs)) << p.Text();
  }
  ASSERT_TRUE(p.Wait("OnDownloadFinish", 1, kWaitMs)) << p.Text();
  Idle(kTickMs);
  EXPECT_EQ(p.Count("OnDownloadAutoResume"), 2);
  EXPECT_EQ(p.Count("OnDownloadFinish"), 1);
  EXPECT_EQ(p.c.DownloadCount(), 0);
  EXPECT_EQ(p.server.CountOfType(203), 3);
  EXPECT_EQ(p.server.CountOfType(218), 3);  // one pair per attempt
  EXPECT_EQ(p.server.CountOfType(219), 3);
}

TEST(TransferQueue, RemotelyQueuedDownloadIsRetriedAndNeverTimesOut) {
  FakeClocks clocks;
  Peer p;
  p.server.SetScript(203, {Server::Step::Frame(620, "up \"a.mp3\" 1000 5")});
  ASSERT_TRUE(p.Get("a.mp3"));
  ASSERT_TRUE(p.Wait("OnDownloadQueued", 1, kWaitMs)) << p.Text();
  p.Advance(clocks, 115);  // (the real time passes too)
  Idle(kTickMs);
  EXPECT_EQ(p.server.CountOfType(203), 1);  // not yet
  p.Advance(clocks, 6);
  ASSERT_TRUE(p.Got(203, 2));  // asked again at 121 s
  ASSERT_TRUE(p.Wait("OnDownloadQueued", 3, kWaitMs));
  for (int i = 0; i < 5; i++) {  // 605 s in all, far past DownloadTimeout
    p.Advance(clocks, 121);
    ASSERT_TRUE(p.Got(203, 3 + i));
    ASSERT_TRUE(p.Wait("OnDownloadQueued", 5 + 2 * i, kWaitMs));
  }
  EXPECT_EQ(p.Count("OnDownloadTimeout"), 0);
  EXPECT_EQ(p.server.CountOfType(218), 1);  // one attempt, asked for again
  EXPECT_EQ(p.c.DownloadCount(), 1);

  // A retry the server never answers times out after all.
  p.server.SetScript(203, {});
  p.Advance(clocks, 121);
  ASSERT_TRUE(p.Got(203, 8));
  p.Advance(clocks, 501);
  ASSERT_TRUE(p.Wait("OnDownloadTimeout", 1, kWaitMs)) << p.Text();
  ASSERT_TRUE(p.Got(219));
}

TEST(TransferQueue, UploadPolicyPerNickTotalAndTimeOut) {
  FakeClocks clocks;
  Peer p;
  const std::string dir = testutil::TempFolder("uppolicy");
  const std::string file = dir + "song.txt";
  testutil::WriteFileBytes(file, "some bytes");
  testutil::WriteFileBytes(dir + "SONG.txt", "not shared");
  testutil::WriteFileBytes(dir + "other.txt", "more bytes");
  p.c.ShareFile(file, true);
  p.c.ShareFile(file, true);  // listed once
  p.c.ShareFile(dir + "other.txt", true);
  EXPECT_EQ(p.c.SharedCount(), 2);
  p.c.MaxUploadsPerNick = 1;
  p.c.MaxUploads = 3;
  const std::string name = EncodeNonMp3Name(file);
  auto ask = [&](const std::string& nick, const std::string& f) {
    p.server.Send(607, nick + " \"" + f + "\" 3");
  };
  ask("ann", name);
  ASSERT_TRUE(p.Got(608));
  ask("bob", name);
  ASSERT_TRUE(p.Got(608, 2));
  // The same request again while its upload waits for her: accepted again,
  // with no second record taking a slot (nor told to the server).
  p.Advance(clocks, 300);
  ask("ann", name);
  ASSERT_TRUE(p.Got(608, 3));
  ask("ann", EncodeNonMp3Name(dir + "other.txt"));  // her second file: refused while bob is still served
  ASSERT_TRUE(p.Got(619));
  ask("cid", EncodeNonMp3Name(dir + "nothere.txt"));  // not shared
  ASSERT_TRUE(p.Got(619, 2));
  ask("dan", name + "|");
  ASSERT_TRUE(p.Got(619, 3));
  EXPECT_EQ(p.c.UploadCount(), 2);
  EXPECT_EQ(p.server.CountOfType(220), 2);
  EXPECT_EQ(p.Count("OnUploadStart"), 2);

  // Nobody connects: both time out (hers counted from her last request),
  // and the counts fall back.
  p.Advance(clocks, 201);
  ASSERT_TRUE(p.Wait("OnUploadTimeout", 1, kWaitMs)) << p.Text();
  EXPECT_NE(p.Find("OnUploadTimeout").find("NICK=bob"), std::string::npos) << p.Text();
  EXPECT_EQ(p.c.UploadCount(), 1);
  p.Advance(clocks, 300);
  ASSERT_TRUE(p.Wait("OnUploadTimeout", 2, kWaitMs)) << p.Text();
  EXPECT_EQ(p.c.UploadCount(), 0);
  ASSERT_TRUE(p.Got(221, 2));
  ask("ann", name);
  ASSERT_TRUE(p.Got(608, 4));

  // A case variant of the name, or the bare local path, is served from the
  // shared entry's own path - never the unshared "SONG.txt" beside it.
  ask("eve", EncodeNonMp3Name(dir + "SONG.txt"));
  ASSERT_TRUE(p.Got(608, 5));
  ask("fay", file);
  ASSERT_TRUE(p.Got(608, 6));
  ASSERT_TRUE(p.Wait("OnUploadStart", 5, kWaitMs));
  for (const std::string& who : {"eve", "fay"}) {
    const std::string line = p.Find("OnUploadStart KEY=" + p.id + who);
    EXPECT_NE(line.find("LOCAL=" + EventValueText(file) + " "), std::string::npos) << line;
  }
}

// A time-out of 0 means none, for the waits for a connection as for
// stalled transfers. The timer reports an expired search last, after the
// transfers that fell due in the same tick.
TEST(TransferQueue, ZeroTimeOutsAreOffAndAnExpiredSearchComesLast) {
  FakeClocks clocks;
  Peer p;
  p.c.DownloadTimeout = 0;
  p.c.UploadTimeout = 0;
  const std::string file = testutil::TempFolder("zerotimeout") + "song.txt";
  testutil::WriteFileBytes(file, "some bytes");
  p.c.ShareFile(file, true);
  p.server.Send(607, "ann \"" + EncodeNonMp3Name(file) + "\" 3");
  ASSERT_TRUE(p.Got(608));
  ASSERT_TRUE(p.Get("a.mp3"));
  ASSERT_TRUE(p.Got(203));
  p.Advance(clocks, 3600);
  Idle(kTickMs);
  EXPECT_EQ(p.Count("OnDownloadTimeout"), 0) << p.Text();
  EXPECT_EQ(p.Count("OnUploadTimeout"), 0) << p.Text();
  EXPECT_EQ(p.c.DownloadCount(), 1);
  EXPECT_EQ(p.c.UploadCount(), 1);

  p.c.UploadTimeout = 3600 + 600;  // due with the search below
  p.server.SetScript(200, {});  // the search ends from the wait list
  p.c.Search("", 5, "x", "", "", "", "", "", "", "", "", "");
  ASSERT_TRUE(p.Got(200));
  clocks.Advance(601);  // the search and the upload fall due together
  ASSERT_TRUE(p.Wait("OnSearchEnd", 1, kWaitMs)) << p.Text();
  const auto at = [&](const std::string& prefix) {
    return std::find_if(p.lines.begin(), p.lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  ASSERT_NE(at("OnUploadTimeout"), p.lines.end()) << p.Text();
  EXPECT_LT(at("OnUploadTimeout"), at("OnSearchEnd")) << p.Text();
}

// The program-wide rates are the sums of the transfers' own rates, taken
// by the timer every 2 s and at once when an upload ends.
TEST(TransferQueue, RateTotalsSumEveryTransfer) {
  FakeClocks clocks;
  Peer p;
  p.c.MaxDownloads = 3;
  std::vector<TNapsterClientData*> uploads;  // valid until removed
  auto logUpload = p.c.OnUploadStart;
  p.c.OnUploadStart = [&](TNapsterClient* s, TNapsterClientData& d) {
    logUpload(s, d);
    uploads.push_back(&d);
  };
  const std::string dir = testutil::TempFolder("rates");
  const std::string file = dir + "song.txt";
  testutil::WriteFileBytes(file, "some bytes");
  p.c.ShareFile(file, true);
  ASSERT_TRUE(p.Get("a.mp3"));
  ASSERT_TRUE(p.Get("b.mp3"));
  for (const std::string nick : {"ann", "bob"}) p.server.Send(607, nick + " \"" + EncodeNonMp3Name(file) + "\" 3");
  ASSERT_TRUE(p.Got(608, 2));
  ASSERT_TRUE(p.Wait("OnUploadStart", 2, kWaitMs));
  ASSERT_EQ(p.started.size(), 2u);
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(p.c.DownloadRate(), 0);
  p.started[0]->BytesPerSecond = 1000;
  p.started[1]->BytesPerSecond = 2500;
  uploads[0]->BytesPerSecond = 300;
  uploads[1]->BytesPerSecond = 700;
  p.Advance(clocks, 3);
  ASSERT_TRUE(testutil::PumpUntil([&] { return p.c.DownloadRate() == 3500; }, kWaitMs));
  EXPECT_EQ(p.c.UploadRate(), 1000);

  p.c.RemoveTransfer(*uploads[0], false);  // summed again at once
  EXPECT_EQ(p.c.UploadRate(), 700);
  p.c.RemoveTransfer(*p.started[0], false);
  p.Advance(clocks, 3);
  ASSERT_TRUE(testutil::PumpUntil([&] { return p.c.DownloadRate() == 2500; }, kWaitMs));
  EXPECT_EQ(p.c.UploadRate(), 700);
  p.c.RemoveAllDownloads();
  p.c.RemoveAllUploads();
  EXPECT_EQ(p.c.UploadRate(), 0);
  p.Advance(clocks, 3);
  ASSERT_TRUE(testutil::PumpUntil([&] { return p.c.DownloadRate() == 0; }, kWaitMs));
}

}  // namespace

namespace {

TEST(TransferQueue, ResumeWithoutItsSessionFinishesTheDownload) {
  FakeClocks clocks;
  Peer p;
  p.c.EnableAutoResume = true;
  p.c.MaxResume = 2;
  ASSERT_TRUE(p.Get("a.mp3"));
  ASSERT_TRUE(p.Got(203));
  p.c.Disconnect(p.id);
  ASSERT_TRUE(p.Wait("OnFinish", 1, kWaitMs));
  clocks.Advance(501);  // no session left to keep alive
  ASSERT_TRUE(p.Wait("OnDownloadTimeout", 1, kWaitMs)) << p.Text();
  ASSERT_TRUE(p.Wait("OnDownloadFinish", 1, kWaitMs)) << p.Text();  // its row goes
  EXPECT_EQ(p.Count("OnDownloadAutoResume"), 0);
  EXPECT_EQ(p.c.DownloadCount(), 0);
}

// A session whose login is not answered yet sends nothing: its queue of
// requests fills. A download asked for then waits on this side, saying so,
// with no time-out running, and is asked for, in turn, once the session has
// room. One whose session ends meanwhile ends as any download whose session
// is gone, its file given back to the shares as it was.
TEST(TransferQueue, ADownloadAFullSessionQueueRefusedWaitsAndIsAskedForInTurn) {
  FakeClocks clocks;
  Server held, gone;
  for (Server* s : {&held, &gone}) {
    s->SetScript(2, {});    // the login is answered when the test says
    s->SetScript(203, {});  // download requests go unanswered
    ASSERT_TRUE(s->Start());
  }
  struct Logged : TNapsterEventLines {
    TNapsterClient c;
  } p;
  ApplyMainWindowProperties(p.c);
  p.Attach(p.c);
  p.c.MaxDownloads = 3;
  std::string x, y;
  p.c.StartSession("127.0.0.1", held.Port(), "me", "pw", "", false, false, x);
  p.c.StartSession("127.0.0.1", gone.Port(), "me", "pw", "", false, false, y);
  ASSERT_TRUE(testutil::PumpUntil([&] { return held.CountOfType(2) + gone.CountOfType(2) == 2; }, kWaitMs));
  for (const std::string& id : {x, y}) {
    int taken = 0;
    while (p.c.HotlistAdd(id, "n" + std::to_string(taken))) taken++;
    ASSERT_EQ(taken, 50);
  }
  const std::string dir = testutil::TempFolder("held-download");
  const std::string kept = dir + "kept.txt";
  testutil::WriteFileBytes(kept, "an earlier, cut attempt");
  p.c.ShareFile(kept, true);
  ASSERT_TRUE(p.c.Download(x, "up", "a.mp3", dir + "a.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(p.c.Download(x, "up", "b.mp3", dir + "b.mp3", false, 0, "", 0, false, ""));
  ASSERT_TRUE(p.c.Download(y, "bob", "C:\\kept.txt", kept, true, 0, "", 0, false, ""));
  EXPECT_EQ(p.c.SharedCount(), 0) << "withheld while a download may write it";
  ASSERT_EQ(p.Count("OnDownloadLocalQueued"), 3) << p.Text();
  for (const std::string& l : p.lines)
    if (l.rfind("OnDownloadLocalQueued", 0) == 0) EXPECT_NE(l.find(" HELD=TRUE "), std::string::npos) << l;

  // The second session ends; past the time-out its download ends as one
  // whose session is gone (its file shared again), the others still wait.
  gone.CloseClient();
  ASSERT_TRUE(p.Wait("OnFinish ID=" + y, 1, kWaitMs)) << p.Text();
  clocks.Advance(501);
  ASSERT_TRUE(p.Wait("OnDownloadFinish", 1, kWaitMs)) << p.Text();
  ASSERT_EQ(p.Count("OnDownloadTimeout"), 1) << p.Text();
  EXPECT_EQ(p.Find("OnDownloadTimeout").rfind("OnDownloadTimeout KEY=" + EventValueText(y + "bob" + "C:\\kept.txt"), 0), 0u)
      << p.Text();
  EXPECT_EQ(p.c.SharedCount(), 1) << "given back as it was";
  Idle(kTickMs);
  EXPECT_EQ(p.Count("OnDownloadTimeout"), 1) << p.Text();
  EXPECT_EQ(p.c.DownloadCount(), 2);

  // Logged in, the session sends what it held and then the downloads'
  // requests, each after its count, in the order they were made; each row
  // says it is requested.
  ASSERT_TRUE(held.Send(3, "me@example.com"));
  ASSERT_TRUE(testutil::PumpUntil([&] { return held.CountOfType(203) == 2; }, kWaitMs)) << p.Text();
  std::vector<std::string> sent;
  for (const NapsterMessage& m : held.Received())
    if (m.Type == 207 || m.Type == 218 || m.Type == 203 || m.Type == 219)
      sent.push_back(std::to_string(m.Type) + (m.Type == 207 ? "" : " " + m.Text));
  std::vector<std::string> expected(50, "207");
  for (const char* f : {"a.mp3", "b.mp3"}) {
    expected.push_back("218 ");
    expected.push_back("203 up \"" + std::string(f) + "\"");
  }
  EXPECT_EQ(sent, expected);
  ASSERT_TRUE(p.Wait("OnDownloadStart", 5, kWaitMs)) << p.Text();
  std::vector<std::string> starts;
  for (const std::string& l : p.lines)
    if (l.rfind("OnDownloadStart ", 0) == 0) starts.push_back(l.substr(0, l.find(" ID=")));
  const std::string a = "OnDownloadStart KEY=" + x + "upa.mp3", b = "OnDownloadStart KEY=" + x + "upb.mp3";
  EXPECT_EQ(starts, (std::vector<std::string>{a, b, "OnDownloadStart KEY=" + y + "bobC:\\kept.txt", a, b}));

  // Each ends with its count.
  p.c.RemoveAllDownloads();
  ASSERT_TRUE(testutil::PumpUntil([&] { return held.CountOfType(219) == 2; }, kWaitMs));
  EXPECT_EQ(held.CountOfType(218), 2);
  EXPECT_EQ(gone.Received().size(), 1u) << "the gone session sent nothing after its login";
}

}  // namespace

namespace {

TEST(ShareBurst, FiveHundredFilesReachTheServerOnceEachAndASearchStillGoesOut) {
  Peer p;
  const std::string dir = testutil::TempFolder("burst");
  for (int i = 0; i < 500; i++) {
    const std::string f = dir + "f" + std::to_string(i) + ".txt";
    testutil::WriteFileBytes(f, "x");
    p.c.ShareFile(f, true);
    if (i == 250) p.c.Search("", 10, "needle", "", "", "", "", "", "", "", "", "");
  }
  p.c.UnshareFile(dir + "f7.txt");
  ASSERT_TRUE(p.Got(200));
  // f7 is withdrawn (102) only when it was announced before it went.
  auto net = [&] { return p.server.CountOfType(100) - p.server.CountOfType(102); };
  ASSERT_TRUE(testutil::PumpUntil([&] { return net() == 499; }, kWaitMs)) << net();
  Idle(600);
  EXPECT_EQ(net(), 499);
  EXPECT_LE(p.server.CountOfType(102), 1);
  std::set<std::string> names;
  p.server.WaitFor(
      [&](const std::vector<NapsterMessage>& all) {
        for (const NapsterMessage& m : all)
          if (m.Type == 100) names.insert(m.Text.substr(0, m.Text.find("\" ") + 1));
        return true;
      },
      0);
  // Each announced once.
  EXPECT_GE(p.server.CountOfType(100), 499);
  EXPECT_EQ(size_t(p.server.CountOfType(100)), names.size());
  EXPECT_EQ(p.c.SharedCount(), 499);
}

}  // namespace
