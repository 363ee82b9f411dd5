#include "treelist/tree_list_node.h"

#include <exception>

#include "treelist/custom_tree_list.h"
#include "treelist/tree_list_error.h"

// ------------------------------------------------------------------ list

int TGridTreeListNodeList::IndexOf(const TGridTreeListNode* node) const {
  if (!node) return -1;
  const size_t pos = size_t(node->listPos_);
  if (node->listPos_ >= 0 && pos >= head_ && pos < items_.size() && items_[pos] == node)
    return int(pos - head_);
  return -1;
}

void TGridTreeListNodeList::Insert(int index, TGridTreeListNode* node) {
  if (index == 0 && head_ > 0) {  // reuse the room the front left
    items_[--head_] = node;
    node->listPos_ = int(head_);
    return;
  }
  const size_t pos = head_ + size_t(index);
  items_.insert(items_.begin() + std::ptrdiff_t(pos), node);
  Stamp(pos);
}

void TGridTreeListNodeList::RemoveAt(int index) {
  const size_t pos = head_ + size_t(index);
  items_[pos]->listPos_ = -1;
  if (index != 0) {
    items_.erase(items_.begin() + std::ptrdiff_t(pos));
    Stamp(pos);
    return;
  }
  items_[head_++] = nullptr;
  if (head_ == items_.size()) {
    Clear();
  } else if (head_ >= 64 && head_ * 2 >= items_.size()) {
    items_.erase(items_.begin(), items_.begin() + std::ptrdiff_t(head_));
    head_ = 0;
    Stamp(0);
  }
}

std::vector<TGridTreeListNode*> TGridTreeListNodeList::Items() const {
  return {items_.begin() + std::ptrdiff_t(head_), items_.end()};
}

void TGridTreeListNodeList::Assign(const std::vector<TGridTreeListNode*>& nodes) {
  items_ = nodes;
  head_ = 0;
  Stamp(0);
}

void TGridTreeListNodeList::Clear() {
  items_.clear();
  head_ = 0;
}

void TGridTreeListNodeList::Stamp(size_t from) {
  for (size_t i = from; i < items_.size(); ++i) items_[i]->listPos_ = int(i);
}

// ------------------------------------------------------------------ node

TGridTreeListNode::TGridTreeListNode(TCustomGridTreeList* owner) : owner_(owner) {
  if (!owner) RaiseTreeListError("Invalid Owner TGridTreeListNode");
}

TGridTreeListNodeList& TGridTreeListNode::ListOf() const {
  return parent_ ? *parent_->children_ : owner_->roots_;
}


void TGridTreeListNode::Delete() {
  auto quiet = owner_->QuietLayout();
  std::exception_ptr failure;
  deleting_ = true;
  TGridTreeListNode* n = this;
  // Children before parents, first to last, without recursion: go down the
  // first children to a leaf, delete it, go on from its parent.
  for (;;) {
    while (n->Count() > 0) {
      n = n->children_->Front();
      n->deleting_ = true;
    }
    TGridTreeListNode* parent = n->parent_;
    const bool done = n == this;
    try {
      n->DestroyOne();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    delete n;
    if (done) break;
    n = parent;
  }
  if (failure) std::rethrow_exception(failure);
}

void TGridTreeListNode::DeleteChildren() {
  auto quiet = owner_->QuietLayout();
  while (Count() > 0) children_->Front()->Delete();
}

void TGridTreeListNode::DestroyOne() {
  TCustomGridTreeList& o = *owner_;
  // The row cache must not outlive a node it holds.
  if (o.rowCacheValid_ && rowGeneration_ == o.rowGeneration_) o.InvalidateRowCache();
  TGridTreeListNode* prevSiblingOrParent = nullptr;
  TGridTreeListNode* nextVisible = nullptr;
  bool wasLast = false, wasVisible = false;
  if (!o.clearing_) {
    // Inside a dying subtree the next visible row matters only to a node
    // that holds the top, the focus or the anchor (finding it climbs the
    // tree, which a deep subtree cannot afford node by node).
    const bool inDyingSubtree = parent_ && parent_->deleting_;
    prevSiblingOrParent = GetPrevSiblingOrParent();
    if (!inDyingSubtree || o.topVisibleNode_ == this || o.focusedNode_ == this || o.Anchor() == this)
      nextVisible = GetNextVisible();
    wasLast = IsLast();
    wasVisible = !inDyingSubtree && IsVisible();
  }
  if (parent_) {
    if (parent_->children_) {
      parent_->children_->RemoveAt(Index());
      if (parent_->children_->Empty()) {
        parent_->children_.reset();
        if (!o.clearing_) {
          parent_->hasChildren_ = o.NodeHasChildren(parent_);
          parent_->expanded_ = false;
        }
      }
    }
  } else if (!o.clearing_) {
    const int index = Index();
    if (index >= 0) o.roots_.RemoveAt(index);
  }
  children_.reset();
  o.NodeDeleted(this, prevSiblingOrParent, nextVisible, wasLast, wasVisible);
}

TGridTreeListNode* TGridTreeListNode::ForeignBeforeCheck(TGridTreeListNode* beforeNode) const {
  if (beforeNode && children_ && beforeNode->parent_ != this)
    RaiseTreeListError("Invalid BeforeNode: not a child of this TGridTreeListNode");
  return children_ ? beforeNode : nullptr;
}

TGridTreeListNode* TGridTreeListNode::InsertChild(TGridTreeListNode* beforeNode) {
  beforeNode = ForeignBeforeCheck(beforeNode);
  TGridTreeListNode* node = owner_->CreateNode();
  LinkChild(node, beforeNode ? beforeNode->Index() : Count());
  if (!hasChildren_) {
    hasChildren_ = true;
    owner_->RefreshNode(this, false);
  }
  owner_->NodeAdded(node);
  return node;
}

void TGridTreeListNode::LinkChild(TGridTreeListNode* node, int index) {
  node->parent_ = this;
  if (!children_) children_ = std::make_unique<TGridTreeListNodeList>();
  children_->Insert(index, node);
}

void TGridTreeListNode::SetExpanded(bool value) {
  if (!hasChildren_ || value == expanded_) return;
  TCustomGridTreeList& o = *owner_;
  if (!(value ? o.DoExpanding(this) : o.DoCollapsing(this))) return;
  if (!value) {
    if (o.topVisibleNode_ && o.topVisibleNode_->HasAsParent(this)) o.SetTopVisibleNode(this);
    if (o.focusedNode_ && o.focusedNode_->HasAsParent(this) && !o.FocusForCollapse(this)) return;
  }
  expanded_ = value;
  if (!o.Destroying()) o.LayoutChanged();
  o.RefreshNode(this, true);
  if (value)
    o.DoExpanded(this);
  else
    o.DoCollapsed(this);
}

void TGridTreeListNode::Expand(bool recurse) {
  if (!hasChildren_) return;
  TGridUpdateScope scope(*owner_, !owner_->Locked());
  SetExpanded(true);
  if (!recurse) return;
  // The subtree in tree order, children read after their parent has
  // expanded (an OnExpanding handler may have just added them).
  TGridTreeListNode* n = GetFirstChild();
  while (n) {
    n->SetExpanded(true);
    if (n->Count() > 0) {
      n = n->GetFirstChild();
      continue;
    }
    while (n != this && !n->GetNextSibling()) n = n->parent_;
    n = n == this ? nullptr : n->GetNextSibling();
  }
}

void TGridTreeListNode::MakeVisible() { owner_->MakeNodeVisible(this); }

void TGridTreeListNode::SetHasChildren(bool value) {
  if (value == hasChildren_) return;
  hasChildren_ = value || Count() > 0;
  owner_->RefreshNode(this, false);
}

void TGridTreeListNode::SetData(void* data) {
  if (owner_->MaySetData(this)) data_ = data;
}

// ------------------------------------------------------------------ navigation

TGridTreeListNode* TGridTreeListNode::Items(int index) const {
  return children_ && index >= 0 && index < children_->Count() ? children_->At(index) : nullptr;
}

int TGridTreeListNode::Index() const {
  if (parent_ && !parent_->children_) return -1;
  return ListOf().IndexOf(this);
}

int TGridTreeListNode::IndexOf(const TGridTreeListNode* node) const {
  return node && node->parent_ == this && children_ ? children_->IndexOf(node) : -1;
}

int TGridTreeListNode::Level() const {
  int level = 0;
  for (const TGridTreeListNode* p = parent_; p; p = p->parent_) ++level;
  return level;
}

bool TGridTreeListNode::HasAsParent(const TGridTreeListNode* node) const {
  if (!node) return false;
  for (const TGridTreeListNode* p = parent_; p; p = p->parent_)
    if (p == node) return true;
  return false;
}

bool TGridTreeListNode::IsLast() const {
  const int index = Index();
  return index >= 0 && index == ListOf().Count() - 1;
}

bool TGridTreeListNode::IsVisible() const {
  for (const TGridTreeListNode* p = parent_; p; p = p->parent_)
    if (!p->expanded_) return false;
  return true;
}

TGridTreeListNode* TGridTreeListNode::GetLastChild() const {
  return children_ && !children_->Empty() ? children_->Back() : nullptr;
}

TGridTreeListNode* TGridTreeListNode::GetNextSibling() const {
  const int index = Index();
  if (index < 0) return nullptr;
  const TGridTreeListNodeList& list = ListOf();
  return index + 1 < list.Count() ? list.At(index + 1) : nullptr;
}

TGridTreeListNode* TGridTreeListNode::GetPrevSibling() const {
  const int index = Index();
  return index > 0 ? ListOf().At(index - 1) : nullptr;
}

TGridTreeListNode* TGridTreeListNode::GetPrevSiblingOrParent() const {
  TGridTreeListNode* prev = GetPrevSibling();
  return prev ? prev : parent_;
}

TGridTreeListNode* TGridTreeListNode::GetNext() const {
  if (Count() > 0) return GetFirstChild();
  for (const TGridTreeListNode* n = this; n; n = n->parent_)
    if (TGridTreeListNode* next = n->GetNextSibling()) return next;
  return nullptr;
}

TGridTreeListNode* TGridTreeListNode::GetPrev() const {
  TGridTreeListNode* n = GetPrevSibling();
  if (!n) return parent_;
  while (n->Count() > 0) n = n->GetLastChild();
  return n;
}

TGridTreeListNode* TGridTreeListNode::GetNextVisible() const { return owner_->NextVisibleNode(this); }

TGridTreeListNode* TGridTreeListNode::GetPrevVisible() const { return owner_->PrevVisibleNode(this); }

TGridTreeListNode* TGridTreeListNode::GetLastVisibleDescendant() const {
  const TGridTreeListNode* n = this;
  while (n->expanded_ && n->Count() > 0) n = n->GetLastChild();
  return const_cast<TGridTreeListNode*>(n);
}

// ------------------------------------------------------------------ owner's values

int TGridTreeListNode::ImageIndex() const { return owner_->GetNodeImageIndex(this); }
void TGridTreeListNode::SetImageIndex(int value) { owner_->SetNodeImageIndex(this, value); }
int TGridTreeListNode::SelectedIndex() const { return owner_->GetNodeSelectedIndex(this); }
void TGridTreeListNode::SetSelectedIndex(int value) { owner_->SetNodeSelectedIndex(this, value); }
int TGridTreeListNode::StateIndex() const { return owner_->GetNodeStateIndex(this); }
void TGridTreeListNode::SetStateIndex(int value) { owner_->SetNodeStateIndex(this, value); }
std::string TGridTreeListNode::Strings(int column) const { return owner_->GetNodeString(this, column); }
void TGridTreeListNode::SetStrings(int column, const std::string& text) {
  owner_->SetNodeString(this, column, text);
}
TGridValue TGridTreeListNode::Values(int column) const { return owner_->GetNodeValue(this, column); }
bool TGridTreeListNode::Focused() const { return owner_->FocusedNode() == this; }

void TGridTreeListNode::SetFocused(bool value) {
  if (value)
    owner_->SetFocusedNode(this, owner_->FocusedColumn(), true);
  else if (Focused())
    owner_->SetFocusedNode(nullptr, owner_->FocusedColumn(), false);
}

bool TGridTreeListNode::Selected() const {
  return owner_->IsMultiSelect() ? owner_->IsNodeSelected(this) : Focused();
}

void TGridTreeListNode::SetSelected(bool value) { owner_->SetNodeSelected(this, value); }

int TGridTreeListNode::RowIndex() const { return owner_->NodeRowIndex(this); }
