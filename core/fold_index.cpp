#include "core/fold_index.h"

void TFoldIndex::Insert(uint32_t slot, size_t hash) {
  if ((used_ + 1) * 2 > cells_.size()) Grow();
  const size_t mask = cells_.size() - 1;
  for (size_t i = uint32_t(hash) & mask;; i = (i + 1) & mask) {
    Cell& c = cells_[i];
    if (c.slot == kEmpty || c.slot == kErased) {
      used_ += c.slot == kEmpty;
      c = Cell{uint32_t(hash), slot};
      return;
    }
  }
}

void TFoldIndex::Erase(uint32_t slot, size_t hash) {
  if (cells_.empty()) return;
  const size_t mask = cells_.size() - 1;
  for (size_t i = uint32_t(hash) & mask; cells_[i].slot != kEmpty; i = (i + 1) & mask) {
    if (cells_[i].slot == slot) {
      cells_[i].slot = kErased;
      return;
    }
  }
}

int64_t TFoldIndex::Find(size_t hash, const std::function<bool(uint32_t)>& same) const {
  int64_t best = -1;
  if (cells_.empty()) return best;
  const size_t mask = cells_.size() - 1;
  for (size_t i = uint32_t(hash) & mask; cells_[i].slot != kEmpty; i = (i + 1) & mask) {
    const Cell& c = cells_[i];
    if (c.slot == kErased || c.hash != uint32_t(hash) || (best >= 0 && c.slot > best)) continue;
    if (same(c.slot)) best = c.slot;
  }
  return best;
}

void TFoldIndex::Clear() {
  cells_.clear();
  used_ = 0;
}

void TFoldIndex::Grow() {
  // Room for four times the slots in use: erased cells are not carried over,
  // so withdrawing and listing files again does not make the table grow.
  std::vector<Cell> old = std::move(cells_);
  size_t live = 0;
  for (const Cell& c : old) live += c.slot != kEmpty && c.slot != kErased;
  size_t size = 16;
  while (size < 4 * (live + 1)) size *= 2;
  cells_.assign(size, Cell{});
  used_ = 0;
  for (const Cell& c : old)
    if (c.slot != kEmpty && c.slot != kErased) Insert(c.slot, c.hash);
}
