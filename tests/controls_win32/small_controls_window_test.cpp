// The small controls on the system's own controls under Wine: typing into
// the numeric edits, the colour combo's items drawn into a picture, the
// sorting list view clicked at its header, windows hosted by the plug-in
// panel, the folder picker driven from its dialog, and the browser host's
// answers to the browser.
#include "tests/gui_win32/win32_fixture.h"

#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "controls/plugin_panel.h"
#include "controls/win32/browse_directory.h"
#include "controls/win32/color_combo.h"
#include "controls/win32/extended_edit.h"
#include "controls/win32/sorted_list_view.h"
#include "controls/win32/special_mask_edit.h"
#include "controls/win32/web_browser_with_ui.h"
#include "gui/form.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

using namespace gui;
using testwin::kWindow;

HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

std::string Local(std::string s) {
  for (char& c : s)
    if (c == plat::ThousandsSeparator()) c = ',';
  return s;
}

class SmallControls : public testwin::Win32Test {
 protected:
  SmallControls() {
    form.SetBounds(40, 40, 400, 300);
    form.HandleNeeded();
  }
  template <class T>
  T* Add(int left, int top) {
    auto* c = new T(&form);
    c->SetLeft(left);
    c->SetTop(top);
    c->SetParent(&form);
    return c;
  }
  static void Type(Control& c, const std::string& keys) {
    for (char k : keys) SendMessageA(Hwnd(c), WM_CHAR, WPARAM(static_cast<unsigned char>(k)), 0);
  }
  static std::pair<int, int> Selection(Edit& e) {
    int s = -1, t = -1;
    e.GetSel(s, t);
    return {s, t};
  }
  Form form;
};

TEST_F(SmallControls, TypingIntoTheNumericEditKeepsTheNumberBetweenPrefixAndSuffix) {
  auto* e = Add<TSpecialMaskEdit>(0, 0);
  e->SetPrefix("Speed ");
  e->SetMask("0");
  int changes = 0;
  e->OnChange = [&](Control*) { ++changes; };
  Type(*e, "6699");
  EXPECT_EQ(e->GetText(), "Speed 6699") << "the caret must stay after the number";
  EXPECT_EQ(Selection(*e), std::make_pair(10, 10));
  EXPECT_EQ(e->NumberValue(), 6699);
  EXPECT_EQ(changes, 4) << "one change a key, the reformatting's own not counted";

  // Backspaces down to nothing: the prefix goes with the last digit.
  Type(*e, "\b\b\b\b");
  EXPECT_EQ(e->GetText(), "");
  EXPECT_EQ(e->NumberValue(), 0);

  // Digits in the prefix and suffix stay out of the number; twelve digits
  // stop at the largest 32-bit number.
  e->SetPrefix("Port 2: ");
  e->SetSuffix(" (x3)");
  e->SetMask("#,###");
  Type(*e, "5");
  EXPECT_EQ(e->GetText(), "Port 2: 5 (x3)");
  Type(*e, "0");
  EXPECT_EQ(e->NumberValue(), 50);
  EXPECT_EQ(Selection(*e), std::make_pair(10, 10));
  Type(*e, "1234567890");
  EXPECT_EQ(Local(e->GetText()), "Port 2: 2,147,483,647 (x3)");
  EXPECT_EQ(e->NumberValue(), 2147483647);
  EXPECT_TRUE(reported.empty()) << reported.front();

  // A value set shows with the affixes; a new suffix shows it again.
  e->SetNumberValue(7);
  e->SetSuffix(" KB");
  EXPECT_EQ(e->GetText(), "Port 2: 7 KB");
}

TEST_F(SmallControls, TheExtendedEditShowsItsNumberByThePatternWhenSetAndWhenLeft) {
  auto* e = Add<TExtendedEdit>(0, 0);
  auto* other = Add<Edit>(0, 40);
  e->SetsMask("#,###");
  e->SetText("12345");
  EXPECT_EQ(Local(e->GetText()), "12,345") << "reformatted on its way into the window";
  SetWindowTextA(Hwnd(*e), "x9876");
  EXPECT_EQ(Local(e->GetText()), "9,876");
  EXPECT_EQ(e->iValue(), 9876);
  e->SetiValue(0);
  EXPECT_EQ(e->GetText(), "");

  form.Show();
  e->SetFocus();
  ASSERT_TRUE(e->Focused());
  Type(*e, "12a3");
  EXPECT_EQ(e->GetText(), "12a3");
  other->SetFocus();
  EXPECT_EQ(e->GetText(), "123") << "reformatted on leaving";
  // Without a mask the text stays as typed.
  e->SetsMask("");
  e->SetText("1a2");
  EXPECT_EQ(e->GetText(), "1a2");
  EXPECT_EQ(e->iValue(), 12);
}

TEST_F(SmallControls, TheColourComboDrawsASwatchBeforeEachName) {
  auto* combo = Add<TColorCombo>(0, 0);
  EXPECT_EQ(SendMessageA(Hwnd(*combo), CB_GETCOUNT, 0, 0), 17);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(combo->ColorValue(), Color(0xFFFFFF));
  SendMessageA(Hwnd(*combo), CB_SETCURSEL, 8, 0);
  EXPECT_EQ(combo->ColorValue(), Color(0x0080FF)) << "Orange";

  constexpr Color kPaper = MakeRGB(1, 2, 3);
  auto draw = [&](int index, unsigned state) {
    auto picture = std::make_unique<Bitmap>(100, 16);
    picture->Fill(kPaper);
    DRAWITEMSTRUCT dis{ODT_COMBOBOX, 0, UINT(index), ODA_DRAWENTIRE, state, Hwnd(*combo),
                       reinterpret_cast<HDC>(picture->GetCanvas().Handle()), RECT{0, 0, 100, 16}, 0};
    EXPECT_TRUE(SendMessageA(Hwnd(form), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)));
    return picture;
  };
  auto orange = draw(8, 0);
  EXPECT_EQ(orange->Pixel(1, 1), kWindow) << "the item on the combo's colour";
  EXPECT_EQ(orange->Pixel(3, 3), clBlack) << "the swatch's frame";
  EXPECT_EQ(orange->Pixel(16, 12), clBlack);
  EXPECT_EQ(orange->Pixel(4, 4), Color(0x0080FF));
  EXPECT_EQ(orange->Pixel(15, 11), Color(0x0080FF));
  EXPECT_EQ(orange->Pixel(17, 8), kWindow);
  EXPECT_EQ(orange->Pixel(20, 14), kWindow) << "the name's background kept the item's brush";
  auto selected = draw(8, ODS_SELECTED);
  EXPECT_EQ(selected->Pixel(1, 1), MakeRGB(0, 0, 128)) << "the highlight";
  EXPECT_EQ(selected->Pixel(8, 8), Color(0x0080FF));
  auto disabled = draw(8, ODS_DISABLED);
  EXPECT_EQ(disabled->Pixel(3, 3), kWindow);
  EXPECT_EQ(disabled->Pixel(8, 8), kWindow);
}

TEST_F(SmallControls, AClickOnAHeaderSortsTheRealListView) {
  auto* view = Add<TSortedListView>(0, 0);
  view->SetBounds(0, 0, 300, 200);
  view->AddColumn("Name", 100);
  view->AddColumn("Size", 80);
  view->AddRow({"b.mp3", "10"});
  view->AddRow({"A.mp3", "9"});
  view->AddRow({"c.mp3", "10"});
  view->AddRow({"a.mp3", "999999999999"});
  int clicked = -1;
  view->OnColumnClick = [&](Control*, int column) { clicked = column; };
  auto shown = [&] {
    std::vector<std::string> names;
    char buf[64];
    for (int i = 0; i < 4; ++i) {
      LVITEMA it{};
      it.pszText = buf;
      it.cchTextMax = sizeof buf;
      SendMessageA(Hwnd(*view), LVM_GETITEMTEXTA, WPARAM(i), reinterpret_cast<LPARAM>(&it));
      names.emplace_back(buf);
    }
    return names;
  };
  HWND header = reinterpret_cast<HWND>(SendMessageA(Hwnd(*view), LVM_GETHEADER, 0, 0));
  ASSERT_NE(header, nullptr);
  auto clickHeader = [&](int x) {
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5));
    SendMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(x, 5));
  };
  clickHeader(130);
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(shown(), (std::vector<std::string>{"A.mp3", "b.mp3", "c.mp3", "a.mp3"}));
  clickHeader(130);
  EXPECT_EQ(shown(), (std::vector<std::string>{"a.mp3", "c.mp3", "b.mp3", "A.mp3"}));
  EXPECT_EQ(view->SortDirection(), 0);
  clickHeader(30);
  EXPECT_EQ(clicked, 0);
  EXPECT_EQ(shown(), (std::vector<std::string>{"A.mp3", "a.mp3", "b.mp3", "c.mp3"}));
  EXPECT_EQ(view->Text(0, 1), "9") << "the rows moved with their sub-items";
}

// A top-level window that records its hiding and closing (and is
// destroyed by the close, as an ordinary window is).
struct Recorded {
  static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) events().push_back("close");
    if (msg == WM_SHOWWINDOW && !wp) events().push_back("hide");
    return DefWindowProcA(h, msg, wp, lp);
  }
  static std::vector<std::string>& events() {
    static std::vector<std::string> e;
    return e;
  }
  static HWND Make() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TarnHostedProbe";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50,
                           nullptr, nullptr, wc.hInstance, nullptr);
  }
};

TEST_F(SmallControls, ThePluginPanelHostsRealWindows) {
  auto* panel = Add<TPluginPanel>(0, 0);
  panel->SetBounds(10, 10, 200, 120);
  HWND one = Recorded::Make(), two = Recorded::Make();
  panel->SetHostedWindow(reinterpret_cast<uintptr_t>(one));
  Recorded::events().clear();
  panel->SetHostedWindow(reinterpret_cast<uintptr_t>(two));
  EXPECT_EQ(Recorded::events(), (std::vector<std::string>{"hide", "close"}));
  EXPECT_FALSE(IsWindow(one)) << "closed";
  const auto style = uint32_t(GetWindowLongA(two, GWL_STYLE));
  // Every style bit replaced (the system keeps a top-level window's
  // sibling clipping), and shown.
  EXPECT_EQ(style & 0x40010000u, 0x40010000u);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_POPUP), 0u);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_EQ(GetParent(two), Hwnd(*panel));
  char text[64] = {};
  GetWindowTextA(two, text, sizeof text);
  EXPECT_STREQ(text, "TARNWICK_WINDOW_TRACKER");
  EXPECT_EQ(FindWindowExA(Hwnd(*panel), nullptr, nullptr, "TARNWICK_WINDOW_TRACKER"), two);
  RECT r{};
  GetWindowRect(two, &r);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 120);
  panel->SetBounds(10, 10, 150, 90);
  GetWindowRect(two, &r);
  EXPECT_EQ(r.right - r.left, 150);
  // The hosted window destroyed behind the panel's back: nothing touches it.
  DestroyWindow(two);
  panel->SetBounds(10, 10, 160, 90);
  panel->SetHostedWindow(0);
  EXPECT_EQ(panel->HostedWindow(), 0u);
}

TEST_F(SmallControls, TheFolderPickerAnswersThePresetFolderWhenConfirmed) {
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  TBrowseDirectory picker;
  picker.SetsDirectory(windows);
  bool titled = false;
  picker.OnShown = [&](TBrowseDirectory*, uintptr_t dialog) {
    titled = FindWindowExA(reinterpret_cast<HWND>(dialog), nullptr, nullptr, "Select a Folder") != nullptr;
    PostMessageA(reinterpret_cast<HWND>(dialog), WM_COMMAND, IDOK, 0);
  };
  ASSERT_TRUE(picker.Execute());
  EXPECT_TRUE(plat::SameText(picker.sDirectory(), windows)) << picker.sDirectory();
  EXPECT_TRUE(titled) << "the picker's title";
  // Cancel leaves the folder; so does a preset far too long.
  picker.OnShown = [](TBrowseDirectory*, uintptr_t dialog) {
    PostMessageA(reinterpret_cast<HWND>(dialog), WM_COMMAND, IDCANCEL, 0);
  };
  picker.SetsDirectory(std::string(3000, 'x'));
  EXPECT_FALSE(picker.Execute());
  EXPECT_EQ(picker.sDirectory(), std::string(3000, 'x'));
}

TEST_F(SmallControls, TheBrowserHostAnswersTheBrowserBySettings) {
  auto* host = Add<TWebBrowserWithUI>(0, 0);
  host->HandleNeeded();
  // Whatever this system offers: embedded exactly when it can be.
  EXPECT_EQ(host->Embedded(), WebBrowserAvailable());
  if (!WebBrowserAvailable()) {
    EXPECT_FALSE(host->Navigate("about:blank"));
  }

  IDocHostUIHandler* ui = host->UIHandler();
  DOCHOSTUIINFO info{};
  ASSERT_EQ(ui->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.cbSize, 20u) << "the 32-bit structure";
  EXPECT_EQ(info.dwFlags, 0u);
  host->UISettings.EnableScrollBars = false;
  host->UISettings.EnableFlatScrollBars = true;
  host->UISettings.Enable3DBorder = false;
  ui->GetHostInfo(&info);
  EXPECT_EQ(info.dwFlags, DWORD(DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_FLAT_SCROLLBAR |
                                DOCHOSTUIFLAG_NO3DBORDER));
  EXPECT_EQ(ui->ShowContextMenu(0, nullptr, nullptr, nullptr), S_FALSE) << "the browser's own menu";
  host->UISettings.EnableContextMenu = false;
  EXPECT_EQ(ui->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK) << "swallowed";

  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(ui->GetExternal(&external), S_OK);
  EXPECT_EQ(external, nullptr);
  IDropTarget* target = reinterpret_cast<IDropTarget*>(1);
  EXPECT_EQ(ui->GetDropTarget(nullptr, &target), S_FALSE);
  EXPECT_EQ(target, nullptr);
  LPWSTR url = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(ui->TranslateUrl(0, nullptr, &url), S_FALSE);
  EXPECT_EQ(url, nullptr);
  EXPECT_EQ(ui->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_FALSE);

  // The browser finds the handler from the client site it is given.
  IOleClientSite* site = nullptr;
  ASSERT_EQ(ui->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(&site)), S_OK);
  IDocHostUIHandler* again = nullptr;
  EXPECT_EQ(site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, ui);
  again->Release();
  IOleInPlaceSite* inPlace = nullptr;
  ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)), S_OK);
  HWND w = nullptr;
  EXPECT_EQ(inPlace->GetWindow(&w), S_OK);
  EXPECT_EQ(w, Hwnd(*host));
  inPlace->Release();
  site->Release();
}

}  // namespace
