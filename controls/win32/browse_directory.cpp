#include "controls/win32/browse_directory.h"

#include <windows.h>

#include "gui/win_names.h"

#include "gui/win32/std_controls.h"

namespace {

constexpr size_t kLongestPreset = 1024;

}  // namespace

bool TBrowseDirectory::Execute() {
  std::string chosen;
  if (!gui::BrowseForFolder("Select a Folder", directory_.substr(0, kLongestPreset), chosen,
                            [this](uintptr_t dialog) {
                              if (OnShown) OnShown(this, dialog);
                            }))
    return false;
  directory_ = chosen;
  return true;
}
