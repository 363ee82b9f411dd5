// test-label: concurrency
// Napster sessions on their own threads over the socket component, against
// the scripted fake server on 127.0.0.1. The test plays the client
// component: it starts connections with their start records, posts METHOD
// records on the pump and records what the sessions call back on the main
// thread.
#include <gtest/gtest.h>

#include <map>

#include "core/network_wrapper.h"
#include "peer/napster/napster_client_info_thread.h"
#include "tests/support/test_util.h"
#include "tools/fake_napster_server.h"
#include "tools/loopback_server.h"

namespace {

using Sender = TNapsterClientCallbacks::Sender;
using Id = TNapsterClientCallbacks::Id;
using Text = TNapsterClientCallbacks::Text;
using Server = FakeNapsterServer;

constexpr int kWaitMs = 5000;

class Client {
 public:
  TEasyWinsock sockets;
  TMessagePump pump;
  plat::CriticalSection shareLock;
  std::vector<TNapsterShareInfo> shares;
  std::vector<std::string> log;
  std::vector<TMessageItem> events;
  int finished = 0;
  int winsockErrors = 0;
  int64_t idleCutMs = 300000;
  int redirectorPort = 0;
  bool uploadAccept = true;

  ~Client() { sockets.CloseAll(); }  // before the pump and lists go

  Client() {
    sockets.TimeOut = 2;
    sockets.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& thread) {
      auto* t = new TNapsterClientThread();
      t->Pump = &pump;
      t->ShareLock = &shareLock;
      t->ReadShares = [this](std::vector<TNapsterShareInfo>& files) { files = shares; };
      t->IdleCutMs = idleCutMs;
      t->RedirectRetryDelayMs = 50;
      Wire(*t);
      thread = t;
    };
    sockets.OnFinish = [this](TEasyWinsock*, TEasySocket*) { finished++; };
    sockets.OnWinsockError = [this](TEasyWinsock*, TEasySocket*, int code, const std::string& text) {
      winsockErrors++;
      log.push_back("WinsockError " + std::to_string(code) + " " + text);
    };
  }

  TEasySocket* Start(int port, const std::string& id, const std::string& kind = "LOGIN", bool redirect = false) {
    TEasySocket* s = sockets.Connect("127.0.0.1", port);
    Fill(s, id, kind, redirect);
    return s;
  }
  void Fill(TEasySocket* s, const std::string& id, const std::string& kind, bool redirect) {
    s->SetValue("ID", id);
    s->SetValue("NICK", "tester");
    s->SetValue("PASSWORD", "secret");
    s->SetValue("EMAIL", "t@example.com");
    s->SetValue("LINK_TYPE", "8");
    s->SetValue("VERSION_TEXT", "Tarnwick 1.0");
    s->SetValue("LOCAL_PORT", "6699");
    s->SetValue("BUILD_NUMBER", "42");
    s->SetValue("KIND", kind);
    s->SetValue("REDIRECT", redirect ? "TRUE" : "FALSE");
  }

  void Post(const std::string& verb, const std::vector<std::pair<const char*, std::string>>& fields) {
    TMessageItem r;
    r.SetValue("NAME", "NAPSTER_CLIENT");
    r.SetValue("ACTION", "METHOD");
    r.SetValue("METHOD", verb);
    for (const auto& [k, v] : fields) r.SetValue(k, v);
    pump.Post(r);
  }

  bool Logged(const std::string& entry, int ms = kWaitMs) {
    return testutil::PumpUntil([&] { return Has(entry); }, ms);
  }
  bool Has(const std::string& entry) const {
    for (const std::string& l : log)
      if (l == entry) return true;
    return false;
  }
  int CountEvents(const std::string& name) const {
    int n = 0;
    for (const TMessageItem& e : events) n += e.GetValue("EVENT") == name;
    return n;
  }
  const TMessageItem* Event(const std::string& name, int nth = 1) const {
    for (const TMessageItem& e : events)
      if (e.GetValue("EVENT") == name && --nth == 0) return &e;
    return nullptr;
  }
  bool WaitEvents(const std::string& name, int n, int ms = kWaitMs) {
    return testutil::PumpUntil([&] { return CountEvents(name) >= n; }, ms);
  }
  bool WaitFinished(int n, int ms = kWaitMs) {
    return testutil::PumpUntil([&] { return finished >= n; }, ms);
  }

 private:
  void Wire(TNapsterClientThread& t) {
    auto& cb = t.Callbacks;
    cb.OnSearchStarted = [this](Sender, Id) { log.push_back("SearchStarted"); };
    cb.OnSearchEnded = [this](Sender, Id) { log.push_back("SearchEnded"); };
    cb.OnLoggedIn = [this](Sender, Id id, Text email) { log.push_back("LoggedIn " + id + " " + email); };
    cb.OnLoginError = [this](Sender, Id id, Text reason) { log.push_back("LoginError " + id + " " + reason); };
    cb.OnRegistered = [this](Sender, Id id) { log.push_back("Registered " + id); };
    cb.OnRegisterError = [this](Sender, Id, int kind) { log.push_back("RegisterError " + std::to_string(kind)); };
    cb.OnSendingSharedFiles = [this](Sender, Id) { log.push_back("SendingSharedFiles"); };
    cb.OnEventReceived = [this](Sender, Id, const TMessageItem& e) { events.push_back(e); };
    cb.OnUploadRequested = [this](Sender, Id, Text nick, Text file, bool& queued, bool& accept) {
      log.push_back("UploadRequested " + nick + " " + file);
      accept = uploadAccept;
      queued = false;
    };
    cb.OnStartDownload = [this](Sender, Id, const TNapsterTransferOffer& o) {
      log.push_back("StartDownload " + o.Nick + " " + o.FileName + " " + o.IP + " " + std::to_string(o.Port));
    };
    // As the client component does: a redirector naming this machine or
    // port 1111 is asked again, otherwise the named server is dialled.
    cb.OnRedirected = [this](Sender, Id id, Text host, int port) {
      log.push_back("Redirected " + host + " " + std::to_string(port));
      bool again = host == "127.0.0.1" || port == 1111;
      TEasySocket* s = sockets.Connect(again ? "127.0.0.1" : host, again ? redirectorPort : port);
      Fill(s, id, "LOGIN", again);
    };
  }
};

// Waits for the n-th frame of a type at the server, running the main loop
// meanwhile (sessions may be waiting for a callback).
bool Got(Server& server, uint16_t type, NapsterMessage* out = nullptr, int n = 1) {
  return testutil::PumpUntil([&] { return server.WaitForType(type, 0, out, n); }, kWaitMs);
}

Server::User Bob() {
  Server::User bob;
  bob.nick = "bob";
  bob.files = {{"C:\\music\\Alpha Song.mp3", "11111111111111111111111111111111", 5000000000LL, 128, 44100, 245},
               {"C:\\music\\Beta Song.mp3", "22222222222222222222222222222222", 4000000, 192, 48000, 180},
               {"C:\\docs\\notes.txt", "33333333333333333333333333333333", 1200, 24, 16000, 60}};
  return bob;
}

// Starts a client logged in to the server (which knows bob and #chat).
void LogIn(Client& c, Server& server, const std::string& id = "S1") {
  server.AddUser(Bob());
  server.AddChannel({"#chat", "All about chat", {"bob"}});
  c.Start(server.Port(), id);
  ASSERT_TRUE(c.Logged("LoggedIn " + id + " fake@tarnwick.test"));
}

class NapsterLoopback : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Start()); }
  Server server;
  Client c;  // torn down before the server
};

TEST_F(NapsterLoopback, LoginAnnouncesSharesAndGetsStats) {
  c.shares = {{"C:\\share\\one.mp3", "AAAAAAAAAAAAAAAAA", 3000000000LL, 128, 44100, 300},
              {"C:\\share\\two.mp3", "AAAAAAAAAAAAAAAAA", 10, 64, 22050, 5}};
  LogIn(c, server);
  ASSERT_TRUE(Got(server, 214));
  std::vector<NapsterMessage> got = server.Received();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].Type, 2);
  EXPECT_EQ(got[0].Text, "tester secret 6699 \"Tarnwick 1.0\" 8 42");
  EXPECT_EQ(got[1].Text, "\"C:\\share\\one.mp3\" AAAAAAAAAAAAAAAAA 3000000000 128 44100 300");
  EXPECT_EQ(got[2].Type, 100);
  EXPECT_EQ(got[3].Type, 214);
  EXPECT_EQ(got[3].Text, "");
  EXPECT_EQ(c.log[0], "SendingSharedFiles");
  ASSERT_TRUE(c.WaitEvents("STATS", 1));
  EXPECT_EQ(c.Event("STATS")->GetValue("USERS"), "2");
  EXPECT_EQ(c.Event("STATS")->GetValue("ID"), "S1");
  EXPECT_EQ(c.finished, 0);
}

TEST_F(NapsterLoopback, RefusedLoginEndsTheSession) {
  server.SetLoginReply(0, "Invalid password");
  c.Start(server.Port(), "S2");
  ASSERT_TRUE(c.Logged("LoginError S2 Invalid password"));
  ASSERT_TRUE(c.WaitFinished(1));
  EXPECT_FALSE(c.Has("LoggedIn S2 fake@tarnwick.test"));
  EXPECT_EQ(c.winsockErrors, 0);
  EXPECT_EQ(server.CountOfType(214), 0);
}

TEST_F(NapsterLoopback, Registration) {
  c.Start(server.Port(), "R1", "REGISTER");
  ASSERT_TRUE(c.Logged("Registered R1"));
  ASSERT_TRUE(Got(server, 14));
  std::vector<NapsterMessage> got = server.Received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].Type, 7);
  EXPECT_EQ(got[0].Text, "tester");
  EXPECT_EQ(got[1].Type, 6);
  EXPECT_EQ(got[1].Text, "tester secret 6699 \"Tarnwick 1.0\" 8 t@example.com 42");
  ASSERT_TRUE(c.WaitFinished(1));

  // A component given no client name registers with the program's own:
  // servers refuse a login that names none. (The server keeps "tester"
  // registered now: another nick.)
  server.ClearReceived();
  TEasySocket* s = c.Start(server.Port(), "R3", "REGISTER");
  s->SetValue("VERSION_TEXT", "");
  s->SetValue("NICK", "newcomer");
  ASSERT_TRUE(c.Logged("Registered R3"));
  NapsterMessage account;
  ASSERT_TRUE(Got(server, 6, &account));
  EXPECT_EQ(account.Text, "newcomer secret 6699 \"" + std::string(kOwnVersionText) + "\" 8 t@example.com 42");
}

TEST_F(NapsterLoopback, RefusedAccountIsNoRegistration) {
  server.SetNewUserReply(0, "Invalid e-mail address");
  c.Start(server.Port(), "R2", "REGISTER");
  ASSERT_TRUE(c.Logged("LoginError R2 Invalid e-mail address"));
  EXPECT_TRUE(c.Has("RegisterError 0"));
  EXPECT_FALSE(c.Has("Registered R2"));
  ASSERT_TRUE(c.WaitFinished(1));
  EXPECT_EQ(server.CountOfType(14), 0);
}

TEST_F(NapsterLoopback, RedirectorNamesTheServer) {
  Server redirector;
  ASSERT_TRUE(redirector.Start());
  redirector.SetRedirectAnswer("2130706433:" + std::to_string(server.Port()) + "\r\n", 3);
  c.redirectorPort = redirector.Port();
  c.Start(redirector.Port(), "RD", "LOGIN", true);
  ASSERT_TRUE(c.Logged("LoggedIn RD fake@tarnwick.test"));
  EXPECT_TRUE(c.Has("Redirected 2130706433 " + std::to_string(server.Port())));
  EXPECT_EQ(redirector.Accepted(), 1);
}

TEST_F(NapsterLoopback, RedirectorThatKeepsAnsweringItselfIsGivenUp) {
  server.SetRedirectAnswer("127.0.0.1:1111\n");
  c.redirectorPort = server.Port();
  c.Start(server.Port(), "LOOP", "LOGIN", true);
  ASSERT_TRUE(c.Logged("LoginError LOOP The redirector named no server"));
  ASSERT_TRUE(c.WaitFinished(4));
  EXPECT_EQ(server.Accepted(), 4);  // asked again three times, then no more
  testutil::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(server.Accepted(), 4);
}

TEST_F(NapsterLoopback, SearchesSendOnlyTheFiltersGiven) {
  LogIn(c, server);
  struct Case {
    std::vector<std::pair<const char*, std::string>> fields;
    std::string query;
    int results;
  } cases[] = {
      {{{"SONG_NAME", "song"}, {"MAX_RESULTS", "100"}, {"BITRATE_ACTION", "AT LEAST"}, {"BITRATE_VALUE", "128"},
        {"FREQUENCY_VALUE", "0"}, {"LINK_TYPE_VALUE", "0"}, {"PING_TIME_VALUE", "0"}},
       "FILENAME CONTAINS \"song\" MAX_RESULTS 100 BITRATE \"AT LEAST\" \"128\"", 2},
      {{{"SONG_NAME", "notes"}, {"MAX_RESULTS", "10"}, {"FREQUENCY_ACTION", "EQUAL TO"}, {"FREQUENCY_VALUE", "16000"},
        {"BITRATE_VALUE", "0"}},
       "FILENAME CONTAINS \"notes\" MAX_RESULTS 10 FREQ \"EQUAL TO\" \"16000\"", 1},
      {{{"ARTIST_NAME", "alpha"}, {"MAX_RESULTS", "5"}, {"LINK_TYPE_ACTION", "AT LEAST"}, {"LINK_TYPE_VALUE", "7"}},
       "MAX_RESULTS 5 FILENAME CONTAINS \"alpha\" LINESPEED \"AT LEAST\" 7", 1},
  };
  int ends = 0;
  for (const Case& k : cases) {
    c.events.clear();
    c.Post("MP3_SEARCH", k.fields);
    ++ends;
    ASSERT_TRUE(c.WaitEvents("SEARCH_END", 1));
    NapsterMessage query;
    ASSERT_TRUE(Got(server, 200, &query, ends));
    EXPECT_EQ(query.Text, k.query);
    EXPECT_EQ(c.CountEvents("SEARCH_ITEM"), k.results) << k.query;
  }
  const TMessageItem* item = nullptr;
  c.events.clear();
  c.Post("MP3_SEARCH", {{"SONG_NAME", "alpha"}, {"MAX_RESULTS", "100"}});
  ASSERT_TRUE(c.WaitEvents("SEARCH_END", 1));
  ASSERT_NE(item = c.Event("SEARCH_ITEM"), nullptr);
  EXPECT_EQ(item->GetValue("FILENAME"), "C:\\music\\Alpha Song.mp3");
  EXPECT_EQ(item->GetValue("SIZE"), "5000000000");
  EXPECT_EQ(item->GetValue("IP"), "2130706433");
  EXPECT_EQ(item->GetValue("NICK"), "bob");
  int ping = std::stoi(item->GetValue("PING_TIME"));
  EXPECT_GE(ping, 0);
  EXPECT_LE(ping, 300);
  EXPECT_EQ(std::count(c.log.begin(), c.log.end(), "SearchStarted"), 4);
  EXPECT_EQ(std::count(c.log.begin(), c.log.end(), "SearchEnded"), 4);
}

TEST_F(NapsterLoopback, BrowseWhoisAndPrivateMessages) {
  LogIn(c, server);
  c.Post("GET_DIR", {{"NICK", "bob"}});
  ASSERT_TRUE(c.WaitEvents("DIR_END", 1));
  EXPECT_EQ(c.CountEvents("DIR_ITEM"), 3);
  EXPECT_EQ(c.Event("DIR_ITEM", 3)->GetValue("FILENAME"), "C:\\docs\\notes.txt");
  EXPECT_EQ(c.Event("DIR_END")->GetValue("NICK"), "bob");

  c.Post("GET_DIR", {{"NICK", "nobody"}});
  ASSERT_TRUE(c.WaitEvents("DIR_END", 2));
  EXPECT_EQ(c.CountEvents("DIR_ITEM"), 3);
  ASSERT_NE(c.Event("SIGN_OFF"), nullptr);
  EXPECT_EQ(c.Event("SIGN_OFF")->GetValue("NICK"), "nobody");

  c.Post("WHOIS", {{"NICK", "bob"}});
  ASSERT_TRUE(c.WaitEvents("WHOIS", 1));
  const TMessageItem* w = c.Event("WHOIS");
  EXPECT_EQ(w->GetValue("USER_LEVEL"), "User");
  EXPECT_EQ(w->GetValue("CHANNELS"), "#chat");
  EXPECT_EQ(w->GetValue("CLIENT_VERSION"), "fake client 1.0");
  EXPECT_EQ(w->GetValue("LINK_TYPE"), "7");

  c.Post("PRIVMSG", {{"NICK", "echo"}, {"MESSAGE", "hello  you"}});
  ASSERT_TRUE(c.WaitEvents("PRIVMSG", 1));
  EXPECT_EQ(c.Event("PRIVMSG")->GetValue("NICK"), "echo");
  EXPECT_EQ(c.Event("PRIVMSG")->GetValue("MESSAGE"), "hello  you");
}

TEST_F(NapsterLoopback, ChannelJoinTopicPart) {
  LogIn(c, server);
  c.Post("JOIN", {{"CHANNEL", "#chat"}});
  ASSERT_TRUE(c.WaitEvents("TOPIC", 1));
  const TMessageItem* join = c.Event("JOIN");
  ASSERT_NE(join, nullptr);
  EXPECT_EQ(join->GetValue("IS_MINE"), "TRUE");
  EXPECT_EQ(join->GetValue("NICK"), "tester");
  EXPECT_EQ(c.CountEvents("USER_ITEM"), 2);
  EXPECT_EQ(c.Event("USER_LIST_END")->GetValue("CHANNEL"), "#chat");
  EXPECT_EQ(c.Event("TOPIC")->GetValue("TOPIC"), "All about chat");

  c.Post("PUBMSG", {{"CHANNEL", "#chat"}, {"MESSAGE", "hi all"}});
  ASSERT_TRUE(c.WaitEvents("PUBMSG", 1));
  EXPECT_EQ(c.Event("PUBMSG")->GetValue("MESSAGE"), "hi all");

  c.Post("GET_TOPIC", {{"CHANNEL", "#chat"}});
  c.Post("PART", {{"CHANNEL", "#chat"}});
  ASSERT_TRUE(c.WaitEvents("PART", 1));
  EXPECT_EQ(c.Event("PART")->GetValue("IS_MINE"), "TRUE");
  NapsterMessage topic;
  ASSERT_TRUE(Got(server, 410, &topic));
  EXPECT_EQ(topic.Text, "#chat");
}

TEST_F(NapsterLoopback, TransferHandshakes) {
  Server::User eve;  // firewalled uploader
  eve.nick = "eve";
  eve.dataPort = 0;
  server.AddUser(eve);
  LogIn(c, server);
  c.Post("DOWNLOAD", {{"NICK", "bob"}, {"REMOTE_FILENAME", "C:\\music\\Beta Song.mp3"}});
  ASSERT_TRUE(c.Logged("StartDownload bob C:\\music\\Beta Song.mp3 2130706433 6699"));
  c.Post("DOWNLOAD", {{"NICK", "eve"}, {"REMOTE_FILENAME", "C:\\x.mp3"}});
  NapsterMessage push;
  ASSERT_TRUE(Got(server, 500, &push));
  EXPECT_EQ(push.Text, "eve \"C:\\x.mp3\"");

  ASSERT_TRUE(server.Send(607, "bob \"C:\\share\\one.mp3\" 7"));
  NapsterMessage answer;
  ASSERT_TRUE(Got(server, 608, &answer));
  EXPECT_EQ(answer.Text, "bob \"C:\\share\\one.mp3\"");
  EXPECT_TRUE(c.Has("UploadRequested bob C:\\share\\one.mp3"));
}

TEST_F(NapsterLoopback, IdleSessionIsCut) {
  server.SetScript(214, {});  // say nothing after the login
  c.idleCutMs = 300;
  LogIn(c, server);
  ASSERT_TRUE(c.WaitFinished(1));
  ASSERT_TRUE(server.WaitForClientGone(1, kWaitMs));
  EXPECT_EQ(c.winsockErrors, 0);
}

using Step = Server::Step;

TEST_F(NapsterLoopback, FrameSplitOverManySegmentsArrivesWhole) {
  std::string frame;
  EncodeNapsterMessage(205, "bob split into pieces", kNapsterClientMaxText, frame);
  server.SetAfterLogin({Step::Raw(frame, 1, 2)});
  LogIn(c, server);
  ASSERT_TRUE(c.WaitEvents("PRIVMSG", 1));
  EXPECT_EQ(c.Event("PRIVMSG")->GetValue("MESSAGE"), "split into pieces");
}

TEST_F(NapsterLoopback, NonNumericFieldsReadAsNothing) {
  server.SetAfterLogin({Step::Frame(620, "bob \"f.mp3\" huge many"), Step::Frame(204, "bob nowhere port \"f.mp3\" x y"),
                        Step::Frame(201, "\"f\" m size br fr s bob ip link"), Step::Frame(214, "a b c")});
  LogIn(c, server);
  ASSERT_TRUE(c.WaitEvents("STATS", 2));
  EXPECT_EQ(c.Event("SEARCH_ITEM")->GetValue("IP"), "0");
  NapsterMessage push;
  ASSERT_TRUE(Got(server, 500, &push));  // port "port" reads as 0
  EXPECT_EQ(c.finished, 0);
}

TEST_F(NapsterLoopback, OverlongFrameClosesTheSession) {
  server.SetAfterLogin({Step::Frame(205, std::string("bob ") + std::string(65531, 'x'))});
  LogIn(c, server);
  ASSERT_TRUE(c.WaitFinished(1));
  EXPECT_EQ(c.CountEvents("PRIVMSG"), 0);
  EXPECT_EQ(c.winsockErrors, 0);
}

TEST_F(NapsterLoopback, TruncatedFrameThenCloseEndsQuietly) {
  server.SetAfterLogin({Step::FrameWithLength(205, 100, "bob only part"), Step::Close()});
  LogIn(c, server);
  ASSERT_TRUE(c.WaitFinished(1));
  EXPECT_EQ(c.CountEvents("PRIVMSG"), 0);
  EXPECT_EQ(c.winsockErrors, 0);
}

TEST_F(NapsterLoopback, TruncatedFrameThenSilenceTimesOut) {
  server.SetScript(214, {});
  server.SetAfterLogin({Step::FrameWithLength(205, 100, "bob only part")});
  LogIn(c, server);
  ASSERT_TRUE(c.WaitFinished(1, 8000));
  EXPECT_EQ(c.winsockErrors, 1);
  EXPECT_TRUE(c.log.back().rfind("WinsockError 10060", 0) == 0) << c.log.back();
}

// A session whose server has stopped reading waits for room in a wait that
// ending the session ends (a shutdown alone does not end a waiting send on
// every system): announcing a large library to it keeps no thread for ever.
TEST(NapsterSession, EndingASessionWhoseServerStoppedReadingEndsItsThread) {
  std::atomic<bool> release{false};
  LoopbackServer server([&](LoopbackServer&, TSocket& s, int) {
    // The login, the answer that takes it; then nothing is read any more.
    unsigned char head[4];
    s.ReadExact(head, 4);
    std::string login(size_t(head[0] | head[1] << 8), '\0');
    s.ReadExact(login.data(), int(login.size()));
    std::string frame;
    EncodeNapsterMessage(3, "fake@tarnwick.test", kNapsterClientMaxText, frame);
    s.WriteAll(frame);
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  Client c;
  testutil::SetOnExit letGo(release);  // the server goes before the sessions
  // More than the buffers between the two hold.
  const std::string folder = "C:\\" + std::string(200, 'f') + "\\";
  for (int i = 0; i < 60000; i++)
    c.shares.push_back({folder + std::to_string(i) + ".mp3", "AAAAAAAAAAAAAAAAA", 1000, 128, 44100, 60});
  TEasySocket* s = c.Start(server.Port(), "S1");
  ASSERT_TRUE(testutil::PumpUntilStill([&] { return s->BytesSent(); }, [&] { return c.finished > 0; }));
  c.sockets.Cancel(s);
  ASSERT_TRUE(c.WaitFinished(1));
  EXPECT_EQ(c.winsockErrors, 0);
}

}  // namespace
