// The application object's part that talks to the window system: the
// single-instance mutex, the message loop with its key preview, modal
// window disabling, message boxes and the start-up services.
#include <windows.h>
#include <commctrl.h>

#include "gui/win_names.h"

#include "gui/application.h"
#include "gui/win32/gdi_canvas.h"
#include "gui/win32/gdi_objects.h"
#include "gui/win32/win32_system.h"
#include "platform/dispatcher.h"
#include "platform/files.h"

namespace gui {

namespace {

// Key presses meet the hooks, the menu shortcuts and the dialog keys
// before their window; everything else goes to its window.
void Deliver(Application& app, const MSG& msg) {
  if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
    ShiftState s = KeyboardShiftState();
    if (msg.lParam & (1 << 29)) s |= ssAlt;
    bool taken = false;
    try {
      taken = app.PreviewKey(reinterpret_cast<uintptr_t>(msg.hwnd), uint16_t(msg.wParam), s);
    } catch (...) {
      ReportCurrentException(Control::FromHandle(reinterpret_cast<uintptr_t>(msg.hwnd)));
      taken = true;
    }
    if (taken) return;
  }
  if (msg.message == WM_MOUSEMOVE) app.MouseOver(reinterpret_cast<uintptr_t>(msg.hwnd));
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

}  // namespace

bool Application::ClaimSingleInstance(const std::string& mutexName,
                                      const std::string& windowClass, unsigned wakeMessage) {
  // The mutex lives as long as the process: the handle is never closed.
  HANDLE m = CreateMutexA(nullptr, FALSE, mutexName.c_str());
  if (m && GetLastError() == ERROR_ALREADY_EXISTS) {
    // The other instance may still be creating its window: look a while.
    for (int i = 0; i < 50; ++i) {
      HWND other = FindWindowA(windowClass.c_str(), nullptr);
      if (other) {
        PostMessageA(other, wakeMessage, 0, 0);
        break;
      }
      Sleep(100);
    }
    CloseHandle(m);
    return false;
  }
  return true;
}

void Application::Initialize() {
  static GdiGraphicsBackend graphics;
  static GdiTextMeasurer measurer;
  static Win32SystemColors colors;
  Service<GraphicsBackend>::Set(&graphics);
  Service<TextMeasurer>::Set(&measurer);
  Service<SystemColorTable>::Set(&colors);
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
              ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&icc);
  SetExceptionReporter([](const std::string& what, Control* where) { App().ShowException(what, where); });
}

void Application::HandleMessage() {
  MSG msg;
  if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
    terminated_ = true;
    exitCode_ = int(msg.wParam);
    return;
  }
  Deliver(*this, msg);
  ReleasePending();
}

void Application::ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      exitCode_ = int(msg.wParam);
      break;
    }
    Deliver(*this, msg);
  }
  ReleasePending();
  plat::MainLoop::ProcessMessages();  // the calls queued for the main thread
}

void Application::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  PostQuitMessage(0);
}

int Application::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::string title = caption;
  if (title.empty()) {
    title = plat::ExtractFileName(ExeName());
    title.resize(title.size() - plat::ExtractFileExt(title).size());
  }
  return MessageBoxA(reinterpret_cast<HWND>(MainHandle()), text.c_str(), title.c_str(), flags);
}

namespace {

struct DisableCtx {
  HWND keep;
  std::vector<uintptr_t> out;
};

BOOL CALLBACK DisableOne(HWND w, LPARAM p) {
  auto* c = reinterpret_cast<DisableCtx*>(p);
  if (w != c->keep && IsWindowVisible(w) && IsWindowEnabled(w)) {
    EnableWindow(w, FALSE);
    c->out.push_back(reinterpret_cast<uintptr_t>(w));
  }
  return TRUE;
}

}  // namespace

std::vector<uintptr_t> Application::DisableWindowsExcept(uintptr_t keep) {
  DisableCtx ctx{reinterpret_cast<HWND>(keep), {}};
  EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&ctx));
  return ctx.out;
}

void Application::EnableWindows(const std::vector<uintptr_t>& windows) {
  for (uintptr_t w : windows)
    if (IsWindow(reinterpret_cast<HWND>(w))) EnableWindow(reinterpret_cast<HWND>(w), TRUE);
}

}  // namespace gui
