// Program start: one instance only; a second start wakes the first.
#include <windows.h>

#include "gui/win_names.h"

#include "app/main_form.h"
#include "gui/application.h"
#include "platform/dispatcher.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!gui::Application::ClaimSingleInstance("TARNWICK_32_EXE", kMainFormClass, WM_TARNWICK_WAKE))
    return 0;
  plat::MainLoop::Init();
  gui::Application& app = gui::App();
  app.Initialize();
  int code = 0;
  {
    TMainForm form;
    app.SetMainForm(&form);
    form.ShowAndActivate();
    code = app.Run();
  }
  return code;
}
