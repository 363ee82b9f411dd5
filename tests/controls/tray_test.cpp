#include "controls/tray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/fake_peer.h"
#include "gui/form.h"
#include "gui/graphics_backend.h"
#include "gui/menu.h"

namespace {

using gui::WM_LBUTTONDBLCLK;
using gui::WM_LBUTTONDOWN;
using gui::WM_LBUTTONUP;
using gui::WM_NULL;
using gui::WM_RBUTTONDOWN;

constexpr uintptr_t kMainIcon = 0x1C0;

// Bitmaps in memory, and the program's icon resource as a handle.
class IconGraphics : public gui::MemoryGraphicsBackend {
 public:
  bool LoadIconResource(const std::string& name, gui::Icon& out) override {
    if (name != "MAINICON") return false;
    out.SetHandle(kMainIcon, 16, 16, false);
    return true;
  }
};

// Counts attaches and detaches of windows.
class CountingHooks : public TMsgHookBackend {
 public:
  void Attach(uintptr_t w) override { log.push_back("attach " + std::to_string(w)); }
  void Detach(uintptr_t w) override { log.push_back("detach " + std::to_string(w)); }
  std::vector<std::string> log;
};

// Logs the messages it sees; may run an action on one.
class Watcher : public TMsgComponent {
 public:
  Watcher(gui::Component* owner, std::string tag, std::vector<std::string>& log)
      : TMsgComponent(owner), tag_(std::move(tag)), log_(log) {}
  std::function<void()> onMessage;

 protected:
  void WndProc(gui::Message& m) override {
    log_.push_back(tag_ + ":" + std::to_string(m.Msg));
    m.Result = 7;
    if (onMessage) onMessage();
  }

 private:
  std::string tag_;
  std::vector<std::string>& log_;
};

struct TrayTest : ::testing::Test {
  gui::FakeDesktop desk;
  IconGraphics graphics;
  gui::ScopedService<gui::GraphicsBackend> graphicsIn{graphics};
  TRecordingTrayShell shell;
  gui::ScopedService<TTrayShell> shellIn{shell};
  gui::RecordingMenuBackend menus;
  gui::ScopedService<gui::MenuBackend> menusIn{menus};
  CountingHooks hooks;
  gui::ScopedService<TMsgHookBackend> hooksIn{hooks};
  gui::Form form;

  TTray* LoadedTray(const std::function<void(TTray&)>& properties) {
    auto* t = new TTray(&form);
    t->BeginLoading();
    properties(*t);
    t->EndLoading();
    return t;
  }
  // The shell's callback message as the form's window receives it.
  intptr_t Send(unsigned msg, uintptr_t wp, intptr_t lp) {
    gui::Message m{msg, wp, lp, 0};
    TMsgCmpList::Get().Dispatch(form.Handle(), m);
    return m.Result;
  }
  std::string Tip(size_t call) const { return shell.calls.at(call).Data.Tip; }
};

TEST_F(TrayTest, LoadingAddsTheIconEvenWhenActiveWasSetFalseAndTheRecordFollowsTheProperties) {
  TTray* t = LoadedTray([](TTray& t) {
    t.SetName("TrayManager");
    t.SetActive(false);               // as the main window's form says
    t.SetTip(std::string(80, 'x'));  // not shown yet: nothing goes out
  });
  ASSERT_EQ(shell.calls.size(), 1u);
  const TNotifyIconData d = shell.calls[0].Data;
  EXPECT_EQ(shell.calls[0].Message, kNimAdd);
  EXPECT_EQ(d.Wnd, form.Handle());
  EXPECT_NE(d.ID, 0u);
  EXPECT_EQ(d.CallbackMessage, 10124u);
  EXPECT_EQ(d.Flags, kNifMessage | kNifIcon | kNifTip);
  EXPECT_EQ(d.Icon, kMainIcon);
  EXPECT_EQ(Tip(0), std::string(63, 'x'));
  EXPECT_TRUE(t->Active());
  EXPECT_EQ(t->HookedWindow(), form.Handle());
  EXPECT_EQ(hooks.log, (std::vector<std::string>{"attach " + std::to_string(form.Handle())}));

  t->SetTip("");  // no tip: the flag goes
  EXPECT_EQ(shell.calls.back().Message, kNimModify);
  EXPECT_EQ(shell.calls.back().Data.Flags, kNifMessage | kNifIcon);
  t->SetName("Renamed");  // a tip was set: the name does not replace it
  EXPECT_EQ(t->Tip(), "");
  t->SetActive(false);
  EXPECT_EQ(shell.calls.back().Message, kNimDelete);
  const size_t calls = shell.calls.size();
  t->SetTip("hidden");  // modified only while Active reads True
  t->SetActive(false);
  EXPECT_EQ(shell.calls.size(), calls);
  t->SetActive(true);
  EXPECT_EQ(shell.calls.back().Message, kNimAdd);
  EXPECT_EQ(shell.calls.back().Data.ID, d.ID);
  EXPECT_EQ(Tip(shell.calls.size() - 1), "hidden");

  // A second tray made at run time: its own id, its name as its tip until
  // one is set, nothing at all for switching off what was never added.
  auto* second = new TTray(&form);
  second->SetActive(false);
  EXPECT_EQ(shell.calls.size(), calls + 1);
  second->SetName("Second");
  second->SetActive(true);
  EXPECT_EQ(shell.calls.back().Data.ID, d.ID + 1);
  EXPECT_EQ(Tip(shell.calls.size() - 1), "Second");
  second->SetName("Renamed");
  EXPECT_EQ(Tip(shell.calls.size() - 1), "Renamed");
  second->SetTip("Own");
  second->SetName("Again");
  EXPECT_EQ(Tip(shell.calls.size() - 1), "Own");
  EXPECT_EQ(second->Tip(), "Own");

  // One hook for both; each deletes its icon when it goes, the last one
  // out detaches.
  delete second;
  EXPECT_EQ(shell.calls.back().Message, kNimDelete);
  EXPECT_EQ(shell.calls.back().Data.ID, d.ID + 1);
  delete t;
  EXPECT_EQ(shell.calls.back().Data.ID, d.ID);
  EXPECT_EQ(hooks.log.size(), 2u);
  EXPECT_TRUE(TMsgCmpList::Get().Components(form.Handle()).empty());
}

TEST_F(TrayTest, WithoutAnIconNothingIsAddedUntilOneIsAssigned) {
  TTray* t = LoadedTray([](TTray& t) { t.IconResources().Clear(); });
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_FALSE(t->Active());
  t->SetTip("waiting");
  EXPECT_TRUE(shell.calls.empty());
  // Active stayed True: the first icon the program assigns shows.
  t->Icon().SetHandle(0x77, 16, 16, false);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].Message, kNimAdd);
  EXPECT_EQ(shell.calls[0].Data.Icon, 0x77u);
  EXPECT_EQ(Tip(0), "waiting");
  // The icon goes: the resource at IconIndex stands in.
  t->IconResources().Add("OTHER");
  t->IconResources().Add("MAINICON");
  t->Icon().SetHandle(0, 0, 0, false);
  EXPECT_EQ(shell.calls.back().Data.Icon, 0u);  // "OTHER" is no icon
  t->SetIconIndex(1);
  EXPECT_EQ(shell.calls.back().Message, kNimModify);
  EXPECT_EQ(shell.calls.back().Data.Icon, kMainIcon);

  // No window to show it on (no form among the owners): no add, yet
  // Active reads True once the record has an icon.
  gui::Component plain;
  auto* orphan = new TTray(&plain);
  orphan->BeginLoading();
  orphan->EndLoading();
  EXPECT_EQ(shell.calls.back().Data.ID, t->IconID());
  EXPECT_TRUE(orphan->Active());
  EXPECT_EQ(orphan->HookedWindow(), 0u);
}

TEST_F(TrayTest, TheCallbackMessageRaisesClicksAndThePopupMenu) {
  std::vector<std::string> log;
  TTray* t = LoadedTray([](TTray&) {});
  auto* menu = new gui::PopupMenu(&form);
  gui::MenuItem* item = menu->Items().AddItem("Show", [&](gui::Component*) { log.push_back("item"); });
  menu->OnPopup = [&](gui::Component*) {
    log.push_back(menu->PopupComponent() == t ? "popup" : "popup without its tray");
  };
  t->SetPopupMenu(menu);
  t->SimpleFunction = [&](TTray* s) { log.push_back(s == t ? "simple" : "?"); };
  t->DefaultFunction = [&](TTray*) { log.push_back("default"); };
  t->ShowMenu = [&](TTray*) { log.push_back("show"); };
  const unsigned id = t->IconID();

  EXPECT_EQ(Send(kTrayCallbackMessage, id, WM_LBUTTONDOWN), 1);
  // A double click: press, release, double-click press, release.
  for (unsigned mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    Send(kTrayCallbackMessage, id, mouse);
  EXPECT_EQ(Send(kTrayCallbackMessage, id, WM_LBUTTONUP), 0);
  EXPECT_EQ(Send(kTrayCallbackMessage, id + 1, WM_LBUTTONDOWN), 0);  // another icon's
  EXPECT_EQ(log, (std::vector<std::string>{"simple", "simple", "default"}));

  log.clear();
  desk.env.SetCursorPos({300, 200});
  menus.choose = item;
  Send(kTrayCallbackMessage, id, WM_RBUTTONDOWN);
  EXPECT_EQ(log, (std::vector<std::string>{"show", "popup", "item"}));
  ASSERT_EQ(menus.shown.size(), 1u);
  EXPECT_EQ(menus.shown[0].x, 300);
  EXPECT_EQ(menus.shown[0].y, 200);
  EXPECT_EQ(shell.foreground, (std::vector<uintptr_t>{form.Handle()}));
  ASSERT_EQ(shell.posted.size(), 1u);
  EXPECT_EQ(shell.posted[0], std::make_pair(form.Handle(), unsigned(WM_NULL)));

  // The menu freed: the tray forgets it and a right press only tells.
  delete menu;
  EXPECT_EQ(t->PopupMenu(), nullptr);
  log.clear();
  Send(kTrayCallbackMessage, id, WM_RBUTTONDOWN);
  EXPECT_EQ(log, (std::vector<std::string>{"show"}));
  EXPECT_EQ(menus.shown.size(), 1u);
}

// Components see a message in the order they were hooked; one unhooked or
// freed by an earlier one's handling is skipped, one whose handler throws
// is reported and the rest still see the message.
TEST_F(TrayTest, TheHookTableDispatchesInOrderThroughChangesAndFailures) {
  std::vector<std::string> log, reported;
  const gui::ExceptionReporter previous = gui::SetExceptionReporter(
      [&](const std::string& what, gui::Control*) { reported.push_back(what); });
  auto* a = new Watcher(&form, "a", log);
  auto* b = new Watcher(&form, "b", log);
  auto* c = new Watcher(&form, "c", log);
  const uintptr_t w = form.Handle();
  c->SetHookedWindow(w);
  a->SetHookedWindow(w);
  b->BeginLoading();
  b->SetHookedWindow(w);  // only stored while loading
  EXPECT_EQ(TMsgCmpList::Get().Components(w), (std::vector<TMsgComponent*>{c, a}));
  b->EndLoading();
  EXPECT_EQ(TMsgCmpList::Get().Components(w), (std::vector<TMsgComponent*>{c, a, b}));
  EXPECT_EQ(Send(0x401, 0, 0), 7);
  EXPECT_EQ(log, (std::vector<std::string>{"c:1025", "a:1025", "b:1025"}));

  log.clear();
  c->onMessage = [&] { delete a; };
  b->onMessage = [] { throw std::runtime_error("b failed"); };
  Send(0x402, 0, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"c:1026", "b:1026"}));
  EXPECT_EQ(reported, (std::vector<std::string>{"b failed"}));
  c->onMessage = nullptr;
  b->onMessage = nullptr;

  // The window goes: the records go with it and the components forget it.
  TMsgCmpList::Get().WindowDestroyed(w);
  EXPECT_EQ(c->HookedWindow(), 0u);
  EXPECT_TRUE(TMsgCmpList::Get().Components(w).empty());
  EXPECT_EQ(hooks.log, (std::vector<std::string>{"attach " + std::to_string(w), "detach " + std::to_string(w)}));
  delete b;
  delete c;
  EXPECT_EQ(hooks.log.size(), 2u);
  gui::SetExceptionReporter(previous);
}

}  // namespace
