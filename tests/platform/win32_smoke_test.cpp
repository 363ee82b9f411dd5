// What the Win32 side of the platform layer adds to the portable promises
// (tested for both systems in the other files): the hidden window's loop
// serving GUI windows and the program's own GetMessage loop, timers set
// from workers, the system's file attributes and sharing, socket waits that
// leave sockets blocking, the drive list and the run-time loaded ICMP
// library.
#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

// ---------------------------------------------------------------- net

// The event selection of a wait switches the socket to non-blocking mode;
// the waiter must switch it back, or the next blocking call fails.
TEST(Win32Net, WaitsLeaveTheSocketBlocking) {
  ASSERT_TRUE(plat::NetStartup());
  SocketHandle listener = plat::TcpSocket();
  uint16_t port = 0;
  ASSERT_TRUE(plat::BindSocket(listener, 0x7F000001, 0));
  ASSERT_TRUE(plat::ListenSocket(listener, 5));
  plat::LocalAddress(listener, nullptr, &port);

  SocketHandle client = plat::TcpSocket();
  ASSERT_TRUE(plat::SetNonBlocking(client, true));
  EXPECT_FALSE(plat::ConnectSocket(client, 0x7F000001, port));
  plat::SocketWaiter waiter;
  EXPECT_EQ(waiter.Wait(client, plat::kWaitWrite, 5000), plat::WaitResult::kReady);
  EXPECT_EQ(plat::SocketError(client), 0);
  SocketHandle server = plat::AcceptSocket(listener, nullptr, nullptr);
  ASSERT_NE(server, plat::kInvalidSocket);

  std::thread sender([&] {
    Sleep(100);
    plat::SendSocket(server, "xy", 2);
    Sleep(100);
    plat::SendSocket(server, "z", 1);
  });
  EXPECT_EQ(waiter.Wait(client, plat::kWaitRead, 10000), plat::WaitResult::kReady);
  char buf[8];
  EXPECT_EQ(plat::RecvSocket(client, buf, sizeof buf), 2);
  // Waits for the late byte instead of failing with "would block".
  EXPECT_EQ(plat::RecvSocket(client, buf, sizeof buf), 1);
  sender.join();
  for (SocketHandle s : {server, client, listener}) plat::CloseSocket(s);
}

TEST(Win32Net, IcmpLibraryLoads) {
  // icmp.dll is part of every Windows the program runs on: when it does not
  // load, the entry points are looked up wrongly.
  EXPECT_TRUE(plat::IcmpAvailable());
}

// --------------------------------------------------------------- files

TEST(Win32Files, SearchMapsTheSystemsAttributesAndLocalTime) {
  std::string dir = testutil::TempFolder("win32search");
  for (const char* name : {"hidden.txt", "locked.txt"}) {
    plat::FileStream f(dir + name, plat::FileStream::kCreate);
  }
  SetFileAttributesA((dir + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesA((dir + "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);

  plat::FileSearch search;
  plat::FileEntry e;
  ASSERT_TRUE(search.First(dir, "hidden.txt", e));
  EXPECT_EQ(e.attr & (plat::kAttrHidden | plat::kAttrSystem), plat::kAttrHidden | plat::kAttrSystem);
  SYSTEMTIME st;
  GetLocalTime(&st);
  double now = plat::EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  EXPECT_NEAR(e.modified, now, 5.0 / 86400);  // local time, not UTC
  ASSERT_TRUE(search.First(dir, "LOCKED.TXT", e));
  EXPECT_TRUE(e.attr & plat::kAttrReadOnly);
  search.Close();
  SetFileAttributesA((dir + "locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Files, ReadStreamsLetOthersWriteMeanwhile) {
  std::string path = testutil::TempFolder("win32share") + "a.bin";
  {
    plat::FileStream f(path, plat::FileStream::kCreate);
    f.WriteBuffer("abcdef", 6);
  }
  plat::FileStream reader(path, plat::FileStream::kOpenRead);
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
}

TEST(Win32Files, FixedDrivesAreDriveRoots) {
  std::vector<std::string> roots = plat::os::FixedDriveRootsRaw();
  for (auto& r : roots) EXPECT_TRUE(r.size() == 3 && r.substr(1) == ":\\") << r;
  EXPECT_NE(std::find(roots.begin(), roots.end(), "C:\\"), roots.end());
}

// ---------------------------------------------------------------- system

TEST(Win32System, LibrariesAndTheirEntryPoints) {
  void* k = plat::LoadLib("kernel32.dll");
  ASSERT_NE(k, nullptr);
  EXPECT_NE(plat::LibSymbol(k, "GetTickCount"), nullptr);
  EXPECT_EQ(plat::LibSymbol(k, "NoSuchEntryPoint"), nullptr);
  plat::FreeLib(k);
}

}  // namespace
#endif  // _WIN32
