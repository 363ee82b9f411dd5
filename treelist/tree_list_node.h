// One row of the tree-list grid: its owner, its parent, its children and
// one pointer of the application's. Everything the grid shows of a node
// (texts, images, selection, focus) is kept by the owner; the node's
// members of that kind ask the owner.
//
// Nodes are made by the owner (Add, Insert, AddChild, InsertChild) and
// deleted with Delete(), which takes the whole subtree with it, children
// before parents, and tells the owner of each node (OnDeletion) while the
// node is still whole. The walks over a subtree (deleting, expanding) use
// no recursion, so a tree thousands of levels deep is handled like any
// other.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "treelist/grid_value.h"

class TCustomGridTreeList;
class TGridTreeListNode;

// The children of a node, or the root nodes of a grid, in display order.
// Each node knows its position, so finding a node's index is immediate;
// taking the first node off is too (a parent that dies frees its children
// first to last).
class TGridTreeListNodeList {
 public:
  int Count() const { return int(items_.size() - head_); }
  bool Empty() const { return items_.size() == head_; }
  // Index must be within 0..Count()-1.
  TGridTreeListNode* At(int index) const { return items_[head_ + size_t(index)]; }
  TGridTreeListNode* Front() const { return items_[head_]; }
  TGridTreeListNode* Back() const { return items_.back(); }
  // The node's index here, -1 when it is not in this list.
  int IndexOf(const TGridTreeListNode* node) const;
  // Index within 0..Count().
  void Insert(int index, TGridTreeListNode* node);
  void Append(TGridTreeListNode* node) { Insert(Count(), node); }
  void RemoveAt(int index);
  // The nodes in order (for the owner's sort and clearing).
  std::vector<TGridTreeListNode*> Items() const;
  // Replaces the order (the same nodes, sorted).
  void Assign(const std::vector<TGridTreeListNode*>& nodes);
  void Clear();

 private:
  void Stamp(size_t from);
  std::vector<TGridTreeListNode*> items_;
  size_t head_ = 0;  // positions before it are free
};

class TGridTreeListNode {
 public:
  // Raises EInvalidGridTreeListOperation ("Invalid Owner
  // TGridTreeListNode") without an owner. Only the owner's CreateNode
  // makes nodes.
  explicit TGridTreeListNode(TCustomGridTreeList* owner);
  TGridTreeListNode(const TGridTreeListNode&) = delete;
  TGridTreeListNode& operator=(const TGridTreeListNode&) = delete;

  // Deletes this node and its subtree (see the file comment).
  void Delete();
  // Deletes every child (each with its subtree), first to last.
  void DeleteChildren();

  TGridTreeListNode* AddChild() { return InsertChild(nullptr); }
  // A new child before beforeNode (nullptr: appended). A node without
  // children ignores beforeNode; otherwise a beforeNode that is not a
  // child raises EInvalidGridTreeListOperation before anything is made.
  TGridTreeListNode* InsertChild(TGridTreeListNode* beforeNode);

  bool Expanded() const { return expanded_; }
  // Fires OnExpanding/OnCollapsing (a veto changes nothing), moves the
  // top and focused nodes out of a collapsing subtree, relayouts and
  // fires OnExpanded/OnCollapsed. Nothing without HasChildren.
  void SetExpanded(bool value);
  // Expands this node, and with recurse its whole subtree, inside one
  // update bracket.
  void Expand(bool recurse);
  void Collapse() { SetExpanded(false); }
  // Expands the collapsed ancestors and scrolls the node into view.
  void MakeVisible();

  bool HasChildren() const { return hasChildren_; }
  // Shows an expand button even without children (never hides it while
  // there are children).
  void SetHasChildren(bool value);
  bool Deleting() const { return deleting_; }

  // The application's pointer: never read or freed by the grid.
  void* Data() const { return data_; }
  void SetData(void* data);

  TCustomGridTreeList* Owner() const { return owner_; }
  TGridTreeListNode* Parent() const { return parent_; }

  int Count() const { return children_ ? children_->Count() : 0; }
  // nullptr outside 0..Count()-1.
  TGridTreeListNode* Items(int index) const;
  // Position among its siblings (the root list for a root node); -1 when
  // it is in no list.
  int Index() const;
  int IndexOf(const TGridTreeListNode* node) const;
  int Level() const;
  // Whether node is an ancestor (not the node itself).
  bool HasAsParent(const TGridTreeListNode* node) const;
  bool IsLast() const;
  // Every ancestor is expanded.
  bool IsVisible() const;

  TGridTreeListNode* GetFirstChild() const { return Items(0); }
  TGridTreeListNode* GetLastChild() const;
  TGridTreeListNode* GetNextSibling() const;
  TGridTreeListNode* GetPrevSibling() const;
  TGridTreeListNode* GetPrevSiblingOrParent() const;
  // Full tree order, expanded or not.
  TGridTreeListNode* GetNext() const;
  TGridTreeListNode* GetPrev() const;
  // Visible rows (the owner's row cache when it is valid).
  TGridTreeListNode* GetNextVisible() const;
  TGridTreeListNode* GetPrevVisible() const;
  TGridTreeListNode* GetLastVisibleDescendant() const;

  // What the owner keeps for the node.
  int ImageIndex() const;
  void SetImageIndex(int value);
  int SelectedIndex() const;
  void SetSelectedIndex(int value);
  int StateIndex() const;
  void SetStateIndex(int value);
  std::string Strings(int column) const;
  void SetStrings(int column, const std::string& text);
  TGridValue Values(int column) const;
  bool Focused() const;
  void SetFocused(bool value);
  bool Selected() const;
  void SetSelected(bool value);
  // Index among the visible rows, -1 when not visible.
  int RowIndex() const;

 protected:
  // Nodes are deleted through Delete(), which runs the bookkeeping while
  // the node is whole; the owner frees the memory afterwards.
  virtual ~TGridTreeListNode() = default;

 private:
  friend class TGridTreeListNodeList;
  friend class TCustomGridTreeList;

  TGridTreeListNodeList& ListOf() const;
  // The bookkeeping of one node whose children are gone already.
  void DestroyOne();
  void LinkChild(TGridTreeListNode* node, int index);
  TGridTreeListNode* ForeignBeforeCheck(TGridTreeListNode* beforeNode) const;

  void* data_ = nullptr;
  TCustomGridTreeList* owner_;
  TGridTreeListNode* parent_ = nullptr;
  std::unique_ptr<TGridTreeListNodeList> children_;
  int listPos_ = -1;  // position in the list that holds it (see the list)
  // The owner's layout values: the row this node had when the row cache
  // of generation rowGeneration_ was built.
  int row_ = -1;
  uint32_t rowGeneration_ = 0;
  bool deleting_ = false;
  bool expanded_ = false;
  bool hasChildren_ = false;
};
