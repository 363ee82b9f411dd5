#include "treelist/grid_tree_list_column.h"

#include <algorithm>

#include "treelist/grid_tree_list.h"

// ------------------------------------------------------------------ column

TGridTreeListColumn::TGridTreeListColumn(TCustomGridTreeListControl& owner) : owner_(owner) {
  color_ = owner.Color();
  SyncFont(owner.Font());
  font_.OnChange = [this](gui::GraphicsObject&) {
    if (syncingFont_) return;
    fontAssigned_ = true;
    Changed();
  };
}

TGridTreeListColumn::~TGridTreeListColumn() = default;

int TGridTreeListColumn::Index() const {
  for (int i = 0; i < owner_.ColumnCount(); ++i)
    if (owner_.Columns(i) == this) return i;
  return -1;
}

void TGridTreeListColumn::Changed() { owner_.LayoutChanged(); }

void TGridTreeListColumn::SetStyleController(TGridEditStyleController* c) {
  if (c == styleController_) return;
  styleController_ = c;
  owner_.ColumnStyleControllerSet(this, c);
}

void TGridTreeListColumn::SyncFont(const gui::Font& gridFont) {
  syncingFont_ = true;
  font_.Assign(gridFont);
  syncingFont_ = false;
}

void TGridTreeListColumn::RestoreFont() {
  fontAssigned_ = false;
  SyncFont(owner_.Font());
  Changed();
}

void TGridTreeListColumn::SetCaption(const std::string& s) {
  if (s == caption_) return;
  caption_ = s;
  Changed();
}

void TGridTreeListColumn::SetWidth(int w) {
  w = std::clamp(w, minWidth_, kGridMaxWidth);
  if (w == width_) return;
  width_ = w;
  Changed();
}

void TGridTreeListColumn::SetMinWidth(int w) {
  minWidth_ = std::clamp(w, 0, kGridMaxWidth);
  if (width_ < minWidth_) SetWidth(minWidth_);
}

void TGridTreeListColumn::SetColor(gui::Color c) {
  if (c == color_) return;
  color_ = c;
  Changed();
}

void TGridTreeListColumn::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Changed();
}

void TGridTreeListColumn::SetHeaderAlignment(TAlignment a) {
  if (a == headerAlignment_) return;
  headerAlignment_ = a;
  Changed();
}

void TGridTreeListColumn::SetSorted(TGridTreeListColumnSort s) {
  if (s == sorted_) return;
  sorted_ = s;
  Changed();
}

void TGridTreeListColumn::SetDisableCaption(bool v) {
  if (v == disableCaption_) return;
  disableCaption_ = v;
  Changed();
}

void TGridTreeListColumn::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}

void TGridTreeListColumn::SetBandIndex(int band) {
  band = std::max(0, band);
  if (band == bandIndex_) return;
  bandIndex_ = band;
  Changed();
}

void TGridTreeListColumn::SetRowIndex(int row) {
  row = std::max(0, row);
  if (row == rowIndex_) return;
  rowIndex_ = row;
  Changed();
}

void TGridTreeListColumn::SetColIndex(int place) {
  if (place == colIndex_) return;
  colIndex_ = place;
  Changed();
}

void TGridTreeListColumn::SetHeaderGlyph(const gui::Bitmap* glyph) {
  if (glyph == headerGlyph_) return;
  headerGlyph_ = glyph;
  Changed();
}

// ------------------------------------------------------------------ band

int TGridTreeListBand::Index() const {
  for (int i = 0; i < owner_.BandCount(); ++i)
    if (owner_.Bands(i) == this) return i;
  return -1;
}

void TGridTreeListBand::Changed() { owner_.LayoutChanged(); }

void TGridTreeListBand::SetCaption(const std::string& s) {
  if (s == caption_) return;
  caption_ = s;
  Changed();
}

void TGridTreeListBand::SetWidth(int w) {
  w = std::clamp(w, 0, kGridMaxWidth);
  if (w == width_) return;
  width_ = w;
  Changed();
}

void TGridTreeListBand::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Changed();
}

void TGridTreeListBand::SetFixed(TGridBandFixed f) {
  if (f == fixed_) return;
  fixed_ = f;
  Changed();
}

void TGridTreeListBand::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}
