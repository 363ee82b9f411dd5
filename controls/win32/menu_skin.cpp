// The menu skin's surface as the window system knows it.
#include <windows.h>

#include "gui/win_names.h"

#include <cstring>

#include "controls/menu_skin.h"
#include "gui/win32/gdi_canvas.h"

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

std::unique_ptr<gui::Canvas> MenuSkinPopupFrame(const gui::Canvas& c, gui::Size& size) {
  HDC dc = DeviceOf(c);
  HWND w = dc ? WindowFromDC(dc) : nullptr;
  char name[16] = {};
  // "#32768": the system's class of popup menu windows.
  if (!w || !GetClassNameA(w, name, sizeof name) || std::strcmp(name, "#32768") != 0) return nullptr;
  RECT r{};
  GetWindowRect(w, &r);
  size = {r.right - r.left, r.bottom - r.top};
  HDC whole = GetWindowDC(w);
  if (!whole) return nullptr;
  return std::make_unique<gui::GdiCanvas>(whole, size, "popup frame", [w](HDC d) { ReleaseDC(w, d); });
}
