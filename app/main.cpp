// Program start: one instance only (a second start wakes the first); the
// settings and the language texts loaded from the program folder; the main
// window and the message loop; the settings saved and the plug-ins
// unloaded after the loop.
#include <windows.h>

#include "gui/win_names.h"

#include "app/main_form.h"
#include "app/program_files.h"
#include "app/register_wizard_form.h"
#include "gui/application.h"
#include "platform/dispatcher.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!gui::Application::ClaimSingleInstance("TARNWICK_32_EXE", kMainFormClass, WM_TARNWICK_WAKE))
    return 0;
  plat::MainLoop::Init();
  gui::Application& app = gui::App();
  app.Initialize();
  const std::string folder = app.ProgramFolder();
  LoadProgramFiles(folder);
  // A first start walks the user through the setup; its Cancel ends here.
  if (!RunSetupWizardIfNeeded(folder)) return 0;
  int code = 0;
  {
    TMainForm form;
    app.SetMainForm(&form);
    form.ShowAndActivate();
    code = app.Run();
  }
  SaveProgramFiles(folder);
  return code;
}
