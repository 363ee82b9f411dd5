// The program runs once: a second start wakes the running window and ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string WindowsPath(std::string p) {
  if (!p.empty() && p[0] == '/') p = "Z:" + p;  // a Unix path seen through Wine's Z: drive
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

struct Process {
  PROCESS_INFORMATION pi{};
  bool Start(const std::string& exe) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + exe + "\"";
    return CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi) != 0;
  }
  bool WaitExit(DWORD ms) { return WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0; }
  void Kill() {
    if (pi.hProcess) {
      TerminateProcess(pi.hProcess, 0);
      WaitForSingleObject(pi.hProcess, 5000);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
      pi = {};
    }
  }
  ~Process() { Kill(); }
};

// A window of the class once it is shown (keys go to what a user sees).
HWND WaitForShown(const char* windowClass, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 100) {
    HWND h = FindWindowA(windowClass, nullptr);
    if (h && IsWindowVisible(h)) return h;
    Sleep(100);
  }
  return nullptr;
}

HWND WaitForWindow(DWORD ms) { return WaitForShown("TMainForm", ms); }
// A drop-down menu on the screen.
bool WaitForMenu(DWORD ms) { return WaitForShown("#32768", ms) != nullptr; }

TEST(SingleInstance, SecondStartWakesTheFirstAndEnds) {
  const char* exeEnv = std::getenv("TARN_APP_EXE");
  ASSERT_NE(exeEnv, nullptr);
  std::string exe = WindowsPath(exeEnv);

  Process first;
  ASSERT_TRUE(first.Start(exe));
  HWND main = WaitForWindow(20000);
  ASSERT_NE(main, nullptr) << "the main window never appeared";

  ShowWindow(main, SW_HIDE);
  for (int i = 0; i < 50 && IsWindowVisible(main); ++i) Sleep(100);
  ASSERT_FALSE(IsWindowVisible(main));

  Process second;
  ASSERT_TRUE(second.Start(exe));
  EXPECT_TRUE(second.WaitExit(20000)) << "the second instance kept running";
  DWORD code = 1;
  GetExitCodeProcess(second.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);

  bool shown = false;
  for (int i = 0; i < 100 && !(shown = IsWindowVisible(main)); ++i) Sleep(100);
  EXPECT_TRUE(shown) << "the running instance was not woken";
  EXPECT_FALSE(first.WaitExit(0)) << "the first instance ended";
}

}  // namespace

namespace {

TEST(MainWindow, FileExitOnTheMenuBarEndsTheProgramCleanly) {
  const char* exeEnv = std::getenv("TARN_APP_EXE");
  ASSERT_NE(exeEnv, nullptr);
  Process app;
  ASSERT_TRUE(app.Start(WindowsPath(exeEnv)));
  HWND main = WaitForWindow(20000);
  ASSERT_NE(main, nullptr) << "the main window never appeared";

  EXPECT_NE(GetMenu(main), nullptr) << "no menu bar";
  // Alt+F opens File (the loop translates the key into its character), X
  // (once the menu is down) chooses Exit.
  PostMessageA(main, WM_SYSKEYDOWN, 'F', 1 << 29);
  PostMessageA(main, WM_KEYUP, 'F', 0);
  ASSERT_TRUE(WaitForMenu(20000)) << "File did not open";
  PostMessageA(main, WM_CHAR, 'x', 0);
  ASSERT_TRUE(app.WaitExit(20000)) << "Exit did not end the program";
  DWORD code = 1;
  GetExitCodeProcess(app.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace
