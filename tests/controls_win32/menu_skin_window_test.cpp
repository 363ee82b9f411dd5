// The menu skin on the system's menus under Wine: measure and draw
// messages for a form's owner-drawn menu bar reach the skin, whose drawing
// is read back from a device-independent section, and a skinned popup
// menu shown by the system has every item measured and drawn.
#include "tests/gui_win32/win32_fixture.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/menu_skin.h"
#include "gui/form.h"
#include "gui/image_list.h"
#include "gui/menu.h"

namespace {

using namespace gui;

HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

// Fixture colours: face (10, 20, 30), shadow (40, 50, 60), the classic
// highlight (0, 0, 128).
constexpr Color kIconColumn = MakeRGB(49, 58, 66);   // face lightened 16 %
constexpr Color kMenu = MakeRGB(221, 222, 224);      // face lightened 86 %
constexpr Color kSelectFill = MakeRGB(173, 173, 214);
constexpr Color kSeparator = MakeRGB(94, 101, 109);  // shadow lightened 25 %
constexpr Color kRed = MakeRGB(255, 0, 0);

class MenuSkinWindow : public testwin::Win32Test {
 protected:
  MenuSkinWindow() {
    form.SetBounds(40, 40, 320, 240);
    // A red square (4..11) on white, the glyph's transparent colour.
    images = new ImageList(&form, 16, 16);
    Bitmap pic(16, 16);
    pic.Fill(clWhite);
    for (int y = 4; y < 12; ++y)
      for (int x = 4; x < 12; ++x) pic.SetPixel(x, y, kRed);
    images->Add(pic);
    bar = new MainMenu(&form);
    bar->SetImages(images);
    file = bar->Items().AddItem("&File");
    open = file->AddItem("&Open");
    open->SetImageIndex(0);
    exit = file->AddItem("E&xit");
    exit->SetShortCut(MakeShortCut('Q', ssCtrl));
    line = file->AddItem("-");
    popup = new PopupMenu(&form);
    popup->SetImages(images);
    popup->Items().AddItem("&Copy")->SetImageIndex(0);
    popup->Items().AddItem("-");
    popup->Items().AddItem("Gone")->SetEnabled(false);
    form.SetMenu(bar);
    form.HandleNeeded();
    skin = new TMenuSkin(&form);
    skin->SetActive(true);
  }

  std::pair<unsigned, unsigned> Measure(MenuItem* item) {
    MEASUREITEMSTRUCT mis{ODT_MENU, 0, item->Command(), 0, 0, reinterpret_cast<ULONG_PTR>(item)};
    EXPECT_TRUE(SendMessageA(Hwnd(form), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)));
    return {mis.itemWidth, mis.itemHeight};
  }
  // The item drawn into a black picture 120 x 24.
  std::unique_ptr<Bitmap> Draw(MenuItem* item, unsigned state, int height = 20) {
    auto picture = std::make_unique<Bitmap>(120, 24);
    picture->Fill(clBlack);
    DRAWITEMSTRUCT dis{ODT_MENU, 0, item->Command(), ODA_DRAWENTIRE, state,
                       reinterpret_cast<HWND>(GetSubMenu(GetMenu(Hwnd(form)), 0)),
                       reinterpret_cast<HDC>(picture->GetCanvas().Handle()), RECT{0, 0, 120, height},
                       reinterpret_cast<ULONG_PTR>(item)};
    EXPECT_TRUE(SendMessageA(Hwnd(form), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)));
    return picture;
  }

  Form form;
  ImageList* images;
  MainMenu* bar;
  MenuItem *file, *open, *exit, *line;
  PopupMenu* popup;
  TMenuSkin* skin;
};

TEST_F(MenuSkinWindow, TheMenuBarsItemsAreMeasuredAndDrawnByTheSkin) {
  ASSERT_TRUE(bar->OwnerDraw());
  EXPECT_EQ(Measure(exit), std::make_pair(107u, 23u)) << "fixed measuring: 14 characters and the column";
  EXPECT_EQ(Measure(line).second, 4u);
  // A bar item has no column: its text and the skin's margins (the system
  // spaces the bar's items).
  EXPECT_EQ(Measure(file).first, 37u);
  // The rest of the bar is filled in the items' bar colour.
  MENUINFO mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIM_BACKGROUND;
  ASSERT_TRUE(GetMenuInfo(GetMenu(Hwnd(form)), &mi));
  LOGBRUSH lb{};
  ASSERT_TRUE(mi.hbrBack && GetObjectA(mi.hbrBack, sizeof lb, &lb));
  EXPECT_EQ(lb.lbColor, COLORREF(ColorToRGB(clMenu)));
  // ... which is the colour the bar's items are drawn on: the menu colour,
  // not the button face (the two differ here).
  ASSERT_NE(ColorToRGB(clMenu), ColorToRGB(clBtnFace));
  EXPECT_EQ(Draw(file, 0)->Pixel(100, 2), ColorToRGB(clMenu));

  // The icon column, the background (one row lower than the item), the
  // glyph dimmed by 30 % with its white left out; selected: the fill, the
  // glyph lifted with its shadow; disabled: the glyph grey and light.
  auto plain = Draw(open, 0);
  EXPECT_EQ(plain->Pixel(3, 2), kIconColumn) << "the glyph's transparent colour";
  EXPECT_EQ(plain->Pixel(60, 20), kMenu);
  EXPECT_EQ(plain->Pixel(60, 21), clBlack);
  EXPECT_EQ(plain->Pixel(10, 10), MakeRGB(255, 76, 76));
  auto selected = Draw(open, ODS_SELECTED);
  EXPECT_EQ(selected->Pixel(60, 10), kSelectFill);
  EXPECT_EQ(selected->Pixel(6, 5), kRed);
  EXPECT_EQ(selected->Pixel(15, 14), MakeRGB(123, 123, 164));
  EXPECT_EQ(Draw(open, ODS_GRAYED)->Pixel(10, 10), MakeRGB(159, 159, 159));
  // A separator: the line from the text start + 7 across the middle.
  auto sep = Draw(line, 0, 4);
  EXPECT_EQ(sep->Pixel(31, 2), kSeparator);
  EXPECT_EQ(sep->Pixel(30, 2), kMenu);
  EXPECT_EQ(sep->Pixel(1, 2), kIconColumn);
  EXPECT_TRUE(reported.empty()) << reported.front();
}

// The whole bar shown by the system is in one colour, in the system's own
// colours (as the program runs): the skin draws the bar's items in the
// colour the system paints the rest of the bar in (it takes no brush of
// the bar's own here), the menu colour, which is not the button face.
TEST_F(MenuSkinWindow, TheMenuBarIsInOneColour) {
  auto system = [](int index) {
    const COLORREF c = GetSysColor(index);
    return MakeRGB(GetRValue(c), GetGValue(c), GetBValue(c));
  };
  ASSERT_NE(system(COLOR_MENU), system(COLOR_BTNFACE)) << "the prefix's colours cannot tell the two apart";
  SetSystemColor(COLOR_MENU, system(COLOR_MENU));
  SetSystemColor(COLOR_BTNFACE, system(COLOR_BTNFACE));
  skin->SetActive(false);
  skin->SetActive(true);
  form.Show();
  const HWND h = Hwnd(form);
  RedrawWindow(h, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  Pump();
  MENUBARINFO bar{};
  bar.cbSize = sizeof bar;
  ASSERT_TRUE(GetMenuBarInfo(h, OBJID_MENU, 0, &bar));
  RECT window;
  GetWindowRect(h, &window);
  HDC dc = GetWindowDC(h);
  const int y = bar.rcBar.top - window.top + 3;
  const COLORREF item = GetPixel(dc, bar.rcBar.left - window.left + 2, y);
  const COLORREF rest = GetPixel(dc, bar.rcBar.right - window.left - 20, y);
  ReleaseDC(h, dc);
  EXPECT_EQ(item, rest);
  EXPECT_EQ(item, GetSysColor(COLOR_MENU));
}

// Escape for the menu the system is tracking now.
void EndMenu() { PostThreadMessageA(GetCurrentThreadId(), WM_KEYDOWN, VK_ESCAPE, 0); }
void CALLBACK EndMenuLate(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

TEST_F(MenuSkinWindow, APopupShownByTheSystemHasEveryItemMeasuredAndDrawn) {
  ASSERT_TRUE(popup->OwnerDraw());
  const int count = popup->Items().Count();
  std::map<MenuItem*, std::pair<int, int>> measured;
  std::map<MenuItem*, std::pair<Rect, unsigned>> drawn;
  // Watch the skin's own hooks at work.
  for (int i = 0; i < count; ++i) {
    MenuItem* item = popup->Items().Items(i);
    ASSERT_TRUE(skin->SkinsItem(*item));
    auto measure = item->OnMeasureItem;
    auto draw = item->OnDrawItem;
    item->OnMeasureItem = [&, measure, item](Component* s, Canvas& c, int& w, int& h) {
      measure(s, c, w, h);
      measured[item] = {w, h};
    };
    item->OnDrawItem = [&, draw, item](Component* s, Canvas& c, const Rect& r, unsigned state) {
      draw(s, c, r, state);
      drawn[item] = {r, state};
      if (int(drawn.size()) == count) EndMenu();
    };
  }
  // Should the menu never be drawn, it is ended all the same (and the
  // counts below fail).
  const UINT_PTR guard = SetTimer(nullptr, 0, 20000, &EndMenuLate);
  popup->Popup(100, 100);
  KillTimer(nullptr, guard);

  ASSERT_EQ(int(measured.size()), count);
  ASSERT_EQ(int(drawn.size()), count);
  MenuItem* copy = popup->Items().Items(0);
  MenuItem* sep = popup->Items().Items(1);
  MenuItem* gone = popup->Items().Items(2);
  EXPECT_EQ(measured[copy], std::make_pair(5 * 6 + 5 - 6 + 24, 23));
  EXPECT_EQ(measured[sep].second, 4);
  for (auto& [item, d] : drawn) {
    EXPECT_EQ(d.first.Height(), measured[item].second) << item->Caption();
    EXPECT_EQ(d.first.Width(), drawn[copy].first.Width()) << "one width for the popup";
  }
  EXPECT_GE(drawn[copy].first.Width(), measured[copy].first);
  EXPECT_TRUE(drawn[gone].second & ODS_GRAYED);
  EXPECT_TRUE(reported.empty()) << reported.front();
}

}  // namespace
