// A small table of named 64-bit numbers; names are kept upper-cased, so
// names differing only in case share one value.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TNumberItem {
  int64_t Value = 0;
};

class TNumberList {
 public:
  void SetValue(std::string_view name, int64_t value);
  int64_t GetValue(std::string_view name) const;  // 0 when absent
  int Count() const { return int(items_.size()); }
  const std::string& Names(int i) const { return items_[size_t(i)].name; }
  int64_t Values(int i) const { return items_[size_t(i)].item.Value; }
  void Clear() { items_.clear(); }

 private:
  struct Entry {
    std::string name;
    TNumberItem item;
  };
  std::vector<Entry> items_;
};
