#include "controls/tray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/fake_peer.h"
#include "gui/form.h"
#include "gui/graphics_backend.h"

namespace {

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

struct TrayTest : ::testing::Test {
  gui::FakeDesktop desk;
  IconGraphics graphics;
  gui::ScopedService<gui::GraphicsBackend> graphicsIn{graphics};
  TRecordingTrayShell shell;
  gui::ScopedService<TTrayShell> shellIn{shell};
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

// A right click shows the popup menu only while its AutoPopup is on (the
// ShowMenu event fires either way); a rename through the base component
// reaches the tip as long as none was set.
TEST_F(TrayTest, RightClickHonoursAutoPopupAndABaseRenameReachesTheTip) {
  gui::RecordingMenuBackend menus;
  gui::ScopedService<gui::MenuBackend> menusIn{menus};
  TTray* t = LoadedTray([](TTray&) {});
  std::vector<std::string> events;
  t->ShowMenu = [&](TTray*) { events.push_back("show"); };
  auto* menu = new gui::PopupMenu(&form);
  t->SetPopupMenu(menu);
  menu->SetAutoPopup(false);
  const auto rightClick = [&] {
    using namespace gui;
    Message m{kTrayCallbackMessage, t->IconID(), WM_RBUTTONDOWN, 0};
    TMsgCmpList::Get().Dispatch(form.Handle(), m);
    return m.Result;
  };
  EXPECT_EQ(rightClick(), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"show"}));
  EXPECT_TRUE(menus.shown.empty());
  EXPECT_TRUE(shell.foreground.empty());
  menu->SetAutoPopup(true);
  rightClick();
  EXPECT_EQ(menus.shown.size(), 1u);
  EXPECT_EQ(shell.foreground, (std::vector<uintptr_t>{form.Handle()}));

  gui::Component& base = *t;
  base.SetName("Renamed");
  EXPECT_EQ(shell.calls.back().Message, kNimModify);
  EXPECT_EQ(Tip(shell.calls.size() - 1), "Renamed");
}

}  // namespace
