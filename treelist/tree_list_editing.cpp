// The grid's side of editing the focused cell: opening the editor (from
// the keyboard, after a click, when the pending editor's double-click time
// is up), the answers the grid gives the editor it hosts, and ending the
// edit: the value checked and stored, or the editor taken away unstored
// when its node goes.
#include "gui/environment.h"
#include "treelist/custom_tree_list.h"

using namespace gui;

// ------------------------------------------------------------------ opening

void TCustomGridTreeList::ShowEditor() {
  KillEditorTimer();
  if (!HasOption(aoEditing) || IsRowSelect()) return;
  if (newItemRowFocused_) {
    if (state_ == tsNone) ShowNewItemRowEditor();
    return;
  }
  if (!focusedNode_) return;
  bool allow = true;
  if (OnEditing) OnEditing(this, focusedNode_, allow);
  if (!allow || state_ != tsNone) return;
  const int column = FocusedAbsoluteIndex();
  if (column < 0 || VisibleColumnCount() == 0 || !focusedNode_) return;
  MakeColumnVisible(column);
  MakeNodeVisible(focusedNode_);
  SetState(tsEditing);
}

bool TCustomGridTreeList::ShowEditorWithChar(char c) {
  ShowEditor();
  TGridInplaceEdit* editor = InplaceEditor();
  if (!Editing() || !editor || !editor->HandleAllocated()) return false;
  // Posted: the character must arrive after the editor has the focus.
  switch (c) {
    case 22: editor->Peer()->Post(WM_PASTE, 0, 0); break;
    case 24: editor->Peer()->Post(WM_CUT, 0, 0); break;
    default: editor->Peer()->Post(WM_CHAR, uint8_t(c), 1); break;
  }
  return true;
}

void TCustomGridTreeList::ShowEditorWithClick(int x, int y) {
  ShowEditor();
  TGridInplaceEdit* editor = InplaceEditor();
  if (Editing() && editor) editor->ClickAt(x - editor->Left(), y - editor->Top());
}

void TCustomGridTreeList::ShowEditorAfterClick() {
  ShowEditor();
  TGridInplaceEdit* editor = InplaceEditor();
  if (!Editing() || !editor) return;
  // A second click soon after this one is a double click in the editor.
  editor->SetOpeningClickTick(Env().TickCount());
  editor->ClickDone();
}

void TCustomGridTreeList::StartEditorTimer() {
  if (!SetTimer(kEditorTimerId, Env().DoubleClickTime())) return;
  editorTimer_.Pending = true;
  editorTimer_.Node = focusedNode_;
  editorTimer_.Column = FocusedColumn();
  editorTimer_.NewItemRow = newItemRowFocused_;
}

void TCustomGridTreeList::KillEditorTimer() {
  if (!editorTimer_.Pending) return;
  editorTimer_ = {};
  KillTimer(kEditorTimerId);
}

void TCustomGridTreeList::ShowEditorFromTimer() {
  // The click's cell, in a grid that still has the focus: a click into
  // another control or a key that moved the focus within the time cancels.
  if (!editorTimer_.Pending || !HasFocus()) return;
  if (focusedNode_ != editorTimer_.Node || FocusedColumn() != editorTimer_.Column ||
      newItemRowFocused_ != editorTimer_.NewItemRow)
    return;
  ShowEditor();
}

// ------------------------------------------------------------------ hosting and ending

gui::Color TCustomGridTreeList::GetEditColor() const {
  const int column = FocusedAbsoluteIndex();
  gui::Color color = column >= 0 ? ColumnColor(column) : Color();
  if (OnGetEditColor) OnGetEditColor(const_cast<TCustomGridTreeList*>(this), color);
  return color;
}

const gui::Font& TCustomGridTreeList::GetEditFont() const {
  const int column = FocusedAbsoluteIndex();
  return column >= 0 && ColumnFontAssigned(column) ? ColumnFont(column) : Font();
}

bool TCustomGridTreeList::EditorKeyVeto() const {
  return editingRow_ >= 0 && NodeRowIndex(focusedNode_) != editingRow_;
}

bool TCustomGridTreeList::EditorWantsTab() const {
  return HasOption(aoTabs) && !(KeyboardShiftState() & ssCtrl);
}

void TCustomGridTreeList::EditorMoveFocus(bool up) {
  if (state_ == tsEditing) {
    SetState(tsNone);
    EndEdit(true);
  }
  if (focusedNode_) FocusRow(NodeRowIndex(focusedNode_) + (up ? -1 : 1));
}

void TCustomGridTreeList::HideEditor(bool takeFocus) {
  if (state_ != tsEditing) return;
  if (!Destroying()) ValidateEditorValue();  // a rejection raises, the edit stays open
  SetState(tsNone);
  EndEdit(takeFocus);
}

void TCustomGridTreeList::EndEdit(bool takeFocus) {
  TGridTreeListNode* node = editingNode_;
  const int column = editingColumn_;
  const bool hadFocus = EditorHasFocus();
  // Into the cell the editor was opened on, wherever the focus is now.
  if (node && column >= 0 && EditorModified()) {
    SetNodeString(node, column, EditorValue());
    if (OnEdited) OnEdited(this, node);
  }
  ActivateEditor(false);
  editingNode_ = nullptr;
  editingRow_ = editingColumn_ = -1;
  if ((takeFocus || hadFocus) && HandleAllocated() && Showing() && !Destroying()) SetFocus();
}

void TCustomGridTreeList::CancelEdit() {
  if (state_ == tsEditing) state_ = tsNone;
  if (editingNode_ || editingRow_ >= 0) ActivateEditor(false);
  editingNode_ = nullptr;
  editingRow_ = editingColumn_ = -1;
}

void TCustomGridTreeList::FollowEditedColumn() {
  if (!Editing() || editingColumn_ < 0 || FocusedAbsoluteIndex() == editingColumn_) return;
  const int visible = AbsoluteToVisibleIndex(editingColumn_);
  if (VisibleIndexToAbsolute(visible) == editingColumn_) {
    // Moved (or the columns before it came or went): the focus and the
    // editor go along with it.
    focusedColumn_ = visible;
    return;
  }
  // Hidden: the edit ends with its value stored, as when the grid goes;
  // there is no cell left to keep a refused value open on.
  SetState(tsNone);
  EndEdit(false);
}

// The focus left the grid and its editor.
void TCustomGridTreeList::DoExit() {
  KillEditorTimer();
  TCustomGridContainer::DoExit();
  HideEditor(false);
}
