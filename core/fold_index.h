// Slots of a list found by a text of each without regard to case: a hashed
// index that keeps a slot and its text's folded hash (plat::FoldedHash),
// the texts staying in the list. Of slots whose texts are the same, a look-up
// finds the lowest, as a linear search would find the first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class TFoldIndex {
 public:
  void Insert(uint32_t slot, size_t hash);
  void Erase(uint32_t slot, size_t hash);
  // The lowest slot whose hash is hash and that same() accepts, or -1.
  int64_t Find(size_t hash, const std::function<bool(uint32_t)>& same) const;
  void Clear();

 private:
  struct Cell {
    uint32_t hash = 0;
    uint32_t slot = kEmpty;
  };
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;
  static constexpr uint32_t kErased = 0xFFFFFFFE;
  void Grow();
  std::vector<Cell> cells_;
  size_t used_ = 0;  // cells not empty (erased ones included)
};
