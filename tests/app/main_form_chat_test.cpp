// The main window's chat under Wine, against the scripted Napster server
// and a second user's client on it, driven as a user drives it: lines
// typed into the messages line and sent with Enter, the users' popup
// opened from the keyboard, a double click on a user, the Chat menu.
#include "tests/app/app_fixture.h"

#include <commctrl.h>

#include <algorithm>

#include "app/legacy_settings_form.h"
#include "app/message_view.h"
#include "app/napster_server_form.h"
#include "app/search_view.h"
#include "gui/menu.h"
#include "tools/fake_napster_server.h"

namespace {

class ChatTest : public testapp::MainFormTest {
 protected:
  ChatTest() {
    FakeNapsterServer::User op;
    op.nick = "alice";
    op.level = "Moderator";  // the window's user may kick
    server.AddUser(op);
    server.Start();
    form = MakeForm();
    form->ShowAndActivate();
    index = form->LegacySettings->Add(testapp::LocalServer(server.Port()));
    form->LegacySettings->Connect(index);
    EXPECT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 1; }));
    view = form->MessageView;
    ApplyMainWindowProperties(bob);
    bob.VersionText = "second client";
  }
  ~ChatTest() override {
    bob.Shutdown();
    form.reset();
    server.Stop();
  }

  // Keys typed into the messages line, then Enter.
  void Type(const std::string& line) {
    form->ShowView(TMainForm::vMessages);
    form->ShowAndActivate();
    gui::Edit* box = view->MessageBox();
    box->SetFocus();
    box->SetText("");
    const HWND h = reinterpret_cast<HWND>(box->Handle());
    for (char c : line) PostMessageA(h, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
    PostMessageA(h, WM_KEYDOWN, VK_RETURN, 1);
    Pump();
  }
  bool Logged(const std::string& text, int times = 1) {
    return WaitFor([&] { return LinesWith(text) >= times; });
  }
  std::vector<std::string> Users() const {
    std::vector<std::string> u;
    for (int i = 0; i < view->UserList()->RowCount(); ++i) u.push_back(view->UserList()->Text(i, 0));
    return u;
  }
  // The second user logs in (and joins the channel).
  void BobComes(bool join) {
    bob.StartSession("127.0.0.1", server.Port(), "bob", "pw", "", false, false, bobId);
    ASSERT_TRUE(WaitFor([&] { return bob.IsLoggedIn(bobId); }));
    if (join) bob.Join(bobId, "#chat");
  }
  // Enter in the messages line as it stands.
  void Enter() {
    view->MessageBox()->SetFocus();
    PostMessageA(reinterpret_cast<HWND>(view->MessageBox()->Handle()), WM_KEYDOWN, VK_RETURN, 1);
    Pump();
  }
  void EnterSearch(const std::string& text) { testapp::EnterSearch(*form, form->SearchView->SearchBox(), text); }
  int LinesWith(const std::string& text) const {
    int n = 0;
    for (const std::string& l : view->Lines()) n += l.find(text) != std::string::npos;
    return n;
  }
  // The last frame of a type the server has had, once it has n of them.
  std::string Received(uint16_t type, int n = 1) {
    EXPECT_TRUE(WaitFor([&] { return server.CountOfType(type) >= n; })) << type;
    std::string text;
    for (const NapsterMessage& m : server.Received())
      if (m.Type == type) text = m.Text;
    return text;
  }
  // Opens the users' popup on a row from the keyboard (the menu key) and
  // takes the item `downs` steps down.
  void UserPopup(int row, int downs) {
    gui::ListView* list = view->UserList();
    list->SetFocus();
    list->SetSelected(row);
    gui::PopupMenu* menu = view->UserMenu();
    auto before = menu->OnPopup;
    const HWND window = reinterpret_cast<HWND>(form->Handle());
    menu->OnPopup = [&, before, window](gui::Component* c) {
      before(c);
      for (int i = 0; i < downs; ++i) PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    };
    SendMessageA(reinterpret_cast<HWND>(list->Handle()), WM_CONTEXTMENU, WPARAM(list->Handle()), MAKELPARAM(-1, -1));
    menu->OnPopup = before;
    Pump();
  }
  // A click on an item of the menu bar's Chat menu.
  void ChatMenu(const std::string& caption) {
    gui::MenuItem& bar = form->Menu()->Items();
    for (int i = 0; i < bar.Count(); ++i) {
      if (bar.Items(i)->Caption() != "&Chat") continue;
      for (int j = 0; j < bar.Items(i)->Count(); ++j) {
        gui::MenuItem* item = bar.Items(i)->Items(j);
        if (item->Caption() != caption) continue;
        SendMessageA(reinterpret_cast<HWND>(form->Handle()), WM_COMMAND, MAKEWPARAM(item->Command(), 0), 0);
        Pump();
        return;
      }
    }
    ADD_FAILURE() << "no menu item " << caption;
  }

  FakeNapsterServer server;
  std::unique_ptr<TMainForm> form;
  TMessageView* view = nullptr;
  int index = -1;
  TNapsterClient bob;
  std::string bobId;
};

TEST_F(ChatTest, AUserJoinsAChannelTalksWithAnotherAndSeesThemComeAndGoOnTheHotList) {
  Type("/join #chat");
  ASSERT_TRUE(Logged("You joined #chat."));
  EXPECT_EQ(view->Channel(), "#chat");
  EXPECT_EQ(view->NickBox()->GetText(), "#chat") << "the line talks to the channel joined";
  ASSERT_TRUE(WaitFor([&] { return Users() == std::vector<std::string>{"alice"}; }));

  // Another user comes and talks; both are listed.
  BobComes(true);
  ASSERT_TRUE(Logged("[#chat] bob joined."));
  EXPECT_EQ(Users(), (std::vector<std::string>{"alice", "bob"}));
  bob.PubMsg(bobId, "#chat", "hello  alice");
  ASSERT_TRUE(Logged("[#chat] <bob> hello  alice"));
  Type("hi bob");
  EXPECT_EQ(Received(402, 2), "#chat hi bob");
  ASSERT_TRUE(Logged("[#chat] <alice> hi bob"));
  Type("/me waves");
  ASSERT_TRUE(Logged("[#chat] * alice waves"));

  // bob goes on the hot list from the users' popup: told online at once,
  // then when he leaves and when he comes back.
  UserPopup(1, 4);  // Send a message, Whois, Browse files, Add to the hot list
  EXPECT_EQ(Received(207), "bob");
  ASSERT_TRUE(Logged("bob is on the hot list.") && Logged("bob is online"));
  bob.Disconnect(bobId);
  ASSERT_TRUE(Logged("bob went offline.") && Logged("[#chat] bob left."));
  ASSERT_TRUE(WaitFor([&] { return Users() == std::vector<std::string>{"alice"}; }));
  BobComes(true);
  ASSERT_TRUE(Logged("bob is online", 2) && Logged("[#chat] bob joined.", 2));
  Type("/hotlist");
  ASSERT_TRUE(Logged("Hot list: bob (online)"));

  // A double click on a user makes the line a private message to him.
  ASSERT_TRUE(WaitFor([&] { return Users().size() == 2; }));
  gui::ListView* list = view->UserList();
  RECT r{LVIR_BOUNDS, 0, 0, 0};
  ASSERT_TRUE(SendMessageA(reinterpret_cast<HWND>(list->Handle()), LVM_GETITEMRECT, 1, LPARAM(&r)));
  const LPARAM at = MAKELPARAM(r.left + 5, (r.top + r.bottom) / 2);
  SendMessageA(reinterpret_cast<HWND>(list->Handle()), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(reinterpret_cast<HWND>(list->Handle()), WM_LBUTTONUP, 0, at);
  SendMessageA(reinterpret_cast<HWND>(list->Handle()), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageA(reinterpret_cast<HWND>(list->Handle()), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(view->NickBox()->GetText(), "bob");
  Type("psst");
  EXPECT_EQ(Received(205), "bob psst");

  // An operator's kick goes out with its channel.
  Type("/kick bob enough now");
  EXPECT_EQ(Received(829), "#chat bob \"enough now\"");
  ASSERT_TRUE(Logged("bob was kicked from channel #chat"));
  ASSERT_TRUE(WaitFor([&] { return Users() == std::vector<std::string>{"alice"}; }));

  // Leaving empties the channel's side; a plain line then says where to.
  Type("/part");
  ASSERT_TRUE(Logged("You left #chat."));
  EXPECT_EQ(view->Channel(), "");
  EXPECT_FALSE(view->ChannelBox()->Enabled());
  EXPECT_EQ(view->NickBox()->GetText(), "bob") << "a nick stays where it was";
  view->NickBox()->SetText("");
  Type("anyone?");
  ASSERT_TRUE(Logged("Write a nick or a joined channel in the To: box"));
  EXPECT_EQ(view->MessageBox()->GetText(), "anyone?") << "the line stays for the user to direct";
}

// The server's users, files and gigabytes, asked with /stats or the Chat
// menu, are written in the messages view as well as in the status bar;
// the figures a session has sent it unasked (after its login) are not.
TEST_F(ChatTest, TheServersFiguresAskedForAreWrittenInTheMessagesView) {
  const std::string address = "127.0.0.1:" + std::to_string(server.Port());
  auto figures = [&] {
    for (const std::vector<std::string>& row : form->ServerForm->SessionRows())
      if (row[0] == address && row[3] != "0") return row;
    return std::vector<std::string>();
  };
  ASSERT_TRUE(WaitFor([&] { return !figures().empty(); })) << "the answer to the login's own request";
  const std::string line = address + ": " + figures()[3] + " users, " + figures()[4] + " files, " + figures()[5] + " GB";
  auto written = [&] { return int(std::count(view->Lines().begin(), view->Lines().end(), line)); };
  EXPECT_EQ(written(), 0);
  Type("/stats");
  ASSERT_TRUE(WaitFor([&] { return written() == 1; })) << view->Text();
  EXPECT_EQ(form->LastStatus(), line);
  ChatMenu("Server &statistics");
  ASSERT_TRUE(WaitFor([&] { return written() == 2; })) << view->Text();
  EXPECT_EQ(server.CountOfType(214), 3);
}

TEST_F(ChatTest, TheMenuThePopupsAndTheLinesItCannotRunSayWhatHappens) {
  // The Chat menu's items ask the server, and the answers are listed.
  server.SetMotd({"Welcome to the test server."});
  ChatMenu("&Message of the day");
  ASSERT_TRUE(Logged("Welcome to the test server."));
  EXPECT_EQ(form->CurrentView(), TMainForm::vMessages);
  Type("/join #quiet");
  ASSERT_TRUE(Logged("You joined #quiet."));
  Type("/topic Nothing much");
  ASSERT_TRUE(Logged("[#quiet] topic: Nothing much"));
  ChatMenu("&Channels on the server");
  ASSERT_TRUE(Logged("Channel #quiet: 1 user - Nothing much") && Logged("End of the channel list"));
  ChatMenu("C&ommands");
  ASSERT_TRUE(Logged("/join channel - joins a channel"));
  EXPECT_TRUE(Logged("/kick [channel] nick [reason] - "));

  // USER_POPUP and CHANNEL_POPUP are commands of the one interpreter: their
  // popups act on the user or channel they name.
  BobComes(false);
  const HWND window = reinterpret_cast<HWND>(form->Handle());
  view->UserMenu()->OnPopup = [window](gui::Component*) {
    PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);  // Whois
    PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
  };
  ASSERT_TRUE(form->ExecuteCommand("USER_POPUP bob"));
  EXPECT_EQ(Received(603), "bob");
  ASSERT_TRUE(Logged("Whois bob"));
  auto channelPopup = view->ChannelMenu()->OnPopup;
  view->ChannelMenu()->OnPopup = [window, channelPopup](gui::Component* c) {
    channelPopup(c);
    PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);  // Join (Leave is off: not joined)
    PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
  };
  ASSERT_TRUE(form->ExecuteCommand("CHANNEL_POPUP #loud"));
  ASSERT_TRUE(Logged("You joined #loud."));
  EXPECT_EQ(view->ChannelBox()->Count(), 2);

  // What the interpreter cannot run is said in the log and the status bar.
  Type("/frobnicate now");
  ASSERT_TRUE(Logged("Unknown command: frobnicate"));
  Type("/kick");
  ASSERT_TRUE(Logged("/kick: Words are missing. Usage: /kick [channel] nick [reason]"));
  EXPECT_EQ(form->LastStatus(), "/kick: Words are missing.");
  Type("/global hello all");
  ASSERT_TRUE(Logged("permission denied")) << "a global message is for administrators";
  // An operator's ban is listed with who set it and why.
  Type("/ban 10.0.0.9 flooding the channel");
  ASSERT_TRUE(Logged("-> 127.0.0.1:" + std::to_string(server.Port()) + ": /ban 10.0.0.9 flooding the channel"));
  Type("/bans");
  ASSERT_TRUE(Logged("bans 10.0.0.9 (alice: flooding the channel)."));

  // Without a chat server (only the program's gateway could be there) the
  // chat verbs say so.
  form->LegacySettings->Disconnect(index);
  ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 0; }));
  EXPECT_EQ(view->ChannelBox()->Count(), 0) << "the channels went with their session";
  Type("/join #chat");
  ASSERT_TRUE(Logged("Connect to a network first."));
  // Every text the chat showed stands in the shipped language file.
  EXPECT_EQ(testapp::UnshippedTexts(), std::vector<std::string>{});
}

// A chat server is told the whole hot list as it logs in, though its session
// takes 50 requests at a time. What the user asks meanwhile that the session
// cannot take is told as not sent, where it was asked: the line stays, and
// Enter again sends it once the session has room.
TEST_F(ChatTest, AHotListOf300IsToldWholeAtLoginAndALineTheBusySessionCannotTakeIsToldNotSent) {
  std::vector<std::string> nicks;
  for (int i = 0; i < 300; ++i) nicks.push_back("n" + std::to_string(i));
  for (size_t i = 0; i < nicks.size(); ++i) {
    ASSERT_TRUE(form->ExecuteCommand("HOTLIST " + nicks[i]));
    if (i % 30 == 29) ASSERT_TRUE(WaitFor([&] { return server.CountOfType(207) > int(i); })) << i;
  }
  ASSERT_TRUE(Logged("n299 is on the hot list."));
  form->LegacySettings->Disconnect(index);
  ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 0; }));
  server.ClearReceived();

  // Logged in again: while the window tells the hot list (its session waits
  // for the window meanwhile), the user sends a line and starts a search.
  std::string lineStatus, lineLeft, searchStatus;
  bool searching = true;
  TNapsterClient& c = form->NapsterClient;
  c.OnLogin = [&, login = c.OnLogin](TNapsterClient* sender, const std::string& id, const std::string& email) {
    login(sender, id, email);
    if (!lineStatus.empty()) return;
    Type("/msg bob hi");
    lineStatus = form->LastStatus();
    lineLeft = view->MessageBox()->GetText();
    EnterSearch("blue");
    searchStatus = form->LastStatus();
    searching = form->SearchView->Searching();
  };
  form->LegacySettings->Connect(index);
  ASSERT_TRUE(WaitFor([&] { return server.CountOfType(207) >= 300; })) << server.CountOfType(207);
  std::vector<std::string> told;
  for (const NapsterMessage& m : server.Received())
    if (m.Type == 207) told.push_back(m.Text);
  EXPECT_EQ(told, nicks);

  EXPECT_EQ(lineStatus, "Not sent: the server connection is busy.");
  EXPECT_EQ(LinesWith("Not sent: the server connection is busy."), 1);
  EXPECT_EQ(LinesWith("-> bob: hi"), 0);
  EXPECT_EQ(lineLeft, "/msg bob hi") << "the line stays to be sent again";
  EXPECT_EQ(searchStatus, "Not sent: the server connection is busy.");
  EXPECT_FALSE(searching);
  EXPECT_EQ(server.CountOfType(205) + server.CountOfType(200), 0);

  form->ShowView(TMainForm::vMessages);
  Enter();
  EXPECT_EQ(Received(205), "bob hi");
  ASSERT_TRUE(Logged("-> bob: hi"));
  EXPECT_EQ(view->MessageBox()->GetText(), "");
  EXPECT_EQ(server.CountOfType(205), 1);
  EXPECT_EQ(testapp::UnshippedTexts(), std::vector<std::string>{});
}

// A message goes to every session. One still logging in takes no more once
// it holds 50: the message reaches the others, and the user is told which
// server it missed.
TEST_F(ChatTest, AMessageToEverySessionNamesTheBusyServerItMissed) {
  // The statistics a login asks for are in (nothing else sets the status
  // bar meanwhile), and bob is online: the server answers nothing to the
  // messages.
  ASSERT_TRUE(WaitFor([&] { return form->LastStatus().find(" users, ") != std::string::npos; }));
  BobComes(false);
  FakeNapsterServer held;
  held.SetScript(2, {});  // its login is never answered
  ASSERT_TRUE(held.Start());
  TLegacyServer second = testapp::LocalServer(held.Port());
  second.Nick = "carol";
  form->LegacySettings->Connect(form->LegacySettings->Add(second));
  ASSERT_TRUE(WaitFor([&] { return held.CountOfType(2) == 1; }));
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(form->ExecuteCommand("MSG bob m" + std::to_string(i))) << i;
  ASSERT_TRUE(WaitFor([&] { return server.CountOfType(205) == 50; }));
  EXPECT_EQ(LinesWith("Not sent"), 0);

  Type("/msg bob one more");
  const std::string told = "Not sent to these servers, their connection is busy: 127.0.0.1:" + std::to_string(held.Port());
  EXPECT_EQ(form->LastStatus(), told);
  ASSERT_TRUE(Logged(told));
  EXPECT_EQ(LinesWith("-> bob: one more"), 1);
  EXPECT_EQ(view->MessageBox()->GetText(), "") << "it went where it could";
  EXPECT_EQ(Received(205, 51), "bob one more");
  EXPECT_EQ(held.CountOfType(205), 0);
  form->LegacySettings->Disconnect(form->LegacySettings->Count() - 1);
  held.Stop();
}

}  // namespace
