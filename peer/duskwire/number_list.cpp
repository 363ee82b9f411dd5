#include "peer/duskwire/number_list.h"

#include "platform/text.h"

void TNumberList::SetValue(std::string_view name, int64_t value) {
  std::string key = plat::UpperCase(name);
  for (auto& e : items_) {
    if (e.name == key) {
      e.item.Value = value;
      return;
    }
  }
  items_.push_back({std::move(key), TNumberItem{value}});
}

int64_t TNumberList::GetValue(std::string_view name) const {
  std::string key = plat::UpperCase(name);
  for (const auto& e : items_)
    if (e.name == key) return e.item.Value;
  return 0;
}
