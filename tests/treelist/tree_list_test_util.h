// Helpers of the tree-list tests: a grid that counts its relayouts and
// node creations, an event log, and trees built from short specs.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/fake_peer.h"
#include "treelist/grid_edit_error.h"
#include "treelist/grid_tree_list.h"

namespace treetest {

class CountingGrid : public TGridTreeList {
 public:
  using TGridTreeList::TGridTreeList;
  mutable int layouts = 0;
  int created = 0;
  TGridTreeListTextNode* CreateNode() override {
    ++created;
    return TGridTreeList::CreateNode();
  }

 protected:
  void BuildLayout(std::vector<TTreeListLayoutBand>& layout) const override {
    ++layouts;
    TGridTreeList::BuildLayout(layout);
  }
};

inline std::string Name(const TGridTreeListNode* n) { return n ? n->Strings(0) : std::string("-"); }

// Records the grid's node events as short lines.
struct EventLog {
  std::vector<std::string> lines;
  void Attach(TCustomGridTreeList& g) {
    g.OnDeletion = [this](TCustomGridTreeList*, TGridTreeListNode* n) { lines.push_back("del " + Name(n)); };
    g.OnChangeNode = [this](TCustomGridTreeList*, TGridTreeListNode* o, TGridTreeListNode* n) {
      lines.push_back("node " + Name(o) + ">" + Name(n));
    };
    g.OnChangeTopVisibleNode = [this](TCustomGridTreeList* s) { lines.push_back("top " + Name(s->TopVisibleNode())); };
    g.OnExpanding = [this](TCustomGridTreeList*, TGridTreeListNode* n, bool&) { lines.push_back("expanding " + Name(n)); };
    g.OnExpanded = [this](TCustomGridTreeList*, TGridTreeListNode* n) { lines.push_back("expanded " + Name(n)); };
    g.OnCollapsing = [this](TCustomGridTreeList*, TGridTreeListNode* n, bool&) { lines.push_back("collapsing " + Name(n)); };
    g.OnCollapsed = [this](TCustomGridTreeList*, TGridTreeListNode* n) { lines.push_back("collapsed " + Name(n)); };
    g.OnSelectedCountChange = [this](TCustomGridTreeList* s) {
      lines.push_back("count " + std::to_string(s->SelectedCount()));
    };
  }
  std::string Take() {
    std::string s;
    for (const std::string& l : lines) s += (s.empty() ? "" : ", ") + l;
    lines.clear();
    return s;
  }
};

// Builds nodes from "name(child child(grandchild)) name2": every node
// expanded, named by its text in column 0. Returns them in tree order.
inline std::vector<TGridTreeListNode*> Build(TCustomGridTreeList& g, const std::string& shape) {
  std::vector<TGridTreeListNode*> all, stack;
  std::string name;
  TGridTreeListNode* last = nullptr;
  auto flush = [&] {
    if (name.empty()) return;
    last = stack.empty() ? g.Add() : stack.back()->AddChild();
    last->SetStrings(0, name);
    all.push_back(last);
    name.clear();
  };
  for (char c : shape) {
    if (c == '(') {
      flush();
      stack.push_back(last);
    } else if (c == ')') {
      flush();
      stack.back()->SetExpanded(true);
      stack.pop_back();
    } else if (c == ' ') {
      flush();
    } else {
      name += c;
    }
  }
  flush();
  return all;
}

inline TGridTreeListNode* Find(TCustomGridTreeList& g, const std::string& name) {
  for (TGridTreeListNode* n = g.GetFirstNode(); n; n = n->GetNext())
    if (n->Strings(0) == name) return n;
  return nullptr;
}

// A grid of one 100-pixel column, 18-pixel rows (the fixed measurer's
// 13-pixel text), no border, four rows high below the header.
inline void OneColumn(TCustomGridTreeListControl& g) {
  g.SetBorderStyle(bsNone);
  g.SetBounds(0, 0, 200, 18 + 4 * 18);
  g.CreateColumn()->SetCaption("Name");
}

// The published grid on the fake desktop with a stand-in for the editor's
// value: the real editor opens and closes, but what it reports as typed
// (modified, value) and whether its check turns the value down are the
// test's.
class InputGrid : public TGridTreeList {
 public:
  using TGridTreeList::TGridTreeList;
  bool reject = false;
  bool modified = false;
  std::string typed;

 protected:
  void ValidateEditorValue() override {
    if (reject && modified) throw EGridEditInvalidInput(kGridEditInvalidInputText);
  }
  bool EditorModified() const override { return modified; }
  std::string EditorValue() const override { return typed; }
};

// A focused InputGrid (or a descendant) of one 100-pixel column "Name",
// four rows high below the header, keys and clicks with modifiers, errors
// that escape a handler recorded.
template <class Grid>
struct InputFixtureOf {
  gui::FakeDesktop desk;
  EventLog log;  // outlives the grid, whose last events it hears
  std::vector<std::string> reported;
  Grid g;
  gui::ExceptionReporter previous =
      gui::SetExceptionReporter([this](const std::string& what, gui::Control*) { reported.push_back(what); });

  explicit InputFixtureOf(const std::string& shape, TGridTreeListOptions add = {}, TGridTreeListOptionsEx addEx = {}) {
    OneColumn(g);
    g.SetOptions(TGridTreeListOptions::FromBits(g.Options().Bits() | add.Bits()));
    g.SetOptionsEx(TGridTreeListOptionsEx::FromBits(g.OptionsEx().Bits() | addEx.Bits()));
    Build(g, shape);
    g.HandleNeeded();
    g.SetFocus();
    log.Attach(g);
  }
  ~InputFixtureOf() { gui::SetExceptionReporter(previous); }

  void Mods(gui::ShiftState s) {
    using namespace gui;  // the key names are the system's macros in its build
    desk.env.SetKeyDown(VK_SHIFT, s & ssShift);
    desk.env.SetKeyDown(VK_CONTROL, s & ssCtrl);
    desk.env.SetKeyDown(VK_MENU, s & ssAlt);
  }
  // The window the user's keys reach: the grid's open editor while it has
  // the focus, else the grid.
  gui::Control& KeyTarget() {
    gui::Control* focused = desk.FocusedControl();
    return focused && focused != &g && g.ContainsControl(focused) ? *focused : g;
  }
  void Key(uint16_t vk, gui::ShiftState s = 0) {
    Mods(s);
    desk.KeyDown(KeyTarget(), vk);
    Mods(0);
  }
  void Keys(const std::vector<uint16_t>& vks, gui::ShiftState s = 0) {
    for (uint16_t vk : vks) Key(vk, s);
  }
  void Type(const std::string& text, gui::ShiftState s = 0) {
    Mods(s);
    for (char c : text) desk.Char(KeyTarget(), c);
    Mods(0);
  }
  void Click(int x, int y, gui::ShiftState s = 0, gui::MouseButton b = gui::mbLeft) {
    Mods(s);
    desk.Click(g, x, y, b);
    Mods(0);
  }
  // The middle of row r (from the top row shown) in the Name column.
  static int RowY(int r) { return 18 + r * 18 + 9; }
  // "b [a b c]": the focused node, then the selection.
  std::string Sel() const {
    std::string s = Name(g.FocusedNode()) + " [";
    for (int i = 0; i < g.SelectedCount(); ++i) s += (i ? " " : "") + Name(g.SelectedNodes(i));
    return s + "]";
  }
};
using InputFixture = InputFixtureOf<InputGrid>;

// Two columns, Name and Size, cells editable (no row select), multi-select.
template <class Grid>
struct EditFixtureOf : InputFixtureOf<Grid> {
  explicit EditFixtureOf(const std::string& shape = "a b c") : InputFixtureOf<Grid>(shape, {aoMultiSelect}) {
    this->g.CreateColumn()->SetCaption("Size");
    this->g.SetOptions(this->g.Options().Without(aoRowSelect));
  }
};
using EditFixture = EditFixtureOf<InputGrid>;

}  // namespace treetest
