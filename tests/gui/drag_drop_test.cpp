// Drag-and-drop between controls on the fake desktop: the threshold, the
// control under the mouse asked as the drag enters, moves over and leaves
// it, the drop where the release is, the ways a drag ends without one, and
// the drag image over what lies beneath.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/fake_peer.h"

namespace {

using namespace gui;

std::string Joined(std::vector<std::string>& v) {
  std::string s;
  for (const std::string& e : v) s += (s.empty() ? "" : ", ") + e;
  v.clear();
  return s;
}

// A source at screen (0,0) that begins a drag on each left press, and a
// target at (200,0) that takes drops in its left half; both 100 square.
struct DragDesk {
  FakeDesktop desk;
  Control source, target;
  std::vector<std::string> events;

  DragDesk() {
    source.SetName("source");
    target.SetName("target");
    source.SetBounds(0, 0, 100, 100);
    target.SetBounds(200, 0, 100, 100);
    source.OnMouseDown = [this](Control* c, MouseButton b, ShiftState, int, int) {
      if (b == mbLeft) c->BeginDrag(false);
    };
    source.OnMouseMove = [this](Control*, ShiftState, int x, int y) { Add("move", x, y); };
    source.OnMouseUp = [this](Control*, MouseButton, ShiftState, int x, int y) { Add("up", x, y); };
    source.OnClick = [this](Control*) { events.push_back("click"); };
    source.OnStartDrag = [this](Control*) { events.push_back("start"); };
    source.OnEndDrag = [this](Control*, Control* t, int x, int y) { Add(t ? "end on " + t->Name() : "end", x, y); };
    target.OnDragOver = [this](Control*, Control* s, int x, int y, DragState st, bool& accept) {
      const char* what[] = {"enter", "leave", "over"};
      Add(std::string(what[st]) + " from " + s->Name(), x, y);
      accept = x < 50;
    };
    target.OnDragDrop = [this](Control*, Control* s, int x, int y) { Add("drop from " + s->Name(), x, y); };
    source.HandleNeeded();
    target.HandleNeeded();
  }
  void Add(const std::string& what, int x, int y) {
    events.push_back(what + " " + std::to_string(x) + "," + std::to_string(y));
  }
  Cursor SourceCursor() { return desk.PeerOf(source).CurrentCursor(); }
};

TEST(DragDrop, StartsPastTheThresholdAndDropsWhereTheReleaseIsWhenTaken) {
  DragDesk d;
  d.desk.MouseDown(d.source, 10, 10);
  d.desk.MouseMove(d.source, 14, 6);  // the system's 4 pixels: not yet
  EXPECT_EQ(Joined(d.events), "move 14,6");
  EXPECT_FALSE(d.source.Dragging());
  d.desk.MouseMove(d.source, 15, 10);  // the control sees no move of a drag
  EXPECT_EQ(Joined(d.events), "start");
  EXPECT_TRUE(d.source.Dragging());
  EXPECT_EQ(d.SourceCursor(), Cursor::NoDrop);  // over the source, which takes nothing
  d.desk.MouseMove(d.source, 220, 10);
  d.desk.MouseMove(d.source, 230, 20);
  EXPECT_EQ(d.SourceCursor(), Cursor::Drag);
  d.desk.MouseMove(d.source, 260, 20);  // the target's right half refuses
  EXPECT_EQ(d.SourceCursor(), Cursor::NoDrop);
  EXPECT_EQ(Joined(d.events), "enter from source 20,10, over from source 30,20, over from source 60,20");
  // The control sees its release first (a click), then the drop follows.
  d.desk.MouseUp(d.source, 240, 30);
  EXPECT_EQ(Joined(d.events),
            "over from source 40,30, up 240,30, leave from source 40,30, drop from source 40,30, end on target 40,30");
  EXPECT_EQ(CurrentDrag(), nullptr);
  EXPECT_EQ(d.SourceCursor(), Cursor::Default);

  // A release over a part that refuses: no drop, the end says nowhere.
  d.desk.MouseDown(d.source, 10, 10);
  d.desk.MouseMove(d.source, 270, 10);
  d.desk.MouseUp(d.source, 270, 10);
  EXPECT_EQ(Joined(d.events),
            "start, enter from source 70,10, over from source 70,10, up 270,10, leave from source 70,10, end 70,10");
}

TEST(DragDrop, EndsWithoutADropOnEscapeARightPressOrAReleaseBeforeTheThreshold) {
  DragDesk d;
  // Released within the threshold: an ordinary press and click.
  d.desk.MouseDown(d.source, 10, 10);
  d.desk.MouseUp(d.source, 12, 10);
  EXPECT_EQ(Joined(d.events), "up 12,10, click");
  EXPECT_EQ(CurrentDrag(), nullptr);
  // Escape over a target that would take it.
  d.desk.MouseDown(d.source, 10, 10);
  d.desk.MouseMove(d.source, 210, 10);
  d.desk.KeyDown(d.source, VK_ESCAPE);
  EXPECT_EQ(Joined(d.events), "start, enter from source 10,10, leave from source 10,10, end 10,10");
  d.desk.MouseUp(d.source, 210, 10);
  Joined(d.events);
  // A right press.
  d.desk.MouseDown(d.source, 10, 10);
  d.desk.MouseMove(d.source, 210, 10);
  d.desk.MouseDown(d.source, 210, 10, mbRight);
  EXPECT_EQ(Joined(d.events), "start, enter from source 10,10, leave from source 10,10, end 10,10");
  d.desk.MouseUp(d.source, 210, 10);
  d.desk.MouseUp(d.source, 210, 10, mbRight);
  Joined(d.events);
  // The source goes away in the middle of its drag: the drag goes with it.
  {
    Control gone;
    gone.SetBounds(0, 0, 50, 50);
    gone.HandleNeeded();
    d.desk.MouseDown(gone, 10, 10);
    gone.BeginDrag(true);
    ASSERT_NE(CurrentDrag(), nullptr);
  }
  EXPECT_EQ(CurrentDrag(), nullptr);
}

TEST(DragDrop, TheDragImageCoversWhatIsBeneathAndPutsItBack) {
  DragDesk d;
  d.source.OnStartDrag = [](Control*) {
    auto image = std::make_unique<Bitmap>(8, 6);
    CurrentDrag()->SetDragImage(std::move(image), {2, 1});
  };
  d.desk.MouseDown(d.source, 10, 10);
  d.desk.CanvasLog().clear();
  d.desk.MouseMove(d.source, 220, 10);
  EXPECT_EQ(CurrentDrag()->DragImageWindow(), &d.target);
  EXPECT_EQ(CurrentDrag()->DragImageRect(), Rect(18, 9, 26, 15));  // hot spot under the mouse
  auto blits = [&] {
    std::string s;
    for (const std::string& l : d.desk.CanvasLog())
      if (l.find("BitBlt(") != std::string::npos) s += l.substr(0, l.find(" <-")) + ");";
    d.desk.CanvasLog().clear();
    return s;
  };
  EXPECT_EQ(blits(), "BitBlt(18,9,26,15);");  // drawn (what it covers saved first)
  // Hidden twice (nested paints), shown once: still hidden.
  CurrentDrag()->HideDragImage();
  CurrentDrag()->HideDragImage();
  CurrentDrag()->ShowDragImage();
  EXPECT_EQ(CurrentDrag()->DragImageWindow(), nullptr);
  d.desk.MouseMove(d.source, 230, 10);  // moves while hidden draw nothing
  EXPECT_EQ(blits(), "BitBlt(18,9,26,15);");  // only what lay beneath, put back
  CurrentDrag()->ShowDragImage();
  EXPECT_EQ(CurrentDrag()->DragImageRect(), Rect(28, 9, 36, 15));
  blits();
  d.desk.MouseUp(d.source, 230, 10);  // off and on at the release, off at the end
  EXPECT_EQ(blits(), "BitBlt(28,9,36,15);BitBlt(28,9,36,15);BitBlt(28,9,36,15);");
  EXPECT_EQ(CurrentDrag(), nullptr);
}

}  // namespace
