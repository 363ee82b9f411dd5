// What the grid's in-place editors need of the window system beyond the
// window layer: the rich edit's message numbers and record layouts (so the
// editors are written once and build natively), loading the rich edit
// library, the beep, the pending character of a key, the frame and window
// canvas of the non-client area, the font and text colour of the rich
// edit, its drag-drop refusing callback, the Shift key held for one
// step, and the locale's time and date separators. The Win32 flavour
// talks to the system (treelist/win32/); natively these are stand-ins
// that do nothing (treelist/posix/).
//
// Win32 sources include <windows.h> and <richedit.h> first: the system's
// macros then stand in for the constants below, and a Win32 source checks
// the values against them.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "gui/canvas.h"
#include "gui/color.h"
#include "gui/control.h"
#include "treelist/edit_mask.h"

// ---------------------------------------------------------------- edit messages
#define TARN_GRID_EDIT_USER_CONSTANTS(X)                                                      \
  X(unsigned, EM_GETSEL, 0x00B0) X(unsigned, EM_SETSEL, 0x00B1)                              \
  X(unsigned, EM_SETRECTNP, 0x00B4) X(unsigned, EM_SCROLLCARET, 0x00B7)                      \
  X(unsigned, EM_GETMODIFY, 0x00B8) X(unsigned, EM_SETMODIFY, 0x00B9)                        \
  X(unsigned, EM_REPLACESEL, 0x00C2) X(unsigned, EM_CANUNDO, 0x00C6)                         \
  X(unsigned, EM_UNDO, 0x00C7) X(unsigned, EM_EMPTYUNDOBUFFER, 0x00CD)                       \
  X(unsigned, EM_SETPASSWORDCHAR, 0x00CC) X(unsigned, EM_SETREADONLY, 0x00CF)                \
  X(unsigned, EM_POSFROMCHAR, 0x00D6) X(unsigned, WM_IME_COMPOSITION, 0x010F)                \
  X(unsigned, EN_CHANGE, 0x0300) X(uint32_t, ES_CENTER, 0x0001u) X(uint32_t, ES_RIGHT, 0x0002u) \
  X(uint32_t, ES_UPPERCASE, 0x0008u) X(uint32_t, ES_LOWERCASE, 0x0010u)                      \
  X(uint32_t, ES_AUTOVSCROLL, 0x0040u) X(uint32_t, ES_AUTOHSCROLL, 0x0080u)                  \
  X(uint32_t, ES_NOHIDESEL, 0x0100u) X(uint32_t, ES_OEMCONVERT, 0x0400u)                     \
  X(uint32_t, ES_READONLY, 0x0800u) X(uint32_t, ES_PASSWORD, 0x0020u)

#define TARN_GRID_EDIT_RICHEDIT_CONSTANTS(X)                                                  \
  X(unsigned, EM_CANPASTE, 0x0432) X(unsigned, EM_EXGETSEL, 0x0434)                          \
  X(unsigned, EM_EXLIMITTEXT, 0x0435) X(unsigned, EM_EXSETSEL, 0x0437)                       \
  X(unsigned, EM_GETSELTEXT, 0x043E) X(unsigned, EM_SETBKGNDCOLOR, 0x0443)                   \
  X(unsigned, EM_SETEVENTMASK, 0x0445) X(unsigned, EM_SETOLECALLBACK, 0x0446)                \
  X(unsigned, EM_GETOPTIONS, 0x044E) X(unsigned, EM_REDO, 0x0454) X(unsigned, EM_CANREDO, 0x0455) \
  X(unsigned, EM_SETTEXTMODE, 0x0459) X(unsigned, TM_PLAINTEXT, 1)                            \
  X(unsigned, EN_SELCHANGE, 0x0702) X(uint32_t, ENM_CHANGE, 0x00000001u)                      \
  X(uint32_t, ENM_DRAGDROPDONE, 0x00000010u) X(uint32_t, ENM_SELCHANGE, 0x00080000u)          \
  X(uint32_t, ECO_SELECTIONBAR, 0x01000000u)

#define TARN_GRID_EDIT_IMM_CONSTANTS(X) X(uint32_t, GCS_RESULTSTR, 0x0800u)

#define TARN_GRID_EDIT_DECLARE(type, name, value) inline constexpr type name = value;
#ifndef _WINUSER_
TARN_GRID_EDIT_USER_CONSTANTS(TARN_GRID_EDIT_DECLARE)
#endif
#ifndef _RICHEDIT_
TARN_GRID_EDIT_RICHEDIT_CONSTANTS(TARN_GRID_EDIT_DECLARE)
#endif
#ifndef _IMM_
TARN_GRID_EDIT_IMM_CONSTANTS(TARN_GRID_EDIT_DECLARE)
#endif
#undef TARN_GRID_EDIT_DECLARE

// The system's records, laid out as the system lays them out.
struct TGridCharRange {  // CHARRANGE
  int32_t cpMin = 0;
  int32_t cpMax = 0;
};
struct TGridRect32 {  // RECT
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct TGridPoint32 {  // POINTL
  int32_t x = 0, y = 0;
};
struct TGridNotifyHeader {  // NMHDR
  uintptr_t hwndFrom;
  uintptr_t idFrom;
  unsigned code;
};

// ---------------------------------------------------------------- services

// The rich edit library (loaded with the no-open-file-error-box mode, a
// handle below 32 counting as failure), held by the first of any number of
// initialisations and freed by the last finalisation. Natively there is
// none and nothing to load.
void InitGridRichEdit();
void FinalizeGridRichEdit();
bool GridRichEditLoaded();

// The default beep.
void GridEditBeep();
// Takes the character message waiting for the control's window, if any (a quit
// message that comes out instead is posted again).
bool GridEditTakePendingChar(gui::Control& c, char& ch);
// The window works out its non-client area again.
void GridEditFrameChanged(gui::Control& c);
// A canvas on the whole window, non-client area included (nullptr natively).
std::unique_ptr<gui::Canvas> GridEditWindowCanvas(gui::Control& c);
// The control's font on its window, and the rich edit's text colour
// (automatic for the window-text colour and clDefault).
void GridEditSendFont(gui::Control& c);
void GridEditSetTextColor(gui::Control& c, gui::Color color);
// Registers the callback that refuses drag and drop with the rich edit.
void GridEditRegisterOleCallback(gui::Control& c);
// Runs f with the Shift key held in the keyboard state, which is restored
// afterwards.
void GridEditWithShiftHeld(const std::function<void()>& f);
// The locale's time and date separators and lead-byte test.
MaskLocale GridEditMaskLocale();
