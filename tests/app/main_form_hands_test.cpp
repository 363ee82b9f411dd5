// The main window under Wine as a user's hands meet it, against the
// scripted Napster server: registering in the networks window, an upload
// the server refuses, the search grid's double click and the search box's
// Enter, what a search for audio lists, the status bar and the side bar
// after a server goes or when one server has two rows, the gateway's row,
// the gateway's login wait, and sharing stopped and started again.
#include "tests/app/app_fixture.h"
#include "tests/app/layout_check.h"

#include "app/legacy_settings_form.h"
#include "app/message_view.h"
#include "app/napster_server_form.h"
#include "app/search_view.h"
#include "app/share_view.h"
#include "app/transfer_view.h"
#include "controls/waymark_control.h"
#include "peer/napster/napster_helpers.h"
#include "platform/files.h"
#include "tools/fake_napster_server.h"

namespace {

using Server = FakeNapsterServer;
using TS = TSearchView;

// One search-result frame from bob (127.0.0.1).
Server::Step Result(const std::string& name, int bitrate, int frequency) {
  return Server::Step::Frame(201, "\"" + name + "\" 00000000000000000000000000000000 1000 " + std::to_string(bitrate) +
                                      " " + std::to_string(frequency) + " 60 bob 16777343 4 0 0");
}

class HandsTest : public testapp::MainFormTest {
 protected:
  HandsTest() {
    server.Start();
    form = MakeForm();
    form->ShowAndActivate();
  }
  ~HandsTest() override {
    form.reset();
    server.Stop();
  }

  void LogIn(const TLegacyServer& s) {
    index = form->LegacySettings->Add(s);
    form->LegacySettings->Connect(index);
    ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 1; }));
  }
  void LogIn() { LogIn(testapp::LocalServer(server.Port())); }
  void LogOut() {
    form->LegacySettings->Disconnect(index);
    ASSERT_TRUE(WaitFor([&] { return form->LegacySettings->Server(index).State == TLegacyServer::Offline; }));
    ASSERT_TRUE(WaitFor([&] { return !server.ClientConnected(); }));
  }

  // Waits (serving the window's messages) until the server has received
  // n frames of the type.
  bool Received(uint16_t type, int n = 1) {
    return WaitFor([&] { return server.CountOfType(type) >= n; });
  }

  void Click(gui::Control* in, const std::string& caption) {
    gui::Button* b = testapp::ButtonIn(in, caption);
    ASSERT_NE(b, nullptr) << caption;
    SendMessageA(reinterpret_cast<HWND>(b->Handle()), BM_CLICK, 0, 0);
  }

  void EnterSearch(const std::string& text) { testapp::EnterSearch(*form, form->SearchView->SearchBox(), text); }

  // The mouse's messages of a double click at a point of a grid.
  static void DoubleClick(TGridTreeList* grid, int x, int y) {
    const HWND h = reinterpret_cast<HWND>(grid->Handle());
    const LPARAM at = MAKELPARAM(x, y);
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
      PostMessageA(h, m, m == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
    Pump();
  }

  Server server;
  std::unique_ptr<TMainForm> form;
  int index = -1;
};

// An OpenNap server with auto-registration registers a nick at its first
// login; the networks window's row of it holds such a nick. Register asks
// the server typed for the nick typed, whatever row is chosen.
TEST_F(HandsTest, RegisterInTheNetworksWindowAsksTheServerTypedForTheNickTyped) {
  server.SetAutoRegistration(true);
  LogIn();  // alice is registered from now on
  std::string password;
  ASSERT_TRUE(server.HasAccount("alice", &password));
  LogOut();
  TLegacySettingsForm& networks = *form->LegacySettings;
  networks.List()->SetSelected(index);
  networks.HostBox()->SetText("127.0.0.1");
  networks.PortBox()->SetText(std::to_string(server.Port()));
  networks.NickBox()->SetText("fresh");
  networks.PasswordBox()->SetText("secret");
  Click(&networks, "Re&gister");
  ASSERT_TRUE(WaitFor([&] { return networks.Registration().State() != TNickRegistration::Busy; }));
  EXPECT_EQ(networks.StatusText(), "The nick is registered.");
  ASSERT_TRUE(server.HasAccount("fresh", &password));
  EXPECT_EQ(password, "secret");
  ASSERT_TRUE(WaitFor([&] { return !server.ClientConnected(); }));

  // The account logs in; the same nick asked again is taken.
  TLegacyServer fresh = testapp::LocalServer(server.Port());
  fresh.Nick = "fresh";
  fresh.Password = "secret";
  LogIn(fresh);
  LogOut();
  Click(&networks, "Re&gister");
  ASSERT_TRUE(WaitFor([&] { return networks.Registration().State() != TNickRegistration::Busy; }));
  EXPECT_EQ(networks.Registration().State(), TNickRegistration::Taken);
}

// The networks file cannot hold a double quote or a line break: a server
// typed with one is refused where it was typed, by Add and by Register,
// and nothing is stored or sent; the same server typed without one is
// kept and reads back as it was typed.
TEST_F(HandsTest, AnEntryTheNetworksFileCannotHoldIsRefusedWhereItIsTyped) {
  TLegacySettingsForm& networks = *form->LegacySettings;
  networks.Show();
  const int count = networks.Count();
  networks.HostBox()->SetText("127.0.0.1");
  networks.PortBox()->SetText(std::to_string(server.Port()));
  networks.NickBox()->SetText("carol");
  testapp::Type(networks.PasswordBox(), "se\"cret");
  const std::string refused = "Password cannot hold a double quote or a line break.";
  Click(&networks, "&Add");
  EXPECT_EQ(networks.StatusText(), refused);
  EXPECT_EQ(testapp::LayoutFaults(&networks), std::vector<std::string>{}) << "the line is read whole";
  Click(&networks, "Re&gister");
  EXPECT_EQ(networks.Registration().State(), TNickRegistration::Invalid);
  EXPECT_EQ(networks.StatusText(), refused);
  networks.PasswordBox()->SetText("secret");
  networks.NickBox()->SetText("car\r\nol");
  ASSERT_EQ(networks.NickBox()->GetText(), "car\r\nol");
  Click(&networks, "&Add");
  EXPECT_EQ(networks.StatusText(), "Nick cannot hold a double quote or a line break.");
  Click(&networks, "Re&gister");
  EXPECT_EQ(networks.StatusText(), "Nick cannot hold a double quote or a line break.");
  EXPECT_EQ(networks.Count(), count);
  EXPECT_FALSE(plat::FileExists(networks.FileName()));
  Pump();
  EXPECT_EQ(server.Accepted(), 0) << "nothing was sent";

  networks.NickBox()->SetText("carol");
  Click(&networks, "&Add");
  ASSERT_EQ(networks.Count(), count + 1) << networks.StatusText();
  TNapsterClient unused;
  TLegacySettingsForm read(nullptr, unused, folder, "alice");
  ASSERT_EQ(read.Count(), count + 1);
  EXPECT_EQ(read.Server(count).Nick, "carol");
  EXPECT_EQ(read.Server(count).Password, "secret");
}

// The server refuses an upload this side accepted (it knows the file under
// another name): the row says so and ends, instead of waiting for a peer
// that never comes.
TEST_F(HandsTest, AnUploadTheServerRefusesEndsItsRowAndSaysWhy) {
  const std::string dir = testutil::TempFolder("hands-upload");
  testutil::WriteFileBytes(dir + "notes.txt", "some notes");
  server.SetCheckUploads(true);
  LogIn();
  form->NapsterClient.ShareFile(dir + "notes.txt", true);
  ASSERT_TRUE(Received(100));  // announced under its disguised name
  server.Send(607, "bob \"" + dir + "notes.txt\"");
  TTransferView* up = form->UploadView;
  ASSERT_TRUE(WaitFor([&] { return up->RowCount() == 1 && up->Finished(up->Grid()->Items(0)); }));
  EXPECT_EQ(up->Grid()->Items(0)->Strings(TTransferView::colState), "Refused by the server: Not sharing that file");
  EXPECT_EQ(form->NapsterClient.UploadCount(), 0);
  EXPECT_EQ(server.CountOfType(608), 1);
}

// Only a double click on a row downloads; one on the empty space below the
// rows does nothing, whatever row is chosen.
TEST_F(HandsTest, ADoubleClickDownloadsTheRowItIsOnAndNothingBelowTheRows) {
  server.SetScript(200, {Result("Blue Tide.mp3", 128, 44100), Server::Step::Frame(202, "")});
  LogIn();
  form->ShowView(TMainForm::vSearch);
  ASSERT_TRUE(form->SearchView->Start("blue", false, 100));
  ASSERT_TRUE(WaitFor([&] { return !form->SearchView->Searching(); }));
  TGridTreeList* grid = form->SearchView->Grid();
  ASSERT_EQ(grid->Count(), 1);
  grid->SetNodeSelected(grid->Items(0), true);
  DoubleClick(grid, 40, grid->ClientHeight() - 6);
  EXPECT_EQ(form->DownloadView->RowCount(), 0);
  const gui::Rect cell = grid->CellRect(grid->Items(0), 0);
  DoubleClick(grid, cell.Left + 10, (cell.Top + cell.Bottom) / 2);
  EXPECT_EQ(form->DownloadView->RowCount(), 1);
  EXPECT_TRUE(Received(203));
}

// Enter while a search runs says why it starts none (the two searches'
// results would mix); an empty search says what is missing.
TEST_F(HandsTest, EnterInTheSearchBoxSaysWhyNothingIsAsked) {
  server.SetScript(200, {});  // the search runs on
  LogIn();
  EnterSearch("blue");
  ASSERT_TRUE(form->SearchView->Searching());
  ASSERT_TRUE(Received(200));
  EnterSearch("red");
  EXPECT_EQ(form->LastStatus(), "A search is running: Stop it, then search again (the results of both would mix).");
  form->SearchView->Stop();
  EnterSearch("   ");
  EXPECT_EQ(form->LastStatus(), "Type what to search for first.");
  EnterSearch("red");
  EXPECT_TRUE(form->SearchView->Searching());
  ASSERT_TRUE(Received(200, 2));
  EXPECT_EQ(server.CountOfType(200), 2);
  std::string last;
  for (const NapsterMessage& m : server.Received())
    if (m.Type == 200) last = m.Text;
  EXPECT_NE(last.find("\"red\""), std::string::npos) << last;
}

// A server answers a search for audio with other files too (a peer's
// disguised big.bin): they are listed only when other files are asked for.
TEST_F(HandsTest, ASearchForAudioListsAudioFilesOnly) {
  server.SetScript(200, {Result("Blue Tide.mp3", 128, 44100),
                         Result(EncodeNonMp3Name("C:\\big.bin"), kNonMp3Bitrate, kNonMp3Frequency),
                         Server::Step::Frame(202, "")});
  LogIn();
  for (bool other : {false, true}) {
    ASSERT_TRUE(form->SearchView->Start("b", other, 100));
    ASSERT_TRUE(WaitFor([&] { return !form->SearchView->Searching(); }));
    std::vector<std::string> files;
    for (int i = 0; i < form->SearchView->Grid()->Count(); ++i)
      files.push_back(form->SearchView->Grid()->Items(i)->Strings(TS::colFile));
    EXPECT_EQ(files, other ? (std::vector<std::string>{"Blue Tide.mp3", "big.bin"})
                           : std::vector<std::string>{"Blue Tide.mp3"});
  }
}

// The status bar forgets a server's counts when it goes; two rows of one
// server show their nicks in the side bar; the gateway's row stays and
// Remove says why.
TEST_F(HandsTest, TheBarsSayWhatIsSoNowAndTheGatewaysRowStays) {
  ASSERT_TRUE(WaitFor([&] { return form->LastStatus() == "Shared files announced"; }));
  LogIn();
  ASSERT_TRUE(WaitFor([&] { return form->LastStatus().find("users") != std::string::npos; }));
  LogOut();
  EXPECT_EQ(form->LastStatus().find("users"), std::string::npos) << form->LastStatus();

  TLegacyServer bob = testapp::LocalServer(server.Port());
  bob.Nick = "bob";
  const int second = form->LegacySettings->Add(bob);
  const std::string address = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(form->ServiceBar->GetButton(index)->Caption(), address + " (alice)");
  EXPECT_EQ(form->ServiceBar->GetButton(second)->Caption(), address + " (bob)");

  TLegacySettingsForm& networks = *form->LegacySettings;
  networks.List()->SetSelected(networks.IndexOfGateway());
  Click(&networks, "&Remove");
  EXPECT_EQ(networks.Count(), 3);
  EXPECT_EQ(networks.StatusText(), "Tarnwick P2P belongs to the program and stays; Disconnect ends its session.");
}

// While the gateway's session logs in it says what it waits for and how
// long it may still wait, where the user looks: the status bar, the side
// bar, the networks window and the server window.
TEST_F(HandsTest, TheGatewaysSessionSaysWhatItWaitsForAndHowLong) {
  int64_t now = 1000000;
  clock = [&] { return now; };
  form.reset();
  form = MakeForm();  // its gateway waits 30 seconds at most
  TLegacySettingsForm& networks = *form->LegacySettings;
  networks.Connect(networks.IndexOfGateway());
  now += 12000;
  form->StatisticsTimerTimer();
  EXPECT_EQ(form->LastStatus(), "Looking for peers: Gnutella 0/3, Duskwire 0/1, 0:18 left");
  EXPECT_EQ(form->ConnectionText(), "Connecting, 0:18 left");
  ASSERT_EQ(form->ServerBar->Count(), 1);
  EXPECT_EQ(form->ServerBar->GetButton(0)->Caption(), "Tarnwick P2P (0:18 left)");
  EXPECT_EQ(networks.List()->Text(networks.IndexOfGateway(), 3), "0:18 left");
  EXPECT_EQ(form->ServerForm->SessionRows()[0][2], "0:18 left");
  networks.Disconnect(networks.IndexOfGateway());
  ASSERT_TRUE(WaitFor([&] { return networks.Server(0).State == TLegacyServer::Offline; }));
  EXPECT_EQ(form->ConnectionText(), "Offline");
}

// Stop sharing withdraws every file from the servers (a finished download
// too) and keeps what the shares view adds from being offered; Share again
// lists the share tree afresh.
TEST_F(HandsTest, StopSharingWithdrawsEveryFileAndShareAgainOffersTheSharesAfresh) {
  const std::string music = testutil::TempFolder("hands-share");
  testutil::WriteFileBytes(music + "a.ogg", "ogg bytes");
  testutil::WriteFileBytes(music + "b.ogg", "more ogg bytes");
  LogIn();
  form->ShareView->AddFolder(music, "*.ogg");
  ASSERT_TRUE(WaitFor([&] { return form->LastStatus() == "Shared files announced"; }));
  ASSERT_TRUE(Received(100, 2));
  form->ShowView(TMainForm::vShares);
  Click(form->ShareView, "S&top sharing");
  EXPECT_EQ(form->NapsterClient.SharedCount(), 0);
  EXPECT_EQ(form->SharingText(), "Sharing stopped");
  EXPECT_EQ(form->ShareView->SharingButton()->Caption(), "Share &again");
  EXPECT_TRUE(Received(102, 2));
  const std::string more = testutil::TempFolder("hands-more");
  testutil::WriteFileBytes(more + "c.ogg", "ogg");
  form->ShareView->AddFolder(more, "*.ogg");
  Pump();
  EXPECT_EQ(form->NapsterClient.SharedCount(), 0) << "nothing is offered while sharing is stopped";

  Click(form->ShareView, "Share &again");
  ASSERT_TRUE(WaitFor([&] { return form->LastStatus() == "Shared files announced"; }));
  EXPECT_EQ(form->NapsterClient.SharedCount(), 3);
  EXPECT_EQ(form->SharingText(), "Sharing 3 files");
  EXPECT_EQ(form->ShareView->SharingButton()->Caption(), "S&top sharing");
}

}  // namespace
