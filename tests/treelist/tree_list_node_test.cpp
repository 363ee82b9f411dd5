#include "treelist/tree_list_node.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/treelist/tree_list_test_util.h"
#include "treelist/tree_list_error.h"

using namespace treetest;

namespace {

// Counts destructions: the grid never frees what Data points to.
struct Record {
  int* freed;
  ~Record() { ++*freed; }
};

struct DeletionCase {
  const char* focus;  // the focused and top node, then deleted
  const char* focusAfter;
  const char* deletions;
};

TEST(TreeListNode, DeletingTheFocusedNodeMovesFocusAndTopWithoutEvents) {
  const DeletionCase cases[] = {
      {"b", "a", "del b1, del b2, del b"},  // a middle sibling: to its previous sibling
      {"a", "r0", "del a"},                 // a first child: to its parent
      {"r0", "r1", "del a, del b1, del b2, del b, del c, del r0"},  // the first root: the next row
  };
  for (const DeletionCase& c : cases) {
    SCOPED_TRACE(c.focus);
    EventLog log;  // outlives the grid: its destruction fires events too
    CountingGrid g;
    OneColumn(g);
    Build(g, "r0(a b(b1 b2) c) r1 r2");
    int freed = 0;
    Record record{&freed};
    TGridTreeListNode* victim = Find(g, c.focus);
    victim->SetData(&record);
    victim->SetFocused(true);
    g.SetTopVisibleNode(victim);
    log.Attach(g);
    victim->Delete();
    EXPECT_EQ(log.Take(), std::string(c.deletions) + ", top " + c.focusAfter);  // no "node" line
    EXPECT_EQ(Name(g.FocusedNode()), c.focusAfter);
    EXPECT_EQ(Name(g.TopVisibleNode()), c.focusAfter);
    EXPECT_EQ(freed, 0);
  }
}

TEST(TreeListNode, LastChildGoneClearsButtonAndExpansionWithoutEvents) {
  EventLog log;
  CountingGrid g;
  OneColumn(g);
  Build(g, "p(c) q");
  TGridTreeListNode* p = Find(g, "p");
  log.Attach(g);
  Find(g, "c")->Delete();
  EXPECT_EQ(log.Take(), "del c");
  EXPECT_FALSE(p->HasChildren());
  EXPECT_FALSE(p->Expanded());
  EXPECT_EQ(p->Count(), 0);
  EXPECT_EQ(g.RowCount(), 2);
  p->SetStrings(-1, "x");  // no such column: ignored
  p->SetStrings(3, "d");   // the texts before it are padded
  EXPECT_EQ(p->Strings(2), "");
  EXPECT_EQ(p->Strings(3), "d");
  EXPECT_EQ(p->Strings(9), "");
}

TEST(TreeListNode, ExpandedSetterVetoesFocusRescueAndEmptyButtons) {
  EventLog log;
  CountingGrid g;
  OneColumn(g);
  Build(g, "p(c(d)) e");
  TGridTreeListNode* p = Find(g, "p");
  TGridTreeListNode* d = Find(g, "d");
  d->SetFocused(true);
  log.Attach(g);
  g.OnCollapsing = [&](TCustomGridTreeList*, TGridTreeListNode* n, bool& allow) {
    log.lines.push_back("collapsing " + Name(n));
    allow = false;
  };
  p->SetExpanded(false);
  EXPECT_EQ(log.Take(), "collapsing p");
  EXPECT_TRUE(p->Expanded());
  EXPECT_EQ(g.FocusedNode(), d);

  // Collapsing over the focus moves it to the collapsing node first.
  log.Attach(g);
  p->SetExpanded(false);
  EXPECT_EQ(log.Take(), "collapsing p, node d>p, collapsed p");
  EXPECT_EQ(g.RowCount(), 2);

  // A button without children: the events fire and no child appears.
  TGridTreeListNode* e = Find(g, "e");
  e->SetHasChildren(true);
  e->SetExpanded(true);
  EXPECT_EQ(log.Take(), "expanding e, expanded e");
  EXPECT_EQ(e->Count(), 0);
  EXPECT_TRUE(e->Expanded());
  e->SetHasChildren(false);
  e->SetExpanded(false);  // no button: nothing happens
  EXPECT_EQ(log.Take(), "");
}

TEST(TreeListNode, InsertChildChecksBeforeNodeBeforeMakingOne) {
  CountingGrid g;
  OneColumn(g);
  Build(g, "p(a b) leaf");
  TGridTreeListNode* p = Find(g, "p");
  TGridTreeListNode* leaf = Find(g, "leaf");
  const int made = g.created;
  EXPECT_THROW(p->InsertChild(leaf), EInvalidGridTreeListOperation);
  EXPECT_THROW(g.Insert(Find(g, "a")), EInvalidGridTreeListOperation);
  EXPECT_EQ(g.created, made);
  EXPECT_EQ(p->Count(), 2);
  // A node without children ignores the before node; a child goes before it.
  EXPECT_EQ(leaf->InsertChild(Find(g, "a"))->Index(), 0);
  TGridTreeListNode* x = p->InsertChild(Find(g, "b"));
  x->SetStrings(0, "x");
  EXPECT_EQ(Name(p->Items(1)), "x");
  EXPECT_EQ(Find(g, "b")->Index(), 2);
  EXPECT_TRUE(g.Insert(nullptr)->IsLast());
}

TEST(TreeListNode, ExpandRecursiveRelayoutsOnce) {
  CountingGrid g;
  OneColumn(g);
  TGridTreeListNode* root = g.Add();
  for (int i = 0; i < 3; ++i) {
    TGridTreeListNode* c = root->AddChild();
    for (int j = 0; j < 3; ++j) c->AddChild()->AddChild();
  }
  g.layouts = 0;
  root->Expand(true);
  EXPECT_EQ(g.layouts, 1);
  EXPECT_EQ(g.RowCount(), 1 + 3 * (1 + 3 * 2));
  EXPECT_EQ(g.LockCount(), 0);
}

// A path thousands of levels deep (a remote folder tree) is expanded and
// deleted without recursion: no stack is deep enough for it otherwise.
TEST(TreeListNode, DeepTreeExpandsAndDeletesChildrenFirst) {
  constexpr int kDepth = 100000;
  int deleted = 0;
  std::string first;
  CountingGrid g;
  OneColumn(g);
  TGridTreeListNode* root = g.Add();
  TGridTreeListNode* n = root;
  for (int i = 1; i < kDepth; ++i) n = n->AddChild();
  n->SetStrings(0, "deepest");
  root->Expand(true);
  EXPECT_EQ(g.RowCount(), kDepth);
  EXPECT_EQ(g.NodeRowIndex(n), kDepth - 1);
  g.OnDeletion = [&](TCustomGridTreeList*, TGridTreeListNode* d) {
    if (deleted++ == 0) first = Name(d);
  };
  root->Delete();
  EXPECT_EQ(deleted, kDepth);
  EXPECT_EQ(first, "deepest");
  EXPECT_EQ(g.Count(), 0);
  EXPECT_EQ(g.FocusedNode(), nullptr);
}

// ------------------------------------------------------------------ navigation

// The orders a plain walk of Items() gives.
void WalkAll(TGridTreeListNode* n, std::vector<TGridTreeListNode*>& all, std::vector<TGridTreeListNode*>& visible,
             bool shown) {
  all.push_back(n);
  if (shown) visible.push_back(n);
  for (int i = 0; i < n->Count(); ++i) WalkAll(n->Items(i), all, visible, shown && n->Expanded());
}

void CheckNavigation(TCustomGridTreeList& g) {
  std::vector<TGridTreeListNode*> all, visible;
  for (int i = 0; i < g.Count(); ++i) WalkAll(g.Items(i), all, visible, true);
  ASSERT_EQ(g.RowCount(), int(visible.size()));
  for (size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(all[i]->GetNext(), i + 1 < all.size() ? all[i + 1] : nullptr);
    ASSERT_EQ(all[i]->GetPrev(), i ? all[i - 1] : nullptr);
  }
  for (size_t i = 0; i < visible.size(); ++i) {
    ASSERT_EQ(visible[i]->GetNextVisible(), i + 1 < visible.size() ? visible[i + 1] : nullptr) << i;
    ASSERT_EQ(visible[i]->GetPrevVisible(), i ? visible[i - 1] : nullptr) << i;
    ASSERT_EQ(visible[i]->RowIndex(), int(i));
    ASSERT_EQ(g.NodeAtRow(int(i)), visible[i]);
  }
  for (TGridTreeListNode* n : all) ASSERT_EQ(n->RowIndex() == -1, !n->IsVisible());
  ASSERT_EQ(g.GetLastVisibleNode(), visible.empty() ? nullptr : visible.back());
}

// Random trees changed at random, checked after every change against a
// plain walk: the row cache must never answer for a tree that has changed.
TEST(TreeListNode, NavigationMatchesAPlainWalkThroughRandomChanges) {
  std::mt19937 rng(20240611);
  CountingGrid g;
  OneColumn(g);
  std::vector<TGridTreeListNode*> nodes;
  auto pick = [&]() { return nodes[std::uniform_int_distribution<size_t>(0, nodes.size() - 1)(rng)]; };
  for (int i = 0; i < 150; ++i) {
    const bool root = nodes.empty() || rng() % 5 == 0;
    nodes.push_back(root ? g.Add() : pick()->AddChild());
  }
  for (TGridTreeListNode* n : nodes)
    if (rng() % 3) n->SetExpanded(true);
  CheckNavigation(g);
  auto mutate = [&] {
    TGridTreeListNode* n = pick();
    switch (rng() % 5) {
      case 0: n->SetExpanded(!n->Expanded()); break;
      case 1: nodes.push_back(n->AddChild()); break;
      case 2: nodes.push_back(n->Parent() ? n->Parent()->InsertChild(n) : g.Insert(n)); break;
      case 3: nodes.push_back(g.Add()); break;
      case 4:
        if (nodes.size() > 20) {
          std::vector<TGridTreeListNode*> dying, ignored;
          WalkAll(n, dying, ignored, false);
          n->Delete();
          std::erase_if(nodes, [&](TGridTreeListNode* x) { return std::count(dying.begin(), dying.end(), x) > 0; });
        }
        break;
    }
  };
  for (int step = 0; step < 300; ++step) {
    SCOPED_TRACE(step);
    if (step % 4 == 0) {  // inside a bracket too, where the rows are found on demand
      TGridUpdateScope scope(g);
      CheckNavigation(g);
      mutate();
      CheckNavigation(g);
      mutate();
      CheckNavigation(g);
    } else {
      mutate();
    }
    CheckNavigation(g);
  }
}

}  // namespace
