#include "gui/win32/application.h"

#include <windows.h>

#include "gui/win32/form.h"

namespace gui {

Form* Application::main_ = nullptr;

bool Application::ClaimSingleInstance(const std::string& mutexName,
                                      const std::string& windowClass,
                                      unsigned wakeMessage) {
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

int Application::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return int(msg.wParam);
}

void Application::Terminate() { PostQuitMessage(0); }

}  // namespace gui
