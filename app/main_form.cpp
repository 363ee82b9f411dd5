#include "app/main_form.h"

TMainForm::TMainForm() : gui::Form(kMainFormClass, "Tarnwick", 800, 600) {}

LRESULT TMainForm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TARNWICK_WAKE) {
    Show();
    return 0;
  }
  return gui::Form::WndProc(msg, wp, lp);
}
