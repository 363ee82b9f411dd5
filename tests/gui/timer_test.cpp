// The timer component on the main thread's loop.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/timer.h"
#include "platform/dispatcher.h"

namespace {

TEST(Timer, TicksWhileEnabledAndAFailingHandlerIsReportedWithoutStoppingIt) {
  std::vector<std::string> reported;
  gui::ExceptionReporter prev = gui::SetExceptionReporter(
      [&](const std::string& what, gui::Control*) { reported.push_back(what); });
  gui::Timer t;
  t.SetInterval(5);
  int ticks = 0;
  t.OnTimer = [&](gui::Component* sender) {
    EXPECT_EQ(sender, &t);
    if (++ticks == 1) throw std::runtime_error("the tick failed");
  };
  EXPECT_TRUE(plat::MainLoop::PumpUntil([&] { return ticks >= 3; }, 20000));
  EXPECT_EQ(reported, std::vector<std::string>{"the tick failed"});

  // Disabled, it stays silent while another timer ticks on.
  t.SetEnabled(false);
  const int stopped = ticks;
  gui::Timer other;
  other.SetInterval(5);
  int otherTicks = 0;
  other.OnTimer = [&](gui::Component*) { ++otherTicks; };
  EXPECT_TRUE(plat::MainLoop::PumpUntil([&] { return otherTicks >= 5; }, 20000));
  EXPECT_EQ(ticks, stopped);
  gui::SetExceptionReporter(prev);
}

}  // namespace
