// Text on the clipboard (CF_TEXT). A service: the window system's
// clipboard in the product, a recording stand-in natively.
#pragma once
#include <string>
#include <vector>

#include "gui/services.h"

namespace gui {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual bool HasText() const = 0;
  // "" when there is no text.
  virtual std::string GetText() const = 0;
  virtual bool SetText(const std::string& text) = 0;
};

class MemoryClipboard : public Clipboard {
 public:
  bool HasText() const override { return has_; }
  std::string GetText() const override { return has_ ? text_ : std::string(); }
  bool SetText(const std::string& text) override;
  void Clear() { has_ = false; text_.clear(); }
  // Every text set, in order.
  std::vector<std::string> history;

 private:
  bool has_ = false;
  std::string text_;
};

inline Clipboard& TheClipboard() { return Service<Clipboard>::Get(); }
template <>
Clipboard& DefaultService<Clipboard>();

}  // namespace gui
