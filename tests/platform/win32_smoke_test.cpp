// What the Win32 side of the platform layer adds to the portable promises:
// the hidden window's loop serving GUI windows too, socket notifications
// through window messages, file sharing modes, change notifications, event
// waits that leave sockets blocking, and the run-time loaded ICMP library.
#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatcher.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/os.h"
#include "platform/stream.h"
#include "platform/system.h"
#include "tests/support/test_util.h"


namespace {

using plat::MainLoop;
using plat::MessageTarget;
using plat::SocketHandle;

// --------------------------------------------------------------- dispatcher

TEST(Win32Dispatcher, SendsFromWorkersRunOnTheMainThreadAndCarryExceptionsBack) {
  MessageTarget target;
  std::atomic<int> done{0};
  std::vector<int> order;  // main thread only
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 50; ++i) {
        bool onMain = false;
        EXPECT_TRUE(target.Send([&] {
          onMain = MainLoop::IsMainThread();
          order.push_back(w * 1000 + i);
        }));
        EXPECT_TRUE(onMain);
      }
      try {
        target.Send([] { throw std::runtime_error("from main"); });
        ADD_FAILURE() << "no exception";
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "from main");
      }
      ++done;
    });
  }
  EXPECT_TRUE(testutil::PumpUntil([&] { return done == 4; }, 20000));
  for (auto& t : workers) t.join();
  ASSERT_EQ(order.size(), 200u);
  // Each worker's calls arrive in the order it made them.
  std::vector<int> last(4, -1);
  for (int v : order) {
    EXPECT_GT(v % 1000, last[size_t(v / 1000)]);
    last[size_t(v / 1000)] = v % 1000;
  }
}

TEST(Win32Dispatcher, SendToATargetDestroyedFirstGivesFalse) {
  auto target = std::make_unique<MessageTarget>();
  std::atomic<int> result{-1};
  std::atomic<bool> ran{false};
  std::thread worker([&] { result = target->Send([&] { ran = true; }) ? 1 : 0; });
  // The main thread does not pump: the call stays queued until the target goes.
  Sleep(200);
  target.reset();
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(ran);
  MainLoop::ProcessMessages();
  EXPECT_FALSE(ran);
}

TEST(Win32Dispatcher, PostsKeepTheirOrderWhenACallPumpsTheLoop) {
  MessageTarget target;
  std::string trace;
  target.Post([&] {
    trace += "a(";
    MainLoop::ProcessMessages();
    trace += ")";
  });
  target.Post([&] { trace += "b"; });
  target.Post([&] { throw std::runtime_error("ignored"); });
  target.Post([&] { trace += "c"; });
  EXPECT_TRUE(testutil::PumpUntil([&] { return trace.size() == 5; }, 5000));
  EXPECT_EQ(trace, "a(bc)");
}

TEST(Win32Dispatcher, TimersFireStopAndAreReplaced) {
  auto target = std::make_unique<MessageTarget>();
  int first = 0, second = 0;
  target->SetTimer(1, 20, [&] { ++first; });
  EXPECT_TRUE(testutil::PumpUntil([&] { return first >= 3; }, 5000));
  target->SetTimer(1, 20, [&] { ++second; });  // same id: replaces
  int firstAtSwap = first;
  EXPECT_TRUE(testutil::PumpUntil([&] { return second >= 2; }, 5000));
  EXPECT_EQ(first, firstAtSwap);
  target->KillTimer(1);
  int secondAtKill = second;
  MainLoop::PumpUntil([] { return false; }, 150);
  EXPECT_EQ(second, secondAtKill);

  int third = 0;
  target->SetTimer(7, 20, [&] { ++third; });
  target.reset();  // destroying the target kills its timers
  MainLoop::PumpUntil([] { return false; }, 150);
  EXPECT_EQ(third, 0);
}

TEST(Win32Dispatcher, TimerSetFromAWorkerRunsOnTheMainThread) {
  MessageTarget target;
  std::atomic<int> ticks{0};
  std::atomic<bool> allOnMain{true};
  std::thread([&] {
    target.SetTimer(3, 20, [&] {
      if (!MainLoop::IsMainThread()) allOnMain = false;
      ++ticks;
    });
  }).join();
  EXPECT_TRUE(testutil::PumpUntil([&] { return ticks >= 2; }, 5000));
  std::thread([&] { target.KillTimer(3); }).join();
  MainLoop::ProcessMessages();
  int atKill = ticks;
  MainLoop::PumpUntil([] { return false; }, 150);
  EXPECT_EQ(ticks, atKill);
  EXPECT_TRUE(allOnMain);
}

LRESULT CALLBACK PlainWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_USER + 5) {
    *reinterpret_cast<int*>(lp) = int(wp);
    MainLoop::Quit();
    return 0;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

TEST(Win32Dispatcher, RunServesOrdinaryWindowsAndEndsOnQuit) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PlainWndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TarnSmokeWindow";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                           wc.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  int got = 0;
  PostMessageA(w, WM_USER + 5, 42, reinterpret_cast<LPARAM>(&got));
  MainLoop::Run();
  EXPECT_EQ(got, 42);

  // Quit from another thread ends Run as well.
  std::thread([] {
    Sleep(50);
    MainLoop::Quit();
  }).detach();
  MainLoop::Run();
  DestroyWindow(w);
}

TEST(Win32Dispatcher, PumpingKeepsAQuitRequestForTheLoopThatRunsTheProgram) {
  MessageTarget target;
  bool ran = false;
  MainLoop::Quit();
  target.Post([&] { ran = true; });
  MainLoop::ProcessMessages();
  EXPECT_TRUE(testutil::PumpUntil([&] { return ran; }, 2000));
  EXPECT_FALSE(MainLoop::PumpUntil([] { return false; }, 50));  // ends though a quit waits

  // The quit is still there: a plain GetMessage loop ends at once.
  std::atomic<bool> done{false}, rescued{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 100 && !done; ++i) Sleep(50);
    if (!done) {
      rescued = true;
      MainLoop::Quit();
    }
  });
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  done = true;
  watchdog.join();
  EXPECT_FALSE(rescued);
}

// ------------------------------------------------------ socket notifications

struct Listener {
  SocketHandle s = plat::TcpSocket();
  uint16_t port = 0;
  Listener() {
    EXPECT_TRUE(plat::BindSocket(s, 0x7F000001, 0));
    EXPECT_TRUE(plat::ListenSocket(s, 5));
    plat::LocalAddress(s, nullptr, &port);
  }
  ~Listener() { plat::CloseSocket(s); }
};

TEST(Win32Dispatcher, SocketNotificationsForConnectAcceptReadAndClose) {
  ASSERT_TRUE(plat::NetStartup());
  Listener listener;
  MessageTarget target;
  SocketHandle accepted = plat::kInvalidSocket;
  std::vector<unsigned> serverEvents, clientEvents;
  int connectError = -1;
  std::string received;

  target.WatchSocket(listener.s, plat::kSocketAccept, [&](SocketHandle s, unsigned ev, int err) {
    serverEvents.push_back(ev);
    accepted = plat::AcceptSocket(s, nullptr, nullptr);
    target.WatchSocket(accepted, plat::kSocketRead | plat::kSocketClose,
                       [&](SocketHandle a, unsigned e, int) {
                         serverEvents.push_back(e);
                         char buf[64];
                         int n = plat::RecvSocket(a, buf, sizeof buf);
                         if (n > 0) received.append(buf, size_t(n));
                       });
  });
  SocketHandle client = plat::TcpSocket();
  target.WatchSocket(client, plat::kSocketConnect | plat::kSocketWrite,
                     [&](SocketHandle, unsigned ev, int err) {
                       clientEvents.push_back(ev);
                       if (ev == plat::kSocketConnect) connectError = err;
                     });
  EXPECT_FALSE(plat::ConnectSocket(client, 0x7F000001, listener.port));
  EXPECT_EQ(plat::LastNetError(), plat::kWsaEWOULDBLOCK);
  EXPECT_TRUE(testutil::PumpUntil([&] { return connectError >= 0 && accepted != plat::kInvalidSocket; }));
  EXPECT_EQ(connectError, 0);
  EXPECT_EQ(serverEvents.front(), unsigned(plat::kSocketAccept));

  target.UnwatchSocket(client);
  ASSERT_TRUE(plat::SetNonBlocking(client, false));
  EXPECT_EQ(plat::SendSocket(client, "hello", 5), 5);
  EXPECT_TRUE(testutil::PumpUntil([&] { return received == "hello"; }));
  plat::CloseSocket(client);
  EXPECT_TRUE(testutil::PumpUntil([&] { return serverEvents.back() == plat::kSocketClose; }));
  target.UnwatchSocket(accepted);
  plat::CloseSocket(accepted);
}

TEST(Win32Dispatcher, RefusedConnectReportsTheErrorNumber) {
  ASSERT_TRUE(plat::NetStartup());
  uint16_t port;
  {
    Listener gone;  // a port that was free a moment ago and now has no listener
    port = gone.port;
  }
  MessageTarget target;
  SocketHandle client = plat::TcpSocket();
  unsigned event = 0;
  int error = 0;
  target.WatchSocket(client, plat::kSocketConnect, [&](SocketHandle, unsigned ev, int err) {
    event = ev;
    error = err;
  });
  plat::ConnectSocket(client, 0x7F000001, port);
  EXPECT_TRUE(testutil::PumpUntil([&] { return event != 0; }, 10000));
  EXPECT_EQ(event, unsigned(plat::kSocketConnect));
  EXPECT_EQ(error, plat::kWsaECONNREFUSED);
  target.UnwatchSocket(client);
  plat::CloseSocket(client);
}

// ---------------------------------------------------------------- net

TEST(Win32Net, AddressRulesAndLookups) {
  ASSERT_TRUE(plat::NetStartup());
  SocketHandle s = plat::TcpSocket();
  EXPECT_FALSE(plat::ConnectSocket(s, 0, 80));
  EXPECT_EQ(plat::LastNetError(), plat::kWsaEADDRNOTAVAIL);
  plat::CloseSocket(s);

  uint32_t a = 0;
  int err = 0;
  EXPECT_TRUE(plat::ResolveHost("2130706433", &a, &err));
  EXPECT_EQ(a, 0x7F000001u);
  EXPECT_FALSE(plat::ResolveHost("4294967296", &a, &err));
  EXPECT_EQ(err, plat::kWsaHOST_NOT_FOUND);
  EXPECT_TRUE(plat::ResolveHost("10.1.2.3", &a, &err));
  EXPECT_EQ(a, 0x0A010203u);
  EXPECT_TRUE(plat::ResolveHost("localhost", &a, &err));
  EXPECT_EQ(a >> 24, 127u);
  EXPECT_FALSE(plat::ResolveHost("", &a, &err));
  EXPECT_FALSE(plat::TextToAddress("1.2.3", &a));
  EXPECT_FALSE(plat::TextToAddress("1.2.3.256", &a));
  EXPECT_EQ(plat::AddressToText(0xC0A80001), "192.168.0.1");
}

TEST(Win32Net, WaiterSeesDataWakesAndLeavesTheSocketBlocking) {
  ASSERT_TRUE(plat::NetStartup());
  Listener listener;
  SocketHandle client = plat::TcpSocket();
  ASSERT_TRUE(plat::SetNonBlocking(client, true));
  plat::ConnectSocket(client, 0x7F000001, listener.port);
  plat::SocketWaiter waiter;
  ASSERT_TRUE(waiter.Valid());
  EXPECT_EQ(waiter.Wait(client, plat::kWaitWrite, 5000), plat::WaitResult::kReady);
  EXPECT_EQ(plat::SocketError(client), 0);
  SocketHandle server = plat::AcceptSocket(listener.s, nullptr, nullptr);
  ASSERT_NE(server, plat::kInvalidSocket);

  EXPECT_EQ(waiter.Wait(client, plat::kWaitRead, 50), plat::WaitResult::kTimeout);
  EXPECT_EQ(waiter.Wait(client, plat::kWaitWrite, 1000), plat::WaitResult::kReady);

  std::thread waker([&] {
    Sleep(50);
    waiter.Wake();
  });
  EXPECT_EQ(waiter.Wait(client, plat::kWaitRead, 10000), plat::WaitResult::kWoken);
  waker.join();
  EXPECT_EQ(waiter.Wait(client, plat::kWaitRead, 10), plat::WaitResult::kWoken);  // stays
  waiter.Clear();

  std::thread sender([&] {
    Sleep(100);
    plat::SendSocket(server, "xy", 2);
  });
  EXPECT_EQ(waiter.Wait(client, plat::kWaitRead, 10000), plat::WaitResult::kReady);
  sender.join();
  char buf[8];
  EXPECT_EQ(plat::RecvSocket(client, buf, sizeof buf), 2);

  // Blocking again after the wait: this receive waits for the late data
  // instead of failing with "would block".
  std::thread late([&] {
    Sleep(100);
    plat::SendSocket(server, "z", 1);
  });
  EXPECT_EQ(plat::RecvSocket(client, buf, sizeof buf), 1);
  late.join();
  plat::CloseSocket(server);
  plat::CloseSocket(client);
}

TEST(Win32Net, IcmpLibraryLoads) {
  // Whether echoes get through depends on the machine; the library must
  // load and a request must come back within its time-out.
  EXPECT_TRUE(plat::IcmpAvailable());
  int r = plat::IcmpEcho(0x7F000001, 1000, 32);
  EXPECT_GE(r, -2);
}

// --------------------------------------------------------------- files

std::string Folder(const char* tag) { return testutil::TempFolder(tag); }

void WriteText(const std::string& path, const std::string& text) {
  plat::FileStream f(path, plat::FileStream::kCreate);
  f.WriteBuffer(text.data(), int64_t(text.size()));
}

TEST(Win32Files, SearchReportsAttributesSizesAndLocalTimes) {
  std::string dir = Folder("win32search");
  WriteText(dir + "Song.MP3", "12345");
  WriteText(dir + "hidden.txt", "");
  SetFileAttributesA((dir + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(plat::CreateDir(dir + "sub"));

  plat::FileSearch search;
  plat::FileEntry e;
  std::vector<plat::FileEntry> all;
  for (bool ok = search.First(dir, "*.*", e); ok; ok = search.Next(e)) all.push_back(e);
  search.Close();
  auto find = [&](const std::string& n) -> const plat::FileEntry* {
    for (auto& x : all)
      if (x.name == n) return &x;
    return nullptr;
  };
  ASSERT_NE(find("."), nullptr);
  ASSERT_NE(find("Song.MP3"), nullptr);
  EXPECT_EQ(find("Song.MP3")->size, 5);
  EXPECT_FALSE(find("Song.MP3")->attr & plat::kAttrDirectory);
  EXPECT_TRUE(find("hidden.txt")->attr & plat::kAttrHidden);
  EXPECT_TRUE(find("sub")->attr & plat::kAttrDirectory);
  EXPECT_EQ(find("sub")->size, 0);

  SYSTEMTIME st;
  GetLocalTime(&st);
  double now = plat::EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  EXPECT_NEAR(find("Song.MP3")->modified, now, 5.0 / 86400);

  EXPECT_TRUE(search.First(dir, "*.mp3", e));  // masks ignore case
  EXPECT_EQ(e.name, "Song.MP3");
  EXPECT_FALSE(search.First(dir + "missing", "*.*", e));

  plat::FileEntry info;
  ASSERT_TRUE(plat::GetFileInfo(dir + "Song.MP3", info));
  EXPECT_EQ(info.name, "Song.MP3");
  EXPECT_EQ(info.size, 5);
  EXPECT_EQ(plat::FileSize(dir + "nothing"), -1);
}

TEST(Win32Files, ReadStreamsShareWithWritersAndRenameReplaces) {
  std::string dir = Folder("win32share");
  std::string path = dir + "a.bin";
  WriteText(path, "abcdef");
  {
    plat::FileStream reader(path, plat::FileStream::kOpenRead);
    // Another program may still write the file meanwhile.
    HANDLE other = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    SetFilePointer(other, 0, nullptr, FILE_END);
    WriteFile(other, "gh", 2, &put, nullptr);
    CloseHandle(other);
    char buf[16] = {};
    EXPECT_EQ(reader.Read(buf, sizeof buf), 8);
    EXPECT_EQ(std::string(buf, 8), "abcdefgh");
    EXPECT_EQ(reader.Size(), 8);
  }
  {
    plat::FileStream rw(path, plat::FileStream::kOpenReadWrite);
    rw.Seek(2, plat::Stream::kBegin);
    rw.SetSize(4);
    EXPECT_EQ(rw.Size(), 4);
    EXPECT_EQ(rw.Position(), 2);
    rw.Seek(10, plat::Stream::kBegin);
    rw.SetSize(3);
    EXPECT_EQ(rw.Position(), 3);
  }
  try {
    plat::FileStream missing(dir + "none.bin", plat::FileStream::kOpenRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const plat::EStreamError& e) {
    EXPECT_NE(std::string(e.what()).find("none.bin\". "), std::string::npos) << e.what();
  }
  EXPECT_EQ(plat::FileSize(dir), -1);  // a folder has no file size

  WriteText(dir + "b.bin", "new");
  EXPECT_TRUE(plat::RenameFile(dir + "b.bin", path));  // over an existing file
  EXPECT_EQ(plat::FileSize(path), 3);
  EXPECT_FALSE(plat::FileExists(dir + "b.bin"));
  EXPECT_TRUE(plat::DeleteFile(path));
  EXPECT_FALSE(plat::FileExists(path));

  EXPECT_TRUE(plat::ForceDirectories(dir + "x\\y\\z\\"));
  EXPECT_TRUE(plat::DirectoryExists(dir + "x\\y\\z"));
  EXPECT_FALSE(plat::FileExists(dir + "x"));
}

TEST(Win32Files, FolderWatcherSeesNamesComeAndGo) {
  std::string dir = Folder("win32watch");
  plat::FolderWatcher watcher;
  auto h = watcher.Add(dir);
  EXPECT_FALSE(watcher.Changed(h, 20));
  WriteText(dir + "new.txt", "x");
  EXPECT_TRUE(watcher.Changed(h, 3000));
  // Later calls report only later changes.
  while (watcher.Changed(h, 200)) {
  }
  EXPECT_FALSE(watcher.Changed(h, 20));
  ASSERT_TRUE(plat::DeleteFile(dir + "new.txt"));
  EXPECT_TRUE(watcher.Changed(h, 3000));

  auto bad = watcher.Add(dir + "does-not-exist");
  EXPECT_TRUE(watcher.Changed(bad, 0));
  EXPECT_TRUE(watcher.Changed(bad, 0));
  watcher.Remove(h);
  EXPECT_FALSE(watcher.Changed(h, 0));
}

TEST(Win32Files, FixedDrivesAndTheirOverride) {
  std::vector<std::string> roots = plat::os::FixedDriveRootsRaw();
  ASSERT_FALSE(roots.empty());
  bool hasC = false;
  for (auto& r : roots) {
    EXPECT_EQ(r.size(), 3u);
    EXPECT_EQ(r.substr(1), ":\\");
    hasC = hasC || r == "C:\\";
  }
  EXPECT_TRUE(hasC);
  plat::SetFixedDriveRootsForTesting({"C:\\shares\\"});
  EXPECT_EQ(plat::FixedDriveRoots(), std::vector<std::string>{"C:\\shares\\"});
}

// ---------------------------------------------------------------- system

TEST(Win32System, GuidsProgramPathAndLibraries) {
  std::string g = plat::NewGuidText();
  EXPECT_TRUE(std::regex_match(g, std::regex("\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}"))) << g;
  EXPECT_NE(g, plat::NewGuidText());

  std::string exe = plat::ExecutablePath();
  EXPECT_TRUE(plat::FileExists(exe)) << exe;
  std::string folder = plat::ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(exe.compare(0, folder.size(), folder), 0);

  void* k = plat::LoadLib("kernel32.dll");
  ASSERT_NE(k, nullptr);
  EXPECT_NE(plat::LibSymbol(k, "GetTickCount"), nullptr);
  EXPECT_EQ(plat::LibSymbol(k, "NoSuchEntryPoint"), nullptr);
  plat::FreeLib(k);
  EXPECT_EQ(plat::LoadLib("no-such-library-here.dll"), nullptr);
}

}  // namespace
#endif  // _WIN32
