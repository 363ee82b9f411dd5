#include "core/config_wrapper.h"

EConfig::EConfig(int code)
    : std::runtime_error("Config Exception " + std::to_string(code)), Code(code) {}

void TConfig::LoadFromFile(const std::string& fileName) {
  const int code = handle_.LoadFromFile(fileName);
  if (code < 0) throw EConfig(code);
}

void TConfig::LoadFromBuffer(const char* buffer, size_t length) {
  handle_.LoadFromBuffer(buffer, length);
}

bool TConfig::SetCurrentNode(const std::string& path) {
  TConfigNode* node = handle_.Current();
  size_t i = 0;
  if (!path.empty() && path[0] == '\\') {
    node = &handle_.Root();
    i = 1;
  }
  while (i < path.size()) {
    size_t end = path.find('\\', i);
    if (end == std::string::npos) end = path.size();
    if (end > i) {
      node = node->FindSection(path.substr(i, end - i));
      if (!node) return false;
    }
    i = end + 1;
  }
  handle_.SetCurrent(node);
  return true;
}

int TConfig::ItemCount() const { return int(handle_.Current()->Items.size()); }

std::string TConfig::ItemName(int index) {
  const auto& items = handle_.Current()->Items;
  if (index < 0 || size_t(index) >= items.size()) return std::string();
  handle_.SetCurrentItem(items[size_t(index)].node.get());
  return items[size_t(index)].node->Name;
}

bool TConfig::SelectItem(const std::string& name) {
  TConfigNode* item = handle_.Current()->FindItem(name);
  if (!item) item = handle_.Current()->AddItem(name);
  handle_.SetCurrentItem(item);
  return true;
}

std::string TConfig::GetValue(const std::string& name) const {
  const TConfigNode* item = handle_.CurrentItem();
  const std::string* v = item ? item->FindValue(name) : nullptr;
  return v ? *v : handle_.Empty();
}
