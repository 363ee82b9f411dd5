#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/fake_peer.h"
#include "treelist/grid_container.h"
#include "treelist/grid_inplace_edit.h"

namespace gui {
void PrintTo(const Rect& r, std::ostream* os) {
  *os << "(" << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << ")";
}
}  // namespace gui

namespace {

using namespace gui;

// A container that records the scroll messages its window receives and how
// often its window was made.
class ScrollRecorder : public TCustomGridContainer {
 public:
  using TCustomGridContainer::TCustomGridContainer;
  std::vector<int> vscrolls;
  int windowsMade = 0;

 protected:
  void WndProc(Message& m) override {
    if (m.Msg == WM_VSCROLL) vscrolls.push_back(int(m.WParam));
    TCustomGridContainer::WndProc(m);
  }
  void HandleCreated() override {
    TCustomGridContainer::HandleCreated();
    ++windowsMade;
  }
};

// A program that makes a container has what its editors fall back to: the
// program-wide default style controller, for as long as a container lives.
TEST(GridContainer, ItsEditorsFollowTheProgramWideDefaultController) {
  FakeDesktop desk;
  EXPECT_EQ(GridDefaultStyleController(), nullptr);
  {
    TCustomGridContainer outer;
    {
      TCustomGridContainer host;
      auto* ed = new TGridInplaceEdit(&host);
      ASSERT_NE(GridDefaultStyleController(), nullptr);
      GridDefaultStyleController()->SetBorderStyle(xbsSingle);
      EXPECT_EQ(ed->Style().BorderStyle(), xbsSingle);
    }
    EXPECT_NE(GridDefaultStyleController(), nullptr);  // the outer one still holds it
  }
  EXPECT_EQ(GridDefaultStyleController(), nullptr);
}

TEST(GridContainer, OneWheelMessageScrollsOneStepWhateverItsDelta) {
  FakeDesktop desk;
  ScrollRecorder grid;
  grid.SetBounds(0, 0, 100, 100);
  std::vector<int> wheelEvents;
  grid.OnMouseWheel = [&](Control*, ShiftState, int d, Point, bool&) { wheelEvents.push_back(d); };
  const std::vector<int> three_down(3, SB_LINEDOWN), three_up(3, SB_LINEUP);
  desk.env.SetWheelScrollLines(3);
  for (int delta : {120, 30, -240}) {
    grid.vscrolls.clear();
    desk.Wheel(grid, delta);
    EXPECT_EQ(grid.vscrolls, delta > 0 ? three_up : three_down) << delta;
  }
  EXPECT_EQ(wheelEvents, (std::vector<int>{120, 30, -240}));  // the events come first

  grid.vscrolls.clear();
  desk.env.SetWheelScrollLines(WHEEL_PAGESCROLL);  // "a page": one page, not 2^32 lines
  desk.Wheel(grid, -120);
  desk.Wheel(grid, 120);
  EXPECT_EQ(grid.vscrolls, (std::vector<int>{SB_PAGEDOWN, SB_PAGEUP}));

  grid.vscrolls.clear();
  desk.Wheel(grid, 0);  // no direction
  desk.env.SetWheelScrollLines(0);
  desk.Wheel(grid, -120);
  EXPECT_TRUE(grid.vscrolls.empty());
}

TEST(GridContainer, LookAndFeelRecreatesTheWindowWithTheScrollBarStyle) {
  FakeDesktop desk;
  ScrollRecorder grid;
  grid.HandleNeeded();
  EXPECT_EQ(desk.PeerOf(grid).ScrollBarStyle(), FSB_REGULAR_MODE);
  ASSERT_EQ(grid.windowsMade, 1);
  grid.SetLookAndFeel(lfUltraFlat);
  EXPECT_EQ(grid.windowsMade, 2);
  EXPECT_EQ(desk.PeerOf(grid).ScrollBarStyle(), FSB_FLAT_MODE);
  grid.SetLookAndFeel(lfUltraFlat);
  EXPECT_EQ(grid.windowsMade, 2);
  grid.SetLookAndFeel(lfFlat);
  EXPECT_EQ(desk.PeerOf(grid).ScrollBarStyle(), FSB_ENCARTA_MODE);
}

TEST(GridHint, PlacementStaysOnTheScreenAndNeverGoesNegative) {
  const Size screen{800, 600};
  EXPECT_EQ(PlaceGridHint({10, 20}, {50, 16}, screen), Rect(10, 20, 60, 36));
  EXPECT_EQ(PlaceGridHint({790, 595}, {50, 16}, screen), Rect(750, 584, 800, 600));
  EXPECT_EQ(PlaceGridHint({300, 10}, {900, 700}, screen), Rect(0, 0, 900, 700));
}

TEST(GridHint, ShowsTheMeasuredTextInAnInertPopup) {
  FakeDesktop desk;  // a 1024 x 768 screen, 6 x 13 pixels a character
  TGridContainerHintWindow hint;
  Font cellFont;
  cellFont.SetName("Cell Face");
  cellFont.SetHeight(-20);
  cellFont.SetCharset(238);
  EXPECT_FALSE(hint.HintShowing());
  hint.ShowHintAt({1000, 100}, "truncated cell", cellFont);
  ASSERT_TRUE(hint.HintShowing());
  EXPECT_EQ(desk.PeerOf(hint).Params().ExStyle, uint32_t(WS_EX_TOOLWINDOW));
  // 14 characters: 84 x 13 pixels of text, 6 more each way, moved left.
  EXPECT_EQ(hint.BoundsRect(), Rect(1024 - 90, 100, 1024, 119));
  EXPECT_EQ(hint.Font().Charset(), 238);
  EXPECT_EQ(hint.Font().Size(), 8);  // the font's name, not its size
  const std::string log = desk.Paint(hint);
  EXPECT_NE(log.find("DrawEdge(0,0,90,19,0x1,0xF)"), std::string::npos) << log;
  EXPECT_NE(log.find("DrawText(\"truncated cell\",2,2,86,15,DT_WORDBREAK|DT_NOCLIP|DT_NOPREFIX)"
                     " -> \"truncated cell\"@2,2 font=Cell Face/-11 text=clInfoText"),
            std::string::npos)
      << log;

  // Word-wrapped within a limit, in the font's own size when asked.
  hint.ShowHintEx({5, 5}, 40, true, cellFont, "aaaa bbbb cccc");
  EXPECT_EQ(hint.BoundsRect(), Rect(5, 5, 5 + 24 + 6, 5 + 39 + 6));
  EXPECT_EQ(hint.Font().Height(), -20);
  hint.HideHint();
  EXPECT_FALSE(hint.HintShowing());
}

}  // namespace
