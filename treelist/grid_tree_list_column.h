// The published grid's columns and bands. A column belongs to a band and a
// header row of that band, where it stands at its place (ColIndex). Its
// absolute index (its position in the grid's column list, the number of
// its text in every node) never changes by moving it. Every change lays
// the grid out again.
#pragma once
#include <functional>
#include <string>

#include "gui/bitmap.h"
#include "gui/graphics.h"
#include "treelist/tree_list_types.h"

class TCustomGridTreeListControl;
class TGridTreeListColumn;
class TGridEditStyleController;

// Fired to draw a column header (ADone true: nothing more is drawn).
using TGridTLCustomDrawHeader = std::function<void(
    TCustomGridTreeListControl* sender, TGridTreeListColumn* column, gui::Canvas& canvas,
    const gui::Rect& rect, std::string& text, gui::Color& color, gui::Font& font, TAlignment& alignment,
    TGridTreeListColumnSort& sorted, bool& done)>;

// The widest a column or a band may be: wider than any screen, and narrow
// enough that the widths of a grid's columns add up without overflow.
constexpr int kGridMaxWidth = 0x7FFF;

class TGridTreeListColumn {
 public:
  explicit TGridTreeListColumn(TCustomGridTreeListControl& owner);
  TGridTreeListColumn(const TGridTreeListColumn&) = delete;
  TGridTreeListColumn& operator=(const TGridTreeListColumn&) = delete;
  ~TGridTreeListColumn();

  TCustomGridTreeListControl& Owner() const { return owner_; }
  // Position in the grid's column list (the absolute column index).
  int Index() const;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& s);
  int Width() const { return width_; }
  // At least MinWidth, at most kGridMaxWidth.
  void SetWidth(int w);
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int w);
  gui::Color Color() const { return color_; }
  void SetColor(gui::Color c);
  // The column's font: the grid's until a change to it makes it the
  // column's own (FontAssigned).
  gui::Font& Font() { return font_; }
  const gui::Font& Font() const { return font_; }
  bool FontAssigned() const { return fontAssigned_; }
  // Follows the grid's font again.
  void RestoreFont();
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TAlignment HeaderAlignment() const { return headerAlignment_; }
  void SetHeaderAlignment(TAlignment a);
  TGridTreeListColumnSort Sorted() const { return sorted_; }
  void SetSorted(TGridTreeListColumnSort s);
  // Among sorted columns: who sorts first (smaller first).
  int SortOrder() const { return sortOrder_; }
  void SetSortOrder(int order) { sortOrder_ = order; }
  bool DisableCaption() const { return disableCaption_; }
  void SetDisableCaption(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  // Whether the column takes the focus (keyboard moves stop on it).
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v) { tabStop_ = v; }
  bool Sizing() const { return sizing_; }
  void SetSizing(bool v) { sizing_ = v; }
  // Whether Up and Down with the grid's aoVertThrough move the focus
  // between this column and the other column rows of its band (false:
  // they move rows here).
  bool VertThrough() const { return vertThrough_; }
  void SetVertThrough(bool v) { vertThrough_ = v; }
  int BandIndex() const { return bandIndex_; }
  void SetBandIndex(int band);
  int RowIndex() const { return rowIndex_; }
  void SetRowIndex(int row);
  // The column's place in its header row (smaller first; the absolute
  // index stays whatever the place).
  int ColIndex() const { return colIndex_; }
  void SetColIndex(int place);
  const gui::Bitmap* HeaderGlyph() const { return headerGlyph_; }
  // Not owned; must outlive its use.
  void SetHeaderGlyph(const gui::Bitmap* glyph);

  // What an in-place editor of the column takes over.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int v) { maxLength_ = v; }
  TGridEditCharCase CharCase() const { return charCase_; }
  void SetCharCase(TGridEditCharCase c) { charCase_ = c; }
  const std::string& EditMask() const { return editMask_; }
  void SetEditMask(const std::string& m) { editMask_ = m; }
  // Whether the mask editor's check lets blank required places pass.
  bool IgnoreMaskBlank() const { return ignoreMaskBlank_; }
  void SetIgnoreMaskBlank(bool v) { ignoreMaskBlank_ = v; }
  // Where the column's editors take the looks not set on them (nullptr:
  // the program-wide chain). The grid forgets a controller that goes.
  TGridEditStyleController* StyleController() const { return styleController_; }
  void SetStyleController(TGridEditStyleController* c);

  TGridTLCustomDrawHeader OnCustomDrawColumnHeader;
  // The column's editor: its text changed; its value is being checked
  // (accept false turns it down with the error text).
  std::function<void(TGridTreeListColumn* sender)> OnChange;
  std::function<void(TGridTreeListColumn* sender, std::string& error, bool& accept)> OnValidate;

 private:
  friend class TCustomGridTreeListControl;
  void Changed();
  void SyncFont(const gui::Font& gridFont);

  TCustomGridTreeListControl& owner_;
  std::string caption_;
  int width_ = 100;
  int minWidth_ = 4;
  gui::Color color_ = gui::clWindow;
  gui::Font font_;
  bool fontAssigned_ = false;
  bool syncingFont_ = false;
  TAlignment alignment_ = taLeftJustify;
  TAlignment headerAlignment_ = taLeftJustify;
  TGridTreeListColumnSort sorted_ = csNone;
  int sortOrder_ = 0;
  bool disableCaption_ = false;
  bool visible_ = true;
  bool tabStop_ = true;
  bool sizing_ = true;
  bool vertThrough_ = true;
  int bandIndex_ = 0;
  int rowIndex_ = 0;
  int colIndex_ = 0;
  const gui::Bitmap* headerGlyph_ = nullptr;
  bool readOnly_ = false;
  int maxLength_ = 0;
  TGridEditCharCase charCase_ = ecNormal;
  std::string editMask_;
  bool ignoreMaskBlank_ = false;
  TGridEditStyleController* styleController_ = nullptr;
};

class TGridTreeListBand {
 public:
  explicit TGridTreeListBand(TCustomGridTreeListControl& owner) : owner_(owner) {}
  TGridTreeListBand(const TGridTreeListBand&) = delete;
  TGridTreeListBand& operator=(const TGridTreeListBand&) = delete;

  int Index() const;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& s);
  // 0: as wide as its widest header row of columns. At most kGridMaxWidth.
  int Width() const { return width_; }
  void SetWidth(int w);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TGridBandFixed Fixed() const { return fixed_; }
  void SetFixed(TGridBandFixed f);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Sizing() const { return sizing_; }
  void SetSizing(bool v) { sizing_ = v; }

 private:
  void Changed();
  TCustomGridTreeListControl& owner_;
  std::string caption_;
  int width_ = 0;
  TAlignment alignment_ = taCenter;
  TGridBandFixed fixed_ = bfNone;
  bool visible_ = true;
  bool sizing_ = true;
};
