// The shell's folder picker, opened at a preset folder.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "gui/component.h"

class TBrowseDirectory : public gui::Component {
 public:
  explicit TBrowseDirectory(gui::Component* owner = nullptr) : gui::Component(owner) {}

  // The folder the picker opens at (cut to 1024 characters), and the one
  // picked after Execute answers true.
  const std::string& sDirectory() const { return directory_; }
  void SetsDirectory(const std::string& d) { directory_ = d; }
  // Shows the picker, titled "Select a Folder", file-system folders only;
  // false on Cancel (sDirectory stays).
  bool Execute();
  // The picker is up, at the preset folder (its window's handle).
  std::function<void(TBrowseDirectory* sender, uintptr_t dialog)> OnShown;

 private:
  std::string directory_;
};
