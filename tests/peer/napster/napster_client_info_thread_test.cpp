// The session protocol driven without sockets: a scripted transport feeds
// frames in and records the frames sent, the callbacks run at once, and the
// clock, the ICMP base and the random ping part are the test's.
#include "peer/napster/napster_client_info_thread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>

namespace {

using Sender = TNapsterClientCallbacks::Sender;
using Id = TNapsterClientCallbacks::Id;
using Text = TNapsterClientCallbacks::Text;

std::string Frame(uint16_t type, const std::string& text) {
  std::string f;
  EncodeNapsterMessage(type, text, 0xFFFF, f);
  return f;
}

class ScriptedSession : public TNapsterClientSession {
 public:
  std::map<std::string, std::string> start;
  std::vector<NapsterMessage> sent;
  std::vector<std::string> log;
  std::vector<TMessageItem> events;
  std::vector<TNapsterShareInfo> shares;
  plat::CriticalSection shareLock;
  bool closed = false;
  bool peerClosesAtEnd = true;
  int64_t now = 0;
  int base = 0;
  std::deque<int> randoms;
  bool policyQueued = false;
  bool policyAccept = false;
  std::function<void()> afterLogin;

  ScriptedSession() {
    ShareLock = &shareLock;
    ReadShares = [this](std::vector<TNapsterShareInfo>& files) { files = shares; };
    auto note = [this](std::string s) { log.push_back(std::move(s)); };
    Callbacks.OnSearchStarted = [=](Sender, Id) { note("SearchStarted"); };
    Callbacks.OnSearchEnded = [=](Sender, Id) { note("SearchEnded"); };
    Callbacks.OnLoggedIn = [=, this](Sender, Id, Text email) {
      note("LoggedIn " + email);
      if (afterLogin) afterLogin();
    };
    Callbacks.OnLoginError = [=](Sender, Id, Text reason) { note("LoginError " + reason); };
    Callbacks.OnRegistered = [=](Sender, Id) { note("Registered"); };
    Callbacks.OnRegisterError = [=](Sender, Id, int kind) { note("RegisterError " + std::to_string(kind)); };
    Callbacks.OnRedirected = [=](Sender, Id, Text host, int port) {
      note("Redirected " + host + " " + std::to_string(port));
    };
    Callbacks.OnSendingSharedFiles = [=](Sender, Id) { note("SendingSharedFiles"); };
    Callbacks.OnEventReceived = [=, this](Sender, Id, const TMessageItem& e) {
      events.push_back(e);
      note("Event " + e.GetValue("EVENT"));
    };
    Callbacks.OnUploadRequested = [=, this](Sender, Id, Text nick, Text file, bool& queued, bool& accept) {
      note("UploadRequested " + nick + "|" + file);
      queued = policyQueued;
      accept = policyAccept;
    };
    Callbacks.OnDownloadQueuedRemotely = [=](Sender, Id, Text nick, Text file, int64_t size, int64_t limit) {
      note("Queued " + nick + "|" + file + "|" + std::to_string(size) + "|" + std::to_string(limit));
    };
    Callbacks.OnDownloadUnavailable = [=](Sender, Id, Text nick, Text file) { note("Unavailable " + nick + "|" + file); };
    Callbacks.OnBothFirewalled = [=](Sender, Id, Text nick, Text file) { note("BothFirewalled " + nick + "|" + file); };
    auto offer = [](const char* what, const TNapsterTransferOffer& o) {
      return std::string(what) + " " + o.Nick + "|" + o.OwnNick + "|" + o.FileName + "|" + o.IP + "|" + o.MD5 +
             "|" + o.LinkType + "|" + std::to_string(o.Port);
    };
    Callbacks.OnStartDownload = [=](Sender, Id, const TNapsterTransferOffer& o) { note(offer("StartDownload", o)); };
    Callbacks.OnStartPushUpload = [=](Sender, Id, const TNapsterTransferOffer& o) { note(offer("StartPush", o)); };
  }

  // Bytes the server sends, available from the given time on.
  void Incoming(uint16_t type, const std::string& text, int64_t at = 0) { IncomingRaw(Frame(type, text), at); }
  void IncomingRaw(const std::string& bytes, int64_t at = 0) {
    incoming_ += bytes;
    availableFrom_.push_back({incoming_.size(), at});
  }
  // Sets the ID and own nick as a login would.
  void Prime(const std::string& id = "S1", const std::string& nick = "me") {
    start["ID"] = id;
    start["NICK"] = nick;
    ReadStartRecord();
    SendLogin(false);
    sent.clear();
  }
  std::string Logged() const {
    std::string all;
    for (const std::string& l : log) all += l + "\n";
    return all;
  }
  using TNapsterClientSession::ReadStartRecord;

 protected:
  std::string StartValue(std::string_view key) override {
    auto it = start.find(std::string(key));
    return it == start.end() ? "" : it->second;
  }
  std::size_t Available() const {
    std::size_t n = 0;
    for (const auto& [end, at] : availableFrom_)
      if (at <= now) n = end;
    return n;
  }
  void ReceiveAll(void* buffer, int count) override {
    if (incoming_.size() - read_ < std::size_t(count)) {
      read_ = incoming_.size();
      throw EEasySocketClose(0, nullptr);
    }
    // A blocking read waits for the bytes: the clock moves on to them.
    for (const auto& [end, at] : availableFrom_)
      if (end >= read_ + std::size_t(count)) {
        now = std::max(now, at);
        break;
      }
    std::memcpy(buffer, incoming_.data() + read_, std::size_t(count));
    read_ += std::size_t(count);
  }
  int ReceiveSome(void* buffer, int count) override {
    std::size_t left = incoming_.size() - read_;
    if (left == 0) {
      if (peerClosesAtEnd) throw EEasySocketClose(0, nullptr);
      now += 120000;  // nothing comes: the receive waits out the socket's time-out
      throw EEasySocketWinsock(plat::kWsaETIMEDOUT, nullptr, "Connection Timed out.");
    }
    // A blocking read waits for the next piece: the clock moves on to it.
    for (const auto& [end, at] : availableFrom_)
      if (end > read_) {
        now = std::max(now, at);
        break;
      }
    left = Available() - read_;
    std::size_t n = std::min(left, std::size_t(count));
    std::memcpy(buffer, incoming_.data() + read_, n);
    read_ += n;
    return int(n);
  }
  void SendAll(const void* buffer, int count) override {
    if (closed) throw EEasySocketClose(0, nullptr);
    out_.Feed(buffer, std::size_t(count));
    NapsterMessage m;
    while (out_.Next(m) == NapsterFrameReader::Result::kMessage) sent.push_back(m);
  }
  int DataAvailable() override {
    std::size_t avail = Available();
    if (avail > read_) return int(avail - read_);
    if (peerClosesAtEnd && read_ >= incoming_.size()) throw EEasySocketClose(0, nullptr);
    return 0;
  }
  bool Connected() override { return !closed; }
  void CloseConnection() override { closed = true; }
  void CallBack(const std::function<void()>& fn) override { fn(); }
  void Pause(int ms) override { now += ms; }
  int64_t NowMs() override { return now; }
  int IcmpBase(const std::string&) override { return base; }
  int RandomDelay() override {
    if (randoms.empty()) return 0;
    int r = randoms.front();
    randoms.pop_front();
    return r;
  }

 private:
  std::string incoming_;
  std::vector<std::pair<std::size_t, int64_t>> availableFrom_;
  std::size_t read_ = 0;
  NapsterFrameReader out_{0xFFFF};
};

using FieldList = std::vector<std::pair<const char*, std::string>>;

TMessageItem Method(const std::string& verb, const FieldList& fields) {
  TMessageItem r;
  r.SetValue("NAME", "NAPSTER_CLIENT");
  r.SetValue("ACTION", "METHOD");
  r.SetValue("METHOD", verb);
  for (const auto& [k, v] : fields) r.SetValue(k, v);
  return r;
}

void ExpectSent(const ScriptedSession& s, std::vector<std::pair<uint16_t, std::string>> want) {
  ASSERT_EQ(s.sent.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(s.sent[i].Type, want[i].first) << i;
    EXPECT_EQ(s.sent[i].Text, want[i].second) << i;
  }
}

void LoginRecord(ScriptedSession& s) {
  s.start = {{"ID", "S1"},         {"NICK", "nick"},        {"PASSWORD", "pass"},      {"EMAIL", "e@mail"},
             {"LINK_TYPE", "2"},    {"VERSION_TEXT", "ver"}, {"LOCAL_PORT", "6699"},   {"BUILD_NUMBER", "100"},
             {"KIND", "LOGIN"},     {"REDIRECT", "FALSE"}};
}

void RegistrationRecord(ScriptedSession& s, uint16_t nickReply, const std::string& text) {
  LoginRecord(s);
  s.start["KIND"] = "register";
  s.Incoming(nickReply, text);
}

// ------------------------------------------------------------ login

TEST(NapsterSession, LoginAnnouncesSharesThenAsksForStats) {
  ScriptedSession s;
  TMessagePump pump;
  s.Pump = &pump;
  LoginRecord(s);
  s.shares = {{"C:\\m\\a.mp3", "AAAAAAAAAAAAAAAAA", 5000000000LL, 128, 44100, 200},
              {"C:\\m\\b.mp3", "AAAAAAAAAAAAAAAAA", 10, 64, 22050, 5}};
  s.Incoming(3, "  e@x ");
  EXPECT_THROW(s.Run(), EEasySocketClose);  // the server hangs up afterwards
  ExpectSent(s, {{2, "nick pass 6699 \"ver\" 2 100"},
                 {100, "\"C:\\m\\a.mp3\" AAAAAAAAAAAAAAAAA 5000000000 128 44100 200"},
                 {100, "\"C:\\m\\b.mp3\" AAAAAAAAAAAAAAAAA 10 64 22050 5"},
                 {214, ""}});
  EXPECT_EQ(s.Logged(), "SendingSharedFiles\nLoggedIn e@x\n");
  EXPECT_EQ(s.AccountText(), "e@x");
  EXPECT_EQ(s.OwnNick(), "nick");
  EXPECT_EQ(pump.ConnectionCount(), 0);  // unsubscribed on the way out
}

TEST(NapsterSession, OnlyTypeThreeLogsIn) {
  for (uint16_t type : {0, 404, 9, 621}) {
    ScriptedSession s;
    LoginRecord(s);
    s.Incoming(type, " Invalid password ");
    s.Incoming(3, "too late");
    EXPECT_NO_THROW(s.Run());
    EXPECT_TRUE(s.closed);
    ASSERT_EQ(s.sent.size(), 1u);  // the login alone: no stats request after a refusal
    std::string want = type == 9 ? "RegisterError 1\nLoginError Invalid password\n" : "LoginError Invalid password\n";
    EXPECT_EQ(s.Logged(), want) << type;
  }
}

TEST(NapsterSession, RegistrationSendsAccountAndProfile) {
  ScriptedSession s;
  RegistrationRecord(s, 8, "");
  s.Incoming(3, "e@mail");
  EXPECT_NO_THROW(s.Run());
  ASSERT_EQ(s.sent.size(), 3u);
  EXPECT_EQ(s.sent[0].Type, 7);
  EXPECT_EQ(s.sent[0].Text, "nick");
  EXPECT_EQ(s.sent[1].Type, 6);
  EXPECT_EQ(s.sent[1].Text, "nick pass 6699 \"ver\" 2 e@mail 100");
  EXPECT_EQ(s.sent[2].Type, 14);
  EXPECT_EQ(std::count(s.sent[2].Text.begin(), s.sent[2].Text.end(), '\t'), 5);
  EXPECT_EQ(s.sent[2].Text.substr(0, 20), "NEWSTYLE ZIP: 48313\t");
  EXPECT_EQ(s.Logged(), "Registered\n");
}

TEST(NapsterSession, RefusedAccountIsNoRegistration) {
  ScriptedSession s;
  RegistrationRecord(s, 8, "");
  s.Incoming(0, " email address refused ");
  EXPECT_NO_THROW(s.Run());
  EXPECT_EQ(s.Logged(), "RegisterError 0\nLoginError email address refused\n");
  EXPECT_TRUE(s.closed);
  ASSERT_EQ(s.sent.size(), 2u);  // 7 and 6, no profile
}

TEST(NapsterSession, NickTakenOrInvalid) {
  for (auto [type, kind] : {std::pair<uint16_t, int>{9, 1}, {10, 0}}) {
    ScriptedSession s;
    RegistrationRecord(s, type, "nick");
    EXPECT_NO_THROW(s.Run());
    EXPECT_EQ(s.Logged(), "RegisterError " + std::to_string(kind) + "\nLoginError nick\n");
    EXPECT_TRUE(s.closed);
  }
}

// ------------------------------------------------------------ frames

TEST(NapsterSession, OverlongIncomingFrameClosesWithoutDispatch) {
  ScriptedSession s;
  LoginRecord(s);
  s.Incoming(3, "e");
  s.IncomingRaw(std::string("\x19\x79\xCD\x00", 4) + std::string(31001, 'x'));  // 31001 announced
  s.Incoming(205, "bob never seen");
  EXPECT_NO_THROW(s.Run());
  EXPECT_TRUE(s.closed);
  EXPECT_TRUE(s.events.empty());
}

TEST(NapsterSession, LongestFrameAndNulCut) {
  ScriptedSession s;
  LoginRecord(s);
  s.Incoming(3, "e");
  s.Incoming(621, std::string(31000, 'm'));
  s.Incoming(205, std::string("bob hi\0 hidden", 14));
  EXPECT_THROW(s.Run(), EEasySocketClose);
  ASSERT_EQ(s.events.size(), 2u);
  EXPECT_EQ(s.events[0].GetValue("MESSAGE").size(), 31000u);
  EXPECT_EQ(s.events[1].GetValue("MESSAGE"), "hi");
}

TEST(NapsterSession, OverlongOutgoingText) {
  ScriptedSession s;
  s.Prime();
  s.DoMethod(Method("PRIVMSG", {{"NICK", "bob"}, {"MESSAGE", std::string(30996, 'x')}}));  // 31000 in all
  EXPECT_EQ(s.sent.size(), 1u);
  EXPECT_FALSE(s.closed);
  s.DoMethod(Method("PRIVMSG", {{"NICK", "bob"}, {"MESSAGE", std::string(30997, 'x')}}));
  EXPECT_EQ(s.sent.size(), 1u);
  EXPECT_TRUE(s.closed);

  // The gateway reads at most 8000 bytes: one longer message is dropped,
  // the session stays.
  ScriptedSession g;
  g.Prime("P2P");
  g.DoMethod(Method("PRIVMSG", {{"NICK", "bob"}, {"MESSAGE", std::string(8000, 'x')}}));
  g.DoMethod(Method("PRIVMSG", {{"NICK", "bob"}, {"MESSAGE", "short"}}));
  ExpectSent(g, {{205, "bob short"}});
  EXPECT_FALSE(g.closed);
}

TEST(NapsterSession, IdleCutOnTheSessionClock) {
  ScriptedSession s;
  LoginRecord(s);
  s.IdleCutMs = 1000;
  s.peerClosesAtEnd = false;
  s.Incoming(3, "e");
  s.Incoming(214, "1 2 3", 800);  // one message late on keeps it alive
  EXPECT_NO_THROW(s.Run());
  EXPECT_FALSE(s.closed);  // ended by the cut, not by a close
  EXPECT_GE(s.now, 1800);
  EXPECT_LT(s.now, 1900);
  ASSERT_EQ(s.events.size(), 1u);
}

// ------------------------------------------------------------ requests

TEST(NapsterSession, EveryVerbSendsItsMessage) {
  struct Case {
    TMessageItem record;
    uint16_t type;
    std::string text;
  };
  std::vector<Case> cases = {
      {Method("SET_CLIENT_INFO", {{"NAME", "n"}, {"ADDRESS", "a"}, {"CITY", "c"}, {"STATE", "s"}, {"PHONE", "p"},
                                  {"AGE", "g"}, {"INCOME", "i"}}),
       14, "NAME:n ADDRESS:a CITY:c STATE:s PHONE:p AGE:g INCOME:i"},
      {Method("HOTLIST_ADD", {{"NICK", "bob"}}), 207, "bob"},
      {Method("PRIVMSG", {{"NICK", "bob"}, {"MESSAGE", "hello there"}}), 205, "bob hello there"},
      {Method("GLOBALMSG", {{"MESSAGE", "all"}}), 628, "all"},
      {Method("OPERATORMSG", {{"MESSAGE", "ops"}}), 627, "ops"},
      {Method("RAWCOMMAND", {{"COMMAND", "751"}, {"MESSAGE", "bob"}}), 751, "bob"},
      {Method("GET_HOTLIST", {}), 208, ""},
      {Method("HOTLIST_REMOVE", {{"NICK", "bob"}}), 303, "bob"},
      {Method("GET_DIR", {{"NICK", "bob"}}), 211, "bob"},
      {Method("GET_STATS", {}), 214, ""},
      {Method("MP3_SEARCH_RESUME", {{"MD5", "abc"}, {"FILESIZE", "5000000000"}}), 215, "abc 5000000000"},
      {Method("INDICATE_DOWNLOAD_START", {}), 218, ""},
      {Method("INDICATE_DOWNLOAD_FINISH", {}), 219, ""},
      {Method("INDICATE_UPLOAD_START", {}), 220, ""},
      {Method("INDICATE_UPLOAD_FINISH", {}), 221, ""},
      {Method("GET_IGNORE_LIST", {}), 320, ""},
      {Method("IGNORE_ADD", {{"NICK", "bob"}}), 322, "bob"},
      {Method("IGNORE_REMOVE", {{"NICK", "bob"}}), 323, "bob"},
      {Method("IGNORE_LIST_CLEAR", {}), 326, ""},
      {Method("BLOCKIP_ADD", {{"IP", "1.2.3.4"}}), 332, "1.2.3.4"},
      {Method("BLOCKIP_REMOVE", {{"IP", "1.2.3.4"}}), 333, "1.2.3.4"},
      {Method("GET_BLOCKIP_LIST", {}), 330, ""},
      {Method("JOIN", {{"CHANNEL", "#c"}}), 400, "#c"},
      {Method("PART", {{"CHANNEL", "#c"}}), 401, "#c"},
      {Method("PUBMSG", {{"CHANNEL", "#c"}, {"MESSAGE", "hi all"}}), 402, "#c hi all"},
      {Method("DOWNLOAD", {{"NICK", "bob"}, {"REMOTE_FILENAME", "C:\\m\\a b.mp3"}}), 203, "bob \"C:\\m\\a b.mp3\""},
      {Method("GET_LINK_TYPE", {{"NICK", "bob"}}), 600, "bob"},
      {Method("WHOIS", {{"NICK", "bob"}}), 603, "bob"},
      {Method("GET_CHANNEL_LIST", {}), 617, ""},
      {Method("GET_TOPIC", {{"CHANNEL", "#c"}}), 410, "#c"},
      {Method("SET_USER_LEVEL", {{"NICK", "bob"}, {"LEVEL", "Moderator"}}), 606, "bob Moderator"},
      {Method("KILL", {{"NICK", "bob"}}), 610, "bob"},
      {Method("NUKE_ADD", {{"NICK", "bob"}}), 611, "bob"},
      {Method("NUKE_REMOVE", {{"NICK", "bob"}}), 624, "bob"},
      {Method("GET_CHANNEL_BAN_LIST", {{"CHANNEL", "#c"}}), 420, "#c"},
      {Method("CHANNEL_BAN_ADD", {{"CHANNEL", "#c"}, {"DEST", "bob"}}), 422, "#c bob \"\""},
      {Method("CHANNEL_BAN_REMOVE", {{"CHANNEL", "#c"}, {"DEST", "bob"}, {"REASON", "ok"}}), 423, "#c bob \"ok\""},
      {Method("BAN_ADD", {{"DEST", "bob"}, {"REASON", "spam"}}), 612, "bob \"spam\""},
      {Method("BAN_REMOVE", {{"DEST", "bob"}}), 614, "bob \"\""},
      {Method("GET_BAN_LIST", {}), 615, ""},
      {Method("GET_MOTD", {}), 621, ""},
      {Method("MUZZLE_ADD", {{"NICK", "bob"}, {"REASON", "shh"}}), 622, "bob \"shh\""},
      {Method("MUZZLE_REMOVE", {{"NICK", "bob"}, {"REASON", ""}}), 623, "bob \"\""},
      {Method("SET_LINK_TYPE", {{"LINK_TYPE", "8"}}), 700, "8"},
      {Method("SET_PASSWORD", {{"PASSWORD", "secret"}}), 701, "secret"},
      {Method("SET_EMAIL", {{"EMAIL", "a@b"}}), 702, "a@b"},
      {Method("EMOTE", {{"CHANNEL", "#c"}, {"MESSAGE", "waves"}}), 824, "#c \"waves\""},
      {Method("KICK", {{"NICK", "bob"}, {"REASON", "bye"}}), 829, "bob \"bye\""},
      {Method("KICK", {{"CHANNEL", "#c"}, {"NICK", "bob"}, {"REASON", "bye"}}), 829, "#c bob \"bye\""},
      {Method(" get_motd ", {}), 621, ""},
  };
  for (const Case& c : cases) {
    ScriptedSession s;
    s.Prime();
    s.DoMethod(c.record);
    SCOPED_TRACE(c.record.GetValue("METHOD"));
    ExpectSent(s, {{c.type, c.text}});
  }
  for (const char* verb : {"NO_SUCH_VERB", "", "SEARCH"}) {
    ScriptedSession s;
    s.Prime();
    s.DoMethod(Method(verb, {{"NICK", "bob"}}));
    EXPECT_TRUE(s.sent.empty()) << verb;
  }
  ScriptedSession s;
  s.Prime();
  s.DoMethod(Method("RAWCOMMAND", {{"COMMAND", "70000"}, {"MESSAGE", "x"}}));
  s.DoMethod(Method("RAWCOMMAND", {{"COMMAND", "-1"}, {"MESSAGE", "x"}}));
  EXPECT_TRUE(s.sent.empty());
}

TEST(NapsterSession, PortDecidesTheFirewalledFlag) {
  ScriptedSession s;
  s.Prime();
  s.DoMethod(Method("SET_PORT", {{"PORT", "0"}}));
  EXPECT_TRUE(s.Firewalled());
  s.DoMethod(Method("SET_PORT", {{"PORT", "6699"}}));
  EXPECT_FALSE(s.Firewalled());
  s.DoMethod(Method("SET_PORT", {}));
  EXPECT_TRUE(s.Firewalled());
  ExpectSent(s, {{703, "0"}, {703, "6699"}, {703, "0"}});
}

TEST(NapsterSession, AnnouncementsAreSentOnceAndWithdrawnOnce) {
  ScriptedSession s;
  s.Prime();
  auto add = [](const char* name) {
    return Method("ADD_MP3_FILE", {{"FILENAME", name}, {"MD5", "AAAAAAAAAAAAAAAAA"}, {"SIZE", "1500000000"},
                                   {"BITRATE", "128"}, {"FREQUENCY", "44100"}, {"SECONDS", "60"}});
  };
  s.DoMethod(add("C:\\m\\a.mp3"));
  s.DoMethod(add("c:\\M\\A.MP3"));  // the same name to the server's list
  s.DoMethod(Method("REMOVE_MP3_FILE", {{"FILENAME", "C:\\m\\never.mp3"}}));
  s.DoMethod(Method("REMOVE_MP3_FILE", {{"FILENAME", "C:\\m\\a.mp3"}}));
  s.DoMethod(Method("REMOVE_MP3_FILE", {{"FILENAME", "C:\\m\\a.mp3"}}));
  ExpectSent(s, {{100, "\"C:\\m\\a.mp3\" AAAAAAAAAAAAAAAAA 1500000000 128 44100 60"}, {102, "C:\\m\\a.mp3"}});
  EXPECT_EQ(s.AnnouncedCount(), 0);
}

TEST(NapsterSession, ShareChangesAreReconciledFromOneRecord) {
  ScriptedSession s;
  s.Prime();
  s.shares = {{"a.mp3", "M", 1, 2, 3, 4}, {"b.mp3", "M", 1, 2, 3, 4}};
  s.SendSharedFiles();
  s.shares = {{"b.mp3", "M", 1, 2, 3, 4}, {"c.mp3", "M", 5, 6, 7, 8}};
  s.DoMethod(Method("SHARES_CHANGED", {}));
  ExpectSent(s, {{100, "\"a.mp3\" M 1 2 3 4"},
                 {100, "\"b.mp3\" M 1 2 3 4"},
                 {102, "a.mp3"},
                 {100, "\"c.mp3\" M 5 6 7 8"}});
  EXPECT_TRUE(s.IsAnnounced("B.MP3"));
  EXPECT_FALSE(s.IsAnnounced("a.mp3"));
}

TEST(NapsterSession, RecordsForOtherSessionsAreDropped) {
  ScriptedSession s;
  s.Prime("12345");
  TMessagePump pump;
  TMessagePumpConnection* c = pump.Connect();
  pump.Post(Method("WHOIS", {{"NICK", "all"}}));
  TMessageItem other = Method("WHOIS", {{"NICK", "other"}});
  other.SetValue("ID", "1234");
  pump.Post(other);
  TMessageItem mine = Method("WHOIS", {{"NICK", "mine"}});
  mine.SetValue("ID", "12345");
  pump.Post(mine);
  s.ProcessMethods(*c);
  ExpectSent(s, {{603, "all"}, {603, "mine"}});
}

TEST(NapsterSession, SearchQueries) {
  struct Case {
    FieldList fields;
    std::string text;
  } cases[] = {
      {{{"SONG_NAME", "abc"}, {"MAX_RESULTS", "100"}, {"BITRATE_ACTION", "at least"}, {"BITRATE_VALUE", "128"}},
       "FILENAME CONTAINS \"abc\" MAX_RESULTS 100 BITRATE \"AT LEAST\" \"128\""},
      {{{"MAX_RESULTS", "100"}, {"BITRATE_VALUE", "0"}, {"FREQUENCY_VALUE", "0"}, {"LINK_TYPE_VALUE", "0"}},
       "MAX_RESULTS 100"},
      {{{"MAX_RESULTS", "100"}, {"BITRATE_ACTION", "AT LEAST"}}, "MAX_RESULTS 100"},
      {{{"SONG_NAME", "song"}, {"ARTIST_NAME", "band"}, {"MAX_RESULTS", "50"}, {"FREQUENCY_ACTION", "EQUAL TO"},
        {"FREQUENCY_VALUE", "16000"}, {"LINK_TYPE_ACTION", "at best"}, {"LINK_TYPE_VALUE", "7"}},
       "FILENAME CONTAINS \"song\" MAX_RESULTS 50 FILENAME CONTAINS \"band\" FREQ \"EQUAL TO\" \"16000\" "
       "LINESPEED \"AT BEST\" 7"},
      {{{"ARTIST_NAME", "the \"best\" band"}, {"MAX_RESULTS", "10"}},
       "MAX_RESULTS 10 FILENAME CONTAINS \"the best band\""},
  };
  for (const Case& c : cases) {
    ScriptedSession s;
    s.Prime();
    s.DoMethod(Method("MP3_SEARCH", c.fields));
    ExpectSent(s, {{200, c.text}});
    EXPECT_EQ(s.Logged(), "SearchStarted\n");
  }
  ScriptedSession s;
  s.Prime();
  s.DoMethod(Method("MP3_SEARCH", {{"MAX_RESULTS", "5"}, {"PING_TIME_ACTION", " at least"}, {"PING_TIME_VALUE", "200"}}));
  ExpectSent(s, {{200, "MAX_RESULTS 5"}});
  EXPECT_EQ(s.PingAction(), "AT LEAST");
  EXPECT_EQ(s.PingValue(), 200);
}

// ------------------------------------------------------------ incoming

TEST(NapsterSession, EveryIncomingTypeMakesItsRecord) {
  using Fields = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    uint16_t type;
    std::string text;
    Fields fields;
  } cases[] = {
      {205, "bob hi  there ", {{"EVENT", "PRIVMSG"}, {"NICK", "bob"}, {"MESSAGE", "hi  there"}}},
      {404, " no such user ", {{"EVENT", "404"}, {"MESSAGE", "no such user"}}},
      {209, "bob 7", {{"EVENT", "SIGN_ON"}, {"NICK", "bob"}, {"LINK_TYPE", "7"}}},
      {210, " bob ", {{"EVENT", "SIGN_OFF"}, {"NICK", "bob"}}},
      {212, "bob \"C:\\m\\a b.mp3\" abc 5000000000 128 44100 200",
       {{"EVENT", "DIR_ITEM"}, {"NICK", "bob"}, {"FILENAME", "C:\\m\\a b.mp3"}, {"MD5", "abc"},
        {"SIZE", "5000000000"}, {"BITRATE", "128"}, {"FREQUENCY", "44100"}, {"SECONDS", "200"}}},
      {213, "bob", {{"EVENT", "DIR_END"}, {"NICK", "bob"}}},
      {301, "bob", {{"EVENT", "HOTLIST_ADD"}, {"STATUS", "SUCCESS"}, {"NICK", "bob"}}},
      {302, "bob", {{"EVENT", "HOTLIST_ADD"}, {"STATUS", "ERROR"}, {"NICK", "bob"}}},
      {214, "12 3456 78", {{"EVENT", "STATS"}, {"USERS", "12"}, {"FILES", "3456"}, {"GB", "78"}}},
      {320, "3", {{"EVENT", "IGNORE_LIST_END"}, {"COUNT", "3"}}},
      {321, "bob", {{"EVENT", "IGNORE_ITEM"}, {"NICK", "bob"}}},
      {322, "bob", {{"EVENT", "IGNORE_ADD"}, {"STATUS", "SUCCESS"}, {"NICK", "bob"}}},
      {325, "bob", {{"EVENT", "IGNORE_ADD"}, {"STATUS", "ERROR"}}},
      {323, "bob", {{"EVENT", "IGNORE_REMOVE"}, {"STATUS", "SUCCESS"}}},
      {324, "bob", {{"EVENT", "IGNORE_REMOVE"}, {"STATUS", "ERROR"}}},
      {326, "4", {{"EVENT", "IGNORE_LIST_CLEAR"}, {"COUNT", "4"}}},
      {402, "#c bob hello all", {{"EVENT", "PUBMSG"}, {"CHANNEL", "#c"}, {"NICK", "bob"}, {"MESSAGE", "hello all"}}},
      {403, "#c bob hello", {{"EVENT", "PUBMSG"}, {"MESSAGE", "hello"}}},
      {405, "#c", {{"EVENT", "JOIN"}, {"NICK", "me"}, {"STATUS", "SUCCESS"}, {"CHANNEL", "#c"}, {"IS_MINE", "TRUE"}}},
      {406, "#c bob 12 8",
       {{"EVENT", "JOIN"}, {"CHANNEL", "#c"}, {"NICK", "bob"}, {"FILES", "12"}, {"LINK_TYPE", "8"},
        {"IS_MINE", "FALSE"}, {"STATUS", "SUCCESS"}}},
      {401, "#c", {{"EVENT", "PART"}, {"CHANNEL", "#c"}, {"NICK", "me"}, {"IS_MINE", "TRUE"}}},
      {407, "#c bob 12 3", {{"EVENT", "PART"}, {"NICK", "bob"}, {"LINK_TYPE", "3"}, {"IS_MINE", "FALSE"}}},
      {408, "#c bob 12 10", {{"EVENT", "USER_ITEM"}, {"CHANNEL", "#c"}, {"NICK", "bob"}, {"FILES", "12"}, {"LINK_TYPE", "10"}}},
      {409, "#c", {{"EVENT", "USER_LIST_END"}, {"CHANNEL", "#c"}}},
      {410, "#c Welcome to c", {{"EVENT", "TOPIC"}, {"CHANNEL", "#c"}, {"TOPIC", "Welcome to c"}}},
      {421, "#c baddie bad words", {{"EVENT", "CHANNEL_BAN_ITEM"}, {"CHANNEL", "#c"}, {"DEST", "baddie bad words"}}},
      {601, "bob 8", {{"EVENT", "LINK_TYPE"}, {"NICK", "bob"}, {"LINK_TYPE", "8"}}},
      {604, "bob \"User\" 3600 \"#a #b \" \"Active\" 12 1 2 7 \"client 1.0\" 3 4 16777343 8888 6699",
       {{"EVENT", "WHOIS"}, {"NICK", "bob"}, {"USER_LEVEL", "User"}, {"SECONDS_ONLINE", "3600"},
        {"CHANNELS", "#a #b"}, {"ONLINE", "FALSE"}, {"FILES", "12"}, {"DOWNLOADS", "1"}, {"UPLOADS", "2"},
        {"LINK_TYPE", "7"}, {"CLIENT_VERSION", "client 1.0"}, {"TOTAL_UPLOADS", "3"}, {"TOTAL_DOWNLOADS", "4"},
        {"IP", "16777343"}}},
      {604, "bob Elite 10 \"\" active. 1 0 0 8 \"x\" 0 0 1",
       {{"USER_LEVEL", "Elite"}, {"CHANNELS", ""}, {"ONLINE", "TRUE"}, {"LINK_TYPE", "8"}, {"IP", "1"}}},
      {605, "bob User 2024-01-01 10:00", {{"EVENT", "WHOWAS"}, {"NICK", "bob"}, {"LEVEL", "User"}, {"LAST_SEEN", "2024-01-01 10:00"}}},
      {616, "1.2.3.4 op \"spamming a lot\" 1700000000 5",
       {{"EVENT", "BAN_ITEM"}, {"IP", "1.2.3.4"}, {"NICK", "op"}, {"REASON", "spamming a lot"},
        {"TIME", "1700000000"}, {"UNKNOWN", "5"}}},
      {616, "x y \"r\" soon", {{"TIME", "0"}, {"UNKNOWN", ""}}},
      {617, "", {{"EVENT", "CHANNEL_LIST_END"}}},
      {618, "#c 12 Some topic", {{"EVENT", "CHANNEL_LIST_ITEM"}, {"CHANNEL", "#c"}, {"USERS", "12"}, {"TOPIC", "Some topic"}}},
      {621, " Welcome! ", {{"EVENT", "MOTD"}, {"MESSAGE", "Welcome!"}}},
      {627, "op note this", {{"EVENT", "OPERATOR_MESSAGE"}, {"NICK", "op"}, {"MESSAGE", "note this"}}},
      {628, "admin says hi", {{"EVENT", "GLOBAL_MESSAGE"}, {"NICK", "GLOBAL_MESSAGE"}, {"MESSAGE", "admin says hi"}}},
      {750, "server", {{"EVENT", "PING"}, {"NICK", "server"}}},
      {751, "bob", {{"EVENT", "PING"}, {"NICK", "bob"}}},
      {752, "bob", {{"EVENT", "PONG"}, {"NICK", "bob"}}},
      {824, "#c bob \"waves hello\"", {{"EVENT", "EMOTE"}, {"CHANNEL", "#c"}, {"NICK", "bob"}, {"MESSAGE", "waves hello"}}},
      {217, "", {{"EVENT", "SEARCH_END"}, {"IS_RESUME", "TRUE"}}},
      {216, "\"f.mp3\" md5 1 2 3 4 bob 16777343 7", {{"EVENT", "SEARCH_ITEM"}, {"IS_RESUME", "TRUE"}, {"IP", "2130706433"}}},
      {201, "\"C:\\x\\song.mp3\" 0123abc 5000000000 128 44100 245 bob 16777343 7",
       {{"EVENT", "SEARCH_ITEM"}, {"FILENAME", "C:\\x\\song.mp3"}, {"MD5", "0123abc"}, {"SIZE", "5000000000"},
        {"BITRATE", "128"}, {"FREQUENCY", "44100"}, {"SECONDS", "245"}, {"NICK", "bob"}, {"IP", "2130706433"},
        {"LINK_TYPE", "7"}, {"PORT", ""}, {"BPS", ""}, {"IS_RESUME", "FALSE"}, {"PING_TIME", "0"}}},
      {201, "\"f.mp3\" m 1 2 3 4 @#!GNUTELLA:1:2 3232235777 0 6346 5000",
       {{"NICK", "@#!GNUTELLA:1:2"}, {"IP", "16885952"}, {"PORT", "6346"}, {"BPS", "5000"}}},
  };
  for (const Case& c : cases) {
    ScriptedSession s;
    s.Prime();
    s.Dispatch(c.type, c.text);
    SCOPED_TRACE(std::to_string(c.type) + " " + c.text);
    ASSERT_EQ(s.events.size(), 1u);
    const TMessageItem& e = s.events[0];
    EXPECT_EQ(e.GetValue("NAME"), "NAPSTER_CLIENT");
    EXPECT_EQ(e.GetValue("ACTION"), "EVENT");
    EXPECT_EQ(e.GetValue("ID"), "S1");
    for (const auto& [key, value] : c.fields) EXPECT_EQ(e.GetValue(key), value) << key;
  }
}

TEST(NapsterSession, SearchEndCallsBackBeforeItsEvent) {
  ScriptedSession s;
  s.Prime();
  s.Dispatch(202, "");
  EXPECT_EQ(s.Logged(), "SearchEnded\nEvent SEARCH_END\n");
  EXPECT_EQ(s.events[0].GetValue("IS_RESUME"), "FALSE");
  s.Dispatch(216, "\"a\" m 1 2 3 4 bob 1 7");
  EXPECT_EQ(s.events[1].IndexOfKey("PING_TIME"), -1);
}

TEST(NapsterSession, IgnoredAndMalformedMessages) {
  ScriptedSession s;
  s.Prime();
  for (uint16_t type : {0, 3, 5, 13, 316, 420, 425, 609, 613, 615, 626, 629, 748, 821, 822, 825, 830, 65535})
    s.Dispatch(type, "whatever \"text\" 1 2");
  EXPECT_TRUE(s.events.empty());
  EXPECT_TRUE(s.sent.empty());
  const std::string junk[] = {"", " ", "\"", "\"\"\"", "a", "\"unterminated", "     ", "x \"y", "-1 -2 -3"};
  for (int type = 0; type < 1000; ++type)
    for (const std::string& text : junk) EXPECT_NO_THROW(s.Dispatch(uint16_t(type), text));
}

TEST(NapsterSession, WireAddresses) {
  EXPECT_EQ(TNapsterClientSession::IPFromWire("16777343"), "2130706433");  // 127.0.0.1
  EXPECT_EQ(TNapsterClientSession::IPFromWire("0"), "0");
  EXPECT_EQ(TNapsterClientSession::IPFromWire("junk"), "0");
  EXPECT_EQ(TNapsterClientSession::IPFromWire("4294967295"), "4294967295");
  // Only the low 32 bits of an over-long number count (4294967296 + 16777343).
  EXPECT_EQ(TNapsterClientSession::IPFromWire("4311744639"), "2130706433");
  EXPECT_NO_THROW(TNapsterClientSession::IPFromWire("99999999999999999999999999"));
}

// ------------------------------------------------------------ ping times

struct PingCase {
  const char* action;
  int value;
  int ping;  // base + random
  bool kept;
  int reported;
};

TEST(NapsterSession, PingFilter) {
  const PingCase cases[] = {
      {"AT LEAST", 200, 0, false, 0},    {"AT LEAST", 200, 150, false, 0}, {"AT LEAST", 200, 200, true, 200},
      {"AT LEAST", 200, 450, true, 0},   {"AT BEST", 200, 0, false, 0},    {"AT BEST", 200, 1, true, 1},
      {"AT BEST", 200, 200, true, 200},  {"AT BEST", 200, 201, false, 0},  {"EQUAL TO", 150, 150, true, 150},
      {"EQUAL TO", 150, 151, false, 0},  {"", 0, 0, true, 0},              {"", 0, 999, true, 0},
      {"SOMETHING", 5, 0, false, 0},     {"SOMETHING", 5, 77, true, 77},
  };
  for (const PingCase& c : cases) {
    ScriptedSession s;
    s.Prime();
    s.DoMethod(Method("MP3_SEARCH", {{"MAX_RESULTS", "5"}, {"PING_TIME_ACTION", c.action},
                                     {"PING_TIME_VALUE", std::to_string(c.value)}}));
    s.base = c.ping / 2;
    s.randoms = {c.ping - c.ping / 2};
    s.Dispatch(201, "\"f.mp3\" m 1 2 3 4 bob 16777343 7");
    SCOPED_TRACE(std::string(c.action) + " " + std::to_string(c.value) + " ping " + std::to_string(c.ping));
    ASSERT_EQ(s.events.size(), c.kept ? 1u : 0u);
    if (c.kept) {
      EXPECT_EQ(s.events[0].GetValue("PING_TIME"), std::to_string(c.reported));
    }
  }
  ScriptedSession s;  // resume results are never filtered
  s.Prime();
  s.DoMethod(Method("MP3_SEARCH", {{"MAX_RESULTS", "5"}, {"PING_TIME_ACTION", "AT LEAST"}, {"PING_TIME_VALUE", "200"}}));
  s.Dispatch(216, "\"f.mp3\" m 1 2 3 4 bob 16777343 7");
  EXPECT_EQ(s.events.size(), 1u);
}

// The search's maximum goes to the server and nowhere else: the gateway
// answers with more, and every result that passes the ping filter is an
// event, those before the search and those it drops counting for nothing.
TEST(NapsterSession, EveryResultPassingThePingFilterIsAnEvent) {
  ScriptedSession s;
  s.Prime();
  s.base = 100;
  s.Dispatch(201, "\"late.mp3\" m 1 2 3 4 old 1 7");  // the previous search's
  s.DoMethod(Method("MP3_SEARCH", {{"MAX_RESULTS", "2"}, {"PING_TIME_ACTION", "AT BEST"}, {"PING_TIME_VALUE", "150"}}));
  s.randoms = {900, 0, 0, 0, 0, 0};
  s.Dispatch(201, "\"slow.mp3\" m 1 2 3 4 far 1 7");  // filtered out
  for (int i = 0; i < 5; ++i) s.Dispatch(201, "\"f" + std::to_string(i) + ".mp3\" m 1 2 3 4 n" + std::to_string(i) + " 1 7");
  ASSERT_EQ(s.events.size(), 6u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.events[size_t(i) + 1].GetValue("FILENAME"), "f" + std::to_string(i) + ".mp3");
}

TEST(NapsterSession, PingTimesAreKeptPerNick) {
  ScriptedSession s;
  s.Prime();
  s.base = 10;
  s.randoms = {5, 7, 9};
  s.Dispatch(201, "\"a\" m 1 2 3 4 bob 1 7");
  s.Dispatch(201, "\"b\" m 1 2 3 4 BOB 1 7");  // the same nick
  s.Dispatch(201, "\"c\" m 1 2 3 4 eve 1 7");
  ASSERT_EQ(s.events.size(), 3u);
  EXPECT_EQ(s.events[0].GetValue("PING_TIME"), "15");
  EXPECT_EQ(s.events[1].GetValue("PING_TIME"), "15");
  EXPECT_EQ(s.events[2].GetValue("PING_TIME"), "17");

  // The oldest entry goes when more than 1000 nicks are known.
  for (int i = 0; i < TNapsterClientSession::kPingCacheSize - 1; ++i)
    s.Dispatch(201, "\"a\" m 1 2 3 4 n" + std::to_string(i) + " 1 7");
  s.events.clear();
  s.randoms = {100, 200};
  s.Dispatch(201, "\"a\" m 1 2 3 4 eve 1 7");  // still known
  s.Dispatch(201, "\"a\" m 1 2 3 4 bob 1 7");  // forgotten: a new time
  EXPECT_EQ(s.events[0].GetValue("PING_TIME"), "17");
  EXPECT_EQ(s.events[1].GetValue("PING_TIME"), "110");
}

// ------------------------------------------------------------ transfers

TEST(NapsterSession, DownloadAcknowledgements) {
  struct Case {
    uint16_t type;
    bool firewalled;
    std::string text;
    std::string log;
    std::vector<std::pair<uint16_t, std::string>> sent;
  } cases[] = {
      {204, true, "bob 16777343 0 \"f.mp3\" md5 7", "BothFirewalled bob|f.mp3\n", {}},
      {204, false, "bob 16777343 0 \"f.mp3\" md5 7", "", {{500, "bob \"f.mp3\""}}},
      {204, false, "bob 16777343 0 \"C:\\a b.mp3\" firewallerror 0", "", {{500, "bob \"C:\\a b.mp3\""}}},
      {204, false, "bob 16777343 6699 \"f.mp3\" md5 7", "StartDownload bob|me|f.mp3|2130706433|md5|7|6699\n", {}},
      {204, true, "bob 16777343 6699 \"f.mp3\" md5 7", "StartDownload bob|me|f.mp3|2130706433|md5|7|6699\n", {}},
      {501, false, "bob 16777343 0 \"f.mp3\" md5 7", "", {}},
      {501, true, "bob 16777343 0 \"f.mp3\" md5 7", "BothFirewalled bob|f.mp3\n", {}},
      {501, false, "bob 16777343 7000 \"f.mp3\" md5 7", "StartPush bob|me|f.mp3|2130706433|md5|7|7000\n", {}},
      {204, false, "bob 16777343 70000 \"f.mp3\" md5 7", "", {}},
      {204, false, "bob", "", {}},
      {620, false, "bob \"f.mp3\" 3000000000 5", "Queued bob|f.mp3|3000000000|5\n", {}},
      {620, false, "bob \"f.mp3\" big many", "Queued bob|f.mp3|0|0\n", {}},
      {206, false, "bob \"f.mp3\"", "Unavailable bob|f.mp3\n", {}},
  };
  for (const Case& c : cases) {
    ScriptedSession s;
    s.Prime();
    s.SetFirewalled(c.firewalled);
    s.Dispatch(c.type, c.text);
    SCOPED_TRACE(std::to_string(c.type) + " " + c.text);
    EXPECT_EQ(s.Logged(), c.log);
    ExpectSent(s, c.sent);
    EXPECT_TRUE(s.events.empty());
  }
}

TEST(NapsterSession, UploadRequestsAreAnsweredByThePolicy) {
  struct Case {
    bool queued, accept;
    uint16_t type;
    std::string text;
  } cases[] = {{false, true, 608, "bob \"C:\\m\\a b.mp3\""},
               {true, true, 619, "bob \"C:\\m\\a b.mp3\" 0"},
               {false, false, 619, "bob \"C:\\m\\a b.mp3\" 0"}};
  for (const Case& c : cases) {
    ScriptedSession s;
    s.Prime();
    s.policyQueued = c.queued;
    s.policyAccept = c.accept;
    s.Dispatch(607, "bob \"C:\\m\\a b.mp3\" 7");
    EXPECT_EQ(s.Logged(), "UploadRequested bob|C:\\m\\a b.mp3\n");
    ExpectSent(s, {{c.type, c.text}});
  }
  ScriptedSession s;  // no policy at all: refused
  s.Prime();
  s.Callbacks.OnUploadRequested = nullptr;
  s.Dispatch(607, "bob \"x.mp3\"");
  ExpectSent(s, {{619, "bob \"x.mp3\" 0"}});
}

// ------------------------------------------------------------ redirector

TEST(NapsterSession, RedirectorAnswerInPieces) {
  ScriptedSession s;
  s.start = {{"ID", "RD1"}, {"REDIRECT", "true"}};
  s.IncomingRaw(" server.example.net ");
  s.IncomingRaw(":88");
  s.IncomingRaw("88\r\nanything else 1");
  EXPECT_NO_THROW(s.Run());
  EXPECT_EQ(s.Logged(), "Redirected server.example.net 8888\n");
  EXPECT_TRUE(s.sent.empty());

  ScriptedSession t;  // no line end: the close ends the answer
  t.start = {{"ID", "RD2"}, {"REDIRECT", "TRUE"}};
  t.IncomingRaw("host:70000");
  EXPECT_NO_THROW(t.Run());
  EXPECT_EQ(t.Logged(), "Redirected host 0\n");

  // No line end and the connection left open: the line is waited for while
  // its pieces keep coming, then what came is the answer.
  ScriptedSession u;
  u.start = {{"ID", "RD3"}, {"REDIRECT", "TRUE"}};
  u.peerClosesAtEnd = false;
  u.IncomingRaw("open.server:");
  u.IncomingRaw("7777", 1500);
  EXPECT_NO_THROW(u.Run());
  EXPECT_EQ(u.Logged(), "Redirected open.server 7777\n");
  EXPECT_GE(u.now, 1500 + u.RedirectorLineWaitMs);
  EXPECT_LT(u.now, 10000);
}

TEST(NapsterSession, RedirectorNamingNoServerIsAskedAgainSlowlyThenGivenUp) {
  const char* answers[] = {"127.0.0.1:8888\n", "server:1111\n", "127.0.0.1:1111\n", "127.0.0.1:8888\n"};
  int64_t waited[4];
  for (int i = 0; i < 4; ++i) {
    ScriptedSession s;
    s.RedirectRetryDelayMs = 100;
    s.start = {{"ID", "RD-LOOP"}, {"REDIRECT", "TRUE"}};
    s.IncomingRaw(answers[i]);
    s.Run();
    waited[i] = s.now;
    if (i < 3) {
      EXPECT_EQ(s.log.size(), 1u);
      EXPECT_EQ(s.log[0].substr(0, 10), "Redirected");
    } else {
      EXPECT_EQ(s.Logged(), "LoginError The redirector named no server\n");
    }
  }
  EXPECT_GE(waited[0], 100);
  EXPECT_GE(waited[1], 200);
  EXPECT_GE(waited[2], 300);
  EXPECT_EQ(waited[3], 0);
  // A usable answer starts the count afresh.
  ScriptedSession s;
  s.start = {{"ID", "RD-LOOP"}, {"REDIRECT", "TRUE"}};
  s.IncomingRaw("real.server:8888\n");
  s.Run();
  EXPECT_EQ(s.Logged(), "Redirected real.server 8888\n");
  EXPECT_EQ(s.now, 0);
}

}  // namespace

TEST(NapsterSession, GatewayLoginReplyMayTakeTheGatewaysWholeLoginWait) {
  // The program's own gateway answers only once a peer network has a peer.
  ScriptedSession p2p;
  LoginRecord(p2p);
  p2p.start["ID"] = TNapsterClientSession::kGatewayID;
  p2p.peerClosesAtEnd = false;
  p2p.Incoming(3, "ok", 170000);
  EXPECT_NO_THROW(p2p.Run());
  EXPECT_NE(p2p.Logged().find("LoggedIn ok"), std::string::npos) << p2p.Logged();
  EXPECT_GE(p2p.now, 170000);

  // It waits no longer than that, and other servers are not waited for.
  ScriptedSession silent;
  LoginRecord(silent);
  silent.start["ID"] = TNapsterClientSession::kGatewayID;
  silent.peerClosesAtEnd = false;
  EXPECT_THROW(silent.Run(), EEasySocketClose);
  EXPECT_GE(silent.now, 180000);
  EXPECT_LE(silent.now, TNapsterClientSession::kGatewayLoginReplyMs + 1000);
  ScriptedSession server;
  LoginRecord(server);
  server.peerClosesAtEnd = false;
  EXPECT_THROW(server.Run(), EEasySocketClose);
  EXPECT_LT(server.now, 1000);
}
