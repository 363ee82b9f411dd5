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

// The registry value that tells the program its setup is complete.
constexpr const char* kProgramKey = "Software\\Tarnwick_26";
void SetSetupComplete(bool done) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  if (done)
    RegSetValueExA(k, "SetupComplete18", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  else
    RegDeleteValueA(k, "SetupComplete18");
  RegCloseKey(k);
}
bool SetupComplete() {
  char v[16];
  DWORD size = sizeof v;
  return RegGetValueA(HKEY_CURRENT_USER, kProgramKey, "SetupComplete18", RRF_RT_REG_SZ, nullptr, v, &size) ==
         ERROR_SUCCESS;
}

// A control of a window (at any depth) by its text.
struct FindChild {
  const char* text;
  HWND found;
};
BOOL CALLBACK MatchChild(HWND h, LPARAM lp) {
  auto* f = reinterpret_cast<FindChild*>(lp);
  char buf[128] = {};
  GetWindowTextA(h, buf, sizeof buf);
  if (std::string(buf) != f->text) return TRUE;
  f->found = h;
  return FALSE;
}
HWND Child(HWND parent, const char* text) {
  FindChild f{text, nullptr};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

// Alt+F opens File (the loop translates the key into its character), X
// (once the menu is down) chooses Exit.
void ChooseExit(HWND main) {
  PostMessageA(main, WM_SYSKEYDOWN, 'F', 1 << 29);
  PostMessageA(main, WM_KEYUP, 'F', 0);
  ASSERT_TRUE(WaitForMenu(20000)) << "File did not open";
  PostMessageA(main, WM_CHAR, 'x', 0);
}

TEST(SingleInstance, SecondStartWakesTheFirstAndEnds) {
  const char* exeEnv = std::getenv("TARN_APP_EXE");
  ASSERT_NE(exeEnv, nullptr);
  std::string exe = WindowsPath(exeEnv);
  SetSetupComplete(true);

  Process first;
  ASSERT_TRUE(first.Start(exe));
  HWND main = WaitForWindow(20000);
  ASSERT_NE(main, nullptr) << "the main window never appeared";

  // Hidden once the program has finished starting (waits for its first
  // input): its start-up shows the window itself and would show it again.
  ASSERT_EQ(WaitForInputIdle(first.pi.hProcess, 20000), 0u);
  ShowWindow(main, SW_HIDE);
  for (int i = 0; i < 200 && IsWindowVisible(main); ++i) Sleep(100);
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
  SetSetupComplete(true);
  Process app;
  ASSERT_TRUE(app.Start(WindowsPath(exeEnv)));
  HWND main = WaitForWindow(20000);
  ASSERT_NE(main, nullptr) << "the main window never appeared";

  EXPECT_NE(GetMenu(main), nullptr) << "no menu bar";
  ChooseExit(main);
  ASSERT_TRUE(app.WaitExit(20000)) << "Exit did not end the program";
  DWORD code = 1;
  GetExitCodeProcess(app.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

// A first start: the setup wizard comes before the main window; its Cancel
// ends the program, its Finish marks the setup complete and the main window
// follows.
TEST(FirstStart, TheWizardComesFirstItsCancelEndsTheProgramAndItsFinishOpensTheMainWindow) {
  const char* exeEnv = std::getenv("TARN_APP_EXE");
  ASSERT_NE(exeEnv, nullptr);
  SetSetupComplete(false);
  {
    Process app;
    ASSERT_TRUE(app.Start(WindowsPath(exeEnv)));
    HWND wizard = WaitForShown("TRegisterWizardForm", 20000);
    ASSERT_NE(wizard, nullptr) << "no setup wizard";
    EXPECT_EQ(FindWindowA("TMainForm", nullptr), nullptr);
    HWND cancel = Child(wizard, "Cancel");
    ASSERT_NE(cancel, nullptr);
    SendMessageA(cancel, BM_CLICK, 0, 0);
    ASSERT_TRUE(app.WaitExit(20000)) << "Cancel did not end the program";
    EXPECT_FALSE(SetupComplete());
  }
  Process app;
  ASSERT_TRUE(app.Start(WindowsPath(exeEnv)));
  HWND wizard = WaitForShown("TRegisterWizardForm", 20000);
  ASSERT_NE(wizard, nullptr);
  SendMessageA(Child(wizard, "I &accept these terms"), BM_CLICK, 0, 0);
  for (int page = 0; page < 4; ++page) {
    HWND next = Child(wizard, "&Next >");
    ASSERT_NE(next, nullptr) << "page " << page;
    SendMessageA(next, BM_CLICK, 0, 0);
  }
  HWND finish = Child(wizard, "&Finish");
  ASSERT_NE(finish, nullptr);
  SendMessageA(finish, BM_CLICK, 0, 0);
  HWND main = WaitForWindow(20000);
  ASSERT_NE(main, nullptr) << "no main window after the wizard";
  EXPECT_TRUE(SetupComplete());
  ChooseExit(main);
  ASSERT_TRUE(app.WaitExit(20000));
}

}  // namespace
