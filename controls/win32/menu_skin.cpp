// The menu skin's surface as the window system knows it.
#include <windows.h>

#include "gui/win_names.h"

#include "controls/menu_skin.h"

namespace {

HDC DeviceOf(const gui::Canvas& c) { return reinterpret_cast<HDC>(c.Handle()); }

}  // namespace

gui::Color MenuSkinNearestColor(const gui::Canvas& c, gui::Color rgb) {
  HDC dc = DeviceOf(c);
  if (!dc) return rgb;
  const COLORREF n = GetNearestColor(dc, rgb);
  return n == CLR_INVALID ? rgb : gui::Color(n);
}

void MenuSkinSystemFont(gui::Font& f) {
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  gui::Font menu;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) {
    const LOGFONTA& lf = m.lfMenuFont;
    menu.SetName(lf.lfFaceName);
    menu.SetHeight(lf.lfHeight);
    const auto bit = [](bool on, unsigned flag) { return on ? flag : 0u; };
    menu.SetStyle(bit(lf.lfWeight >= FW_BOLD, gui::fsBold) | bit(lf.lfItalic, gui::fsItalic) |
                  bit(lf.lfUnderline, gui::fsUnderline) | bit(lf.lfStrikeOut, gui::fsStrikeOut));
    menu.SetCharset(lf.lfCharSet);
  }
  menu.SetColor(gui::clMenuText);
  f.Assign(menu);
}
