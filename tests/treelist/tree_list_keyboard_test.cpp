// test-label: concurrency
// The grid's keyboard: focus moves by direction and by page, expanding and
// collapsing, Shift ranges from the anchor, the incremental search, and
// the editor opened, ended and turned down from the keyboard.
#include <gtest/gtest.h>

#include "gui/clipboard.h"
#include "tests/treelist/tree_list_test_util.h"
#include "treelist/grid_inplace_mask_edit.h"
#include "treelist/grid_inplace_text_edit.h"

using namespace treetest;
using namespace gui;

namespace {

// Rows a a1 a2 b c d e f; four of them fit.
TEST(TreeListKeyboard, FocusMovesPagesExpandsAndCollapses) {
  InputFixture f("a(a1 a2) b c d e f");
  auto focused = [&] { return Name(f.g.FocusedNode()); };
  f.Key(VK_DOWN);
  EXPECT_EQ(focused(), "a1");
  f.Key(VK_NEXT);  // from inside the page: its last fully visible row
  EXPECT_EQ(focused(), "b");
  f.Key(VK_NEXT);  // from the last row shown: a page less one row on
  EXPECT_EQ(focused(), "e");
  EXPECT_EQ(f.g.TopIndex(), 3);
  f.Key(VK_PRIOR);
  EXPECT_EQ(focused(), "b");
  f.Keys({VK_END});
  EXPECT_EQ(focused(), "f");
  f.Key(VK_DOWN);  // nothing beyond the last row
  EXPECT_EQ(focused(), "f");
  f.Key(VK_HOME);
  // Row select: Left collapses, Right expands and then enters the first
  // child, Left on a first child goes back to its parent.
  f.Key(VK_LEFT);
  EXPECT_FALSE(Find(f.g, "a")->Expanded());
  f.Keys({VK_RIGHT, VK_RIGHT});
  EXPECT_EQ(focused(), "a1");
  f.Key(VK_LEFT);
  EXPECT_EQ(focused(), "a");
  f.log.Take();
  // "-" asks OnCollapsing, which may refuse; "+" and "*" expand.
  bool allow = false;
  f.g.OnCollapsing = [&](TCustomGridTreeList*, TGridTreeListNode*, bool& a) { a = allow; };
  f.Type("-");
  EXPECT_TRUE(Find(f.g, "a")->Expanded());
  allow = true;
  f.Type("-");
  EXPECT_FALSE(Find(f.g, "a")->Expanded());
  f.Type("+");
  EXPECT_TRUE(Find(f.g, "a")->Expanded());
  // The same where typing opens the editor but it cannot open (row select).
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoEnterShowEditor));
  f.Type("-");
  EXPECT_FALSE(Find(f.g, "a")->Expanded());
  f.Type("+");
  EXPECT_TRUE(Find(f.g, "a")->Expanded());
  EXPECT_FALSE(f.g.Editing());
  TGridTreeListNode* deep = Find(f.g, "f")->AddChild();
  deep->AddChild()->SetStrings(0, "g");
  f.Key(VK_END);
  f.Type("*");  // the whole subtree
  EXPECT_TRUE(deep->Expanded());
  EXPECT_EQ(f.g.GetLastVisibleNode()->Strings(0), "g");
  // OnKeyDown taking the key leaves the grid alone.
  f.g.OnKeyDown = [](gui::Control*, uint16_t& key, gui::ShiftState) { key = 0; };
  f.Key(VK_HOME);
  EXPECT_EQ(focused(), "f");
  EXPECT_TRUE(f.reported.empty());
}

TEST(TreeListKeyboard, ShiftRangesFromTheAnchorCountedOncePerKey) {
  InputFixture f("a b c d e f", {aoMultiSelect});
  f.Keys({VK_DOWN, VK_DOWN, VK_DOWN}, ssShift);
  EXPECT_EQ(f.Sel(), "d [a b c d]");
  EXPECT_EQ(f.log.Take(), "node a>b, count 2, node b>c, count 3, node c>d, count 4");
  f.Key(VK_UP, ssShift);  // back towards the anchor: the row left goes
  EXPECT_EQ(f.Sel(), "c [a b c]");
  f.Key(VK_SPACE, ssCtrl);  // toggles, and is the anchor now
  EXPECT_EQ(f.Sel(), "c [a b]");
  f.Key(VK_DOWN);
  EXPECT_EQ(f.Sel(), "d [d]");
  f.Key(VK_END, ssShift);
  EXPECT_EQ(f.Sel(), "f [d e f]");
  f.log.Take();
  f.Key(VK_DOWN);  // the last row cannot be left: the selection stays
  EXPECT_EQ(f.Sel(), "f [d e f]");
  EXPECT_EQ(f.log.Take(), "");
  f.Key(VK_ESCAPE);
  EXPECT_EQ(f.Sel(), "f [f]");
  EXPECT_EQ(f.log.Take(), "count 1");
  f.Key(VK_HOME, ssShift);  // the anchor is the focused row again
  EXPECT_EQ(f.Sel(), "a [a b c d e f]");
  f.Key(VK_UP);  // on the first row with several selected: the focused one alone
  EXPECT_EQ(f.Sel(), "a [a]");
  // Ctrl+Shift keys are the Shift keys.
  f.Key(VK_NEXT, ssCtrl | ssShift);
  EXPECT_EQ(f.Sel(), "d [a b c d]");
  // A plain move ends a range: the next Shift+Up begins one at the row
  // reached, and Shift+Down back gives up the row it added.
  f.Key(VK_DOWN, ssShift);
  EXPECT_EQ(f.Sel(), "e [a b c d e]");
  f.Key(VK_DOWN);
  EXPECT_EQ(f.Sel(), "f [f]");
  f.Key(VK_UP, ssShift);
  EXPECT_EQ(f.Sel(), "e [e f]");
  f.Key(VK_DOWN, ssShift);
  EXPECT_EQ(f.Sel(), "f [f]");
}

TEST(TreeListKeyboard, IncrementalSearchForwardBackwardWrapAndExpand) {
  InputFixture f("Apple Banana(Berry Cherry) Blue \xC9" "cru", {aoMultiSelect}, {aoAutoSearch});
  Find(f.g, "Banana")->SetExpanded(false);
  f.Type("b");  // searched once: never "bb"
  EXPECT_EQ(f.g.SearchText(), "b");
  EXPECT_EQ(f.Sel(), "Banana [Banana]");
  f.Type("lx");  // an x that nothing continues with is dropped
  EXPECT_EQ(f.g.SearchText(), "bl");
  EXPECT_EQ(f.Sel(), "Blue [Blue]");
  f.Key(VK_BACK);
  EXPECT_EQ(f.g.SearchText(), "b");
  f.Key(VK_RETURN, ssCtrl);  // the next match, over the end to the start
  EXPECT_EQ(Name(f.g.FocusedNode()), "Banana");
  f.Key(VK_RETURN, ssShift);  // the previous one, back over the start
  EXPECT_EQ(Name(f.g.FocusedNode()), "Blue");
  EXPECT_FALSE(Find(f.g, "Banana")->Expanded());
  f.Key(VK_ESCAPE);
  EXPECT_FALSE(f.g.Searching());
  f.Type("\xE9");  // letter case aside, in the 8-bit code page too
  EXPECT_EQ(Name(f.g.FocusedNode()), "\xC9" "cru");
  f.Key(VK_UP);  // a move of the focus ends the search
  EXPECT_FALSE(f.g.Searching());
  // Inside a collapsed node: found and shown, or not searched at all.
  f.Type("ch");
  EXPECT_EQ(Name(f.g.FocusedNode()), "Cherry");
  EXPECT_TRUE(Find(f.g, "Banana")->Expanded());
  f.Key(VK_ESCAPE);
  f.Key(VK_HOME);
  Find(f.g, "Banana")->SetExpanded(false);
  f.g.SetAutoExpandOnSearch(false);
  f.Type("c");  // begins no row: the search stays on with nothing typed
  EXPECT_EQ(Name(f.g.FocusedNode()), "Apple");
  EXPECT_TRUE(f.g.Searching());
  EXPECT_EQ(f.g.SearchText(), "");
  // "+" and "-" expand and collapse the focused node whether or not a
  // search runs (also one a miss left with nothing typed); the search
  // takes them as well.
  f.Key(VK_DOWN);
  f.Type("+");  // begins no row: the search is on
  EXPECT_TRUE(Find(f.g, "Banana")->Expanded());
  EXPECT_TRUE(f.g.Searching());
  f.Type("-");
  EXPECT_FALSE(Find(f.g, "Banana")->Expanded());
  EXPECT_EQ(f.g.SearchText(), "");
  f.g.Add()->SetStrings(0, "+plus");
  f.Type("+");
  EXPECT_TRUE(Find(f.g, "Banana")->Expanded());
  EXPECT_EQ(Name(f.g.FocusedNode()), "+plus");
  EXPECT_EQ(f.g.SearchText(), "+");
  // Nodes but no focused one: the search starts at the first root node
  // and a text nothing matches ends after one round.
  f.Key(VK_ESCAPE);
  f.g.SetFocusedNode(nullptr, 0, false);
  EXPECT_FALSE(f.g.StartIncrementalSearch(-1, "zz"));
  f.g.SetFocusedNode(nullptr, 0, false);
  EXPECT_TRUE(f.g.StartIncrementalSearch(-1, "a"));
  EXPECT_EQ(Name(f.g.FocusedNode()), "Apple");
  // Where typing opens the editor, a first key that begins no row does not
  // open it: the search is on, and the next key searches.
  f.Key(VK_ESCAPE);
  f.g.SetOptions(f.g.Options().Without(aoRowSelect));
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoEnterShowEditor));
  f.Type("z");
  EXPECT_FALSE(f.g.Editing());
  EXPECT_TRUE(f.g.Searching());
  f.Type("bl");
  EXPECT_EQ(Name(f.g.FocusedNode()), "Blue");
  EXPECT_FALSE(f.g.Editing());
  EXPECT_TRUE(f.reported.empty());
}

// A record of two column rows, Name and Size over Path: with aoVertThrough
// Up and Down go through the column rows, on into the next or previous
// record; a column kept out of that (VertThrough false) moves rows.
TEST(TreeListKeyboard, UpAndDownGoThroughTheColumnRowsOfABand) {
  EditFixture f("a b c");
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoVertThrough));
  TGridTreeListColumn* path = f.g.CreateColumn();
  path->SetRowIndex(1);
  auto at = [&] { return Name(f.g.FocusedNode()) + " " + f.g.Columns(f.g.FocusedAbsoluteIndex())->Caption(); };
  path->SetCaption("Path");
  f.Key(VK_RIGHT);
  EXPECT_EQ(at(), "a Size");
  f.Key(VK_DOWN);  // Path stands under both: the place is clamped
  EXPECT_EQ(at(), "a Path");
  f.Key(VK_DOWN);
  EXPECT_EQ(at(), "b Name");
  f.Key(VK_UP);
  EXPECT_EQ(at(), "a Path");
  f.Keys({VK_UP, VK_UP});  // nothing above the first record's first row
  EXPECT_EQ(at(), "a Name");
  path->SetVertThrough(false);
  f.Key(VK_DOWN);
  EXPECT_EQ(at(), "b Name");
  path->SetVertThrough(true);
  f.g.Columns(0)->SetVertThrough(false);  // the column left counts too
  f.Key(VK_DOWN);
  EXPECT_EQ(at(), "c Name");
  EXPECT_TRUE(f.reported.empty());
}

TEST(TreeListKeyboard, EditorOpensEndsAndATurnedDownValueKeepsIt) {
  EditFixture f;
  int edited = 0, refusals = 0;
  bool allow = false;
  f.g.OnEdited = [&](TCustomGridTreeList*, TGridTreeListNode*) { ++edited; };
  f.g.OnEditing = [&](TCustomGridTreeList*, TGridTreeListNode*, bool& a) { a = allow, refusals += !allow; };
  f.Key(VK_F2);
  EXPECT_FALSE(f.g.Editing());
  EXPECT_EQ(refusals, 1);
  allow = true;
  f.Key(VK_F2);
  ASSERT_TRUE(f.g.Editing());
  ASSERT_NE(f.g.InplaceEditor(), nullptr);
  EXPECT_TRUE(f.g.InplaceEditor()->VisibleInPlace());
  EXPECT_TRUE(f.g.HasFocus());  // the editor has it
  f.Key(VK_ESCAPE);
  // The editor takes the column's settings, and the looks of the column's
  // style controller before the program-wide chain; a controller that goes
  // is forgotten.
  auto* controller = new TGridEditStyleController();
  controller->SetBorderStyle(xbsSingle);
  f.g.Columns(0)->SetStyleController(controller);
  f.g.Columns(0)->SetMaxLength(5);
  f.Key(VK_F2);
  auto* text = dynamic_cast<TGridInplaceTextEdit*>(f.g.InplaceEditor());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->MaxLength(), 5);
  EXPECT_EQ(text->Style().BorderStyle(), xbsSingle);
  // A change on the controller re-styles the open editor, once; so does
  // one on the controller the column takes meanwhile.
  std::vector<TGridStyledEditor*> restyled;
  auto watch = [&](TGridStyleController*, TGridStyledEditor* e) { restyled.push_back(e); };
  controller->OnStyleChanged = watch;
  controller->SetBorderStyle(xbsThick);
  EXPECT_EQ(restyled, std::vector<TGridStyledEditor*>{text});
  TGridEditStyleController other;
  other.OnStyleChanged = watch;
  f.g.Columns(0)->SetStyleController(&other);
  restyled.clear();
  other.SetShadow(true);
  controller->SetBorderStyle(xbsFlat);
  EXPECT_EQ(restyled, std::vector<TGridStyledEditor*>{text});
  EXPECT_TRUE(text->Style().Shadow());
  f.g.Columns(0)->SetStyleController(controller);
  EXPECT_EQ(text->Style().BorderStyle(), xbsFlat);
  delete controller;
  EXPECT_EQ(f.g.Columns(0)->StyleController(), nullptr);
  EXPECT_NE(text->Style().BorderStyle(), xbsSingle);
  f.Key(VK_ESCAPE);
  EXPECT_FALSE(f.g.Editing());
  EXPECT_EQ(edited, 0);
  // A modified value is stored when Down ends the edit; the focus moves.
  f.Key(VK_F2);
  f.g.modified = true;
  f.g.typed = "x";
  f.Key(VK_DOWN);
  EXPECT_EQ(Find(f.g, "x"), f.g.GetFirstNode());
  EXPECT_EQ(edited, 1);
  EXPECT_EQ(f.Sel(), "b [b]");
  EXPECT_TRUE(f.g.Focused());
  // Turned down: the edit stays open, the focus stays, and the bracket the
  // key opened is closed all the same.
  f.Key(VK_F2);
  f.g.reject = true;
  f.log.Take();
  f.Key(VK_DOWN);
  ASSERT_EQ(f.reported.size(), 1u);
  EXPECT_EQ(f.reported[0], kGridEditInvalidInputText);
  EXPECT_TRUE(f.g.Editing());
  EXPECT_EQ(f.Sel(), "b [b]");
  f.g.reject = f.g.modified = false;
  f.Key(VK_DOWN, ssShift);
  EXPECT_EQ(f.Sel(), "c [b c]");
  EXPECT_EQ(f.log.Take(), "node b>c, count 2");
  // Tab runs over the columns and wraps to the next row with aoTabThrough.
  f.Key(VK_HOME, ssCtrl);
  f.Keys({VK_TAB, VK_TAB});
  EXPECT_EQ(f.g.FocusedColumn(), 0);
  EXPECT_EQ(Name(f.g.FocusedNode()), "b");
  f.Key(VK_TAB, ssShift);
  EXPECT_EQ(Name(f.g.FocusedNode()), "x");
  EXPECT_EQ(f.g.FocusedColumn(), 1);
}

// Keys typed into the open editor, as the user types them: Enter walks the
// cells, each opening the editor of the next column while the one typed
// into is still handling its key; Tab, the arrows and Escape end the edit
// (Left and Right stay the editor's own).
TEST(TreeListKeyboard, KeysTypedIntoTheOpenEditorWalkTheCells) {
  EditFixture f("a b");
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoEnterThrough).With(aoEnterShowEditor));
  auto at = [&] {
    const TGridInplaceEdit* e = f.g.InplaceEditor();
    return Name(f.g.FocusedNode()) + std::to_string(f.g.FocusedColumn()) +
           (f.g.Editing() && e && e->Focused() ? " editing" : "");
  };
  f.Key(VK_F2);
  EXPECT_EQ(at(), "a0 editing");
  f.Key(VK_RETURN);
  EXPECT_EQ(at(), "a1 editing");
  f.Key(VK_RETURN);
  EXPECT_EQ(at(), "b0 editing");
  f.Keys({VK_RIGHT, VK_LEFT});
  EXPECT_EQ(at(), "b0 editing");
  f.Key(VK_TAB);
  EXPECT_EQ(at(), "b1");
  f.Key(VK_F2);
  f.Key(VK_TAB, ssShift);
  EXPECT_EQ(at(), "b0");
  f.Key(VK_F2);
  f.Key(VK_UP);
  EXPECT_EQ(at(), "a0");
  f.Key(VK_RETURN);
  EXPECT_EQ(at(), "a1 editing");
  f.Key(VK_DOWN);
  EXPECT_EQ(at(), "b1");
  f.Key(VK_F2);
  f.Key(VK_ESCAPE);
  EXPECT_EQ(at(), "b1");
  EXPECT_TRUE(f.g.Focused());
  EXPECT_TRUE(f.reported.empty());
}

// The value goes into the cell the editor was opened on: a column hidden
// or moved meanwhile takes the focus and the editor along with the edited
// column; the edited column hidden ends the edit, its value stored there.
TEST(TreeListKeyboard, TheEditedValueGoesIntoTheEditedCellWhateverTheColumnsDo) {
  EditFixture f("a b");
  f.g.CreateColumn()->SetCaption("Path");
  std::string edited;
  f.g.OnEdited = [&](TCustomGridTreeList*, TGridTreeListNode* n) { edited += Name(n) + " "; };
  auto type = [&](const std::string& text) {
    f.g.modified = true;
    f.g.typed = text;
  };
  auto cells = [&](TGridTreeListNode* n) { return n->Strings(1) + "|" + n->Strings(2); };
  TGridTreeListNode* a = Find(f.g, "a");
  f.Key(VK_RIGHT);
  f.Key(VK_F2);
  f.g.Columns(0)->SetVisible(false);
  ASSERT_TRUE(f.g.Editing());
  EXPECT_EQ(f.g.FocusedAbsoluteIndex(), 1);
  const TGridInplaceEdit& e = *f.g.InplaceEditor();
  EXPECT_EQ(e.BoundsRect().Inflate(-2, -2), f.g.CellRect(a, 0));
  type("5");
  f.Key(VK_RETURN);
  EXPECT_EQ(cells(a), "5|");

  f.g.Columns(0)->SetVisible(true);
  f.g.SetFocusedColumn(1);
  f.Key(VK_F2);
  ASSERT_EQ(f.g.FocusedAbsoluteIndex(), 1);
  f.g.MoveColumn(1, 0);  // Size first, as a header drag would put it
  ASSERT_TRUE(f.g.Editing());
  EXPECT_EQ(f.g.FocusedColumn(), 0);
  EXPECT_EQ(e.BoundsRect().Inflate(-2, -2), f.g.CellRect(a, 0));
  type("6");
  f.Key(VK_RETURN);
  EXPECT_EQ(cells(a), "6|");

  f.Key(VK_F2);
  type("7");
  f.g.Columns(1)->SetVisible(false);
  EXPECT_FALSE(f.g.Editing());
  EXPECT_EQ(cells(a), "7|");
  EXPECT_EQ(edited, "a a a ");
  EXPECT_TRUE(f.reported.empty());
}

// Moves at the ends of the rows and columns: the row wraps of Tab, Shift+Tab,
// Right and Left (aoHorzThrough) and Enter (aoEnterThrough) stay on the
// first or last row from its other end; Tab in row-select mode moves rows;
// Ctrl moves the focus without touching the selection; Ctrl+Insert, and
// Ctrl+C with aoAutoCopySelectedToClipboard, copy.
TEST(TreeListKeyboard, WrapsAtTheEndsCtrlMovesAndCopies) {
  gui::MemoryClipboard clip;
  gui::ScopedService<gui::Clipboard> installed(clip);
  EditFixture f("a b c d e f");
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoHorzThrough).With(aoEnterThrough).With(aoEnterShowEditor));
  auto at = [&] {
    return f.Sel() + " " + std::to_string(f.g.FocusedColumn()) + (f.g.Editing() ? " editing" : "");
  };
  f.Key(VK_END, ssCtrl);
  f.Key(VK_RIGHT);
  f.Key(VK_UP, ssShift);
  f.Key(VK_DOWN, ssCtrl);
  ASSERT_EQ(at(), "f [e f] 1");
  f.Key(VK_TAB);  // the last cell of the last row: that row's first cell
  EXPECT_EQ(at(), "f [f] 0");
  f.Key(VK_RIGHT);
  f.Key(VK_RIGHT);
  EXPECT_EQ(at(), "f [f] 0");
  f.Key(VK_HOME, ssCtrl);
  f.Key(VK_TAB, ssShift);  // the first cell of the first row: its last cell
  EXPECT_EQ(at(), "a [a] 1");
  f.Key(VK_HOME);
  f.Key(VK_LEFT);
  EXPECT_EQ(at(), "a [a] 1");
  f.Key(VK_END, ssCtrl);
  f.Key(VK_RETURN);
  EXPECT_EQ(at(), "f [f] 0 editing");
  f.Key(VK_RETURN);
  EXPECT_EQ(at(), "f [f] 1 editing");
  f.Key(VK_ESCAPE);
  // Ctrl moves: pages, the first and last column; the selection stays.
  f.Key(VK_PRIOR, ssCtrl);
  EXPECT_EQ(at(), "c [f] 1");
  f.Key(VK_PRIOR, ssCtrl);
  EXPECT_EQ(at(), "a [f] 1");
  f.Key(VK_NEXT, ssCtrl);
  EXPECT_EQ(at(), "d [f] 1");
  f.Key(VK_LEFT, ssCtrl);
  EXPECT_EQ(at(), "d [f] 0");
  f.Key(VK_RIGHT, ssCtrl);
  EXPECT_EQ(at(), "d [f] 1");
  f.Key(VK_INSERT, ssCtrl);
  EXPECT_EQ(clip.history, std::vector<std::string>{"Name\tSize\r\nf\t\r\n"});
  f.Type("\x03", ssCtrl);
  EXPECT_EQ(clip.history.size(), 1u);
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoAutoCopySelectedToClipboard));
  f.Type("\x03", ssCtrl);
  EXPECT_EQ(clip.history.size(), 2u);
  // Row select: Tab and Shift+Tab move rows, clearing the selection.
  f.g.SetOptions(f.g.Options().With(aoRowSelect));
  f.Key(VK_TAB);
  EXPECT_EQ(at(), "e [e] 0");
  f.Key(VK_TAB, ssShift);
  f.Key(VK_TAB, ssShift);
  EXPECT_EQ(at(), "c [c] 0");
  EXPECT_TRUE(f.reported.empty());
}

// What a column gives its editor, the editor asking the grid to move on,
// and a picture of the editor painted as a copy (the live control writes
// its own text; a copy gets it from the view data).
TEST(TreeListKeyboard, TheEditorTakesTheColumnAndMovesTheFocusThroughTheGrid) {
  EditFixture f;
  f.g.Columns(0)->SetReadOnly(true);
  f.g.Columns(1)->SetEditMask("00-00;1;_");
  f.g.Columns(1)->SetIgnoreMaskBlank(true);
  f.Key(VK_F2);
  TGridInplaceEdit* ed = f.g.InplaceEditor();
  ASSERT_NE(ed, nullptr);
  EXPECT_TRUE(ed->ReadOnly());
  EXPECT_EQ(ed->StoredValues() & gsvReadOnly, gsvReadOnly);
  f.Key(VK_ESCAPE);
  f.Key(VK_RIGHT);
  f.Key(VK_F2);
  auto* mask = dynamic_cast<TGridInplaceMaskEdit*>(f.g.InplaceEditor());
  ASSERT_NE(mask, nullptr);
  EXPECT_TRUE(mask->IgnoreMaskBlank());
  EXPECT_FALSE(mask->ReadOnly());

  f.Key(VK_ESCAPE);
  f.Key(VK_LEFT);
  f.g.Columns(0)->SetReadOnly(false);
  f.Key(VK_F2);
  ed = f.g.InplaceEditor();
  ed->SetEditValue("copy me");
  auto logged = [&] {
    std::string text;
    for (const std::string& line : f.desk.CanvasLog()) text += line + "\n";
    return text;
  };
  f.desk.Paint(*ed);
  f.desk.CanvasLog().clear();
  f.desk.Send(*ed, WM_PAINT);
  EXPECT_EQ(logged().find("copy me"), std::string::npos);
  f.desk.Send(*ed, WM_PRINTCLIENT, 1);
  EXPECT_NE(logged().find("\"copy me\""), std::string::npos) << logged();

  f.g.modified = true;
  f.g.typed = "x";
  ed->MoveFocus(false);  // ends the edit, the value kept, one row down
  EXPECT_FALSE(f.g.Editing());
  EXPECT_EQ(Name(f.g.GetFirstNode()), "x");
  EXPECT_EQ(Name(f.g.FocusedNode()), "b");
  f.Key(VK_F2);
  f.g.modified = false;
  f.g.InplaceEditor()->MoveFocus(true);
  EXPECT_EQ(Name(f.g.FocusedNode()), "x");
  EXPECT_TRUE(f.reported.empty());
}

// Scrolled by the scroll bar while a cell is edited, the editor stays over
// its cell; out of view it is out of sight (the grid has the keys) and the
// edit stays open until the cell shows again.
TEST(TreeListKeyboard, TheOpenEditorFollowsItsCellWhenTheGridScrolls) {
  EditFixture f("a b c d e f");
  f.Key(VK_DOWN);
  f.Key(VK_F2);
  ASSERT_TRUE(f.g.Editing());
  TGridInplaceEdit& e = *f.g.InplaceEditor();
  auto cell = [&] { return Rect(e.Left() + 2, e.Top() + 2, e.Left() + e.Width() - 2, e.Top() + e.Height() - 2); };
  const Rect opened = cell();
  EXPECT_EQ(opened, f.g.CellRect(f.g.FocusedNode(), 0));
  f.g.SetTopIndex(1);
  EXPECT_EQ(cell(), f.g.CellRect(f.g.FocusedNode(), 0));
  EXPECT_LT(cell().Top, opened.Top);
  EXPECT_TRUE(e.Focused());
  f.g.SetTopIndex(2);
  EXPECT_TRUE(f.g.Editing());
  EXPECT_FALSE(e.VisibleInPlace());
  EXPECT_TRUE(f.g.Focused());
  f.g.SetTopIndex(0);
  EXPECT_TRUE(e.VisibleInPlace());
  EXPECT_EQ(cell(), opened);
  EXPECT_TRUE(e.Focused());
  f.g.modified = true;
  f.g.typed = "x";
  f.Key(VK_RETURN);
  EXPECT_EQ(Name(f.g.GetFirstNode()->GetNextSibling()), "x");
}

TEST(TreeListKeyboard, TypingOpensTheEditorWithTheCharacterAndDialogCodes) {
  EditFixture f;
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoEnterShowEditor));
  std::string pressed;
  f.g.OnKeyPress = [&](gui::Control*, char& key) { pressed += key; };
  f.Type("q");
  ASSERT_TRUE(f.g.Editing());
  EXPECT_EQ(pressed, "");  // not yet: the editor hands it back when it gets it
  f.desk.ProcessPosted();
  EXPECT_EQ(pressed, "q");
  // What the grid asks of a dialog: arrows and characters always, Tab only
  // with aoTabs and without Ctrl.
  auto code = [&] { return unsigned(f.desk.Send(f.g, WM_GETDLGCODE)); };
  EXPECT_EQ(code() & (DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB), unsigned(DLGC_WANTARROWS | DLGC_WANTCHARS));
  f.g.SetOptions(f.g.Options().With(aoTabs));
  EXPECT_TRUE(code() & DLGC_WANTTAB);
  f.Mods(ssCtrl);
  EXPECT_FALSE(code() & DLGC_WANTTAB);
}

}  // namespace
