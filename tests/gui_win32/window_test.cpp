// Real windows under Wine: messages reach the controls through one
// boundary, painting goes through device-independent sections, forms run
// modally, menus are the system's, the registry store keeps its values.
#include "tests/gui_win32/win32_fixture.h"

#include <commctrl.h>
#include <richedit.h>

#include <stdexcept>

#include "gui/form.h"
#include "gui/image_list.h"
#include "gui/menu.h"
#include "gui/registry_ini_file.h"
#include "gui/win32/std_controls.h"
#include "gui/win32/win32_system.h"

namespace {

using namespace gui;
using testwin::kFace;
using testwin::kShadow;

constexpr Color kPaper = MakeRGB(250, 250, 250);

// A windowed control that records what reaches it and paints itself in
// the shadow colour.
class Probe : public Control {
 public:
  explicit Probe(Component* owner) : Control(owner) {}
  std::vector<uintptr_t> timers;
  std::vector<Rect> clips;

 protected:
  void Timer(uintptr_t id) override { timers.push_back(id); }
  void Paint(Canvas& c, const Rect& clip) override {
    clips.push_back(clip);
    c.Brush().SetColor(clBtnShadow);
    c.FillRect(ClientRect());
  }
};

HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

class WindowTest : public testwin::Win32Test {
 protected:
  WindowTest() {
    form.SetBounds(40, 40, 320, 240);
    probe = new Probe(&form);
    probe->SetBounds(10, 10, 100, 50);
    probe->SetColor(clBtnFace);
    probe->SetParent(&form);
    form.HandleNeeded();
  }
  Form form;
  Probe* probe;
};

TEST_F(WindowTest, AClickReachesTheHandlerAtItsClientPointAndAFailingHandlerIsReported) {
  int x = -1, y = -1, clicks = 0;
  auto record = [&](Control*, MouseButton, ShiftState, int px, int py) {
    x = px;
    y = py;
  };
  // A press and release through the thread's queue and the loop.
  auto click = [&](int px, int py) {
    PostMessageA(Hwnd(*probe), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(px, py));
    PostMessageA(Hwnd(*probe), WM_LBUTTONUP, 0, MAKELPARAM(px, py));
    Pump();
  };
  probe->OnMouseDown = record;
  probe->OnClick = [&](Control*) { ++clicks; };
  click(37, 21);
  EXPECT_EQ(x, 37);
  EXPECT_EQ(y, 21);
  EXPECT_EQ(clicks, 1);

  // The exception stops at the window's boundary and is reported there.
  probe->OnMouseDown = [](Control*, MouseButton, ShiftState, int, int) {
    throw std::runtime_error("the handler failed");
  };
  SendMessageA(Hwnd(*probe), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6));
  SendMessageA(Hwnd(*probe), WM_LBUTTONUP, 0, MAKELPARAM(5, 6));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "the handler failed");
  EXPECT_EQ(reportedAt[0], probe);

  // ... and the window goes on working.
  probe->OnMouseDown = record;
  click(60, 2);
  EXPECT_EQ(x, 60);
  EXPECT_EQ(y, 2);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(reported.size(), 1u);
}

TEST_F(WindowTest, AWindowTimerWithIdZeroTicks) {
  ASSERT_TRUE(probe->SetTimer(0, 10));
  ASSERT_TRUE(WaitFor([&] { return !probe->timers.empty(); })) << "no tick came";
  EXPECT_EQ(probe->timers[0], 0u);
  probe->KillTimer(0);
  probe->KillTimer(77);  // never set: harmless
}

TEST_F(WindowTest, EraseAndPaintDrawIntoAGivenDeviceAndTheUpdateAreaIsTheClip) {
  Bitmap target(100, 50);
  target.Fill(kPaper);
  const WPARAM dc = WPARAM(target.GetCanvas().Handle());
  EXPECT_EQ(SendMessageA(Hwnd(*probe), WM_ERASEBKGND, dc, 0), 1);
  EXPECT_EQ(target.Pixel(99, 49), kFace) << "erased in the control's colour";
  SendMessageA(Hwnd(*probe), WM_PAINT, dc, 0);
  EXPECT_EQ(target.Pixel(0, 0), kShadow);
  ASSERT_EQ(probe->clips.size(), 1u);
  EXPECT_EQ(probe->clips[0], Rect(0, 0, 100, 50));

  // Shown, an invalidated part is painted with that part as the clip.
  form.Show();
  WaitFor([&] { return GetUpdateRect(Hwnd(*probe), nullptr, FALSE) == FALSE; });
  probe->clips.clear();
  probe->InvalidateRect({10, 12, 20, 30});
  probe->Update();
  ASSERT_EQ(probe->clips.size(), 1u);
  EXPECT_EQ(probe->clips[0], Rect(10, 12, 20, 30));
}

TEST_F(WindowTest, AlignedChildrenFollowTheFormsSize) {
  auto* top = new Probe(&form);
  top->SetHeight(20);
  top->SetAlign(alTop);
  top->SetParent(&form);
  probe->SetAlign(alClient);
  for (Size s : {Size{400, 300}, Size{250, 200}}) {
    form.SetBounds(40, 40, s.Width, s.Height);  // WM_SIZE from the system
    RECT client{};
    GetClientRect(Hwnd(form), &client);
    EXPECT_EQ(top->BoundsRect(), Rect(0, 0, client.right, 20));
    EXPECT_EQ(probe->BoundsRect(), Rect(0, 20, client.right, client.bottom));
    RECT w{};
    GetWindowRect(Hwnd(*probe), &w);
    MapWindowPoints(nullptr, Hwnd(form), reinterpret_cast<POINT*>(&w), 2);
    EXPECT_EQ(Rect(w.left, w.top, w.right, w.bottom), probe->BoundsRect()) << "the real window moved";
  }
}

// A component that keeps an image list while it lives.
struct ListUser : Component {
  ImageList* images = nullptr;
  void Use(ImageList* l) {
    images = l;
    FreeNotification(l);
  }
  void Notification(Component* c, Operation op) override {
    if (op == Operation::Remove && c == images) images = nullptr;
    Component::Notification(c, op);
  }
};

TEST_F(WindowTest, ImageListsAreRealisedWithMasksAndTheirUsersLetGoWhenTheyGo) {
  auto* list = new ImageList(nullptr, 8, 8);
  Bitmap strip(16, 8);
  strip.Fill(clRed);
  strip.SetPixel(3, 3, clLime);  // the key: left out when drawn
  EXPECT_EQ(list->AddMasked(strip, clLime), 0);
  auto* h = reinterpret_cast<HIMAGELIST>(list->Handle());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(h), 2);
  Bitmap target(8, 8);
  target.Fill(kPaper);
  ImageList_Draw(h, 0, reinterpret_cast<HDC>(target.GetCanvas().Handle()), 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(target.Pixel(0, 0), clRed);
  EXPECT_EQ(target.Pixel(3, 3), kPaper);

  ListUser user;
  user.Use(list);
  delete list;
  EXPECT_EQ(user.images, nullptr);
}

TEST_F(WindowTest, AModalFormAnswersItsResultByButtonAndByEscape) {
  Form dlg;
  dlg.SetBounds(60, 60, 240, 120);
  dlg.SetBorderStyle(FormBorder::Dialog);
  auto* edit = new Edit(&dlg);
  edit->SetBounds(8, 8, 100, 21);
  edit->SetParent(&dlg);
  auto* ok = new Button(&dlg);
  ok->SetBounds(8, 40, 75, 25);
  ok->SetModalResult(mrOk);
  ok->SetParent(&dlg);
  auto* cancel = new Button(&dlg);
  cancel->SetBounds(90, 40, 75, 25);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  cancel->SetParent(&dlg);
  dlg.HandleNeeded();
  // Should a run never end, it ends as aborted (and the test fails) instead
  // of hanging.
  plat::MessageTarget watchdog;
  watchdog.SetTimer(1, 30000, [&] { dlg.SetModalResult(mrAbort); });

  PostMessageA(Hwnd(*ok), BM_CLICK, 0, 0);
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_FALSE(dlg.Visible());
  EXPECT_TRUE(IsWindowEnabled(Hwnd(form))) << "the other windows are usable again";

  // Escape, wherever it is pressed, presses the cancel button.
  PostMessageA(Hwnd(*edit), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);

  // Closing the form answers Cancel too.
  PostMessageA(Hwnd(dlg), WM_CLOSE, 0, 0);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
}

TEST_F(WindowTest, TheMenuBarRunsItsItemsByCommandShortcutAndOwnerDrawing) {
  auto* menu = new MainMenu(&form);
  MenuItem* file = menu->Items().AddItem("&File");
  int exits = 0;
  MenuItem* exit = file->AddItem("E&xit", [&](Component*) { ++exits; });
  exit->SetShortCut(MakeShortCut('Q', ssCtrl));
  form.SetMenu(menu);
  HMENU bar = GetMenu(Hwnd(form));
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  HMENU sub = GetSubMenu(bar, 0);
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(GetMenuItemID(sub, 0), exit->Command());

  SendMessageA(Hwnd(form), WM_COMMAND, exit->Command(), 0);
  EXPECT_EQ(exits, 1);

  // Ctrl+Q pressed anywhere in the form.
  BYTE keys[256];
  GetKeyboardState(keys);
  BYTE held[256];
  std::copy(keys, keys + 256, held);
  held[VK_CONTROL] = 0x80;
  SetKeyboardState(held);
  PostMessageA(Hwnd(*probe), WM_KEYDOWN, 'Q', 0);
  Pump();
  SetKeyboardState(keys);
  EXPECT_EQ(exits, 2);

  // Owner-drawn: measured and drawn by the item's hooks.
  menu->SetOwnerDraw(true);
  exit->OnMeasureItem = [](Component*, Canvas&, int& w, int& h) {
    w = 40;
    h = 17;
  };
  unsigned drawnState = 0;
  exit->OnDrawItem = [&](Component*, Canvas& c, const Rect& r, unsigned state) {
    drawnState = state;
    c.Brush().SetColor(clBtnShadow);
    c.FillRect(r);
  };
  MEASUREITEMSTRUCT mis{ODT_MENU, 0, exit->Command(), 0, 0, reinterpret_cast<ULONG_PTR>(exit)};
  EXPECT_TRUE(SendMessageA(Hwnd(form), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)));
  EXPECT_EQ(mis.itemWidth, 40u);
  EXPECT_EQ(mis.itemHeight, 17u);
  Bitmap target(50, 20);
  target.Fill(kPaper);
  DRAWITEMSTRUCT dis{ODT_MENU, 0, exit->Command(), ODA_DRAWENTIRE, ODS_SELECTED,
                     reinterpret_cast<HWND>(GetSubMenu(GetMenu(Hwnd(form)), 0)),
                     reinterpret_cast<HDC>(target.GetCanvas().Handle()), RECT{2, 2, 42, 19},
                     reinterpret_cast<ULONG_PTR>(exit)};
  EXPECT_TRUE(SendMessageA(Hwnd(form), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)));
  EXPECT_EQ(drawnState, unsigned(ODS_SELECTED));
  EXPECT_EQ(target.Pixel(2, 2), kShadow);
  EXPECT_EQ(target.Pixel(41, 18), kShadow);
  EXPECT_EQ(target.Pixel(42, 18), kPaper);
}

TEST_F(WindowTest, TheBarColourRepaintsTheBarWithoutRebuildingItAndARebuildKeepsTheBrush) {
  auto* menu = new MainMenu(&form);
  MenuItem* file = menu->Items().AddItem("&File");
  file->AddItem("E&xit");
  form.SetMenu(menu);
  HMENU bar = GetMenu(Hwnd(form));
  ASSERT_NE(bar, nullptr);
  auto brush = [&] {
    MENUINFO mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIM_BACKGROUND;
    EXPECT_TRUE(GetMenuInfo(bar, &mi));
    return mi.hbrBack;
  };
  auto caption = [&] {
    char text[32] = {};
    GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
    return std::string(text);
  };
  EXPECT_EQ(brush(), nullptr);
  // A mark put on the realised item directly is gone only when the menu is
  // built again from its items.
  MENUITEMINFOA mark{};
  mark.cbSize = sizeof mark;
  mark.fMask = MIIM_STRING;
  mark.dwTypeData = const_cast<char*>("mark");
  ASSERT_TRUE(SetMenuItemInfoA(bar, 0, TRUE, &mark));
  menu->SetBarColor(clRed);
  EXPECT_EQ(caption(), "mark");
  HBRUSH red = brush();
  ASSERT_NE(red, nullptr);
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectA(red, sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbColor, RGB(255, 0, 0));

  file->SetCaption("&Files");
  EXPECT_EQ(caption(), "&Files");
  EXPECT_EQ(brush(), red) << "the same colour keeps its brush";
  menu->SetBarColor(clDefault);
  EXPECT_EQ(brush(), nullptr);
}

TEST_F(WindowTest, APopupMenuRunsTheItemChosenInIt) {
  PopupMenu popup;
  int chosen = 0;
  popup.Items().AddItem("&First", [&](Component*) { chosen = 1; });
  popup.Items().AddItem("&Second", [&](Component*) { chosen = 2; });
  int popups = 0;
  popup.OnPopup = [&](Component*) { ++popups; };
  // The menu's own loop reads the keys: S chooses Second. (Should it not,
  // the menu is ended and the test fails instead of hanging.)
  plat::MessageTarget watchdog;
  watchdog.SetTimer(1, 30000, [] { EndMenu(); });
  form.Show();
  PostMessageA(Hwnd(form), WM_CHAR, 's', 0);
  popup.Popup(100, 100);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(chosen, 2);
}

TEST_F(WindowTest, KeyHooksSeeKeyPressesBeforeTheirWindow) {
  std::vector<uint16_t> reached;
  probe->OnKeyDown = [&](Control*, uint16_t& key, ShiftState) { reached.push_back(key); };
  const int id = App().HookKeys([](Message& m) {
    EXPECT_EQ(m.Msg, unsigned(CM_APPKEYDOWN));
    return m.WParam == VK_F5;
  });
  PostMessageA(Hwnd(*probe), WM_KEYDOWN, VK_F5, 0);
  PostMessageA(Hwnd(*probe), WM_KEYDOWN, VK_F6, 0);
  Pump();
  App().UnhookKeys(id);
  PostMessageA(Hwnd(*probe), WM_KEYDOWN, VK_F5, 0);
  Pump();
  EXPECT_EQ(reached, (std::vector<uint16_t>{VK_F6, VK_F5}));
}

TEST_F(WindowTest, StandardControlsKeepTheirStateAndReportChanges) {
  auto* edit = new Edit(&form);
  edit->SetParent(&form);
  int changes = 0;
  edit->OnChange = [&](Control*) { ++changes; };
  edit->SetText("hello");
  int start = -1, end = -1;
  edit->GetSel(start, end);
  EXPECT_EQ(start, 5) << "the caret goes to the end";
  EXPECT_EQ(end, 5);
  SendMessageA(Hwnd(*edit), WM_CHAR, '!', 0);
  EXPECT_EQ(edit->Caption(), "hello!");
  EXPECT_GE(changes, 2);

  auto* box = new CheckBox(&form);
  box->SetChecked(true);
  box->SetParent(&form);
  EXPECT_EQ(SendMessageA(Hwnd(*box), BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(Hwnd(*box), BM_CLICK, 0, 0);
  EXPECT_FALSE(box->Checked());
  box->RecreateWnd();
  EXPECT_FALSE(box->Checked()) << "the state outlives the window";

  auto* list = new ListView(&form);
  list->AddColumn("Name", 60);
  list->AddColumn("Size", 40);
  list->SetParent(&form);
  for (auto row : {std::vector<std::string>{"b", "1"}, {"a", "2"}, {"b", "3"}, {"a", "4"}})
    list->AddRow(row);
  list->Sort([&](int a, int b) { return list->Text(a, 0).compare(list->Text(b, 0)); });
  char text[16];
  LVITEMA it{};
  it.iSubItem = 1;
  it.pszText = text;
  it.cchTextMax = sizeof text;
  std::string sizes;
  for (int i = 0; i < 4; ++i) {
    SendMessageA(Hwnd(*list), LVM_GETITEMTEXTA, WPARAM(i), reinterpret_cast<LPARAM>(&it));
    sizes += text;
  }
  EXPECT_EQ(sizes, "2413") << "sorted by name, equal names in their order";

  ASSERT_TRUE(RichEdit::Available());
  auto* rich = new RichEdit(&form);
  rich->SetText("plain {\\rtf1 text}");
  rich->SetParent(&form);
  EXPECT_EQ(SendMessageA(Hwnd(*rich), EM_GETTEXTMODE, 0, 0) & TM_PLAINTEXT, TM_PLAINTEXT);
  EXPECT_EQ(rich->GetText(), "plain {\\rtf1 text}") << "kept as plain text";
}

TEST(RegistryStore, SectionsAndValuesRoundTripThroughTheRealRegistry) {
  Win32Registry reg;
  ScopedService<RegistryAccess> use(reg);
  const std::string root = "Software\\TarnTest_" + std::to_string(GetCurrentProcessId());
  reg.DeleteKey(root);
  {
    RegistryIniFile ini(root);
    ini.WriteString("Grid", "Name", "caf\xE9 = \"x\"");
    ini.WriteInteger("Grid", "Width", -42);
    ini.WriteBool("Other", "On", true);
    EXPECT_EQ(ini.ReadString("grid", "NAME", ""), "caf\xE9 = \"x\"");
    EXPECT_EQ(ini.ReadInteger("Grid", "Width", 0), -42);
    EXPECT_TRUE(ini.ReadBool("Other", "On", false));
    EXPECT_EQ(ini.ReadString("Grid", "Missing", "def"), "def");
    auto sections = ini.ReadSections();
    std::sort(sections.begin(), sections.end());
    EXPECT_EQ(sections, (std::vector<std::string>{"Grid", "Other"}));
    auto names = ini.ReadSection("Grid");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Width"}));
    ini.EraseSection("Other");
    EXPECT_FALSE(ini.SectionExists("Other"));
  }
  // The values are the registry's own.
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (root + "\\Grid").c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
  char value[64] = {};
  DWORD size = sizeof value, type = 0;
  EXPECT_EQ(RegQueryValueExA(k, "Width", nullptr, &type, reinterpret_cast<BYTE*>(value), &size), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(std::string(value), "-42");
  EXPECT_TRUE(reg.DeleteKey(root));
  EXPECT_FALSE(reg.KeyExists(root));
}

}  // namespace
