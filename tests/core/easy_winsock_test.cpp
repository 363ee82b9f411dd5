// test-label: concurrency
#include "core/easy_winsock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/net.h"
#include "platform/sync.h"
#include "tests/support/test_util.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// ---------------------------------------------------------------- peers

// Receives until the other side closes or ms pass; returns what came.
std::string DrainUntilClosed(plat::SocketHandle s, int ms) {
  std::string got;
  plat::SocketWaiter waiter;
  const int64_t end = plat::MonotonicMs() + ms;
  char buf[4096];
  while (plat::MonotonicMs() < end) {
    if (waiter.Wait(s, plat::kWaitRead, 50) != plat::WaitResult::kReady) continue;
    const int n = plat::RecvSocket(s, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, size_t(n));
  }
  return got;
}

void SendAll(plat::SocketHandle s, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const int n = plat::SendSocket(s, data.data() + done, int(data.size() - done));
    if (n <= 0) return;
    done += size_t(n);
  }
}

// A hand-written peer: listens on 127.0.0.1 and runs script on each
// accepted connection (on a thread of its own), then closes it.
class Peer {
 public:
  explicit Peer(std::function<void(plat::SocketHandle)> script, int connections = 1)
      : script_(std::move(script)) {
    plat::NetStartup();
    listener_ = plat::TcpSocket();
    EXPECT_TRUE(plat::BindSocket(listener_, kLoopback, 0));
    EXPECT_TRUE(plat::ListenSocket(listener_, 16));
    plat::SetNonBlocking(listener_, true);
    uint32_t a = 0;
    plat::LocalAddress(listener_, &a, &port_);
    acceptor_ = std::thread([this, connections] {
      plat::SocketWaiter waiter;
      int accepted = 0;
      const int64_t end = plat::MonotonicMs() + 10000;
      while (accepted < connections && !stop_.load() && plat::MonotonicMs() < end) {
        if (waiter.Wait(listener_, plat::kWaitRead, 50) != plat::WaitResult::kReady) continue;
        uint32_t ra = 0;
        uint16_t rp = 0;
        const plat::SocketHandle s = plat::AcceptSocket(listener_, &ra, &rp);
        if (s == plat::kInvalidSocket) continue;
        plat::SetNonBlocking(s, false);
        ++accepted;
        workers_.emplace_back([this, s] {
          script_(s);
          plat::CloseSocket(s);
        });
      }
    });
  }
  ~Peer() {
    stop_.store(true);
    acceptor_.join();
    for (auto& w : workers_) w.join();
    plat::CloseSocket(listener_);
  }
  int Port() const { return port_; }

 private:
  std::function<void(plat::SocketHandle)> script_;
  plat::SocketHandle listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> workers_;
};

// A port on 127.0.0.1 where nobody listens.
int ClosedPort() {
  plat::NetStartup();
  const plat::SocketHandle s = plat::TcpSocket();
  plat::BindSocket(s, kLoopback, 0);
  uint32_t a = 0;
  uint16_t port = 0;
  plat::LocalAddress(s, &a, &port);
  plat::CloseSocket(s);
  return port;
}

// ---------------------------------------------------------------- harness

// Serves a connection with a function given by the test.
class ScriptThread : public TEasyWinsockThread {
 public:
  explicit ScriptThread(std::function<void(TEasySocket*)> body) : body_(std::move(body)) {}

 protected:
  void ServeConnection() override { body_(Socket()); }
  void CancelHook() override {}

 private:
  std::function<void(TEasySocket*)> body_;
};

// Records every event of a component, in order, as text.
struct Recorder {
  std::vector<std::string> log;
  std::vector<int> errors;
  std::vector<std::string> errorTexts;
  std::vector<int> progress;
  int finishes = 0;
  int disconnects = 0;
  int getThreads = 0;
  bool offMainThread = false;
  std::function<void(TEasySocket*)> body;  // nullptr: OnGetThread gives none
  std::function<void(TEasySocket*)> onFinish;
  bool acceptAnswer = true;

  void Note(const std::string& what) {
    if (!plat::MainLoop::IsMainThread()) offMainThread = true;
    log.push_back(what);
  }

  void Attach(TEasyWinsock& w) {
    w.OnStart = [this](TEasyWinsock*, TEasySocket*) { Note("Start"); };
    w.OnConnect = [this](TEasyWinsock*, TEasySocket*) { Note("Connect"); };
    w.OnAccept = [this](TEasyWinsock*, TEasySocket*, bool& accept) {
      Note("Accept");
      accept = acceptAnswer;
    };
    w.OnFinish = [this](TEasyWinsock*, TEasySocket* s) {
      if (onFinish) onFinish(s);
      ++finishes;
      Note("Finish");
    };
    w.OnDisconnect = [this](TEasyWinsock*, TEasySocket*) {
      ++disconnects;
      Note("Disconnect");
    };
    w.OnWinsockError = [this](TEasyWinsock*, TEasySocket*, int code, const std::string& text) {
      errors.push_back(code);
      errorTexts.push_back(text);
      Note("Error " + std::to_string(code));
    };
    w.OnStreamCreateError = [this](TEasyWinsock*, TEasySocket*) { Note("StreamCreate"); };
    w.OnStreamReadError = [this](TEasyWinsock*, TEasySocket*) { Note("StreamRead"); };
    w.OnStreamWriteError = [this](TEasyWinsock*, TEasySocket*) { Note("StreamWrite"); };
    w.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& t) {
      ++getThreads;
      Note("GetThread");
      if (body) t = new ScriptThread(body);
    };
  }
};

using Log = std::vector<std::string>;

// Shared between a connection thread and the test.
struct Shared {
  std::mutex m;
  std::vector<std::string> lines;
  std::string data;
  std::string note;
  void Line(const std::string& s) {
    std::lock_guard<std::mutex> g(m);
    lines.push_back(s);
  }
  void Data(const std::string& s) {
    std::lock_guard<std::mutex> g(m);
    data += s;
  }
  void Note(const std::string& s) {
    std::lock_guard<std::mutex> g(m);
    note = s;
  }
};

bool WaitDisconnects(Recorder& r, int n, int ms = 5000) {
  return testutil::PumpUntil([&] { return r.disconnects >= n; }, ms);
}

// ---------------------------------------------------------------- texts

TEST(EasyWinsock, ErrorTexts) {
  EXPECT_EQ(WinsockErrorText(0), "Client reset by peer");
  EXPECT_EQ(WinsockErrorText(10060), "Connection timed out");
  EXPECT_EQ(WinsockErrorText(10061), "Connection refused");
  EXPECT_EQ(WinsockErrorText(11003), "Nonrecoverable errors: FORMERR, REFUSED, NOTIMP");
  EXPECT_EQ(WinsockErrorText(10035), "Unknown winsock error #10035");
  EXPECT_EQ(WinsockErrorText(-1), "Unknown winsock error #-1");
  EEasySocketClose c(0, nullptr);
  EXPECT_STREQ(c.what(), "Client reset by peer; Because close was called");
  EXPECT_EQ(c.Code, 0);
  EEasySocketWinsock w(10054, nullptr);
  EXPECT_STREQ(w.what(), "Connection reset by peer");
}

// ---------------------------------------------------------------- connecting

// Each component takes the socket library when created and gives it back
// when destroyed; the library stays up for the rest of the program.
TEST(EasyWinsock, EachComponentHoldsTheSocketLibraryWhileItLives) {
  const int before = plat::NetUsers();
  {
    TEasyWinsock a, b;
    EXPECT_EQ(plat::NetUsers(), before + 2);
  }
  EXPECT_EQ(plat::NetUsers(), before);
  const plat::SocketHandle s = plat::TcpSocket();
  EXPECT_NE(s, plat::kInvalidSocket);
  plat::CloseSocket(s);
}

TEST(EasyWinsock, OutgoingConnectionEventOrderAndPeerClose) {
  Peer peer([](plat::SocketHandle s) { SendAll(s, "hello"); });
  Recorder r;
  auto shared = std::make_shared<Shared>();
  r.body = [shared](TEasySocket* s) {
    char buf[16];
    for (;;) {  // until the peer closes: EEasySocketClose ends the thread quietly
      const int n = s->Receive(buf, sizeof buf);
      shared->Data(std::string(buf, size_t(n)));
    }
  };
  TEasyWinsock w;
  w.TimeOut = 2;
  r.Attach(w);
  TEasySocket* s = w.Connect("127.0.0.1", peer.Port());
  ASSERT_NE(s, nullptr);
  s->SetValue(" kind ", "LOGIN");
  ASSERT_TRUE(WaitDisconnects(r, 1));
  EXPECT_EQ(r.log, (Log{"Start", "GetThread", "Connect", "Finish", "Disconnect"}));
  EXPECT_EQ(shared->data, "hello");
  EXPECT_FALSE(r.offMainThread);
  EXPECT_EQ(w.ThreadCount(), 0);
}

TEST(EasyWinsock, ConnectedSocketKnowsItsAddressesAndParameters) {
  Peer peer([](plat::SocketHandle s) { DrainUntilClosed(s, 3000); });
  Recorder r;
  auto shared = std::make_shared<Shared>();
  r.body = [shared](TEasySocket* s) {
    shared->Note(s->GetValue("KIND") + " " + s->RemoteIP() + ":" + std::to_string(s->RemotePort()) + " " +
                 std::to_string(s->TimeOut) + " " + (s->ListenSocket() == s ? "self" : "other") + " " +
                 (s->Active() ? "active" : "idle"));
    s->SendString("bye");
  };
  TEasyWinsock w;
  w.TimeOut = 7;
  r.Attach(w);
  // 2130706433 is 127.0.0.1 as a number in host order.
  TEasySocket* s = w.Connect("2130706433", peer.Port());
  s->SetValue("kind", "LOGIN");
  ASSERT_TRUE(WaitDisconnects(r, 1));
  EXPECT_EQ(shared->note, "LOGIN 127.0.0.1:" + std::to_string(peer.Port()) + " 7 self active");
  EXPECT_TRUE(r.errors.empty());
}

TEST(EasyWinsock, ConnectToClosedPortIsRefused) {
  Recorder r;
  TEasyWinsock w;
  r.Attach(w);
  w.Connect("127.0.0.1", ClosedPort());
  ASSERT_TRUE(testutil::PumpUntil([&] { return r.finishes == 1; }));
  EXPECT_EQ(r.log, (Log{"Start", "Error 10061", "Finish"}));
  EXPECT_EQ(r.errorTexts[0], "Connection refused");
  EXPECT_EQ(w.PendingCount(), 0);
}

TEST(EasyWinsock, EmptyHostAndAddressZeroFailWithoutRaising) {
  Recorder r;
  TEasyWinsock w;
  r.Attach(w);
  int finishedBeforeReturn = -1;
  TEasySocket* s = w.Connect("", 80);
  finishedBeforeReturn = r.finishes;
  ASSERT_NE(s, nullptr);
  s->SetValue("ID", "x");  // the caller may still use what Connect returned
  w.Connect("0", 80);
  ASSERT_TRUE(testutil::PumpUntil([&] { return r.finishes == 2; }));
  EXPECT_EQ(finishedBeforeReturn, 0);
  EXPECT_EQ(r.errors, (std::vector<int>{10049, 10049}));
  EXPECT_EQ(r.getThreads, 0);
}

TEST(EasyWinsock, NamesAreLookedUpOffTheMainThread) {
  Peer peer([](plat::SocketHandle s) {});
  Recorder r;
  r.body = [](TEasySocket*) {};
  TEasyWinsock w;
  r.Attach(w);
  std::atomic<int> lookups{0};
  std::atomic<bool> onMain{false};
  w.SetResolverForTesting([&](const std::string& host, uint32_t* addr, int* error) {
    ++lookups;
    if (plat::MainLoop::IsMainThread()) onMain = true;
    if (host == "peer.test") {
      *addr = kLoopback;
      return true;
    }
    *error = plat::kWsaHOST_NOT_FOUND;
    return false;
  });
  w.Connect("peer.test", peer.Port());
  ASSERT_TRUE(WaitDisconnects(r, 1));
  EXPECT_EQ(r.log, (Log{"Start", "GetThread", "Connect", "Finish", "Disconnect"}));
  r.log.clear();
  w.Connect("nowhere.test", 1);
  ASSERT_TRUE(testutil::PumpUntil([&] { return r.finishes == 2; }));
  EXPECT_EQ(r.log, (Log{"Error 11001", "Finish"}));
  EXPECT_EQ(r.errorTexts.back(), "Host not found");
  // A dotted address whose last byte is 128 or more takes the lookup path.
  w.Connect("127.0.0.200", 1);
  ASSERT_TRUE(testutil::PumpUntil([&] { return r.finishes == 3; }));
  EXPECT_EQ(lookups.load(), 3);
  EXPECT_FALSE(onMain.load());
  // A lookup the system has no thread for fails as events too, once
  // Connect has returned, and leaves nothing pending.
  TEasyWinsock::SetLookupStartForTesting([] { return false; });
  w.Connect("peer.test", peer.Port());
  TEasyWinsock::SetLookupStartForTesting(nullptr);
  EXPECT_EQ(r.finishes, 3);
  ASSERT_TRUE(testutil::PumpUntil([&] { return r.finishes == 4; }));
  EXPECT_EQ(r.errors.back(), 10055);
  EXPECT_EQ(w.PendingCount(), 0);
  EXPECT_EQ(lookups.load(), 3);
}

TEST(EasyWinsock, CancelOfPendingConnectFinishesOnce) {
  Peer peer([](plat::SocketHandle s) {}, 1);
  Recorder r;
  r.body = [](TEasySocket*) {};
  TEasyWinsock w;
  r.Attach(w);
  // Connect issued, completion not yet seen: the main loop has not run.
  TEasySocket* s = w.Connect("127.0.0.1", peer.Port());
  EXPECT_EQ(w.PendingCount(), 1);
  w.Cancel(s);
  EXPECT_EQ(w.PendingCount(), 0);
  EXPECT_EQ(r.log, (Log{"Start", "Finish"}));
  testutil::PumpUntil([] { return false; }, 300);  // a late notification changes nothing
  EXPECT_EQ(r.finishes, 1);
  EXPECT_EQ(r.getThreads, 0);
}

TEST(EasyWinsock, CancelOfPendingLookupFinishesOnce) {
  Recorder r;
  TEasyWinsock w;
  r.Attach(w);
  auto release = std::make_shared<plat::Event>();
  w.SetResolverForTesting([release](const std::string&, uint32_t* addr, int*) {
    release->Wait(5000);
    *addr = kLoopback;
    return true;
  });
  TEasySocket* s = w.Connect("slow.test", 1);
  w.Cancel(s);
  EXPECT_EQ(r.log, (Log{"Finish"}));
  release->Set();
  testutil::PumpUntil([] { return false; }, 300);
  EXPECT_EQ(r.finishes, 1);
  // A lookup still running when the socket is closed is dropped on arrival.
  auto release2 = std::make_shared<plat::Event>();
  w.SetResolverForTesting([release2](const std::string&, uint32_t* addr, int*) {
    release2->Wait(5000);
    *addr = kLoopback;
    return true;
  });
  TEasySocket* s2 = w.Connect("slow.test", 1);
  s2->Close();
  release2->Set();
  ASSERT_TRUE(testutil::PumpUntil([&] { return r.finishes == 2; }));
  EXPECT_EQ(r.log, (Log{"Finish", "Finish"}));
}

// ---------------------------------------------------------------- accepting

TEST(EasyWinsock, IncomingConnectionEventOrder) {
  Recorder r;
  auto shared = std::make_shared<Shared>();
  TEasySocket* listener = nullptr;
  r.body = [shared, &listener](TEasySocket* s) {
    std::string line;
    s->ReadLine(line);
    shared->Line(line);
    if (s->ListenSocket() == listener) shared->Note("accepted by the listener");
    s->SendString("ok\r\n");
  };
  TEasyWinsock w;
  r.Attach(w);
  listener = w.Listen(0, "127.0.0.1");
  ASSERT_NE(listener, nullptr);
  ASSERT_GT(listener->LocalPort(), 0);
  std::string reply;
  std::thread client([&] {
    const plat::SocketHandle c = plat::TcpSocket();
    if (plat::ConnectSocket(c, kLoopback, uint16_t(listener->LocalPort()))) {
      SendAll(c, "GET\r\n");
      reply = DrainUntilClosed(c, 3000);
    }
    plat::CloseSocket(c);
  });
  ASSERT_TRUE(WaitDisconnects(r, 1));
  client.join();
  EXPECT_EQ(r.log, (Log{"Start", "Accept", "GetThread", "Connect", "Finish", "Disconnect"}));
  EXPECT_EQ(shared->lines, (std::vector<std::string>{"GET"}));
  EXPECT_EQ(reply, "ok\r\n");
  EXPECT_EQ(shared->note, "accepted by the listener");
}

TEST(EasyWinsock, RefusedAndUnservedConnectionsAreClosedAndFreed) {
  Recorder r;
  TEasyWinsock w;
  r.Attach(w);
  TEasySocket* listener = w.Listen(0, "127.0.0.1");
  ASSERT_NE(listener, nullptr);
  auto dial = [&] {
    std::string got = "unset";
    std::thread client([&] {
      const plat::SocketHandle c = plat::TcpSocket();
      if (plat::ConnectSocket(c, kLoopback, uint16_t(listener->LocalPort()))) got = DrainUntilClosed(c, 3000);
      plat::CloseSocket(c);
    });
    EXPECT_TRUE(WaitDisconnects(r, r.disconnects + 1));
    client.join();
    return got;
  };
  r.acceptAnswer = false;
  EXPECT_EQ(dial(), "");  // the peer sees the connection closed
  EXPECT_EQ(r.log, (Log{"Start", "Accept", "Disconnect", "Finish"}));
  r.log.clear();
  r.acceptAnswer = true;  // accepted, but OnGetThread offers no thread
  EXPECT_EQ(dial(), "");
  EXPECT_EQ(r.log, (Log{"Start", "Accept", "GetThread", "Disconnect", "Finish"}));
  r.log.clear();
  // A thread the system cannot start: the connection is closed all the same.
  r.body = [](TEasySocket* s) { s->SendString("served"); };
  w.SetThreadStartForTesting([](TEasyWinsockThread*) { return false; });
  EXPECT_EQ(dial(), "");
  EXPECT_EQ(r.log, (Log{"Start", "Accept", "GetThread", "Connect", "Finish", "Disconnect"}));
  EXPECT_EQ(w.ThreadCount(), 0);
}

TEST(EasyWinsock, ListenFailuresAreReportedWithoutSocket) {
  Recorder r;
  TEasyWinsock w;
  r.Attach(w);
  TEasySocket* first = w.Listen(0, "127.0.0.1");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(w.Listen(first->LocalPort(), "127.0.0.1"), nullptr);
  EXPECT_EQ(w.Listen(0, "not an address"), nullptr);
  EXPECT_EQ(r.errors, (std::vector<int>{10048, 10049}));
  EXPECT_EQ(w.ListeningCount(), 1);
  w.CloseListener(first);
  EXPECT_EQ(w.ListeningCount(), 0);
  w.CloseListener(first);  // no longer listed: ignored
}

// ---------------------------------------------------------------- reading

TEST(EasyWinsock, ReadLineFramingAndTimeOut) {
  Peer peer([](plat::SocketHandle s) {
    SendAll(s, "abc\r\n\r\nxyz");
    DrainUntilClosed(s, 5000);  // then silent until we hang up
  });
  Recorder r;
  auto shared = std::make_shared<Shared>();
  r.body = [shared](TEasySocket* s) {
    std::string line;
    for (int i = 0; i < 3; ++i) {
      s->ReadLine(line);  // the third waits for a line feed that never comes
      shared->Line(line);
    }
  };
  TEasyWinsock w;
  w.TimeOut = 1;
  r.Attach(w);
  w.Connect("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitDisconnects(r, 1));
  EXPECT_EQ(shared->lines, (std::vector<std::string>{"abc", ""}));
  EXPECT_EQ(r.errors, (std::vector<int>{10060}));
  EXPECT_EQ(r.errorTexts, (std::vector<std::string>{"Connection Timed out."}));
  EXPECT_EQ(r.log, (Log{"Start", "GetThread", "Connect", "Error 10060", "Finish", "Disconnect"}));
}

TEST(EasyWinsock, HeaderBlockThenBinaryDataEachByteOnce) {
  std::string binary;
  for (int i = 0; i < 30000; ++i) binary += char((i * 7 + i / 256) & 0xFF);
  const std::string header = "\nHTTP/1.0 200 OK\r\nLength: 30000 \r\n\r\n";
  Peer peer([&](plat::SocketHandle s) { SendAll(s, header + binary); });
  Recorder r;
  auto shared = std::make_shared<Shared>();
  r.body = [shared](TEasySocket* s) {
    std::string line;
    do {
      s->ReadLine(line);
      shared->Line(line);
    } while (!line.empty());
    char buf[1000];
    try {
      for (;;) {
        const int n = s->Receive(buf, sizeof buf);
        shared->Data(std::string(buf, size_t(n)));
      }
    } catch (const EEasySocketClose&) {
      shared->Note(std::to_string(s->BytesReceived()));
      throw;
    }
  };
  TEasyWinsock w;
  w.TimeOut = 2;
  r.Attach(w);
  w.Connect("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitDisconnects(r, 1));
  // A bare line feed before the first line is skipped.
  EXPECT_EQ(shared->lines, (std::vector<std::string>{"HTTP/1.0 200 OK", "Length: 30000", ""}));
  EXPECT_TRUE(shared->data == binary) << "got " << shared->data.size() << " bytes";
  EXPECT_EQ(shared->note, std::to_string(header.size() + binary.size()));
  EXPECT_TRUE(r.errors.empty());
}

TEST(EasyWinsock, DataAvailableKeepsBytesThatCameBeforeTheClose) {
  auto peerClosed = std::make_shared<plat::Event>();
  Peer peer([peerClosed](plat::SocketHandle s) {
    SendAll(s, "line1\nrest");
    plat::ShutdownSocket(s);
    peerClosed->Set();
  });
  Recorder r;
  auto shared = std::make_shared<Shared>();
  r.body = [shared, peerClosed](TEasySocket* s) {
    peerClosed->Wait(5000);
    std::string line;
    const bool more = s->ReadLine(line);
    shared->Line(line + (more ? " +" : " -"));
    shared->Line(std::to_string(s->DataAvailable()));
    char buf[16];
    const int n = s->Receive(buf, sizeof buf);
    shared->Line(std::string(buf, size_t(n)));
    try {
      s->DataAvailable();
      shared->Line("no close seen");
    } catch (const EEasySocketClose& e) {
      shared->Line(e.what());
    }
  };
  TEasyWinsock w;
  w.TimeOut = 2;
  r.Attach(w);
  w.Connect("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitDisconnects(r, 1));
  EXPECT_EQ(shared->lines, (std::vector<std::string>{"line1 +", "4", "rest",
                                                     "Client reset by peer; Because close was called"}));
  EXPECT_TRUE(r.errors.empty());
}

TEST(EasyWinsock, ReceiveBufferReportsProgressPerPiece) {
  auto halfway = std::make_shared<plat::Event>();
  Peer peer([halfway](plat::SocketHandle s) {
    SendAll(s, "a");
    if (halfway->Wait(5000)) SendAll(s, "b");
    DrainUntilClosed(s, 3000);
  });
  Recorder r;
  auto shared = std::make_shared<Shared>();
  r.body = [shared](TEasySocket* s) {
    char buf[2];
    const int n = s->ReceiveBuffer(buf, 2, true);
    shared->Data(std::string(buf, size_t(n)));
  };
  TEasyWinsock w;
  w.TimeOut = 2;
  r.Attach(w);
  w.OnProgress = [&](TEasyWinsock*, TEasySocket*, int16_t percent) {
    r.progress.push_back(percent);
    if (percent == 50) halfway->Set();
  };
  w.Connect("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitDisconnects(r, 1));
  EXPECT_EQ(shared->data, "ab");
  EXPECT_EQ(r.progress, (std::vector<int>{0, 50}));
}

TEST(EasyWinsock, EndlessLineEndsTheConnectionWithBoundedMemory) {
  Peer peer([](plat::SocketHandle s) {
    const std::string chunk(64 * 1024, 'x');
    for (int sent = 0; sent < 10 * 1024 * 1024; sent += int(chunk.size())) {
      const int n = plat::SendSocket(s, chunk.data(), int(chunk.size()));
      if (n <= 0) break;  // the other side gave up
    }
  });
  Recorder r;
  r.body = [](TEasySocket* s) {
    std::string line;
    s->ReadLine(line);
  };
  uint64_t received = 0;
  r.onFinish = [&](TEasySocket* s) { received = s->BytesReceived(); };
  TEasyWinsock w;
  w.TimeOut = 2;
  r.Attach(w);
  w.Connect("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitDisconnects(r, 1, 20000));
  EXPECT_EQ(r.errors, (std::vector<int>{10040}));
  EXPECT_LE(received, TEasySocket::kMaxLineLength + 2 * TEasySocket::kBufferSize);
}

TEST(EasyWinsock, RatesAreAveragesOverAMonotonicClock) {
  // The monotonic clock jumps 4 s ahead once the first piece is in.
  std::atomic<int64_t> offset{0};
  plat::SetMonotonicForTesting(nullptr);
  const int64_t base = plat::MonotonicMs();
  plat::SetMonotonicForTesting([&offset, base] { return base + offset.load(); });
  auto firstIn = std::make_shared<plat::Event>();
  auto clockMoved = std::make_shared<plat::Event>();
  Peer peer([clockMoved](plat::SocketHandle s) {
    SendAll(s, std::string(1000, 'a'));
    if (clockMoved->Wait(5000)) SendAll(s, "b");
    DrainUntilClosed(s, 3000);
  });
  Recorder r;
  auto shared = std::make_shared<Shared>();
  r.body = [shared, firstIn, clockMoved](TEasySocket* s) {
    std::string buf(1000, '\0');
    s->ReceiveBuffer(buf.data(), 1000, false);
    while (s->BytesReceived() < 1000) s->Receive(buf.data(), 1000);
    firstIn->Set();
    clockMoved->Wait(5000);
    s->Receive(buf.data(), 1);  // rates are taken before each receive
    s->SendString(std::string(2000, 'c'));
    shared->Note(std::to_string(s->ReceiveRate()) + " " + std::to_string(s->SendRate()) + " " +
                 std::to_string(s->BytesReceived()) + " " + std::to_string(s->BytesSent()));
  };
  TEasyWinsock w;
  w.TimeOut = 5;
  r.Attach(w);
  w.Connect("127.0.0.1", peer.Port());
  const bool in = testutil::PumpUntil([&] { return firstIn->IsSet(); });
  offset.store(4000);
  clockMoved->Set();
  const bool done = in && WaitDisconnects(r, 1);
  plat::SetMonotonicForTesting(nullptr);
  ASSERT_TRUE(done);
  EXPECT_EQ(shared->note, "250 500 1001 2000");
}

TEST(EasyWinsock, SendingToAVanishedPeerEndsTheThreadWithoutSignal) {
  Peer peer([](plat::SocketHandle s) {});  // closes at once
  Recorder r;
  r.body = [](TEasySocket* s) {
    const std::string chunk(64 * 1024, 'z');
    for (int i = 0; i < 200; ++i) s->SendString(chunk);
  };
  TEasyWinsock w;
  w.TimeOut = 2;
  r.Attach(w);
  w.Connect("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitDisconnects(r, 1, 10000));
  // Either a reset/abort error or a quiet close: never a killed process.
  ASSERT_LE(r.errors.size(), 1u);
  if (!r.errors.empty()) {
    EXPECT_TRUE(r.errors[0] == 10053 || r.errors[0] == 10054 || r.errors[0] == 10058) << r.errors[0];
  }
}

// ---------------------------------------------------------------- stopping

// Connections to a silent peer whose threads wait in a receive without
// time-out until they are stopped.
struct BlockedConnections {
  explicit BlockedConnections(int n) : peer([](plat::SocketHandle s) { DrainUntilClosed(s, 10000); }, n) {
    r.body = [this](TEasySocket* s) {
      ++blocked;
      char c;
      s->Receive(&c, 1);
    };
    r.Attach(w);
    w.OnConnect = [this](TEasyWinsock*, TEasySocket* s) { sockets.push_back(s); };
    for (int i = 0; i < n; ++i) w.Connect("127.0.0.1", peer.Port());
    ready = testutil::PumpUntil([this, n] { return blocked.load() == n; });
  }
  Peer peer;
  Recorder r;
  std::atomic<int> blocked{0};
  std::vector<TEasySocket*> sockets;
  TEasyWinsock w;
  bool ready = false;
};

TEST(EasyWinsock, CloseAllStopsBlockedThreads) {
  BlockedConnections c(5);
  ASSERT_TRUE(c.ready);
  EXPECT_EQ(c.w.ThreadCount(), 5);
  c.w.CloseAll();
  EXPECT_EQ(c.w.ThreadCount(), 0);
  EXPECT_EQ(c.r.finishes, 5);
  EXPECT_EQ(c.r.disconnects, 5);
  EXPECT_TRUE(c.r.errors.empty());  // a stop is a quiet end
}

TEST(EasyWinsock, CloseFromManyThreadsAtOnce) {
  BlockedConnections c(3);
  ASSERT_TRUE(c.ready);
  std::vector<std::thread> closers;
  for (int t = 0; t < 4; ++t)
    closers.emplace_back([&c] {
      for (TEasySocket* s : c.sockets)
        for (int k = 0; k < 3; ++k) s->Close();
    });
  for (auto& t : closers) t.join();
  ASSERT_TRUE(WaitDisconnects(c.r, 3));
  EXPECT_TRUE(c.r.errors.empty());
  EXPECT_EQ(c.w.ThreadCount(), 0);
}

TEST(EasyWinsock, CancelStopsOneServedConnection) {
  BlockedConnections c(2);
  ASSERT_TRUE(c.ready);
  c.w.Cancel(c.sockets[0]);
  ASSERT_TRUE(WaitDisconnects(c.r, 1));
  EXPECT_EQ(c.w.ThreadCount(), 1);
  c.w.CloseAll();
  EXPECT_EQ(c.r.disconnects, 2);
}

// A send that waits for room at a peer that has stopped reading is no call
// a Cancel cannot end (a shutdown alone does not end it on every system):
// the thread ends, and CloseAll after it has nothing left to wait for.
TEST(EasyWinsock, CancelEndsASendToAPeerThatNeverReads) {
  std::atomic<bool> release{false};
  Peer peer([&release](plat::SocketHandle) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  Recorder r;
  r.body = [](TEasySocket* s) {
    const std::string chunk(64 * 1024, 'z');
    for (;;) s->SendString(chunk);
  };
  TEasyWinsock w;
  testutil::SetOnExit letGo(release);  // the peer goes before the component
  r.Attach(w);
  TEasySocket* served = nullptr;
  w.OnConnect = [&served](TEasyWinsock*, TEasySocket* s) { served = s; };
  w.Connect("127.0.0.1", peer.Port());
  // Until the buffers between the two are full.
  ASSERT_TRUE(testutil::PumpUntilStill([&] { return served ? served->BytesSent() : 0; },
                                       [&] { return r.disconnects > 0; }));
  w.Cancel(served);
  EXPECT_TRUE(WaitDisconnects(r, 1, 10000));
  EXPECT_TRUE(r.errors.empty());  // a stop is a quiet end
}

TEST(EasyWinsock, ThreadEndingsMapToEvents) {
  Peer peer([](plat::SocketHandle s) { DrainUntilClosed(s, 5000); }, 3);
  Recorder r;
  std::atomic<int> which{0};
  r.body = [&which](TEasySocket*) {
    switch (which++) {
      case 0:
        throw EStreamWriteError("disk full");
      case 1:
        throw EEasySocketWinsock(10054, nullptr);
      default:
        throw std::runtime_error("unexpected");
    }
  };
  TEasyWinsock w;
  w.TimeOut = 2;
  r.Attach(w);
  for (int i = 0; i < 3; ++i) {
    w.Connect("127.0.0.1", peer.Port());
    ASSERT_TRUE(WaitDisconnects(r, i + 1));
  }
  EXPECT_EQ(r.log, (Log{"Start", "GetThread", "Connect", "StreamWrite", "Finish", "Disconnect",  //
                        "Start", "GetThread", "Connect", "Error 10054", "Finish", "Disconnect",   //
                        "Start", "GetThread", "Connect", "Finish", "Disconnect"}));
}

TEST(EasyWinsock, DestroyingTheComponentStopsEverything) {
  Peer peer([](plat::SocketHandle s) { DrainUntilClosed(s, 10000); }, 2);
  Recorder r;
  std::atomic<int> blocked{0};
  r.body = [&blocked](TEasySocket* s) {
    ++blocked;
    char c;
    s->Receive(&c, 1);
  };
  {
    TEasyWinsock w;
    r.Attach(w);
    w.Listen(0, "127.0.0.1");
    w.Connect("127.0.0.1", peer.Port());
    w.Connect("127.0.0.1", peer.Port());
    ASSERT_TRUE(testutil::PumpUntil([&] { return blocked.load() == 2; }));
    w.SetResolverForTesting([](const std::string&, uint32_t* addr, int*) {
      *addr = kLoopback;
      return true;
    });
    w.Connect("pending.test", peer.Port());
  }
  EXPECT_EQ(r.finishes, 3);
  testutil::PumpUntil([] { return false; }, 200);  // the lookup's late answer goes nowhere
  EXPECT_EQ(r.finishes, 3);
}

}  // namespace
