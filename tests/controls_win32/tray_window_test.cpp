// Message components and the tray icon on a real form under Wine: the
// shared window procedure in front of the form's own, several components
// on it, someone else's procedure put in front of ours, the shell's real
// notification area, and the icon's callback message with its real popup
// menu.
#include "tests/gui_win32/win32_fixture.h"

#include <cstring>
#include <string>
#include <vector>

#include "controls/msg_cmp.h"
#include "controls/tray.h"
#include "gui/form.h"
#include "gui/menu.h"

namespace {

using namespace gui;

constexpr UINT kProbe = WM_APP + 5;

using Log = std::vector<std::string>;
Log journal;

// A form that answers the probe message itself.
class ProbeForm : public Form {
 protected:
  void WndProc(Message& m) override {
    if (m.Msg != kProbe) return Form::WndProc(m);
    journal.push_back("form");
    m.Result = 42;
  }
};

class Watcher : public TMsgComponent {
 public:
  Watcher(Component* owner, const char* tag) : TMsgComponent(owner), tag_(tag) {
    SetHookedWindow(Form()->Handle());
  }

 protected:
  void WndProc(Message& m) override {
    if (m.Msg != kProbe) return;
    journal.push_back(tag_);
    m.Result = 5;  // the form's procedure has the last word
  }

 private:
  const char* tag_;
};

// Someone else's subclassing, put in front of whatever is there.
WNDPROC outsiderNext = nullptr;
LRESULT CALLBACK OutsiderProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kProbe) journal.push_back("outsider");
  return CallWindowProcA(outsiderNext, h, msg, wp, lp);
}

WNDPROC ProcOf(HWND h) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)); }

class TrayWindowTest : public testwin::Win32Test {
 protected:
  TrayWindowTest() : h(reinterpret_cast<HWND>(form.Handle())), own(ProcOf(h)) {}
  // Who saw the probe (answered by the form's procedure).
  Log Probe() {
    journal.clear();
    EXPECT_EQ(SendMessageA(h, kProbe, 0, 0), 42);
    return journal;
  }
  ProbeForm form;
  HWND h;
  WNDPROC own;
};

TEST_F(TrayWindowTest, TwoComponentsShareOneHookAndEitherMayLeaveFirst) {
  for (bool firstLeavesFirst : {true, false}) {
    auto* a = new Watcher(&form, "a");
    const WNDPROC shared = ProcOf(h);
    EXPECT_NE(shared, own);
    auto* b = new Watcher(&form, "b");
    EXPECT_EQ(ProcOf(h), shared) << "one subclassing for both";
    EXPECT_EQ(Probe(), (Log{"a", "b", "form"}));
    Watcher* first = firstLeavesFirst ? a : b;
    Watcher* second = firstLeavesFirst ? b : a;
    delete first;
    EXPECT_EQ(Probe(), (Log{second == a ? "a" : "b", "form"}));
    delete second;
    EXPECT_EQ(ProcOf(h), own) << "the form's own procedure is back";
    EXPECT_EQ(Probe(), (Log{"form"}));
  }
  // The window goes while watched: the component forgets it, and the new
  // window of the form is a window like any other.
  auto* c = new Watcher(&form, "c");
  form.DestroyHandle();
  EXPECT_EQ(c->HookedWindow(), 0u);
  h = reinterpret_cast<HWND>(form.Handle());
  EXPECT_EQ(Probe(), (Log{"form"}));
  c->SetHookedWindow(form.Handle());
  EXPECT_EQ(Probe(), (Log{"c", "form"}));
  delete c;
}

TEST_F(TrayWindowTest, AnotherSubclassInFrontOfOursNeverMakesALoop) {
  auto* a = new Watcher(&form, "a");
  const WNDPROC shared = ProcOf(h);
  outsiderNext = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OutsiderProc)));
  auto* b = new Watcher(&form, "b");  // joins: ours is in the chain already
  EXPECT_EQ(ProcOf(h), &OutsiderProc);
  EXPECT_EQ(Probe(), (Log{"outsider", "a", "b", "form"}));
  delete a;
  delete b;
  // Ours cannot leave from under the outsider: it passes messages on.
  EXPECT_EQ(Probe(), (Log{"outsider", "form"}));
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(outsiderNext));
  EXPECT_EQ(ProcOf(h), shared);
  EXPECT_EQ(Probe(), (Log{"form"}));
  auto* c = new Watcher(&form, "c");
  EXPECT_EQ(Probe(), (Log{"c", "form"}));
  delete c;
  EXPECT_EQ(ProcOf(h), own);
}

// The shell's notification area under the test display: what it answers
// to the three calls for a window of ours (a probe of the platform).
TEST_F(TrayWindowTest, TheShellTakesAnIconOfOurs) {
  Icon icon;
  ASSERT_TRUE(icon.LoadFromResourceName("MAINICON"));
  TNotifyIconData d;
  d.Wnd = form.Handle();
  d.ID = 999;
  d.Flags = kNifMessage | kNifIcon | kNifTip;
  d.CallbackMessage = kTrayCallbackMessage;
  d.Icon = icon.Handle();
  std::strcpy(d.Tip, "Tarnwick");
  EXPECT_TRUE(TrayShell().NotifyIcon(kNimAdd, d));
  std::strcpy(d.Tip, "Tarnwick (online)");
  EXPECT_TRUE(TrayShell().NotifyIcon(kNimModify, d));
  EXPECT_TRUE(TrayShell().NotifyIcon(kNimDelete, d));
}

// The callback message sent to the form reaches the tray's events; a
// right press opens its menu, where the keyboard picks the first item.
TEST_F(TrayWindowTest, TheCallbackMessageReachesTheEventsAndTheMenu) {
  auto* tray = new TTray(&form);
  tray->BeginLoading();
  tray->SetTip("Tarnwick");
  tray->EndLoading();
  ASSERT_NE(tray->IconID(), 0u);
  EXPECT_TRUE(tray->Active());
  EXPECT_EQ(tray->HookedWindow(), form.Handle());
  Log events;
  tray->SimpleFunction = [&](TTray*) { events.push_back("simple"); };
  tray->DefaultFunction = [&](TTray*) { events.push_back("default"); };
  tray->ShowMenu = [&](TTray*) { events.push_back("show"); };
  auto* menu = new PopupMenu(&form);
  menu->Items().AddItem("Restore", [&](Component*) { events.push_back("restore"); });
  menu->Items().AddItem("Exit", [&](Component*) { events.push_back("exit"); });
  menu->OnPopup = [&](Component*) {
    events.push_back("popup");
    // Waiting in the queue for the menu's own loop: the first item, taken.
    PostMessageA(h, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(h, WM_KEYDOWN, VK_RETURN, 0);
  };
  tray->SetPopupMenu(menu);

  const WPARAM id = tray->IconID();
  for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    SendMessageA(h, kTrayCallbackMessage, id, mouse);
  SendMessageA(h, kTrayCallbackMessage, id + 1, WM_LBUTTONDOWN);  // not our icon
  EXPECT_EQ(events, (Log{"simple", "default"}));
  events.clear();
  SendMessageA(h, kTrayCallbackMessage, id, WM_RBUTTONDOWN);
  EXPECT_EQ(events, (Log{"show", "popup", "restore"}));
  Pump();
  delete tray;
  EXPECT_EQ(ProcOf(h), own);
}

}  // namespace
