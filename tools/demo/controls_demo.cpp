// controls_demo: the custom controls together in one window titled
// "Tarnwick controls" (the button bar, the side bar of service buttons and
// the rate graph, in the system's colours), for a picture:
//
//   tools/window_shot.sh out/win32/tools/controls_demo.exe "Tarnwick controls" controls.png
//
// It runs until its window is closed.
#include <windows.h>

#include <filesystem>
#include <string>

#include "gui/application.h"
#include "platform/dispatcher.h"
#include "tools/controls_showcase.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  plat::MainLoop::Init();
  gui::Application& app = gui::App();
  app.Initialize();
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tarnwick-controls-" + std::to_string(GetCurrentProcessId()));
  std::error_code ec;
  fs::create_directories(dir, ec);
  int code = 0;
  {
    TControlsShowcase showcase(dir.string() + "\\");
    showcase.form.SetCaption("Tarnwick controls");
    app.SetMainForm(&showcase.form);
    showcase.form.ShowAndActivate();
    code = app.Run();
  }
  fs::remove_all(dir, ec);
  return code;
}
