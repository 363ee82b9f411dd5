#include "gui/win32/std_controls.h"

#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "gui/form.h"
#include "gui/win32/gdi_canvas.h"

namespace gui {

namespace {

Form* FormOf(Control* c) {
  for (; c; c = c->Parent())
    if (auto* f = dynamic_cast<Form*>(c)) return f;
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- base

StdControl::StdControl(Component* owner, std::string systemClass, uint32_t style)
    : Control(owner), extraStyle_(style), systemClass_(std::move(systemClass)) {
  SetControlStyle(ControlStyle() & ~(csCaptureMouse | csClickEvents | csDoubleClicks));
  SetColor(clWindow);
  SetParentColor(false);
}

void StdControl::CreateParams(WindowParams& p) {
  Control::CreateParams(p);
  p.ClassName = systemClass_;
  p.SystemClass = true;
  p.Style |= extraStyle_;
}

void StdControl::SetStyleBit(uint32_t bit, bool on) {
  extraStyle_ = on ? (extraStyle_ | bit) : (extraStyle_ & ~bit);
  if (HandleAllocated()) RecreateWnd();
}

LRESULT StdControl::SendMsg(UINT msg, WPARAM wp, LPARAM lp) {
  return SendMessageA(Hwnd(), msg, wp, lp);
}

void StdControl::HandleCreated() {
  SendMessageA(reinterpret_cast<HWND>(Peer()->Handle()), WM_SETFONT,
               reinterpret_cast<WPARAM>(RealizeFont(Font())), FALSE);
}

void StdControl::FontChanged() {
  if (HandleAllocated())
    SendMessageA(reinterpret_cast<HWND>(Peer()->Handle()), WM_SETFONT,
                 reinterpret_cast<WPARAM>(RealizeFont(Font())), TRUE);
  Control::FontChanged();
}

void StdControl::WndProc(Message& m) {
  switch (m.Msg) {
    case CN_COMMAND:
      Command(unsigned(HiWord(intptr_t(m.WParam))));
      return;
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORSTATIC: {
      // The control's font colour on its colour.
      HDC dc = reinterpret_cast<HDC>(m.WParam);
      const gui::Color c = ColorToRGB(Color());
      ::SetTextColor(dc, ColorToRGB(Font().Color()));
      ::SetBkColor(dc, c);
      if (!colorBrush_ || brushColor_ != c) {
        if (colorBrush_) DeleteObject(colorBrush_);
        colorBrush_ = CreateSolidBrush(c);
        brushColor_ = c;
      }
      m.Result = reinterpret_cast<intptr_t>(colorBrush_);
      return;
    }
    case WM_NCDESTROY:
      if (colorBrush_) DeleteObject(colorBrush_);
      colorBrush_ = nullptr;
      break;
    default:
      break;
  }
  Control::WndProc(m);
}

// ---------------------------------------------------------------- buttons

Button::Button(Component* owner) : StdControl(owner, "BUTTON", BS_PUSHBUTTON) {
  SetTabStop(true);
  SetColor(clBtnFace);
  SetBounds(0, 0, 75, 25);
}

void Button::SetDefault(bool d) {
  default_ = d;
  SetStyleBit(BS_DEFPUSHBUTTON, d);
}

void Button::Click() {
  if (modalResult_ != 0)
    if (Form* f = FormOf(this)) f->SetModalResult(modalResult_);
  Control::Click();
}

void Button::Command(unsigned code) {
  if (code == BN_CLICKED) Click();
}

void Button::WndProc(Message& m) {
  if (m.Msg == CM_DIALOGKEY && Enabled() &&
      ((m.WParam == VK_RETURN && default_) || (m.WParam == VK_ESCAPE && cancel_))) {
    Click();
    m.Result = 1;
    return;
  }
  StdControl::WndProc(m);
}

CheckBox::CheckBox(Component* owner) : CheckBox(owner, BS_AUTOCHECKBOX) {}

CheckBox::CheckBox(Component* owner, uint32_t style) : StdControl(owner, "BUTTON", style) {
  SetTabStop(true);
  SetColor(clBtnFace);
  SetParentColor(true);
  SetBounds(0, 0, 97, 17);
}

bool CheckBox::Checked() {
  if (HandleAllocated()) checked_ = SendMsg(BM_GETCHECK) == BST_CHECKED;
  return checked_;
}

void CheckBox::SetChecked(bool c) {
  checked_ = c;
  if (HandleAllocated()) SendMsg(BM_SETCHECK, c ? BST_CHECKED : BST_UNCHECKED);
}

void CheckBox::HandleCreated() {
  StdControl::HandleCreated();
  SendMsg(BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED);
}

void CheckBox::HandleDestroying() { checked_ = SendMsg(BM_GETCHECK) == BST_CHECKED; }

void CheckBox::Command(unsigned code) {
  if (code == BN_CLICKED) {
    checked_ = SendMsg(BM_GETCHECK) == BST_CHECKED;
    Click();
  }
}

RadioButton::RadioButton(Component* owner) : CheckBox(owner, BS_AUTORADIOBUTTON) {}

Label::Label(Component* owner) : StdControl(owner, "STATIC", SS_LEFT | SS_NOPREFIX) {
  SetParentColor(true);
  SetBounds(0, 0, 65, 13);
}

GroupBox::GroupBox(Component* owner) : StdControl(owner, "BUTTON", BS_GROUPBOX) {
  SetControlStyle(ControlStyle() | csAcceptsControls);
  SetParentColor(true);
  SetBounds(0, 0, 185, 105);
}

void GroupBox::AdjustClientRect(Rect& r) { r = Rect{r.Left + 6, r.Top + 16, r.Right - 6, r.Bottom - 6}; }

// ---------------------------------------------------------------- edits

Edit::Edit(Component* owner) : Edit(owner, "EDIT", ES_AUTOHSCROLL) {}

Edit::Edit(Component* owner, std::string cls, uint32_t style) : StdControl(owner, std::move(cls), style) {
  SetTabStop(true);
  SetBounds(0, 0, 121, 21);
}

void Edit::HandleCreated() {
  StdControl::HandleCreated();
  SetWindowLongA(Hwnd(), GWL_EXSTYLE, GetWindowLongA(Hwnd(), GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
  SetWindowPos(Hwnd(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (maxLength_ > 0) SendMsg(EM_LIMITTEXT, WPARAM(maxLength_));
  if (readOnly_) SendMsg(EM_SETREADONLY, TRUE);
}

std::string Edit::GetText() {
  if (HandleAllocated()) TextFromWindow(Peer()->Text());
  return Caption();
}

void Edit::SetText(const std::string& s) {
  settingText_ = true;
  try {
    SetCaption(s);
  } catch (...) {
    settingText_ = false;
    throw;
  }
  settingText_ = false;
  // The caret at the end, where typing goes on.
  if (HandleAllocated()) SetSel(int(s.size()), int(s.size()));
}

void Edit::SetMaxLength(int n) {
  maxLength_ = n;
  if (HandleAllocated()) SendMsg(EM_LIMITTEXT, WPARAM(std::max(n, 0)));
}

void Edit::SetReadOnly(bool r) {
  readOnly_ = r;
  if (HandleAllocated()) SendMsg(EM_SETREADONLY, r);
}

void Edit::SetSel(int start, int end) { SendMsg(EM_SETSEL, WPARAM(start), LPARAM(end)); }

void Edit::GetSel(int& start, int& end) {
  DWORD s = 0, e = 0;
  SendMsg(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  start = int(s);
  end = int(e);
}

void Edit::Command(unsigned code) {
  if (code != EN_CHANGE) return;
  TextFromWindow(Peer()->Text());
  if (OnChange) OnChange(this);
}

Memo::Memo(Component* owner)
    : Edit(owner, "EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL) {
  SetBounds(0, 0, 185, 89);
}

namespace {

HMODULE RichEditLibrary() {
  static HMODULE lib = LoadLibraryA("riched20.dll");
  return lib;
}

}  // namespace

bool RichEdit::Available() { return RichEditLibrary() != nullptr; }

RichEdit::RichEdit(Component* owner)
    : Edit(owner, (RichEditLibrary(), "RichEdit20A"), ES_AUTOHSCROLL | ES_AUTOVSCROLL) {}

void RichEdit::HandleCreated() {
  // Plain text is set on an empty control only.
  const std::string text = Caption();
  SendMsg(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  SendMsg(EM_SETTEXTMODE, TM_PLAINTEXT);
  SendMsg(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  Edit::HandleCreated();
  if (maxLength_ > 0) SendMsg(EM_EXLIMITTEXT, 0, LPARAM(maxLength_));
  SendMsg(EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE);
  SendMsg(EM_SETBKGNDCOLOR, 0, LPARAM(ColorToRGB(Color())));
}

// ---------------------------------------------------------------- combo box

ComboBox::ComboBox(Component* owner, bool ownerDraw)
    : StdControl(owner, "COMBOBOX",
                 CBS_DROPDOWNLIST | WS_VSCROLL |
                     (ownerDraw ? CBS_OWNERDRAWFIXED | CBS_HASSTRINGS : 0)),
      ownerDraw_(ownerDraw) {
  SetTabStop(true);
  SetBounds(0, 0, 145, 200);  // the height includes the dropped list
}

void ComboBox::AddItem(const std::string& s) {
  items_.push_back(s);
  if (HandleAllocated()) SendMsg(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
}

void ComboBox::ClearItems() {
  items_.clear();
  index_ = -1;
  if (HandleAllocated()) SendMsg(CB_RESETCONTENT);
}

int ComboBox::ItemIndex() {
  if (HandleAllocated()) index_ = int(SendMsg(CB_GETCURSEL));
  return index_;
}

void ComboBox::SetItemIndex(int i) {
  index_ = i >= 0 && i < Count() ? i : -1;
  if (HandleAllocated()) SendMsg(CB_SETCURSEL, WPARAM(index_));
}

void ComboBox::SetItemHeight(int h) {
  itemHeight_ = h;
  if (HandleAllocated() && ownerDraw_) SendMsg(CB_SETITEMHEIGHT, 0, h);
}

void ComboBox::HandleCreated() {
  StdControl::HandleCreated();
  for (const std::string& s : items_) SendMsg(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
  if (ownerDraw_) {
    SendMsg(CB_SETITEMHEIGHT, WPARAM(-1), itemHeight_);
    SendMsg(CB_SETITEMHEIGHT, 0, itemHeight_);
  }
  SendMsg(CB_SETCURSEL, WPARAM(index_));
}

void ComboBox::HandleDestroying() { index_ = int(SendMsg(CB_GETCURSEL)); }

void ComboBox::Command(unsigned code) {
  if (code != CBN_SELCHANGE) return;
  index_ = int(SendMsg(CB_GETCURSEL));
  if (OnChange) OnChange(this);
}

void ComboBox::WndProc(Message& m) {
  if (m.Msg == CN_DRAWITEM && ownerDraw_) {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
    GdiCanvas canvas(dis->hDC, {dis->rcItem.right, dis->rcItem.bottom}, "item");
    const Rect r{dis->rcItem.left, dis->rcItem.top, dis->rcItem.right, dis->rcItem.bottom};
    // The brush ready: highlight for the selected item, else the control's colour.
    const bool selected = (dis->itemState & ODS_SELECTED) != 0;
    canvas.Font().Assign(Font());
    canvas.Brush().SetColor(selected ? clHighlight : Color());
    canvas.Font().SetColor(selected ? clHighlightText : Font().Color());
    const int index = int(dis->itemID);
    if (OnDrawItem) {
      OnDrawItem(this, index, canvas, r, dis->itemState);
    } else {
      canvas.FillRect(r);
      if (index >= 0 && index < Count()) canvas.TextOut(r.Left + 2, r.Top, items_[size_t(index)]);
    }
    m.Result = TRUE;
    return;
  }
  StdControl::WndProc(m);
}

// ---------------------------------------------------------------- list view

ListView::ListView(Component* owner)
    : StdControl(owner, WC_LISTVIEWA, LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL) {
  SetTabStop(true);
  SetBounds(0, 0, 250, 150);
}

void ListView::AddColumn(const std::string& caption, int width) {
  columns_.emplace_back(caption, width);
  if (!HandleAllocated()) return;
  LVCOLUMNA c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH;
  c.pszText = const_cast<char*>(columns_.back().first.c_str());
  c.cx = width;
  SendMsg(LVM_INSERTCOLUMNA, WPARAM(columns_.size() - 1), reinterpret_cast<LPARAM>(&c));
}

int ListView::AddRow(const std::vector<std::string>& texts, intptr_t data) {
  rows_.push_back({texts, data});
  if (HandleAllocated()) Fill(int(rows_.size()) - 1);
  return int(rows_.size()) - 1;
}

void ListView::ClearRows() {
  rows_.clear();
  selected_ = -1;
  if (HandleAllocated()) SendMsg(LVM_DELETEALLITEMS);
}

const std::string& ListView::Text(int row, int column) const {
  static const std::string none;
  const auto& t = rows_[size_t(row)].texts;
  return column >= 0 && column < int(t.size()) ? t[size_t(column)] : none;
}

int ListView::Selected() {
  return HandleAllocated() ? int(SendMsg(LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)) : selected_;
}

void ListView::SetSelected(int row) {
  // Without a window the choice waits for it.
  selected_ = row >= 0 && row < RowCount() ? row : -1;
  if (!HandleAllocated()) return;
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMsg(LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));  // none
  if (row < 0 || row >= RowCount()) return;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMsg(LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
  SendMsg(LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
}

void ListView::SetText(int row, int column, const std::string& text) {
  auto& t = rows_[size_t(row)].texts;
  if (column >= int(t.size())) t.resize(size_t(column) + 1);
  t[size_t(column)] = text;
  if (!HandleAllocated()) return;
  LVITEMA it{};
  it.iSubItem = column;
  it.pszText = const_cast<char*>(t[size_t(column)].c_str());
  SendMsg(LVM_SETITEMTEXTA, WPARAM(row), reinterpret_cast<LPARAM>(&it));
}

void ListView::DeleteRow(int row) {
  rows_.erase(rows_.begin() + row);
  selected_ = selected_ == row ? -1 : selected_ > row ? selected_ - 1 : selected_;
  if (HandleAllocated()) SendMsg(LVM_DELETEITEM, WPARAM(row));
}

void ListView::Sort(const std::function<int(int a, int b)>& compare) {
  std::vector<int> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(a, b) < 0; });
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (int i : order) sorted.push_back(std::move(rows_[size_t(i)]));
  rows_ = std::move(sorted);
  if (HandleAllocated()) Fill();
}

void ListView::Fill(int from) {
  // The view shows the rows in their order; rows past the end are added.
  const int shown = int(SendMsg(LVM_GETITEMCOUNT));
  for (int i = from; i < int(rows_.size()); ++i) {
    const Row& r = rows_[size_t(i)];
    LVITEMA it{};
    it.iItem = i;
    if (i >= shown) {
      it.mask = LVIF_TEXT;
      it.pszText = const_cast<char*>(r.texts.empty() ? "" : r.texts[0].c_str());
      SendMsg(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
    }
    for (int c = 0; c < std::max(int(columns_.size()), 1); ++c) {
      it.iSubItem = c;
      it.pszText = const_cast<char*>(c < int(r.texts.size()) ? r.texts[size_t(c)].c_str() : "");
      SendMsg(LVM_SETITEMTEXTA, WPARAM(i), reinterpret_cast<LPARAM>(&it));
    }
  }
}

void ListView::HandleCreated() {
  StdControl::HandleCreated();
  SendMsg(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  auto cols = std::move(columns_);
  columns_.clear();
  for (auto& [caption, width] : cols) AddColumn(caption, width);
  Fill();
  if (selected_ >= 0) SetSelected(selected_);
}

void ListView::WndProc(Message& m) {
  if (m.Msg == CN_NOTIFY) {
    auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
    if (hdr->code == LVN_COLUMNCLICK && OnColumnClick)
      OnColumnClick(this, reinterpret_cast<NMLISTVIEW*>(m.LParam)->iSubItem);
    // The list's own double click (it has chosen the row under the mouse).
    if (hdr->code == NM_DBLCLK && OnDblClick) OnDblClick(this);
    if (hdr->code == LVN_ITEMCHANGED && OnSelect) {
      const auto* lv = reinterpret_cast<NMLISTVIEW*>(m.LParam);
      const bool was = lv->uOldState & LVIS_SELECTED, is = lv->uNewState & LVIS_SELECTED;
      if ((lv->uChanged & LVIF_STATE) && was != is) OnSelect(this, Selected());
    }
    return;
  }
  StdControl::WndProc(m);
}

// ---------------------------------------------------------------- panel

Panel::Panel(Component* owner) : Control(owner) {
  SetControlStyle(ControlStyle() | csAcceptsControls);
  SetParentColor(true);
  SetBounds(0, 0, 185, 41);
}

void Panel::SetBevel(Bevel b) {
  bevel_ = b;
  Invalidate();
}

void Panel::AdjustClientRect(Rect& r) {
  if (bevel_ != Bevel::None) r = r.Inflate(-1, -1);
}

void Panel::Paint(Canvas& canvas, const Rect&) {
  Rect r = ClientRect();
  if (bevel_ != Bevel::None)
    canvas.DrawEdge(r, bevel_ == Bevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  if (!Caption().empty()) {
    canvas.SetBkMode(TRANSPARENT);
    canvas.DrawText(Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

// ---------------------------------------------------------------- progress, status

ProgressBar::ProgressBar(Component* owner) : StdControl(owner, PROGRESS_CLASSA, 0) {
  SetBounds(0, 0, 150, 16);
}

void ProgressBar::SetRange(int min, int max) {
  min_ = min;
  max_ = max;
  if (HandleAllocated()) SendMsg(PBM_SETRANGE32, WPARAM(min), LPARAM(max));
}

void ProgressBar::SetPosition(int p) {
  pos_ = std::clamp(p, min_, std::max(min_, max_));
  if (HandleAllocated()) SendMsg(PBM_SETPOS, WPARAM(pos_));
}

void ProgressBar::HandleCreated() {
  StdControl::HandleCreated();
  SendMsg(PBM_SETRANGE32, WPARAM(min_), LPARAM(max_));
  SendMsg(PBM_SETPOS, WPARAM(pos_));
}

StatusBar::StatusBar(Component* owner)
    : StdControl(owner, STATUSCLASSNAMEA, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER) {
  SetColor(clBtnFace);
  SetBounds(0, 0, 200, 20);
  SetAlign(alBottom);
}

void StatusBar::SetSimpleText(const std::string& s) {
  simple_ = s;
  parts_.clear();
  if (HandleAllocated()) HandleCreated();
}

void StatusBar::SetParts(const std::vector<int>& rightEdges) {
  if (rightEdges == parts_) return;
  parts_ = rightEdges;
  texts_.resize(parts_.size());
  if (HandleAllocated()) HandleCreated();
}

void StatusBar::SetPartText(int part, const std::string& s) {
  if (part < 0 || part >= int(parts_.size())) return;
  texts_[size_t(part)] = s;
  if (HandleAllocated()) SendMsg(SB_SETTEXTA, WPARAM(part), reinterpret_cast<LPARAM>(s.c_str()));
}

void StatusBar::HandleCreated() {
  StdControl::HandleCreated();
  if (parts_.empty()) {
    SendMsg(SB_SIMPLE, TRUE);
    SendMsg(SB_SETTEXTA, 255, reinterpret_cast<LPARAM>(simple_.c_str()));
    return;
  }
  SendMsg(SB_SIMPLE, FALSE);
  SendMsg(SB_SETPARTS, WPARAM(parts_.size()), reinterpret_cast<LPARAM>(parts_.data()));
  for (size_t i = 0; i < parts_.size(); ++i)
    SendMsg(SB_SETTEXTA, WPARAM(i), reinterpret_cast<LPARAM>(texts_[i].c_str()));
}

// ---------------------------------------------------------------- tabs

TabSheet::TabSheet(TabControl* tabs, const std::string& caption) : Control(tabs) {
  SetControlStyle(ControlStyle() | csAcceptsControls);
  SetCaption(caption);
  SetParentColor(true);
  SetAlign(alClient);
  SetVisible(false);
  SetParent(tabs);
}

TabControl::TabControl(Component* owner) : StdControl(owner, WC_TABCONTROLA, 0) {
  SetControlStyle(ControlStyle() | csAcceptsControls);
  SetColor(clBtnFace);
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
}

TabSheet* TabControl::AddPage(const std::string& caption) {
  auto* page = new TabSheet(this, caption);
  pages_.push_back(page);
  FreeNotification(page);
  if (HandleAllocated()) {
    TCITEMA it{};
    it.mask = TCIF_TEXT;
    it.pszText = const_cast<char*>(page->Caption().c_str());
    SendMsg(TCM_INSERTITEMA, WPARAM(pages_.size() - 1), reinterpret_cast<LPARAM>(&it));
  }
  if (index_ < 0) SetPageIndex(0);
  return page;
}

void TabControl::SetPageIndex(int i) {
  if (i < 0 || i >= PageCount()) return;
  index_ = i;
  if (HandleAllocated()) SendMsg(TCM_SETCURSEL, WPARAM(i));
  for (int k = 0; k < PageCount(); ++k) pages_[size_t(k)]->SetVisible(k == i);
  Realign();
}

void TabControl::HandleCreated() {
  StdControl::HandleCreated();
  for (size_t i = 0; i < pages_.size(); ++i) {
    TCITEMA it{};
    it.mask = TCIF_TEXT;
    it.pszText = const_cast<char*>(pages_[i]->Caption().c_str());
    SendMsg(TCM_INSERTITEMA, WPARAM(i), reinterpret_cast<LPARAM>(&it));
  }
  if (index_ >= 0) SendMsg(TCM_SETCURSEL, WPARAM(index_));
}

void TabControl::AdjustClientRect(Rect& r) {
  if (!HandleAllocated()) return;
  RECT w{r.Left, r.Top, r.Right, r.Bottom};
  SendMessageA(reinterpret_cast<HWND>(Peer()->Handle()), TCM_ADJUSTRECT, FALSE,
               reinterpret_cast<LPARAM>(&w));
  r = {w.left, w.top, w.right, w.bottom};
}

void TabControl::Notification(Component* c, Operation op) {
  if (op == Operation::Remove)
    pages_.erase(std::remove(pages_.begin(), pages_.end(), c), pages_.end());
  StdControl::Notification(c, op);
}

void TabControl::WndProc(Message& m) {
  if (m.Msg == CN_NOTIFY) {
    if (reinterpret_cast<NMHDR*>(m.LParam)->code == UINT(TCN_SELCHANGE)) {
      SetPageIndex(int(SendMsg(TCM_GETCURSEL)));
      if (OnChange) OnChange(this);
    }
    return;
  }
  StdControl::WndProc(m);
}

// ---------------------------------------------------------------- scroll bar

ScrollBar::ScrollBar(Component* owner, bool vertical)
    : StdControl(owner, "SCROLLBAR", vertical ? SBS_VERT : SBS_HORZ) {
  SetBounds(0, 0, vertical ? 17 : 121, vertical ? 121 : 17);
}

void ScrollBar::Apply() {
  if (!HandleAllocated()) return;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  si.nMin = min_;
  si.nMax = max_;
  si.nPage = UINT(page_);
  si.nPos = pos_;
  pos_ = ::SetScrollInfo(Hwnd(), SB_CTL, &si, TRUE);
}

void ScrollBar::SetParams(int pos, int min, int max, int page) {
  min_ = min;
  max_ = std::max(min, max);
  page_ = std::max(page, 0);
  pos_ = std::clamp(pos, min_, std::max(min_, max_ - std::max(page_ - 1, 0)));
  Apply();
}

void ScrollBar::SetPosition(int p) { SetParams(p, min_, max_, page_); }

void ScrollBar::HandleCreated() {
  StdControl::HandleCreated();
  Apply();
}

void ScrollBar::WndProc(Message& m) {
  if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
    int p = pos_;
    switch (LoWord(intptr_t(m.WParam))) {
      case SB_LINEUP: p -= 1; break;
      case SB_LINEDOWN: p += 1; break;
      case SB_PAGEUP: p -= std::max(page_, 1); break;
      case SB_PAGEDOWN: p += std::max(page_, 1); break;
      case SB_TOP: p = min_; break;
      case SB_BOTTOM: p = max_; break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        ::GetScrollInfo(Hwnd(), SB_CTL, &si);
        p = si.nTrackPos;
        break;
      }
      default: return;
    }
    const int before = pos_;
    SetPosition(p);
    if (pos_ != before && OnChange) OnChange(this);
    return;
  }
  StdControl::WndProc(m);
}

// ---------------------------------------------------------------- dialogs

namespace {

struct BrowseStart {
  const std::string& initial;
  const std::function<void(uintptr_t)>& onShown;
};

// No exception may cross the shell's frames back to the dialog.
int CALLBACK BrowseCallback(HWND h, UINT msg, LPARAM, LPARAM data) {
  if (msg != BFFM_INITIALIZED) return 0;
  const auto& start = *reinterpret_cast<const BrowseStart*>(data);
  if (!start.initial.empty())
    SendMessageA(h, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start.initial.c_str()));
  try {
    if (start.onShown) start.onShown(reinterpret_cast<uintptr_t>(h));
  } catch (...) {
    ReportCurrentException(nullptr);
  }
  return 0;
}

}  // namespace

bool BrowseForFolder(const std::string& title, const std::string& initial, std::string& chosen,
                     const std::function<void(uintptr_t dialog)>& onShown) {
  char name[1024] = {};
  const BrowseStart start{initial, onShown};
  BROWSEINFOA bi{};
  bi.pszDisplayName = name;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  bi.lpfn = &BrowseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(&start);
  LPITEMIDLIST id = SHBrowseForFolderA(&bi);
  if (!id) return false;
  char path[1024] = {};
  const bool ok = SHGetPathFromIDListA(id, path) != FALSE;
  CoTaskMemFree(id);
  if (ok) chosen = path;
  return ok;
}

bool FileDialog::Execute(bool save) {
  // The filter's '|' separators become the zeros the dialog reads.
  std::string filter = Filter;
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.append(2, '\0');
  std::vector<char> file(4096, '\0');
  std::memcpy(file.data(), FileName.data(), std::min(FileName.size(), file.size() - 1));
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = DWORD(file.size());
  ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
  ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
  ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
  const BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!ok) return false;
  FileName = file.data();
  return true;
}

}  // namespace gui
