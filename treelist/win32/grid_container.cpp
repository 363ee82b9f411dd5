// The hint window's parts that only the window system has: the status-bar
// font of the non-client metrics, and showing a window topmost without
// activating it (the grid's form keeps the activation and the editor its
// focus).
#include <windows.h>

#include "gui/win_names.h"

#include "gui/win32/win32_peer.h"
#include "treelist/grid_container.h"

bool TGridContainerHintWindow::SystemStatusFont(gui::Font& out) {
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof(ncm);
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) return false;
  const LOGFONTA& lf = ncm.lfStatusFont;
  if (lf.lfHeight == 0 || lf.lfFaceName[0] == 0) return false;
  out.SetName(lf.lfFaceName);
  out.SetHeight(lf.lfHeight);
  out.SetCharset(lf.lfCharSet);
  gui::FontStyles s = 0;
  if (lf.lfWeight >= FW_BOLD) s |= gui::fsBold;
  if (lf.lfItalic) s |= gui::fsItalic;
  out.SetStyle(s);
  return true;
}

void TGridContainerHintWindow::ShowNoActivate() {
  gui::WindowPeer* p = Peer();
  if (!p) return;
  if (!dynamic_cast<gui::Win32Peer*>(p)) {
    p->Show(true);  // not a window of the system (a test's stand-in)
    return;
  }
  HWND h = reinterpret_cast<HWND>(p->Handle());
  SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}
