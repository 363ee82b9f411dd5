// Thin wrappers of the window system's standard controls: each creates its
// system window class, keeps its state while it has no window, and turns
// the notifications its parent reflects to it into events.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <functional>
#include <string>
#include <vector>

#include "gui/control.h"

namespace gui {

// Notifications reflected from the parent (see gui/win32/win32_peer.h).
enum : unsigned {
  CN_COMMAND = CN_BASE + WM_COMMAND,
  CN_NOTIFY = CN_BASE + WM_NOTIFY,
  CN_DRAWITEM = CN_BASE + WM_DRAWITEM,
  CN_HSCROLL = CN_BASE + WM_HSCROLL,
  CN_VSCROLL = CN_BASE + WM_VSCROLL,
  CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT,
  CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX,
  CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN,
  CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC,
};

// Base of the wrappers: the system class, the control's font on the
// window, its colour behind the text, no click or capture of its own (the
// system control does that).
class StdControl : public Control {
 public:
  explicit StdControl(Component* owner, std::string systemClass, uint32_t style);
  HWND Hwnd() { return reinterpret_cast<HWND>(Handle()); }
  LRESULT SendMsg(UINT msg, WPARAM wp = 0, LPARAM lp = 0);

 protected:
  void CreateParams(WindowParams& p) override;
  void HandleCreated() override;
  void WndProc(Message& m) override;
  bool EraseBackground(Canvas& canvas) override { return false; }
  void FontChanged() override;
  // WM_COMMAND's notification code from the system control.
  virtual void Command(unsigned code) {}
  void SetStyleBit(uint32_t bit, bool on);
  uint32_t extraStyle_;

 private:
  std::string systemClass_;
  HBRUSH colorBrush_ = nullptr;
  gui::Color brushColor_ = clDefault;
};

class Button : public StdControl {
 public:
  explicit Button(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::Button; }
  // The default button takes Enter, the cancel button Escape.
  bool Default() const { return default_; }
  void SetDefault(bool d);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool c) { cancel_ = c; }
  // Pressing sets the form's modal result (mrNone: nothing).
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  void Click() override;

 protected:
  void WndProc(Message& m) override;
  void Command(unsigned code) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  int modalResult_ = 0;
};

class CheckBox : public StdControl {
 public:
  explicit CheckBox(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::CheckBox; }
  bool Checked();
  void SetChecked(bool c);

 protected:
  CheckBox(Component* owner, uint32_t style);
  void HandleCreated() override;
  void HandleDestroying() override;
  void Command(unsigned code) override;
  bool checked_ = false;
};

class RadioButton : public CheckBox {
 public:
  explicit RadioButton(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::RadioButton; }
};

class Label : public StdControl {
 public:
  explicit Label(Component* owner = nullptr);
};

class GroupBox : public StdControl {
 public:
  explicit GroupBox(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::GroupBox; }

 protected:
  void AdjustClientRect(Rect& r) override;
};

// A single-line edit. Setting the text puts the caret at its end.
class Edit : public StdControl {
 public:
  explicit Edit(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::Edit; }
  std::string GetText();
  void SetText(const std::string& s);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool r);
  void SetSel(int start, int end);
  void GetSel(int& start, int& end);
  std::function<void(Control* sender)> OnChange;

 protected:
  Edit(Component* owner, std::string cls, uint32_t style);
  void HandleCreated() override;
  void Command(unsigned code) override;
  int maxLength_ = 0;
  bool readOnly_ = false;
  bool settingText_ = false;
};

class Memo : public Edit {
 public:
  explicit Memo(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::Memo; }
};

// The rich edit of the common controls' second version, in plain-text
// mode (the grid's text editor).
class RichEdit : public Edit {
 public:
  explicit RichEdit(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::RichEdit; }
  // Whether the rich edit library could be loaded.
  static bool Available();

 protected:
  void HandleCreated() override;
};

// A drop-down list; the owner-drawn variant calls OnDrawItem for each item.
class ComboBox : public StdControl {
 public:
  ControlKind Kind() const override { return ControlKind::ComboBox; }
  explicit ComboBox(Component* owner = nullptr, bool ownerDraw = false);
  void AddItem(const std::string& s);
  void ClearItems();
  int Count() const { return int(items_.size()); }
  const std::string& Item(int i) const { return items_[size_t(i)]; }
  int ItemIndex();
  void SetItemIndex(int i);
  // Height of each item of the owner-drawn variant.
  void SetItemHeight(int h);
  std::function<void(Control* sender)> OnChange;
  std::function<void(Control* sender, int index, Canvas& canvas, const Rect& rect, unsigned state)>
      OnDrawItem;

 protected:
  void HandleCreated() override;
  void HandleDestroying() override;
  void WndProc(Message& m) override;
  void Command(unsigned code) override;

 private:
  bool ownerDraw_;
  std::vector<std::string> items_;
  int index_ = -1;
  int itemHeight_ = 16;
};

// A list view in report mode: columns with a header, rows of texts, the
// rows sorted by a comparison of ours (a stable merge sort).
class ListView : public StdControl {
 public:
  explicit ListView(Component* owner = nullptr);
  void AddColumn(const std::string& caption, int width);
  int ColumnCount() const { return int(columns_.size()); }
  // A row of texts (the first is the item, the others its sub-items).
  int AddRow(const std::vector<std::string>& texts, intptr_t data = 0);
  void ClearRows();
  int RowCount() const { return int(rows_.size()); }
  const std::string& Text(int row, int column) const;
  // How many texts the row has (the item and its sub-items).
  int TextCount(int row) const { return int(rows_[size_t(row)].texts.size()); }
  intptr_t Data(int row) const { return rows_[size_t(row)].data; }
  int Selected();
  // Selects and focuses the row (-1: none); chosen before the window is
  // made, it is selected when it is.
  void SetSelected(int row);
  // Replaces one text of a row in place.
  void SetText(int row, int column, const std::string& text);
  void DeleteRow(int row);
  // Sorts the rows by compare (negative: a before b); equal rows keep
  // their order.
  void Sort(const std::function<int(int a, int b)>& compare);
  std::function<void(Control* sender, int column)> OnColumnClick;
  // Another row became the selected one (-1: none is now). OnDblClick
  // fires for the list's double click, once it has chosen the row.
  std::function<void(Control* sender, int row)> OnSelect;

 protected:
  void HandleCreated() override;
  void WndProc(Message& m) override;

 private:
  struct Row {
    std::vector<std::string> texts;
    intptr_t data;
  };
  // Shows the rows from this one on.
  void Fill(int from = 0);
  std::vector<std::pair<std::string, int>> columns_;
  std::vector<Row> rows_;
  int selected_ = -1;  // while there is no window
};

// A plain container with a bevel and a centred caption.
class Panel : public Control {
 public:
  explicit Panel(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::Panel; }
  enum class Bevel { None, Raised, Lowered };
  void SetBevel(Bevel b);

 protected:
  void Paint(Canvas& canvas, const Rect& clip) override;
  void AdjustClientRect(Rect& r) override;

 private:
  Bevel bevel_ = Bevel::Raised;
};

class ProgressBar : public StdControl {
 public:
  explicit ProgressBar(Component* owner = nullptr);
  void SetRange(int min, int max);
  int Position() const { return pos_; }
  void SetPosition(int p);

 protected:
  void HandleCreated() override;

 private:
  int min_ = 0, max_ = 100, pos_ = 0;
};

// The status bar: one simple text or several parts. Aligned to the bottom.
class StatusBar : public StdControl {
 public:
  explicit StatusBar(Component* owner = nullptr);
  void SetSimpleText(const std::string& s);
  // Right edges of the parts (-1: to the end); texts by part.
  void SetParts(const std::vector<int>& rightEdges);
  void SetPartText(int part, const std::string& s);

 protected:
  void HandleCreated() override;

 private:
  std::vector<int> parts_;
  std::vector<std::string> texts_;
  std::string simple_;
};

class TabControl;

// One page of a tab control: a container filling the control's display
// area, shown while its tab is selected.
class TabSheet : public Control {
 public:
  ControlKind Kind() const override { return ControlKind::TabSheet; }
  explicit TabSheet(TabControl* tabs, const std::string& caption);
};

class TabControl : public StdControl {
 public:
  explicit TabControl(Component* owner = nullptr);
  TabSheet* AddPage(const std::string& caption);
  int PageCount() const { return int(pages_.size()); }
  TabSheet* Page(int i) const { return pages_[size_t(i)]; }
  int PageIndex() const { return index_; }
  void SetPageIndex(int i);
  std::function<void(Control* sender)> OnChange;

 protected:
  void HandleCreated() override;
  void WndProc(Message& m) override;
  void AdjustClientRect(Rect& r) override;
  void Notification(Component* c, Operation op) override;

 private:
  std::vector<TabSheet*> pages_;
  int index_ = -1;
};

class ScrollBar : public StdControl {
 public:
  explicit ScrollBar(Component* owner = nullptr, bool vertical = false);
  int Position() const { return pos_; }
  void SetPosition(int p);
  void SetParams(int pos, int min, int max, int page);
  std::function<void(Control* sender)> OnChange;

 protected:
  void HandleCreated() override;
  void WndProc(Message& m) override;

 private:
  void Apply();
  int pos_ = 0, min_ = 0, max_ = 100, page_ = 1;
};

// Common dialogs. Each answers false when cancelled.
// The folder picker, starting at initial ("" : nowhere in particular).
// onShown runs with the dialog's handle once it is up and the initial
// folder selected (an exception it lets escape is reported there).
bool BrowseForFolder(const std::string& title, const std::string& initial, std::string& chosen,
                     const std::function<void(uintptr_t dialog)>& onShown = {});

struct FileDialog {
  std::string Title;
  // "Text files|*.txt|All files|*.*"
  std::string Filter;
  std::string InitialDir;
  std::string FileName;  // in: the proposed name; out: the chosen one
  std::string DefaultExt;
  bool Execute(bool save);
};

}  // namespace gui
