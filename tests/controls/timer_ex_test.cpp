// test-label: concurrency
#include "controls/timer_ex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "controls/gif_player.h"
#include "gui/control.h"
#include "platform/dispatcher.h"
#include "tests/support/test_util.h"
#include "tools/gif_builder.h"

namespace {

// Waits without running the main loop (so that nothing queued for it runs).
// It sleeps between looks rather than yielding: a yield gives the processor
// only to threads of the same priority, and the timer's thread may run at a
// lower one, which a spinning main thread would starve on a busy machine.
bool WaitUnpumped(const std::function<bool()>& pred) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(TTimerEx, TicksOnTheMainThreadInBothModesAndOnItsOwnWhenThreadSafe) {
  TTimerEx t;
  EXPECT_TRUE(t.Enabled());
  EXPECT_EQ(t.Interval(), 1000);
  EXPECT_FALSE(t.Threaded());
  std::atomic<int> ticks{0}, offMain{0}, wrongSender{0};
  t.SetInterval(5);
  t.SetOnTimer([&](TTimerEx* sender) {
    if (sender != &t) ++wrongSender;
    if (!plat::MainLoop::IsMainThread()) ++offMain;
    ++ticks;
  });
  for (bool threaded : {false, true, false, true}) {
    t.SetThreaded(threaded);
    const int from = ticks;
    ASSERT_TRUE(testutil::PumpUntil([&] { return ticks >= from + 3; })) << threaded;
  }
  EXPECT_EQ(offMain, 0);
  t.SetThreadPriority(tpLower);
  t.SetThreadSafe(true);
  ASSERT_TRUE(WaitUnpumped([&] { return offMain >= 3; }));
  t.SetThreaded(false);  // waits for the thread: no tick of it runs after this
  t.SetEnabled(false);
  const int stopped = ticks;
  plat::MainLoop::ProcessMessages();
  EXPECT_EQ(ticks, stopped);
  EXPECT_EQ(wrongSender, 0);
}

// A window timer the system cannot give raises the out-of-resources
// error with the message for a lack of timers; thread mode needs none.
TEST(TTimerEx, AWindowTimerTheSystemRefusesRaisesOutOfResources) {
  TTimerEx t;
  t.SetInterval(10);
  plat::RefuseTimersForTesting(true);
  try {
    t.SetOnTimer([](TTimerEx*) {});
    ADD_FAILURE() << "no error";
  } catch (const gui::EOutOfResources& e) {
    EXPECT_STREQ(e.what(), "Not enough timers available");
  }
  EXPECT_NO_THROW(t.SetThreaded(true));
  EXPECT_THROW(t.SetThreaded(false), gui::EOutOfResources);
  plat::RefuseTimersForTesting(false);
  EXPECT_NO_THROW(t.SetInterval(20));
}

// The thread has handed a tick to the main thread, which has not run it
// yet, when the timer goes: the tick never runs and nothing touches the
// freed timer.
TEST(TTimerEx, DestroyingDropsAQueuedTick) {
  for (int round = 0; round < 20; ++round) {
    int ticks = 0;
    auto t = std::make_unique<TTimerEx>();
    t->SetThreaded(true);
    t->SetInterval(1);
    t->SetOnTimer([&](TTimerEx*) { ++ticks; });
    ASSERT_TRUE(WaitUnpumped([&] { return t->PendingTicks() == 1; }));
    t.reset();
    for (int i = 0; i < 5; ++i) plat::MainLoop::ProcessMessages();
    EXPECT_EQ(ticks, 0);
  }
}

TEST(TTimerEx, FreedFromInsideItsOwnTick) {
  for (bool threaded : {false, true}) {
    auto t = std::make_unique<TTimerEx>();
    int ticks = 0;
    t->SetThreaded(threaded);
    t->SetInterval(1);
    t->SetOnTimer([&](TTimerEx* sender) {
      ++ticks;
      EXPECT_EQ(sender, t.get());
      t.reset();
      EXPECT_FALSE(t);
    });
    ASSERT_TRUE(testutil::PumpUntil([&] { return !t; })) << threaded;
    for (int i = 0; i < 5; ++i) plat::MainLoop::ProcessMessages();
    EXPECT_EQ(ticks, 1);
  }
}

// The animation destroys its own timer when the loop count runs out, and
// its owner may destroy the whole image from the wrap event.
TEST(TTimerEx, AnimationEndsAndImageFreedFromItsOwnTick) {
  gifgen::Image img;
  img.width = img.height = 1;
  img.globalTable = gifgen::Palette(2, 0);
  img.loopCount = 2;
  for (uint8_t px : {0, 1}) {
    img.frames.push_back({});
    auto& f = img.frames.back();
    f.width = f.height = 1;
    f.pixels = {px};
  }
  const std::string bytes = gifgen::Encode(img);
  for (bool threaded : {false, true}) {
    auto p = std::make_unique<TGIFPlayer>();
    int wraps = 0;
    p->SetThreaded(threaded);
    p->SetSpeed(5000);  // 1 ms a frame
    ASSERT_EQ(p->Load(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), kGIFErrorNone);
    p->SetAnimate(true);
    p->OnWrapAnimation = [&](TGIFPlayer*) { ++wraps; };
    ASSERT_TRUE(testutil::PumpUntil([&] { return wraps == 2 && !p->Playing(); })) << threaded;
    EXPECT_EQ(p->CurrentFrame(), 2);
    p->SetLoop(true);
    p->OnWrapAnimation = [&](TGIFPlayer*) { p.reset(); };
    ASSERT_TRUE(testutil::PumpUntil([&] { return !p; })) << threaded;
    for (int i = 0; i < 5; ++i) plat::MainLoop::ProcessMessages();
  }
}

}  // namespace
