// The main window and the desktop under Wine, driven by the messages that
// a user's clicks and Windows itself send: hiding to the tray and coming
// back, the tray's picture following the online state, the tray menu's
// Exit, and the end of the Windows session writing the program's files.
// Exit ends the application's loop for the whole process: the test that
// takes it comes last.
#include "tests/app/app_fixture.h"

#include "app/legacy_settings_form.h"
#include "gui/application.h"
#include "gui/menu.h"
#include "platform/system.h"
#include "tools/fake_napster_server.h"

namespace {

class SessionTest : public testapp::MainFormTest {
 protected:
  SessionTest() {
    form = MakeForm();
    form->ShowAndActivate();
    Pump();
    window = reinterpret_cast<HWND>(form->Handle());
  }

  // What the tray's icon sends the window for a mouse message on it.
  void TrayMouse(UINT mouse) {
    SendMessageA(window, kTrayCallbackMessage, form->TrayManager->IconID(), LPARAM(mouse));
  }

  // A right press on the icon opens its menu, where the keyboard goes
  // down `downs` items and takes that one.
  void TrayMenu(int downs) {
    gui::PopupMenu* menu = form->TrayManager->PopupMenu();
    menu->OnPopup = [this, downs](gui::Component*) {
      // Waiting in the queue for the menu's own loop.
      for (int i = 0; i < downs; ++i) PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    };
    TrayMouse(WM_RBUTTONDOWN);
    menu->OnPopup = nullptr;
    Pump();
  }

  // The picture the shell shows for the icon now.
  uintptr_t ShownIcon() const {
    const auto& calls = Tray().calls;
    for (auto c = calls.rbegin(); c != calls.rend(); ++c)
      if (c->Message == kNimAdd || c->Message == kNimModify) return c->Data.Icon;
    return 0;
  }

  std::unique_ptr<TMainForm> form;
  HWND window = nullptr;
};

TEST_F(SessionTest, TheWindowHidesToTheTrayAndComesBackAndTheTrayShowsTheOnlineState) {
  SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_FALSE(IsWindowVisible(window));
  TrayMouse(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(window));
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(window)) << "closing only hides";
  TrayMenu(1);  // Show Tarnwick
  EXPECT_TRUE(IsWindowVisible(window));

  // Logging in and out changes the tray's picture, not only its tip.
  const uintptr_t offline = ShownIcon();
  ASSERT_NE(offline, 0u);
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  const int i = form->LegacySettings->Add(testapp::LocalServer(server.Port()));
  form->LegacySettings->Connect(i);
  ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 1; }));
  EXPECT_NE(ShownIcon(), offline);
  EXPECT_STREQ(Tray().calls.back().Data.Tip, "Tarnwick - Online: 1 server(s)");
  form->LegacySettings->Disconnect(i);
  ASSERT_TRUE(WaitFor([&] { return form->LegacySettings->Server(i).State == TLegacyServer::Offline; }));
  EXPECT_EQ(ShownIcon(), offline);

  // What the shell opens for the program is owned by its main window.
  gui::App().SetMainForm(form.get());
  EXPECT_EQ(plat::ShellOwner(), form->Handle());
  gui::App().SetMainForm(nullptr);
  EXPECT_EQ(plat::ShellOwner(), 0u);
}

// Last: the loop's end cannot be taken back in this process.
TEST_F(SessionTest, TheTraysExitEndsTheProgramAndTheSessionsEndWritesItsFilesAtOnce) {
  TrayMenu(2);  // past the line to Exit
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(gui::App().Terminated());

  // Windows may end the process as soon as WM_ENDSESSION returns, without
  // the loop's end: both files are on disk by then.
  for (const char* f : {"Shared.dat", "Application4.cfg"}) plat::DeleteFile(folder + f);
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), TRUE);
  SendMessageA(window, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(testutil::ReadFileBytes(folder + "Shared.dat").substr(0, 9), "SHARE_1_0");
  EXPECT_NE(testutil::ReadFileBytes(folder + "Application4.cfg").find("Nick = \"alice\""), std::string::npos);
}

}  // namespace
