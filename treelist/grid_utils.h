// The grid's shared utilities: the settings-store wrapper through which the
// grid's layout store reads and writes an ini file or the registry alike,
// and the drawing routines of the editors and the painters: text with the
// grid's own flag word, transparent glyphs, shadow strips, growing an
// off-screen bitmap, and the program-wide half-tone brush.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "gui/bitmap.h"
#include "gui/canvas.h"
#include "gui/ini_file.h"

// One interface over an ini-file store or a registry store; the store is
// not owned, and the wrapper never writes a store's memory out (its owner
// flushes).
class TGridRegIniWrapper {
 public:
  explicit TGridRegIniWrapper(gui::CustomIniFile& store) : store_(&store) {}
  gui::CustomIniFile& Store() const { return *store_; }
  bool IsRegistry() const;

  int ReadInteger(const std::string& section, const std::string& name, int def) const;
  void WriteInteger(const std::string& section, const std::string& name, int value);
  bool ReadBool(const std::string& section, const std::string& name, bool def) const;
  void WriteBool(const std::string& section, const std::string& name, bool value);
  std::vector<std::string> ReadSections() const;
  void EraseSection(const std::string& section);
  // Erases every section whose name begins with prefix (case-sensitive),
  // in ini-file stores only: a registry store is left alone, and so is
  // every store for an empty prefix (which would match every section).
  void EraseSectionsStartingWith(std::string_view prefix);

 private:
  gui::CustomIniFile* store_;
};

// The text drawing flag word of DrawTextEx.
enum TGridTextFlag : unsigned {
  gtfLeft = 0,
  gtfCenter = 1,
  gtfRight = 2,
  gtfAlignMask = 3,
  gtfTop = 0,  // single line
  gtfVCenter = 4,
  gtfBottom = 8,
  gtfWordWrap = 16,  // lines broken at words
  gtfLayoutMask = 0x1C,
  gtfEndEllipsis = 0x100,
  gtfPathEllipsis = 0x200,
  gtfFocusRect = 0x400,
  // With gtfFocusRect: the frame follows the measured text and is left out
  // for an empty text.
  gtfFocusFollowsText = 0x800,
  gtfNoFill = 0x1000,
  gtfPrefix = 0x2000,  // '&' marks an accelerator
  gtfMeasure = 0x4000,
  gtfKeepBkMode = 0x8000,
};

// The window system's DT_* flags for formatted drawing by the flag word;
// fits: the text fits its rectangle in one line (only then unclipped).
unsigned GridTextSystemFlags(unsigned flags, bool fits);

// Draws text in textRect by the flag word, in font and the two colours,
// filling clipRect with brush where the text leaves it (unless gtfNoFill),
// or with gtfMeasure only measures: then *height (when given) receives the
// line height and the answer is clipRect's height less textRect's plus the
// text's height (0 for an empty text). Drawing answers 0. Whatever path it
// takes, the canvas's font, brush, colours, modes and clip are as before.
int DrawTextEx(gui::Canvas& canvas, std::string_view text, int* height, gui::Color textColor,
               gui::Color backColor, const gui::Font& font, const gui::Brush& brush,
               unsigned flags, const gui::Rect& textRect, const gui::Rect& clipRect);

// Copies glyph into r (at its top-left corner, as much as fits) with the
// glyph's transparent colour (its bottom-left pixel unless fixed) replaced
// by brush: a work copy, a monochrome mask of the transparent colour, the
// brush painted where the mask is set (raster operation 0xE20746), the
// work copy put in place.
void DrawGlyph(gui::Canvas& canvas, const gui::Brush& brush, const gui::Rect& r, gui::Bitmap& glyph);

// Fills the bottom strip (full width, width high) and the right strip
// (width wide, full height) of r with brush.
void DrawShadow(gui::Canvas& canvas, const gui::Rect& r, int width, const gui::Brush& brush);

// Grows the bitmap to at least width x height, each side on its own; it
// never shrinks.
void EnsureBitmapSize(gui::Bitmap& bitmap, int width, int height);

// The 8 x 8 checkerboard (a pixel set where x and y are both even or both
// odd) that draws its set pixels in the text colour and the others in the
// background colour, aligned to the surface's origin.
const gui::Brush& GridHalftoneBrush();
