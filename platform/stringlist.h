// An ordered list of 8-bit strings with an optional object per entry and
// case-insensitive look-up (under plat::CompareText).
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace plat {

class StringList {
 public:
  int Count() const { return int(items_.size()); }
  bool Empty() const { return items_.empty(); }
  const std::string& operator[](int i) const { return items_[size_t(i)].text; }
  std::string& operator[](int i) { return items_[size_t(i)].text; }
  void* Object(int i) const { return items_[size_t(i)].object; }
  void SetObject(int i, void* o) { items_[size_t(i)].object = o; }

  int Add(std::string s, void* object = nullptr);
  void Insert(int i, std::string s, void* object = nullptr);
  void Delete(int i);
  void Clear() { items_.clear(); }
  // First index whose text equals s ignoring case, -1 when none.
  int IndexOf(std::string_view s) const;
  int IndexOfObject(const void* o) const;

  // Name=value lines.
  std::string Name(int i) const;
  std::string Value(std::string_view name) const;
  int IndexOfName(std::string_view name) const;

  // The lines joined with CR LF (each line terminated), and split back
  // (CR LF, LF or CR end a line).
  std::string Text() const;
  void SetText(std::string_view text);
  // false when the file cannot be read / written.
  bool LoadFromFile(const std::string& path);
  bool SaveToFile(const std::string& path) const;

 private:
  struct Item {
    std::string text;
    void* object;
  };
  std::vector<Item> items_;
};

}  // namespace plat
