// The animated image in a real window under Wine: its frames painted by
// the form into a picture (a device-independent section read back), with
// the transparent parts showing what lies beneath; the animation on its
// own thread, each tick run on the main thread.
#include "tests/gui_win32/win32_fixture.h"

#include <string>
#include <vector>

#include "controls/gif_image.h"
#include "gui/form.h"
#include "platform/stream.h"
#include "tools/gif_builder.h"

namespace {

using namespace gui;

constexpr Color kPaper = MakeRGB(250, 250, 250);
constexpr Color kRed = MakeRGB(255, 0, 0), kGreen = MakeRGB(0, 255, 0), kBlue = MakeRGB(0, 0, 255);

// 4 x 2: frame 1 red left and green right, index 0 (the left column)
// transparent; frame 2 a blue middle, transparent elsewhere.
std::string Banner() {
  gifgen::Image img;
  img.width = 4;
  img.height = 2;
  img.globalTable = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  img.loopCount = 0;
  // Each cleared to transparent before the next.
  img.frames.push_back(gifgen::ControlFrame(0, 0, 4, 2, {0, 1, 2, 2, 0, 1, 2, 2}, 2, 0));
  img.frames.push_back(gifgen::ControlFrame(0, 0, 4, 2, {0, 3, 3, 0, 0, 3, 3, 0}, 2, 0));
  return gifgen::Encode(img);
}

class GIFImageWindowTest : public testwin::Win32Test {
 protected:
  GIFImageWindowTest() {
    form.SetBounds(40, 40, 200, 120);
    gif = new TGIFImage(&form);
    gif->SetBounds(10, 10, 8, 4);
    gif->SetParent(&form);
    const std::string bytes = Banner();
    plat::MemoryStream s;
    s.Write(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(0);
    gif->LoadFromStream(s);
    form.HandleNeeded();
  }
  // The form painted into a fresh picture; the row y of the control's
  // first 8 columns.
  std::vector<Color> Row(int y) {
    Bitmap target(60, 30);
    target.Fill(kPaper);
    SendMessageA(reinterpret_cast<HWND>(form.Handle()), WM_PAINT, WPARAM(target.GetCanvas().Handle()), 0);
    std::vector<Color> out;
    for (int x = 10; x < 18; ++x) out.push_back(target.Pixel(x, 10 + y));
    return out;
  }
  Form form;
  TGIFImage* gif;
};

TEST_F(GIFImageWindowTest, FramesPaintedWithTheirTransparency) {
  const Color P = kPaper, R = kRed, G = kGreen, B = kBlue;
  for (bool buffered : {true, false}) {
    gif->SetDoubleBuffered(buffered);
    gif->SetCurrentFrame(1);
    EXPECT_EQ(Row(1), (std::vector<Color>{P, R, G, G, P, P, P, P})) << buffered;
    gif->SetCurrentFrame(2);  // frame 1 cleared first: only the blue middle
    EXPECT_EQ(Row(0), (std::vector<Color>{P, B, B, P, P, P, P, P})) << buffered;
  }
  // Stretched to twice the width: the middle of each stretched pixel pair.
  gif->SetStretch(true);
  gif->SetCurrentFrame(1);
  const std::vector<Color> row = Row(1);
  EXPECT_EQ(row[0], P);
  EXPECT_EQ(row[3], R);
  EXPECT_EQ(row[6], G);
}

TEST_F(GIFImageWindowTest, TheThreadedTimersTicksRunOnTheMainThread) {
  const DWORD main = GetCurrentThreadId();
  std::vector<DWORD> threads;
  gif->OnChange = [&](TGIFImage*) { threads.push_back(GetCurrentThreadId()); };
  gif->SetThreaded(true);
  gif->SetSpeed(5000);  // 1 ms a frame
  gif->SetAnimate(true);
  ASSERT_TRUE(WaitFor([&] { return threads.size() >= 6; }));
  gif->SetAnimate(false);  // back to frame 1
  EXPECT_EQ(threads, std::vector<DWORD>(threads.size(), main));
  EXPECT_EQ(Row(0)[1], kRed);
}

}  // namespace
