// The application object without a window system: the loop is the main
// thread's loop of the platform layer; there is one instance, no window to
// disable and no message box (messages go to the error output).
#include "gui/application.h"
#include "platform/dispatcher.h"
#include "platform/system.h"

namespace gui {

bool Application::ClaimSingleInstance(const std::string&, const std::string&, unsigned) { return true; }

void Application::Initialize() {}

void Application::HandleMessage() {
  // One slice of the loop: what is pending now, or a short wait for more.
  plat::MainLoop::PumpUntil([] { return false; }, 10);
  ReleasePending();
}

void Application::ProcessMessages() {
  plat::MainLoop::ProcessMessages();
  ReleasePending();
}

void Application::Terminate() { terminated_ = true; }

int Application::MessageBox(const std::string& text, const std::string&, unsigned) {
  plat::ShowMessage(text);
  return 1;  // OK
}

std::vector<uintptr_t> Application::DisableWindowsExcept(uintptr_t) { return {}; }
void Application::EnableWindows(const std::vector<uintptr_t>&) {}

}  // namespace gui
