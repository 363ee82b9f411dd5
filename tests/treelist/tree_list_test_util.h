// Helpers of the tree-list tests: a grid that counts its relayouts and
// node creations, an event log, and trees built from short specs.
#pragma once
#include <functional>
#include <string>
#include <vector>

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
inline std::vector<TGridTreeListNode*> Build(TCustomGridTreeList& g, const std::string& spec) {
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
  for (char c : spec) {
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

}  // namespace treetest
