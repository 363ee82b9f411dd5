// The layer's copies of the window system's numbers (gui/win_constants.h,
// gui/color.h) must be the system headers' own.
#include <windows.h>
#include <commctrl.h>

#include "gui/win_names.h"

#include "gui/color.h"
#include "gui/win_constants.h"

#define TARN_GUI_CHECK_CONSTANT(type, name, value) \
  static_assert(static_cast<type>(name) == static_cast<type>(value), #name);
TARN_GUI_USER_CONSTANTS(TARN_GUI_CHECK_CONSTANT)
TARN_GUI_GDI_CONSTANTS(TARN_GUI_CHECK_CONSTANT)
TARN_GUI_COMMCTRL_CONSTANTS(TARN_GUI_CHECK_CONSTANT)
TARN_GUI_COLOR_CONSTANTS(TARN_GUI_CHECK_CONSTANT)
