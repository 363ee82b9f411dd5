// The product's services: the window system's windows, menus, environment,
// registry and clipboard. Bitmaps, text measuring and system colours start
// as the portable stand-ins and become the window system's when the
// program starts (Application::Initialize), so that code running before
// that, and tests, draw the same everywhere.
#include <windows.h>

#include "gui/win_names.h"

#include "gui/standalone_services.h"
#include "gui/win32/win32_menus.h"
#include "gui/win32/win32_peer.h"
#include "gui/win32/win32_system.h"

namespace gui {

TARN_GUI_STANDALONE_SERVICE(Environment, Win32Environment)
TARN_GUI_STANDALONE_SERVICE(SystemColorTable, FixedSystemColorTable)
TARN_GUI_STANDALONE_SERVICE(PeerFactory, Win32PeerFactory)
TARN_GUI_STANDALONE_SERVICE(GraphicsBackend, MemoryGraphicsBackend)
TARN_GUI_STANDALONE_SERVICE(TextMeasurer, FixedTextMeasurer)
TARN_GUI_STANDALONE_SERVICE(MenuBackend, Win32MenuBackend)
TARN_GUI_STANDALONE_SERVICE(RegistryAccess, Win32Registry)
TARN_GUI_STANDALONE_SERVICE(Clipboard, Win32Clipboard)

}  // namespace gui
