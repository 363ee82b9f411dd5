// test-label: concurrency
#include "controls/gif_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gui/fake_peer.h"
#include "platform/stream.h"
#include "tests/support/test_util.h"
#include "tools/gif_builder.h"

namespace {

using namespace gui;

gifgen::Frame Frame(int w, int h, std::vector<uint8_t> px, int transparent = -1) {
  return gifgen::ControlFrame(0, 0, w, h, std::move(px), 1, transparent);
}

// A 4 x 2 screen of two frames: the first opaque, the second with index 0
// transparent (or, with transparent false, two opaque frames).
std::string TwoFrames(bool transparent, int loopCount = 0) {
  gifgen::Image img;
  img.width = 4;
  img.height = 2;
  img.globalTable = gifgen::Palette(4, 3);
  img.loopCount = loopCount;
  img.frames.push_back(Frame(4, 2, {1, 1, 2, 2, 1, 1, 2, 2}, transparent ? 0 : -1));
  img.frames.push_back(Frame(4, 2, {0, 3, 3, 0, 0, 3, 3, 0}, transparent ? 0 : -1));
  return gifgen::Encode(img);
}

void Load(TGIFImage& g, const std::string& bytes) {
  plat::MemoryStream s;
  s.Write(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  g.LoadFromStream(s);
}

// The drawing calls of the control, without the parent's framing of it.
std::vector<std::string> Drawn(const std::string& log) {
  std::vector<std::string> out;
  std::istringstream in(log);
  for (std::string l; std::getline(in, l);)
    if (l.rfind("Save", 0) && l.rfind("Restore", 0) && l.rfind("SetViewportOrigin", 0) &&
        l.rfind("IntersectClip", 0))
      out.push_back(l);
  return out;
}

// A parent that counts the palette requests it is sent.
struct PaletteParent : Control {
  int paletteQueries = 0;
  void WndProc(Message& m) override {
    if (m.Msg == WM_QUERYNEWPALETTE) ++paletteQueries;
    Control::WndProc(m);
  }
};

struct GIFImageTest : ::testing::Test {
  FakeDesktop desk;
  PaletteParent parent;
  TGIFImage* gif;
  GIFImageTest() {
    parent.SetBounds(0, 0, 100, 100);
    parent.SetControlStyle(parent.ControlStyle() | csOpaque);
    gif = new TGIFImage(&parent);
    gif->SetBounds(10, 20, 20, 10);
    gif->SetParent(&parent);
    gif->SetDoubleBuffered(false);
  }
  using Log = std::vector<std::string>;
  Log Paint() { return Drawn(desk.Paint(parent)); }
  // A paint through the off-screen picture, as that picture's log.
  Log OffscreenLog() {
    desk.Paint(parent);
    auto* buffer = dynamic_cast<RecordingCanvas*>(&gif->BufferBitmap()->GetCanvas());
    if (!buffer) return {};
    buffer->ClearLog();
    desk.Paint(parent);
    return buffer->Log();
  }
  static std::string Joined(const Log& l) {
    std::string s;
    for (const auto& line : l) s += line + "\n";
    return s;
  }
  // The frame's colour at a table index, as the canvas takes colours.
  Color ColorOf(int index) {
    const uint32_t c = gif->Player().Data().Frames[0].Color(uint8_t(index));
    return MakeRGB(int(c >> 16) & 255, int(c >> 8) & 255, int(c) & 255);
  }
};

TEST_F(GIFImageTest, PaintsAtTheOriginCentredStretchedAndTiled) {
  Load(*gif, TwoFrames(false));
  auto at = [](const char* r) { return "BitBlt(" + std::string(r) + " <- bitmap 4x2 @0,0,SRCCOPY)"; };
  auto stretched = [](const char* r) {
    return "StretchBlt(" + std::string(r) + " <- bitmap 4x2 0,0,4,2,SRCCOPY) mode=3";
  };
  EXPECT_EQ(Paint(), (Log{at("0,0,4,2")}));
  gif->SetCenter(true);
  EXPECT_EQ(Paint(), (Log{at("8,4,12,6")}));
  gif->SetStretch(true);
  EXPECT_EQ(Paint(), (Log{"SetStretchMode(3)", stretched("0,0,20,10")}));
  gif->SetStretch(false);
  gif->SetStretchRatio(true);  // the largest 2:1 rectangle, centred
  gif->SetBounds(10, 20, 20, 20);
  EXPECT_EQ(Paint().back(), stretched("0,5,20,15"));
  gif->SetStretchBigOnly(true);  // bigger than the image: not stretched
  EXPECT_EQ(Paint(), (Log{at("8,9,12,11")}));
  gif->SetBounds(10, 20, 2, 3);  // narrower: shrunk, keeping the aspect
  EXPECT_EQ(Paint().back(), stretched("0,1,2,2"));
  gif->SetStretchRatio(false);
  gif->SetCenter(false);
  gif->SetTile(true);
  gif->SetBounds(10, 20, 9, 3);  // 9 / 4 + 1 columns, 3 / 2 + 1 rows
  EXPECT_EQ(Paint(), (Log{at("0,0,4,2"), at("4,0,8,2"), at("8,0,12,2"), at("0,2,4,4"), at("4,2,8,4"),
                          at("8,2,12,4")}));
  gif->SetTile(false);
  gif->SetOpaque(true);
  gif->SetColor(MakeRGB(1, 2, 3));
  EXPECT_EQ(Paint(), (Log{"FillRect(0,0,9,3) brush=#010203", at("0,0,4,2")}));
  gif->SetDoubleBuffered(true);  // one copy out of the off-screen picture
  EXPECT_EQ(Paint(), (Log{"BitBlt(0,0,9,3 <- bitmap 9x3 @0,0,SRCCOPY)"}));
  // On a screen of 256 colours the 32-bit image is stretched with
  // HALFTONE, even through the off-screen picture.
  gif->SetOpaque(false);
  gif->SetStretchBigOnly(false);
  gif->SetStretch(true);
  desk.screenBits = 8;
  const std::string buffered = Joined(OffscreenLog());
  EXPECT_NE(buffered.find("SetStretchMode(4)\nStretchBlt(0,0,9,3 <- bitmap 4x2 0,0,4,2,SRCCOPY) mode=4"),
            std::string::npos)
      << buffered;
  desk.screenBits = 16;
  EXPECT_NE(Joined(OffscreenLog()).find("SRCCOPY) mode=3"), std::string::npos);
  gif->SetStretch(false);

  Bitmap still(3, 1);  // a still picture instead: as it is, centred
  still.SetPixel(1, 0, clRed);
  gif->SetDoubleBuffered(false);
  gif->SetCenter(true);
  gif->SetGraphic(&still);
  EXPECT_EQ(gif->FrameCount(), 0);
  EXPECT_EQ(Paint(), (Log{"Draw(3,1,bitmap 3x1)"}));
  gif->SetGraphic(gif->Graphic());  // the picture shown, given again: kept as it is
  ASSERT_NE(gif->Graphic(), nullptr);
  EXPECT_EQ(gif->Graphic()->Pixel(1, 0), clRed);
  EXPECT_EQ(Paint(), (Log{"Draw(3,1,bitmap 3x1)"}));
}

// Transparent frames: the mask painted AND, then the image XOR; the
// transparent pixels let the mouse through to the parent.
TEST_F(GIFImageTest, TransparentPartsAreMaskedAndNotHit) {
  gif->SetAutoSize(true);
  Load(*gif, TwoFrames(true));
  EXPECT_EQ(gif->BoundsRect(), Rect(10, 20, 14, 22));
  EXPECT_EQ(Paint(), (Log{"BitBlt(0,0,4,2 <- bitmap 4x2 @0,0,SRCAND)",
                          "BitBlt(0,0,4,2 <- bitmap 4x2 @0,0,SRCINVERT)"}));
  gif->SetStretch(true);
  gif->SetBounds(10, 20, 8, 2);
  EXPECT_EQ(Paint(), (Log{"SetStretchMode(1)", "StretchBlt(0,0,8,2 <- bitmap 4x2 0,0,4,2,SRCAND) mode=1",
                          "SetStretchMode(3)",
                          "StretchBlt(0,0,8,2 <- bitmap 4x2 0,0,4,2,SRCINVERT) mode=3"}));
  gif->SetStretch(false);

  // A GIF whose first frame has index 0 transparent at its corners.
  gifgen::Image img;
  img.width = 3;
  img.height = 3;
  img.globalTable = gifgen::Palette(2, 5);
  img.frames.push_back(Frame(3, 3, {0, 1, 0, 1, 1, 1, 0, 1, 0}, 0));
  Load(*gif, gifgen::Encode(img));
  gif->SetAutoSize(false);
  gif->SetBounds(10, 20, 7, 7);
  gif->SetCenter(true);  // the image at (2, 2) in the control
  std::vector<Point> downs;
  gif->OnMouseDown = [&](Control*, MouseButton, ShiftState, int x, int y) { downs.push_back({x, y}); };
  for (Point p : {Point{13, 23}, Point{12, 22}, Point{10, 20}, Point{14, 24}, Point{14, 23}})
    desk.Click(parent, p.X, p.Y);
  EXPECT_EQ(downs, (std::vector<Point>{{3, 3}, {4, 3}}));
  gif->SetTile(true);  // tiled (or stretched): all of the control is hit
  desk.Click(parent, 10, 20);
  EXPECT_EQ(downs.size(), 3u);
}

TEST_F(GIFImageTest, AFailedLoadLeavesTheControlEmptyAndAbortsSilently) {
  Load(*gif, TwoFrames(true));
  ASSERT_FALSE(gif->Empty());
  plat::MemoryStream bad;
  bad.Write("JFIF....", 8);
  bad.SetPosition(0);
  EXPECT_THROW(gif->LoadFromStream(bad), Abort);
  EXPECT_EQ(gif->LastError(), kGIFErrorDecoding);
  EXPECT_TRUE(gif->Empty());
  EXPECT_TRUE(Paint().empty());
  plat::MemoryStream none;
  EXPECT_THROW(gif->LoadFromStream(none), Abort);
  EXPECT_EQ(gif->LastError(), kGIFErrorEmpty);
}

// The bitmaps follow the composed picture step by step (disposals, a
// transparent frame, frames smaller than the screen), though each step
// copies only the area it changed.
TEST_F(GIFImageTest, BitmapsFollowEveryStepCopyingWhatChanged) {
  gifgen::Image img;
  img.width = img.height = 4;
  img.globalTable = gifgen::Palette(4, 7);
  img.frames.push_back(gifgen::ControlFrame(0, 0, 4, 4, std::vector<uint8_t>(16, 1), 1));
  img.frames.push_back(gifgen::ControlFrame(1, 1, 2, 2, {0, 2, 2, 0}, 2, 0));
  img.frames.push_back(gifgen::ControlFrame(2, 2, 2, 2, {3, 3, 3, 3}, 3));
  img.frames.push_back(gifgen::ControlFrame(0, 0, 1, 1, {2}, 0));
  Load(*gif, gifgen::Encode(img));
  for (int frame : {2, 3, 4, 1, 3, 2}) {
    gif->SetCurrentFrame(frame);
    const TGIFPlayer& p = gif->Player();
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const uint32_t c = p.Image()[size_t(y * 4 + x)];
        EXPECT_EQ(gif->ImageBitmap()->Pixel(x, y), MakeRGB(int(c >> 16) & 255, int(c >> 8) & 255, int(c) & 255))
            << frame << " " << x << "," << y;
        EXPECT_EQ(gif->MaskBitmap()->Pixel(x, y), p.Mask()[size_t(y * 4 + x)] ? clWhite : clBlack)
            << frame << " " << x << "," << y;
      }
  }
}

// A progress handler that frees the control, at a block or at a row of a
// large frame, ends the decoding: nothing is written into the freed
// control (ASan) and nothing is raised.
TEST_F(GIFImageTest, FreedFromItsOwnProgressEvent) {
  gifgen::Image big;  // 120,000 pixels: progress every 32 rows too
  big.width = 400;
  big.height = 300;
  big.globalTable = gifgen::Palette(4, 5);
  big.frames.push_back(Frame(400, 300, std::vector<uint8_t>(400 * 300, 2)));
  big.frames.push_back(Frame(400, 300, std::vector<uint8_t>(400 * 300, 1)));
  const std::string bytes = gifgen::Encode(big);
  for (int at : {1, 3, 14}) {  // before the first frame, at its row 32, before the second
    auto* g = new TGIFImage(&parent);
    g->SetParent(&parent);
    int calls = 0;
    g->OnProgress = [&calls, at](TGIFImage* s, int, int, int, bool&) {
      if (++calls == at) delete s;
    };
    EXPECT_NO_THROW(Load(*g, bytes)) << at;
    EXPECT_EQ(calls, at) << "decoding ended with the control";
    EXPECT_EQ(parent.ControlCount(), 1);
  }
}

// In design mode a dashed outline shows where the control is; on a device
// of 256 colours or fewer the GIF's own colours are selected first.
struct DesignedGIF : TGIFImage {
  using TGIFImage::TGIFImage;
  using TGIFImage::SetDesigning;
};

TEST_F(GIFImageTest, DesignOutlineAndTheGifsPaletteOnA256ColourDevice) {
  delete gif;
  auto* designed = new DesignedGIF(&parent);
  gif = designed;
  gif->SetBounds(10, 20, 20, 10);
  gif->SetParent(&parent);
  gif->SetDoubleBuffered(false);
  Load(*gif, TwoFrames(false));
  const std::string image = "BitBlt(0,0,4,2 <- bitmap 4x2 @0,0,SRCCOPY)";
  EXPECT_EQ(Paint(), (Log{image}));
  desk.screenBits = 8;
  std::string palette = "SelectPalette(";
  const TGIFColorTable& t = gif->Player().Data().GlobalTable;
  for (int i = 0; i < 4; ++i) palette += (i ? "," : "") + ColorText(MakeRGB(t[i * 3], t[i * 3 + 1], t[i * 3 + 2]));
  EXPECT_EQ(Paint(), (Log{palette + ")", image}));
  desk.screenBits = 16;
  designed->SetDesigning(true);
  EXPECT_EQ(Paint(), (Log{image, "Rectangle(0,0,20,10) pen=clBtnShadow,dash brush=clear"}));
  gif->Clear();  // empty, still outlined
  EXPECT_EQ(Paint(), (Log{"Rectangle(0,0,20,10) pen=clBtnShadow,dash brush=clear"}));
}

// "Data" holds the bytes shown, stored as a 32-bit length and the bytes;
// read back while loading, they are decoded when loading ends. Every load
// sends the parent WM_QUERYNEWPALETTE. A property the stream cuts short
// raises and changes nothing.
TEST_F(GIFImageTest, DataPropertyRoundTripsAndLoadedDecodesIt) {
  parent.HandleNeeded();
  const std::string bytes = TwoFrames(true);
  Load(*gif, bytes);
  EXPECT_EQ(parent.paletteQueries, 1);
  EXPECT_EQ(std::string(gif->Data().begin(), gif->Data().end()), bytes);
  plat::MemoryStream stored;
  gif->WriteData(stored);
  ASSERT_EQ(stored.Size(), int64_t(4 + bytes.size()));
  std::string head(4, '\0');
  stored.SetPosition(0);
  stored.ReadBuffer(head.data(), 4);
  EXPECT_EQ(head, std::string({char(bytes.size()), 0, 0, 0}));

  auto* copy = new TGIFImage(&parent);
  copy->SetParent(&parent);
  copy->BeginLoading();
  stored.SetPosition(0);
  copy->ReadData(stored);
  EXPECT_TRUE(copy->Empty());
  copy->EndLoading();
  EXPECT_EQ(copy->FrameCount(), 2);
  EXPECT_EQ(copy->Data(), gif->Data());
  EXPECT_EQ(parent.paletteQueries, 2);

  plat::MemoryStream cut;
  cut.Write(head.data(), 4);
  cut.Write(bytes.data(), 10);
  cut.SetPosition(0);
  EXPECT_THROW(copy->ReadData(cut), plat::EStreamError);
  EXPECT_EQ(copy->FrameCount(), 2);
  plat::MemoryStream bad;  // decodes to nothing: empty, no raise
  bad.Write("\x04\x00\x00\x00JFIF", 8);
  bad.SetPosition(0);
  copy->ReadData(bad);
  EXPECT_TRUE(copy->Empty());
  EXPECT_TRUE(copy->Data().empty());
  EXPECT_EQ(copy->LastError(), kGIFErrorDecoding);
}

// The animation on an injected clock: each tick shows the next frame in
// the bitmaps, fires the control's events and repaints it.
TEST_F(GIFImageTest, AnimationTicksRepaintAndRaiseTheEvents) {
  Load(*gif, TwoFrames(false, 2));
  Log events;
  gif->OnChanging = [&](TGIFImage* s) { events.push_back("changing " + std::to_string(s->CurrentFrame())); };
  gif->OnChange = [&](TGIFImage* s) { events.push_back("change " + std::to_string(s->CurrentFrame())); };
  gif->OnWrapAnimation = [&](TGIFImage*) { events.push_back("wrap"); };
  uint32_t now = 0;
  gif->Player().TickCount = [&] { return now; };
  gif->SetAnimate(true);
  desk.Paint(parent);  // nothing left to paint
  gif->Player().Tick();  // frame 1 is on show since loading
  gif->Player().Tick();
  EXPECT_EQ(gif->ImageBitmap()->Pixel(0, 0), ColorOf(0));
  EXPECT_EQ(desk.InvalidRegion(parent).Bounds(), Rect(10, 20, 30, 30));
  gif->Player().Tick();
  gif->Player().Tick();  // the second round ends the loop count of 2
  EXPECT_FALSE(gif->Player().Playing());
  EXPECT_EQ(events, (Log{"changing 1", "change 2", "changing 2", "change 1", "wrap", "changing 1",
                          "change 2", "changing 2", "change 2", "wrap"}));
}

// An OnChanging handler may empty the control or load another GIF (one
// that fails, one of fewer frames) while a frame is being chosen or the
// animation steps: that step ends without touching frames that are gone
// (ASan), and the control shows what the handler left, from its first
// frame.
TEST_F(GIFImageTest, AChangingHandlerMayEmptyOrReplaceTheFrames) {
  gifgen::Image fourFrames;
  fourFrames.width = 4;
  fourFrames.height = 2;
  fourFrames.globalTable = gifgen::Palette(4, 3);
  for (uint8_t i = 0; i < 4; ++i) fourFrames.frames.push_back(Frame(4, 2, std::vector<uint8_t>(8, i)));
  const std::string four = gifgen::Encode(fourFrames), two = TwoFrames(false);
  struct Case {
    const char* what;
    std::function<void(TGIFImage*)> act;
    int framesLeft;
  };
  const Case cases[] = {
      {"cleared", [](TGIFImage* g) { g->Clear(); }, 0},
      {"a failed load",
       [](TGIFImage* g) {
         try {
           Load(*g, "JFIF....");
         } catch (const Abort&) {
         }
       },
       0},
      {"two frames loaded", [&](TGIFImage* g) { Load(*g, two); }, 2},
  };
  uint32_t now = 0;
  gif->Player().TickCount = [&] { return now; };
  for (const Case& c : cases) {
    for (bool tick : {false, true}) {
      const std::string step = std::string(c.what) + (tick ? " in a tick" : " choosing frame 4");
      gif->OnChanging = nullptr;
      gif->OnChange = nullptr;
      gif->SetAnimate(false);
      Load(*gif, four);
      if (tick) {
        gif->SetAnimate(true);
        for (int i = 0; i < 3; ++i) gif->Player().Tick();  // on to frame 4
        ASSERT_EQ(gif->CurrentFrame(), 4) << step;
      }
      bool acted = false;
      int changes = 0;
      gif->OnChanging = [&](TGIFImage* s) {
        if (!std::exchange(acted, true)) c.act(s);
      };
      gif->OnChange = [&](TGIFImage*) { ++changes; };
      if (tick)
        gif->Player().Tick();
      else
        gif->SetCurrentFrame(4);
      ASSERT_TRUE(acted) << step;
      EXPECT_EQ(gif->FrameCount(), c.framesLeft) << step;
      EXPECT_EQ(gif->CurrentFrame(), 1) << step;
      EXPECT_EQ(changes, c.framesLeft > 0 ? 1 : 0) << step << ": only the new GIF's first frame";
      if (c.framesLeft == 0) {
        EXPECT_EQ(gif->ImageBitmap(), nullptr) << step;
        EXPECT_TRUE(Paint().empty()) << step;
      } else {
        ASSERT_NE(gif->ImageBitmap(), nullptr) << step;
        EXPECT_EQ(gif->ImageBitmap()->Pixel(0, 0), ColorOf(1)) << step;
      }
    }
  }
}

// The control freed from its own wrap event, on a real timer in both modes.
TEST_F(GIFImageTest, FreedFromItsOwnAnimationTick) {
  const std::string bytes = TwoFrames(false);
  for (bool threaded : {false, true}) {
    auto* g = new TGIFImage(&parent);
    g->SetParent(&parent);
    Load(*g, bytes);
    g->SetThreaded(threaded);
    g->SetSpeed(5000);  // 1 ms a frame
    bool freed = false;
    g->OnWrapAnimation = [&](TGIFImage* s) {
      delete s;
      freed = true;
    };
    g->SetAnimate(true);
    ASSERT_TRUE(testutil::PumpUntil([&] { return freed; })) << threaded;
    for (int i = 0; i < 5; ++i) plat::MainLoop::ProcessMessages();
    EXPECT_EQ(parent.ControlCount(), 1);
  }
}

}  // namespace
