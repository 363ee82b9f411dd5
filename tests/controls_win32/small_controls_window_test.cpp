// The small controls on the system's own controls under Wine: typing into
// the numeric edits, the colour combo's items drawn into a picture, the
// sorting list view clicked at its header, real windows hosted by the
// plug-in panel, the folder picker driven from its dialog, and the browser
// host's answers to the browser.
#include "tests/gui_win32/win32_fixture.h"

#include <commctrl.h>

#include <memory>
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
  T* Add() {
    auto* c = new T(&form);
    c->SetParent(&form);
    return c;
  }
  static void Type(Control& c, const std::string& keys) {
    for (char k : keys) SendMessageA(Hwnd(c), WM_CHAR, WPARAM(static_cast<unsigned char>(k)), 0);
  }
  static int Caret(Edit& e) {
    int s = -1, t = -1;
    e.GetSel(s, t);
    return s == t ? s : -1;
  }
  Form form;
};

TEST_F(SmallControls, TypingIntoTheNumericEditKeepsTheNumberBetweenPrefixAndSuffix) {
  auto* e = Add<TSpecialMaskEdit>();
  e->SetPrefix("Speed ");
  e->SetMask("0");
  int changes = 0;
  e->OnChange = [&](Control*) { ++changes; };
  Type(*e, "6699");
  EXPECT_EQ(e->GetText(), "Speed 6699") << "the caret must stay after the number";
  EXPECT_EQ(Caret(*e), 10);
  EXPECT_EQ(e->NumberValue(), 6699);
  EXPECT_EQ(changes, 4) << "one change a key, the reformatting's own not counted";
  Type(*e, "\b\b\b\b");
  EXPECT_EQ(e->GetText(), "") << "the prefix goes with the last digit";

  // Digits of the prefix and suffix stay out; too many digits stop at the
  // largest 32-bit number.
  e->SetPrefix("Port 2: ");
  e->SetSuffix(" (x3)");
  e->SetMask("#,###");
  Type(*e, "50");
  EXPECT_EQ(e->GetText(), "Port 2: 50 (x3)");
  EXPECT_EQ(Caret(*e), 10);
  Type(*e, "1234567890");
  EXPECT_EQ(Local(e->GetText()), "Port 2: 2,147,483,647 (x3)");
  EXPECT_EQ(e->NumberValue(), 2147483647);
  e->SetNumberValue(7);
  e->SetSuffix(" KB");
  EXPECT_EQ(e->GetText(), "Port 2: 7 KB");
  EXPECT_TRUE(reported.empty()) << reported.front();
}

TEST_F(SmallControls, TheExtendedEditShowsItsNumberByThePatternWhenSetAndWhenLeft) {
  auto* e = Add<TExtendedEdit>();
  auto* other = Add<Edit>();
  e->SetsMask("#,###");
  e->SetText("12345");
  EXPECT_EQ(Local(e->GetText()), "12,345") << "reformatted on its way into the window";
  e->SetiValue(0);
  EXPECT_EQ(e->GetText(), "");
  form.Show();
  e->SetFocus();
  ASSERT_TRUE(e->Focused());
  Type(*e, "12a3");
  EXPECT_EQ(e->GetText(), "12a3");
  other->SetFocus();
  EXPECT_EQ(e->GetText(), "123") << "reformatted on leaving";
  EXPECT_EQ(e->iValue(), 123);
}

TEST_F(SmallControls, TheColourComboDrawsASwatchBeforeEachName) {
  auto* combo = Add<TColorCombo>();
  EXPECT_EQ(SendMessageA(Hwnd(*combo), CB_GETCOUNT, 0, 0), 17);
  EXPECT_EQ(combo->ColorValue(), Color(0xFFFFFF)) << "White, selected when made";
  SendMessageA(Hwnd(*combo), CB_SETCURSEL, 8, 0);
  EXPECT_EQ(combo->ColorValue(), Color(0x0080FF)) << "Orange";
  auto draw = [&](unsigned state) {
    auto picture = std::make_unique<Bitmap>(100, 16);
    DRAWITEMSTRUCT dis{ODT_COMBOBOX, 0, 8, ODA_DRAWENTIRE, state, Hwnd(*combo),
                       reinterpret_cast<HDC>(picture->GetCanvas().Handle()), RECT{0, 0, 100, 16}, 0};
    EXPECT_TRUE(SendMessageA(Hwnd(form), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)));
    return picture;
  };
  auto orange = draw(0);
  EXPECT_EQ(orange->Pixel(1, 1), kWindow) << "the item on the combo's colour";
  EXPECT_EQ(orange->Pixel(3, 3), clBlack) << "the swatch's frame";
  EXPECT_EQ(orange->Pixel(16, 12), clBlack);
  EXPECT_EQ(orange->Pixel(4, 4), Color(0x0080FF));
  EXPECT_EQ(orange->Pixel(20, 14), kWindow) << "the name on the item's brush, not the frame's";
  auto disabled = draw(ODS_DISABLED);
  EXPECT_EQ(disabled->Pixel(3, 3), kWindow);
  EXPECT_EQ(disabled->Pixel(8, 8), kWindow);
}

TEST_F(SmallControls, AClickOnAHeaderSortsTheRealListView) {
  auto* view = Add<TSortedListView>();
  view->SetBounds(0, 0, 300, 200);
  view->AddColumn("Name", 100);
  view->AddColumn("Size", 80);
  for (const auto& row : std::vector<std::vector<std::string>>{
           {"b.mp3", "10"}, {"A.mp3", "9"}, {"c.mp3", "10"}, {"a.mp3", "999999999999"}})
    view->AddRow(row);
  auto shown = [&] {
    std::string names;
    char buf[64];
    for (int i = 0; i < 4; ++i) {
      LVITEMA it{};
      it.pszText = buf;
      it.cchTextMax = sizeof buf;
      SendMessageA(Hwnd(*view), LVM_GETITEMTEXTA, WPARAM(i), reinterpret_cast<LPARAM>(&it));
      names += std::string(buf, 1) + " ";
    }
    return names;
  };
  HWND header = reinterpret_cast<HWND>(SendMessageA(Hwnd(*view), LVM_GETHEADER, 0, 0));
  auto click = [&](int x) {
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5));
    SendMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(x, 5));
  };
  int clicked = -1;
  view->OnColumnClick = [&](Control*, int column) { clicked = column; };
  click(130);
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(shown(), "A b c a ") << "9, 10, 10, twelve nines";
  click(130);
  EXPECT_EQ(shown(), "a c b A ");
  click(30);
  EXPECT_EQ(shown(), "A a b c ");
  EXPECT_EQ(view->Text(0, 1), "9") << "the rows moved with their sub-items";
}

// A top-level window that records its hiding and closing (and is
// destroyed by the close, as an ordinary window is).
std::vector<std::string> hostedEvents;
LRESULT CALLBACK HostedProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE || (msg == WM_SHOWWINDOW && !wp)) hostedEvents.push_back(msg == WM_CLOSE ? "close" : "hide");
  return DefWindowProcA(h, msg, wp, lp);
}

TEST_F(SmallControls, ThePluginPanelHostsRealWindows) {
  WNDCLASSA wc{0, &HostedProc, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr, "TarnHosted"};
  RegisterClassA(&wc);
  HWND one = CreateWindowA("TarnHosted", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                           wc.hInstance, nullptr);
  HWND two = CreateWindowA("TarnHosted", "", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, wc.hInstance,
                           nullptr);
  auto* panel = Add<TPluginPanel>();
  panel->SetBounds(10, 10, 200, 120);
  panel->SetHostedWindow(reinterpret_cast<uintptr_t>(one));
  hostedEvents.clear();
  panel->SetHostedWindow(reinterpret_cast<uintptr_t>(two));
  EXPECT_EQ(hostedEvents, (std::vector<std::string>{"hide", "close"}));
  EXPECT_FALSE(IsWindow(one));
  // Every style bit replaced (the system keeps a top-level window's
  // sibling clipping), shown, inside the panel, found by its text.
  const auto style = uint32_t(GetWindowLongA(two, GWL_STYLE));
  EXPECT_EQ(style & (0x40010000u | WS_CAPTION | WS_THICKFRAME | WS_VISIBLE), 0x40010000u | WS_VISIBLE);
  EXPECT_EQ(FindWindowExA(Hwnd(*panel), nullptr, nullptr, "TARNWICK_WINDOW_TRACKER"), two);
  panel->SetBounds(10, 10, 150, 90);
  RECT r{};
  GetWindowRect(two, &r);
  EXPECT_EQ(std::make_pair(r.right - r.left, r.bottom - r.top), std::make_pair(150L, 90L));
  DestroyWindow(two);  // behind the panel's back: nothing touches it
  panel->SetBounds(10, 10, 160, 90);
  panel->SetHostedWindow(0);
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
  EXPECT_TRUE(titled);
  // Cancel leaves the folder (a preset far too long too).
  picker.OnShown = [](TBrowseDirectory*, uintptr_t dialog) {
    PostMessageA(reinterpret_cast<HWND>(dialog), WM_COMMAND, IDCANCEL, 0);
  };
  picker.SetsDirectory(std::string(3000, 'x'));
  EXPECT_FALSE(picker.Execute());
  EXPECT_EQ(picker.sDirectory(), std::string(3000, 'x'));
}

TEST_F(SmallControls, TheBrowserHostAnswersTheBrowserBySettings) {
  auto* host = Add<TWebBrowserWithUI>();
  host->HandleNeeded();
  // Embedded exactly when this system can make the control and its engine.
  EXPECT_EQ(host->Embedded(), WebBrowserAvailable());
  EXPECT_EQ(host->Navigate("about:blank"), WebBrowserAvailable());

  IDocHostUIHandler* ui = host->UIHandler();
  DOCHOSTUIINFO info{};
  ASSERT_EQ(ui->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.cbSize, 20u) << "the 32-bit structure";
  EXPECT_EQ(info.dwFlags, 0u);
  host->UISettings.EnableScrollBars = false;
  host->UISettings.EnableFlatScrollBars = true;
  host->UISettings.Enable3DBorder = false;
  ui->GetHostInfo(&info);
  EXPECT_EQ(info.dwFlags, DWORD(DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_FLAT_SCROLLBAR | DOCHOSTUIFLAG_NO3DBORDER));
  EXPECT_EQ(ui->ShowContextMenu(0, nullptr, nullptr, nullptr), S_FALSE) << "the browser's own menu";
  host->UISettings.EnableContextMenu = false;
  EXPECT_EQ(ui->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK) << "swallowed";
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(ui->GetExternal(&external), S_OK);
  EXPECT_EQ(external, nullptr);
  LPWSTR url = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(ui->TranslateUrl(0, nullptr, &url), S_FALSE);
  EXPECT_EQ(url, nullptr);
  // The browser finds the handler through the client site it is given.
  IOleClientSite* site = nullptr;
  ASSERT_EQ(ui->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(&site)), S_OK);
  IDocHostUIHandler* again = nullptr;
  EXPECT_EQ(site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, ui);
  again->Release();
  site->Release();
}

}  // namespace
