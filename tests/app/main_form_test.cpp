// The main window in this process under Wine, against the scripted Napster
// server on 127.0.0.1: logging in from the provider, searching from the
// search view, downloading a result through its text command, the answers
// of the server in the messages view, and what closing leaves on disk.
#include "tests/app/app_fixture.h"

#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>

#include "app/language.h"
#include "app/legacy_settings_form.h"
#include "app/message_view.h"
#include "app/search_view.h"
#include "app/share_view.h"
#include "app/transfer_view.h"
#include "controls/graph.h"
#include "controls/waymark_control.h"
#include "peer/text_command.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/fake_napster_server.h"
#include "tools/gnutella_http_host.h"
#include "tools/socket_black_hole.h"
#include "treelist/grid_drawing.h"

namespace {

using Server = FakeNapsterServer;
using TS = TSearchView;
constexpr const char* kLoopbackWire = "16777343";  // 127.0.0.1 as Napster decimal

// One search-result frame: name, size, bit rate, seconds, nick, link type, port.
Server::Step Result(const std::string& name, int64_t size, int bitrate, int seconds, const std::string& nick,
                    int linkType, int port) {
  return Server::Step::Frame(201, "\"" + name + "\" 00000000000000000000000000000000 " + std::to_string(size) + " " +
                                      std::to_string(bitrate) + " 44100 " + std::to_string(seconds) + " " + nick +
                                      " " + kLoopbackWire + " " + std::to_string(linkType) + " " +
                                      std::to_string(port) + " 0");
}

struct ButtonSearch {
  const std::string& caption;
  HWND found;
};

BOOL CALLBACK FindButton(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<ButtonSearch*>(p);
  char text[128] = {};
  GetWindowTextA(w, text, int(sizeof text));
  if (s->caption != text) return TRUE;
  s->found = w;
  return FALSE;
}

class FakeServerTest : public testapp::MainFormTest {
 protected:
  FakeServerTest() : content(testutil::PatternBytes(700000, 5)), host(content) {
    Server::User bob;
    bob.nick = "bob";
    bob.files = {{"C:\\Music\\Blue Tide.mp3"}, {"C:\\Music\\Old Blue Chair.mp3"}};
    server.AddUser(bob);
    server.SetScript(200, Results());
    server.Start();
    form = MakeForm();
  }
  ~FakeServerTest() override {
    form.reset();
    server.Stop();
  }

  Server::Script Results() {
    return {Result("C:\\Music\\Blue Tide.mp3", 10240977, 256, 200, "bob", 9, 0),
            Result("Blue Shift.mp3", 900, 128, 65, "bob", 4, 0),
            Result("Deep Blue.mp3", 2000000, 160, 3700, "bob", 8, 0),
            Result(kGnuName, int64_t(content.size()), 128, 240, "@#!GNUTELLA:5:16777343", 0, host.Port()),
            Server::Step::Frame(202, "")};
  }

  // Connects the provider's entry for the fake server and waits for the login.
  void LogIn() {
    TLegacyServer s = testapp::LocalServer(server.Port());
    s.Password = "pw";
    index = form->LegacySettings->Add(s);
    form->LegacySettings->Connect(index);
    ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 1; }));
  }

  // Searches from the search box and waits for the search's end.
  void Search(const std::string& text) {
    form->SearchView->SearchBox()->SetText(text);
    ASSERT_TRUE(form->SearchView->Start(form->SearchView->SearchBox()->GetText(), false, 100));
    ASSERT_TRUE(WaitFor([&] { return !form->SearchView->Searching(); }));
  }

  // Enter in a box of the view shown, as the keyboard sends it.
  void Enter(gui::Edit* box) {
    form->ShowAndActivate();
    box->SetFocus();
    PostMessageA(reinterpret_cast<HWND>(box->Handle()), WM_KEYDOWN, VK_RETURN, 1);
    Pump();
  }

  // Something the server says that shows in the messages view: everything
  // it sent before has been handled once it is there.
  void Marker(const std::string& text) {
    server.Send(205, "carol " + text);
    ASSERT_TRUE(WaitFor([&] { return form->MessageView->Text().find(text) != std::string::npos; }));
  }

  std::vector<std::string> Column(int col) {
    std::vector<std::string> v;
    TGridTreeList* g = form->SearchView->Grid();
    for (int i = 0; i < g->Count(); ++i) v.push_back(g->Items(i)->Strings(col));
    return v;
  }

  TGridTreeListNode* Row(const std::string& file) {
    TGridTreeList* g = form->SearchView->Grid();
    for (int i = 0; i < g->Count(); ++i)
      if (g->Items(i)->Strings(TS::colFile) == file) return g->Items(i);
    return nullptr;
  }

  void Choose(TGridTreeListNode* row) {
    TGridTreeList* g = form->SearchView->Grid();
    g->ClearSelection();
    g->SetNodeSelected(row, true);
  }

  // A press and release of the mouse on a side bar button's check box.
  static void ClickCheckBox(TWaymarkControl* bar, int i) {
    const TWaymarkButton* b = bar->GetButton(i);
    const int half = TWaymarkButton::kCheckSize / 2;
    const LPARAM at = MAKELPARAM(b->Left() + b->CheckOffset().X + half, b->Top() + b->CheckOffset().Y + half);
    const HWND h = reinterpret_cast<HWND>(bar->Handle());
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(h, WM_LBUTTONUP, 0, at);
  }

  // A click on the button with this caption somewhere inside a control.
  static void ClickButton(gui::Control* in, const std::string& caption) {
    ButtonSearch search{caption, nullptr};
    EnumChildWindows(reinterpret_cast<HWND>(in->Handle()), &FindButton, reinterpret_cast<LPARAM>(&search));
    ASSERT_NE(search.found, nullptr) << caption;
    SendMessageA(search.found, BM_CLICK, 0, 0);
  }

  static constexpr const char* kGnuName = "Blue Gnu.ogg";
  const std::string content;
  GnutellaHttpHost host;
  Server server;
  std::unique_ptr<TMainForm> form;
  int index = -1;
};

TEST_F(FakeServerTest, ASearchListsItsResultsSortsThemByValueAndIgnoresWhatComesAfterItsEnd) {
  LogIn();
  EXPECT_TRUE(form->ServiceBar->GetButton(index)->Checked());
  ASSERT_EQ(form->ServerBar->Count(), 1);
  EXPECT_TRUE(form->ServerBar->GetButton(0)->Checked());
  EXPECT_EQ(form->ConnectionText(), "Online: 1 server(s)");

  // Enter in the search box searches.
  form->SearchView->SearchBox()->SetText("blue");
  Enter(form->SearchView->SearchBox());
  ASSERT_TRUE(WaitFor([&] { return form->SearchView->ResultCount() == 4 && !form->SearchView->Searching(); }));
  TGridTreeListNode* tide = Row("Blue Tide.mp3");
  ASSERT_NE(tide, nullptr) << "the file's own name, without the peer's folders";
  EXPECT_EQ(tide->Strings(TS::colSize), "10.2 MB");
  EXPECT_EQ(tide->Strings(TS::colBitRate), "256");
  EXPECT_EQ(tide->Strings(TS::colFrequency), "44,100");
  EXPECT_EQ(tide->Strings(TS::colLength), "3:20");
  EXPECT_EQ(tide->Strings(TS::colUser), "bob");
  EXPECT_EQ(tide->Strings(TS::colSpeed), "T1");
  EXPECT_EQ(Row(kGnuName)->Strings(TS::colUser), "Gnutella 127.0.0.1");

  // Sizes and lengths sort by value, not by their texts.
  form->SearchView->Grid()->ColumnClick(TS::colSize, false);
  EXPECT_EQ(Column(TS::colSize), (std::vector<std::string>{"900 B", "700 KB", "2 MB", "10.2 MB"}));
  form->SearchView->Grid()->ColumnClick(TS::colSize, false);
  EXPECT_EQ(Column(TS::colSize), (std::vector<std::string>{"10.2 MB", "2 MB", "700 KB", "900 B"}));
  // A Gnutella result's bit rate, frequency, length and speed are the
  // gateway's placeholders: left empty, and last whichever way they sort.
  for (int col : {TS::colBitRate, TS::colFrequency, TS::colLength, TS::colSpeed})
    EXPECT_EQ(Row(kGnuName)->Strings(col), "") << col;
  form->SearchView->Grid()->ColumnClick(TS::colLength, false);
  EXPECT_EQ(Column(TS::colLength), (std::vector<std::string>{"1:05", "3:20", "61:40", ""}));
  form->SearchView->Grid()->ColumnClick(TS::colLength, false);
  EXPECT_EQ(Column(TS::colLength), (std::vector<std::string>{"61:40", "3:20", "1:05", ""}));

  // A header keeps its whole caption beside the sort mark, in every grid.
  for (TGridTreeList* g : {form->SearchView->Grid(), form->DownloadView->Grid(), form->UploadView->Grid(),
                           form->ShareView->Grid()})
    for (int c = 0; c < g->ColumnCount(); ++c) {
      const std::string& caption = g->Columns(c)->Caption();
      const int room = g->Columns(c)->Width() - kGridSortMarkWidth - 8;
      const gui::TextLayout shown = gui::LayoutText(gui::Service<gui::TextMeasurer>::Get(), g->HeaderFont(), caption,
                                                    gui::Rect{0, 0, room, 20}, DT_SINGLELINE | DT_END_ELLIPSIS);
      ASSERT_EQ(shown.Lines.size(), 1u);
      EXPECT_EQ(shown.Lines[0].Text, caption);
    }

  // After its end a search takes no more results.
  server.Play({Result("Late Blue.mp3", 5, 128, 5, "bob", 4, 0)});
  Marker("after the end");
  EXPECT_EQ(form->SearchView->ResultCount(), 4);

  // One result is counted as one.
  server.SetScript(200, {Result("Lone Blue.mp3", 5, 128, 5, "bob", 4, 0), Server::Step::Frame(202, "")});
  Search("lone");
  EXPECT_EQ(form->LastStatus(), "1 result");

  // A search no server ends stops after its time; what comes later is ignored too.
  server.SetScript(200, {});
  form->SearchView->Start("quiet", false, 100);
  ASSERT_TRUE(form->SearchView->Searching());
  EXPECT_EQ(form->SearchView->SearchTimer()->Interval(), TSearchView::kSearchTimeoutMs);
  EXPECT_TRUE(form->SearchView->SearchTimer()->Enabled());
  form->SearchView->SearchTimer()->OnTimer(form->SearchView->SearchTimer());
  EXPECT_FALSE(form->SearchView->Searching());
  server.Play({Result("Quiet Blue.mp3", 5, 128, 5, "bob", 4, 0)});
  Marker("after the time");
  EXPECT_EQ(form->SearchView->ResultCount(), 0);
}

// The user's number of results is what the servers are asked for; the
// program's gateway sends more, and the view keeps them all up to its own
// limit, telling the user when later ones are left out.
TEST_F(FakeServerTest, ASearchKeepsEveryResultUpToTheViewsLimit) {
  LogIn();
  Server::Script many;
  for (int i = 0; i < 5; ++i) many.push_back(Result("Blue " + std::to_string(i) + ".mp3", 5, 128, 5, "bob", 4, 0));
  many.push_back(Server::Step::Frame(202, ""));
  server.SetScript(200, many);
  ASSERT_TRUE(form->SearchView->Start("blue", false, 2));
  ASSERT_TRUE(WaitFor([&] { return !form->SearchView->Searching(); }));
  EXPECT_EQ(form->SearchView->ResultCount(), 5);
  EXPECT_FALSE(form->SearchView->ResultLimitReached());

  form->SearchView->ResultLimit = 3;
  ASSERT_TRUE(form->SearchView->Start("blue", false, 2));
  ASSERT_TRUE(WaitFor([&] { return !form->SearchView->Searching(); }));
  EXPECT_EQ(form->SearchView->ResultCount(), 3);
  EXPECT_EQ(form->SearchView->Grid()->Count(), 3);
  EXPECT_TRUE(form->SearchView->ResultLimitReached());
  EXPECT_NE(form->LastStatus().find("later results are left out"), std::string::npos) << form->LastStatus();
  // A new search starts with room for its own.
  server.SetScript(200, {Result("Lone Blue.mp3", 5, 128, 5, "bob", 4, 0), Server::Step::Frame(202, "")});
  Search("lone");
  EXPECT_FALSE(form->SearchView->ResultLimitReached());
  EXPECT_EQ(form->LastStatus(), "1 result");
}

TEST_F(FakeServerTest, AGnutellaResultDownloadsThroughItsCommandAndAnExistingFileIsAskedAbout) {
  LogIn();
  Search("blue");
  const std::string local = form->Settings().DownloadFolder + kGnuName;
  // Bytes from an earlier file of that name: overwriting starts afresh.
  testutil::WriteFileBytes(local, "stale bytes");
  answer = TFileExistsChoice::Overwrite;
  Choose(Row(kGnuName));
  const int shared = form->NapsterClient.SharedCount();
  form->SearchView->DownloadChosen();
  EXPECT_EQ(asked, std::vector<std::string>{local});
  EXPECT_EQ(form->CurrentView(), TMainForm::vDownloads);
  TTransferView* down = form->DownloadView;
  ASSERT_EQ(down->RowCount(), 1);
  TGridTreeListNode* row = down->Grid()->Items(0);
  ASSERT_TRUE(WaitFor([&] { return down->Finished(row); }));
  EXPECT_EQ(row->Strings(TTransferView::colState), "Complete");
  EXPECT_EQ(row->Strings(TTransferView::colProgress), "100 %");
  EXPECT_EQ(row->Strings(TTransferView::colUser), "Gnutella 127.0.0.1");
  EXPECT_TRUE(testutil::ReadFileBytes(local) == content) << "the file byte for byte, nothing of the old one";
  EXPECT_EQ(form->NapsterClient.SharedCount(), shared + 1) << "a finished download is shared";

  // Asked again: another name, on a row of its own that shows the file as
  // saved; or nothing at all.
  answer = TFileExistsChoice::Rename;
  form->SearchView->DownloadChosen();
  const std::string renamed = form->Settings().DownloadFolder + "Blue Gnu (2).ogg";
  ASSERT_EQ(down->RowCount(), 2);
  TGridTreeListNode* again = down->Grid()->Items(1);
  EXPECT_EQ(again->Strings(TTransferView::colFile), "Blue Gnu (2).ogg");
  EXPECT_EQ(row->Strings(TTransferView::colFile), kGnuName);
  ASSERT_TRUE(WaitFor([&] { return down->Finished(again) && plat::FileExists(renamed); }));
  EXPECT_TRUE(WaitFor([&] { return testutil::ReadFileBytes(renamed) == content; }));
  // Resume goes on from the end of the file there, in a row of its own.
  const size_t had = 300000;
  testutil::WriteFileBytes(local, content.substr(0, had));
  answer = TFileExistsChoice::Resume;
  form->SearchView->DownloadChosen();
  ASSERT_EQ(down->RowCount(), 3);
  TGridTreeListNode* resumed = down->Grid()->Items(2);
  ASSERT_TRUE(WaitFor([&] { return down->Finished(resumed); }));
  EXPECT_EQ(host.Requests().back().Header("Range"), "bytes=" + std::to_string(had) + "-");
  EXPECT_TRUE(testutil::ReadFileBytes(local) == content) << "the old bytes kept, the rest after them";
  // A name the disk cannot hold is saved as a safe one, and shown so.
  ASSERT_TRUE(form->ExecuteCommand("DOWNLOAD_GNUTELLA " + form->LegacySettings->Server(index).ID +
                                   " @#!GNUTELLA:5:16777343 \"CON.mp3\" 127.0.0.1 " + std::to_string(host.Port()) +
                                   " 5"));
  ASSERT_EQ(down->RowCount(), 4);
  EXPECT_EQ(down->Grid()->Items(3)->Strings(TTransferView::colFile), "_CON.mp3");
  ASSERT_TRUE(WaitFor([&] { return down->Finished(down->Grid()->Items(3)); }));
  const size_t requests = host.Requests().size();
  answer = TFileExistsChoice::Cancel;
  form->SearchView->DownloadChosen();
  EXPECT_EQ(asked.size(), 4u);
  EXPECT_EQ(form->NapsterClient.DownloadCount(), 0);
  EXPECT_EQ(host.Requests().size(), requests);

  // The shares change: only a removed share's files are withdrawn, and the
  // finished downloads stay shared though no share lists them any more.
  // "_CON.mp3", which its download could not share (it is no MP3 stream),
  // is one of the download folder's files, shared by its listing as any
  // other file is, so withdrawn with that share.
  auto announced = [&] { return form->LastStatus() == "Shared files announced"; };
  const std::string music = testutil::TempFolder("main-form-shares");
  testutil::WriteFileBytes(music + "a.ogg", "ogg bytes");
  form->ShareView->AddFolder(music, "*.ogg");
  ASSERT_TRUE(WaitFor([&] { return announced() && form->NapsterClient.SharedCount() == shared + 4; }));
  std::vector<std::string> withdrawn;
  const TNapsterClientOnRemoveFile removed = form->NapsterClient.OnRemoveFile;
  form->NapsterClient.OnRemoveFile = [&](TNapsterClient* c, const std::string& file) {
    withdrawn.push_back(file);
    removed(c, file);
  };
  TGridTreeList* shares = form->ShareView->Grid();
  const std::string musicShare = plat::ExtractFileName(music.substr(0, music.size() - 1));
  for (const std::string& name : {std::string("Downloads"), musicShare}) {
    shares->ClearSelection();
    for (int i = 0; i < shares->Count(); ++i)
      if (shares->Items(i)->Strings(TShareView::colName) == name) shares->SetNodeSelected(shares->Items(i), true);
    form->ShareView->RemoveChosen();
    ASSERT_TRUE(WaitFor(announced));
  }
  EXPECT_EQ(withdrawn, (std::vector<std::string>{form->Settings().DownloadFolder + "_CON.mp3", music + "a.ogg"}));
  EXPECT_EQ(form->NapsterClient.SharedCount(), shared + 2) << "both downloads stay shared";


  const size_t samples = form->DownloadGraph->Samples().size();
  form->StatisticsTimerTimer();
  ASSERT_EQ(form->DownloadGraph->Samples().size(), samples + 1);
  EXPECT_EQ(form->DownloadGraph->Samples().back(), form->NapsterClient.DownloadRate());
  EXPECT_EQ(form->UploadGraph->Samples().size(), samples + 1);
  // Clearing finished rows leaves none.
  EXPECT_EQ(down->RowCount(), 4);
  down->ClearFinished();
  EXPECT_EQ(down->RowCount(), 0);
}

TEST_F(FakeServerTest, RenamedDownloadsNeverShareAFileAndTheViewsButtonsEndThem) {
  LogIn();
  form->ShowAndActivate();
  // No slot is free: the downloads wait in the local queue, and none has
  // made its file yet.
  form->NapsterClient.MaxDownloads = 0;
  const std::string dl = form->Settings().DownloadFolder;
  testutil::WriteFileBytes(dl + "Blue Tide.mp3", "old");
  answer = TFileExistsChoice::Rename;
  const std::string id = form->LegacySettings->Server(index).ID;
  const std::string bobs = id + "bob" + "C:\\Music\\Blue Tide.mp3", carols = id + "carol" + "D:\\Blue Tide.mp3";
  ASSERT_TRUE(form->ExecuteCommand("DOWNLOAD " + id + " bob \"C:\\Music\\Blue Tide.mp3\""));
  ASSERT_TRUE(form->ExecuteCommand("DOWNLOAD " + id + " carol \"D:\\Blue Tide.mp3\""));
  ASSERT_EQ(form->NapsterClient.LocalQueueCount(), 2);
  EXPECT_EQ(form->NapsterClient.FindTransfer(bobs)->LocalFile, dl + "Blue Tide (2).mp3");
  EXPECT_EQ(form->NapsterClient.FindTransfer(carols)->LocalFile, dl + "Blue Tide (3).mp3");
  // A download the user cancels, or one refused (its name is another
  // download's, its server is gone), answers false and queues nothing.
  answer = TFileExistsChoice::Cancel;
  EXPECT_FALSE(form->ExecuteCommand("DOWNLOAD " + id + " dave \"Blue Tide.mp3\""));
  EXPECT_FALSE(form->ExecuteCommand("DOWNLOAD " + id + " dave \"Blue Tide (2).mp3\""));
  EXPECT_EQ(form->LastStatus(), "This file is being downloaded already: " + dl + "Blue Tide (2).mp3");
  EXPECT_FALSE(form->ExecuteCommand("DOWNLOAD gone dave \"Other.mp3\""));
  EXPECT_EQ(form->NapsterClient.LocalQueueCount(), 2);

  // Remove ends the chosen transfer and drops its row; Remove all the rest.
  TTransferView* down = form->DownloadView;
  ASSERT_EQ(down->RowCount(), 2);
  down->Grid()->ClearSelection();
  down->Grid()->SetNodeSelected(down->RowOf(bobs), true);
  ClickButton(down, LangText("TransferView", "00000", "&Remove"));
  EXPECT_EQ(down->RowCount(), 1);
  EXPECT_EQ(form->NapsterClient.FindTransfer(bobs), nullptr);
  EXPECT_NE(form->NapsterClient.FindTransfer(carols), nullptr);
  ClickButton(down, LangText("TransferView", "00001", "Remove &all"));
  EXPECT_EQ(down->RowCount(), 0);
  EXPECT_EQ(form->NapsterClient.LocalQueueCount(), 0);
}

// A download asked for while the server connection still logs in, with
// its queue of requests full: the row says it waits for the server
// connection; once the connection has room the request goes out and the
// row says it is requested.
TEST_F(FakeServerTest, ADownloadTheBusyServerConnectionCannotTakeYetWaitsForIt) {
  server.SetScript(2, {});    // the login is answered when the test says
  server.SetScript(203, {});  // the download request stays unanswered
  index = form->LegacySettings->Add(testapp::LocalServer(server.Port()));
  form->LegacySettings->Connect(index);
  ASSERT_TRUE(WaitFor([&] { return server.CountOfType(2) == 1; }));
  TNapsterClient& c = form->NapsterClient;
  const std::string id = form->LegacySettings->Server(index).ID;
  int taken = 0;
  while (c.HotlistAdd(id, "n" + std::to_string(taken))) ++taken;
  ASSERT_EQ(taken, 50);
  ASSERT_TRUE(form->ExecuteCommand("DOWNLOAD " + id + " bob \"C:\\Music\\Blue Tide.mp3\""));
  TGridTreeListNode* row = form->DownloadView->RowOf(id + "bob" + "C:\\Music\\Blue Tide.mp3");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->Strings(TTransferView::colState), "Waiting for the server connection");

  ASSERT_TRUE(server.Send(3, "alice@example.com"));
  ASSERT_TRUE(WaitFor([&] { return server.CountOfType(203) == 1; }));
  EXPECT_EQ(server.CountOfType(218), 1);
  ASSERT_TRUE(WaitFor([&] { return row->Strings(TTransferView::colState) == "Requesting"; }))
      << row->Strings(TTransferView::colState);
  EXPECT_EQ(testapp::UnshippedTexts(), std::vector<std::string>{});
}

// The side bars' check boxes, clicked: each shows the state the network
// or session is really in.
TEST_F(FakeServerTest, ServiceAndSessionButtonsClickedShowTheRealState) {
  form->ShowAndActivate();
  TSocketBlackHole quiet;  // takes the connection, never logs in
  const int slow = form->LegacySettings->Add(testapp::LocalServer(quiet.Port()));
  ClickCheckBox(form->ServiceBar, slow);
  EXPECT_EQ(form->LegacySettings->Server(slow).State, TLegacyServer::Connecting);
  EXPECT_TRUE(form->ServiceBar->GetButton(slow)->Checked());
  ASSERT_EQ(form->ServerBar->Count(), 1);
  EXPECT_FALSE(form->ServerBar->GetButton(0)->Checked()) << "not logged in";
  ClickCheckBox(form->ServerBar, 0);
  EXPECT_FALSE(form->ServerBar->GetButton(0)->Checked()) << "a mark does not log it in";
  ClickCheckBox(form->ServiceBar, slow);  // cleared: the connection ends
  ASSERT_TRUE(WaitFor([&] { return form->LegacySettings->Server(slow).State == TLegacyServer::Offline; }));
  EXPECT_FALSE(form->ServiceBar->GetButton(slow)->Checked());
  EXPECT_EQ(form->ServerBar->Count(), 0);

  // A network that refuses: the check goes once the connection failed.
  Server gone;
  ASSERT_TRUE(gone.Start());
  const int refused = form->LegacySettings->Add(testapp::LocalServer(gone.Port()));
  gone.Stop();
  ClickCheckBox(form->ServiceBar, refused);
  ASSERT_TRUE(WaitFor([&] { return form->LegacySettings->Server(refused).State == TLegacyServer::Offline; }));
  EXPECT_FALSE(form->ServiceBar->GetButton(refused)->Checked());

  // Logged in by a click; clearing the session's mark logs out.
  index = form->LegacySettings->Add(testapp::LocalServer(server.Port()));
  ClickCheckBox(form->ServiceBar, index);
  ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 1; }));
  ASSERT_EQ(form->ServerBar->Count(), 1);
  EXPECT_TRUE(form->ServerBar->GetButton(0)->Checked());
  ClickCheckBox(form->ServerBar, 0);
  ASSERT_TRUE(WaitFor([&] { return form->LegacySettings->Server(index).State == TLegacyServer::Offline; }));
  EXPECT_FALSE(form->ServiceBar->GetButton(index)->Checked());
  EXPECT_EQ(form->ServerBar->Count(), 0);
}

TEST_F(FakeServerTest, CommandsReachTheServerAndItsAnswersReachTheMessagesView) {
  LogIn();
  // The last frame of a type the server has received, once it has.
  auto received = [&](uint16_t type, int n) {
    EXPECT_TRUE(WaitFor([&] { return server.CountOfType(type) >= n; }));
    std::string text;
    for (const NapsterMessage& m : server.Received())
      if (m.Type == type) text = m.Text;
    return text;
  };
  EXPECT_TRUE(form->ExecuteCommand("MSG bob see you at  eight"));
  EXPECT_EQ(received(205, 1), "bob see you at  eight");

  ASSERT_TRUE(form->ExecuteCommand("WHOIS bob"));
  ASSERT_TRUE(WaitFor([&] { return form->MessageView->Text().find("Whois bob") != std::string::npos; }));
  ASSERT_TRUE(form->ExecuteCommand("browse bob"));
  ASSERT_TRUE(WaitFor([&] { return form->MessageView->Text().find("End of bob's files.") != std::string::npos; }));
  EXPECT_NE(form->MessageView->Text().find("bob: C:\\Music\\Old Blue Chair.mp3"), std::string::npos);
  // What a peer sends cannot start lines of its own in the log.
  server.Send(205, "carol two\r\nlines");
  EXPECT_TRUE(WaitFor([&] { return form->MessageView->Text().find("<carol> two  lines") != std::string::npos; }));
  // The answer line: a message to the nick box's nick, or a command after "/".
  form->MessageView->NickBox()->SetText("bob");
  form->MessageView->MessageBox()->SetText("hello there");
  form->MessageView->Send();
  EXPECT_EQ(received(205, 2), "bob hello there");
  form->ShowView(TMainForm::vMessages);
  form->MessageView->MessageBox()->SetText("/msg bob by enter");
  Enter(form->MessageView->MessageBox());
  EXPECT_EQ(received(205, 3), "bob by enter");
  EXPECT_FALSE(form->ExecuteCommand("FROBNICATE bob"));
  EXPECT_EQ(form->LastStatus(), "Unknown command: FROBNICATE");

  // Taking the service's mark off ends its session.
  form->LegacySettings->Disconnect(index);
  ASSERT_TRUE(WaitFor([&] { return form->LegacySettings->Server(index).State == TLegacyServer::Offline; }));
  EXPECT_FALSE(form->ServiceBar->GetButton(index)->Checked());
  EXPECT_EQ(form->ServerBar->Count(), 0);
  EXPECT_EQ(form->ConnectionText(), "Offline");
  EXPECT_FALSE(form->ExecuteCommand("WHOIS bob"));
}

TEST_F(FakeServerTest, ClosingLeavesTheShareFileAndTheNetworksForTheNextStart) {
  LogIn();
  const std::string music = testutil::TempFolder("main-form-music");
  testutil::WriteFileBytes(music + "a.ogg", "ogg bytes");
  form->ShareView->AddFolder(music, "*.ogg");
  form->ShareView->AddFolder(music, "*.ogg");  // the same folder's second share takes another name
  ASSERT_EQ(form->ShareView->Grid()->Count(), 3);
  EXPECT_EQ(form->ShareView->Grid()->Items(0)->Strings(TShareView::colName), "Downloads");
  const std::string name = plat::ExtractFileName(music.substr(0, music.size() - 1));
  EXPECT_EQ(form->ShareView->Grid()->Items(2)->Strings(TShareView::colName), name + " (2)");
  form->ShareView->Grid()->SetNodeSelected(form->ShareView->Grid()->Items(2), true);
  form->ShareView->RemoveChosen();
  EXPECT_EQ(form->SharedItems().Count(), 2) << "the removed share's record went with it";
  form.reset();

  // The share file and the provider's networks are there for the next start.
  EXPECT_EQ(testutil::ReadFileBytes(folder + "Shared.dat").substr(0, 9), "SHARE_1_0");
  EXPECT_NE(testutil::ReadFileBytes(folder + "Legacy\\Legacy.cfg").find(std::to_string(server.Port())),
            std::string::npos);
  form = MakeForm();
  // Not "Ready" while files are still being announced.
  const std::string status = form->LastStatus();
  EXPECT_TRUE(status == "Announcing shared files..." || status == "Shared files announced") << status;
  ASSERT_EQ(form->ShareView->Grid()->Count(), 2);
  EXPECT_EQ(form->ShareView->Grid()->Items(1)->Strings(TShareView::colName), name);
  EXPECT_EQ(form->SharedItems().Count(), 2);
  ASSERT_EQ(form->LegacySettings->Count(), 2);
  EXPECT_EQ(form->LegacySettings->Server(1).Port, server.Port());
  EXPECT_EQ(form->LegacySettings->Server(0).Address(), "127.0.0.1:10000");
  EXPECT_TRUE(WaitFor([&] { return form->NapsterClient.SharedCount() == 1; })) << "a.ogg is announced";
  EXPECT_TRUE(WaitFor([&] { return form->LastStatus() == "Shared files announced"; }));
  EXPECT_EQ(form->SharingText(), "Sharing 1 file");
}

// Add file opens where a user keeps files: the documents folder at first,
// then the folder of the file chosen last (never the program's folder).
TEST_F(FakeServerTest, AddFileOpensInTheDocumentsFolderThenInTheFolderUsedLast) {
  const std::string music = testutil::TempFolder("add-file");
  testutil::WriteFileBytes(music + "song.ogg", "ogg bytes");
  std::vector<std::string> opened;
  plat::MessageTarget poster;
  // Once the dialog is up: notes its folder, then picks the file (or cancels).
  std::function<void()> answer;
  auto drive = [&](const std::string& pick) {
    answer = [&, pick] {
      const HWND d = FindWindowA("#32770", "Share a File");
      if (!d) return poster.Post(answer);  // not up yet
      char path[MAX_PATH] = {};
      SendMessageA(d, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path));
      opened.push_back(plat::ExcludeTrailingDelim(path));
      if (!pick.empty()) {
        SetDlgItemTextA(d, cmb13, pick.c_str());
        SetDlgItemTextA(d, edt1, pick.c_str());
      }
      PostMessageA(d, WM_COMMAND, pick.empty() ? IDCANCEL : IDOK, 0);
    };
    poster.Post(answer);
  };
  char documents[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents)));
  drive(music + "song.ogg");
  form->ShareView->ChooseFile();
  drive("");
  form->ShareView->ChooseFile();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_TRUE(plat::SameText(opened[0], plat::ExcludeTrailingDelim(documents))) << opened[0];
  EXPECT_TRUE(plat::SameText(opened[1], plat::ExcludeTrailingDelim(music))) << opened[1];
  EXPECT_EQ(form->ShareView->Grid()->Count(), 2) << "the file chosen is shared";
}

TEST_F(FakeServerTest, AShareFileThatCannotBeReadIsKeptAsideNotWrittenOver) {
  form.reset();
  const std::string garbage = "SHARE_1_0" + std::string(40, '\x7f');  // a record cut short
  testutil::WriteFileBytes(folder + "Shared.dat", garbage);
  form = MakeForm();
  EXPECT_NE(form->MessageView->Text().find("Shared.dat.bad"), std::string::npos);
  form.reset();
  EXPECT_TRUE(testutil::ReadFileBytes(folder + "Shared.dat.bad") == garbage);
  EXPECT_EQ(testutil::ReadFileBytes(folder + "Shared.dat"), "SHARE_1_0");
}

TEST_F(FakeServerTest, ANetworkThatRefusesTheConnectionStaysOfflineAndSaysWhy) {
  Server gone;
  ASSERT_TRUE(gone.Start());
  const int i = form->LegacySettings->Add(testapp::LocalServer(gone.Port()));
  gone.Stop();
  form->LegacySettings->Connect(i);
  ASSERT_TRUE(WaitFor([&] { return form->LegacySettings->Server(i).State == TLegacyServer::Offline; }));
  EXPECT_FALSE(form->ServiceBar->GetButton(i)->Checked());
  EXPECT_EQ(form->ServerBar->Count(), 0);
  EXPECT_NE(form->LegacySettings->StatusText().find("("), std::string::npos) << form->LegacySettings->StatusText();
  // Connecting again works as the first time.
  form->LegacySettings->Connect(i);
  EXPECT_TRUE(WaitFor([&] { return form->LegacySettings->Server(i).State == TLegacyServer::Offline; }));
}

TEST_F(FakeServerTest, TheNetworksFileKeepsOnlyServersThatCanBeReached) {
  const std::string other = testutil::TempFolder("legacy");
  plat::ForceDirectories(other + "Legacy");
  testutil::WriteFileBytes(other + "Legacy\\Legacy.cfg",
                           "[Servers]\r\nCount = \"4\"\r\n"
                           "[Server1]\r\nHost = \"opennap.example\"\r\nPort = \"8888\"\r\nNick = \"al\"\r\n"
                           "Password = \"pw\"\r\nRedirect = \"TRUE\"\r\n"
                           "[Server2]\r\nHost = \"\"\r\nPort = \"8888\"\r\n"
                           "[Server3]\r\nHost = \"h\"\r\nPort = \"70000\"\r\n"
                           "[Server4]\r\nHost = \"h\"\r\nPort = \"0\"\r\n");
  TLegacySettingsForm networks(nullptr, form->NapsterClient, other, "alice");
  ASSERT_EQ(networks.Count(), 2);
  EXPECT_TRUE(networks.Server(0).Gateway);
  EXPECT_EQ(networks.Server(1).Address(), "opennap.example:8888");
  EXPECT_TRUE(networks.Server(1).Redirect);
  EXPECT_EQ(networks.Server(1).Password, "pw");
  networks.Remove(0);  // the gateway stays
  EXPECT_EQ(networks.Count(), 2);
  networks.Remove(1);
  TLegacySettingsForm again(nullptr, form->NapsterClient, other, "alice");
  EXPECT_EQ(again.Count(), 1);
}

TEST(ApplicationConfig, TheCacheTagNamesTheCacheServer) {
  const std::string dir = testutil::TempFolder("app-config");
  testutil::WriteFileBytes(dir + "a.cfg", "<TARNWICK><SKIN NAME=x><CACHE HOST=' cache.example ' PORT=\"7001\"></TARNWICK>");
  TApplicationConfig c = ReadApplicationConfig(dir + "a.cfg");
  EXPECT_EQ(c.CacheHost, "cache.example");
  EXPECT_EQ(c.CachePort, 7001);
  testutil::WriteFileBytes(dir + "b.cfg", "<CACHE HOST=h PORT=99999>");
  c = ReadApplicationConfig(dir + "b.cfg");
  EXPECT_EQ(c.CacheHost, "h");
  EXPECT_EQ(c.CachePort, 0) << "no port above 65535";
  testutil::WriteFileBytes(dir + "c.cfg", "<TARNWICK><SKIN></TARNWICK>");
  for (const char* name : {"c.cfg", "missing.cfg"}) {
    c = ReadApplicationConfig(dir + name);
    EXPECT_EQ(c.CacheHost, "") << name;
    EXPECT_EQ(c.CachePort, 0) << name;
  }
}

TEST_F(FakeServerTest, EveryCaptionTheWindowsAskForStandsInTheShippedLanguageFile) {
  TFileExistsForm ask(nullptr, "x");
  EXPECT_GT(LangTextsAsked().size(), 100u);
  EXPECT_EQ(testapp::UnshippedTexts(), std::vector<std::string>{});
}

TEST_F(FakeServerTest, TheFileExistsQuestionAnswersWithTheButtonPressed) {
  TFileExistsForm ask(nullptr, folder + "song.ogg");
  plat::MessageTarget poster;
  for (TFileExistsChoice c : {TFileExistsChoice::Resume, TFileExistsChoice::Rename}) {
    poster.Post([&ask, c] { ask.ButtonFor(c)->Click(); });
    EXPECT_EQ(ask.Ask(), c);
  }
  poster.Post([&ask] { ask.Close(); });
  EXPECT_EQ(ask.Ask(), TFileExistsChoice::Cancel);
  auto taken = [](const std::string& name) { return name.find("(2)") != std::string::npos; };
  EXPECT_EQ(FreeFileName(folder + "song.ogg", taken), folder + "song (3).ogg");
}

}  // namespace
