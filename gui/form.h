// Forms: the program's top-level windows, each of a registered window
// class of its own name. A form has a caption, a border style, a main menu
// (its menu bar), and a modal run that answers a modal result. Closing asks
// OnCloseQuery, then OnClose decides what happens: hide (the default),
// free, or nothing; closing the main form ends the program.
#pragma once
#include <functional>
#include <string>

#include "gui/control.h"
#include "gui/menu.h"

namespace gui {

enum ModalResult : int {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
};

enum class FormBorder { None, Single, Sizeable, Dialog, ToolWindow };
enum class CloseAction { None, Hide, Free, Minimize };

class Form : public Control {
 public:
  // className: the window class of this form's windows ("TMainForm"...).
  explicit Form(Component* owner = nullptr, std::string className = "TForm");
  ~Form() override;

  ControlKind Kind() const override { return ControlKind::Form; }
  const std::string& ClassName() const { return className_; }
  FormBorder BorderStyle() const { return border_; }
  void SetBorderStyle(FormBorder b);
  // The smallest client area the user may give a sizeable form by its
  // frame (0: no limit); the frame, caption and menu bar come on top.
  Size MinClientSize() const { return minClient_; }
  void SetMinClientSize(int width, int height) { minClient_ = Size{width, height}; }
  // Centred on the screen when first shown.
  bool CenterOnScreen() const { return center_; }
  void SetCenterOnScreen(bool c) { center_ = c; }

  MainMenu* Menu() const { return menu_; }
  void SetMenu(MainMenu* m);

  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  bool Modal() const { return modal_; }
  // Shows the form and runs the loop until ModalResult is set (a Cancel
  // when the program ends meanwhile); the other windows are inactive
  // meanwhile. Answers the result; the form is hidden again.
  int ShowModal();
  // Shows, restores a minimised form and brings it forward.
  void ShowAndActivate();
  // Asks to close (see above).
  void Close();
  bool CloseQuery();

  // The focused control of the form moves to the next (or previous) one in
  // tab order, wrapping around.
  void SelectNext(Control* current, bool forward);
  // The first focusable control in tab order (nullptr: none).
  Control* FirstTabControl();
  // A key press before it reaches the focused control c: main-menu
  // shortcuts and dialog keys. true when taken.
  bool PreviewKey(Control* c, uint16_t key, ShiftState shift);

  std::function<void(Component* sender, bool& canClose)> OnCloseQuery;
  std::function<void(Component* sender, CloseAction& action)> OnClose;
  std::function<void(Component* sender)> OnShow;
  std::function<void(Component* sender)> OnHide;

 protected:
  void CreateParams(WindowParams& p) override;
  void WndProc(Message& m) override;
  void VisibleChanged() override;
  void Notification(Component* c, Operation op) override;

 private:
  std::vector<Control*> TabSequence();
  std::string className_;
  FormBorder border_ = FormBorder::Sizeable;
  bool center_ = false;
  Size minClient_;
  MainMenu* menu_ = nullptr;
  int modalResult_ = mrNone;
  bool modal_ = false;
};

}  // namespace gui
