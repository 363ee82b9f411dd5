// The standard controls, scroll bars, focus travel and the clipboard on the
// window system.
#include "tests/gui_win32/win32_fixture.h"

#include <commctrl.h>

#include "gui/clipboard.h"
#include "gui/form.h"
#include "gui/win32/std_controls.h"
#include "gui/win32/win32_system.h"

namespace {

using namespace gui;
using testwin::kShadow;

constexpr Color kPaper = MakeRGB(250, 250, 250);

HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

class StdControlsTest : public testwin::Win32Test {
 protected:
  StdControlsTest() { form.SetBounds(30, 30, 400, 300); }
  Form form;
};

TEST_F(StdControlsTest, TabTravelsInTabOrderAndEnterPressesTheDefaultButton) {
  auto* a = new Edit(&form);
  a->SetBounds(8, 8, 80, 21);
  a->SetParent(&form);
  auto* b = new Edit(&form);
  b->SetBounds(8, 40, 80, 21);
  b->SetParent(&form);
  auto* go = new Button(&form);
  go->SetBounds(8, 80, 75, 25);
  go->SetDefault(true);
  go->SetModalResult(mrYes);
  go->SetParent(&form);
  b->SetTabOrder(0);  // b first, then a, then the button

  form.HandleNeeded();
  plat::MessageTarget watchdog;  // a run that never ends fails instead
  watchdog.SetTimer(1, 30000, [&] { form.SetModalResult(mrAbort); });
  std::vector<HWND> focus;
  auto step = [&](WPARAM key) {
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 0);
  };
  // Focus starts on the first in tab order; each Tab moves one on; Enter
  // on an edit presses the default button.
  watchdog.SetTimer(2, 1, [&] {
    focus.push_back(GetFocus());
    if (focus.size() < 4) {
      step(VK_TAB);
    } else {
      watchdog.KillTimer(2);
      step(VK_RETURN);
    }
  });
  EXPECT_EQ(form.ShowModal(), mrYes);
  ASSERT_EQ(focus.size(), 4u);
  EXPECT_EQ(focus[0], Hwnd(*b));
  EXPECT_EQ(focus[1], Hwnd(*a));
  EXPECT_EQ(focus[2], Hwnd(*go));
  EXPECT_EQ(focus[3], Hwnd(*b)) << "Tab wraps around";
}

// A control with scroll bars of its own.
class Scrolled : public Control {
 public:
  explicit Scrolled(Component* owner) : Control(owner) {}

 protected:
  void CreateParams(WindowParams& p) override {
    Control::CreateParams(p);
    p.Style |= WS_VSCROLL | WS_HSCROLL;
  }
};

TEST_F(StdControlsTest, ScrollPositionsAreKeptWithinTheRangeLessThePage) {
  auto* s = new Scrolled(&form);
  s->SetBounds(0, 0, 100, 100);
  s->SetParent(&form);
  ScrollInfo in;
  in.Mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  in.Min = 0;
  in.Max = 99;
  in.Page = 10;
  in.Pos = 500;
  EXPECT_EQ(s->SetScrollInfo(SB_VERT, in), 90);
  ScrollInfo out;
  out.Mask = SIF_ALL;
  ASSERT_TRUE(s->GetScrollInfo(SB_VERT, out));
  EXPECT_EQ(out.Pos, 90);
  EXPECT_EQ(out.Max, 99);
  EXPECT_EQ(out.Page, 10u);
  in.Pos = -5;
  EXPECT_EQ(s->SetScrollInfo(SB_HORZ, in), 0);
}

TEST_F(StdControlsTest, PagesFillTheTabsDisplayAreaAndOnlyTheSelectedOneShows) {
  auto* tabs = new TabControl(&form);
  tabs->SetAlign(alClient);
  tabs->SetParent(&form);
  TabSheet* one = tabs->AddPage("One");
  TabSheet* two = tabs->AddPage("Two");
  auto* status = new StatusBar(&form);
  status->SetParent(&form);
  form.HandleNeeded();
  EXPECT_EQ(SendMessageA(Hwnd(*tabs), TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_TRUE(one->Visible());
  EXPECT_FALSE(two->Visible());
  tabs->SetPageIndex(1);
  EXPECT_FALSE(one->Visible());
  EXPECT_TRUE(two->Visible());
  // The page fills what the tabs leave of the control.
  RECT display{0, 0, tabs->ClientWidth(), tabs->ClientHeight()};
  SendMessageA(Hwnd(*tabs), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  EXPECT_EQ(two->BoundsRect(), Rect(display.left, display.top, display.right, display.bottom));
  // The status bar keeps to the bottom, below the tabs.
  EXPECT_EQ(status->Top() + status->Height(), form.ClientHeight());
  EXPECT_EQ(tabs->Top() + tabs->Height(), status->Top());
}

// A system control hears of its new size: a multi-line edit made small
// and then aligned to fill its form wraps its lines at its new width.
// A list view's row chosen before its window exists is selected once it does.
TEST_F(StdControlsTest, SystemControlsFollowTheirSizeAndKeepTheirSelection) {
  auto* memo = new Memo(&form);
  memo->SetParent(&form);
  form.HandleNeeded();
  memo->SetAlign(alClient);
  RECT text{};
  SendMessageA(Hwnd(*memo), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  EXPECT_GT(text.right - text.left, memo->ClientWidth() - 12);
  EXPECT_GT(text.bottom - text.top, memo->ClientHeight() - 12);
  form.SetBounds(30, 30, 500, 350);
  SendMessageA(Hwnd(*memo), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  EXPECT_GT(text.right - text.left, memo->ClientWidth() - 12);

  auto* list = new ListView(&form);
  list->AddColumn("Name", 80);
  list->AddRow({"a"});
  list->AddRow({"b"});
  list->SetSelected(1);
  EXPECT_EQ(list->Selected(), 1);
  list->SetParent(&form);
  list->HandleNeeded();
  EXPECT_EQ(SendMessageA(Hwnd(*list), LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), 1);
}

TEST_F(StdControlsTest, AnOwnerDrawnComboDrawsItsItemsThroughTheHandler) {
  auto* combo = new ComboBox(&form, true);
  combo->AddItem("red");
  combo->AddItem("green");
  combo->SetItemIndex(1);
  combo->SetParent(&form);
  int drawnIndex = -1;
  Color brush = clDefault;
  combo->OnDrawItem = [&](Control*, int index, Canvas& c, const Rect& r, unsigned) {
    drawnIndex = index;
    brush = c.Brush().Color();
    c.Brush().SetColor(clBtnShadow);
    c.FillRect(r);
  };
  EXPECT_EQ(combo->ItemIndex(), 1);
  // The parent hands the drawing to the combo box.
  Bitmap target(60, 20);
  target.Fill(kPaper);
  DRAWITEMSTRUCT dis{ODT_COMBOBOX, 0, 1, ODA_DRAWENTIRE, ODS_SELECTED, Hwnd(*combo),
                     reinterpret_cast<HDC>(target.GetCanvas().Handle()), RECT{0, 0, 50, 16}, 0};
  SendMessageA(Hwnd(form), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
  EXPECT_EQ(drawnIndex, 1);
  EXPECT_EQ(brush, clHighlight) << "a selected item's brush is ready in the highlight colour";
  EXPECT_EQ(target.Pixel(49, 15), kShadow);
  EXPECT_EQ(target.Pixel(50, 15), kPaper);
}

// A system button whose mouse another window takes mid-press (a message
// box, say) ends its tracking: it is up again and its release clicks
// nothing; a press after that clicks as ever.
TEST_F(StdControlsTest, APressedButtonHearsThatItLostTheMouse) {
  auto* button = new Button(&form);
  button->SetBounds(8, 8, 75, 25);
  button->SetParent(&form);
  int clicks = 0;
  button->OnClick = [&](Control*) { ++clicks; };
  Form box;
  box.SetBounds(300, 200, 100, 60);
  form.Show();
  box.Show();
  Pump();
  const HWND b = Hwnd(*button);
  const LPARAM inside = MAKELPARAM(10, 10);
  auto pushed = [&] { return (SendMessageA(b, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0; };

  SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  ASSERT_EQ(GetCapture(), b);
  ASSERT_TRUE(pushed());
  SetCapture(Hwnd(box));
  EXPECT_FALSE(pushed()) << "drawn pressed with nothing holding it";
  ReleaseCapture();
  SendMessageA(b, WM_LBUTTONUP, 0, inside);
  EXPECT_EQ(clicks, 0);
  SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  SendMessageA(b, WM_LBUTTONUP, 0, inside);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(pushed());
}

TEST(Win32Clipboard, TextRoundTripsByteForByte) {
  Win32Clipboard clip;
  const std::string text = "caf\xE9 \x80 line\r\nnext";
  ASSERT_TRUE(clip.SetText(text));
  EXPECT_TRUE(clip.HasText());
  EXPECT_EQ(clip.GetText(), text);
  ASSERT_TRUE(clip.SetText(""));
  EXPECT_EQ(clip.GetText(), "");
}

}  // namespace
