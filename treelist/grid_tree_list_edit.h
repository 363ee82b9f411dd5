// The edit style of the published grid's in-place editors: a value not set
// on the editor itself comes from the edited column's style controller
// when the column has one, and only then from the editor's own controller,
// the program-wide default controller and the fixed defaults.
#pragma once
#include "treelist/grid_edit_style.h"

class TCustomGridTreeListControl;

class TGridTreeListEditStyle : public TGridEditStyle {
 public:
  TGridTreeListEditStyle(TGridStyledEditor* editor, const TCustomGridTreeListControl* grid)
      : TGridEditStyle(editor), grid_(grid) {}

 protected:
  gui::Color GetDefaultBorderColor() const override;
  TGridEditBorderStyle GetDefaultBorderStyle() const override;
  TGridEditButtonViewStyle GetDefaultButtonStyle() const override;
  TGridEditButtonTransparence GetDefaultButtonTransparence() const override;
  TGridEditEdges GetDefaultEdges() const override;
  bool GetDefaultHotTrack() const override;
  bool GetDefaultShadow() const override;

 private:
  // The edited (else the focused) column's controller (nullptr: none).
  const TGridEditStyleController* ColumnController() const;
  const TCustomGridTreeListControl* grid_;
};
