// The services of a program without the window system: fixed environment
// and colours, fake windows, memory bitmaps, fixed text measuring, recorded
// menus and clipboard, an in-memory registry. The native build takes them
// as its defaults; TARN_GUI_STANDALONE_SERVICES() defines them as a
// flavour's defaults (in that flavour's one defaults file).
#pragma once
#include "gui/clipboard.h"
#include "gui/color.h"
#include "gui/environment.h"
#include "gui/fake_peer.h"
#include "gui/graphics_backend.h"
#include "gui/menu.h"
#include "gui/registry_ini_file.h"

#define TARN_GUI_STANDALONE_SERVICE(T, Impl) \
  template <>                                \
  T& DefaultService<T>() {                   \
    static Impl instance;                    \
    return instance;                         \
  }

#define TARN_GUI_STANDALONE_SERVICES()                                   \
  TARN_GUI_STANDALONE_SERVICE(Environment, FixedEnvironment)             \
  TARN_GUI_STANDALONE_SERVICE(SystemColorTable, FixedSystemColorTable)   \
  TARN_GUI_STANDALONE_SERVICE(PeerFactory, FakeDesktop)                  \
  TARN_GUI_STANDALONE_SERVICE(GraphicsBackend, MemoryGraphicsBackend)    \
  TARN_GUI_STANDALONE_SERVICE(TextMeasurer, FixedTextMeasurer)           \
  TARN_GUI_STANDALONE_SERVICE(MenuBackend, RecordingMenuBackend)         \
  TARN_GUI_STANDALONE_SERVICE(RegistryAccess, MemoryRegistry)            \
  TARN_GUI_STANDALONE_SERVICE(Clipboard, MemoryClipboard)
