// start_watch: starts the program and watches its start the way a user
// does, through the main window's status bar, timed by this process's
// clock (for the start-up benchmark under Wine):
//
//   start_watch.exe PROGRAM.exe "TEXT" [SECONDS]
//
// prints "STATUS <ms> <text>" each time the status text changes, and once
// it reads TEXT, "DONE <ms> RESIDENT=<bytes>" (the program's working set at
// that moment); then it ends the program. Exit status 1 when TEXT did not
// show within SECONDS (120 by default) or the program ended first.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// The main window of the process once it has its status bar.
struct Found {
  DWORD pid;
  HWND status;
};

BOOL CALLBACK FindStatusBar(HWND h, LPARAM lp) {
  char cls[64] = {};
  GetClassNameA(h, cls, sizeof cls);
  if (std::string(cls) != STATUSCLASSNAMEA) return TRUE;
  reinterpret_cast<Found*>(lp)->status = h;
  return FALSE;
}

BOOL CALLBACK FindMainWindow(HWND h, LPARAM lp) {
  auto* f = reinterpret_cast<Found*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  char cls[64] = {};
  GetClassNameA(h, cls, sizeof cls);
  if (pid != f->pid || std::string(cls) != "TMainForm") return TRUE;
  EnumChildWindows(h, FindStatusBar, lp);
  return f->status == nullptr;
}

// The text of the status bar's part 1 (what just happened), read into a
// buffer in the program's own memory. Empty while the program is busy.
std::string PartText(HWND status, HANDLE process, void* remote, size_t size) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(status, SB_GETTEXTLENGTHA, 1, 0, SMTO_ABORTIFHUNG, 50, &result)) return "";
  const size_t length = LOWORD(result);
  if (length + 1 > size ||
      !SendMessageTimeoutA(status, SB_GETTEXTA, 1, LPARAM(remote), SMTO_ABORTIFHUNG, 50, &result))
    return "";
  std::string text(length, '\0');
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, remote, text.data(), length, &read)) return "";
  text.resize(read);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: start_watch PROGRAM.exe \"TEXT\" [SECONDS]\n");
    return 2;
  }
  const std::string exe = argv[1], wanted = argv[2];
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 120;

  // A start measured on a quiet desktop: the desktop and the notification
  // area answer first (the icon of a program ended just before takes them a
  // while to withdraw).
  for (HWND busy : {GetDesktopWindow(), FindWindowA("Shell_TrayWnd", nullptr)}) {
    DWORD_PTR ignored = 0;
    if (busy) SendMessageTimeoutA(busy, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exe + "\"";
  const Clock::time_point start = Clock::now();
  if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("ERROR cannot start %s\n", exe.c_str());
    return 1;
  }
  auto ms = [start] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
  constexpr size_t kBuffer = 4096;
  void* remote = nullptr;
  HWND status = nullptr;
  std::string last;
  int code = 1;
  while (ms() < seconds * 1000.0 && WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) {
    if (!status) {
      Found f{pi.dwProcessId, nullptr};
      EnumWindows(FindMainWindow, LPARAM(&f));
      if (!(status = f.status)) continue;
      remote = VirtualAllocEx(pi.hProcess, nullptr, kBuffer, MEM_COMMIT, PAGE_READWRITE);
      if (!remote) break;
    }
    const std::string text = PartText(status, pi.hProcess, remote, kBuffer);
    if (text.empty() || text == last) continue;
    last = text;
    std::printf("STATUS %.0f %s\n", ms(), text.c_str());
    std::fflush(stdout);
    if (text != wanted) continue;
    const double done = ms();
    PROCESS_MEMORY_COUNTERS pmc{};
    GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc);
    std::printf("DONE %.0f RESIDENT=%lu\n", done, static_cast<unsigned long>(pmc.WorkingSetSize));
    code = 0;
    break;
  }
  if (code != 0) std::printf("TIMEOUT %s\n", last.c_str());
  std::fflush(stdout);
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}
