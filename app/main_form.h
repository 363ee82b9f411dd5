// The program's main window.
#pragma once
#include "gui/win32/form.h"

// Posted by a second start of the program to wake the running one.
constexpr UINT WM_TARNWICK_WAKE = WM_USER + 100;
constexpr const char* kMainFormClass = "TMainForm";

class TMainForm : public gui::Form {
 public:
  TMainForm();

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};
