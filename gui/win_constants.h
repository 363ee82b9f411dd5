// The window system's numbers that portable control code uses: message
// numbers, virtual keys, dialog codes, hit-test codes, styles, text and
// edge flags, raster operations, scroll codes. The values are the window
// system's own, so that portable code can be written, and tested natively,
// message by message.
//
// Each group is an X-macro list X(type, NAME, value). The constants are
// declared in namespace gui unless the system header that defines them as
// macros is already included (then the macros, with the same values, stand
// in; a Win32 source checks the lists against them with static_asserts).
// Portable code therefore names these constants unqualified.
#pragma once
#include <cstdint>

// ---------------------------------------------------------------- winuser
#define TARN_GUI_USER_CONSTANTS(X)                                                           \
  X(unsigned, WM_NULL, 0x0000) X(unsigned, WM_CREATE, 0x0001) X(unsigned, WM_DESTROY, 0x0002) \
  X(unsigned, WM_MOVE, 0x0003) X(unsigned, WM_SIZE, 0x0005) X(unsigned, WM_ACTIVATE, 0x0006)  \
  X(unsigned, WM_SETFOCUS, 0x0007) X(unsigned, WM_KILLFOCUS, 0x0008)                          \
  X(unsigned, WM_ENABLE, 0x000A) X(unsigned, WM_SETREDRAW, 0x000B)                            \
  X(unsigned, WM_SETTEXT, 0x000C) X(unsigned, WM_GETTEXT, 0x000D)                             \
  X(unsigned, WM_GETTEXTLENGTH, 0x000E) X(unsigned, WM_PAINT, 0x000F)                         \
  X(unsigned, WM_CLOSE, 0x0010) X(unsigned, WM_QUIT, 0x0012) X(unsigned, WM_ERASEBKGND, 0x0014) \
  X(unsigned, WM_SYSCOLORCHANGE, 0x0015) X(unsigned, WM_SHOWWINDOW, 0x0018)                   \
  X(unsigned, WM_SETTINGCHANGE, 0x001A) X(unsigned, WM_ACTIVATEAPP, 0x001C)                   \
  X(unsigned, WM_CANCELMODE, 0x001F) X(unsigned, WM_SETCURSOR, 0x0020)                        \
  X(unsigned, WM_MOUSEACTIVATE, 0x0021) X(unsigned, WM_GETMINMAXINFO, 0x0024)                 \
  X(unsigned, WM_DRAWITEM, 0x002B) X(unsigned, WM_MEASUREITEM, 0x002C)                        \
  X(unsigned, WM_SETFONT, 0x0030) X(unsigned, WM_GETFONT, 0x0031)                             \
  X(unsigned, WM_WINDOWPOSCHANGING, 0x0046) X(unsigned, WM_WINDOWPOSCHANGED, 0x0047)          \
  X(unsigned, WM_NOTIFY, 0x004E) X(unsigned, WM_CONTEXTMENU, 0x007B)                          \
  X(unsigned, WM_QUERYNEWPALETTE, 0x030F) X(unsigned, BM_GETCHECK, 0x00F0)                      \
  X(unsigned, BM_SETCHECK, 0x00F1) X(int, BST_CHECKED, 1)                                      \
  X(unsigned, WM_NCCREATE, 0x0081) X(unsigned, WM_NCDESTROY, 0x0082)                          \
  X(unsigned, WM_NCCALCSIZE, 0x0083) X(unsigned, WM_NCHITTEST, 0x0084)                        \
  X(unsigned, WM_NCPAINT, 0x0085) X(unsigned, WM_NCACTIVATE, 0x0086)                          \
  X(unsigned, WM_GETDLGCODE, 0x0087) X(unsigned, WM_NCMOUSEMOVE, 0x00A0)                      \
  X(unsigned, WM_NCLBUTTONDOWN, 0x00A1) X(unsigned, WM_KEYFIRST, 0x0100)                      \
  X(unsigned, WM_KEYDOWN, 0x0100) X(unsigned, WM_KEYUP, 0x0101) X(unsigned, WM_CHAR, 0x0102)  \
  X(unsigned, WM_DEADCHAR, 0x0103) X(unsigned, WM_SYSKEYDOWN, 0x0104)                         \
  X(unsigned, WM_SYSKEYUP, 0x0105) X(unsigned, WM_SYSCHAR, 0x0106)                            \
  X(unsigned, WM_KEYLAST, 0x0109) X(unsigned, WM_INITDIALOG, 0x0110)                          \
  X(unsigned, WM_COMMAND, 0x0111) X(unsigned, WM_SYSCOMMAND, 0x0112) X(unsigned, WM_TIMER, 0x0113) \
  X(unsigned, WM_HSCROLL, 0x0114) X(unsigned, WM_VSCROLL, 0x0115)                             \
  X(unsigned, WM_INITMENU, 0x0116) X(unsigned, WM_INITMENUPOPUP, 0x0117)                      \
  X(unsigned, WM_MENUSELECT, 0x011F) X(unsigned, WM_ENTERIDLE, 0x0121)                        \
  X(unsigned, WM_CTLCOLOREDIT, 0x0133) X(unsigned, WM_CTLCOLORLISTBOX, 0x0134)                \
  X(unsigned, WM_CTLCOLORBTN, 0x0135) X(unsigned, WM_CTLCOLORDLG, 0x0136)                     \
  X(unsigned, WM_CTLCOLORSCROLLBAR, 0x0137) X(unsigned, WM_CTLCOLORSTATIC, 0x0138)            \
  X(unsigned, WM_MOUSEFIRST, 0x0200) X(unsigned, WM_MOUSEMOVE, 0x0200)                        \
  X(unsigned, WM_LBUTTONDOWN, 0x0201) X(unsigned, WM_LBUTTONUP, 0x0202)                       \
  X(unsigned, WM_LBUTTONDBLCLK, 0x0203) X(unsigned, WM_RBUTTONDOWN, 0x0204)                   \
  X(unsigned, WM_RBUTTONUP, 0x0205) X(unsigned, WM_RBUTTONDBLCLK, 0x0206)                     \
  X(unsigned, WM_MBUTTONDOWN, 0x0207) X(unsigned, WM_MBUTTONUP, 0x0208)                       \
  X(unsigned, WM_MBUTTONDBLCLK, 0x0209) X(unsigned, WM_MOUSEWHEEL, 0x020A)                    \
  X(unsigned, WM_PARENTNOTIFY, 0x0210) X(unsigned, WM_ENTERMENULOOP, 0x0211)                  \
  X(unsigned, WM_EXITMENULOOP, 0x0212) X(unsigned, WM_CAPTURECHANGED, 0x0215)                 \
  X(unsigned, WM_MOUSEHOVER, 0x02A1) X(unsigned, WM_MOUSELEAVE, 0x02A3)                       \
  X(unsigned, WM_CUT, 0x0300) X(unsigned, WM_COPY, 0x0301) X(unsigned, WM_PASTE, 0x0302)      \
  X(unsigned, WM_CLEAR, 0x0303) X(unsigned, WM_UNDO, 0x0304) X(unsigned, WM_PRINTCLIENT, 0x0318) \
  X(unsigned, WM_USER, 0x0400) X(unsigned, WM_APP, 0x8000)                                    \
  /* virtual keys */                                                                           \
  X(int, VK_LBUTTON, 0x01) X(int, VK_RBUTTON, 0x02) X(int, VK_CANCEL, 0x03)                   \
  X(int, VK_MBUTTON, 0x04) X(int, VK_BACK, 0x08) X(int, VK_TAB, 0x09) X(int, VK_CLEAR, 0x0C)  \
  X(int, VK_RETURN, 0x0D) X(int, VK_SHIFT, 0x10) X(int, VK_CONTROL, 0x11)                     \
  X(int, VK_MENU, 0x12) X(int, VK_PAUSE, 0x13) X(int, VK_CAPITAL, 0x14)                       \
  X(int, VK_ESCAPE, 0x1B) X(int, VK_SPACE, 0x20) X(int, VK_PRIOR, 0x21) X(int, VK_NEXT, 0x22) \
  X(int, VK_END, 0x23) X(int, VK_HOME, 0x24) X(int, VK_LEFT, 0x25) X(int, VK_UP, 0x26)        \
  X(int, VK_RIGHT, 0x27) X(int, VK_DOWN, 0x28) X(int, VK_SNAPSHOT, 0x2C)                      \
  X(int, VK_INSERT, 0x2D) X(int, VK_DELETE, 0x2E) X(int, VK_HELP, 0x2F)                       \
  X(int, VK_LWIN, 0x5B) X(int, VK_RWIN, 0x5C) X(int, VK_APPS, 0x5D)                           \
  X(int, VK_NUMPAD0, 0x60) X(int, VK_NUMPAD9, 0x69) X(int, VK_MULTIPLY, 0x6A)                 \
  X(int, VK_ADD, 0x6B) X(int, VK_SEPARATOR, 0x6C) X(int, VK_SUBTRACT, 0x6D)                   \
  X(int, VK_DECIMAL, 0x6E) X(int, VK_DIVIDE, 0x6F) X(int, VK_F1, 0x70) X(int, VK_F2, 0x71)    \
  X(int, VK_F3, 0x72) X(int, VK_F4, 0x73) X(int, VK_F5, 0x74) X(int, VK_F6, 0x75)             \
  X(int, VK_F7, 0x76) X(int, VK_F8, 0x77) X(int, VK_F9, 0x78) X(int, VK_F10, 0x79)            \
  X(int, VK_F11, 0x7A) X(int, VK_F12, 0x7B) X(int, VK_NUMLOCK, 0x90) X(int, VK_SCROLL, 0x91)  \
  X(int, VK_LSHIFT, 0xA0) X(int, VK_RSHIFT, 0xA1) X(int, VK_LCONTROL, 0xA2)                   \
  X(int, VK_RCONTROL, 0xA3) X(int, VK_LMENU, 0xA4) X(int, VK_RMENU, 0xA5)                     \
  /* dialog codes */                                                                           \
  X(int, DLGC_WANTARROWS, 0x0001) X(int, DLGC_WANTTAB, 0x0002) X(int, DLGC_WANTALLKEYS, 0x0004) \
  X(int, DLGC_WANTMESSAGE, 0x0004) X(int, DLGC_HASSETSEL, 0x0008)                             \
  X(int, DLGC_DEFPUSHBUTTON, 0x0010) X(int, DLGC_UNDEFPUSHBUTTON, 0x0020)                     \
  X(int, DLGC_RADIOBUTTON, 0x0040) X(int, DLGC_WANTCHARS, 0x0080) X(int, DLGC_STATIC, 0x0100) \
  X(int, DLGC_BUTTON, 0x2000)                                                                 \
  /* hit-test codes */                                                                         \
  X(int, HTERROR, -2) X(int, HTTRANSPARENT, -1) X(int, HTNOWHERE, 0) X(int, HTCLIENT, 1)      \
  X(int, HTCAPTION, 2) X(int, HTSYSMENU, 3) X(int, HTGROWBOX, 4) X(int, HTMENU, 5)            \
  X(int, HTHSCROLL, 6) X(int, HTVSCROLL, 7) X(int, HTMINBUTTON, 8) X(int, HTMAXBUTTON, 9)     \
  X(int, HTLEFT, 10) X(int, HTRIGHT, 11) X(int, HTTOP, 12) X(int, HTTOPLEFT, 13)              \
  X(int, HTTOPRIGHT, 14) X(int, HTBOTTOM, 15) X(int, HTBOTTOMLEFT, 16)                        \
  X(int, HTBOTTOMRIGHT, 17) X(int, HTBORDER, 18)                                              \
  /* mouse-message key flags, wheel */                                                         \
  X(int, MK_LBUTTON, 0x0001) X(int, MK_RBUTTON, 0x0002) X(int, MK_SHIFT, 0x0004)              \
  X(int, MK_CONTROL, 0x0008) X(int, MK_MBUTTON, 0x0010) X(int, WHEEL_DELTA, 120)              \
  X(unsigned, WHEEL_PAGESCROLL, 0xFFFFFFFFu)                                                  \
  /* scroll bars */                                                                            \
  X(int, SB_HORZ, 0) X(int, SB_VERT, 1) X(int, SB_CTL, 2) X(int, SB_BOTH, 3)                  \
  X(int, SB_LINEUP, 0) X(int, SB_LINELEFT, 0) X(int, SB_LINEDOWN, 1) X(int, SB_LINERIGHT, 1)  \
  X(int, SB_PAGEUP, 2) X(int, SB_PAGELEFT, 2) X(int, SB_PAGEDOWN, 3) X(int, SB_PAGERIGHT, 3)  \
  X(int, SB_THUMBPOSITION, 4) X(int, SB_THUMBTRACK, 5) X(int, SB_TOP, 6) X(int, SB_LEFT, 6)   \
  X(int, SB_BOTTOM, 7) X(int, SB_RIGHT, 7) X(int, SB_ENDSCROLL, 8)                            \
  X(unsigned, SIF_RANGE, 0x0001) X(unsigned, SIF_PAGE, 0x0002) X(unsigned, SIF_POS, 0x0004)   \
  X(unsigned, SIF_DISABLENOSCROLL, 0x0008) X(unsigned, SIF_TRACKPOS, 0x0010)                  \
  X(unsigned, SIF_ALL, 0x0017)                                                                \
  /* text drawing */                                                                           \
  X(unsigned, DT_TOP, 0x00000000) X(unsigned, DT_LEFT, 0x00000000)                            \
  X(unsigned, DT_CENTER, 0x00000001) X(unsigned, DT_RIGHT, 0x00000002)                        \
  X(unsigned, DT_VCENTER, 0x00000004) X(unsigned, DT_BOTTOM, 0x00000008)                      \
  X(unsigned, DT_WORDBREAK, 0x00000010) X(unsigned, DT_SINGLELINE, 0x00000020)                \
  X(unsigned, DT_EXPANDTABS, 0x00000040) X(unsigned, DT_TABSTOP, 0x00000080)                  \
  X(unsigned, DT_NOCLIP, 0x00000100) X(unsigned, DT_EXTERNALLEADING, 0x00000200)              \
  X(unsigned, DT_CALCRECT, 0x00000400) X(unsigned, DT_NOPREFIX, 0x00000800)                   \
  X(unsigned, DT_INTERNAL, 0x00001000) X(unsigned, DT_EDITCONTROL, 0x00002000)                \
  X(unsigned, DT_PATH_ELLIPSIS, 0x00004000) X(unsigned, DT_END_ELLIPSIS, 0x00008000)          \
  X(unsigned, DT_MODIFYSTRING, 0x00010000) X(unsigned, DT_RTLREADING, 0x00020000)             \
  X(unsigned, DT_WORD_ELLIPSIS, 0x00040000) X(unsigned, DT_HIDEPREFIX, 0x00100000)            \
  X(unsigned, DT_PREFIXONLY, 0x00200000)                                                      \
  /* edges */                                                                                  \
  X(unsigned, BDR_RAISEDOUTER, 0x0001) X(unsigned, BDR_SUNKENOUTER, 0x0002)                   \
  X(unsigned, BDR_RAISEDINNER, 0x0004) X(unsigned, BDR_SUNKENINNER, 0x0008)                   \
  X(unsigned, BDR_OUTER, 0x0003) X(unsigned, BDR_INNER, 0x000C) X(unsigned, BDR_RAISED, 0x0005) \
  X(unsigned, BDR_SUNKEN, 0x000A) X(unsigned, EDGE_RAISED, 0x0005) X(unsigned, EDGE_SUNKEN, 0x000A) \
  X(unsigned, EDGE_ETCHED, 0x0006) X(unsigned, EDGE_BUMP, 0x0009) X(unsigned, BF_LEFT, 0x0001) \
  X(unsigned, BF_TOP, 0x0002) X(unsigned, BF_RIGHT, 0x0004) X(unsigned, BF_BOTTOM, 0x0008)    \
  X(unsigned, BF_TOPLEFT, 0x0003) X(unsigned, BF_TOPRIGHT, 0x0006)                            \
  X(unsigned, BF_BOTTOMLEFT, 0x0009) X(unsigned, BF_BOTTOMRIGHT, 0x000C)                      \
  X(unsigned, BF_RECT, 0x000F) X(unsigned, BF_DIAGONAL, 0x0010) X(unsigned, BF_MIDDLE, 0x0800) \
  X(unsigned, BF_SOFT, 0x1000) X(unsigned, BF_ADJUST, 0x2000) X(unsigned, BF_FLAT, 0x4000)    \
  X(unsigned, BF_MONO, 0x8000)                                                                \
  /* owner drawing */                                                                          \
  X(unsigned, ODT_MENU, 1) X(unsigned, ODT_LISTBOX, 2) X(unsigned, ODT_COMBOBOX, 3)           \
  X(unsigned, ODT_BUTTON, 4) X(unsigned, ODT_STATIC, 5) X(unsigned, ODS_SELECTED, 0x0001)     \
  X(unsigned, ODS_GRAYED, 0x0002) X(unsigned, ODS_DISABLED, 0x0004)                           \
  X(unsigned, ODS_CHECKED, 0x0008) X(unsigned, ODS_FOCUS, 0x0010) X(unsigned, ODS_DEFAULT, 0x0020) \
  X(unsigned, ODS_HOTLIGHT, 0x0040) X(unsigned, ODS_INACTIVE, 0x0080)                         \
  X(unsigned, ODS_NOACCEL, 0x0100) X(unsigned, ODS_NOFOCUSRECT, 0x0200)                       \
  X(unsigned, ODS_COMBOBOXEDIT, 0x1000)                                                       \
  /* class styles */                                                                           \
  X(unsigned, CS_VREDRAW, 0x0001) X(unsigned, CS_HREDRAW, 0x0002) X(unsigned, CS_DBLCLKS, 0x0008) \
  X(unsigned, CS_OWNDC, 0x0020) X(unsigned, CS_CLASSDC, 0x0040) X(unsigned, CS_PARENTDC, 0x0080) \
  X(unsigned, CS_NOCLOSE, 0x0200) X(unsigned, CS_SAVEBITS, 0x0800)                            \
  /* window styles */                                                                          \
  X(uint32_t, WS_OVERLAPPED, 0x00000000u) X(uint32_t, WS_POPUP, 0x80000000u)                  \
  X(uint32_t, WS_CHILD, 0x40000000u) X(uint32_t, WS_MINIMIZE, 0x20000000u)                    \
  X(uint32_t, WS_VISIBLE, 0x10000000u) X(uint32_t, WS_DISABLED, 0x08000000u)                  \
  X(uint32_t, WS_CLIPSIBLINGS, 0x04000000u) X(uint32_t, WS_CLIPCHILDREN, 0x02000000u)         \
  X(uint32_t, WS_MAXIMIZE, 0x01000000u) X(uint32_t, WS_CAPTION, 0x00C00000u)                  \
  X(uint32_t, WS_BORDER, 0x00800000u) X(uint32_t, WS_DLGFRAME, 0x00400000u)                   \
  X(uint32_t, WS_VSCROLL, 0x00200000u) X(uint32_t, WS_HSCROLL, 0x00100000u)                   \
  X(uint32_t, WS_SYSMENU, 0x00080000u) X(uint32_t, WS_THICKFRAME, 0x00040000u)                \
  X(uint32_t, WS_GROUP, 0x00020000u) X(uint32_t, WS_TABSTOP, 0x00010000u)                     \
  X(uint32_t, WS_MINIMIZEBOX, 0x00020000u) X(uint32_t, WS_MAXIMIZEBOX, 0x00010000u)           \
  X(uint32_t, WS_OVERLAPPEDWINDOW, 0x00CF0000u) X(uint32_t, WS_EX_DLGMODALFRAME, 0x00000001u) \
  X(uint32_t, WS_EX_TOPMOST, 0x00000008u) X(uint32_t, WS_EX_TRANSPARENT, 0x00000020u)         \
  X(uint32_t, WS_EX_TOOLWINDOW, 0x00000080u) X(uint32_t, WS_EX_WINDOWEDGE, 0x00000100u)       \
  X(uint32_t, WS_EX_CLIENTEDGE, 0x00000200u) X(uint32_t, WS_EX_CONTROLPARENT, 0x00010000u)    \
  X(uint32_t, WS_EX_STATICEDGE, 0x00020000u) X(uint32_t, WS_EX_APPWINDOW, 0x00040000u)        \
  /* system metrics */                                                                         \
  X(int, SM_CXSCREEN, 0) X(int, SM_CYSCREEN, 1) X(int, SM_CXVSCROLL, 2) X(int, SM_CYHSCROLL, 3) \
  X(int, SM_CYCAPTION, 4) X(int, SM_CXBORDER, 5) X(int, SM_CYBORDER, 6)                       \
  X(int, SM_CXDLGFRAME, 7) X(int, SM_CYDLGFRAME, 8) X(int, SM_CYVTHUMB, 9)                    \
  X(int, SM_CXHTHUMB, 10) X(int, SM_CXICON, 11) X(int, SM_CYICON, 12)                         \
  X(int, SM_CXCURSOR, 13) X(int, SM_CYCURSOR, 14) X(int, SM_CYMENU, 15)                       \
  X(int, SM_CYVSCROLL, 20) X(int, SM_CXHSCROLL, 21) X(int, SM_SWAPBUTTON, 23)                 \
  X(int, SM_CXFRAME, 32) X(int, SM_CYFRAME, 33) X(int, SM_CXDOUBLECLK, 36)                    \
  X(int, SM_CYDOUBLECLK, 37) X(int, SM_CXEDGE, 45) X(int, SM_CYEDGE, 46)                      \
  X(int, SM_CXSMICON, 49) X(int, SM_CYSMICON, 50) X(int, SM_CXDRAG, 68) X(int, SM_CYDRAG, 69) \
  X(int, SM_CXMENUCHECK, 71) X(int, SM_CYMENUCHECK, 72) X(int, SM_MIDEASTENABLED, 74)         \
  /* show commands, clipboard */                                                               \
  X(int, SW_HIDE, 0) X(int, SW_SHOWNORMAL, 1) X(int, SW_SHOWNOACTIVATE, 4) X(int, SW_SHOW, 5) \
  X(int, SW_MINIMIZE, 6) X(int, SW_SHOWNA, 8) X(int, SW_RESTORE, 9) X(unsigned, CF_TEXT, 1)

// ---------------------------------------------------------------- wingdi
#define TARN_GUI_GDI_CONSTANTS(X)                                                             \
  X(uint32_t, SRCCOPY, 0x00CC0020u) X(uint32_t, SRCPAINT, 0x00EE0086u)                        \
  X(uint32_t, SRCAND, 0x008800C6u) X(uint32_t, SRCINVERT, 0x00660046u)                        \
  X(uint32_t, SRCERASE, 0x00440328u) X(uint32_t, NOTSRCCOPY, 0x00330008u)                     \
  X(uint32_t, NOTSRCERASE, 0x001100A6u) X(uint32_t, MERGECOPY, 0x00C000CAu)                   \
  X(uint32_t, MERGEPAINT, 0x00BB0226u) X(uint32_t, PATCOPY, 0x00F00021u)                      \
  X(uint32_t, PATPAINT, 0x00FB0A09u) X(uint32_t, PATINVERT, 0x005A0049u)                      \
  X(uint32_t, DSTINVERT, 0x00550009u) X(uint32_t, BLACKNESS, 0x00000042u)                     \
  X(uint32_t, WHITENESS, 0x00FF0062u)                                                         \
  X(int, R2_BLACK, 1) X(int, R2_NOTMERGEPEN, 2) X(int, R2_MASKNOTPEN, 3) X(int, R2_NOTCOPYPEN, 4) \
  X(int, R2_MASKPENNOT, 5) X(int, R2_NOT, 6) X(int, R2_XORPEN, 7) X(int, R2_NOTMASKPEN, 8)    \
  X(int, R2_MASKPEN, 9) X(int, R2_NOTXORPEN, 10) X(int, R2_NOP, 11) X(int, R2_MERGENOTPEN, 12) \
  X(int, R2_COPYPEN, 13) X(int, R2_MERGEPENNOT, 14) X(int, R2_MERGEPEN, 15) X(int, R2_WHITE, 16) \
  X(int, TRANSPARENT, 1) X(int, OPAQUE, 2) X(unsigned, ETO_OPAQUE, 0x0002)                    \
  X(unsigned, ETO_CLIPPED, 0x0004) X(int, BLACKONWHITE, 1) X(int, WHITEONBLACK, 2)            \
  X(int, COLORONCOLOR, 3) X(int, HALFTONE, 4) X(int, RGN_AND, 1) X(int, RGN_OR, 2)            \
  X(int, RGN_XOR, 3) X(int, RGN_DIFF, 4) X(int, RGN_COPY, 5) X(int, PS_SOLID, 0)              \
  X(int, PS_DASH, 1) X(int, PS_DOT, 2) X(int, PS_DASHDOT, 3) X(int, PS_DASHDOTDOT, 4)         \
  X(int, PS_NULL, 5) X(int, PS_INSIDEFRAME, 6) X(int, ANSI_CHARSET, 0)                        \
  X(int, DEFAULT_CHARSET, 1) X(int, SYMBOL_CHARSET, 2) X(int, OEM_CHARSET, 255)

// ---------------------------------------------------------------- commctrl
#define TARN_GUI_COMMCTRL_CONSTANTS(X)                                                        \
  X(int, FSB_REGULAR_MODE, 0) X(int, FSB_ENCARTA_MODE, 1) X(int, FSB_FLAT_MODE, 2)            \
  X(int, WSB_PROP_VSTYLE, 0x0100) X(int, WSB_PROP_HSTYLE, 0x0200) X(unsigned, ILD_NORMAL, 0)  \
  X(unsigned, ILD_TRANSPARENT, 0x0001) X(unsigned, ILD_MASK, 0x0010)

#define TARN_GUI_DECLARE_CONSTANT(type, name, value) inline constexpr type name = value;

namespace gui {
#ifndef _WINUSER_
TARN_GUI_USER_CONSTANTS(TARN_GUI_DECLARE_CONSTANT)
#endif
#ifndef _WINGDI_
TARN_GUI_GDI_CONSTANTS(TARN_GUI_DECLARE_CONSTANT)
#endif
#ifndef _INC_COMMCTRL
TARN_GUI_COMMCTRL_CONSTANTS(TARN_GUI_DECLARE_CONSTANT)
#endif
}  // namespace gui
