// The hint window without the window system: no status-bar font to read,
// and showing is plain showing.
#include "treelist/grid_container.h"

bool TGridContainerHintWindow::SystemStatusFont(gui::Font&) { return false; }

void TGridContainerHintWindow::ShowNoActivate() {
  if (gui::WindowPeer* p = Peer()) p->Show(true);
}
