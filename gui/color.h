// Colours: 32-bit values 0x00BBGGRR, or 0x80000000 + a system-colour index
// that stands for that system colour and is resolved to RGB only when
// drawn, through the installed system-colour table. clDefault means
// "default / none": it is a marker for properties and never a colour.
#pragma once
#include <cstdint>
#include <string>

#include "gui/services.h"
#include "gui/win_constants.h"

namespace gui {

using Color = uint32_t;

constexpr Color MakeRGB(int r, int g, int b) {
  return Color(uint8_t(r)) | (Color(uint8_t(g)) << 8) | (Color(uint8_t(b)) << 16);
}
#ifndef RGB
constexpr Color RGB(int r, int g, int b) { return MakeRGB(r, g, b); }
#endif
constexpr int RedOf(Color c) { return int(c & 0xFF); }
constexpr int GreenOf(Color c) { return int((c >> 8) & 0xFF); }
constexpr int BlueOf(Color c) { return int((c >> 16) & 0xFF); }

constexpr Color kSystemColorFlag = 0x80000000u;
constexpr bool IsSystemColor(Color c) { return (c & 0xFF000000u) == kSystemColorFlag; }
constexpr int SystemColorIndex(Color c) { return int(c & 0xFF); }
constexpr Color SystemColor(int index) { return kSystemColorFlag | Color(index); }

// "Default / none": never resolved to RGB, never handed to the drawing
// surface (ColorToRGB throws on it).
constexpr Color clDefault = 0x1FFFFFFF;
constexpr Color clNone = clDefault;

// Named colours.
constexpr Color clBlack = MakeRGB(0, 0, 0);
constexpr Color clMaroon = MakeRGB(128, 0, 0);
constexpr Color clGreen = MakeRGB(0, 128, 0);
constexpr Color clOlive = MakeRGB(128, 128, 0);
constexpr Color clNavy = MakeRGB(0, 0, 128);
constexpr Color clPurple = MakeRGB(128, 0, 128);
constexpr Color clTeal = MakeRGB(0, 128, 128);
constexpr Color clGray = MakeRGB(128, 128, 128);
constexpr Color clSilver = MakeRGB(192, 192, 192);
constexpr Color clRed = MakeRGB(255, 0, 0);
constexpr Color clLime = MakeRGB(0, 255, 0);
constexpr Color clYellow = MakeRGB(255, 255, 0);
constexpr Color clBlue = MakeRGB(0, 0, 255);
constexpr Color clFuchsia = MakeRGB(255, 0, 255);
constexpr Color clAqua = MakeRGB(0, 255, 255);
constexpr Color clWhite = MakeRGB(255, 255, 255);

// System-colour indexes (the window system's COLOR_* numbers), declared
// like the constants of gui/win_constants.h.
#define TARN_GUI_COLOR_CONSTANTS(X) \
  X(int, COLOR_SCROLLBAR, 0) \
  X(int, COLOR_BACKGROUND, 1) \
  X(int, COLOR_ACTIVECAPTION, 2) \
  X(int, COLOR_INACTIVECAPTION, 3) \
  X(int, COLOR_MENU, 4) \
  X(int, COLOR_WINDOW, 5) \
  X(int, COLOR_WINDOWFRAME, 6) \
  X(int, COLOR_MENUTEXT, 7) \
  X(int, COLOR_WINDOWTEXT, 8) \
  X(int, COLOR_CAPTIONTEXT, 9) \
  X(int, COLOR_ACTIVEBORDER, 10) \
  X(int, COLOR_INACTIVEBORDER, 11) \
  X(int, COLOR_APPWORKSPACE, 12) \
  X(int, COLOR_HIGHLIGHT, 13) \
  X(int, COLOR_HIGHLIGHTTEXT, 14) \
  X(int, COLOR_BTNFACE, 15) \
  X(int, COLOR_BTNSHADOW, 16) \
  X(int, COLOR_GRAYTEXT, 17) \
  X(int, COLOR_BTNTEXT, 18) \
  X(int, COLOR_INACTIVECAPTIONTEXT, 19) \
  X(int, COLOR_BTNHIGHLIGHT, 20) \
  X(int, COLOR_3DDKSHADOW, 21) \
  X(int, COLOR_3DLIGHT, 22) \
  X(int, COLOR_INFOTEXT, 23) \
  X(int, COLOR_INFOBK, 24) \
  X(int, COLOR_HOTLIGHT, 26) \
  X(int, COLOR_GRADIENTACTIVECAPTION, 27) \
  X(int, COLOR_GRADIENTINACTIVECAPTION, 28) \
  X(int, COLOR_MENUHILIGHT, 29) \
  X(int, COLOR_MENUBAR, 30)
#ifndef _WINUSER_
TARN_GUI_COLOR_CONSTANTS(TARN_GUI_DECLARE_CONSTANT)
#endif
constexpr int kSystemColorCount = 31;

constexpr Color clScrollBar = SystemColor(COLOR_SCROLLBAR);
constexpr Color clBackground = SystemColor(COLOR_BACKGROUND);
constexpr Color clActiveCaption = SystemColor(COLOR_ACTIVECAPTION);
constexpr Color clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION);
constexpr Color clMenu = SystemColor(COLOR_MENU);
constexpr Color clWindow = SystemColor(COLOR_WINDOW);
constexpr Color clWindowFrame = SystemColor(COLOR_WINDOWFRAME);
constexpr Color clMenuText = SystemColor(COLOR_MENUTEXT);
constexpr Color clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr Color clCaptionText = SystemColor(COLOR_CAPTIONTEXT);
constexpr Color clActiveBorder = SystemColor(COLOR_ACTIVEBORDER);
constexpr Color clInactiveBorder = SystemColor(COLOR_INACTIVEBORDER);
constexpr Color clAppWorkSpace = SystemColor(COLOR_APPWORKSPACE);
constexpr Color clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr Color clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr Color clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr Color clBtnShadow = SystemColor(COLOR_BTNSHADOW);
constexpr Color clGrayText = SystemColor(COLOR_GRAYTEXT);
constexpr Color clBtnText = SystemColor(COLOR_BTNTEXT);
constexpr Color clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT);
constexpr Color clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
constexpr Color cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW);
constexpr Color cl3DLight = SystemColor(COLOR_3DLIGHT);
constexpr Color clInfoText = SystemColor(COLOR_INFOTEXT);
constexpr Color clInfoBk = SystemColor(COLOR_INFOBK);
constexpr Color clHotLight = SystemColor(COLOR_HOTLIGHT);
constexpr Color clMenuHighlight = SystemColor(COLOR_MENUHILIGHT);
constexpr Color clMenuBar = SystemColor(COLOR_MENUBAR);

// The system-colour table used to resolve system colours when drawing.
// The product's table asks the window system; the default one holds the
// classic values, and tests may install their own.
class SystemColorTable {
 public:
  virtual ~SystemColorTable() = default;
  // RGB of index (0..kSystemColorCount-1); 0 for an unknown index.
  virtual Color RGBOf(int index) const = 0;
};

template <>
SystemColorTable& DefaultService<SystemColorTable>();

// A table of fixed values (the classic scheme unless changed).
class FixedSystemColorTable : public SystemColorTable {
 public:
  FixedSystemColorTable();
  Color RGBOf(int index) const override;
  void Set(int index, Color rgb);

 private:
  Color values_[kSystemColorCount];
};

// A system colour through the installed table; an RGB colour as it is
// (the top byte cleared). Throws std::logic_error for clDefault, which
// must be replaced by a real colour before anything is drawn.
Color ColorToRGB(Color c);

// "#RRGGBB" for an RGB colour, the colour's name for a system colour
// ("clBtnFace"), "clDefault" for the marker.
std::string ColorText(Color c);

}  // namespace gui
