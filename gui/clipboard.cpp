#include "gui/clipboard.h"

namespace gui {

bool MemoryClipboard::SetText(const std::string& text) {
  has_ = true;
  text_ = text;
  history.push_back(text);
  return true;
}

}  // namespace gui
