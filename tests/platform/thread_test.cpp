// test-label: concurrency
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "platform/dispatcher.h"
#include "platform/sync.h"
#include "tests/support/test_util.h"

namespace {

// A thread whose body is a lambda given to it.
class LambdaThread : public plat::Thread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread&)> body)
      : plat::Thread(true), body_(std::move(body)) {}
  ~LambdaThread() override {
    if (destroyed_) destroyed_->store(true);
  }
  using plat::Thread::Synchronize;
  std::atomic<bool>* destroyed_ = nullptr;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

TEST(Thread, CreatedSuspendedRunsOnlyAfterResume) {
  std::atomic<bool> ran{false};
  LambdaThread t([&](LambdaThread&) { ran = true; });
  EXPECT_TRUE(t.Suspended());
  plat::Thread::Sleep(30);
  EXPECT_FALSE(ran.load());
  t.Resume();
  t.Resume();  // again: no effect
  EXPECT_FALSE(t.Suspended());
  t.WaitFor();
  EXPECT_TRUE(ran.load());
  EXPECT_TRUE(t.Finished());
  t.WaitFor();  // waiting twice is harmless
}

TEST(Thread, WaitForOnANeverStartedThreadReturns) {
  LambdaThread t([](LambdaThread&) {});
  t.WaitFor();
  EXPECT_FALSE(t.Finished());
}

TEST(Thread, TerminateFlagEndsALoopingBody) {
  std::atomic<int> rounds{0};
  LambdaThread t([&](LambdaThread& self) {
    while (!self.Terminated()) {
      ++rounds;
      plat::Thread::Sleep(1);
    }
  });
  t.Resume();
  ASSERT_TRUE(testutil::PumpUntil([&] { return rounds.load() > 0; }));
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Terminated());
}

// The main thread waits while the body makes synchronised calls: WaitFor
// must keep serving them or both threads would wait forever.
TEST(Thread, WaitForOnMainThreadServesSynchronisedCalls) {
  int calls = 0;  // touched on the main thread only
  std::atomic<bool> allOnMain{true};
  LambdaThread t([&](LambdaThread& self) {
    for (int i = 0; i < 50; ++i)
      self.Synchronize([&] {
        if (!plat::MainLoop::IsMainThread()) allOnMain = false;
        ++calls;
      });
  });
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(calls, 50);
  EXPECT_TRUE(allOnMain.load());
}

TEST(Thread, SynchronizeRaisesTheCallsExceptionInTheWorker) {
  std::string caught;
  LambdaThread t([&](LambdaThread& self) {
    try {
      self.Synchronize([] { throw std::runtime_error("refused on main"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  });
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(caught, "refused on main");
  EXPECT_EQ(t.FatalMessage(), "");
}

TEST(Thread, EscapedExceptionsAreKeptNotFatal) {
  LambdaThread a([](LambdaThread&) { throw std::runtime_error("body failed"); });
  LambdaThread b([](LambdaThread&) { throw 42; });
  a.Resume();
  b.Resume();
  a.WaitFor();
  b.WaitFor();
  EXPECT_EQ(a.FatalMessage(), "body failed");
  EXPECT_FALSE(b.FatalMessage().empty());
  EXPECT_TRUE(a.Finished());
  EXPECT_TRUE(b.Finished());
}

TEST(Thread, FreeOnTerminateDeletesAfterOnTerminate) {
  std::atomic<bool> destroyed{false};
  bool terminateOnMain = false;
  bool destroyedBeforeTerminate = true;
  auto* t = new LambdaThread([](LambdaThread&) { plat::Thread::Sleep(5); });
  t->destroyed_ = &destroyed;
  t->SetFreeOnTerminate(true);
  t->OnTerminate = [&] {
    terminateOnMain = plat::MainLoop::IsMainThread();
    destroyedBeforeTerminate = destroyed.load();
  };
  t->Resume();
  ASSERT_TRUE(testutil::PumpUntil([&] { return destroyed.load(); }));
  EXPECT_TRUE(terminateOnMain);
  EXPECT_FALSE(destroyedBeforeTerminate);
}

TEST(Thread, FreeOnTerminateWithAFailingBodyAndHandler) {
  std::atomic<bool> destroyed{false};
  auto* t = new LambdaThread([](LambdaThread&) { throw std::logic_error("x"); });
  t->destroyed_ = &destroyed;
  t->SetFreeOnTerminate(true);
  t->OnTerminate = [] { throw std::runtime_error("handler failed too"); };
  t->Resume();
  EXPECT_TRUE(testutil::PumpUntil([&] { return destroyed.load(); }));
}

// Many self-freeing threads that synchronise while ending: nothing lost,
// nothing touched after deletion.
TEST(Thread, ManySelfFreeingThreads) {
  constexpr int kThreads = 16;
  std::atomic<int> destroyed{0};
  int synced = 0;
  std::vector<std::atomic<bool>> flags(kThreads);
  for (int i = 0; i < kThreads; ++i) {
    auto* t = new LambdaThread([&](LambdaThread& self) { self.Synchronize([&] { ++synced; }); });
    t->destroyed_ = &flags[size_t(i)];
    t->SetFreeOnTerminate(true);
    t->OnTerminate = [&] { ++destroyed; };
    t->Resume();
  }
  ASSERT_TRUE(testutil::PumpUntil([&] {
    for (auto& f : flags)
      if (!f.load()) return false;
    return true;
  }));
  EXPECT_EQ(synced, kThreads);
  EXPECT_EQ(destroyed.load(), kThreads);
}

TEST(Thread, CurrentThreadIdIsStablePerThreadAndDistinct) {
  const uint64_t mine = plat::CurrentThreadId();
  EXPECT_EQ(mine, plat::CurrentThreadId());
  std::atomic<uint64_t> other{0};
  LambdaThread t([&](LambdaThread&) { other = plat::CurrentThreadId(); });
  t.Resume();
  t.WaitFor();
  EXPECT_NE(other.load(), 0u);
  EXPECT_NE(other.load(), mine);
}

// Starts n threads that wait for e at most ms, sets e once and tells how
// many got through.
int WaitersPassing(plat::Event& e, int n, int ms) {
  std::atomic<int> passed{0};
  std::vector<std::unique_ptr<LambdaThread>> waiters;
  for (int i = 0; i < n; ++i) {
    waiters.push_back(std::make_unique<LambdaThread>([&](LambdaThread&) {
      if (e.Wait(ms)) ++passed;
    }));
    waiters.back()->Resume();
  }
  e.Set();
  for (auto& w : waiters) w->WaitFor();
  return passed.load();
}

TEST(Sync, AutoResetEventLetsOneWaiterThrough) {
  plat::Event e(false, false);
  EXPECT_FALSE(e.Wait(10));
  e.Set();
  EXPECT_TRUE(e.IsSet());
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.IsSet());
  EXPECT_FALSE(e.Wait(0));

  EXPECT_EQ(WaitersPassing(e, 3, 300), 1);
}

TEST(Sync, ManualResetEventReleasesEveryone) {
  plat::Event e(true, false);
  EXPECT_EQ(WaitersPassing(e, 3, 5000), 3);
  EXPECT_TRUE(e.IsSet());
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
}

TEST(Sync, CriticalSectionIsReentrantAndExclusive) {
  plat::CriticalSection cs;
  cs.Enter();
  cs.Enter();  // same thread again
  std::atomic<int> tried{-1};
  LambdaThread t([&](LambdaThread&) {
    const bool got = cs.TryEnter();
    if (got) cs.Leave();
    tried = got ? 1 : 0;
  });
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(tried.load(), 0);
  cs.Leave();
  cs.Leave();
  {
    plat::Locked<plat::CriticalSection> l(cs);
    EXPECT_TRUE(cs.TryEnter());
    cs.Leave();
  }
}

}  // namespace
