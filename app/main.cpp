// Program start: one instance only; a second start wakes the first.
#include <windows.h>

#include "app/main_form.h"
#include "gui/win32/application.h"
#include "platform/dispatcher.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!gui::Application::ClaimSingleInstance("TARNWICK_32_EXE", kMainFormClass,
                                             WM_TARNWICK_WAKE))
    return 0;
  plat::MainLoop::Init();
  TMainForm form;
  gui::Application::SetMainForm(&form);
  form.Show();
  return gui::Application::Run();
}
