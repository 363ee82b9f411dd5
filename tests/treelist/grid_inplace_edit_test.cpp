#include "treelist/grid_inplace_edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/fake_peer.h"
#include "gui/recording_canvas.h"
#include "treelist/grid_edit_error.h"
#include "treelist/grid_inplace_text_edit.h"

namespace {

using namespace gui;

// A container answering as a grid would, recording what reaches it.
class Host : public TCustomGridContainer {
 public:
  using TCustomGridContainer::TCustomGridContainer;
  bool modify = true, accept = true, promote = false;
  std::vector<uint16_t> keys;
  std::function<void(uint16_t)> onKey;
  std::function<void(Control* child)> onChanged;
  std::function<void()> onEditorFocused;
  int dblClicks = 0, vscrolls = 0, cancelModes = 0;
  void EditorFocused() override {
    if (onEditorFocused) onEditorFocused();
  }
  bool CanEditModify() const override { return modify; }
  bool CanEditAcceptKey(char) const override { return accept; }
  bool AllowClickPromotion() const override { return promote; }

 protected:
  void KeyDown(uint16_t& key, ShiftState) override {
    keys.push_back(key);
    if (onKey) onKey(key);
  }
  void DblClick() override { ++dblClicks; }
  void WndProc(Message& m) override {
    if (m.Msg == WM_VSCROLL) ++vscrolls;
    if (m.Msg == CM_CANCELMODE) ++cancelModes;
    if (m.Msg == CM_CHANGED && onChanged) onChanged(reinterpret_cast<Control*>(m.LParam));
    TCustomGridContainer::WndProc(m);
  }
};

// An editor whose text lives in its fake window; what reaches the window's
// own handling and the beeps are recorded.
class Editor : public TGridInplaceEdit {
 public:
  using TGridInplaceEdit::TGridInplaceEdit;
  bool HasEditableText() const override { return true; }
  void Type(const std::string& s) {
    SetWindowText(WindowText() + s);
    SetModified(true);
  }
  std::vector<std::string> toWindow;
  std::function<void(const char*)> onFocusMessage;  // the library's handling
  int beeps = 0;
  bool scrollBars = false;
  using TGridInplaceEdit::Change;
  using TGridInplaceEdit::DrawNonClient;

 protected:
  void CreateParams(WindowParams& p) override {
    TGridInplaceEdit::CreateParams(p);
    if (scrollBars) p.Style |= WS_HSCROLL | WS_VSCROLL;
  }
  void FocusIn(uintptr_t) override {
    if (onFocusMessage) onFocusMessage("library in");
  }
  void FocusOut(uintptr_t) override {
    if (onFocusMessage) onFocusMessage("library out");
  }
  void DefaultHandler(Message& m) override {
    if (m.Msg == WM_KEYDOWN) toWindow.push_back("key " + std::to_string(m.WParam));
    if (m.Msg == WM_NCPAINT) toWindow.push_back("nc paint");
    if (m.Msg == WM_CHAR) toWindow.push_back(std::string("char ") + char(m.WParam));
    TGridInplaceEdit::DefaultHandler(m);
  }
  void Beep() override { ++beeps; }
};

struct Fixture {
  FakeDesktop desk;
  Host host;
  Editor* ed = new Editor(&host);
  std::vector<std::string> reported;
  ExceptionReporter previous = SetExceptionReporter(
      [this](const std::string& what, Control*) { reported.push_back(what); });
  Fixture() {
    host.SetBounds(0, 0, 200, 100);
    ed->ShowAt({10, 10, 90, 30});
  }
  ~Fixture() { SetExceptionReporter(previous); }
};

TEST(GridInplaceEdit, RejectedValueAbandonsTheMoveKeepsTheFocusAndEscapeRestores) {
  Fixture f;
  Editor& ed = *f.ed;
  EXPECT_EQ(ed.BoundsRect(), Rect(8, 8, 92, 32));  // the cell enlarged by 2
  ASSERT_TRUE(ed.Focused());
  int checks = 0;
  bool accept = false;
  std::string message = kGridEditInvalidInputText;
  ed.OnValidate = [&](Control*, std::string& error, bool& ok) {
    ++checks;
    ok = accept;
    error = message;
  };
  ed.Type("abc");
  f.desk.KeyDown(ed, VK_DOWN);
  EXPECT_EQ(f.reported, std::vector<std::string>{"Invalid input value. Use escape key to abandon changes"});
  EXPECT_TRUE(f.host.keys.empty()) << "the grid never saw the key";
  EXPECT_TRUE(ed.Focused());
  EXPECT_EQ(ed.beeps, 1);

  // Leaving for the grid is turned down too: the focus comes back, without
  // entering the editor afresh (Escape still knows the old text).
  message = "Not a price";
  f.host.SetFocus();
  EXPECT_TRUE(ed.Focused());
  EXPECT_EQ(f.reported.back(), "Not a price");

  f.desk.KeyDown(ed, VK_ESCAPE);
  EXPECT_EQ(ed.GetDisplayText(), "");
  EXPECT_FALSE(ed.GetModified());
  EXPECT_EQ(f.host.keys, std::vector<uint16_t>{VK_ESCAPE});
  f.desk.KeyDown(ed, VK_DOWN);  // unmodified: straight to the grid
  EXPECT_EQ(f.host.keys, (std::vector<uint16_t>{VK_ESCAPE, VK_DOWN}));

  // An accepted value is checked once, not again when the grid's move
  // takes the focus away in the middle of the key.
  checks = 0;
  accept = true;
  ed.Type("x");
  f.host.onKey = [&](uint16_t) { f.host.SetFocus(); };
  f.desk.KeyDown(ed, VK_RETURN);
  EXPECT_EQ(checks, 1);
  EXPECT_TRUE(f.host.Focused());
  EXPECT_EQ(f.reported.size(), 2u);
}

TEST(GridInplaceEdit, KeysTheGridForbidsNeverReachTheWindow) {
  Fixture f;
  Editor& ed = *f.ed;
  f.host.modify = false;
  f.desk.env.SetKeyDown(VK_SHIFT, true);
  f.desk.KeyDown(ed, VK_INSERT);  // Shift+Insert pastes
  f.desk.KeyDown(ed, VK_DELETE);  // Shift+Delete cuts
  f.desk.env.SetKeyDown(VK_SHIFT, false);
  f.desk.KeyDown(ed, VK_BACK);
  f.desk.env.SetKeyDown(VK_CONTROL, true);
  f.desk.KeyDown(ed, 'V');
  f.desk.KeyDown(ed, 'C');  // copying changes nothing
  f.desk.env.SetKeyDown(VK_CONTROL, false);
  f.desk.Char(ed, 'a');  // accepted by the grid, but the value may not change
  f.desk.Char(ed, '\t');
  f.desk.Char(ed, '\x03');
  EXPECT_EQ(ed.toWindow, (std::vector<std::string>{"key 67", "char \x03"}));
  EXPECT_EQ(ed.beeps, 0);
  f.host.accept = false;
  f.desk.Char(ed, '\xE9');  // printable in the upper half too
  EXPECT_EQ(ed.beeps, 1);
  EXPECT_EQ(ed.toWindow.size(), 2u);

  // Insert without modifiers is the grid's.
  f.desk.KeyDown(ed, VK_INSERT);
  EXPECT_EQ(f.host.keys, std::vector<uint16_t>{VK_INSERT});
}

TEST(GridInplaceEdit, AClickSoonAfterOpeningIsADoubleClickAcrossTheTickWrap) {
  Fixture f;
  Editor& ed = *f.ed;
  f.host.promote = true;
  f.desk.env.SetTickCount(0xFFFFFF00u);
  ed.SetOpeningClickTick(f.desk.env.TickCount());
  f.desk.env.AdvanceTicks(0x150);  // 336 ms later, past the wrap to 0
  f.desk.Click(ed, 5, 5);
  EXPECT_EQ(f.host.dblClicks, 1);
  EXPECT_FALSE(ed.HasOpeningClickTick());
  f.desk.Click(ed, 5, 5);  // the tick is used up
  EXPECT_EQ(f.host.dblClicks, 1);

  ed.SetOpeningClickTick(f.desk.env.TickCount());
  f.desk.env.AdvanceTicks(500);  // the double-click time itself is too late
  f.desk.Click(ed, 5, 5);
  f.host.promote = false;
  ed.SetOpeningClickTick(f.desk.env.TickCount());
  f.desk.Click(ed, 5, 5);
  EXPECT_EQ(f.host.dblClicks, 1);
  EXPECT_FALSE(ed.HasOpeningClickTick());

  // The wheel scrolls the grid, after a cancel-mode notification.
  f.desk.Wheel(ed, -120);
  EXPECT_EQ(f.host.cancelModes, 1);
  EXPECT_EQ(f.host.vscrolls, 3);
}

TEST(GridInplaceEdit, ViewDataFollowsHotTrackingTransparenceAndTheDisabledLook) {
  Fixture f;
  Editor& ed = *f.ed;
  f.host.SetFocus();  // active only through the mouse
  ed.Style().SetHotTrack(true);
  struct {
    TGridEditBorderStyle style;
    TGridEditBorderStyle hot;
    TGridEditButtonViewStyle hotButton, coldButton;
  } const cases[] = {
      {xbsNone, xbsFlat, btsFlat, btsSimple},
      {xbsSingle, xbsThick, bts3D, btsHotFlat},
      {xbsFlat, xbs3D, bts3D, btsFlat},
      {xbsThick, xbsThick, bts3D, bts3D},
      {xbs3D, xbs3D, bts3D, bts3D},
  };
  for (const auto& c : cases) {
    ed.Style().SetBorderStyle(c.style);
    f.desk.Send(ed, CM_MOUSEENTER);
    auto hot = ed.CreateViewData(false);
    f.desk.Send(ed, CM_MOUSELEAVE);
    auto cold = ed.CreateViewData(false);
    EXPECT_EQ(hot->BorderStyle, c.hot) << int(c.style);
    EXPECT_EQ(cold->BorderStyle, c.style) << int(c.style);
    EXPECT_EQ(hot->ButtonStyle, c.hotButton) << int(c.style);
    EXPECT_EQ(cold->ButtonStyle, c.coldButton) << int(c.style);
  }
  const bool transparent[][2] = {{false, false}, {true, false}, {true, true}, {false, false}};
  for (int t = ebtNone; t <= ebtHideInactive; ++t) {
    ed.Style().SetButtonTransparence(TGridEditButtonTransparence(t));
    EXPECT_EQ(ed.CreateViewData(false)->ButtonTransparent, transparent[t][0]) << t;
    f.desk.Send(ed, CM_MOUSEENTER);
    EXPECT_EQ(ed.CreateViewData(false)->ButtonTransparent, transparent[t][1]) << t;
    f.desk.Send(ed, CM_MOUSELEAVE);
  }
  ed.SetSelected(true);
  ed.SetColor(clInfoBk);
  auto vd = ed.CreateViewData(false);
  EXPECT_TRUE(vd->DrawSelected);
  EXPECT_EQ(vd->BrushColor, clInfoBk);
  ed.SetEnabled(false);
  vd = ed.CreateViewData(false);
  EXPECT_EQ(vd->BrushColor, clBtnFace);
  EXPECT_EQ(vd->TextColor, clBtnShadow);
  EXPECT_EQ(vd->GetCursor(), Cursor::Default);  // the text's own cursor
}

// Getting the focus: the library's handling, the grid told, then the
// editor's OnEnter; losing it: OnExit, then the library's handling.
TEST(GridInplaceEdit, TheGridHearsOfTheFocusBeforeTheEditorsOwnEvents) {
  Fixture f;
  Editor& ed = *f.ed;
  std::vector<std::string> order;
  ed.onFocusMessage = [&](const char* what) { order.push_back(what); };
  f.host.onEditorFocused = [&] { order.push_back("grid"); };
  ed.OnEnter = [&](Control*) { order.push_back("enter"); };
  ed.OnExit = [&](Control*) { order.push_back("exit"); };
  f.host.SetFocus();
  order.clear();
  ed.SetFocus();
  f.host.SetFocus();
  EXPECT_EQ(order, (std::vector<std::string>{"library in", "grid", "enter", "exit", "library out"}));
}

// A change reaches the parent before OnChange; with both scroll bars shown
// (the window's style as it is now) the window draws them and the frame
// fills the corner between them in the button face.
TEST(GridInplaceEdit, ChangeTellsTheParentFirstAndTheFrameFillsTheScrollCorner) {
  Fixture f;
  Editor& ed = *f.ed;
  std::vector<std::string> heard;
  f.host.onChanged = [&](Control* child) { heard.push_back(child == &ed ? "parent" : "?"); };
  ed.OnChange = [&](Control*) { heard.push_back("OnChange"); };
  ed.Change();
  EXPECT_EQ(heard, (std::vector<std::string>{"parent", "OnChange"}));

  auto frame = [&] {
    RecordingCanvas c({84, 24});
    ed.DrawNonClient(c);
    return c.LogText();
  };
  const std::string corner = "FillRect(66,6,82,22) brush=clBtnFace";
  EXPECT_EQ(frame().find(corner), std::string::npos);
  f.desk.Send(ed, WM_NCPAINT, 1);
  EXPECT_TRUE(ed.toWindow.empty());  // no bars: the border is all there is
  f.desk.PeerOf(ed).ShowScrollBar(SB_VERT, true);
  EXPECT_EQ(frame().find(corner), std::string::npos);
  f.desk.PeerOf(ed).ShowScrollBar(SB_HORZ, true);
  EXPECT_NE(frame().find(corner), std::string::npos) << frame();
  f.desk.Send(ed, WM_NCPAINT, 1);
  EXPECT_EQ(ed.toWindow, std::vector<std::string>{"nc paint"});
  ed.scrollBars = true;  // made with them, then hidden: none drawn
  ed.RecreateWnd();
  f.desk.PeerOf(ed).ShowScrollBar(SB_BOTH, false);
  EXPECT_EQ(frame().find(corner), std::string::npos);
}

TEST(GridInplaceEdit, BorderWidthsRegionAndBorderDrawing) {
  TCustomGridContainer host;  // the shadow brush lives while a container does
  TGridEditViewData vd;
  vd.Bounds = {0, 0, 40, 20};
  TGridEditViewInfo info;
  Region region;
  const int widths[] = {0, 1, 2, 2, 2};
  for (int s = xbsNone; s <= xbs3D; ++s) {
    vd.BorderStyle = TGridEditBorderStyle(s);
    vd.CalcViewInfo(info);
    EXPECT_EQ(info.BorderWidth, widths[s]);
    EXPECT_EQ(info.InnerRect, Rect(0, 0, 40, 20).Inflate(-widths[s], -widths[s]));
    EXPECT_EQ(vd.GetEditRegion(info, region), widths[s] < 2) << s;  // thin borders: a region
  }
  vd.Edges = edgLeft | edgTop;
  vd.CalcViewInfo(info);
  EXPECT_EQ(info.InnerRect, Rect(2, 2, 40, 20));
  EXPECT_TRUE(vd.GetEditRegion(info, region));
  EXPECT_EQ(region, Region(Rect(0, 0, 40, 20)));

  // A shadow: the corners beside it are not the window's.
  vd.Edges = kGridEditAllEdges;
  vd.Shadow = true;
  vd.CalcViewInfo(info);
  EXPECT_EQ(info.BorderRect, Rect(0, 0, 38, 18));
  EXPECT_EQ(info.InnerRect, Rect(2, 2, 36, 16));
  ASSERT_TRUE(vd.GetEditRegion(info, region));
  for (Point in : {Point{0, 0}, Point{39, 19}, Point{37, 1}, Point{39, 2}, Point{2, 19}})
    EXPECT_TRUE(region.Contains(in)) << in.X << "," << in.Y;
  for (Point out : {Point{38, 0}, Point{39, 1}, Point{0, 18}, Point{1, 19}})
    EXPECT_FALSE(region.Contains(out)) << out.X << "," << out.Y;

  RecordingCanvas c({40, 20});
  vd.BorderStyle = xbsThick;
  vd.BorderColor = clRed;
  vd.DrawBorder(c, info);
  EXPECT_EQ(c.LogText(),
            "Save() -> 1\n"
            "FrameRect(0,0,38,18) brush=#FF0000\n"
            "FrameRect(1,1,37,17) brush=#FF0000\n"
            "FillRect(38,2,40,20) brush=clBtnShadow\n"
            "FillRect(2,18,38,20) brush=clBtnShadow\n"
            "Restore(1)\n");
  RecordingCanvas strips({40, 20});
  vd.Shadow = false;
  vd.BorderStyle = xbsSingle;
  vd.Edges = edgRight | edgBottom;
  vd.CalcViewInfo(info);
  vd.DrawBorder(strips, info);
  EXPECT_EQ(strips.LogText(),
            "Save() -> 1\n"
            "FillRect(39,0,40,20) brush=#FF0000\n"
            "FillRect(0,19,40,20) brush=#FF0000\n"
            "Restore(1)\n");
}

TEST(GridInplaceTextEdit, CellTextIsCasedMaskedPlacedAndMeasured) {
  TGridTextEditViewData vd;
  vd.Text = "Open sesame";
  vd.CharCase = ecUpperCase;
  vd.Margins = {3, 1, 0, 0};
  RecordingCanvas plain({100, 20});
  vd.DrawBackground(plain, {0, 0, 100, 20}, false);
  EXPECT_NE(plain.LogText().find("\"OPEN SESAME\""), std::string::npos) << plain.LogText();
  EXPECT_EQ(vd.TextLength, 11);

  vd.PasswordChar = '*';
  vd.SelectionBar = true;
  RecordingCanvas masked({100, 20});
  vd.DrawBackground(masked, {0, 0, 100, 20}, false);
  // Shrunk by 1, the margins, 8 more for the selection bar.
  EXPECT_NE(masked.LogText().find("ExtTextOut(12,2,"), std::string::npos) << masked.LogText();
  EXPECT_NE(masked.LogText().find("\"***********\""), std::string::npos) << masked.LogText();

  RecordingCanvas own({100, 20});
  vd.HasEditableText = true;
  vd.DrawBackground(own, {0, 0, 100, 20}, true);  // the control writes its own text
  EXPECT_EQ(own.LogText(), "");

  // Measuring a word-wrapped text three lines high (6 x 13 pixels a
  // character): only the results change.
  TGridTextEditViewData m;
  m.Text = "aaaa bbbb cccc";
  m.VertLayout = evlWordWrap;
  m.Measuring = true;
  m.LineHeight = 13;
  RecordingCanvas measure({100, 100});
  m.DrawBackground(measure, {0, 0, 34, 100}, false);
  EXPECT_EQ(m.MeasuredHeight, 39);
  EXPECT_EQ(m.LineCount, 3);
  EXPECT_EQ(measure.LogText().find("ExtTextOut"), std::string::npos);
}

TEST(GridInplaceTextEdit, MenuItemsFollowSelectionEditingPasswordAndUndo) {
  TGridTextEditMenuState s;
  s.hasSelection = s.editable = true;
  auto enabled = [&](int tag) { return GridTextEditMenuItemEnabled(tag, s); };
  EXPECT_TRUE(enabled(tmCut) && enabled(tmCopy) && enabled(tmDelete) && enabled(tmSelectAll));
  EXPECT_FALSE(enabled(tmUndo) || enabled(tmRedo) || enabled(tmPaste));
  s.password = true;
  EXPECT_FALSE(enabled(tmCut) || enabled(tmCopy));
  EXPECT_TRUE(enabled(tmDelete));
  s.editable = false;
  s.allSelected = true;
  s.canUndo = s.canRedo = s.canPaste = true;
  EXPECT_FALSE(enabled(tmDelete) || enabled(tmSelectAll));
  EXPECT_TRUE(enabled(tmUndo) && enabled(tmRedo) && enabled(tmPaste) && enabled(tmSeparator));
}

}  // namespace
