#include "platform/stringlist.h"

#include <stdexcept>

#include "platform/stream.h"
#include "platform/text.h"

namespace plat {
namespace {

[[noreturn]] void BadIndex(int i) {
  throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
}

}  // namespace

int StringList::Add(std::string s, void* object) {
  items_.push_back({std::move(s), object});
  return Count() - 1;
}

void StringList::Insert(int i, std::string s, void* object) {
  if (i < 0 || i > Count()) BadIndex(i);
  items_.insert(items_.begin() + i, Item{std::move(s), object});
}

void StringList::Delete(int i) {
  if (i < 0 || i >= Count()) BadIndex(i);
  items_.erase(items_.begin() + i);
}

int StringList::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(items_[size_t(i)].text, s)) return i;
  return -1;
}

int StringList::IndexOfObject(const void* o) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[size_t(i)].object == o) return i;
  return -1;
}

std::string StringList::Name(int i) const {
  const std::string& t = items_[size_t(i)].text;
  const size_t eq = t.find('=');
  return eq == std::string::npos ? std::string() : t.substr(0, eq);
}

int StringList::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& t = items_[size_t(i)].text;
    const size_t eq = t.find('=');
    if (eq != std::string::npos && SameText(std::string_view(t).substr(0, eq), name)) return i;
  }
  return -1;
}

std::string StringList::Value(std::string_view name) const {
  const int i = IndexOfName(name);
  if (i < 0) return std::string();
  const std::string& t = items_[size_t(i)].text;
  return t.substr(t.find('=') + 1);
}

std::string StringList::Text() const {
  std::string r;
  for (const Item& it : items_) {
    r += it.text;
    r += "\r\n";
  }
  return r;
}

void StringList::SetText(std::string_view text) {
  items_.clear();
  size_t i = 0;
  while (i < text.size()) {
    size_t end = i;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    Add(std::string(text.substr(i, end - i)));
    if (end < text.size())  // CR LF counts as one line end
      end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
    i = end;
  }
}

bool StringList::LoadFromFile(const std::string& path) {
  try {
    MemoryStream m;
    m.LoadFromFile(path);
    SetText(m.AsString());
    return true;
  } catch (const EStreamError&) {
    return false;
  }
}

bool StringList::SaveToFile(const std::string& path) const {
  try {
    FileStream f(path, FileStream::kCreate);
    const std::string t = Text();
    f.WriteBuffer(t.data(), int64_t(t.size()));
    return true;
  } catch (const EStreamError&) {
    return false;
  }
}

}  // namespace plat
