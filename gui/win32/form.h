// A top-level window with a registered class name of its own and
// overridable message handling.
#pragma once
#include <windows.h>

#include <string>

namespace gui {

class Form {
 public:
  // Registers className (once) and creates the window, hidden.
  Form(const std::string& className, const std::string& caption, int width, int height);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  HWND Handle() const { return hwnd_; }
  void Show();                // shows, restores when minimised, brings to front
  void Hide();
  bool Visible() const;
  void Close();               // asks the window to close (WM_CLOSE)

 protected:
  // Handles one message; the default handles closing and destruction.
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK StaticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

}  // namespace gui
