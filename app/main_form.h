// The program's main window: a menu bar (File, Exit) drawn flat by the
// menu skin, a client area and a status bar laid out by alignment. A second start of the program wakes it.
#pragma once
#include "controls/menu_skin.h"
#include "gui/form.h"
#include "gui/menu.h"
#include "gui/win32/std_controls.h"

// Posted by a second start of the program to wake the running one.
constexpr unsigned WM_TARNWICK_WAKE = 0x0400 + 100;  // WM_USER + 100
constexpr const char* kMainFormClass = "TMainForm";

class TMainForm : public gui::Form {
 public:
  TMainForm();

 protected:
  void WndProc(gui::Message& m) override;

 private:
  gui::MainMenu* menu_;
  TMenuSkin* menuSkin_;
  gui::Panel* client_;
  gui::StatusBar* status_;
};
