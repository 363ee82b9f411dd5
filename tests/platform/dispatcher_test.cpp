// test-label: concurrency
#include "platform/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "tests/platform/loopback.h"
#include "tests/support/test_util.h"

namespace {

using looptest::kLoopback;

// Calls from several threads, posted and sent mixed, reach the main thread
// in the order each thread made them.
TEST(Dispatcher, CallsFromManyThreadsArriveInOrderPerThread) {
  constexpr int kThreads = 8, kCalls = 200;
  plat::MessageTarget target;
  std::vector<std::vector<int>> seen(kThreads);  // main thread only
  std::atomic<int> offMain{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        auto record = [&, t, i] {
          if (!plat::MainLoop::IsMainThread()) ++offMain;
          seen[size_t(t)].push_back(i);
        };
        if (i % 3 == 0)
          target.Send(record);
        else
          target.Post(record);
      }
    });
  const bool done = testutil::PumpUntil([&] {
    for (auto& s : seen)
      if (s.size() < kCalls) return false;
    return true;
  }, 20000);
  for (auto& th : threads) th.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(offMain.load(), 0);
  for (auto& s : seen) {
    ASSERT_EQ(s.size(), size_t(kCalls));
    for (int i = 0; i < kCalls; ++i) EXPECT_EQ(s[size_t(i)], i);
  }
}

TEST(Dispatcher, SendReturnsTheCallsExceptionToTheWorker) {
  plat::MessageTarget target;
  std::atomic<bool> finished{false};
  std::string caught;
  bool ranAfter = false;
  std::thread worker([&] {
    try {
      target.Send([] { throw std::invalid_argument("no such file"); });
    } catch (const std::invalid_argument& e) {
      caught = e.what();
    }
    // The loop survives the exception and serves the next call.
    ranAfter = target.Send([] {});
    finished = true;
  });
  EXPECT_TRUE(testutil::PumpUntil([&] { return finished.load(); }));
  worker.join();
  EXPECT_EQ(caught, "no such file");
  EXPECT_TRUE(ranAfter);
}

TEST(Dispatcher, SendOnTheMainThreadRunsDirectly) {
  plat::MessageTarget target;
  bool ran = false;
  EXPECT_TRUE(target.Send([&] { ran = true; }));
  EXPECT_TRUE(ran);
  EXPECT_THROW(target.Send([] { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST(Dispatcher, PostedCallsRunInProcessMessages) {
  plat::MessageTarget target;
  int order = 0, first = 0, second = 0;
  target.Post([&] { first = ++order; });
  target.Post([&] { second = ++order; });
  plat::MainLoop::ProcessMessages();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
}

// ProcessMessages runs what was pending when it was called: a call that
// posts itself again runs once per call, and never keeps it from returning.
TEST(Dispatcher, ProcessMessagesRunsOnlyWhatWasPending) {
  auto target = std::make_unique<plat::MessageTarget>();
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    target->Post(again);
  };
  target->Post(again);
  plat::MainLoop::ProcessMessages();
  EXPECT_EQ(runs, 1);
  plat::MainLoop::ProcessMessages();
  EXPECT_EQ(runs, 2);
  target.reset();  // drops the last repost
}

TEST(Dispatcher, EscapingExceptionInAPostDoesNotStopTheLoop) {
  plat::MessageTarget target;
  bool later = false;
  target.Post([] { throw std::runtime_error("posted failure"); });
  target.Post([&] { later = true; });
  EXPECT_TRUE(testutil::PumpUntil([&] { return later; }));
}

TEST(Dispatcher, TimerFiresRepeatedlyAndStops) {
  plat::MessageTarget target;
  int ticks = 0;
  target.SetTimer(7, 20, [&] {
    EXPECT_TRUE(plat::MainLoop::IsMainThread());
    if (++ticks == 3) target.KillTimer(7);
  });
  ASSERT_TRUE(testutil::PumpUntil([&] { return ticks == 3; }));
  testutil::PumpUntil([] { return false; }, 150);
  EXPECT_EQ(ticks, 3);
}

TEST(Dispatcher, TimerReplacedByTheSameId) {
  plat::MessageTarget target;
  int a = 0, b = 0;
  target.SetTimer(1, 20, [&] { ++a; });
  target.SetTimer(1, 20, [&] { ++b; });
  ASSERT_TRUE(testutil::PumpUntil([&] { return b >= 2; }));
  EXPECT_EQ(a, 0);
  target.KillTimer(1);
}

TEST(Dispatcher, DestroyingATargetDropsItsCallsAndTimers) {
  auto target = std::make_unique<plat::MessageTarget>();
  plat::MessageTarget other;
  bool posted = false, ticked = false, otherRan = false;
  target->Post([&] { posted = true; });
  target->SetTimer(1, 10, [&] { ticked = true; });
  other.Post([&] { otherRan = true; });
  target.reset();
  testutil::PumpUntil([&] { return false; }, 100);
  EXPECT_FALSE(posted);
  EXPECT_FALSE(ticked);
  EXPECT_TRUE(otherRan);
}

// A worker blocked in Send to a target that the main thread destroys gets
// false, and its call never runs.
TEST(Dispatcher, SendToADestroyedTargetReturnsFalse) {
  auto target = std::make_unique<plat::MessageTarget>();
  plat::Event sending;
  std::atomic<int> result{-1};
  std::atomic<bool> ran{false};
  plat::MessageTarget* raw = target.get();
  std::thread worker([&] {
    sending.Set();
    result = raw->Send([&] { ran = true; }) ? 1 : 0;
  });
  ASSERT_TRUE(sending.Wait(5000));
  // The main thread does not pump meanwhile, so the call stays queued.
  plat::Thread::Sleep(300);
  target.reset();
  worker.join();
  EXPECT_EQ(result.load(), 0);
  testutil::PumpUntil([] { return false; }, 50);
  EXPECT_FALSE(ran.load());
}

TEST(Dispatcher, RunEndsOnQuit) {
  plat::MessageTarget target;
  int ran = 0;
  target.Post([&] { ++ran; });
  target.SetTimer(1, 10, [&] {
    target.KillTimer(1);
    plat::MainLoop::Quit();
  });
  plat::MainLoop::Run();
  EXPECT_EQ(ran, 1);
}

// A quit asked for while some other wait pumps the loop still ends Run.
TEST(Dispatcher, QuitIsKeptForRunWhilePumping) {
  plat::MessageTarget target;
  plat::MainLoop::Quit();
  testutil::PumpUntil([] { return false; }, 50);
  bool rescued = false;
  target.SetTimer(1, 3000, [&] {  // only when Run forgot the quit
    rescued = true;
    plat::MainLoop::Quit();
  });
  plat::MainLoop::Run();
  target.KillTimer(1);
  EXPECT_FALSE(rescued);
}

// ---------------------------------------------------------------- sockets

using looptest::Listen;
using looptest::Socket;

class DispatcherSockets : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plat::NetStartup()); }
};

TEST_F(DispatcherSockets, ConnectAcceptReadAndCloseOnLoopback) {
  plat::MessageTarget target;
  Socket listener, client, accepted;
  const uint16_t port = Listen(listener);
  int connectError = -1, connects = 0, accepts = 0, closeError = -1;
  std::string received;
  target.WatchSocket(listener.h, plat::kSocketAccept, [&](plat::SocketHandle s, unsigned ev, int err) {
    EXPECT_EQ(ev, unsigned(plat::kSocketAccept));
    EXPECT_EQ(err, 0);
    ++accepts;
    uint32_t a = 0;
    uint16_t p = 0;
    accepted.h = plat::AcceptSocket(s, &a, &p);
    EXPECT_EQ(a, kLoopback);
  });
  client.h = plat::TcpSocket();
  ASSERT_NE(client.h, plat::kInvalidSocket);
  target.WatchSocket(client.h, plat::kSocketConnect | plat::kSocketRead | plat::kSocketClose,
                     [&](plat::SocketHandle s, unsigned ev, int err) {
                       if (ev == plat::kSocketConnect) {
                         ++connects;
                         connectError = err;
                       } else if (ev == plat::kSocketRead) {
                         char buf[64];
                         const int n = plat::RecvSocket(s, buf, sizeof buf);
                         if (n > 0) received.append(buf, size_t(n));
                       } else if (ev == plat::kSocketClose) {
                         closeError = err;
                       }
                     });
  if (!plat::ConnectSocket(client.h, kLoopback, port)) {
    EXPECT_EQ(plat::LastNetError(), plat::kWsaEWOULDBLOCK);
  }
  ASSERT_TRUE(testutil::PumpUntil([&] { return connects == 1 && accepts == 1; }));
  EXPECT_EQ(connectError, 0);
  ASSERT_NE(accepted.h, plat::kInvalidSocket);

  ASSERT_EQ(plat::SendSocket(accepted.h, "hello", 5), 5);
  ASSERT_TRUE(testutil::PumpUntil([&] { return received == "hello"; }));
  plat::CloseSocket(accepted.h);
  accepted.h = plat::kInvalidSocket;
  ASSERT_TRUE(testutil::PumpUntil([&] { return closeError >= 0; }));
  EXPECT_EQ(closeError, 0);
  EXPECT_EQ(connects, 1);  // a connect notification comes once
  target.UnwatchSocket(client.h);
  target.UnwatchSocket(listener.h);
}

TEST_F(DispatcherSockets, RefusedConnectIsReportedWithItsNumber) {
  plat::MessageTarget target;
  const uint16_t port = looptest::DeadPort();
  Socket client;
  client.h = plat::TcpSocket();
  int error = -1;
  target.WatchSocket(client.h, plat::kSocketConnect, [&](plat::SocketHandle, unsigned ev, int err) {
    if (ev == plat::kSocketConnect) error = err;
  });
  if (!plat::ConnectSocket(client.h, kLoopback, port)) {
    ASSERT_EQ(plat::LastNetError(), plat::kWsaEWOULDBLOCK);
  }
  ASSERT_TRUE(testutil::PumpUntil([&] { return error >= 0; }, 10000));
  EXPECT_EQ(error, plat::kWsaECONNREFUSED);
}

// Notifications never reach a destroyed target.
TEST_F(DispatcherSockets, DestroyedTargetGetsNoNotifications) {
  Socket listener, client;
  const uint16_t port = Listen(listener);
  bool called = false;
  {
    plat::MessageTarget target;
    target.WatchSocket(listener.h, plat::kSocketAccept, [&](plat::SocketHandle, unsigned, int) { called = true; });
  }
  client.h = plat::TcpSocket();
  plat::ConnectSocket(client.h, kLoopback, port);
  testutil::PumpUntil([] { return false; }, 150);
  EXPECT_FALSE(called);
}

}  // namespace
