#include "gui/environment.h"

#include "gui/win_constants.h"

namespace gui {

Size Environment::ScreenSize() const { return {SystemMetric(SM_CXSCREEN), SystemMetric(SM_CYSCREEN)}; }

bool Environment::ButtonsSwapped() const { return SystemMetric(SM_SWAPBUTTON) != 0; }

FixedEnvironment::FixedEnvironment() {
  metrics_ = {{SM_CXSCREEN, 1024}, {SM_CYSCREEN, 768},   {SM_CXVSCROLL, 16}, {SM_CYHSCROLL, 16},
              {SM_CYCAPTION, 18},  {SM_CXBORDER, 1},     {SM_CYBORDER, 1},   {SM_CYMENU, 19},
              {SM_CYVSCROLL, 16},  {SM_CXHSCROLL, 16},   {SM_CXDOUBLECLK, 4}, {SM_CYDOUBLECLK, 4},
              {SM_CXEDGE, 2},      {SM_CYEDGE, 2},       {SM_CXDRAG, 4},     {SM_CYDRAG, 4},
              {SM_CXICON, 32},     {SM_CYICON, 32},      {SM_CXSMICON, 16},  {SM_CYSMICON, 16},
              {SM_CXMENUCHECK, 13}, {SM_CYMENUCHECK, 13}, {SM_SWAPBUTTON, 0}, {SM_MIDEASTENABLED, 0}};
}

int FixedEnvironment::SystemMetric(int index) const {
  auto it = metrics_.find(index);
  return it == metrics_.end() ? 0 : it->second;
}

void FixedEnvironment::SetKeyDown(int vk, bool down) {
  if (down)
    down_.insert(vk);
  else
    down_.erase(vk);
}

void FixedEnvironment::SetKeyToggled(int vk, bool on) {
  if (on)
    toggled_.insert(vk);
  else
    toggled_.erase(vk);
}

}  // namespace gui
