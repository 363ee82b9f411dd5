// The grid's settings: the option sets, the colours and flags that repaint
// it, the sizes and flags that relayout it, the image lists and sub-fonts
// it follows (and forgets when they go), and the window the border style
// asks for.
#include <algorithm>

#include "gui/environment.h"
#include "treelist/custom_tree_list.h"

using namespace gui;

void TCustomGridTreeList::SetOptions(TGridTreeListOptions o) {
  if (o == options_) return;
  const bool multiLost = options_.Contains(aoMultiSelect) && !o.Contains(aoMultiSelect);
  options_ = o;
  if (multiLost) ClearSelection();
  LayoutChanged();
}

void TCustomGridTreeList::SetOptionsEx(TGridTreeListOptionsEx o) {
  if (o == optionsEx_) return;
  optionsEx_ = o;
  LayoutChanged();
}

void TCustomGridTreeList::SetPaintColor(gui::Color& field, gui::Color c) {
  if (field == c) return;
  field = c;
  if (HandleAllocated()) Invalidate();
}

void TCustomGridTreeList::SetPaintFlag(bool& field, bool v) {
  if (field == v) return;
  field = v;
  if (HandleAllocated()) Invalidate();
}

void TCustomGridTreeList::SetLayoutFlag(bool& field, bool v) {
  if (field == v) return;
  field = v;
  LayoutChanged();
}

void TCustomGridTreeList::SetTreeLineStyle(TGridTreeLineStyle s) {
  if (s == treeLineStyle_) return;
  treeLineStyle_ = s;
  if (HandleAllocated()) Invalidate();
}

void TCustomGridTreeList::SetPaintStyle(TGridTreeListPaintStyle s) {
  if (s == paintStyle_) return;
  paintStyle_ = s;
  LayoutChanged();
}

void TCustomGridTreeList::SetBorderStyle(TGridBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  if (HandleAllocated()) RecreateWnd();
}

void TCustomGridTreeList::SetScrollBars(TGridScrollStyle s) {
  if (s == scrollBars_) return;
  scrollBars_ = s;
  LayoutChanged();
}

void TCustomGridTreeList::SetPreviewLines(int v) {
  if (v == previewLines_) return;
  previewLines_ = v;
  LayoutChanged();
}

void TCustomGridTreeList::SetFixedBandLineWidth(int v) {
  if (v == fixedBandLineWidth_) return;
  fixedBandLineWidth_ = std::max(0, v);
  if (HandleAllocated()) Invalidate();
}

void TCustomGridTreeList::SetRowSeparatorLineWidth(int v) {
  if (v == rowSeparatorLineWidth_) return;
  rowSeparatorLineWidth_ = std::max(0, v);
  LayoutChanged();
}

void TCustomGridTreeList::SetRowHeight(int v) {
  if (v == rowHeight_) return;
  rowHeight_ = std::max(0, v);
  LayoutChanged();
}

void TCustomGridTreeList::SetBandPanelRowHeight(int v) {
  if (v == bandPanelRowHeight_) return;
  bandPanelRowHeight_ = std::max(0, v);
  LayoutChanged();
}

void TCustomGridTreeList::SetHeaderPanelRowHeight(int v) {
  if (v == headerPanelRowHeight_) return;
  headerPanelRowHeight_ = std::max(0, v);
  LayoutChanged();
}

void TCustomGridTreeList::SetImageList(ImageList*& field, int& link, ImageList* list) {
  if (field == list) return;
  if (field) {
    field->RemoveChangeLink(link);
    RemoveFreeNotification(field);
  }
  field = list;
  link = 0;
  if (list) {
    link = list->AddChangeLink([this](ImageList&) {
      if (HandleAllocated()) LayoutChanged();
    });
    FreeNotification(list);
  }
  if (!Destroying()) LayoutChanged();
}

void TCustomGridTreeList::Notification(Component* c, Operation op) {
  TCustomGridContainer::Notification(c, op);
  if (op != Operation::Remove) return;
  if (c == images_) {
    images_ = nullptr;
    imagesLink_ = 0;
    if (!Destroying()) LayoutChanged();
  }
  if (c == stateImages_) {
    stateImages_ = nullptr;
    stateImagesLink_ = 0;
    if (!Destroying()) LayoutChanged();
  }
}

void TCustomGridTreeList::SubFontChanged() {
  if (adjustingFonts_) return;
  if (!Loading()) SetParentFont(false);
  LayoutChanged();
}

void TCustomGridTreeList::FontChanged() {
  TCustomGridContainer::FontChanged();
  LayoutChanged();
}

void TCustomGridTreeList::CreateParams(WindowParams& p) {
  TCustomGridContainer::CreateParams(p);
  p.Style |= WS_CLIPCHILDREN | WS_TABSTOP;
  p.ClassStyle |= CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  p.Style &= ~WS_BORDER;
  p.ExStyle &= ~WS_EX_CLIENTEDGE;
  // A single border in the standard look: sunken where the system draws
  // three-dimensional controls and the control has that look, else a line.
  if (borderStyle_ != bsSingle || LookAndFeel() != lfStandard) return;
  if (Env().NewStyleControls() && Ctl3D())
    p.ExStyle |= WS_EX_CLIENTEDGE;
  else
    p.Style |= WS_BORDER;
}
