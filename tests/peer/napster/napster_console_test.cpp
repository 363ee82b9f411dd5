// test-label: concurrency
// The tarnctl console over a client component: a Gnutella result fetched
// from its host as the main window fetches it, what a server sends printed
// so that it can neither forge a line nor pile up without end, the chat
// verbs between two consoles on one server, and the program itself run
// through a session with its leaks checked at its end, also when QUIT comes
// while its input stays open.
#include "tools/napster_console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "core/share_manager.h"
#include "peer/chat_command.h"
#include "tests/support/test_util.h"
#include "tools/fake_napster_server.h"
#include "tools/gnutella_http_host.h"
#include "tools/leak_check.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;
#endif

namespace {

using Step = FakeNapsterServer::Step;

struct Console {
  std::vector<std::string> lines;
  NapsterConsole console;
  explicit Console(const std::string& dir) : console(dir, [this](const std::string& l) { lines.push_back(l); }) {}
  void Run(const std::vector<std::string>& commands) {
    for (const std::string& c : commands) console.Input()->Feed(c);
  }
  bool Quits() { return testutil::PumpUntil([&] { return console.Quitting(); }, 20000); }
  int Count(const std::string& prefix) const {
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; }));
  }
  // The first line that begins with prefix ("" when none does).
  std::string Line(const std::string& prefix) const {
    for (const std::string& l : lines)
      if (l.compare(0, prefix.size(), prefix) == 0) return l;
    return "";
  }
  std::string Text() const {
    std::string t;
    for (const std::string& l : lines) t += l + "\n";
    return t;
  }
  // Runs the main loop until a line begins with prefix (the n-th one).
  bool Sees(const std::string& prefix, int n = 1) {
    return testutil::PumpUntil([&] { return Count(prefix) >= n; }, 20000);
  }
};

std::string Connect(const FakeNapsterServer& server, const std::string& nick) {
  return "CONNECT 127.0.0.1 " + std::to_string(server.Port()) + " " + nick + " pw";
}

TEST(NapsterConsole, DownloadOfAGnutellaResultFetchesItFromItsHost) {
  const std::string dir = testutil::TempFolder("console-gnutella");
  const std::string content = testutil::PatternBytes(70000, 3);
  GnutellaHttpHost host(content);
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  // The gateway's form of a Gnutella result: index 42 on 127.0.0.1.
  const std::string nick = "@#!GNUTELLA:42:16777343";
  server.SetScript(200, {Step::Frame(201, "\"song.mp3\" MD5MD5MD5MD 70000 100 100 200 " + nick + " 16777343 4 " +
                                              std::to_string(host.Port()) + " 0"),
                         Step::Frame(202, "")});
  Console c(dir);
  c.Run({"CONNECT 127.0.0.1 " + std::to_string(server.Port()) + " me pw", "WAIT OnLogin", "SEARCH song",
         "WAIT OnSearchEnd", "DOWNLOAD . \"" + nick + "\" \"song.mp3\"", "WAIT OnDownloadFinish", "QUIT"});
  ASSERT_TRUE(c.Quits()) << c.Text();
  EXPECT_EQ(c.console.ExitCode(), 0) << c.Text();
  EXPECT_EQ(testutil::ReadFileBytes(dir + "song.mp3"), content);
  ASSERT_EQ(host.Requests().size(), 1u);
  EXPECT_EQ(host.Requests()[0].line, "GET /get/42/song.mp3 HTTP/1.0");
  EXPECT_EQ(server.CountOfType(203), 0);  // the server is never asked for it

  // A result the console never saw needs the host's port in the command.
  Console d(dir);
  d.Run({"CONNECT 127.0.0.1 " + std::to_string(server.Port()) + " me pw", "WAIT OnLogin",
         "DOWNLOAD . \"@#!GNUTELLA:7:16777343\" other.mp3", "QUIT"});
  ASSERT_TRUE(d.Quits());
  EXPECT_EQ(d.Count("ERROR DOWNLOAD no port known"), 1) << d.Text();
}

TEST(NapsterConsole, ServerTextIsEscapedAndUnwaitedEventsAreBounded) {
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  FakeNapsterServer::Script flood{Step::Frame(205, "bob hello\nEVENT OnLogin FORGED\r\x01\t\"end\"")};
  const int more = int(NapsterConsole::kMaxUnwaited) + 200;
  for (int i = 0; i < more; ++i) flood.push_back(Step::Frame(205, "bob n" + std::to_string(i)));
  server.SetAfterLogin(flood);
  Console c(testutil::TempFolder("console-escape"));
  c.Run({"CONNECT 127.0.0.1 " + std::to_string(server.Port()) + " me pw", "WAIT OnLogin"});
  ASSERT_TRUE(testutil::PumpUntil([&] { return c.Count("EVENT OnPrivMsg ") == more + 1; }, 20000))
      << c.Count("EVENT OnPrivMsg ");
  for (const std::string& l : c.lines) {
    EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos) << l;
    EXPECT_NE(l.compare(0, 20, "EVENT OnLogin FORGED"), 0);
  }
  const std::string escaped = "MSG=\"hello\\nEVENT OnLogin FORGED\\r\\x01\\t\\\"end\\\"\"\n";
  EXPECT_NE(c.Text().find(escaped), std::string::npos) << c.Text().substr(0, 400);
  // Only the latest events wait for a WAIT; the oldest went.
  EXPECT_EQ(c.console.UnwaitedEvents(), NapsterConsole::kMaxUnwaited);
  c.Run({"WAIT OnPrivMsg 5", "QUIT"});
  ASSERT_TRUE(c.Quits());
  EXPECT_EQ(c.console.ExitCode(), 0);
}

// ANNOUNCE does what a start does with a share file and answers how long
// it took; its files are counted, not printed, and the events print again
// afterwards.
TEST(NapsterConsole, AnnounceCountsAStartsFilesWithoutPrintingThem) {
  const std::string dir = testutil::TempFolder("console-announce");
  const std::string music = dir + "music" + plat::kPathDelim, shareFile = dir + "Shared.dat";
  {
    TShareManager m;
    ASSERT_TRUE(plat::ForceDirectories(music));
    for (const char* f : {"a.mp3", "b.txt", "c.txt"}) testutil::WriteFileBytes(music + f, f);
    m.AddDirectory(music, "Music", true, "*.*");
    for (auto q = m.Query("/", true); q->Next();) {
    }
    ASSERT_TRUE(m.SaveToFile(shareFile));
  }
  Console c(dir);
  c.Run({"ANNOUNCE \"" + dir + "missing.dat\"", "MEMORY", "ANNOUNCE \"" + shareFile + "\"", "SCANALL",
         "WAIT OnScanFinished", "QUIT"});
  ASSERT_TRUE(c.Quits()) << c.Text();
  EXPECT_EQ(c.Count("ERROR ANNOUNCE cannot read"), 1) << c.Text();
  long long resident = 0, heap = 0;
  ASSERT_EQ(std::sscanf(c.Line("OK MEMORY").c_str(), "OK MEMORY RESIDENT=%lld HEAP=%lld", &resident, &heap), 2);
  EXPECT_GT(resident, 0);  // the heap's figure is the runtime's (none under the sanitizers)
  double load = -1, total = -1;
  ASSERT_EQ(std::sscanf(c.Line("OK ANNOUNCE").c_str(), "OK ANNOUNCE FILES=3 LOAD_MS=%lf TOTAL_MS=%lf", &load, &total),
            2)
      << c.Text();
  EXPECT_GE(total, load);
  // Only SCANALL's files are printed.
  EXPECT_EQ(c.Count("EVENT OnAddFile "), 3) << c.Text();
}

// Two users on one server: they meet in a channel (each sees the other
// come, talk, act and go), and one keeps the other on its hot list and is
// told when the other leaves and comes back. The channel a verb leaves out
// is the one joined last.
TEST(NapsterConsole, TwoUsersTalkInAChannelAndTheHotListSeesThemComeAndGo) {
  FakeNapsterServer server;
  FakeNapsterServer::User op;
  op.nick = "alice";
  op.level = "Moderator";  // may kick
  server.AddUser(op);
  ASSERT_TRUE(server.Start());
  const std::string dir = testutil::TempFolder("console-chat");
  Console a(dir), b(dir);
  a.Run({Connect(server, "alice"), "WAIT OnLogin", "JOIN #chat", "WAIT OnMyJoin", "HOTLIST bob"});
  ASSERT_TRUE(a.Sees("EVENT OnHotListAdd")) << a.Text();
  EXPECT_EQ(a.Count("EVENT OnSignOn"), 0) << "bob is not online yet";

  b.Run({Connect(server, "bob"), "WAIT OnLogin", "JOIN #chat", "WAIT OnUserEnd", "SAY hello  all", "ME waves"});
  ASSERT_TRUE(a.Sees("EVENT OnSignOn ") && a.Sees("EVENT OnJoin ") && a.Sees("EVENT OnEmote ")) << a.Text();
  EXPECT_NE(a.Line("EVENT OnSignOn ").find(" NICK=bob "), std::string::npos);
  EXPECT_NE(a.Line("EVENT OnJoin ").find(" NICK=bob CHANNEL=#chat "), std::string::npos);
  EXPECT_NE(a.Line("EVENT OnPubMsg ").find(" NICK=bob CHANNEL=#chat MSG=\"hello  all\""), std::string::npos);
  EXPECT_NE(a.Line("EVENT OnEmote ").find(" CHANNEL=#chat NICK=bob MSG=waves"), std::string::npos);
  // Who is in the channel: bob's join listed both.
  EXPECT_EQ(b.Count("EVENT OnUserItem "), 2) << b.Text();
  EXPECT_EQ(server.ChannelMembers("#chat"), (std::vector<std::string>{"alice", "bob"}));

  // The topic, set by one, reaches both; the channel list counts them.
  a.Run({"TOPIC Friday night", "CHANNELS", "WAIT OnChannelEnd"});
  ASSERT_TRUE(b.Sees("EVENT OnTopic ", 2) && a.Sees("EVENT OnChannelEnd")) << b.Text();
  EXPECT_NE(a.Line("EVENT OnChannelItem ").find("CHANNEL=#chat TOPIC=\"Friday night\" USERS=2"), std::string::npos);

  // An operator's kick names the channel; bob is told, alice sees him go.
  a.Run({"KICK bob enough"});
  ASSERT_TRUE(b.Sees("EVENT OnMyPart ") && a.Sees("EVENT OnPart ")) << a.Text() << b.Text();
  EXPECT_NE(b.Line("EVENT On404 ").find("kicked from channel #chat by alice: enough"), std::string::npos);
  EXPECT_EQ(server.ChannelMembers("#chat"), (std::vector<std::string>{"alice"}));

  // bob leaves and comes back: the hot list says so both times.
  b.Run({"QUIT"});
  ASSERT_TRUE(b.Quits());
  ASSERT_TRUE(a.Sees("EVENT OnSignOff ")) << a.Text();
  EXPECT_NE(a.Line("EVENT OnSignOff ").find("NICK=bob"), std::string::npos);
  Console again(dir);
  again.Run({Connect(server, "bob"), "WAIT OnLogin"});
  ASSERT_TRUE(a.Sees("EVENT OnSignOn ", 2)) << a.Text();
  a.Run({"QUIT"});
  ASSERT_TRUE(a.Quits());
}

// Every verb goes out as the message its request is sent as, with the
// channel the line leaves out; a line that lacks words says so and sends
// nothing.
TEST(NapsterConsole, EveryChatVerbSendsItsRequestAndALineWithoutItsWordsIsRefused) {
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  Console c(testutil::TempFolder("console-verbs"));
  const std::vector<std::pair<std::string, NapsterMessage>> sent = {
      {"JOIN #c", {400, "#c"}},
      {"SAY hi there", {402, "#c hi there"}},
      {"ME \"jumps\" around", {824, "#c \"'jumps' around\""}},
      {"TOPIC", {410, "#c"}},
      {"TOPIC #c new topic", {410, "#c new topic"}},
      {"CHANNELS", {617, ""}},
      {"MSG bob hi", {205, "bob hi"}},
      {"WHOIS bob", {603, "bob"}},
      {"BROWSE bob", {211, "bob"}},
      {"HOTLIST bob", {207, "bob"}},
      {"UNHOTLIST bob", {303, "bob"}},
      {"IGNORE", {320, ""}},
      {"IGNORE bob", {322, "bob"}},
      {"UNIGNORE bob", {323, "bob"}},
      {"MOTD", {621, ""}},
      {"STATS", {214, ""}},
      {"PASSWORD n3w", {701, "n3w"}},
      {"KICK bob \"go away\"", {829, "#c bob \"go away\""}},
      {"KICK #other bob", {829, "#other bob \"\""}},
      {"CHANNELBAN bob", {422, "#c bob \"\""}},
      {"UNCHANNELBAN #c bob", {423, "#c bob \"\""}},
      {"CHANNELBANS", {420, "#c"}},
      {"BAN 10.0.0.1 flooding the server", {612, "10.0.0.1 \"flooding the server\""}},
      {"UNBAN 10.0.0.1", {614, "10.0.0.1 \"\""}},
      {"BANS", {615, ""}},
      {"MUZZLE bob shouting", {622, "bob \"shouting\""}},
      {"UNMUZZLE bob", {623, "bob \"\""}},
      {"GLOBAL hello everyone", {628, "hello everyone"}},
      {"OPMSG hello ops", {627, "hello ops"}},
      {"LEVEL bob Moderator", {606, "bob Moderator"}},
      {"KILL bob", {610, "bob"}},
      {"NUKE bob", {611, "bob"}},
      {"UNNUKE bob", {624, "bob"}},
      {"RAW 751 bob", {751, "bob"}},
      {"PART", {401, "#c"}},
  };
  c.Run({Connect(server, "carol"), "WAIT OnLogin"});
  // After its login a session asks for the statistics by itself.
  ASSERT_TRUE(testutil::PumpUntil([&] { return server.CountOfType(214) > 0; }, 20000));
  server.ClearReceived();
  std::vector<std::string> lines;
  for (const auto& [line, message] : sent) lines.push_back(line);
  // The channel a line leaves out is the one joined: JOIN is waited for.
  lines.insert(lines.begin() + 1, "WAIT OnMyJoin");
  c.Run(lines);
  ASSERT_TRUE(testutil::PumpUntil([&] { return server.CountOfType(401) > 0; }, 20000)) << c.Text();
  std::vector<NapsterMessage> got = server.Received();
  ASSERT_EQ(got.size(), sent.size()) << c.Text();
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(got[i].Type, sent[i].second.Type) << sent[i].first;
    EXPECT_EQ(got[i].Text, sent[i].second.Text) << sent[i].first;
  }
  EXPECT_EQ(c.Count("OK "), int(sent.size()) + 1) << c.Text();  // and CONNECT

  // Refused lines send nothing; the channel verbs need one after PART.
  c.Run({"WAIT OnMyPart", "MSG bob", "JOIN", "LEVEL bob", "RAW x", "RAW 70000", "HOTLIST", "ME waves", "KICK", "HELP",
         "QUIT"});
  ASSERT_TRUE(c.Quits());
  for (const char* refused : {"ERROR MSG missing arguments", "ERROR JOIN missing", "ERROR LEVEL missing",
                              "ERROR RAW missing", "ERROR HOTLIST missing", "ERROR ME no channel", "ERROR KICK missing"})
    EXPECT_EQ(c.Count(refused), refused == std::string("ERROR RAW missing") ? 2 : 1) << refused << "\n" << c.Text();
  EXPECT_EQ(c.Count("HELP "), int(ChatVerbs().size())) << c.Text();
  EXPECT_NE(c.Text().find("HELP KICK [channel] nick [reason] - "), std::string::npos);
  EXPECT_EQ(server.Received().size(), sent.size());
}

// A script writes lines faster than a session sends them: of 300 messages
// in one burst each is answered OK and arrives, in order, or is answered
// ERROR (its session's queue of requests was full) and never arrives.
TEST(NapsterConsole, ABurstOfMessagesArrivesOrIsAnsweredError) {
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  const std::string dir = testutil::TempFolder("console-burst");
  Console a(dir), b(dir);
  b.Run({Connect(server, "bob"), "WAIT OnLogin"});
  ASSERT_TRUE(b.Sees("EVENT OnLogin")) << b.Text();
  a.Run({Connect(server, "alice"), "WAIT OnLogin"});
  ASSERT_TRUE(a.Sees("EVENT OnLogin")) << a.Text();
  const std::string id = a.Line("OK CONNECT ID=").substr(14);
  std::vector<std::string> burst;
  for (int i = 0; i < 300; ++i) burst.push_back("MSG bob m" + std::to_string(i));
  a.Run(burst);
  ASSERT_TRUE(testutil::PumpUntil([&] { return a.Count("OK MSG") + a.Count("ERROR MSG") == 300; }, 20000))
      << a.Text();
  // The answers come in the order of the lines.
  std::vector<std::string> sent;
  int answered = 0;
  for (const std::string& l : a.lines) {
    if (l == "OK MSG") sent.push_back("m" + std::to_string(answered++));
    if (l.rfind("ERROR MSG", 0) == 0) {
      EXPECT_EQ(l, "ERROR MSG not sent: the server connection is busy (ID=" + id + ")");
      ++answered;
    }
  }
  // Once the server has what was sent, one more goes too; once that one is
  // in, everything sent before it is.
  ASSERT_TRUE(testutil::PumpUntil([&] { return server.CountOfType(205) >= int(sent.size()); }, 20000));
  a.Run({"MSG bob last"});
  ASSERT_TRUE(a.Sees("OK MSG", int(sent.size()) + 1)) << a.Text();
  sent.push_back("last");
  ASSERT_TRUE(b.Sees("EVENT OnPrivMsg ID=", int(sent.size()))) << a.Count("OK MSG") << " sent\n" << b.Text();
  std::vector<std::string> got;
  for (const std::string& l : b.lines)
    if (l.rfind("EVENT OnPrivMsg ", 0) == 0) got.push_back(l.substr(l.find(" MSG=") + 5));
  EXPECT_EQ(got, sent);
  a.Run({"QUIT"});
  b.Run({"QUIT"});
  ASSERT_TRUE(a.Quits() && b.Quits());
}

#ifndef _WIN32
// The console program ends at once (its input thread may wait for a line
// for ever), but a leak still fails it: the sanitizer's check runs first.
TEST(NapsterConsole, ALeakFailsTheProgramThatEndsAtOnce) {
  if (!LeakCheckBuilt()) GTEST_SKIP() << "no leak check in this build";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  [[maybe_unused]] static char* volatile lost = nullptr;
  EXPECT_EXIT(
      {
        for (int i = 0; i < 100; i++) lost = new char[64];
        lost = nullptr;
        ExitAfterLeakCheck(0);
      },
      [](int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); }, "LeakSanitizer");
}

// tarnctl itself through a session of commands: it ends with QUIT's
// status, and (in a sanitizer build) with nothing leaked.
TEST(NapsterConsole, TheProgramRunsASessionAndEndsClean) {
  const char* tarnctl = std::getenv("TARN_TARNCTL");
  if (!tarnctl) GTEST_SKIP() << "TARN_TARNCTL is not set";
  const std::string dir = testutil::TempFolder("console-program");
  testutil::WriteFileBytes(dir + "a.txt", "shared bytes");
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  testutil::WriteFileBytes(dir + "commands", "PORT 0\nCONNECT 127.0.0.1 " + std::to_string(server.Port()) +
                                                 " me pw\nWAIT OnLogin\nSHARE \"" + dir + "a.txt\"\n"
                                                 "SEARCH song\nWAIT OnSearchEnd\n"
                                                 "DOWNLOAD . nobody \"x.mp3\"\nWAIT OnDownloadFinish\nQUIT\n");
  const std::string command = std::string(tarnctl) + " --download-dir \"" + dir + "\" < \"" + dir + "commands\" > \"" +
                              dir + "out\" 2> \"" + dir + "err\"";
  const int status = std::system(command.c_str());
  const std::string out = testutil::ReadFileBytes(dir + "out");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << out << testutil::ReadFileBytes(dir + "err");
  EXPECT_EQ(testutil::ReadFileBytes(dir + "err").find("LeakSanitizer"), std::string::npos);
  EXPECT_NE(out.find("EVENT OnDownloadUnavailable"), std::string::npos) << out;
  EXPECT_NE(out.find("OK SHARE COUNT=1"), std::string::npos) << out;
}

// QUIT from a script that keeps its end of the pipe open: the program ends
// although its input thread still waits inside a read of that pipe, and
// (in a sanitizer build) its leak check runs on the way out.
TEST(NapsterConsole, TheProgramEndsAtQuitWhileItsInputStaysOpen) {
  const char* tarnctl = std::getenv("TARN_TARNCTL");
  if (!tarnctl) GTEST_SKIP() << "TARN_TARNCTL is not set";
  const std::string dir = testutil::TempFolder("console-open-input");
  const std::string out = dir + "out", err = dir + "err";
  // The leak check names each thread it looks through.
  std::vector<std::string> env;
  std::string lsan = "LSAN_OPTIONS=log_threads=1";
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("LSAN_OPTIONS=", 0) == 0)
      lsan = std::string(*e) + ":log_threads=1";
    else
      env.push_back(*e);
  }
  env.push_back(lsan);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const char* args[] = {tarnctl, "--download-dir", dir.c_str(), nullptr};

  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(input[0], 0);
    close(input[0]);
    close(input[1]);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int r = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(r, 2);
    execve(tarnctl, const_cast<char* const*>(args), envp.data());
    _exit(127);
  }
  close(input[0]);
  const std::string commands = "PORT 0\nQUIT\n";
  ASSERT_EQ(write(input[1], commands.data(), commands.size()), ssize_t(commands.size()));
  // The pipe stays open until the program has ended (or the hang guard
  // gives up on it).
  int status = 0;
  pid_t ended = 0;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(input[1]);
  ASSERT_EQ(ended, pid) << "still running after QUIT with its input open";
  const std::string printed = testutil::ReadFileBytes(out), said = testutil::ReadFileBytes(err);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << said;
  EXPECT_NE(printed.find("OK PORT PORT="), std::string::npos) << printed;
  if (LeakCheckBuilt()) {
    EXPECT_NE(said.find("Processing thread"), std::string::npos) << said;
    EXPECT_EQ(said.find("LeakSanitizer"), std::string::npos) << said;
  }
}
#endif

}  // namespace
