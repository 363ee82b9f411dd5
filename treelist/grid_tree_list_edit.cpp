// The published grid's side of editing: which editor a column gets, what
// it takes over from the column, where it is placed, and the looks it
// takes from the column's style controller.
#include "treelist/grid_tree_list_edit.h"

#include "treelist/grid_inplace_mask_edit.h"
#include "treelist/grid_tree_list.h"

// ------------------------------------------------------------------ style

const TGridEditStyleController* TGridTreeListEditStyle::ColumnController() const {
  if (!grid_) return nullptr;
  // The edited column while a cell is edited, else the focused one.
  const TGridTreeListColumn* column = grid_->Editing() ? grid_->Columns(grid_->EditingColumn()) : nullptr;
  if (!column) column = grid_->FocusedColumnObject();
  const TGridEditStyleController* c = column ? column->StyleController() : nullptr;
  // One going away (its editors told before the column) has no say.
  return c && !c->Destroying() ? c : nullptr;
}

#define TREELIST_STYLE_DEFAULT(Type, Name)                                      \
  Type TGridTreeListEditStyle::GetDefault##Name() const {                       \
    const TGridEditStyleController* c = ColumnController();                     \
    return c ? c->Name() : TGridEditStyle::GetDefault##Name();                  \
  }
TREELIST_STYLE_DEFAULT(gui::Color, BorderColor)
TREELIST_STYLE_DEFAULT(TGridEditBorderStyle, BorderStyle)
TREELIST_STYLE_DEFAULT(TGridEditButtonViewStyle, ButtonStyle)
TREELIST_STYLE_DEFAULT(TGridEditButtonTransparence, ButtonTransparence)
TREELIST_STYLE_DEFAULT(TGridEditEdges, Edges)
TREELIST_STYLE_DEFAULT(bool, HotTrack)
TREELIST_STYLE_DEFAULT(bool, Shadow)
#undef TREELIST_STYLE_DEFAULT

// ------------------------------------------------------------------ the grid's editor

std::unique_ptr<TGridEditStyle> TCustomGridTreeListControl::CreateEditStyle(TGridStyledEditor* editor) {
  return MakeGridEditStyle<TGridTreeListEditStyle>(editor, this);
}

void TCustomGridTreeListControl::DeleteEditor() {
  TGridInplaceEdit* editor = editor_;
  editor_ = nullptr;
  editorColumn_ = nullptr;
  if (!editor) return;
  // An editor that handed a key to the grid (Enter on to the next column)
  // is still inside its handling of that key: it goes once that is over.
  if (editor->HandlingMessage()) editor->Hide();
  editor->Release();
}

void TCustomGridTreeListControl::ActivateEditor(bool active) {
  editorOutOfSight_ = false;
  if (!active) {
    if (editor_) editor_->Hide();
    return;
  }
  TGridTreeListColumn* column = FocusedColumnObject();
  TGridTreeListNode* node = FocusedNode();
  if (!column || !node) return;
  const bool masked = !column->EditMask().empty();
  if (editor_ && (editorColumn_ != column || (dynamic_cast<TGridInplaceMaskEdit*>(editor_) != nullptr) != masked))
    DeleteEditor();
  if (!editor_) {
    editor_ = masked ? new TGridInplaceTreeListMaskEdit(this) : new TGridInplaceTreeListTextEdit(this);
    editorColumn_ = column;
  }
  TGridInplaceEdit& e = *editor_;
  e.IncLock();
  struct Unlock {
    TGridInplaceEdit& e;
    ~Unlock() { e.DecLock(); }
  } unlock{e};
  // What the column gives its editor.
  e.AssignReadOnly(column->ReadOnly());
  if (auto* text = dynamic_cast<TGridInplaceTextEdit*>(&e)) {
    text->SetCharCase(column->CharCase());
    text->AssignMaxLength(column->MaxLength());
    text->SetOEMConvert(false);
    text->SetPasswordChar(0);
    if (auto* mask = dynamic_cast<TGridInplaceMaskEdit*>(text)) {
      mask->AssignEditMask(column->EditMask());
      mask->SetIgnoreMaskBlank(column->IgnoreMaskBlank());
    }
  }
  // A change on the column's controller re-styles the editor.
  e.SetStyleController(column->StyleController());
  e.OnChange = [column](gui::Control*) {
    if (column->OnChange) column->OnChange(column);
  };
  e.OnValidate = [column](gui::Control*, std::string& error, bool& accept) {
    if (column->OnValidate) column->OnValidate(column, error, accept);
  };
  e.SetColor(GetEditColor());
  e.Font().Assign(GetEditFont());
  e.SetEditValue(GetNodeString(node, column->Index()));
  e.SetModified(false);
  if (auto* text = dynamic_cast<TGridInplaceTextEdit*>(&e); text && text->HandleAllocated()) text->ClearUndo();
  // The text stands where the cell draws it.
  e.SetInnerRect(gui::Rect(2, 1, 2, 0));
  e.ShowAt(CellRect(node, FocusedColumn()));
}

void TCustomGridTreeListControl::PlaceEditor() {
  // Only an editor that is open (or was put out of sight here) moves.
  if (!editor_ || !(editor_->VisibleInPlace() || editorOutOfSight_)) return;
  TGridInplaceEdit& e = *editor_;
  const gui::Rect cell = FocusedNode() ? CellRect(FocusedNode(), FocusedColumn()) : gui::Rect();
  if (cell.IsEmpty()) {
    if (editorOutOfSight_) return;
    // Keys must not go on into a window nobody sees: the grid takes them
    // (and gives them back when the cell shows again). The focus goes
    // before the window hides: hiding the focused window would move it on
    // as the user's move, which would check the value and take a new
    // Escape copy.
    if (e.Focused() && HandleAllocated()) e.PassFocus(*this);
    e.Hide();
    editorOutOfSight_ = true;
    return;
  }
  e.PlaceOver(cell);
  if (!editorOutOfSight_) return;
  editorOutOfSight_ = false;
  e.Show();
  if (Focused()) e.PassFocus(e);
}

void TCustomGridTreeListControl::ValidateEditorValue() {
  if (editor_) editor_->ValidateEdit();
}

bool TCustomGridTreeListControl::EditorModified() const { return editor_ && editor_->GetModified(); }

std::string TCustomGridTreeListControl::EditorValue() const {
  return editor_ ? editor_->GetEditValue() : std::string();
}

bool TCustomGridTreeListControl::EditorHasFocus() const { return editor_ && editor_->Focused(); }

bool TCustomGridTreeListControl::ColumnCanFocus(int visibleColumn) const {
  const TGridTreeListColumn* c = VisibleColumns(visibleColumn);
  return c && c->TabStop();
}

bool TCustomGridTreeListControl::ColumnVertThrough(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return !c || c->VertThrough();
}

void TCustomGridTreeListControl::ColumnStyleControllerSet(const TGridTreeListColumn* column,
                                                          TGridEditStyleController* c) {
  if (c) FreeNotification(c);
  if (editor_ && editorColumn_ == column) editor_->SetStyleController(c);
}

void TCustomGridTreeListControl::Notification(gui::Component* c, gui::Operation op) {
  TCustomGridTreeList::Notification(c, op);
  if (op != gui::Operation::Remove || !c) return;
  if (c == editor_) {
    editor_ = nullptr;
    editorColumn_ = nullptr;
  }
  for (const auto& column : columns_)
    if (static_cast<gui::Component*>(column->styleController_) == c) column->styleController_ = nullptr;
}
