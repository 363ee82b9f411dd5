#include "controls/gif_player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/stream.h"
#include "tools/gif_builder.h"

namespace {

using gifgen::ControlFrame;

int Load(TGIFPlayer& p, const gifgen::Image& img) {
  const std::string bytes = gifgen::Encode(img);
  plat::MemoryStream s;
  s.Write("junk", 4);  // loading starts at the stream's position
  s.Write(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(4);
  return p.LoadFromStream(s);
}

// A transparent frame over an opaque one, then disposal 2 and 3, on a 4 x 4
// screen; every pixel of the image and the mask after each step.
TEST(GIFPlayer, ComposesFramesWithTheirDisposalMethods) {
  gifgen::Image img;
  img.width = img.height = 4;
  img.globalTable = gifgen::Palette(4, 7);
  img.frames.push_back(ControlFrame(0, 0, 4, 4, std::vector<uint8_t>(16, 1), 1));
  img.frames.push_back(ControlFrame(1, 1, 2, 2, {0, 2, 2, 0}, 2, 0));
  img.frames.push_back(ControlFrame(2, 2, 2, 2, {3, 3, 3, 3}, 3));
  img.frames.push_back(ControlFrame(0, 0, 1, 1, {2}, 0));
  TGIFPlayer p;
  std::vector<int> changes;
  p.OnChange = [&](TGIFPlayer* s) { changes.push_back(s->CurrentFrame()); };
  // Where the image changed, told with each repaint: the whole screen
  // after loading, then the frame drawn and the one disposed of.
  std::vector<TGIFArea> areas;
  p.OnInvalidate = [&](TGIFPlayer* s) { areas.push_back(s->Changed()); };
  ASSERT_EQ(Load(p, img), kGIFErrorNone);
  ASSERT_TRUE(p.HasMask());
  const TGIFFrame& f0 = p.Data().Frames[0];
  const uint32_t c1 = f0.Color(1), c2 = f0.Color(2), c3 = f0.Color(3);
  auto expect = [&](const std::vector<uint32_t>& image, const std::vector<uint8_t>& mask) {
    EXPECT_EQ(p.Image(), image);
    EXPECT_EQ(p.Mask(), mask);
  };
  expect(std::vector<uint32_t>(16, c1), std::vector<uint8_t>(16, 0));
  p.SetCurrentFrame(2);  // index 0 is transparent: frame 1 shows through
  expect({c1, c1, c1, c1, c1, c1, c2, c1, c1, c2, c1, c1, c1, c1, c1, c1}, std::vector<uint8_t>(16, 0));
  p.SetCurrentFrame(3);  // frame 2 cleared to transparent first
  expect({c1, c1, c1, c1, c1, 0, 0, c1, c1, 0, c3, c3, c1, c1, c3, c3},
         {0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(p.OpaqueAt(1, 1));
  EXPECT_TRUE(p.OpaqueAt(2, 2));
  p.SetCurrentFrame(4);  // what was under frame 3 comes back
  expect({c2, c1, c1, c1, c1, 0, 0, c1, c1, 0, 0, c1, c1, c1, c1, c1},
         {0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0});
  EXPECT_EQ(changes, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(areas, (std::vector<TGIFArea>{{0, 0, 4, 4}, {1, 1, 3, 3}, {1, 1, 4, 4}, {0, 0, 4, 4}}));
  EXPECT_TRUE(p.Changed().Empty());
  p.SetCurrentFrame(5);
  EXPECT_EQ(p.LastError(), kGIFErrorFrameIndex);
  EXPECT_EQ(p.CurrentFrame(), 4);
  EXPECT_EQ(changes.size(), 4u);
  // A screen without frames: black, told as a whole like any load.
  areas.clear();
  img.frames.clear();
  ASSERT_EQ(Load(p, img), kGIFErrorNone);
  EXPECT_EQ(p.Image(), std::vector<uint32_t>(16, 0));
  EXPECT_EQ(areas, (std::vector<TGIFArea>{{0, 0, 4, 4}}));
  EXPECT_TRUE(p.Changed().Empty());

  EXPECT_EQ(p.Load(reinterpret_cast<const uint8_t*>("JFIF.."), 6), kGIFErrorDecoding);
  EXPECT_TRUE(p.Empty());
  EXPECT_TRUE(p.Image().empty());
}

// Three frames with delays 0, 10 and 20 hundredths, driven tick by tick
// with a clock that advances 7 ms whenever it is read.
struct Animation : ::testing::Test {
  TGIFPlayer p;
  uint32_t now = 1000, step = 7;
  std::vector<int> drawn;
  int wraps = 0;

  void SetUp() override {
    p.TickCount = [this] {
      const uint32_t t = now;
      now += step;
      return t;
    };
    p.OnInvalidate = [this](TGIFPlayer* s) { drawn.push_back(s->CurrentFrame()); };
    p.OnWrapAnimation = [this](TGIFPlayer*) { ++wraps; };
  }
  void LoadFrames(int loopCount) {
    gifgen::Image img;
    img.width = img.height = 2;
    img.globalTable = gifgen::Palette(2, 0);
    img.loopCount = loopCount;
    for (int delay : {0, 10, 20}) {
      img.frames.push_back(ControlFrame(0, 0, 2, 2, {0, 1, 1, 0}, 1));
      img.frames.back().delay = delay;
    }
    ASSERT_EQ(Load(p, img), kGIFErrorNone);
    drawn.clear();
  }
  // Ticks n times, returning the intervals the timer got.
  std::vector<int> Ticks(int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
      p.Tick();
      out.push_back(p.TimerInterval());
    }
    return out;
  }
};

TEST_F(Animation, LoopCountPlaysThatManyTimesAndStopsOnTheLastFrame) {
  LoadFrames(2);
  EXPECT_EQ(p.LoopCount(), 2);
  p.Tick();  // not animating: nothing
  EXPECT_TRUE(drawn.empty());
  p.SetAnimate(true);
  EXPECT_EQ(p.TimerInterval(), 50);  // a delay of 0 plays at 50 ms
  // The first tick keeps frame 1 (on show since decoding); the time spent
  // in a tick comes off the next interval.
  EXPECT_EQ(Ticks(3), (std::vector<int>{43, 93, 193}));
  EXPECT_EQ(wraps, 1);
  EXPECT_EQ(Ticks(2), (std::vector<int>{43, 93}));
  p.Tick();
  EXPECT_FALSE(p.Playing());
  EXPECT_EQ(drawn, (std::vector<int>{2, 3, 1, 2, 3}));
  EXPECT_EQ(wraps, 2);
  EXPECT_EQ(p.CurrentFrame(), 3);
  p.Tick();
  EXPECT_EQ(drawn.size(), 5u);

  p.SetLoop(true);  // after the count ran out: again from frame 1, for ever
  EXPECT_TRUE(p.Playing());
  EXPECT_EQ(p.CurrentFrame(), 1);
  Ticks(30);
  EXPECT_TRUE(p.Playing());
  EXPECT_EQ(wraps, 12);
  p.SetAnimate(false);
  EXPECT_FALSE(p.Playing());
  EXPECT_EQ(p.CurrentFrame(), 1);
}

TEST_F(Animation, CountZeroPlaysForEverAndSpeedScalesTheDelay) {
  LoadFrames(0);
  p.SetAnimate(true);
  Ticks(31);
  EXPECT_TRUE(p.Playing());
  EXPECT_EQ(wraps, 10);
  p.SetSpeed(200);
  EXPECT_EQ(p.TimerInterval(), 1);  // the new speed applies at once
  step = 0;
  EXPECT_EQ(Ticks(3), (std::vector<int>{50, 100, 25}));  // frames 2, 3, 1 at 200 %
  p.SetSpeed(0);
  EXPECT_EQ(p.Speed(), 1);
  now = 0xFFFFFFF0u;  // the tick counter wraps within the tick: nothing is taken off
  step = 0x20;
  EXPECT_EQ(Ticks(1), (std::vector<int>{10000}));  // frame 2: 100 ms at 1 %
}

TEST_F(Animation, WithoutALoopBlockPlaysOnce) {
  LoadFrames(-1);
  EXPECT_EQ(p.LoopCount(), 1);
  p.SetAnimate(true);
  Ticks(3);
  EXPECT_FALSE(p.Playing());
  EXPECT_EQ(wraps, 1);
  EXPECT_EQ(drawn, (std::vector<int>{2, 3}));
}

}  // namespace
